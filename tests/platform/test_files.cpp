// File and directory calls: wildcard search, NTFS order, error codes and the
// copy / move / delete / create rules. The same cases run against the POSIX
// emulation on Linux and against the real API under Wine.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "test_support.h"

#ifndef _WIN32
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;
using namespace platform;

namespace {

#ifdef _WIN32
constexpr bool kWindows = true;
#else
constexpr bool kWindows = false;
#endif

// Paths are built as the system builds them: joined with a backslash.
std::string join(const std::string& a, const std::string& b) {
  return a + "\\" + b;
}

fs::path native(const std::string& path) {
  return fs::path(nativePath(path));
}

std::vector<std::string> names(const std::vector<FindData>& entries) {
  std::vector<std::string> out;
  for (const FindData& e : entries) out.push_back(e.name);
  return out;
}

void makeReadOnly(const std::string& path) {
  fs::permissions(native(path),
                  fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

// ---------------------------------------------------------------------------
// Wildcard vectors: does a search of dir\Pattern return Name?

struct WildcardRow {
  const char* pattern;
  const char* name;
  bool match;
  const char* wineDiffers;  // why Wine 8 answers otherwise, or nullptr
};

constexpr const char* kWineDosStar =
    "Wine 8 lets a '*' before a final '.' match names with an extension";
constexpr const char* kWineDosQm =
    "Wine 8 makes '?' take a character at the end of the name and before a '.'";
constexpr const char* kWineDotPair =
    "Wine 8 matches \".\" and \"..\" as ordinary names, not as a pair";
constexpr const char* kWineDoubleDot = "Wine 8 lets \"*..*\" match names with single dots";
constexpr const char* kWineTrailingDotSpace =
    "Wine 8 does not drop a pattern's trailing \". \" before matching '?' as Windows does";

void PrintTo(const WildcardRow& row, std::ostream* os) {
  *os << "\"" << row.pattern << "\" vs \"" << row.name << "\"";
}

const WildcardRow kWildcardRows[] = {
    {"*.*", "01_Wing", true, nullptr},
    {"*.*", "Plate.qini", true, nullptr},
    {"*.*", "a.b.c", true, nullptr},
    {"*.*", ".", true, nullptr},
    {"*.*", "..", true, nullptr},
    {"*", "noext", true, nullptr},
    {"01_*.*", "01_Wing", true, nullptr},
    {"01_*.*", "01_Wing.ini", true, nullptr},
    {"01_*.*", "01_", true, nullptr},
    {"01_*.*", "01_wing", true, nullptr},
    {"01_*.*", "1_Wing", false, nullptr},
    {"01_*.*", "001_Wing", false, nullptr},
    {"01_*.*", "01-Wing", false, nullptr},
    {"02_*.*", "02_Plate.qini", true, nullptr},
    {"**_Probe", "01_Probe", true, nullptr},
    {"**_Probe", "_Probe", true, nullptr},
    {"**_Probe", "01_probe", true, nullptr},
    {"**_Probe", "01_Probe.txt", false, nullptr},
    {"**_Probe", "01_Probes", false, nullptr},
    {"**_Probe", "Probe", false, nullptr},
    {"*_Plate.qini", "02_Plate.qini", true, nullptr},
    {"*_Plate.qini", "02_PLATE.QINI", true, nullptr},
    {"*_Plate.qini", "Plate.qini", false, nullptr},
    {"*_Plate.qini", "02_Plate.qini.bak", false, nullptr},
    {"*_Plate.qini", "a_b_Plate.qini", true, nullptr},
    {"*.qini", "02_Plate.qini", true, nullptr},
    {"*.qini", "Plate.qini.old", false, nullptr},
    {"*.ini", "Wing.ini", true, nullptr},
    {"*.ini", "Wing.qini", false, nullptr},
    {"*.ini", "Wing.ini.bak", false, nullptr},
    {"Wing*.ini", "Wing.ini", true, nullptr},
    {"Wing*.ini", "WingX.old.ini", true, nullptr},
    {"Wing*.ini", "wing.INI", true, nullptr},
    {"*.", "noext", true, nullptr},
    {"*.", "a.b", false, kWineDosStar},
    {"*.", "..", true, nullptr},
    {"?", "a", true, kWineDotPair},
    {"?", "ab", false, kWineDotPair},
    {"?", "..", true, kWineDotPair},
    {"??", "a", true, kWineDosQm},
    {"??", "aaa", false, kWineDotPair},
    {"a*.", "a.a", false, kWineDosStar},
    {"aa.*", "aa", true, nullptr},
    {"aa.*", "aaa", false, nullptr},
    {"*.a", "a..a", true, nullptr},
    {"*..*", "a.a.a", false, kWineDoubleDot},
    {".*", ".a", true, nullptr},
    {".*", "a", false, nullptr},
    {"*", ".", true, nullptr},
    {"*.txt", "Readme.TXT", true, nullptr},
    // Further rules of the preparation step.
    {"a?", "a", true, kWineDosQm},
    {"a.???", "a.b", true, kWineDosQm},
    {"??.b", "a.b", true, kWineDosQm},
    {"*.*.", "a.b", true, nullptr},
    {"a*", ".", false, nullptr},
    {"*.a", "..", false, nullptr},
    {"*..*", ".", true, nullptr},
    // Patterns ending in dots and spaces (the wildcard table of the Windows
    // conformance tests): the trailing dots and spaces go, and only a pattern
    // whose last character is a dot keeps "names without an extension".
    {"*. ", "a.a", true, nullptr},
    {"*. ", "a", true, nullptr},
    {"*. ", "..", true, nullptr},
    {"* . ", "a.a.a", true, nullptr},
    {"*.. ", "a.a", true, nullptr},
    {"* .", "aa", true, nullptr},
    {"* .", "a.a", false, kWineDosStar},
    {"* .", ".", true, nullptr},
    {"*. .", "a.a", false, kWineDosStar},
    {"* ..", "a.a", false, kWineDosStar},
    {"*..", "a..a", false, kWineDosStar},
    {"*..", "aaaa", true, nullptr},
    {"**.", "a.a", true, nullptr},
    {"*.*.", "a.a.a", true, nullptr},
    {" *..", " .a", false, kWineDosStar},
    {"..* ", "..a", true, nullptr},
    {"..* ", ".a", false, nullptr},
    {"* .*.", " .a", true, nullptr},
    {"* .*.", "a.a", false, nullptr},
    {".*.", ".a", true, nullptr},
    {".*.", "..a", false, kWineDosStar},
    {". *", ".", false, nullptr},
    {"a*.", "a", true, nullptr},
    {"aa*.", "aaaa", true, nullptr},
    {"*a ", "a.a", true, nullptr},
    {"aa? ", "aaa", true, nullptr},
    {"?. ", "a", true, kWineTrailingDotSpace},
    {"?. ", "aa", false, kWineTrailingDotSpace},
    {"??. ", "aa", true, kWineTrailingDotSpace},
    {"???.", "aaa", true, nullptr},
    {"?.??.", ".a", true, kWineDosQm},
    {"?.??.", " .a", true, kWineDosQm},
};

class WildcardVectors : public ::testing::TestWithParam<WildcardRow> {};

TEST_P(WildcardVectors, MatcherAgrees) {
  const WildcardRow& row = GetParam();
  EXPECT_EQ(wildcardMatch(row.pattern, row.name), row.match)
      << "pattern \"" << row.pattern << "\" name \"" << row.name << "\"";
}

TEST_P(WildcardVectors, DirectorySearchAgrees) {
  const WildcardRow& row = GetParam();
  if (row.wineDiffers != nullptr && testsupport::runningUnderWine()) {
    GTEST_SKIP() << row.wineDiffers;
  }
  testsupport::TempDir dir;
  const std::string name = row.name;
  const bool dotEntry = name == "." || name == "..";
  if (!dotEntry) {
    // Files and directories match alike: make every name without an extension a directory.
    if (name.find('.') == std::string::npos) {
      ASSERT_TRUE(createDirectory(join(dir.path(), name)));
    } else {
      testsupport::writeFile(join(dir.path(), name), "x");
    }
  }
  const std::vector<std::string> found = names(findAll(join(dir.path(), row.pattern)));
  const bool returned = std::find(found.begin(), found.end(), name) != found.end();
  EXPECT_EQ(returned, row.match) << "pattern \"" << row.pattern << "\" name \"" << row.name << "\"";
  for (const std::string& f : found) {
    EXPECT_TRUE(f == "." || f == ".." || f == name) << "unexpected entry " << f;
  }
  // "." and ".." come as a pair and before everything else.
  const bool hasDot = std::find(found.begin(), found.end(), ".") != found.end();
  const bool hasDotDot = std::find(found.begin(), found.end(), "..") != found.end();
  EXPECT_EQ(hasDot, hasDotDot);
  if (hasDot) {
    ASSERT_GE(found.size(), 2u);
    EXPECT_EQ(found[0], ".");
    EXPECT_EQ(found[1], "..");
  }
}

std::string rowName(const ::testing::TestParamInfo<WildcardRow>& info) {
  return "Row" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(Rows, WildcardVectors, ::testing::ValuesIn(kWildcardRows), rowName);

TEST(WildcardMatch, LongNamesOnlyNoShortNameEffects) {
  EXPECT_FALSE(wildcardMatch("*.htm", "x.html"));
  EXPECT_FALSE(wildcardMatch("*.", ".dotfile"));
  EXPECT_FALSE(wildcardMatch("*.ini", "Wing.inix"));
}

TEST(WildcardMatch, OnlyTheLastComponentIsThePattern) {
  EXPECT_TRUE(wildcardMatch("c:\\a?b\\*.ini", "x.ini"));
  EXPECT_TRUE(wildcardMatch("dir/01_*.*", "01_Wing"));
  EXPECT_FALSE(wildcardMatch("dir\\", "x"));
}

TEST(WildcardMatch, NonAsciiNamesIgnoreCase) {
  EXPECT_TRUE(wildcardMatch("\xC3\xA9t\xC3\xA9.*", "\xC3\x89T\xC3\x89.txt"));  // été / ÉTÉ
  EXPECT_TRUE(wildcardMatch("?", "\xC3\xA9"));  // one character, two bytes
  EXPECT_FALSE(wildcardMatch("?", "\xC3\xA9x"));
}

// ---------------------------------------------------------------------------
// Enumeration order.

TEST(DirectorySearch, ReturnsEntriesInNtfsOrder) {
  const std::vector<std::string> expected = {
      ".",       "..",          "-dash",    ".dotfile", "01_Probe", "01_Probe.txt",
      "01_Wing", "01_Wing.ini", "01_wing2", "02_probe", "10_Wing",  "2_Wing",
      "a",       "a b",         "a.b",      "aa",       "ab",       "a_b",
      "B",       "b.txt",       "Zeta",     "_under",   "~tilde"};
  testsupport::TempDir dir;
  // Created in reverse so that creation order cannot pass for sorting.
  for (auto it = expected.rbegin(); it != expected.rend(); ++it) {
    if (*it == "." || *it == "..") continue;
    if (it->find('_') != std::string::npos && it->find('.') == std::string::npos) {
      ASSERT_TRUE(createDirectory(join(dir.path(), *it))) << *it;
    } else {
      testsupport::writeFile(join(dir.path(), *it), "");
    }
  }
  EXPECT_EQ(names(findAll(join(dir.path(), "*"))), expected);
  EXPECT_EQ(names(findAll(join(dir.path(), "*.*"))), expected);
}

TEST(DirectorySearch, NamesEqualButForCaseHaveAFixedOrder) {
  if (kWindows) GTEST_SKIP() << "Windows cannot hold two names that differ only in case";
  testsupport::TempDir dir;
  // Made natively: the layer's own calls would find "abc" for "ABC".
  for (const char* n : {"abc", "ABC", "Abc"}) {
    std::FILE* f = std::fopen((dir.path() + "/" + n).c_str(), "w");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
  }
  const std::vector<std::string> expected = {"ABC", "Abc", "abc"};
  EXPECT_EQ(names(findAll(join(dir.path(), "a*"))), expected);
}

TEST(DirectorySearch, ReportsOnDiskSpellingAndAttributes) {
  testsupport::TempDir dir;
  ASSERT_TRUE(createDirectory(join(dir.path(), "SubDir")));
  testsupport::writeFile(join(dir.path(), "Data.INI"), "x");
  const std::vector<FindData> entries = findAll(join(dir.path(), "*.ini"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "Data.INI");
  EXPECT_FALSE(entries[0].isDirectory());

  const std::vector<FindData> dirs = findAll(join(dir.path(), "subdir"));
  ASSERT_EQ(dirs.size(), 1u);
  EXPECT_EQ(dirs[0].name, "SubDir");
  EXPECT_TRUE(dirs[0].isDirectory());
}

TEST(DirectorySearch, ExistingDirectoryWithoutSeparatorIsOneEntry) {
  testsupport::TempDir dir;
  ASSERT_TRUE(createDirectory(join(dir.path(), "dir")));
  testsupport::writeFile(join(dir.path(), "dir\\inner.txt"), "x");
  const std::vector<FindData> entries = findAll(join(dir.path(), "dir"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].name, "dir");
  EXPECT_TRUE(entries[0].isDirectory());
}

TEST(DirectorySearch, NextAfterTheLastEntryAndWithoutSearch) {
  testsupport::TempDir dir;
  testsupport::writeFile(join(dir.path(), "only.txt"), "x");
  DirectorySearch search;
  FindData entry;
  EXPECT_FALSE(search.next(entry));
  EXPECT_EQ(lastError(), kErrorInvalidHandle);

  ASSERT_TRUE(search.first(join(dir.path(), "*.txt"), entry));
  EXPECT_EQ(entry.name, "only.txt");
  EXPECT_FALSE(search.next(entry));
  EXPECT_EQ(lastError(), kErrorNoMoreFiles);

  // A new search on the same object replaces the old one.
  ASSERT_TRUE(search.first(join(dir.path(), "*"), entry));
  EXPECT_EQ(entry.name, ".");
  search.close();
  EXPECT_FALSE(search.next(entry));
}

TEST(DirectorySearch, EmulatedRootsHaveNoDotEntries) {
  if (kWindows) GTEST_SKIP() << "the file-system root is a POSIX notion";
  const std::vector<std::string> found = names(findAll("/*"));
  ASSERT_FALSE(found.empty());
  EXPECT_EQ(std::count(found.begin(), found.end(), "."), 0);
  EXPECT_EQ(std::count(found.begin(), found.end(), ".."), 0);
}

TEST(DirectorySearch, DirectorySymlinkIsAReparsePointAndWalksEnd) {
  if (kWindows) GTEST_SKIP() << "symbolic links are only created in the Linux test run";
  testsupport::TempDir dir;
  const std::string loop = join(dir.path(), "loop");
  ASSERT_TRUE(createDirectory(loop));
  fs::create_directory_symlink("..", native(join(loop, "up")));

  const std::uint32_t linkBits = kAttributeDirectory | kAttributeReparsePoint;
  const std::vector<FindData> entries = findAll(join(loop, "up"));
  ASSERT_EQ(entries.size(), 1u);
  EXPECT_EQ(entries[0].attributes & linkBits, linkBits);
  EXPECT_EQ(fileAttributes(join(loop, "up")) & linkBits, linkBits);
  EXPECT_EQ(pathKind(join(loop, "up")), PathKind::Directory);

  // A careless walker that follows every directory still stops: paths beyond
  // MAX_PATH fail with ERROR_FILENAME_EXCED_RANGE.
  std::size_t longest = 0;
  int searches = 0;
  std::function<void(const std::string&)> walk = [&](const std::string& d) {
    ++searches;
    longest = std::max(longest, d.size());
    for (const FindData& e : findAll(join(d, "*.*"))) {
      if (e.isDirectory() && e.name != "." && e.name != "..") walk(join(d, e.name));
    }
  };
  walk(loop);
  EXPECT_LT(longest, kMaxPath + 16);
  EXPECT_GT(searches, 1);
  EXPECT_TRUE(findAll(join(loop, std::string(kMaxPath, 'u'))).empty());
  EXPECT_EQ(lastError(), kErrorFilenameExcedRange);
}

// ---------------------------------------------------------------------------
// Error codes: each call on a small tree, with the Win32 code it leaves.

struct Tree {
  testsupport::TempDir temp;
  std::string root = temp.path();
  std::string dir = join(root, "dir");
  std::string file = join(root, "file.txt");
  std::string readOnly = join(root, "ro.txt");
  std::string missing = join(root, "missing");

  Tree() {
    createDirectory(dir);
    testsupport::writeFile(join(dir, "inner.txt"), "inner");
    testsupport::writeFile(file, "file content");
    testsupport::writeFile(readOnly, "read-only content");
    makeReadOnly(readOnly);
  }
};

struct ErrorRow {
  const char* label;
  std::function<bool(const Tree&)> call;  // false when the call failed
  std::uint32_t error;
  const char* wineDiffers;
};

void PrintTo(const ErrorRow& row, std::ostream* os) {
  *os << row.label;
}

constexpr const char* kWineRootWrites =
    "Wine 8 leaves the read-only check of writes to Unix permissions, which root bypasses";

bool searchSucceeds(const std::string& pattern) {
  DirectorySearch search;
  FindData entry;
  return search.first(pattern, entry);
}

bool attributesFound(const std::string& path) {
  return fileAttributes(path) != kInvalidFileAttributes;
}

const std::string kTooLong(kMaxPath + 20, 'n');

const ErrorRow kErrorRows[] = {
    {"FindNoMatch", [](const Tree& t) { return searchSucceeds(join(t.dir, "*.zzz")); },
     kErrorFileNotFound, nullptr},
    {"FindDirectoryWithSeparator", [](const Tree& t) { return searchSucceeds(t.dir + "\\"); },
     kErrorFileNotFound, nullptr},
    {"FindDirectoryWithTwoSeparators", [](const Tree& t) { return searchSucceeds(t.dir + "\\\\"); },
     kErrorFileNotFound, nullptr},
    {"FindInMissingDirectory", [](const Tree& t) { return searchSucceeds(join(t.missing, "*.*")); },
     kErrorPathNotFound, nullptr},
    {"FindNameInMissingDirectory",
     [](const Tree& t) { return searchSucceeds(join(t.missing, "x")); }, kErrorPathNotFound,
     nullptr},
    {"FindMissingDirectoryWithSeparator",
     [](const Tree& t) { return searchSucceeds(t.missing + "\\"); }, kErrorPathNotFound,
     "Wine 8 reports ERROR_FILE_NOT_FOUND for a missing directory with a separator"},
    {"FindMissingLeaf", [](const Tree& t) { return searchSucceeds(t.missing); }, kErrorFileNotFound,
     nullptr},
    {"FindBelowAFile", [](const Tree& t) { return searchSucceeds(join(t.file, "*")); },
     kErrorDirectory, "Wine 8 reports ERROR_INVALID_NAME for a search below a file"},
    {"FindEmpty", [](const Tree&) { return searchSucceeds(""); }, kErrorPathNotFound, nullptr},
    {"FindTooLong", [](const Tree& t) { return searchSucceeds(join(t.root, kTooLong)); },
     kErrorFilenameExcedRange, nullptr},

    {"AttributesMissingLeaf", [](const Tree& t) { return attributesFound(t.missing); },
     kErrorFileNotFound, nullptr},
    {"AttributesMissingParent", [](const Tree& t) { return attributesFound(join(t.missing, "x")); },
     kErrorPathNotFound, nullptr},
    {"AttributesOfWildcard", [](const Tree& t) { return attributesFound(join(t.root, "*.txt")); },
     kErrorInvalidName, nullptr},
    {"AttributesBelowWildcard",
     [](const Tree& t) { return attributesFound(join(t.root, "d*\\inner.txt")); },
     kErrorInvalidName, nullptr},
    {"FindBelowWildcard", [](const Tree& t) { return searchSucceeds(join(t.root, "d?r\\*")); },
     kErrorInvalidName, nullptr},
    {"AttributesEmpty", [](const Tree&) { return attributesFound(""); }, kErrorPathNotFound,
     nullptr},
    {"AttributesTooLong", [](const Tree& t) { return attributesFound(join(t.root, kTooLong)); },
     kErrorFilenameExcedRange, nullptr},

    {"CopyMissingSource",
     [](const Tree& t) { return copyFile(t.missing, join(t.root, "copy.txt"), false); },
     kErrorFileNotFound, nullptr},
    {"CopyIntoMissingDirectory",
     [](const Tree& t) { return copyFile(t.file, join(t.missing, "copy.txt"), false); },
     kErrorPathNotFound, nullptr},
    {"CopyOntoItself", [](const Tree& t) { return copyFile(t.file, t.file, false); },
     kErrorSharingViolation, nullptr},
    {"CopyOntoReadOnly", [](const Tree& t) { return copyFile(t.file, t.readOnly, false); },
     kErrorAccessDenied, kWineRootWrites},
    {"CopyOntoDirectory", [](const Tree& t) { return copyFile(t.file, t.dir, false); },
     kErrorAccessDenied, nullptr},
    {"CopyDirectory", [](const Tree& t) { return copyFile(t.dir, join(t.root, "d2"), false); },
     kErrorAccessDenied, nullptr},
    {"CopyFailIfExists", [](const Tree& t) { return copyFile(t.readOnly, t.file, true); },
     kErrorFileExists, nullptr},

    {"MoveOntoFile", [](const Tree& t) { return moveFile(t.readOnly, t.file); },
     kErrorAlreadyExists, nullptr},
    {"MoveOntoDirectory", [](const Tree& t) { return moveFile(t.file, t.dir); },
     kErrorAlreadyExists, nullptr},
    {"MoveMissingSource", [](const Tree& t) { return moveFile(t.missing, join(t.root, "m")); },
     kErrorFileNotFound, nullptr},
    {"MoveIntoMissingDirectory",
     [](const Tree& t) { return moveFile(t.file, join(t.missing, "m")); }, kErrorPathNotFound,
     nullptr},
    {"MoveToWildcardName", [](const Tree& t) { return moveFile(t.file, join(t.root, "m*")); },
     kErrorInvalidName, nullptr},

    {"DeleteDirectory", [](const Tree& t) { return deleteFile(t.dir); }, kErrorAccessDenied,
     nullptr},
    {"DeleteReadOnly", [](const Tree& t) { return deleteFile(t.readOnly); }, kErrorAccessDenied,
     nullptr},
    {"DeleteMissing", [](const Tree& t) { return deleteFile(t.missing); }, kErrorFileNotFound,
     nullptr},
    {"DeleteEmpty", [](const Tree&) { return deleteFile(""); }, kErrorPathNotFound, nullptr},
    {"DeleteInMissingDirectory", [](const Tree& t) { return deleteFile(join(t.missing, "x")); },
     kErrorPathNotFound, nullptr},

    {"MakeDirectoryExisting", [](const Tree& t) { return createDirectory(t.dir); },
     kErrorAlreadyExists, nullptr},
    {"MakeDirectoryOverFile", [](const Tree& t) { return createDirectory(t.file); },
     kErrorAlreadyExists, nullptr},
    {"MakeDirectoryTwoLevels",
     [](const Tree& t) { return createDirectory(join(t.missing, "sub")); }, kErrorPathNotFound,
     nullptr},
    {"MakeDirectoryEmpty", [](const Tree&) { return createDirectory(""); }, kErrorPathNotFound,
     nullptr},

    {"BlankFileOnDirectory", [](const Tree& t) { return createBlankFile(t.dir); },
     kErrorAccessDenied, nullptr},
    {"BlankFileOnReadOnly", [](const Tree& t) { return createBlankFile(t.readOnly); },
     kErrorAccessDenied, kWineRootWrites},
    {"BlankFileInvalidName", [](const Tree& t) { return createBlankFile(join(t.root, "a|b")); },
     kErrorInvalidName, nullptr},
    {"MakeDirectoryInvalidName", [](const Tree& t) { return createDirectory(join(t.root, "a?b")); },
     kErrorInvalidName, nullptr},
    {"BlankFileInMissingDirectory",
     [](const Tree& t) { return createBlankFile(join(t.missing, "x")); }, kErrorPathNotFound,
     nullptr},
};

class ErrorCodes : public ::testing::TestWithParam<ErrorRow> {};

TEST_P(ErrorCodes, FailWithTheWindowsCode) {
  const ErrorRow& row = GetParam();
  if (row.wineDiffers != nullptr && testsupport::runningUnderWine()) {
    GTEST_SKIP() << row.wineDiffers;
  }
  Tree tree;
  EXPECT_FALSE(row.call(tree)) << row.label;
  EXPECT_EQ(lastError(), row.error) << row.label;
  // A failed call changes nothing.
  EXPECT_EQ(testsupport::readFile(tree.file), "file content");
  EXPECT_EQ(testsupport::readFile(tree.readOnly), "read-only content");
  EXPECT_EQ(testsupport::readFile(join(tree.dir, "inner.txt")), "inner");
}

INSTANTIATE_TEST_SUITE_P(Calls, ErrorCodes, ::testing::ValuesIn(kErrorRows),
                         [](const ::testing::TestParamInfo<ErrorRow>& info) {
                           return std::string(info.param.label);
                         });

// ---------------------------------------------------------------------------
// Rules of the individual calls.

TEST(FileAttributes, DescribeFilesDirectoriesAndReadOnly) {
  Tree t;
  const std::uint32_t file = fileAttributes(t.file);
  ASSERT_NE(file, kInvalidFileAttributes);
  EXPECT_EQ(file & (kAttributeDirectory | kAttributeReadOnly), 0u);
  EXPECT_NE(fileAttributes(t.readOnly) & kAttributeReadOnly, 0u);
  EXPECT_NE(fileAttributes(t.dir) & kAttributeDirectory, 0u);
  EXPECT_NE(fileAttributes(t.dir + "\\") & kAttributeDirectory, 0u);
  EXPECT_EQ(fileAttributes(t.file + "\\"), kInvalidFileAttributes);

  EXPECT_EQ(pathKind(t.file), PathKind::File);
  EXPECT_EQ(pathKind(t.dir), PathKind::Directory);
  EXPECT_EQ(pathKind(t.missing), PathKind::Missing);
}

TEST(FileAttributes, LookupIgnoresCaseAndTrailingDots) {
  Tree t;
  EXPECT_EQ(pathKind(join(t.root, "DIR\\INNER.TXT")), PathKind::File);
  EXPECT_EQ(pathKind(join(t.root, "File.Txt")), PathKind::File);
  EXPECT_EQ(pathKind(t.file + "."), PathKind::File);
  EXPECT_EQ(pathKind(t.file + ". ."), PathKind::File);
  EXPECT_EQ(pathKind(join(t.root, "dir\\..\\file.txt")), PathKind::File);
  EXPECT_EQ(pathKind(join(t.root, "dir/inner.txt")), PathKind::File);
}

TEST(CopyFile, ReplacesContentAndCarriesReadOnlyAndTime) {
  Tree t;
  const std::string target = join(t.root, "target.txt");
  testsupport::writeFile(target, "a much longer old content that must disappear");
  const auto past = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::last_write_time(native(t.file), past);

  ASSERT_TRUE(copyFile(t.file, target, false));
  EXPECT_EQ(testsupport::readFile(target), "file content");
  EXPECT_EQ(fs::last_write_time(native(target)), fs::last_write_time(native(t.file)));

  const std::string roCopy = join(t.root, "ro-copy.txt");
  ASSERT_TRUE(copyFile(t.readOnly, roCopy, true));
  EXPECT_NE(fileAttributes(roCopy) & kAttributeReadOnly, 0u);
  EXPECT_EQ(testsupport::readFile(roCopy), "read-only content");
  if (testsupport::runningUnderWine()) GTEST_SKIP() << kWineRootWrites;
  // The copy is read-only in turn: copying over it fails.
  EXPECT_FALSE(copyFile(t.file, roCopy, false));
  EXPECT_EQ(lastError(), kErrorAccessDenied);
}

TEST(MoveFile, RenamesFilesAndDirectories) {
  Tree t;
  EXPECT_TRUE(moveFile(t.file, t.file));  // onto itself: nothing to do
  EXPECT_EQ(testsupport::readFile(t.file), "file content");

  const std::string renamedDir = join(t.root, "renamed");
  ASSERT_TRUE(moveFile(t.dir, renamedDir));
  EXPECT_EQ(pathKind(t.dir), PathKind::Missing);
  EXPECT_EQ(testsupport::readFile(join(renamedDir, "inner.txt")), "inner");

  // A read-only file moves.
  const std::string movedRo = join(renamedDir, "ro.txt");
  ASSERT_TRUE(moveFile(t.readOnly, movedRo));
  EXPECT_EQ(testsupport::readFile(movedRo), "read-only content");
  EXPECT_EQ(pathKind(t.readOnly), PathKind::Missing);
}

TEST(MoveFile, CaseOnlyRenameOfTheSameEntry) {
  Tree t;
  ASSERT_TRUE(moveFile(t.dir, join(t.root, "DIR")));
  if (testsupport::runningUnderWine()) {
    GTEST_SKIP() << "Wine 8 accepts a case-only rename but keeps the old spelling on disk";
  }
  const std::vector<std::string> found = names(findAll(join(t.root, "d*")));
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0], "DIR");
  ASSERT_TRUE(moveFile(t.file, join(t.root, "File.TXT")));
  EXPECT_EQ(names(findAll(join(t.root, "file.txt"))), std::vector<std::string>{"File.TXT"});
}

#ifndef _WIN32
// A directory on another file system than the temporary directory, removed
// with everything in it at the end of the test.
struct OtherFileSystemDir {
  fs::path path;
  bool usable = false;
  explicit OtherFileSystemDir(const std::string& near) {
    struct stat a {
    }, b{};
    if (stat("/dev/shm", &a) != 0 || stat(near.c_str(), &b) != 0 || a.st_dev == b.st_dev) return;
    path = fs::path("/dev/shm") / ("zorv-files-test-" + std::to_string(getpid()));
    std::error_code ec;
    usable = fs::create_directory(path, ec);
  }
  ~OtherFileSystemDir() {
    std::error_code ec;
    if (usable) fs::remove_all(path, ec);
  }
};
#endif

TEST(MoveFile, AcrossFileSystemsMovesFilesButNotDirectories) {
#ifdef _WIN32
  GTEST_SKIP() << "a second volume is only available to the Linux test run";
#else
  Tree t;
  OtherFileSystemDir other(t.root);
  if (!other.usable) GTEST_SKIP() << "no second file system (/dev/shm) beside the temporary one";
  const auto past = fs::file_time_type::clock::now() - std::chrono::hours(30);
  fs::last_write_time(native(t.readOnly), past);
  const auto stamp = fs::last_write_time(native(t.readOnly));

  const std::string movedFile = join(other.path.string(), "moved.txt");
  ASSERT_TRUE(moveFile(t.readOnly, movedFile));
  EXPECT_EQ(pathKind(t.readOnly), PathKind::Missing);
  EXPECT_EQ(testsupport::readFile(movedFile), "read-only content");
  EXPECT_NE(fileAttributes(movedFile) & kAttributeReadOnly, 0u);
  EXPECT_EQ(fs::last_write_time(native(movedFile)), stamp);

  EXPECT_FALSE(moveFile(t.dir, join(other.path.string(), "moved-dir")));
  EXPECT_EQ(lastError(), kErrorAccessDenied);
  EXPECT_EQ(testsupport::readFile(join(t.dir, "inner.txt")), "inner");
  EXPECT_EQ(pathKind(join(other.path.string(), "moved-dir")), PathKind::Missing);
#endif
}

#ifndef _WIN32
// Moves on a file system that refuses every rename flag (RENAME_NOREPLACE
// gives EINVAL, as some network and FUSE file systems answer) must behave as
// on any other: the same rows run with the flags accepted and refused.
struct MoveRow {
  const char* label;
  const char* source;  // below the tree's root
  const char* target;
  std::uint32_t error;  // 0: the move succeeds
};

const MoveRow kMoveRows[] = {
    {"DirectoryToNewName", "dir", "renamed", 0},
    {"DirectoryToNameItStartsWith", "dir", "dir2", 0},
    {"DirectoryIntoSiblingDirectory", "dir", "other\\dir", 0},
    {"FileToNewName", "file.txt", "renamed.txt", 0},
    {"DirectoryOntoDirectory", "dir", "other", kErrorAlreadyExists},
    {"DirectoryOntoFile", "dir", "file.txt", kErrorAlreadyExists},
    {"FileOntoFile", "file.txt", "ro.txt", kErrorAlreadyExists},
    {"DirectoryIntoItself", "dir", "dir\\sub", kErrorSharingViolation},
    {"DirectoryIntoItsSubdirectory", "dir", "dir\\deeper\\sub", kErrorSharingViolation},
    {"DirectoryIntoItselfThroughALink", "dir", "link\\sub", kErrorSharingViolation},
};

class MovesWithoutRenameFlags : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (GetParam()) testsupport::setEnvironment("ZORV_TEST_RENAME_FLAGS_REFUSED", "1");
  }
  void TearDown() override { testsupport::setEnvironment("ZORV_TEST_RENAME_FLAGS_REFUSED", nullptr); }
};

TEST_P(MovesWithoutRenameFlags, BehaveAsWithThem) {
  for (const MoveRow& row : kMoveRows) {
    SCOPED_TRACE(row.label);
    Tree t;
    ASSERT_TRUE(createDirectory(join(t.root, "other")));
    ASSERT_TRUE(createDirectory(join(t.dir, "deeper")));
    fs::create_directory_symlink(native(t.dir), native(join(t.root, "link")));
    const std::string source = join(t.root, row.source);
    const std::string target = join(t.root, row.target);
    const PathKind kind = pathKind(source);
    const bool moved = moveFile(source, target);
    EXPECT_EQ(moved, row.error == 0);
    if (row.error != 0) {
      EXPECT_EQ(lastError(), row.error);
      EXPECT_EQ(pathKind(source), kind);
      continue;
    }
    EXPECT_EQ(pathKind(source), PathKind::Missing);
    EXPECT_EQ(pathKind(target), kind);
    if (kind == PathKind::Directory) {
      EXPECT_EQ(testsupport::readFile(join(target, "inner.txt")), "inner");
    } else {
      EXPECT_EQ(testsupport::readFile(target), "file content");
    }
  }
}

INSTANTIATE_TEST_SUITE_P(RenameFlags, MovesWithoutRenameFlags, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& info) {
                           return info.param ? "Refused" : "Accepted";
                         });
