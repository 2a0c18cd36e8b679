// POSIX console: the two-layer input of console_input.h over file descriptor
// 0, with termios handling on a terminal.
//
// On a terminal the key calls need non-canonical input without echo, and
// formatted reads need canonical input with echo. The terminal stays in the
// key mode between reads, so that keys typed while the program is busy are
// not echoed until a formatted read takes them, as on the Windows console.
// The original mode comes back at exit, on the terminating signals and on
// fatal signals.

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "common/console_input.h"
#include "platform/console.h"
#include "posix/terminal.h"

namespace platform::console {
namespace {

// Written once by install() before g_haveOriginal is set; read by signal
// handlers.
termios g_original;
volatile sig_atomic_t g_haveOriginal = 0;
// The key mode as last set, and whether the terminal is in it, so that a
// program stopped by Ctrl+Z gets it back when continued.
termios g_keyMode;
volatile sig_atomic_t g_inKeyMode = 0;

constexpr int kHandledSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGSEGV,
                                   SIGBUS, SIGFPE,  SIGILL, SIGABRT, SIGTSTP};
struct sigaction g_previousActions[sizeof kHandledSignals / sizeof kHandledSignals[0]];

std::atomic<bool> g_ctrlHeldForced{false};

int signalIndex(int sig) {
  for (std::size_t i = 0; i < sizeof kHandledSignals / sizeof kHandledSignals[0]; ++i) {
    if (kHandledSignals[i] == sig) return static_cast<int>(i);
  }
  return -1;
}

void restoreOriginalMode() {
  if (g_haveOriginal != 0) tcsetattr(STDIN_FILENO, TCSANOW, &g_original);
}

void onSignal(int sig);

void installHandler(std::size_t index) {
  struct sigaction action;
  std::memset(&action, 0, sizeof action);
  action.sa_handler = onSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(kHandledSignals[index], &action, nullptr);
}

// Restores the terminal, then lets the signal take its previous course.
void onSignal(int sig) {
  const int savedErrno = errno;
  restoreOriginalMode();
  const int index = signalIndex(sig);
  if (sig == SIGTSTP) {
    // Stop with the terminal in its original mode; the next key call or read
    // sets the mode it needs again.
    signal(SIGTSTP, SIG_DFL);
    sigset_t set;
    sigemptyset(&set);
    sigaddset(&set, SIGTSTP);
    raise(SIGTSTP);
    sigprocmask(SIG_UNBLOCK, &set, nullptr);
    // Continued: back to the mode a key call may still be waiting in.
    if (g_inKeyMode != 0) tcsetattr(STDIN_FILENO, TCSANOW, &g_keyMode);
    installHandler(static_cast<std::size_t>(index));
    errno = savedErrno;
    return;
  }
  if (index >= 0) {
    sigaction(sig, &g_previousActions[index], nullptr);
  } else {
    signal(sig, SIG_DFL);
  }
  // Delivered when this handler returns (a fault repeats its instruction and
  // meets the previous action the same way).
  raise(sig);
  errno = savedErrno;
}

bool stdinIsTerminal() {
  static const bool tty = isatty(STDIN_FILENO) == 1;
  return tty;
}

// Sets the terminal into key mode (non-canonical, no echo, one byte at a
// time) or line mode (canonical with echo), based on the original mode.
// Reads the current mode first, so changes made by others are noticed.
void setTerminalMode(bool keyMode) {
  if (g_haveOriginal == 0) return;
  termios current;
  if (tcgetattr(STDIN_FILENO, &current) != 0) return;
  termios wanted = current;
  if (keyMode) {
    wanted.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    wanted.c_cc[VMIN] = 1;
    wanted.c_cc[VTIME] = 0;
  } else {
    wanted.c_lflag |= ICANON | ECHO;
    wanted.c_cc[VMIN] = g_original.c_cc[VMIN];
    wanted.c_cc[VTIME] = g_original.c_cc[VTIME];
  }
  const bool same = (current.c_lflag & (ICANON | ECHO)) == (wanted.c_lflag & (ICANON | ECHO)) &&
                    (!keyMode || (current.c_cc[VMIN] == 1 && current.c_cc[VTIME] == 0));
  if (keyMode) {
    g_inKeyMode = 0;  // g_keyMode is not read while it changes
    g_keyMode = wanted;
  }
  g_inKeyMode = keyMode ? 1 : 0;
  if (same) return;
  // TCSANOW: pending input must survive the switch (TCSAFLUSH would drop it).
  tcsetattr(STDIN_FILENO, TCSANOW, &wanted);
}

// One byte from fd 0, retrying after interruptions. -1 at end or on error.
int readByte() {
  for (;;) {
    unsigned char c = 0;
    const ssize_t n = read(STDIN_FILENO, &c, 1);
    if (n == 1) return c;
    if (n < 0 && errno == EINTR) continue;
    return -1;  // end of file, hang-up (EIO) or a broken descriptor
  }
}

bool byteReady() {
  pollfd fd{STDIN_FILENO, POLLIN, 0};
  for (;;) {
    const int n = poll(&fd, 1, 0);
    if (n < 0 && errno == EINTR) continue;
    // An error or hang-up counts as ready: the read then reports the end.
    return n != 0;
  }
}

class PosixDevice : public detail::InputDevice {
 public:
  int readKeyByte() override {
    if (stdinIsTerminal()) setTerminalMode(true);
    return readByte();
  }

