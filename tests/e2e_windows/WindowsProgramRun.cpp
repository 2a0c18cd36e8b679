#include "WindowsProgramRun.h"

#include <windows.h>

#include <cctype>
#include <cstdio>
#include <cstring>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"

namespace winrun {
namespace {

constexpr const char* kAppDataPath = "Application Data\\Kestrel Ward\\Velloran 2";
// The key under which the virtual arm's default serial "P08-08-1234" keeps its
// psi correction.
constexpr const char* kVirtualArmSerialKey = "P08081234";

std::string upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

std::string backslashed(std::string text) {
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

std::string trim(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

std::string unescapeLineBreaks(const std::string& text) {
  std::string out;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += '\n';
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}

// Environment block for CreateProcess: this process's variables without the
// ones that would change the program's behaviour behind the test's back, plus
// the sandbox's own; names compared without regard to case, sorted.
std::vector<char> environmentBlock(const std::map<std::string, std::string>& own) {
  std::map<std::string, std::string> variables;  // upper-case name -> "Name=value"
  if (char* strings = GetEnvironmentStringsA(); strings != nullptr) {
    for (const char* entry = strings; *entry != '\0'; entry += std::strlen(entry) + 1) {
      const std::string text = entry;
      const std::size_t equals = text.find('=', 1);  // "=C:=C:\..." entries start with '='
      if (equals == std::string::npos) continue;
      const std::string name = upper(text.substr(0, equals));
      if (name == "ALLUSERSPROFILE" || name == "VISUAL" || name == "EDITOR" ||
          name.rfind("ZORV_", 0) == 0) {
        continue;
      }
      variables[name] = text;
    }
    FreeEnvironmentStringsA(strings);
  }
  for (const auto& [name, value] : own) variables[upper(name)] = name + "=" + value;
  std::vector<char> block;
  for (const auto& [name, text] : variables) {
    block.insert(block.end(), text.begin(), text.end());
    block.push_back('\0');
  }
  block.push_back('\0');
  return block;
}

// Appends what the pipe holds now; false once the pipe is broken (every
// writer has closed it) and empty.
bool drain(HANDLE pipe, std::string& into) {
  for (;;) {
    DWORD available = 0;
    if (!PeekNamedPipe(pipe, nullptr, 0, nullptr, &available, nullptr)) return false;
    if (available == 0) return true;
    char chunk[4096];
    DWORD read = 0;
    const DWORD want = available < sizeof chunk ? available : static_cast<DWORD>(sizeof chunk);
    if (!ReadFile(pipe, chunk, want, &read, nullptr) || read == 0) return false;
    into.append(chunk, read);
  }
}

struct Handle {
  HANDLE h = nullptr;
  Handle() = default;
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() { close(); }
  void close() {
    if (h != nullptr && h != INVALID_HANDLE_VALUE) CloseHandle(h);
    h = nullptr;
  }
};

}  // namespace

Sandbox::Sandbox() {
  testsupport::makeDirectories(applicationDataDirectory());
  testsupport::makeDirectories(workingDirectory());
  testsupport::writeFile(applicationDataDirectory() + "\\WinVLPosetta.ini",
                         std::string("[ArmPsiDeltas]\r\n") + kVirtualArmSerialKey +
                             "=0.0100000000000000\r\n");
  // The program opens listings with "notepad.exe <file>"; Windows looks for
  // it in the program's directory, then in the working directory, before
  // the system's own.
  const std::string editor = platform::executableDirectory() + "\\zorv_recording_editor.exe";
  if (!CopyFileA(editor.c_str(), (workingDirectory() + "\\notepad.exe").c_str(), FALSE)) {
    throw std::runtime_error("cannot copy " + editor);
  }
  environment_["ALLUSERSPROFILE"] = path("profile");
  environment_["ZORV_EDITOR_RECORD"] = editorRecordFile();
  setArmScenario("");
}

std::string Sandbox::applicationDataDirectory() const {
  return path("profile") + "\\" + kAppDataPath;
}

std::string Sandbox::wizardDirectory() const {
  return applicationDataDirectory() + "\\vl2_settings";
}

std::string Sandbox::workingDirectory() const {
  return path("work");
}

void Sandbox::buildWizardTree(const std::string& description) {
  testsupport::makeDirectories(wizardDirectory());
  std::istringstream lines(description);
  std::string line;
  while (std::getline(lines, line)) {
    line = trim(line);
    if (line.empty()) continue;
    std::string name = line;
    std::string content;
    if (const std::size_t equals = line.find(" = "); equals != std::string::npos) {
      name = trim(line.substr(0, equals));
      content = unescapeLineBreaks(line.substr(equals + 3));
    }
    const std::string target = wizardDirectory() + "\\" + backslashed(name);
    if (name.empty()) continue;
    if (name.back() == '/') {
      testsupport::makeDirectories(target);
      continue;
    }
    testsupport::makeDirectories(target.substr(0, target.find_last_of('\\')));
    testsupport::writeFile(target, content);
  }
}

void Sandbox::setArmScenario(const std::string& text) {
  const std::string file = path("arm-scenario.txt");
  testsupport::writeFile(file, text);
  environment_["ZORV_ARMSIM_SCENARIO"] = file;
}

RunResult Sandbox::run(const std::string& script, std::chrono::milliseconds limit) const {
  const std::string program = platform::executableDirectory() + "\\ZorvPosetta.exe";
  SECURITY_ATTRIBUTES inherit{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  Handle childIn, scriptIn, output, childOut, errors, childErr;
  if (!CreatePipe(&childIn.h, &scriptIn.h, &inherit, 0) ||
      !CreatePipe(&output.h, &childOut.h, &inherit, 0) ||
      !CreatePipe(&errors.h, &childErr.h, &inherit, 0)) {
    throw std::runtime_error("CreatePipe failed");
  }
  // The test's ends stay in the test.
  SetHandleInformation(scriptIn.h, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(output.h, HANDLE_FLAG_INHERIT, 0);
  SetHandleInformation(errors.h, HANDLE_FLAG_INHERIT, 0);

  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = childIn.h;
  startup.hStdOutput = childOut.h;
  startup.hStdError = childErr.h;
  PROCESS_INFORMATION info{};
  std::string commandLine = "\"" + program + "\"";
  std::vector<char> environment = environmentBlock(environment_);
  if (!CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0,
                      environment.data(), workingDirectory().c_str(), &startup, &info)) {
    throw std::runtime_error("cannot start " + program + " (error " +
                             std::to_string(GetLastError()) + ")");
  }
  Handle process, thread;
  process.h = info.hProcess;
  thread.h = info.hThread;
  childIn.close();
  childOut.close();
  childErr.close();

  // The script goes in whole and the pipe is closed: the program reads it as
  // typed keys and then meets the end of input.
  DWORD written = 0;
  if (!script.empty()) {
    WriteFile(scriptIn.h, script.data(), static_cast<DWORD>(script.size()), &written, nullptr);
  }
  scriptIn.close();

  RunResult result;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  bool outputOpen = true;
  bool errorsOpen = true;
  auto endedAt = std::chrono::steady_clock::time_point::max();
  while (outputOpen || errorsOpen) {
    if (outputOpen) outputOpen = drain(output.h, result.output);
    if (errorsOpen) errorsOpen = drain(errors.h, result.errorOutput);
    const auto now = std::chrono::steady_clock::now();
    if (WaitForSingleObject(process.h, 0) == WAIT_OBJECT_0) {
      // Something the program started may still hold a copy of the pipes;
      // what the program wrote has arrived soon after it ended.
      if (endedAt == std::chrono::steady_clock::time_point::max()) endedAt = now;
      if (now - endedAt > std::chrono::seconds(3)) break;
    } else if (now > deadline) {
      result.timedOut = true;
      TerminateProcess(process.h, 255);
      WaitForSingleObject(process.h, 5000);
      break;
    }
    Sleep(5);
  }
  drain(output.h, result.output);
  drain(errors.h, result.errorOutput);
  DWORD code = 0;
  GetExitCodeProcess(process.h, &code);
  result.exitCode = code;
  return result;
}

std::string crlf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (const char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

std::string visible(const std::string& text) {
  std::string out;
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == '\r') {
      out += "\\r";
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte >= 0x7f) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", byte);
      out += hex;
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace winrun