#endif

TEST(DeleteFile, RemovesAFile) {
  Tree t;
  ASSERT_TRUE(deleteFile(join(t.root, "FILE.TXT")));
  EXPECT_EQ(pathKind(t.file), PathKind::Missing);
}

TEST(CreateDirectory, OneLevelTrailingSeparatorAndDot) {
  Tree t;
  ASSERT_TRUE(createDirectory(join(t.root, "withsep\\")));
  EXPECT_EQ(pathKind(join(t.root, "withsep")), PathKind::Directory);
  ASSERT_TRUE(createDirectory(join(t.root, "dotted.")));
  EXPECT_EQ(names(findAll(join(t.root, "dotted*"))), std::vector<std::string>{"dotted"});
  // The case-insensitive file system: "DIR" is "dir".
  EXPECT_FALSE(createDirectory(join(t.root, "DIR")));
  EXPECT_EQ(lastError(), kErrorAlreadyExists);
}

TEST(CreateBlankFile, CreatesOrTruncates) {
  Tree t;
  const std::string fresh = join(t.root, "fresh.txt");
  ASSERT_TRUE(createBlankFile(fresh));
  EXPECT_EQ(lastError(), kErrorSuccess);
  EXPECT_EQ(testsupport::readFile(fresh), "");

  ASSERT_TRUE(createBlankFile(t.file));
  EXPECT_EQ(lastError(), kErrorAlreadyExists);
  EXPECT_EQ(testsupport::readFile(t.file), "");
}

