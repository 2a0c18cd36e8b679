// Console and file-system services of the console program.
#include "console/ConsoleServices.h"

#include <cctype>
#include <iostream>
#include <sstream>
#include <utility>

#include "platform/console.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/process.h"

namespace {

template <typename T>
std::string streamText(const T& value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

// One formatted read; on failure either the input has gone (throw) or one
// character is discarded so that the next attempt makes progress.
template <typename T>
bool readValue(T& value) {
  if (std::cin >> value) return true;
  throwIfConsoleInputEnded();
  std::cin.clear();
  if (std::cin.get() == std::char_traits<char>::eof()) {
    throw ConsoleInputEnded{};
  }
  return false;
}

}  // namespace

void printToConsole(std::string text) {
  std::cout << text;
}

std::string chooseFromList(const std::string& title, const string_vector& list) {
  const auto& entries = list.strings;
  if (entries.empty()) return std::string();
  if (entries.size() == 1) {
    printToConsole("Chosen " + title + " " + entries[0] + ".\n");
    return entries[0];
  }
  printToConsole("\nChoose " + title + ":\n");
  for (std::size_t i = 0; i < entries.size(); ++i) {
    // Appended piece by piece: one text, as the stream would receive it.
    std::string line(1, '\t');
    line += numberToText(static_cast<unsigned long long>(i + 1));
    line += ": ";
    line += entries[i];
    line += '\n';
    printToConsole(std::move(line));
  }
  const std::string prompt = "Please enter value 1.." +
                             numberToText(static_cast<unsigned long long>(entries.size())) + ": ";
  unsigned value = 0;
  for (;;) {
    printToConsole(prompt);
    if (readFromConsole(value) && value != 0 && value <= entries.size()) break;
  }
  return entries[value - 1];
}

std::string positionLabel(const std::string& name, const string_vector& list) {
  const auto& entries = list.strings;
  std::size_t position = entries.size() + 1;
  for (std::size_t i = 0; i < entries.size(); ++i) {
    if (entries[i] == name) {
      position = i + 1;
      break;
    }
  }
  return twoDigitNumber(position);
}

std::string getApplicationDataDirectory() {
  return platform::environmentVariable("ALLUSERSPROFILE").value_or(std::string()) +
         "\\Application Data\\Kestrel Ward\\Velloran 2";
}

bool isDirectory(const std::string& path) {
  const std::uint32_t attributes = platform::fileAttributes(path);
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kAttributeDirectory) != 0;
}

bool isFile(const std::string& path) {
  const std::uint32_t attributes = platform::fileAttributes(path);
  return attributes != platform::kInvalidFileAttributes &&
         (attributes & platform::kAttributeDirectory) == 0;
}

bool createDirectory(const std::string& path) {
  return platform::createDirectory(path);
}

bool copyFileOverwrite(const std::string& source, const std::string& target) {
  return platform::copyFile(source, target, false);
}

bool openInNotepad(const std::string& path) {
  const std::string commandLine = "notepad.exe " + path;
  if (commandLine.size() > kMaxEditorCommandLine) return false;
  // The editor takes over the console until it ends: what was printed so far
  // must be on the screen first.
  std::cout.flush();
  return platform::runEditorAndWait(path);
}

std::string numberToText(long long value) {
  return streamText(value);
}
std::string numberToText(int value) {
  return streamText(value);
}
std::string numberToText(unsigned value) {
  return streamText(value);
}
std::string numberToText(unsigned long value) {
  return streamText(value);
}
std::string numberToText(unsigned long long value) {
  return streamText(value);
}
std::string numberToText(long value) {
  return streamText(value);
}
std::string numberToText(double value) {
  return streamText(value);
}

std::string twoDigitNumber(unsigned long long value) {
  std::string text = numberToText(value);
  if (value <= 9) text.insert(text.begin(), '0');
  return text;
}

std::uint32_t textToNumber(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  std::uint32_t value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10u + static_cast<std::uint32_t>(text[i] - '0');
  }
  return value;
}

bool consoleInputEnded() {
  return platform::console::inputEnded() || std::cin.eof();
}

void throwIfConsoleInputEnded() {
  if (consoleInputEnded()) throw ConsoleInputEnded{};
}

bool readFromConsole(unsigned& value) {
  return readValue(value);
}
bool readFromConsole(int& value) {
  return readValue(value);
}
bool readFromConsole(double& value) {
  return readValue(value);
}
bool readFromConsole(char& value) {
  return readValue(value);
}
bool readFromConsole(std::string& word) {
  return readValue(word);
}

char askForCharacter(PrintFunction print, const std::string& question, std::string_view accepted) {
  for (;;) {
    print(question);
    char answer = 0;
    if (readFromConsole(answer) && accepted.find(answer) != std::string_view::npos) {
      return answer;
    }
  }
}

int takeKey() {
  std::cout.flush();
  const int key = platform::console::getKey();
  if (key == platform::console::kEndOfInput) throw ConsoleInputEnded{};
  return key;
}
