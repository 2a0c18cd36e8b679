// Helper program of the console tests: runs one scenario against its own
// standard input (a pipe or a pseudo-terminal set up by the test) and reports
// each observation as a line "@ ..." on standard output.

#include <iostream>
#include <string>

#include "platform/console.h"

#ifndef _WIN32
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <thread>
#endif

namespace console = platform::console;

namespace {

void report(const std::string& text) {
  std::cout << "@ " << text << std::endl;
}

std::string flag(bool value) {
  return value ? "1" : "0";
}

// The numbered-choice prompt loop of the program: repeat until a number in
// 1..count arrives, clearing the error and discarding one character after a
// failed read, and stop when the input has ended.
void promptLoop(unsigned count) {
  unsigned prompts = 0;
  for (;;) {
    ++prompts;
    unsigned value = 0;
    if (std::cin >> value) {
      if (value >= 1 && value <= count) {
        report("chosen " + std::to_string(value) + " prompts " + std::to_string(prompts));
        return;
      }
      continue;
    }
    if (console::inputEnded()) {
      report("stopped prompts " + std::to_string(prompts));
      return;
    }
    std::cin.clear();
    std::cin.ignore(1);
  }
}

// "13\n", then (after the test has seen the first reports) "x16\n".
int unreadKey() {
  unsigned value = 0;
  const bool ok = static_cast<bool>(std::cin >> value);
  report("first " + flag(ok) + " " + std::to_string(value));
  // The end of line after "13" is in the line buffer, not in the device.
  report("waiting " + flag(console::keyWaiting()));
  report("wait " + flag(console::waitForKey()));
  report("waiting " + flag(console::keyWaiting()));
  promptLoop(16);
  return 0;
}

// Input prepared in full: "12 34\n56\nkline\nz7\n", then the end.
int keysAndLines() {
  int a = 0;
  int b = 0;
  std::cin >> a;
  console::discardLine();  // drops " 34\n"
  std::cin >> b;
  report("numbers " + std::to_string(a) + " " + std::to_string(b));
  report("wait " + flag(console::waitForKey()));
  const int key = console::getKey();
  report("key " + std::string(1, static_cast<char>(key)));
  console::discardLine();  // the end of line after 56
  std::string line;
  std::getline(std::cin, line);
  report("line " + line);
  report("wait " + flag(console::waitForKey()) + " waiting " + flag(console::keyWaiting()));
  char c = 0;
  int n = 0;
  std::cin >> c >> n;
  report("char " + std::string(1, c) + " number " + std::to_string(n));
  report("ended " + flag(console::inputEnded()));
  std::cin >> n;
  report("read after end " + flag(static_cast<bool>(std::cin)) + " eof " + flag(std::cin.eof()));
  report("ended " + flag(console::inputEnded()));
  report("wait " + flag(console::waitForKey()) + " waiting " + flag(console::keyWaiting()));
  report("key " + std::to_string(console::getKey()) + " " + std::to_string(console::getKey()));
  return 0;
}

// Input prepared in full, then the end: the prompt loop must stop.
int promptUntilEnd() {
  promptLoop(3);
  return 0;
}

int clearScreen() {
  report("before");
  console::clearScreen();
  report("after");
  return 0;
}

int ctrl() {
  report("ctrl " + flag(console::ctrlHeld()));
  return 0;
}

#ifndef _WIN32
std::string terminalMode() {
  termios t;
  if (tcgetattr(STDIN_FILENO, &t) != 0) return "none";
  return flag((t.c_lflag & ICANON) != 0) + flag((t.c_lflag & ECHO) != 0);
}

// On a pseudo-terminal: one key ends the wait unechoed and is echoed as the
// first character of the next answer.
int terminalKey() {
  report("mode " + terminalMode());
  report("wait");
  const bool woke = console::waitForKey();
  report("woke " + flag(woke) + " mode " + terminalMode());
  report("ask");
  std::string line;
  std::getline(std::cin, line);
  report("line " + line);
  return 0;
}

// On a pseudo-terminal: an answer typed while the program is busy (after a
// key call) is shown once, when the formatted read takes it.
int terminalTypeAhead() {
  report("key waiting " + flag(console::keyWaiting()));
  report("ready");
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int value = 0;
  std::cin >> value;
  report("number " + std::to_string(value));
  return 0;
}

// On a pseudo-terminal: blocks in a key wait until the test ends it by a signal.
int terminalBlock() {
  report("wait");
  console::waitForKey();
  report("woke");
  return 0;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  console::install();
  const std::string scenario = argc > 1 ? argv[1] : "";
  if (scenario == "unread-key") return unreadKey();
  if (scenario == "keys-and-lines") return keysAndLines();
  if (scenario == "prompt-until-end") return promptUntilEnd();
  if (scenario == "clear-screen") return clearScreen();
  if (scenario == "ctrl") return ctrl();
#ifndef _WIN32
  if (scenario == "terminal-key") return terminalKey();
  if (scenario == "terminal-block") return terminalBlock();
  if (scenario == "terminal-type-ahead") return terminalTypeAhead();
#endif
  std::cerr << "unknown scenario '" << scenario << "'\n";
  return 2;
}