// ---------------------------------------------------------------------------
// Recursive delete.

TEST(DeleteTree, RemovesEverythingIncludingReadOnlyFiles) {
  testsupport::TempDir temp;
  const std::string top = join(temp.path(), "top");
  testsupport::makeDirectories(join(top, "a\\b\\c"));
  testsupport::writeFile(join(top, "a\\b\\c\\deep.txt"), "x");
  testsupport::writeFile(join(top, "a\\ro.txt"), "x");
  makeReadOnly(join(top, "a\\ro.txt"));
  testsupport::writeFile(join(top, "plain.txt"), "x");
  testsupport::writeFile(join(temp.path(), "sibling.txt"), "stays");

  EXPECT_EQ(deleteTree(top), 0);
  EXPECT_EQ(pathKind(top), PathKind::Missing);
  EXPECT_EQ(testsupport::readFile(join(temp.path(), "sibling.txt")), "stays");
}

TEST(DeleteTree, RemovesASingleFile) {
  testsupport::TempDir temp;
  const std::string file = join(temp.path(), "one.txt");
  testsupport::writeFile(file, "x");
  EXPECT_EQ(deleteTree(file), 0);
  EXPECT_EQ(pathKind(file), PathKind::Missing);
}

TEST(DeleteTree, FailsForMissingPaths) {
  testsupport::TempDir temp;
  EXPECT_NE(deleteTree(join(temp.path(), "missing")), 0);
  EXPECT_NE(deleteTree(join(temp.path(), "missing\\deeper")), 0);
  EXPECT_NE(deleteTree(""), 0);
}

