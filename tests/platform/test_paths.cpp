// Path model and process-wide locations.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/files.h"
#include "platform/paths.h"
#include "test_support.h"

using namespace platform;

namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

std::string lastComponent(const std::string& path) {
  const std::size_t sep = path.find_last_of("\\/");
  return sep == std::string::npos ? path : path.substr(sep + 1);
}

std::string lower(std::string s) {
  for (char& c : s) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return s;
}

TEST(NativePath, ConvertsSeparatorsAndDrives) {
  struct Row {
    const char* path;
    const char* posix;
  };
  const Row rows[] = {
      {"c:\\quads", "/mnt/c/quads"},
      {"C:\\Data\\vl2_settings\\parts", "/mnt/c/Data/vl2_settings/parts"},
      {"D:/mixed\\seps/x.ini", "/mnt/d/mixed/seps/x.ini"},
      {"X:", "/mnt/x"},
      {"X:\\", "/mnt/x/"},
      {"\\rooted\\path", "/rooted/path"},
      {"relative\\name.ini", "relative/name.ini"},
      {"/already/native", "/already/native"},
      {"", ""},
  };
  for (const Row& row : rows) {
    // Windows hands paths to the API as they are.
    EXPECT_EQ(nativePath(row.path), kWindows ? std::string(row.path) : std::string(row.posix))
        << row.path;
  }
}

TEST(IsAbsolutePath, DrivePathsAndRootedPaths) {
  struct Row {
    const char* path;
    bool absolute;
  };
  const Row rows[] = {
      {"c:\\quads", true}, {"C:/quads", true},       {"Z:\\", true},
      {"\\rooted", true},  {"/rooted", true},        {"\\\\server\\share", true},
      {"relative", false}, {"rel\\name.ini", false}, {"", false},
      {"c:", false},       {"c:relative", false},    {"1:\\x", false},
      {".\\here", false},
  };
  for (const Row& row : rows) EXPECT_EQ(isAbsolutePath(row.path), row.absolute) << row.path;
}

TEST(ProcessPaths, ExecutableAndItsDirectory) {
  const std::string exe = executablePath();
  ASSERT_FALSE(exe.empty());
  EXPECT_TRUE(isAbsolutePath(exe)) << exe;
  EXPECT_EQ(pathKind(exe), PathKind::File) << exe;
  EXPECT_EQ(lower(lastComponent(exe)).rfind("platform_paths_tests", 0), 0u) << exe;

  const std::string dir = executableDirectory();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(exe.compare(0, dir.size(), dir), 0);
  EXPECT_EQ(exe.size(), dir.size() + 1 + lastComponent(exe).size());
  EXPECT_EQ(pathKind(dir), PathKind::Directory) << dir;
}

TEST(ProcessPaths, HostProgramIsThisProgram) {
  const std::string host = hostProgramPath();
  ASSERT_FALSE(host.empty());
  EXPECT_EQ(lower(lastComponent(host)).rfind("platform_paths_tests", 0), 0u) << host;
}

TEST(ProcessPaths, CurrentDirectoryExists) {
  const std::string cwd = currentDirectory();
  ASSERT_FALSE(cwd.empty());
  EXPECT_TRUE(isAbsolutePath(cwd)) << cwd;
  EXPECT_EQ(pathKind(cwd), PathKind::Directory) << cwd;
}

TEST(EnvironmentVariable, SetAndUnset) {
#ifdef _WIN32
  _putenv_s("ZORV_PATHS_TEST_VALUE", "some value");
#else
  setenv("ZORV_PATHS_TEST_VALUE", "some value", 1);
#endif
  const auto value = environmentVariable("ZORV_PATHS_TEST_VALUE");
  ASSERT_TRUE(value.has_value());
  EXPECT_EQ(*value, "some value");
  EXPECT_FALSE(environmentVariable("ZORV_PATHS_TEST_NEVER_SET_ANYWHERE").has_value());
}

TEST(OpenFile, BackslashPathsAndAnyCase) {
  testsupport::TempDir dir;
  ASSERT_TRUE(createDirectory(dir.path() + "\\Sub"));
  std::FILE* out = openFile(dir.path() + "\\Sub\\Settings.ini", "w");
  ASSERT_NE(out, nullptr);
  std::fputs("[Section]\n", out);
  std::fclose(out);

  // Found again under another spelling, as on a case-insensitive system.
  std::FILE* in = openFile(dir.path() + "/SUB/settings.INI", "r");
  ASSERT_NE(in, nullptr);
  char line[32] = {};
  ASSERT_NE(std::fgets(line, sizeof line, in), nullptr);
  std::fclose(in);
  EXPECT_STREQ(line, "[Section]\n");

  EXPECT_EQ(openFile(dir.path() + "\\missing\\x.ini", "r"), nullptr);
}

}  // namespace
