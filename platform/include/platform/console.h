// Console input and screen: the _getch / _kbhit / std::cin trio of the
// Windows C runtime, GetAsyncKeyState for the Ctrl key, and "cls".
//
// Two layers of input, consumed in this order by formatted reads:
//   1. the line buffer of formatted reads (what std::cin's buffer holds);
//   2. the device: keys read ahead by the key calls, then the terminal or pipe.
// Formatted reads take whole lines from the device; the key calls see only
// the device layer, never the rest of a line already taken. So a leftover end
// of line never satisfies "press any key", and a key tested but not read is
// the first character of the next formatted read. Scripted input on a pipe
// behaves like typing.
#pragma once

namespace platform::console {

// Value of getKey() when the console input has ended (end of file on a pipe,
// a hung-up terminal).
inline constexpr int kEndOfInput = -1;

// Installs the shared console input under std::cin (POSIX: a stream buffer
// over file descriptor 0 that never reads past an end of line, and terminal
// mode handling restored at exit, on Ctrl+C and on fatal signals). Win32:
// nothing to do when standard input is the console, the C runtime already
// behaves this way; when it is a pipe or a file, the same stream buffer as on
// POSIX over the pipe handle, because _kbhit/_getch would look at the console
// instead. Call once, first thing in main; safe to call again.
//
// POSIX terminal: a formatted read waits for its line in canonical mode with
// echo; otherwise, once the console has been used, the terminal is in
// non-canonical mode without echo. Keys typed while the program is busy are
// therefore shown once, when a formatted read takes them, as on Windows.
void install();

// _kbhit: true when a key waits in the device layer (or the input has ended),
// without reading it.
bool keyWaiting();

// Blocks until keyWaiting() would be true, without reading the key and
// without burning the CPU. False when the input has ended.
bool waitForKey();

// _getch: takes one key from the device layer without echo, waiting for one
// when none is there. kEndOfInput once the input has ended.
int getKey();

// True once the console input is known to have ended and nothing is left to
// read: the device reported its end, no key is queued and the line buffer is
// empty. A prompt loop whose read failed stops when this is true.
bool inputEnded();

// std::cin.sync(): discards what the line buffer of formatted reads holds.
void discardLine();

// GetAsyncKeyState(VK_CONTROL) & 0x8000: the Ctrl key is held now. Where the
// platform cannot tell (POSIX) it is false, unless a test forces it with the
// environment variable ZORV_TEST_CTRL_HELD=1 or setCtrlHeldForTesting().
bool ctrlHeld();
void setCtrlHeldForTesting(bool held);

// system("cls") on Windows; the ANSI clear sequence on a POSIX terminal;
// nothing when standard output is not a terminal.
void clearScreen();

// Lets standard output's terminal sequences (cursor moves, line clears) take
// effect. Win32: SetConsoleMode with ENABLE_VIRTUAL_TERMINAL_PROCESSING
// (Windows 10 and later; elsewhere, or when the output is no console, nothing
// changes); POSIX: nothing to do, terminals interpret them.
void enableScreenSequences();

}  // namespace platform::console