TEST(DeleteTree, NeverFollowsDirectoryLinks) {
  if (kWindows) GTEST_SKIP() << "symbolic links are only created in the Linux test run";
  testsupport::TempDir temp;
  const std::string outside = join(temp.path(), "outside");
  ASSERT_TRUE(createDirectory(outside));
  testsupport::writeFile(join(outside, "precious.txt"), "keep");
  const std::string top = join(temp.path(), "top");
  ASSERT_TRUE(createDirectory(top));
  fs::create_directory_symlink(native(outside), native(join(top, "link")));
  fs::create_symlink(native(join(outside, "precious.txt")), native(join(top, "filelink")));

  EXPECT_EQ(deleteTree(top), 0);
  EXPECT_EQ(pathKind(top), PathKind::Missing);
  EXPECT_EQ(testsupport::readFile(join(outside, "precious.txt")), "keep");

  // A link named directly goes itself; its target stays.
  const std::string link = join(temp.path(), "direct");
  fs::create_directory_symlink(native(outside), native(link));
  EXPECT_EQ(deleteTree(link), 0);
  EXPECT_FALSE(fs::is_symlink(native(link)));
  EXPECT_EQ(testsupport::readFile(join(outside, "precious.txt")), "keep");
}

TEST(DeleteTree, EmptiesReadOnlyDirectories) {
  if (kWindows) GTEST_SKIP() << "directory permission bits are a POSIX notion";
  testsupport::TempDir temp;
  const std::string top = join(temp.path(), "top");
  testsupport::makeDirectories(join(top, "locked"));
  testsupport::writeFile(join(top, "locked\\f.txt"), "x");
  fs::permissions(native(join(top, "locked")), fs::perms::owner_read | fs::perms::owner_exec,
                  fs::perm_options::replace);
  EXPECT_EQ(deleteTree(top), 0);
  EXPECT_EQ(pathKind(top), PathKind::Missing);
}

