// Win32 side of the path model: paths go to the API as they are.
#include "platform/paths.h"

#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <string>
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

namespace {

// The final path of an existing entry (every link followed), or "".
std::string finalPathOf(const std::string& path) {
  HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return std::string();
  std::vector<char> buffer(1024);
  DWORD n = GetFinalPathNameByHandleA(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      FILE_NAME_NORMALIZED);
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = GetFinalPathNameByHandleA(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  FILE_NAME_NORMALIZED);
  }
  CloseHandle(handle);
  if (n == 0 || n >= buffer.size()) return std::string();
  std::string final(buffer.data(), n);
  while (final.size() > 1 && isSeparator(final.back())) final.pop_back();
  return final;
}

std::wstring wide(const std::string& text) {
  const int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring result(static_cast<std::size_t>(n > 0 ? n : 0), L'\0');
  if (n > 0) {
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), result.data(), n);
  }
  return result;
}

// Names compared as the file system compares them: ordinal, ignoring case.
bool sameTextIgnoringCase(const std::string& a, const std::string& b) {
  const std::wstring x = wide(a);
  const std::wstring y = wide(b);
  return CompareStringOrdinal(x.c_str(), static_cast<int>(x.size()), y.c_str(),
                              static_cast<int>(y.size()), TRUE) == CSTR_EQUAL;
}

}  // namespace

bool finallyLiesWithin(const std::string& path, const std::string& directory) {
  const std::string inner = finalPathOf(path);
  const std::string outer = finalPathOf(directory);
  if (inner.empty() || outer.empty()) return false;
  if (sameTextIgnoringCase(inner, outer)) return true;
  return inner.size() > outer.size() && isSeparator(inner[outer.size()]) &&
         sameTextIgnoringCase(inner.substr(0, outer.size()), outer);
}

std::FILE* createNewFile(const std::string& path, bool binary) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return nullptr;
    // DeleteFileA removes a link itself, never its target.
    if (DeleteFileA(path.c_str()) == FALSE) return nullptr;
  }
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), binary ? _O_BINARY : _O_TEXT);
  if (fd < 0) {
    CloseHandle(handle);
    return nullptr;
  }
  std::FILE* file = _fdopen(fd, binary ? "wb" : "w");
  if (file == nullptr) _close(fd);
  return file;
}

long long openFileSize(std::FILE* file) {
  if (file == nullptr) return -1;
  const __int64 size = _filelengthi64(_fileno(file));
  return size < 0 ? -1 : static_cast<long long>(size);
}

}  // namespace platform
