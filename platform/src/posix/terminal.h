// Terminal mode handling of the POSIX console, shared with the process
// functions (a child that uses the terminal gets it in its original mode).
#pragma once

namespace platform::console::detail {

// Puts the terminal on standard input back into the mode it had when the
// console was installed. Does nothing when standard input is no terminal.
// Async-signal-safe.
void restoreTerminalMode();

}  // namespace platform::console::detail
