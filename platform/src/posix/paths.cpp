// POSIX side of the path model: Windows-style paths converted at the boundary.
#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/faults_consult.h"
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

namespace {

// A stream for writing while a fault plan is set: the file's own stream,
// unbuffered, behind a stream whose buffer transfers and close the plan counts
// as writes and a flush (platform/faults.h).
struct FaultStream {
  std::FILE* file;
  std::string name;
};

ssize_t faultStreamRead(void* cookie, char* buffer, std::size_t size) {
  auto* stream = static_cast<FaultStream*>(cookie);
  const std::size_t n = std::fread(buffer, 1, size, stream->file);
  return n == 0 && std::ferror(stream->file) ? -1 : static_cast<ssize_t>(n);
}

ssize_t faultStreamWrite(void* cookie, const char* buffer, std::size_t size) {
  auto* stream = static_cast<FaultStream*>(cookie);
  if (const int injected =
          faults::detail::injectedError(faults::Operation::Write, stream->name)) {
    errno = injected;
    return 0;  // a write function reports its failure as 0 bytes
  }
  return static_cast<ssize_t>(std::fwrite(buffer, 1, size, stream->file));
}

int faultStreamSeek(void* cookie, off64_t* offset, int whence) {
  auto* stream = static_cast<FaultStream*>(cookie);
  if (::fseeko(stream->file, static_cast<off_t>(*offset), whence) != 0) return -1;
  *offset = ::ftello(stream->file);
  return 0;
}

int faultStreamClose(void* cookie) {
  auto* stream = static_cast<FaultStream*>(cookie);
  const int injected = faults::detail::injectedError(faults::Operation::Flush, stream->name);
  int result = std::fclose(stream->file);
  delete stream;
  if (injected != 0) {
    errno = injected;
    result = EOF;
  }
  return result;
}

bool writingMode(const char* mode) {
  return std::strpbrk(mode, "wa+") != nullptr;
}

}  // namespace

std::FILE* openFile(const std::string& path, const char* mode) {
  const std::string native = posix::resolveNativePath(path);
  if (!writingMode(mode) || !faults::detail::planInForce()) {
    return std::fopen(native.c_str(), mode);
  }
  if (const int injected = faults::detail::injectedError(faults::Operation::Open, native)) {
    errno = injected;
    return nullptr;
  }
  std::FILE* file = std::fopen(native.c_str(), mode);
  if (file == nullptr) return nullptr;
  std::setvbuf(file, nullptr, _IONBF, 0);
  auto* stream = new FaultStream{file, native};
  std::FILE* wrapped = ::fopencookie(
      stream, mode,
      cookie_io_functions_t{faultStreamRead, faultStreamWrite, faultStreamSeek, faultStreamClose});
  if (wrapped == nullptr) {
    std::fclose(file);
    delete stream;
  }
  return wrapped;
}

bool finallyLiesWithin(const std::string& path, const std::string& directory) {
  return posix::nativeLiesWithin(posix::resolveNativePath(path),
                                 posix::resolveNativePath(directory));
}

std::FILE* createNewFile(const std::string& path, bool binary) {
  const std::string native = posix::resolveNativePath(path);
  struct stat st {};
  if (::lstat(native.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      return nullptr;
    }
    if (::unlink(native.c_str()) != 0) return nullptr;
  }
  // "x": O_EXCL, which also refuses a link that appeared in between.
  return openFile(path, binary ? "wbx" : "wx");
}

long long openFileSize(std::FILE* file) {
  struct stat st {};
  if (file == nullptr || ::fstat(::fileno(file), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  return static_cast<long long>(st.st_size);
}

}  // namespace platform
