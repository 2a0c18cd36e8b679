// Small helpers on POSIX file descriptors shared by the POSIX backend.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string_view>

#include "common/faults_consult.h"

namespace platform::posix {

// The errno value a fault plan gives this operation on the path, 0 when it
// is to go on (platform/faults.h).
inline int injectedError(faults::Operation operation, std::string_view path) {
  return faults::detail::injectedError(operation, path);
}

// Writes the whole buffer to the file of the given name, resuming after
// interrupted or partial writes. False on the first real error (errno tells
// which).
inline bool writeAll(int fd, const char* data, std::size_t size, std::string_view name) {
  while (size > 0) {
    if (const int injected = injectedError(faults::Operation::Write, name)) {
      errno = injected;
      return false;
    }
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

// fsync(2) of the file of the given name, or the failure a fault plan gives it.
inline int flushToDisk(int fd, std::string_view name) {
  if (const int injected = injectedError(faults::Operation::Flush, name)) {
    errno = injected;
    return -1;
  }
  return ::fsync(fd);
}

}  // namespace platform::posix