TEST(DeleteTree, TakesWildcardsLiterally) {
  if (kWindows) GTEST_SKIP() << "Windows expands wildcards in the path; the emulation never does";
  testsupport::TempDir temp;
  testsupport::writeFile(join(temp.path(), "a.txt"), "x");
  EXPECT_NE(deleteTree(join(temp.path(), "*.txt")), 0);
  EXPECT_EQ(pathKind(join(temp.path(), "a.txt")), PathKind::File);

  // A Linux name that holds '*' is deleted as named, and nothing else.
  testsupport::writeFile(join(temp.path(), "*.txt"), "x");
  EXPECT_EQ(deleteTree(join(temp.path(), "*.txt")), 0);
  EXPECT_EQ(pathKind(join(temp.path(), "a.txt")), PathKind::File);
}

TEST(DeleteFile, RemovesALinkNotItsTarget) {
  if (kWindows) GTEST_SKIP() << "symbolic links are only created in the Linux test run";
  testsupport::TempDir temp;
  const std::string target = join(temp.path(), "target.txt");
  testsupport::writeFile(target, "keep");
  fs::create_symlink(native(target), native(join(temp.path(), "link.txt")));
  ASSERT_TRUE(deleteFile(join(temp.path(), "link.txt")));
  EXPECT_FALSE(fs::is_symlink(native(join(temp.path(), "link.txt"))));
  EXPECT_EQ(testsupport::readFile(target), "keep");
}

