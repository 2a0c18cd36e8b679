// Notepad through CreateProcessA; the default viewer through ShellExecuteExA,
// ended with TerminateProcess.

#include "platform/process.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <cstdint>
#include <cstring>
#include <iostream>
#include <mutex>
#include <set>

namespace platform {
namespace {

std::mutex g_viewersMutex;
std::set<ViewerHandle> g_viewers;  // process handles not yet closed

}  // namespace

bool runEditorAndWait(const std::string& path) {
  // The command line lives in a 256-byte buffer; a longer one is refused
  // rather than cut, which would open some other file.
  const std::string commandLine = "notepad.exe " + path;
  char buffer[256];
  if (commandLine.size() >= sizeof buffer) return false;
  std::memcpy(buffer, commandLine.c_str(), commandLine.size() + 1);

  std::cout.flush();
  STARTUPINFOA startup;
  std::memset(&startup, 0, sizeof startup);
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process;
  std::memset(&process, 0, sizeof process);
  if (!CreateProcessA(nullptr, buffer, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                      &process)) {
    return false;
  }
  WaitForSingleObject(process.hProcess, INFINITE);
  CloseHandle(process.hProcess);
  CloseHandle(process.hThread);
  return true;
}

ViewerHandle openWithViewer(const std::string& path) {
  SHELLEXECUTEINFOA info;
  std::memset(&info, 0, sizeof info);
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpVerb = "open";
  info.lpFile = path.c_str();
  info.nShow = SW_SHOWNORMAL;
  if (!ShellExecuteExA(&info) || info.hProcess == nullptr) return 0;
  const auto viewer = static_cast<ViewerHandle>(reinterpret_cast<std::uintptr_t>(info.hProcess));
  std::lock_guard<std::mutex> lock(g_viewersMutex);
  g_viewers.insert(viewer);
  return viewer;
}

void closeViewer(ViewerHandle viewer) {
  {
    std::lock_guard<std::mutex> lock(g_viewersMutex);
    // A handle closed already may have been reused for something else.
    if (viewer == 0 || g_viewers.erase(viewer) == 0) return;
  }
  const HANDLE process = reinterpret_cast<HANDLE>(static_cast<std::uintptr_t>(viewer));
  TerminateProcess(process, 0);  // fails harmlessly when it has ended
  CloseHandle(process);
}

}  // namespace platform
