// Win32 side of the path model: paths go to the API as they are.
#include "platform/paths.h"

#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <io.h>

#include <vector>

namespace platform {

namespace {

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

bool isDriveLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string nativePath(const std::string& path) {
  return path;
}

bool isAbsolutePath(const std::string& path) {
  if (path.empty()) return false;
  if (isSeparator(path[0])) return true;  // rooted or UNC
  return path.size() >= 3 && isDriveLetter(path[0]) && path[1] == ':' && isSeparator(path[2]);
}

std::string currentDirectory() {
  const DWORD needed = GetCurrentDirectoryA(0, nullptr);
  if (needed == 0) return {};
  std::vector<char> buffer(needed + 1);
  const DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(buffer.size()), buffer.data());
  if (n == 0 || n >= buffer.size()) return {};
  return std::string(buffer.data(), n);
}

std::string executablePath() {
  std::vector<char> buffer(MAX_PATH);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::string(buffer.data(), n);
    if (buffer.size() >= 32768) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string hostProgramPath() {
  int count = 0;
  LPWSTR* arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr) return {};
  std::string result;
  if (count >= 1) {
    const int size =
        WideCharToMultiByte(CP_UTF8, 0, arguments[0], -1, nullptr, 0, nullptr, nullptr);
    if (size > 1) {
      std::vector<char> buffer(static_cast<std::size_t>(size));
      if (WideCharToMultiByte(CP_UTF8, 0, arguments[0], -1, buffer.data(), size, nullptr,
                              nullptr) == size) {
        result.assign(buffer.data(), static_cast<std::size_t>(size - 1));
      }
    }
  }
  LocalFree(arguments);
  return result;
}

std::FILE* openFile(const std::string& path, const char* mode) {
  return std::fopen(path.c_str(), mode);
}

long long openFileSize(std::FILE* file) {
  if (file == nullptr) return -1;
  const __int64 size = _filelengthi64(_fileno(file));
  return size < 0 ? -1 : static_cast<long long>(size);
}

}  // namespace platform
