// ZorvVLWizardUtilities: wizard directory names, numbered directory listings
// and the plain file and directory operations.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ZorvVLWizard.h"
#include "test_support.h"
#include "wizard_tree.h"

namespace {

using U = ZorvVLWizardUtilities;
using wiztest::join;
using wiztest::makeDir;
using wiztest::makeFile;
using wiztest::Names;

// Reaches the protected VL3D switch as a derived class of the scanning
// application would.
struct VL3DSwitch : ZorvVLWizardUtilities {
  static void set(bool value) { setIsVL3D(value); }
};

TEST(PathBuilding, WizardDirectoryFollowsTheVL3DFlag) {
  EXPECT_EQ(U::getWizardDirectoryName("C:\\Data"), "C:\\Data\\vl2_settings");
  VL3DSwitch::set(true);
  EXPECT_EQ(U::getWizardDirectoryName("C:\\Data"), "C:\\Data\\vl3d_settings");
  VL3DSwitch::set(false);
  EXPECT_EQ(U::getWizardDirectoryName("C:\\Data"), "C:\\Data\\vl2_settings");
}

TEST(PathBuilding, FixedNames) {
  EXPECT_EQ(U::getPartsDirectoryName(), "parts");
  EXPECT_EQ(U::getToolsDirectoryName(), "tools");
  EXPECT_EQ(U::getMiscellaneousDirectoryName(), "misc");
  EXPECT_EQ(U::getObjects3DDirectoryName(), "objects3d");
  EXPECT_EQ(U::getPosettaINIFileName(), "WinVLPosetta.ini");
}

TEST(PathBuilding, WizardDirectoryExistsOnlyAsDirectory) {
  testsupport::TempDir temp;
  EXPECT_FALSE(U::getDoesWizardDirectoryExist(temp.path()));
  makeFile(join(temp.path(), "vl2_settings"));
  EXPECT_FALSE(U::getDoesWizardDirectoryExist(temp.path()));
  U::deleteFile(join(temp.path(), "vl2_settings"));
  makeDir(join(temp.path(), "vl2_settings"));
  EXPECT_TRUE(U::getDoesWizardDirectoryExist(temp.path()));
}

// Directories end in '/', other entries are files.
struct ListingCase {
  const char* what;
  std::vector<std::string> entries;
  bool result;
  Names listed;
};

std::vector<std::string> tenParts() {
  std::vector<std::string> entries;
  for (int i = 1; i <= 10; ++i) {
    std::string entry = i < 10 ? "0" : "";
    entry += std::to_string(i);
    entry += "_P";
    entry += std::to_string(i);
    entry += "/";
    entries.push_back(entry);
  }
  return entries;
}

TEST(NumberingAndGaps, NumericDirectoriesStopAtTheFirstGap) {
  const std::vector<ListingCase> cases = {
      {"gap at 03", {"01_A/", "02_B/", "04_D/"}, true, {"A", "B"}},
      {"files do not count", {"01_A/", "02_B.txt", "03_C/"}, true, {"A"}},
      {"ten entries",
       tenParts(),
       true,
       {"P1", "P2", "P3", "P4", "P5", "P6", "P7", "P8", "P9", "P10"}},
      {"empty directory", {}, false, {"missing"}},
      {"no leading zero", {"1_A/", "2_B/"}, false, {"missing"}},
      {"three digits", {"001_A/"}, false, {"missing"}},
      {"number only", {"01_/", "02_x_y/"}, true, {"", "x_y"}},
      {"dotted name", {"01_a.b/"}, true, {"a.b"}},
      {"starts at one", {"02_B/"}, false, {"missing"}},
      {"unnumbered entries", {"Wing/", "readme.txt"}, false, {"missing"}},
  };
  for (const ListingCase& c : cases) {
    SCOPED_TRACE(c.what);
    testsupport::TempDir temp;
    for (const std::string& entry : c.entries) {
      if (entry.back() == '/') {
        makeDir(join(temp.path(), entry.substr(0, entry.size() - 1)));
      } else {
        makeFile(join(temp.path(), entry));
      }
    }
    string_vector list;
    list.strings = {"stale", "entries"};
    EXPECT_EQ(U::getNumericDirectories(temp.path(), list), c.result);
    EXPECT_EQ(list.get(), c.listed);
  }
}

TEST(NumberingAndGaps, MissingDirectoryGivesThePlaceholder) {
  testsupport::TempDir temp;
  string_vector list;
  EXPECT_FALSE(U::getNumericDirectories(join(temp.path(), "nowhere"), list));
  EXPECT_EQ(list.get(), (Names{"missing"}));
  EXPECT_FALSE(U::getParts(temp.path(), list));
  EXPECT_EQ(list.get(), (Names{"missing"}));
}

TEST(NumberingAndGaps, TreeListingsUseTheirSubdirectories) {
  testsupport::TempDir temp;
  const std::string wizard = join(temp.path(), "vl2_settings");
  makeDir(join(wizard, "parts\\01_Wing\\01_Spar\\01_Probe"));
  makeDir(join(wizard, "parts\\01_Wing\\01_Spar\\02_Roller"));
  makeDir(join(wizard, "parts\\01_Wing\\02_Rib"));
  makeDir(join(wizard, "parts\\02_Tail"));
  makeDir(join(wizard, "tools\\01_Probe"));
  makeDir(join(wizard, "tools\\02_Wheel"));

  string_vector list;
  EXPECT_TRUE(U::getParts(wizard, list));
  EXPECT_EQ(list.get(), (Names{"Wing", "Tail"}));
  EXPECT_TRUE(U::getRegions(join(wizard, "parts\\01_Wing"), list));
  EXPECT_EQ(list.get(), (Names{"Spar", "Rib"}));
  EXPECT_TRUE(U::getRegionTools(join(wizard, "parts\\01_Wing\\01_Spar"), list));
  EXPECT_EQ(list.get(), (Names{"Probe", "Roller"}));
  EXPECT_TRUE(U::getTools(wizard, list));
  EXPECT_EQ(list.get(), (Names{"Probe", "Wheel"}));
  EXPECT_FALSE(U::getRegions(join(wizard, "parts\\02_Tail"), list));
  EXPECT_EQ(list.get(), (Names{"missing"}));
}

TEST(FirstMatchByNumber, FirstDirectoryInNameOrderWins) {
  if (testsupport::runningUnderWine()) {
    GTEST_SKIP() << "Wine lists a Unix directory in its own order, not NTFS name order";
  }
  testsupport::TempDir temp;
  makeDir(join(temp.path(), "01_beta"));
  makeDir(join(temp.path(), "01_Alpha"));
  makeFile(join(temp.path(), "02_0file"));  // sorts first among 02_, but is a file
  makeDir(join(temp.path(), "02_Zed"));
  makeDir(join(temp.path(), "02_Mid"));
  string_vector list;
  EXPECT_TRUE(U::getNumericDirectories(temp.path(), list));
  EXPECT_EQ(list.get(), (Names{"Alpha", "Mid"}));
}

TEST(FirstMatchByNumber, NumberIsMatchedWithoutRegardToCaseOfTheName) {
  testsupport::TempDir temp;
  makeDir(join(temp.path(), "01_wing"));
  makeFile(join(temp.path(), "02_Spar"));
  makeDir(join(temp.path(), "02_Spar.dir"));
  string_vector list;
  EXPECT_TRUE(U::getNumericDirectories(temp.path(), list));
  // The on-disk spelling is kept; the extension-like part belongs to the name.
  EXPECT_EQ(list.get(), (Names{"wing", "Spar.dir"}));
}

TEST(Placeholders, RecursiveFileNamesListSubdirectoriesFirstAndAppend) {
  testsupport::TempDir temp;
  const std::string& d = temp.path();
  makeFile(join(d, "a.ini"));
  makeFile(join(d, "S\\b.ini"));
  makeFile(join(d, "S\\T\\c.ini"));
  makeFile(join(d, "S\\notes.txt"));
  makeFile(join(d, "x.qini"));
  makeDir(join(d, "dir.ini"));  // a directory never counts as a file

  string_vector list;
  ASSERT_TRUE(U::getRecursiveFullFileNames(d, "ini", list));
  const Names once = {join(d, "S\\T\\c.ini"), join(d, "S\\b.ini"), join(d, "a.ini")};
  EXPECT_EQ(list.get(), once);
  ASSERT_TRUE(U::getRecursiveFullFileNames(d, "ini", list));
  Names twice = once;
  twice.insert(twice.end(), once.begin(), once.end());
  EXPECT_EQ(list.get(), twice);

  string_vector none;
  EXPECT_FALSE(U::getRecursiveFullFileNames(d, "bmp", none));
  EXPECT_TRUE(none.strings.empty());
  none.strings.push_back("kept");
  EXPECT_TRUE(U::getRecursiveFullFileNames(d, "bmp", none));
  EXPECT_EQ(none.get(), (Names{"kept"}));
}

TEST(FileOperations, ExistenceDistinguishesFilesAndDirectories) {
  testsupport::TempDir temp;
  const std::string file = join(temp.path(), "f.txt");
  const std::string dir = join(temp.path(), "d");
  makeFile(file, "x");
  makeDir(dir);
  EXPECT_TRUE(U::getDoesFileExist(file));
  EXPECT_FALSE(U::getDoesDirectoryExist(file));
  EXPECT_TRUE(U::getDoesDirectoryExist(dir));
  EXPECT_FALSE(U::getDoesFileExist(dir));
  EXPECT_FALSE(U::getDoesFileExist(join(temp.path(), "none")));
  EXPECT_FALSE(U::getDoesDirectoryExist(join(temp.path(), "none")));
  EXPECT_FALSE(U::getDoesFileExist(join(temp.path(), "none\\f.txt")));
}

TEST(FileOperations, CreateCopyMoveAndDelete) {
  testsupport::TempDir temp;
  const std::string dir = join(temp.path(), "new");
  EXPECT_TRUE(U::makeDirectory(dir));
  EXPECT_FALSE(U::makeDirectory(dir));                        // exists already
  EXPECT_FALSE(U::makeDirectory(join(temp.path(), "a\\b")));  // one level only

  const std::string source = join(temp.path(), "source.ini");
  const std::string target = join(dir, "target.ini");
  makeFile(source, "new content");
  makeFile(target, "old content that is longer");
  EXPECT_TRUE(U::copyFile(source, target));
  EXPECT_EQ(testsupport::readFile(target), "new content");
  EXPECT_FALSE(U::copyFile(join(temp.path(), "none.ini"), target));

  EXPECT_TRUE(U::makeBlankFile(target));
  EXPECT_EQ(testsupport::readFile(target), "");
  const std::string fresh = join(dir, "fresh");
  EXPECT_TRUE(U::makeBlankFile(fresh));
  EXPECT_TRUE(U::getDoesFileExist(fresh));
  EXPECT_FALSE(U::makeBlankFile(join(temp.path(), "none\\x")));

  // A move, for files and directories, never onto an existing name.
  EXPECT_FALSE(U::renameDirectory(source, target));
  EXPECT_EQ(testsupport::readFile(source), "new content");
  EXPECT_TRUE(U::renameDirectory(source, join(temp.path(), "moved.ini")));
  EXPECT_FALSE(U::getDoesFileExist(source));
  makeDir(join(temp.path(), "other"));
  EXPECT_FALSE(U::renameDirectory(join(temp.path(), "other"), dir));
  EXPECT_TRUE(U::renameDirectory(dir, join(temp.path(), "renamed")));
  EXPECT_TRUE(U::getDoesFileExist(join(temp.path(), "renamed\\fresh")));

  EXPECT_TRUE(U::deleteFile(join(temp.path(), "moved.ini")));
  EXPECT_FALSE(U::deleteFile(join(temp.path(), "moved.ini")));
  EXPECT_FALSE(U::deleteFile(join(temp.path(), "renamed")));  // a directory
}

TEST(FileOperations, DeleteDirectoryRemovesEverythingBelow) {
  testsupport::TempDir temp;
  const std::string dir = join(temp.path(), "victim");
  makeFile(join(dir, "a\\b\\c.txt"), "c");
  makeFile(join(dir, "d.txt"), "d");
  EXPECT_TRUE(U::deleteDirectory(dir));
  EXPECT_FALSE(testsupport::exists(dir));
  EXPECT_FALSE(U::deleteDirectory(dir));  // gone already
}

TEST(FileOperations, DeleteDirectoryRefusesPatterns) {
  testsupport::TempDir temp;
  makeFile(join(temp.path(), "d1\\keep.txt"));
  makeFile(join(temp.path(), "d2\\keep.txt"));
  // The shell would expand a pattern into several deletions.
  EXPECT_FALSE(U::deleteDirectory(join(temp.path(), "d*")));
  EXPECT_FALSE(U::deleteDirectory(join(temp.path(), "d?")));
  EXPECT_TRUE(testsupport::exists(join(temp.path(), "d1\\keep.txt")));
  EXPECT_TRUE(testsupport::exists(join(temp.path(), "d2\\keep.txt")));
}

// Paths that name no single directory below a root are refused, and the
// directory they point at stays. Checked from inside the directory, so that a
// wrong deletion would only reach the test's own folder.
TEST(FileOperations, DeleteDirectoryRefusesEmptyCurrentAndOverlongPaths) {
  namespace fs = std::filesystem;
  testsupport::TempDir temp;
  const std::string victim = join(temp.path(), "victim");
  const std::string kept = join(victim, "sub\\keep.txt");
  makeFile(kept, "k");

  // 1023 characters and more cannot be passed to the shell's delete, even
  // when they name a directory that exists.
  std::string overlong = victim;
  while (overlong.size() < 1023) overlong += "\\.";
  EXPECT_FALSE(U::deleteDirectory(overlong));
  EXPECT_TRUE(testsupport::exists(kept));

  struct RestoreCurrentDirectory {
    fs::path previous = fs::current_path();
    ~RestoreCurrentDirectory() { fs::current_path(previous); }
  } restore;
  fs::current_path(fs::path(temp / "victim"));
  for (const char* path : {"", ".", ".\\", "sub\\..", ".\\sub\\.\\..\\"}) {
    SCOPED_TRACE(std::string("path \"") + path + "\"");
    EXPECT_FALSE(U::deleteDirectory(path));
    EXPECT_TRUE(testsupport::exists(kept));
  }
}

}  // namespace
