// End-to-end harness (Linux): sandbox directories, program start with a
// scripted standard input, output capture and comparison helpers.
#include "E2eHarness.h"

#include <fcntl.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace fs = std::filesystem;

namespace e2e {

const char* const kVirtualArmSerialNumber = "P08081234";
const char* const kRestingArmScenario = "record 400 0 200 0 90 0\nend hold\n";

namespace {

constexpr const char* kAppDataPath = "Application Data/Kestrel Ward/Velloran 2";

std::string unescape(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    const char next = text[++i];
    switch (next) {
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case '\\':
        out += '\\';
        break;
      default:
        out += '\\';
        out += next;
        break;
    }
  }
  return out;
}

std::string trim(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  const std::size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

std::vector<std::string> splitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start <= text.size()) {
    const std::size_t end = text.find('\n', start);
    if (end == std::string::npos) {
      if (start < text.size()) lines.push_back(text.substr(start));
      break;
    }
    lines.push_back(text.substr(start, end - start + 1));
    start = end + 1;
  }
  return lines;
}

bool writeSmallFile(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  ::close(fd);
  return ok;
}

// In a child process: gives it a private mount namespace in which drives is
// mounted over /mnt. Root can do that directly; other users go through a user
// namespace that maps them to themselves.
bool isolateDrives(const std::string& drives) {
  const uid_t uid = ::getuid();
  const gid_t gid = ::getgid();
  if (::unshare(CLONE_NEWNS) != 0) {
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) return false;
    writeSmallFile("/proc/self/setgroups", "deny");
    if (!writeSmallFile("/proc/self/uid_map",
                        std::to_string(uid) + " " + std::to_string(uid) + " 1") ||
        !writeSmallFile("/proc/self/gid_map",
                        std::to_string(gid) + " " + std::to_string(gid) + " 1")) {
      return false;
    }
  }
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) return false;
  return ::mount(drives.c_str(), "/mnt", nullptr, MS_BIND | MS_REC, nullptr) == 0;
}

void setNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

}  // namespace

std::string binaryDirectory() {
  if (const char* dir = std::getenv("ZORV_BIN_DIR"); dir != nullptr && *dir != '\0') return dir;
  std::error_code ec;
  const fs::path self = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return self.parent_path().string();
}

