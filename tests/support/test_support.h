// Helpers shared by the test programs of every area.
#pragma once

#include <string>

namespace testsupport {

// True when the test runs under Wine (ntdll exports wine_get_version).
// Tests that expect Windows behaviour where Wine is known to differ skip
// those cases with GTEST_SKIP() and print the reason.
bool runningUnderWine();

// A fresh, empty directory for one test, removed with everything below it
// when the object goes. path() is a native path without a trailing separator.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + separator + relative (relative may use '/' or '\').
  std::string operator/(const std::string& relative) const;

 private:
  std::string path_;
};

// Whole-file helpers working on native or backslash paths (through platform).
void writeFile(const std::string& path, const std::string& content);
std::string readFile(const std::string& path);
bool exists(const std::string& path);
// Sets an environment variable of this process, or removes it when value is
// null (_putenv_s on Windows, where an empty value removes it too).
void setEnvironment(const char* name, const char* value);

// Creates every missing directory level of the path.
void makeDirectories(const std::string& path);

}  // namespace testsupport