TEST(CreateNewFile, ReplacesAnEntryAfreshAndRefusesADirectory) {
  Tree t;
  std::FILE* out = createNewFile(t.file, false);
  ASSERT_NE(out, nullptr);
  std::fputs("new", out);
  std::fclose(out);
  EXPECT_EQ(testsupport::readFile(t.file), "new");
  out = createNewFile(join(t.root, "fresh.bin"), true);
  ASSERT_NE(out, nullptr);
  std::fclose(out);
  EXPECT_EQ(pathKind(join(t.root, "fresh.bin")), PathKind::File);
  EXPECT_EQ(createNewFile(t.dir, false), nullptr);
  EXPECT_EQ(pathKind(t.dir), PathKind::Directory);
}

TEST(FinallyLiesWithin, ThePlaceAWriteWouldChange) {
  Tree t;
  EXPECT_TRUE(finallyLiesWithin(join(t.dir, "inner.txt"), t.dir));
  EXPECT_TRUE(finallyLiesWithin(t.dir, t.dir));
  EXPECT_TRUE(finallyLiesWithin(join(t.dir, "inner.txt"), t.root));
  EXPECT_FALSE(finallyLiesWithin(t.file, t.dir));
  EXPECT_FALSE(finallyLiesWithin(t.missing, t.root));
  // A sibling whose name starts like the directory's is not inside it.
  createDirectory(join(t.root, "dir2"));
  testsupport::writeFile(join(t.root, "dir2\\x.txt"), "x");
  EXPECT_FALSE(finallyLiesWithin(join(t.root, "dir2\\x.txt"), t.dir));
}

