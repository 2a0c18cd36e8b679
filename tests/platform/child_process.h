// A child program with pipes on its standard input and output, for tests
// that script a console the way a user or a script would.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace testsupport {

class ChildProcess {
 public:
  // Starts the program with the arguments; standard error stays the test's.
  ChildProcess(const std::string& program, const std::vector<std::string>& arguments);
  ~ChildProcess();
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  bool started() const { return started_; }
  // Writes to the child's standard input.
  void write(const std::string& text);
  // Closes the child's standard input: the child sees the end of input.
  void closeInput();
  // The next line of the child's standard output without its end of line;
  // nothing at the end of the output or when no line came within the limit
  // (a guard against a hanging child, not a timing check).
  std::optional<std::string> readLine(int limitMs = 20000);
  // The next line that starts with the prefix, skipping others.
  std::optional<std::string> readReport(const std::string& prefix = "@ ");
  // Waits for the child to end; its exit code.
  int wait();

 private:
  bool fillBuffer(int limitMs);

  bool started_ = false;
  std::string buffer_;
  bool outputEnded_ = false;
#ifdef _WIN32
  void* process_ = nullptr;
  void* input_ = nullptr;
  void* output_ = nullptr;
#else
  int pid_ = -1;
  int input_ = -1;
  int output_ = -1;
#endif
  bool waited_ = false;
  int exitCode_ = -1;
};

// The helper program of the console tests beside the running test program.
std::string consoleChildPath();

}  // namespace testsupport
