#include "test_support.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>

#include "platform/dynlib.h"
#include "platform/paths.h"

namespace fs = std::filesystem;

namespace testsupport {

bool runningUnderWine() {
#ifdef _WIN32
  static const bool wine = [] {
    platform::LibraryHandle ntdll = platform::loadLibrary("ntdll.dll");
    bool found = ntdll != nullptr && platform::findSymbol(ntdll, "wine_get_version") != nullptr;
    if (ntdll != nullptr) platform::freeLibrary(ntdll);
    return found;
  }();
  return wine;
#else
  return false;
#endif
}

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  fs::path base = fs::temp_directory_path();
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate =
        base / ("zorv-test-" + std::to_string(stamp) + "-" + std::to_string(counter.fetch_add(1)));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      path_ = candidate.string();
      while (!path_.empty() && (path_.back() == '/' || path_.back() == '\\')) path_.pop_back();
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir() {
  std::error_code ec;
  // Read-only entries must not stop the clean-up.
  for (auto it = fs::recursive_directory_iterator(path_, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  }
  fs::remove_all(path_, ec);
}

std::string TempDir::operator/(const std::string& relative) const {
#ifdef _WIN32
  const char sep = '\\';
#else
  const char sep = '/';
#endif
  std::string rel = relative;
  for (char& c : rel) {
    if (c == '/' || c == '\\') c = sep;
  }
  return path_ + sep + rel;
}

void writeFile(const std::string& path, const std::string& content) {
  std::FILE* f = platform::openFile(path, "wb");
  if (f == nullptr) throw std::runtime_error("cannot write " + path);
  std::fwrite(content.data(), 1, content.size(), f);
  std::fclose(f);
}

std::string readFile(const std::string& path) {
  std::FILE* f = platform::openFile(path, "rb");
  if (f == nullptr) throw std::runtime_error("cannot read " + path);
  std::string out;
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

bool exists(const std::string& path) {
  std::error_code ec;
  return fs::exists(fs::path(platform::nativePath(path)), ec);
}

void setEnvironment(const char* name, const char* value) {
#ifdef _WIN32
  _putenv_s(name, value == nullptr ? "" : value);
#else
  if (value == nullptr) {
    unsetenv(name);
  } else {
    setenv(name, value, 1);
  }
#endif
}

void makeDirectories(const std::string& path) {
  std::error_code ec;
  fs::create_directories(fs::path(platform::nativePath(path)), ec);
  if (ec) throw std::runtime_error("cannot create " + path + ": " + ec.message());
}

}  // namespace testsupport
