// Console input shared by formatted reads and key calls, checked through a
// helper program whose standard input is a pipe (and, on Linux, a
// pseudo-terminal), as a script or a user would drive the program.

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "child_process.h"
#include "platform/console.h"
#include "test_support.h"

#ifndef _WIN32
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>
extern char** environ;
#endif

using testsupport::ChildProcess;

namespace {

void expectReports(ChildProcess& child, const std::vector<std::string>& expected) {
  for (const std::string& line : expected) {
    const std::optional<std::string> got = child.readReport();
    ASSERT_TRUE(got.has_value()) << "no report where \"" << line << "\" was expected";
    EXPECT_EQ(*got, line);
  }
}

void setVariable(const char* name, const char* value) {
  testsupport::setEnvironment(name, value);
}

TEST(ConsolePipe, KeyTestedButUnreadIsFirstCharacterOfNextAnswer) {
  ChildProcess child(testsupport::consoleChildPath(), {"unread-key"});
  ASSERT_TRUE(child.started());
  child.write("13\n");
  // The end of line left after "13" must not count as a waiting key.
  expectReports(child, {"first 1 13", "waiting 0"});
  child.write("x16\n");
  // The wait ends on "x" without taking it; the next read fails on "x",
  // discards it and reads 16 on the second prompt.
  expectReports(child, {"wait 1", "waiting 1", "chosen 16 prompts 2"});
  child.closeInput();
  EXPECT_EQ(child.wait(), 0);
}

TEST(ConsolePipe, EndOfInputEndsKeyWaitAndPromptLoop) {
  ChildProcess child(testsupport::consoleChildPath(), {"unread-key"});
  ASSERT_TRUE(child.started());
  child.write("13\n");
  expectReports(child, {"first 1 13", "waiting 0"});
  child.closeInput();
  expectReports(child, {"wait 0", "waiting 1", "stopped prompts 1"});
  EXPECT_EQ(child.wait(), 0);
}

TEST(ConsolePipe, KeysAndLinesShareOneInput) {
  ChildProcess child(testsupport::consoleChildPath(), {"keys-and-lines"});
  ASSERT_TRUE(child.started());
  child.write("12 34\n56\nkline\nz7\n");
  child.closeInput();
  expectReports(child, {
                           "numbers 12 56",           // discardLine dropped " 34"
                           "wait 1",                  // "k" waits
                           "key k",                   // getKey takes it
                           "line line",               // the rest of that line
                           "wait 1 waiting 1",        // "z" tested, not read
                           "char z number 7",         // and read by the next read
                           "ended 0",                 // the end is not seen yet
                           "read after end 0 eof 1",  // a read meets the end
                           "ended 1", "wait 0 waiting 1",
                           "key -1 -1",  // kEndOfInput, every time
                       });
  EXPECT_EQ(child.wait(), 0);
}

TEST(ConsolePipe, PromptLoopStopsOrChooses) {
  struct Case {
    std::string input;
    std::string report;
  };
  const std::vector<Case> cases = {
      {"", "stopped prompts 1"},
      {"2\n", "chosen 2 prompts 1"},
      {"0\n4\n3\n", "chosen 3 prompts 3"},
      {"ab\n1\n", "chosen 1 prompts 3"},  // one prompt per discarded character
      {"0\n9\nab", "stopped prompts 5"},  // input ends in the middle of a line
      {"abc\n", "stopped prompts 4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE("input \"" + c.input + "\"");
    ChildProcess child(testsupport::consoleChildPath(), {"prompt-until-end"});
    ASSERT_TRUE(child.started());
    child.write(c.input);
    child.closeInput();
    expectReports(child, {c.report});
    EXPECT_EQ(child.wait(), 0);
  }
}

TEST(Console, CtrlHeldCanBeForcedByTests) {
  EXPECT_FALSE(platform::console::ctrlHeld());
  platform::console::setCtrlHeldForTesting(true);
  EXPECT_TRUE(platform::console::ctrlHeld());
  platform::console::setCtrlHeldForTesting(false);
  EXPECT_FALSE(platform::console::ctrlHeld());

  setVariable("ZORV_TEST_CTRL_HELD", "1");
  ChildProcess child(testsupport::consoleChildPath(), {"ctrl"});
  setVariable("ZORV_TEST_CTRL_HELD", nullptr);
  ASSERT_TRUE(child.started());
  expectReports(child, {"ctrl 1"});
  EXPECT_EQ(child.wait(), 0);
}

#ifndef _WIN32

TEST(ConsolePipe, ClearScreenWritesNothingWhenOutputIsNoTerminal) {
  ChildProcess child(testsupport::consoleChildPath(), {"clear-screen"});
  ASSERT_TRUE(child.started());
  EXPECT_EQ(child.readLine(), std::optional<std::string>("@ before"));
  EXPECT_EQ(child.readLine(), std::optional<std::string>("@ after"));
  EXPECT_EQ(child.wait(), 0);
}

// A child on a pseudo-terminal, for the terminal-mode tests.
class TerminalChild {
 public:
  explicit TerminalChild(std::string scenario) {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0) return;
    const std::string slaveName = ptsname(master_);
    // Kept open here so that the terminal's mode can be read after the child.
    slave_ = open(slaveName.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) return;
    termios mode;
    tcgetattr(slave_, &mode);
    mode.c_lflag |= ICANON | ECHO;
    tcsetattr(slave_, TCSANOW, &mode);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, slaveName.c_str(), O_RDWR, 0);
    posix_spawn_file_actions_adddup2(&actions, 0, 1);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    // A process group of its own inside this session: not orphaned, so that
    // Ctrl+Z (SIGTSTP) really stops it.
    // The signals the tests send get their default actions back: a test run
    // started in the background by a shell without job control inherits
    // SIGINT ignored, and an ignored signal would never end the child.
    sigset_t defaults;
    sigemptyset(&defaults);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGTSTP, SIGCONT}) sigaddset(&defaults, sig);
    posix_spawnattr_setsigdefault(&attributes, &defaults);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attributes, &none);
    posix_spawnattr_setflags(
        &attributes, POSIX_SPAWN_SETPGROUP | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::string program = testsupport::consoleChildPath();
    char* argv[] = {program.data(), scenario.data(), nullptr};
    if (posix_spawn(&pid_, program.c_str(), &actions, &attributes, argv, environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
  }

  ~TerminalChild() {
    if (pid_ > 0 && !waited_) {
      kill(pid_, SIGKILL);
      wait();
    }
    if (slave_ >= 0) close(slave_);
    if (master_ >= 0) close(master_);
  }

  bool started() const { return pid_ > 0; }

  // Everything the terminal shows up to and including the line that starts
  // with the text (nothing when it does not come: a guard against a hang).
  std::optional<std::string> readThrough(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    for (;;) {
      const std::size_t at = shown_.find(text);
      if (at != std::string::npos) {
        const std::size_t end = shown_.find('\n', at);
        if (end != std::string::npos) {
          std::string part = shown_.substr(0, end + 1);
          shown_.erase(0, end + 1);
          return part;
        }
      }
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                            deadline - std::chrono::steady_clock::now())
                            .count();
      if (left <= 0) return std::nullopt;
      pollfd p{master_, POLLIN, 0};
      if (poll(&p, 1, static_cast<int>(left)) <= 0) continue;
      char chunk[256];
      const ssize_t n = read(master_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      shown_.append(chunk, static_cast<std::size_t>(n));
    }
  }

  void type(const std::string& keys) {
    ASSERT_EQ(write(master_, keys.data(), keys.size()), static_cast<ssize_t>(keys.size()));
  }

  // "11" when canonical with echo, "00" when non-canonical without echo.
  std::string mode() const {
    termios t;
    if (tcgetattr(slave_, &t) != 0) return "none";
    return std::string((t.c_lflag & ICANON) != 0 ? "1" : "0") +
           ((t.c_lflag & ECHO) != 0 ? "1" : "0");
  }

  // Waits until the child has switched the terminal to its key mode (a key
  // typed before that would be echoed by the terminal itself).
  bool awaitKeyMode() const {
    for (int i = 0; i < 4000 && mode() != "00"; ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return mode() == "00";
  }

  // Waits until the child has stopped (Ctrl+Z); false when it has not
  // within 20 s (a guard against a hang) or ended instead.
  bool awaitStop() {
    for (int i = 0; i < 4000; ++i) {
      int status = 0;
      const pid_t r = waitpid(pid_, &status, WUNTRACED | WNOHANG);
      if (r < 0 && errno == EINTR) continue;
      if (r == pid_) {
        if (WIFSTOPPED(status)) return true;
        waited_ = true;  // it ended: nothing left to wait for
        return false;
      }
      if (r != 0) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
  }

  void signal(int sig) { kill(pid_, sig); }

  // The exit status (128 + signal when ended by one); -1 when the child
  // has not ended within 20 s, after which it is killed.
  int wait() {
    int status = 0;
    for (int i = 0;; ++i) {
      const pid_t r = waitpid(pid_, &status, WNOHANG);
      if (r < 0 && errno == EINTR) continue;
      if (r != 0) break;
      if (i == 4000) {
        kill(pid_, SIGKILL);
        while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        waited_ = true;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    waited_ = true;
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  pid_t pid_ = -1;
  bool waited_ = false;
  std::string shown_;
};

TEST(ConsoleTerminal, KeyEndsWaitUnechoedAndStartsNextAnswer) {
  TerminalChild child("terminal-key");
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(child.readThrough("@ mode 11"));
  ASSERT_TRUE(child.readThrough("@ wait"));
  ASSERT_TRUE(child.awaitKeyMode());
  child.type("k");
  const std::optional<std::string> waitPart = child.readThrough("@ ask");
  ASSERT_TRUE(waitPart);
  // Taken by the key wait without echo, in the key mode.
  EXPECT_EQ(*waitPart, "@ woke 1 mode 00\r\n@ ask\r\n");
  child.type("ey\n");
  const std::optional<std::string> answer = child.readThrough("@ line");
  ASSERT_TRUE(answer);
  // The waiting key is shown as the first character of the answer.
  EXPECT_EQ(*answer, "key\r\n@ line key\r\n");
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(child.mode(), "11") << "terminal mode not restored at exit";
}

TEST(ConsoleTerminal, AnswerTypedAheadIsShownOnce) {
  TerminalChild child("terminal-type-ahead");
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(child.readThrough("@ ready"));
  ASSERT_EQ(child.mode(), "00");
  child.type("5\n");
  const std::optional<std::string> shown = child.readThrough("@ number");
  ASSERT_TRUE(shown);
  EXPECT_EQ(*shown, "5\r\n@ number 5\r\n");
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(child.mode(), "11");
}

TEST(ConsoleTerminal, ClearScreenSendsTheAnsiSequence) {
  TerminalChild child("clear-screen");
  ASSERT_TRUE(child.started());
  const std::optional<std::string> shown = child.readThrough("@ after");
  ASSERT_TRUE(shown);
  EXPECT_EQ(*shown, "@ before\r\n\x1b[2J\x1b[H@ after\r\n");
  EXPECT_EQ(child.wait(), 0);
}

// Ctrl+Z stops the program with the terminal in its original mode; when
// continued, the key wait gets its mode back and still takes one key.
TEST(ConsoleTerminal, StopAndContinueDuringKeyWait) {
  TerminalChild child("terminal-block");
  ASSERT_TRUE(child.started());
  ASSERT_TRUE(child.readThrough("@ wait"));
  ASSERT_TRUE(child.awaitKeyMode());
  child.signal(SIGTSTP);
  ASSERT_TRUE(child.awaitStop());
  EXPECT_EQ(child.mode(), "11");
  child.signal(SIGCONT);
  ASSERT_TRUE(child.awaitKeyMode());
  child.type("k");
  const std::optional<std::string> shown = child.readThrough("@ woke");
  ASSERT_TRUE(shown);
  EXPECT_EQ(*shown, "@ woke\r\n");
  EXPECT_EQ(child.wait(), 0);
  EXPECT_EQ(child.mode(), "11");
}

TEST(ConsoleTerminal, ModeRestoredWhenEndedBySignal) {
  for (int sig : {SIGTERM, SIGINT, SIGHUP}) {
    SCOPED_TRACE("signal " + std::to_string(sig));
    TerminalChild child("terminal-block");
    ASSERT_TRUE(child.started());
    ASSERT_TRUE(child.readThrough("@ wait"));
    ASSERT_TRUE(child.awaitKeyMode());
    child.signal(sig);
    EXPECT_EQ(child.wait(), 128 + sig);
    EXPECT_EQ(child.mode(), "11");
  }
}

#endif

}  // namespace
