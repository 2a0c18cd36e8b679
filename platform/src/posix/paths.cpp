// POSIX side of the path model: Windows-style paths converted at the boundary.
#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "posix/path_lookup.h"

namespace platform {

namespace {

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

bool isDriveLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

bool hasDrive(const std::string& path) {
  return path.size() >= 2 && isDriveLetter(path[0]) && path[1] == ':';
}

}  // namespace

std::string nativePath(const std::string& path) {
  std::string out;
  std::size_t start = 0;
  if (hasDrive(path)) {
    const char drive = static_cast<char>(path[0] | 0x20);  // lower case
    out = std::string("/mnt/") + drive;
    start = 2;
    if (start < path.size() && !isSeparator(path[start])) out += '/';
  }
  out.reserve(out.size() + path.size() - start);
  for (std::size_t i = start; i < path.size(); ++i) {
    out += path[i] == '\\' ? '/' : path[i];
  }
  return out;
}

bool isAbsolutePath(const std::string& path) {
  if (path.empty()) return false;
  if (isSeparator(path[0])) return true;
  return hasDrive(path) && path.size() >= 3 && isSeparator(path[2]);
}

std::string currentDirectory() {
  std::vector<char> buffer(512);
  for (;;) {
    if (getcwd(buffer.data(), buffer.size()) != nullptr) return std::string(buffer.data());
    if (errno != ERANGE) return {};
    buffer.resize(buffer.size() * 2);
  }
}

std::string executablePath() {
  std::vector<char> buffer(1024);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return {};
    if (static_cast<std::size_t>(n) < buffer.size()) {
      return std::string(buffer.data(), static_cast<std::size_t>(n));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string hostProgramPath() {
  return executablePath();
}

std::FILE* openFile(const std::string& path, const char* mode) {
  return std::fopen(posix::resolveNativePath(path).c_str(), mode);
}

long long openFileSize(std::FILE* file) {
  struct stat st {};
  if (file == nullptr || ::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_size);
}

}  // namespace platform
