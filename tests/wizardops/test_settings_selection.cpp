// Directory-mode detection and settings-file selection on temporary trees.
#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "ScriptedConsole.h"
#include "console/ConsoleServices.h"
#include "test_support.h"
#include "wizardops/SettingsSelection.h"

namespace {

// A wizard tree and a legacy tree below one temporary directory.
class SelectionTest : public ::testing::Test {
 protected:
  SelectionTest() {
    roots_.wizardDirectory = dir_ / "vl2_settings";
    roots_.legacyDirectory = dir_ / "quads";
  }

  // Creates the file (and its directories) below the temporary directory.
  void file(const std::string& relative, const std::string& content = "") {
    const std::string path = dir_ / relative;
    testsupport::makeDirectories(path.substr(0, path.find_last_of("/\\")));
    testsupport::writeFile(path, content);
  }
  void directory(const std::string& relative) { testsupport::makeDirectories(dir_ / relative); }

  // The path the program builds: root + backslash-joined rest.
  std::string wizardPath(const std::string& rest) const {
    return roots_.wizardDirectory + "\\" + rest;
  }
  std::string legacyPath(const std::string& rest) const {
    return roots_.legacyDirectory + "\\" + rest;
  }

  testsupport::TempDir dir_;
  SettingsRoots roots_;
};

void recordPrint(std::string text) {
  std::cout << "<" << text << ">";
}

TEST_F(SelectionTest, DetectionWithNeitherDirectoryIsBasic) {
  ScriptedConsole console("w\n");
  EXPECT_EQ(detectDirectoryMode(roots_), DirectoryMode::Basic);
  EXPECT_EQ(console.output(), "");
  EXPECT_EQ(console.unread(), "w\n");
}

TEST_F(SelectionTest, DetectionWithOneDirectoryAsksNothing) {
  directory("vl2_settings");
  {
    ScriptedConsole console("q\n");
    EXPECT_EQ(detectDirectoryMode(roots_), DirectoryMode::Wizard);
    EXPECT_EQ(console.output(), "Detected: wizard directory.\n");
    EXPECT_EQ(console.unread(), "q\n");
  }
  SettingsRoots legacyOnly{dir_ / "absent", roots_.legacyDirectory};
  directory("quads");
  ScriptedConsole console("w\n");
  EXPECT_EQ(detectDirectoryMode(legacyOnly), DirectoryMode::LegacyQuads);
  EXPECT_EQ(console.output(), "Delected: Legacy .quads directory.\n");
}

TEST_F(SelectionTest, DetectionIgnoresFilesAndEmptyNames) {
  file("vl2_settings");
  file("quads");
  ScriptedConsole console("");
  EXPECT_EQ(detectDirectoryMode(roots_), DirectoryMode::Basic);
  EXPECT_EQ(detectDirectoryMode(SettingsRoots{"", dir_ / "none"}), DirectoryMode::Basic);
  EXPECT_EQ(console.output(), "");
}

TEST_F(SelectionTest, DetectionWithBothAcceptsOnlyLowerCaseLetters) {
  directory("vl2_settings");
  directory("quads");
  const std::string question = "Please enter directory mode (w for wizard, q for quads): ";
  struct Case {
    const char* input;
    DirectoryMode mode;
    int questions;
  } cases[] = {{"w\n", DirectoryMode::Wizard, 1},
               {"q\n", DirectoryMode::LegacyQuads, 1},
               {"W\nQ\n x\nq\n", DirectoryMode::LegacyQuads, 4},
               {"Ww\n", DirectoryMode::Wizard, 2}};
  for (const Case& c : cases) {
    ScriptedConsole console(c.input);
    EXPECT_EQ(detectDirectoryMode(roots_), c.mode) << c.input;
    std::string expected = "Detected: wizard directory.\nDelected: Legacy .quads directory.\n";
    for (int i = 0; i < c.questions; ++i) expected += question;
    EXPECT_EQ(console.output(), expected) << c.input;
  }
  ScriptedConsole console("W\n");
  EXPECT_THROW(detectDirectoryMode(roots_), ConsoleInputEnded);
}

TEST(ShowDirectoryMode, NamesEveryMode) {
  ScriptedConsole console("");
  showDirectoryMode(DirectoryMode::Wizard, recordPrint);
  showDirectoryMode(DirectoryMode::LegacyQuads, recordPrint);
  showDirectoryMode(DirectoryMode::Basic, recordPrint);
  showDirectoryMode(static_cast<DirectoryMode>(7), recordPrint);
  EXPECT_EQ(console.output(),
            "<Directory mode: Wizard.\n><Directory mode: Legacy .quads.\n>"
            "<Directory mode: Basic.\n><Directory mode: Basic.\n>");
}

TEST_F(SelectionTest, WizardRegionSettingsFileOfAChosenPartAndRegion) {
  file("vl2_settings/parts/01_Wing/01_Rib/Rib.qini");
  file("vl2_settings/parts/01_Wing/02_Spar/Spar.qini");
  file("vl2_settings/parts/02_Tail/01_Fin/Fin.qini");
  ScriptedConsole console("1\n2\n");
  std::string path = "stale";
  EXPECT_TRUE(chooseRegionSettingsFile(DirectoryMode::Wizard, path, "source part", roots_));
  EXPECT_EQ(path, wizardPath("parts\\01_Wing\\02_Spar\\Spar.qini"));
  EXPECT_EQ(console.output(),
            "\nChoose source part:\n\t1: Wing\n\t2: Tail\nPlease enter value 1..2: "
            "\nChoose region:\n\t1: Rib\n\t2: Spar\nPlease enter value 1..2: ");
}

TEST_F(SelectionTest, WizardRegionWithoutItsQiniFails) {
  directory("vl2_settings/parts/01_Wing/02_Spar");
  file("vl2_settings/parts/01_Wing/01_Rib/Rib.qini");
  ScriptedConsole console("2\n");
  std::string path;
  EXPECT_FALSE(chooseRegionSettingsFile(DirectoryMode::Wizard, path, "part", roots_));
  EXPECT_EQ(path, wizardPath("parts\\01_Wing\\02_Spar\\Spar.qini"));
  EXPECT_NE(console.output().find("Chosen part Wing.\n"), std::string::npos);
}

TEST_F(SelectionTest, WizardTreeWithoutPartsOffersMissing) {
  directory("vl2_settings");
  ScriptedConsole console("1\n");
  std::string path;
  EXPECT_FALSE(chooseRegionSettingsFile(DirectoryMode::Wizard, path, "part", roots_));
  EXPECT_EQ(console.output(), "Chosen part missing.\nChosen region missing.\n");
  EXPECT_EQ(console.unread(), "1\n");
}

TEST_F(SelectionTest, RegionToolFileIsTheLibraryToolOfThatName) {
  file("vl2_settings/parts/01_A/01_R/R.qini");
  directory("vl2_settings/parts/01_A/01_R/01_Probe");
  file("vl2_settings/tools/01_Roller/Roller.tini");
  file("vl2_settings/tools/02_Probe/Probe.tini");
  ScriptedConsole console("");
  std::string path;
  EXPECT_TRUE(chooseRegionToolFile(DirectoryMode::Wizard, wizardPath("parts\\01_A\\01_R\\R.qini"),
                                   path, roots_));
  EXPECT_EQ(path, wizardPath("tools\\02_Probe\\Probe.tini"));
  EXPECT_EQ(console.output(), "Chosen tool Probe.\n");
}

TEST_F(SelectionTest, RegionToolMissingFromTheLibraryFails) {
  directory("vl2_settings/parts/01_A/01_R/01_Wheel");
  file("vl2_settings/tools/01_Roller/Roller.tini");
  ScriptedConsole console("");
  std::string path;
  EXPECT_FALSE(chooseRegionToolFile(DirectoryMode::Wizard, wizardPath("parts\\01_A\\01_R\\R.qini"),
                                    path, roots_));
  // Not in the library: numbered one past its end.
  EXPECT_EQ(path, wizardPath("tools\\02_Wheel\\Wheel.tini"));
}

TEST_F(SelectionTest, LibraryToolFileFromTheToolList) {
  file("vl2_settings/tools/01_Roller/Roller.tini");
  file("vl2_settings/tools/02_Probe/Probe.tini");
  ScriptedConsole console("3\n2\n");
  std::string path;
  EXPECT_TRUE(chooseLibraryToolFile(DirectoryMode::Wizard, path, roots_));
  EXPECT_EQ(path, wizardPath("tools\\02_Probe\\Probe.tini"));
}

TEST_F(SelectionTest, LegacyIniFileIsFoundBelowTheChosenDirectory) {
  file("quads/Tail/Fin.ini");
  file("quads/Wing/a/Spar.ini");
  file("quads/Wing/spar.ini.bak");
  file("quads/Wing/Rib.qini");
  file("quads/Wing/Probe.tini");
  directory("quads/Wing/empty");
  ScriptedConsole console("2\n1\n");
  std::string path;
  EXPECT_TRUE(chooseRegionSettingsFile(DirectoryMode::LegacyQuads, path, "part", roots_));
  EXPECT_EQ(path, legacyPath("Wing\\a\\Spar.ini"));
  // Sub-directories first as they are met; ".qini" and ".tini" are not ".ini"
  // files; a name is cut at its last ".ini".
  EXPECT_EQ(console.output(),
            "\nChoose directory:\n\t1: Tail\n\t2: Wing\nPlease enter value 1..2: "
            "\nChoose .ini file:\n\t1: Spar\n\t2: spar\nPlease enter value 1..2: ");
}

TEST_F(SelectionTest, LegacyNameMatchesCaseSensitivelyAndFirstFoundWins) {
  file("quads/Wing/a/Spar.ini", "a");
  file("quads/Wing/b/Spar.ini", "b");
  file("quads/Wing/spar.ini", "lower");
  ScriptedConsole console("1\n");
  std::string path;
  EXPECT_TRUE(chooseRegionSettingsFile(DirectoryMode::LegacyQuads, path, "part", roots_));
  // spar.ini in Wing itself does not match "Spar"; a\ is searched before b\.
  EXPECT_EQ(path, legacyPath("Wing\\a\\Spar.ini"));
}

#ifndef _WIN32
TEST_F(SelectionTest, LegacyWalksDoNotEnterDirectoryLinks) {
  // A link back to its own directory, met before the real one, and a link to
  // a directory outside the legacy tree: neither is searched.
  file("quads/Wing/z/Spar.ini");
  file("elsewhere/Outside.ini");
  std::filesystem::create_directory_symlink(".", dir_ / "quads/Wing/loop");
  std::filesystem::create_directory_symlink(dir_ / "elsewhere", dir_ / "quads/Wing/away");
  ScriptedConsole console("");
  std::string path;
  EXPECT_TRUE(chooseRegionSettingsFile(DirectoryMode::LegacyQuads, path, "part", roots_));
  EXPECT_EQ(path, legacyPath("Wing\\z\\Spar.ini"));
  EXPECT_EQ(console.output(), "Chosen directory Wing.\nChosen .ini file Spar.\n");
}
#endif

TEST_F(SelectionTest, LegacyToolFileIsTheRegionFileItself) {
  file("quads/Wing/Spar.ini");
  ScriptedConsole console("");
  std::string path;
  EXPECT_TRUE(
      chooseRegionToolFile(DirectoryMode::LegacyQuads, legacyPath("Wing\\Spar.ini"), path, roots_));
  EXPECT_EQ(path, legacyPath("Wing\\Spar.ini"));
  EXPECT_FALSE(chooseRegionToolFile(DirectoryMode::LegacyQuads, "", path, roots_));
  EXPECT_EQ(console.output(), "");
}

TEST_F(SelectionTest, SelectionsThatCannotChooseFailAtOnce) {
  file("vl2_settings/tools/01_Roller/Roller.tini");
  file("vl2_settings/parts/01_A/01_R/R.qini");
  file("quads/Wing/Spar.ini");
  ScriptedConsole console("1\n");
  std::string path = "stale";
  EXPECT_FALSE(chooseLibraryToolFile(DirectoryMode::LegacyQuads, path, roots_));
  EXPECT_EQ(path, "");
  path = "stale";
  EXPECT_FALSE(chooseLibraryToolFile(DirectoryMode::Basic, path, roots_));
  EXPECT_EQ(path, "");
  path = "stale";
  EXPECT_FALSE(chooseRegionSettingsFile(DirectoryMode::Basic, path, "part", roots_));
  EXPECT_EQ(path, "");
  path = "stale";
  EXPECT_FALSE(
      chooseRegionToolFile(DirectoryMode::Basic, legacyPath("Wing\\Spar.ini"), path, roots_));
  EXPECT_EQ(path, "");
  EXPECT_EQ(console.output(), "");
  EXPECT_EQ(console.unread(), "1\n");
}

TEST(EntryNumber, NumbersLikeTheWizardTree) {
  string_vector list;
  for (int i = 1; i <= 12; ++i) {
    std::string name = "T";
    name += std::to_string(i);
    list.strings.push_back(name);
  }
  EXPECT_EQ(entryNumber("T1", list), "01");
  EXPECT_EQ(entryNumber("T9", list), "09");
  EXPECT_EQ(entryNumber("T12", list), "12");
  EXPECT_EQ(entryNumber("X", list), "13");
}

}  // namespace