bool driveIsolationAvailable() {
  static const bool available = [] {
    std::error_code ec;
    const fs::path probe =
        fs::temp_directory_path() / ("zorv-e2e-probe-" + std::to_string(::getpid()));
    fs::create_directories(probe / "c", ec);
    bool ok = false;
    const pid_t child = ::fork();
    if (child == 0) {
      ::_exit(isolateDrives(probe.string()) && ::access("/mnt/c", F_OK) == 0 ? 0 : 1);
    }
    if (child > 0) {
      int status = 0;
      ::waitpid(child, &status, 0);
      ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    fs::remove_all(probe, ec);
    return ok;
  }();
  return available;
}

std::string armStartupTranscript() {
  return "Initialising arm... Hold ctrl for arm information.\n";
}

std::string bannerText() {
  return "\n Orlenta Zorv Posetta\n~~~~~~~~~~~~~~~~~~~~~~~~~\n\n Alpha version\n\n";
}

const char* const kMainMenuEntries[16] = {"Faro dialog",
                                          "Test arm",
                                          "Calibrate collection",
                                          "Calibrate region",
                                          "Test region",
                                          "Edit region data",
                                          "Edit tool data",
                                          "Add tool to part",
                                          "Calculate psi zero degree",
                                          "Reuse part calibrations",
                                          "Reset new part calibrations",
                                          "Clean old part calibrations",
                                          "Quad mesh info",
                                          "Dump directories",
                                          "Hardware config dialog",
                                          "Exit"};

std::string mainMenuScreen() {
  std::string screen = bannerText() + "\nChoose function:\n";
  int n = 1;
  for (const char* entry : kMainMenuEntries) {
    screen += "\t" + std::to_string(n++) + ": " + entry + "\n";
  }
  return screen + "Please enter value 1..16: ";
}

std::string keyPrompt() {
  return "\nPlease press any key to continue.\n";
}

void buildTree(const std::string& root, const std::string& description) {
  std::istringstream lines(description);
  std::string line;
  while (std::getline(lines, line)) {
    line = trim(line);
    if (line.empty() || line[0] == '#') continue;
    std::string name = line;
    std::string content;
    const std::size_t equals = line.find(" = ");
    if (equals != std::string::npos) {
      name = trim(line.substr(0, equals));
      content = unescape(line.substr(equals + 3));
    }
    const fs::path target = fs::path(root) / name;
    if (!name.empty() && name.back() == '/') {
      fs::create_directories(target);
      continue;
    }
    fs::create_directories(target.parent_path());
    writeFile(target.string(), content);
  }
}

Sandbox::Sandbox() : root_(directory_.path()) {
  fs::create_directories(applicationDataDirectory());
  fs::create_directories(workingDirectory());
  fs::create_directories(root_ + "/mnt");
  setArmConfiguration(std::string("[ArmPsiDeltas]\r\n") + kVirtualArmSerialNumber +
                      "=0.0100000000000000\r\n");
  // The virtual arm does not open without a named scenario.
  setArmScenario(kRestingArmScenario);
}

Sandbox::~Sandbox() = default;

std::string Sandbox::profileDirectory() const {
  return root_ + "/profile";
}
std::string Sandbox::applicationDataDirectory() const {
  return profileDirectory() + "/" + kAppDataPath;
}
std::string Sandbox::applicationDataDirectoryAsShown() const {
  return profileDirectory() + "\\Application Data\\Kestrel Ward\\Velloran 2";
}
std::string Sandbox::wizardDirectory() const {
  return applicationDataDirectory() + "/vl2_settings";
}
std::string Sandbox::workingDirectory() const {
  return root_ + "/work";
}
std::string Sandbox::legacyDirectory() const {
  return root_ + "/mnt/c/quads";
}

std::string sourceDirectory() {
  if (const char* dir = std::getenv("ZORV_SOURCE_DIR"); dir != nullptr && *dir != '\0') return dir;
  return ZORV_E2E_SOURCE_DIR;
}

void Sandbox::useDemoSite() {
  fs::copy(fs::path(sourceDirectory()) / "examples" / "demo-site", profileDirectory(),
           fs::copy_options::recursive | fs::copy_options::overwrite_existing);
}

void Sandbox::buildLegacyTree(const std::string& description) {
  fs::create_directories(legacyDirectory());
  buildTree(legacyDirectory(), description);
}

std::string Sandbox::path(const std::string& relative) const {
  return root_ + "/" + relative;
}

void Sandbox::buildWizardTree(const std::string& description) {
  fs::create_directories(wizardDirectory());
  buildTree(wizardDirectory(), description);
}

void Sandbox::setArmConfiguration(const std::string& content) {
  const std::string file = applicationDataDirectory() + "/WinVLPosetta.ini";
  if (content.empty()) {
    std::error_code ec;
    fs::remove(file, ec);
    return;
  }
  writeFile(file, content);
}

void Sandbox::setArmScenario(const std::string& scenarioText) {
  const std::string file = root_ + "/arm-scenario.txt";
  writeFile(file, scenarioText);
  setEnvironment("ZORV_ARMSIM_SCENARIO", file);
}

void Sandbox::setEnvironment(const std::string& name, const std::string& value) {
  environment_[name] = value;
  unset_.erase(std::remove(unset_.begin(), unset_.end(), name), unset_.end());
}

void Sandbox::unsetEnvironment(const std::string& name) {
  environment_.erase(name);
  unset_.push_back(name);
}

RunResult Sandbox::run(const std::string& script, std::chrono::milliseconds timeout) const {
  return run(std::vector<InputStep>{InputStep{"", std::chrono::milliseconds(0), script}}, timeout);
}

RunResult Sandbox::run(const std::vector<InputStep>& steps,
                       std::chrono::milliseconds timeout) const {
  const std::string program = binaryDirectory() + "/ZorvPosetta";
  if (::access(program.c_str(), X_OK) != 0) {
    throw std::runtime_error("program not found: " + program);
  }

  // The run's environment: the test's own, without anything that would change
  // the program's behaviour behind the test's back, plus the sandbox settings.
  std::map<std::string, std::string> env;
  for (char** entry = environ; *entry != nullptr; ++entry) {
    const std::string text = *entry;
    const std::size_t equals = text.find('=');
    if (equals == std::string::npos) continue;
    const std::string name = text.substr(0, equals);
    if (name == "VISUAL" || name == "EDITOR" || name == "ALLUSERSPROFILE" ||
        (name.rfind("ZORV_", 0) == 0 && name != "ZORV_BIN_DIR")) {
      continue;
    }
    env[name] = text.substr(equals + 1);
  }
  env["ALLUSERSPROFILE"] = profileDirectory();
  env["HOME"] = root_;
  for (const auto& [name, value] : environment_) env[name] = value;
  for (const std::string& name : unset_) env.erase(name);
  std::vector<std::string> envText;
  for (const auto& [name, value] : env) envText.push_back(name + "=" + value);
  std::vector<char*> envp;
  for (std::string& text : envText) envp.push_back(text.data());
  envp.push_back(nullptr);
  std::string programCopy = program;
  char* argv[] = {programCopy.data(), nullptr};
  const std::string workDir = workingDirectory();
  const std::string drives = root_ + "/mnt";
  const bool isolate = driveIsolationAvailable();

  int in[2], out[2], err[2];
  if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
    throw std::runtime_error("pipe failed");
  }
  const pid_t child = ::fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    ::dup2(in[0], 0);
    ::dup2(out[1], 1);
    ::dup2(err[1], 2);
    if (isolate && !isolateDrives(drives)) ::_exit(125);
    if (::chdir(workDir.c_str()) != 0) ::_exit(126);
    ::execve(program.c_str(), argv, envp.data());
    ::_exit(127);
  }
  ::close(in[0]);
  ::close(out[1]);
  ::close(err[1]);
  setNonBlocking(in[1]);
  setNonBlocking(out[0]);
  setNonBlocking(err[0]);
  // A program that stops reading must not kill the harness with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);

  RunResult result;
  int inFd = in[1];
  // The step being written, how much of it is written, where the next awaited
  // text is searched from, and when the step may be written (unset while its
  // awaited text has not come).
  std::size_t step = 0;
  std::size_t written = 0;
  std::size_t searchFrom = 0;
  std::optional<std::chrono::steady_clock::time_point> stepDue;
  // Moves past written steps and finds when the current one is due; closes
  // the input after the last. True when the current step may be written now.
  const auto inputDue = [&] {
    while (inFd >= 0) {
      if (step == steps.size()) {
        ::close(inFd);
        inFd = -1;
        return false;
      }
      const InputStep& current = steps[step];
      if (!stepDue) {
        if (!current.awaited.empty()) {
          const std::size_t at = result.output.find(current.awaited, searchFrom);
          if (at == std::string::npos) return false;
          searchFrom = at + current.awaited.size();
        }
        stepDue = std::chrono::steady_clock::now() + current.delay;
      }
      if (std::chrono::steady_clock::now() < *stepDue) return false;
      if (written < current.input.size()) return true;
      ++step;
      written = 0;
      stepDue.reset();
    }
    return false;
  };
  int outFd = out[0];
  int errFd = err[0];
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (outFd >= 0 || errFd >= 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      result.timedOut = true;
      ::kill(child, SIGKILL);
      break;
    }
    const bool writeNow = inputDue();
    pollfd fds[3];
    nfds_t count = 0;
    const auto add = [&](int fd, short events) {
      if (fd >= 0) fds[count++] = pollfd{fd, events, 0};
    };
    add(outFd, POLLIN);
    add(errFd, POLLIN);
    if (writeNow) add(inFd, POLLOUT);
    // Short slices while a step waits for its delay.
    const long long slice = inFd >= 0 && !writeNow && stepDue ? 10 : 100;
    if (::poll(fds, count, static_cast<int>(std::min<long long>(left.count(), slice))) < 0) {
      if (errno == EINTR) continue;
      break;
    }
    for (nfds_t i = 0; i < count; ++i) {
      if (fds[i].revents == 0) continue;
      if (fds[i].fd == inFd) {
        const std::string& script = steps[step].input;
        const ssize_t n = ::write(inFd, script.data() + written, script.size() - written);
        if (n > 0) written += static_cast<std::size_t>(n);
        if (n < 0 && errno != EAGAIN) written = script.size();
        // Goes on at once: the next step, or the end of the input.
        if (written >= script.size()) inputDue();
        continue;
      }
      char buffer[4096];
      const ssize_t n = ::read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (fds[i].fd == outFd ? result.output : result.errorOutput).append(buffer, n);
      } else if (n == 0 || errno != EAGAIN) {
        ::close(fds[i].fd);
        (fds[i].fd == outFd ? outFd : errFd) = -1;
      }
    }
  }
  if (inFd >= 0) ::close(inFd);
  if (outFd >= 0) ::close(outFd);
  if (errFd >= 0) ::close(errFd);
  int status = 0;
  // Output closed: the program is ending (or was killed); a program that
  // closed its output but keeps running is killed once the deadline passes.
  for (;;) {
    const pid_t done = ::waitpid(child, &status, WNOHANG);
    if (done == child) break;
    if (done < 0 && errno != EINTR) break;
    if (std::chrono::steady_clock::now() >= deadline) {
      result.timedOut = true;
      ::kill(child, SIGKILL);
      ::waitpid(child, &status, 0);
      break;
    }
    ::usleep(5000);
  }
  result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

