// Win32 console. When standard input is the console, the C runtime calls do
// the work: std::cin reads whole lines through the runtime's stdin buffer and
// _kbhit/_getch look at the console's own input buffer. When standard input
// is a pipe or a file (scripted input), _kbhit/_getch would still look at the
// console, so the key calls and std::cin share the same two-layer model over
// the pipe handle instead.

#include <conio.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "common/console_input.h"
#include "platform/console.h"

namespace platform::console {
namespace {

std::atomic<bool> g_ctrlHeldForced{false};

HANDLE inputHandle() {
  return GetStdHandle(STD_INPUT_HANDLE);
}

bool stdinIsConsole() {
  static const bool console = [] {
    DWORD mode = 0;
    return GetConsoleMode(inputHandle(), &mode) != 0;
  }();
  return console;
}

class PipeDevice : public detail::InputDevice {
 public:
  int readKeyByte() override {
    unsigned char c = 0;
    DWORD read = 0;
    if (!ReadFile(inputHandle(), &c, 1, &read, nullptr) || read == 0) return -1;
    return c;
  }

  bool keyByteReady() override {
    const HANDLE handle = inputHandle();
    if (GetFileType(handle) != FILE_TYPE_PIPE) return true;  // a file never blocks
    DWORD available = 0;
    // A failed peek means a broken pipe: the read then reports the end.
    if (!PeekNamedPipe(handle, nullptr, 0, nullptr, &available, nullptr)) return true;
    return available > 0;
  }

  bool readLineRest(std::string& line) override {
    // Byte by byte, so that nothing after the end of line leaves the pipe.
    for (;;) {
      const int c = readKeyByte();
      if (c < 0) return false;
      line.push_back(static_cast<char>(c));
      if (c == '\n') return true;
    }
  }
};

struct PipeConsole {
  PipeDevice device;
  detail::ConsoleInput input{device};
  detail::LineStreamBuf buffer{input};
};

PipeConsole& pipeConsole() {
  static PipeConsole* instance = new PipeConsole();  // used up to exit
  return *instance;
}

}  // namespace

void install() {
  static const bool done = [] {
    if (!stdinIsConsole()) std::cin.rdbuf(&pipeConsole().buffer);
    return true;
  }();
  (void)done;
}

bool keyWaiting() {
  if (!stdinIsConsole()) return pipeConsole().input.keyWaiting();
  return _kbhit() != 0;
}

bool waitForKey() {
  if (!stdinIsConsole()) return pipeConsole().input.waitForKey();
  // The console input handle is also signalled by mouse and focus events that
  // _kbhit ignores, so a short sleep paces the check instead.
  while (_kbhit() == 0) Sleep(15);
  return true;
}

int getKey() {
  if (!stdinIsConsole()) return pipeConsole().input.getKey();
  return _getch();
}

bool inputEnded() {
  if (!stdinIsConsole()) {
    return pipeConsole().input.deviceEnded() && pipeConsole().buffer.empty();
  }
  // Ctrl+Z on its own line ends the formatted input of the console.
  return std::cin.eof();
}

void discardLine() {
  if (!stdinIsConsole()) {
    pipeConsole().buffer.discard();
    return;
  }
  std::cin.sync();  // the runtime's stdin buffer: fflush(stdin) empties it
}

bool ctrlHeld() {
  if (g_ctrlHeldForced.load()) return true;
  const char* forced = std::getenv("ZORV_TEST_CTRL_HELD");
  if (forced != nullptr && std::strcmp(forced, "1") == 0) return true;
  return (static_cast<unsigned short>(GetAsyncKeyState(VK_CONTROL)) & 0x8000u) != 0;
}

void setCtrlHeldForTesting(bool held) {
  g_ctrlHeldForced.store(held);
}

void clearScreen() {
  std::cout.flush();
  std::system("cls");
}

void enableScreenSequences() {
#ifndef ENABLE_VIRTUAL_TERMINAL_PROCESSING
#define ENABLE_VIRTUAL_TERMINAL_PROCESSING 0x0004
#endif
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  DWORD mode = 0;
  if (GetConsoleMode(output, &mode)) SetConsoleMode(output, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
}

}  // namespace platform::console
