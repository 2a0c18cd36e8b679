// Small helpers on POSIX file descriptors shared by the POSIX backend.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <cstddef>

namespace platform::posix {

// Writes the whole buffer, resuming after interrupted or partial writes.
// False on the first real error (errno tells which).
inline bool writeAll(int fd, const char* data, std::size_t size) {
  while (size > 0) {
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

}  // namespace platform::posix
