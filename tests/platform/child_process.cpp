#include "child_process.h"

#include <chrono>

#include "platform/paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
extern char** environ;
#endif

namespace testsupport {

std::string consoleChildPath() {
#ifdef _WIN32
  return platform::executableDirectory() + "\\platform_console_child.exe";
#else
  return platform::executableDirectory() + "/platform_console_child";
#endif
}

#ifdef _WIN32

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  HANDLE childIn = nullptr, parentIn = nullptr, parentOut = nullptr, childOut = nullptr;
  if (!CreatePipe(&childIn, &parentIn, &inherit, 0)) return;
  if (!CreatePipe(&parentOut, &childOut, &inherit, 0)) return;
  SetHandleInformation(parentIn, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(parentOut, HANDLE_FLAG_INHERIT, 0);
  std::string commandLine = "\"" + program + "\"";
  for (const std::string& a : arguments) commandLine += " \"" + a + "\"";
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childIn;
  startup.hStdOutput = childOut;
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION info{};
  std::vector<char> line(commandLine.begin(), commandLine.end());
  line.push_back('\0');
  const BOOL ok = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                                 &startup, &info);
  CloseHandle(childIn);
  CloseHandle(childOut);
  input_ = parentIn;
  output_ = parentOut;
  if (!ok) return;
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  started_ = true;
}

ChildProcess::~ChildProcess() {
  closeInput();
  if (process_ != nullptr && !waited_) {
    if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) TerminateProcess(process_, 1);
  }
  if (process_ != nullptr) CloseHandle(process_);
  if (output_ != nullptr) CloseHandle(output_);
}

void ChildProcess::write(const std::string& text) {
  DWORD written = 0;
  WriteFile(input_, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
}

void ChildProcess::closeInput() {
  if (input_ != nullptr) CloseHandle(input_);
  input_ = nullptr;
}

bool ChildProcess::fillBuffer(int limitMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr)) {
      outputEnded_ = true;
      return false;
    }
    if (available > 0) {
      char chunk[512];
      DWORD read = 0;
      const DWORD want = available < sizeof chunk ? available : sizeof chunk;
      if (!ReadFile(output_, chunk, want, &read, nullptr) || read == 0) {
        outputEnded_ = true;
        return false;
      }
      buffer_.append(chunk, read);
      return true;
    }
    if (std::chrono::steady_clock::now() > deadline) return false;
    Sleep(5);
  }
}

int ChildProcess::wait() {
  if (!waited_ && process_ != nullptr) {
    WaitForSingleObject(process_, 20000);
    DWORD code = 1;
    GetExitCodeProcess(process_, &code);
    exitCode_ = static_cast<int>(code);
    waited_ = true;
  }
  return exitCode_;
}

#else

ChildProcess::ChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
  int in[2];
  int out[2];
  if (pipe2(in, O_CLOEXEC) != 0) return;
  if (pipe2(out, O_CLOEXEC) != 0) return;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  std::vector<std::string> words{program};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  input_ = in[1];
  output_ = out[0];
  if (error != 0) return;
  pid_ = pid;
  started_ = true;
  signal(SIGPIPE, SIG_IGN);  // a child that ended early must not end the test
}

ChildProcess::~ChildProcess() {
  closeInput();
  if (pid_ > 0 && !waited_) {
    kill(pid_, SIGKILL);
    wait();
  }
  if (output_ >= 0) close(output_);
}

void ChildProcess::write(const std::string& text) {
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(input_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

void ChildProcess::closeInput() {
  if (input_ >= 0) close(input_);
  input_ = -1;
}

bool ChildProcess::fillBuffer(int limitMs) {
  pollfd p{output_, POLLIN, 0};
  const int ready = poll(&p, 1, limitMs);
  if (ready <= 0) return false;
  char chunk[512];
  const ssize_t n = read(output_, chunk, sizeof chunk);
  if (n <= 0) {
    outputEnded_ = true;
    return false;
  }
  buffer_.append(chunk, static_cast<std::size_t>(n));
  return true;
}

int ChildProcess::wait() {
  if (!waited_ && pid_ > 0) {
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
    }
    exitCode_ = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    waited_ = true;
  }
  return exitCode_;
}

#endif

std::optional<std::string> ChildProcess::readLine(int limitMs) {
  for (;;) {
    const std::size_t end = buffer_.find('\n');
    if (end != std::string::npos) {
      std::string line = buffer_.substr(0, end);
      buffer_.erase(0, end + 1);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      return line;
    }
    if (outputEnded_ || !fillBuffer(limitMs)) return std::nullopt;
  }
}

std::optional<std::string> ChildProcess::readReport(const std::string& prefix) {
  for (;;) {
    std::optional<std::string> line = readLine();
    if (!line) return std::nullopt;
    if (line->rfind(prefix, 0) == 0) return line->substr(prefix.size());
  }
}

}  // namespace testsupport
