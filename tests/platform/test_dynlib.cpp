// LoadLibraryA / GetProcAddress / FreeLibrary, and on POSIX the mapping of
// "N.dll" to "libN.so" beside the executable.

#include <gtest/gtest.h>

#include <string>

#include "platform/dynlib.h"
#include "platform/paths.h"

namespace {

using AnswerFunction = int (*)();
using TwiceFunction = int (*)(int);

TEST(DynamicLoading, DllNamesLoadTheLibraryBesideTheProgram) {
  // Windows matches names without regard to case; so does the ".dll" mapping.
  for (const char* name : {"zorv_dynlib_probe.dll", "zorv_dynlib_probe.DLL"}) {
    SCOPED_TRACE(name);
    platform::LibraryHandle library = platform::loadLibrary(name);
    ASSERT_NE(library, nullptr);
    auto answer =
        reinterpret_cast<AnswerFunction>(platform::findSymbol(library, "zorvProbeAnswer"));
    auto twice = reinterpret_cast<TwiceFunction>(platform::findSymbol(library, "zorvProbeTwice"));
    ASSERT_NE(answer, nullptr);
    ASSERT_NE(twice, nullptr);
    EXPECT_EQ(answer(), 42);
    EXPECT_EQ(twice(21), 42);
    EXPECT_EQ(platform::findSymbol(library, "zorvProbeMissing"), nullptr);
    EXPECT_TRUE(platform::freeLibrary(library));
  }
}

TEST(DynamicLoading, FailuresGiveNull) {
  EXPECT_EQ(platform::loadLibrary("zorv_no_such_library.dll"), nullptr);
  EXPECT_EQ(platform::loadLibrary(""), nullptr);
  EXPECT_EQ(platform::findSymbol(nullptr, "zorvProbeAnswer"), nullptr);
  EXPECT_FALSE(platform::freeLibrary(nullptr));
}

#ifndef _WIN32
// Names that are not "N.dll" go to the loader as they are; paths may be
// written with backslashes.
TEST(DynamicLoading, OtherNamesAndPathsAsGiven) {
  std::string dir = platform::executableDirectory();
  std::string backslashed = dir + "/libzorv_dynlib_probe.so";
  for (char& c : backslashed) {
    if (c == '/') c = '\\';
  }
  for (const std::string& name : {dir + "/libzorv_dynlib_probe.so", backslashed}) {
    SCOPED_TRACE(name);
    platform::LibraryHandle library = platform::loadLibrary(name);
    ASSERT_NE(library, nullptr);
    EXPECT_NE(platform::findSymbol(library, "zorvProbeAnswer"), nullptr);
    EXPECT_TRUE(platform::freeLibrary(library));
  }
}
#endif

}  // namespace