bool directoryExists(const std::string& path) {
  std::error_code ec;
  return fs::is_directory(path, ec);
}

std::vector<std::string> directoryEntries(const std::string& path) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto it = fs::directory_iterator(path, ec); !ec && it != fs::directory_iterator();
       it.increment(ec)) {
    names.push_back(it->path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::string visible(const std::string& text) {
  std::string out;
  for (const char c : text) {
    switch (c) {
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      default:
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) {
          char hex[8];
          std::snprintf(hex, sizeof hex, "\\x%02x", static_cast<unsigned char>(c));
          out += hex;
        } else {
          out += c;
        }
    }
  }
  return out;
}

::testing::AssertionResult transcriptsMatch(const std::string& expected,
                                            const std::string& actual) {
  if (expected == actual) return ::testing::AssertionSuccess();
  const std::vector<std::string> want = splitLines(expected);
  const std::vector<std::string> got = splitLines(actual);
  std::size_t line = 0;
  while (line < want.size() && line < got.size() && want[line] == got[line]) ++line;
  auto failure = ::testing::AssertionFailure();
  failure << "transcripts differ at line " << (line + 1)
          << "\n  expected: " << (line < want.size() ? visible(want[line]) : "<end>")
          << "\n  actual:   " << (line < got.size() ? visible(got[line]) : "<end>");
  failure << "\n--- whole actual transcript ---\n";
  for (const std::string& text : got) failure << visible(text) << "\n";
  return failure;
}

std::size_t countOccurrences(const std::string& text, const std::string& needle) {
  if (needle.empty()) return 0;
  std::size_t count = 0;
  for (std::size_t at = text.find(needle); at != std::string::npos;
       at = text.find(needle, at + needle.size())) {
    ++count;
  }
  return count;
}

}  // namespace e2e