// Links and names that would lead a write out of its directory (symbolic
// links are only created in the Linux test run; Windows cannot hold a name
// with a backslash).
TEST(Links, CopiesAndNewFilesReplaceTheLinkAndSearchesHideForeignNames) {
  if (kWindows) GTEST_SKIP() << "symbolic links are only created in the Linux test run";
  testsupport::TempDir temp;
  const std::string outside = join(temp.path(), "outside");
  const std::string tree = join(temp.path(), "tree");
  createDirectory(outside);
  createDirectory(tree);
  testsupport::writeFile(join(outside, "a.txt"), "keep a");
  testsupport::writeFile(join(outside, "b.txt"), "keep b");
  testsupport::writeFile(join(tree, "source.txt"), "source");
  fs::create_symlink(native(join(outside, "a.txt")), native(join(tree, "copied.txt")));
  fs::create_symlink(native(join(outside, "b.txt")), native(join(tree, "planted.tmp")));
  fs::create_symlink(native(join(outside, "a.txt")), native(join(tree, "link.qini")));

  EXPECT_FALSE(finallyLiesWithin(join(tree, "link.qini"), tree));
  ASSERT_TRUE(copyFile(join(tree, "source.txt"), join(tree, "copied.txt"), false));
  EXPECT_FALSE(fs::is_symlink(native(join(tree, "copied.txt"))));
  EXPECT_EQ(testsupport::readFile(join(tree, "copied.txt")), "source");
  std::FILE* out = createNewFile(join(tree, "planted.tmp"), false);
  ASSERT_NE(out, nullptr);
  std::fputs("written", out);
  std::fclose(out);
  EXPECT_FALSE(fs::is_symlink(native(join(tree, "planted.tmp"))));
  EXPECT_EQ(testsupport::readFile(join(tree, "planted.tmp")), "written");
  EXPECT_EQ(testsupport::readFile(join(outside, "a.txt")), "keep a");
  EXPECT_EQ(testsupport::readFile(join(outside, "b.txt")), "keep b");

  // A name holding backslashes (or other characters Windows refuses) is
  // not listed: joined back into a path it would lead elsewhere.
  fs::create_directory(native(tree).string() + "/..\\outside");
  fs::create_directory(native(tree).string() + "/x\\..");
  fs::create_directory(native(tree).string() + "/a:b");
  std::vector<std::string> names;
  for (const FindData& entry : findAll(join(tree, "*"))) names.push_back(entry.name);
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "copied.txt", "link.qini", "planted.tmp",
                                             "source.txt"}));
}

}  // namespace