  bool keyByteReady() override {
    if (stdinIsTerminal()) setTerminalMode(true);
    return byteReady();
  }

  bool readLineRest(std::string& line) override {
    if (!stdinIsTerminal()) {
      // Byte by byte, so that nothing after the end of line leaves the pipe.
      for (;;) {
        const int c = readByte();
        if (c < 0) return false;
        line.push_back(static_cast<char>(c));
        if (c == '\n') return true;
      }
    }
    // Keys typed ahead in key mode are waiting unechoed: take them first, up
    // to an end of line, and show them.
    setTerminalMode(true);
    std::string typed;
    bool complete = false;
    while (!complete && byteReady()) {
      const int c = readByte();
      if (c < 0) {
        echoKeys(typed);
        line += typed;
        return false;
      }
      typed.push_back(static_cast<char>(c));
      complete = c == '\n';
    }
    echoKeys(typed);
    line += typed;
    bool ok = true;
    if (!complete) {
      setTerminalMode(false);
      for (;;) {
        const int c = readByte();
        if (c < 0) {
          ok = false;
          break;
        }
        line.push_back(static_cast<char>(c));
        if (c == '\n') break;
      }
    }
    setTerminalMode(true);
    return ok;
  }

  void echoKeys(const std::string& keys) override {
    if (!stdinIsTerminal() || keys.empty()) return;
    std::string shown;
    for (char c : keys) {
      const auto u = static_cast<unsigned char>(c);
      if (u < 0x20 && c != '\n' && c != '\t') {
        shown.push_back('^');
        shown.push_back(static_cast<char>(u + '@'));
      } else if (u != 0x7f) {
        shown.push_back(c);
      }
    }
    // The terminal descriptor is normally open for both directions; when it
    // is not, standard output shows the keys if it is the terminal.
    int fd = STDIN_FILENO;
    if (write(fd, shown.data(), shown.size()) < 0) {
      if (isatty(STDOUT_FILENO) != 1) return;
      fd = STDOUT_FILENO;
      if (write(fd, shown.data(), shown.size()) < 0) return;
    }
  }
};

struct Console {
  PosixDevice device;
  detail::ConsoleInput input{device};
  detail::LineStreamBuf buffer{input};
};

Console& console() {
  static Console* instance = new Console();  // never destroyed: used up to exit
  return *instance;
}

void restoreAtExit() {
  detail::restoreTerminalMode();
}

}  // namespace

namespace detail {
void restoreTerminalMode() {
  g_inKeyMode = 0;
  restoreOriginalMode();
}
}  // namespace detail

void install() {
  static const bool done = [] {
    Console& c = console();
    if (stdinIsTerminal() && tcgetattr(STDIN_FILENO, &g_original) == 0) {
      g_haveOriginal = 1;
      std::atexit(restoreAtExit);
      for (std::size_t i = 0; i < sizeof kHandledSignals / sizeof kHandledSignals[0]; ++i) {
        sigaction(kHandledSignals[i], nullptr, &g_previousActions[i]);
        // An ignored signal stays ignored.
        if (g_previousActions[i].sa_handler == SIG_IGN) continue;
        installHandler(i);
      }
    }
    std::cin.rdbuf(&c.buffer);
    return true;
  }();
  (void)done;
}

bool keyWaiting() {
  return console().input.keyWaiting();
}

bool waitForKey() {
  return console().input.waitForKey();
}

int getKey() {
  return console().input.getKey();
}

bool inputEnded() {
  return console().input.deviceEnded() && console().buffer.empty();
}

void discardLine() {
  console().buffer.discard();
}

bool ctrlHeld() {
  if (g_ctrlHeldForced.load()) return true;
  const char* forced = std::getenv("ZORV_TEST_CTRL_HELD");
  return forced != nullptr && std::strcmp(forced, "1") == 0;
}

void setCtrlHeldForTesting(bool held) {
  g_ctrlHeldForced.store(held);
}

void clearScreen() {
  std::cout.flush();
  if (isatty(STDOUT_FILENO) != 1) return;
  std::cout << "\x1b[2J\x1b[H" << std::flush;
}

void enableScreenSequences() {}

}  // namespace platform::console
