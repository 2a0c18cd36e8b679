#include "ArmTestSupport.h"

#include <cstdlib>
#include <sstream>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <stdlib.h>
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace armtest {
namespace {

std::string& captured() {
  static std::string text;
  return text;
}

// The write end of the console input pipe keepConsoleInputOpen installs.
#ifdef _WIN32
HANDLE g_consoleWriteEnd = nullptr;
#else
int g_consoleWriteEnd = -1;
#endif

}  // namespace

void setEnvironment(const std::string& name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name.c_str(), value.c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

void unsetEnvironment(const std::string& name) {
#ifdef _WIN32
  _putenv_s(name.c_str(), "");
#else
  unsetenv(name.c_str());
#endif
}

void keepConsoleInputOpen() {
  static bool done = false;
  if (done) return;
#ifdef _WIN32
  HANDLE readEnd = nullptr;
  HANDLE writeEnd = nullptr;
  if (CreatePipe(&readEnd, &writeEnd, nullptr, 0)) {
    SetStdHandle(STD_INPUT_HANDLE, readEnd);
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(readEnd), _O_RDONLY);
    if (fd >= 0) _dup2(fd, 0);
    // The write end stays open for the life of the program.
    g_consoleWriteEnd = writeEnd;
    done = true;
  }
#else
  int fds[2];
  if (pipe(fds) == 0) {
    dup2(fds[0], 0);
    close(fds[0]);
    // The write end stays open for the life of the program.
    g_consoleWriteEnd = fds[1];
    done = true;
  }
#endif
}

bool typeOnConsole(const std::string& keys) {
#ifdef _WIN32
  if (g_consoleWriteEnd == nullptr) return false;
  DWORD written = 0;
  return WriteFile(g_consoleWriteEnd, keys.data(), static_cast<DWORD>(keys.size()), &written,
                   nullptr) != 0 &&
         written == keys.size();
#else
  if (g_consoleWriteEnd < 0) return false;
  return write(g_consoleWriteEnd, keys.data(), keys.size()) == static_cast<ssize_t>(keys.size());
#endif
}

void capturePrint(std::string text) {
  captured() += text;
}

std::string takeCaptured() {
  std::string text;
  text.swap(captured());
  return text;
}

std::string commandLogPath(const testsupport::TempDir& dir) {
  return dir / "commands.log";
}

void useScenario(const testsupport::TempDir& dir, const std::string& body) {
  const std::string path = dir / "arm.scenario";
  testsupport::writeFile(path, "log " + commandLogPath(dir) + "\n" + body);
  setEnvironment(kScenarioVariable, path);
}

std::vector<int> loggedCommands(const testsupport::TempDir& dir) {
  std::vector<int> commands;
  if (!testsupport::exists(commandLogPath(dir))) return commands;
  std::istringstream lines(testsupport::readFile(commandLogPath(dir)));
  for (int command; lines >> command;) commands.push_back(command);
  return commands;
}

ConsoleContext capturingContext() {
  ConsoleContext context{};
  context.print = capturePrint;
  return context;
}

std::string useApplicationData(const testsupport::TempDir& dir) {
  const std::string profile = dir / "profile";
  setEnvironment("ALLUSERSPROFILE", profile);
  const std::string appData = dir / "profile/Application Data/Kestrel Ward/Velloran 2";
  testsupport::makeDirectories(appData);
  return appData;
}

}  // namespace armtest
