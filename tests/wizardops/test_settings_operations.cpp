// Adding a tool to a part and the directory listing, in process, so that the
// Windows build checks them against the real file API as well.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "ScriptedConsole.h"
#include "console/ConsoleServices.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "test_support.h"
#include "wizardops/SettingsOperations.h"

namespace {

void capturePrint(std::string text) {
  std::cout << text;
}

class OperationsTest : public ::testing::Test {
 protected:
  OperationsTest() {
    roots_.wizardDirectory = dir_ / "vl2_settings";
    roots_.legacyDirectory = dir_ / "quads";
    context_.print = capturePrint;
    context_.directoryMode = DirectoryMode::Wizard;
  }
  void file(const std::string& relative, const std::string& content = "") {
    const std::string path = dir_ / relative;
    testsupport::makeDirectories(path.substr(0, path.find_last_of("/\\")));
    testsupport::writeFile(path, content);
  }
  std::string path(const std::string& relative) const { return dir_ / relative; }

  testsupport::TempDir dir_;
  SettingsRoots roots_;
  ConsoleContext context_{};
};

TEST_F(OperationsTest, AddToolCopiesBothFilesAndRemembersTheChoices) {
  file("vl2_settings/parts/01_A/01_R/R.qini");
  file("vl2_settings/parts/01_A/01_R/01_Probe/Probe.ini", "[Probe]\n");
  file("vl2_settings/parts/01_A/01_R/01_Probe/Probe.vl2", "scan");
  file("vl2_settings/parts/02_B/01_Q/Q.qini");
  file("vl2_settings/tools/01_Probe/Probe.tini");
  // Source part A (1 of 2); its one region and tool are chosen without asking;
  // destination part B (2 of 2) with its one region.
  ScriptedConsole answers("1\n2\n");
  EXPECT_TRUE(addToolToPart(context_, roots_));
  EXPECT_NE(answers.output().find("\nSuccessfully added tool Probe to part B from part A.\n"),
            std::string::npos)
      << answers.output();
  EXPECT_EQ(testsupport::readFile(path("vl2_settings/parts/02_B/01_Q/01_Probe/Probe.vl2")), "scan");
  EXPECT_EQ(testsupport::readFile(path("vl2_settings/parts/02_B/01_Q/01_Probe/Probe.ini")),
            "[Probe]\n");
  EXPECT_EQ(context_.partSettingsFile, roots_.wizardDirectory + "\\parts\\02_B\\01_Q\\Q.qini");
  EXPECT_EQ(context_.toolSettingsFile, roots_.wizardDirectory + "\\tools\\01_Probe\\Probe.tini");
}

TEST_F(OperationsTest, FailedCopyRemovesTheNewToolDirectory) {
  file("vl2_settings/parts/01_A/01_R/R.qini");
  file("vl2_settings/parts/01_A/01_R/01_Probe/Probe.vl2", "scan");
  file("vl2_settings/parts/02_B/01_Q/Q.qini");
  file("vl2_settings/tools/01_Probe/Probe.tini");
  for (int attempt = 0; attempt < 2; ++attempt) {
    ScriptedConsole answers("1\n2\n");
    EXPECT_FALSE(addToolToPart(context_, roots_));
    const std::string out = answers.output();
    EXPECT_EQ(out.substr(out.size() - 40), "Failed to copy existing tool reference.\n") << out;
    EXPECT_EQ(platform::pathKind(path("vl2_settings/parts/02_B/01_Q/01_Probe")),
              platform::PathKind::Missing)
        << "attempt " << attempt;
  }
}

TEST_F(OperationsTest, DumpListsDirectoriesBeforeFilesWithPlatformLineEnds) {
  file("vl2_settings/parts/01_A/A.bmp");
  file("vl2_settings/parts/01_A/01_R/R.qini");
  file("vl2_settings/tools/readme.txt");
  const std::string listing = path("listing.txt");
  std::FILE* out = platform::openFile(listing, "w");
  ASSERT_NE(out, nullptr);
  dumpDirectory(roots_.wizardDirectory, "\t", out);
  std::fclose(out);
#ifdef _WIN32
  const std::string eol = "\r\n";
#else
  const std::string eol = "\n";
#endif
  EXPECT_EQ(testsupport::readFile(listing),
            "\td: vl2_settings" + eol + "\t\td: parts" + eol + "\t\t\td: 01_A" + eol +
                "\t\t\t\td: 01_R" + eol + "\t\t\t\t\tf: R.qini" + eol + "\t\t\t\tf: A.bmp" + eol +
                "\t\td: tools" + eol + "\t\t\tf: readme.txt" + eol);
}

}  // namespace
