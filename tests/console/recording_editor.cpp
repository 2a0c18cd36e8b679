// A stand-in for the text editor in tests. Started as "$VISUAL <file>", it
// appends the file name it was given as one line to the file named by
// $ZORV_EDITOR_RECORD (default "editor-record.txt" in the current directory),
// appends $ZORV_EDITOR_APPEND to the edited file when that is set, and writes
// "[editor: <file>]\n" to standard output after a short pause, so that a
// transcript shows whether the caller waited for the editor to end.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>

int main(int argc, char** argv) {
  const std::string file = argc > 1 ? argv[1] : std::string();
  const char* recordName = std::getenv("ZORV_EDITOR_RECORD");
  {
    std::ofstream record(recordName != nullptr ? recordName : "editor-record.txt",
                         std::ios::app | std::ios::binary);
    record << file << "\n";
  }
  if (const char* append = std::getenv("ZORV_EDITOR_APPEND"); append != nullptr) {
    std::ofstream edited(file, std::ios::app | std::ios::binary);
    edited << append;
  }
  // A caller that did not wait would have printed on by now.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  std::cout << "[editor: " << file << "]\n";
  return 0;
}
