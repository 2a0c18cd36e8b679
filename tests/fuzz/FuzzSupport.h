// Helpers shared by the fuzz targets: a private scratch directory, whole-file
// access and the report of a broken invariant.
#pragma once

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace fuzz {

// A directory of this process only, removed at exit. On tmpfs where there is
// one: the profile calls flush every write to disk.
inline const std::string& scratchDirectory() {
  // Never destroyed: the exit handler below still needs it.
  static const std::string& dir = *new std::string([] {
    std::string base = "/tmp";
    if (const char* t = std::getenv("TMPDIR"); t != nullptr && *t != '\0') {
      base = t;
    } else if (struct stat st; ::stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) &&
                               ::access("/dev/shm", W_OK) == 0) {
      base = "/dev/shm";
    }
    // Directories that killed runs left behind go first: their names hold
    // the process number.
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(base, ignored)) {
      const std::string name = entry.path().filename().string();
      int pid = 0;
      if (std::sscanf(name.c_str(), "zorv-fuzz-%d-", &pid) == 1 && pid > 0 && ::kill(pid, 0) != 0 &&
          errno == ESRCH) {
        std::filesystem::remove_all(entry.path(), ignored);
      }
    }
    std::string pattern = base + "/zorv-fuzz-" + std::to_string(::getpid()) + "-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
      std::perror("mkdtemp");
      std::abort();
    }
    std::atexit([] {
      std::error_code ignored;
      std::filesystem::remove_all(scratchDirectory(), ignored);
    });
    return pattern;
  }());
  return dir;
}

inline void writeFile(const std::string& path, std::string_view bytes) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
      std::fclose(f) != 0) {
    std::perror(path.c_str());
    std::abort();
  }
}

// The file's bytes; nothing when it does not exist.
inline std::optional<std::string> readFile(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return std::nullopt;
  std::string bytes;
  char chunk[4096];
  for (std::size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.append(chunk, n);
  std::fclose(f);
  return bytes;
}

inline void removeFile(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
}

// Bytes as a C string literal's contents, for reports.
inline std::string escaped(std::string_view bytes) {
  std::string out;
  for (unsigned char c : bytes) {
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
      case '\\':
        out += "\\\\";
        break;
      case '"':
        out += "\\\"";
        break;
      default:
        if (c < 0x20 || c >= 0x7f) {
          char hex[5];
          std::snprintf(hex, sizeof hex, "\\x%02X", c);
          out += hex;
        } else {
          out += static_cast<char>(c);
        }
    }
  }
  return out;
}

// A broken invariant: reported with its context, then abort() so that
// libFuzzer keeps the input as a crash.
[[noreturn]] inline void fail(const std::string& what, const std::string& context = {}) {
  std::fprintf(stderr, "\n*** invariant broken: %s\n", what.c_str());
  if (!context.empty()) std::fprintf(stderr, "%s\n", context.c_str());
  std::fflush(stderr);
  std::error_code ignored;
  std::filesystem::remove_all(scratchDirectory(), ignored);
  std::abort();
}

}  // namespace fuzz
