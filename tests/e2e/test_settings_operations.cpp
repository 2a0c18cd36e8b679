// Settings-file selection in every directory mode, seen through the menu
// entries that use it: editing region and tool data, adding a tool to a part,
// and the directory dump. The text editor is the recording stand-in, which
// notes the file it was given and prints "[editor: <file>]" when it ends.
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "E2eHarness.h"
#include "EditorSandbox.h"

namespace {

using e2e::editorLine;
using e2e::EditorSandbox;
using e2e::keyPrompt;
using e2e::mainMenuScreen;
using e2e::transcriptsMatch;

const std::string kWizardStartup = "Detected: wizard directory.\nDirectory mode: Wizard.\n";
const std::string kLegacyStartup =
    "Delected: Legacy .quads directory.\nDirectory mode: Legacy .quads.\n";
const std::string kBasicStartup = "Directory mode: Basic.\n";

std::string prompt(int count) {
  return "Please enter value 1.." + std::to_string(count) + ": ";
}

const char* const kTwoParts = R"(
  parts/01_Wing/Wing.bmp
  parts/01_Wing/01_Rib/Rib.qini = [QuadFile]\nName=Rib.quads\n
  parts/01_Wing/02_Spar/Spar.qini = [QuadFile]\nName=Spar.quads\n
  parts/02_Tail/01_Fin/
  tools/01_Roller/Roller.tini = [PositionCapture]\nDevice=2dencoder\n
  tools/02_Probe/Probe.tini = [PositionCapture]\nDevice=arm\n
)";

TEST(EditRegionData, OpensTheChosenQiniAndWaitsForTheEditor) {
  EditorSandbox sandbox;
  sandbox.buildWizardTree(kTwoParts);
  // Part 1, region 2; the "1" of "16" is the key at the key prompt.
  const e2e::RunResult run = sandbox.run("6\n1\n2\n16\n");
  EXPECT_EQ(run.exitStatus, 0);
  const std::string qini = sandbox.wizardDirectory() + "/parts/01_Wing/02_Spar/Spar.qini";
  EXPECT_TRUE(transcriptsMatch(sandbox.start(kWizardStartup) +
                                   "\nChoose part:\n\t1: Wing\n\t2: Tail\n" + prompt(2) +
                                   "\nChoose region:\n\t1: Rib\n\t2: Spar\n" + prompt(2) +
                                   editorLine(qini) + keyPrompt() + mainMenuScreen(),
                               run.output));
  EXPECT_EQ(sandbox.editedFiles(), std::vector<std::string>{qini});
}

TEST(EditRegionData, FailuresInEveryModeOpenNoEditor) {
  struct Case {
    const char* name;
    const char* wizardTree;  // nullptr: no wizard directory
    const char* legacyTree;  // nullptr: no legacy directory
    const char* script;
    std::string modeLines;
    std::string choices;  // what the selection shows before it fails
  } cases[] = {
      {"region without its qini", kTwoParts, nullptr, "6\n2\n16\n", kWizardStartup,
       "\nChoose part:\n\t1: Wing\n\t2: Tail\n" + prompt(2) + "Chosen region Fin.\n"},
      {"no parts", "parts/", nullptr, "6\n16\n", kWizardStartup,
       "Chosen part missing.\nChosen region missing.\n"},
      {"basic mode", nullptr, nullptr, "6\n16\n", kBasicStartup, ""},
      {"legacy directory without .ini files", nullptr, "Wing/notes.txt\nWing/Rib.qini", "6\n16\n",
       kLegacyStartup, "Chosen directory Wing.\n"},
  };
  for (const Case& c : cases) {
    if (c.legacyTree != nullptr && !e2e::driveIsolationAvailable()) continue;
    EditorSandbox sandbox;
    if (c.wizardTree != nullptr) sandbox.buildWizardTree(c.wizardTree);
    if (c.legacyTree != nullptr) sandbox.buildLegacyTree(c.legacyTree);
    const e2e::RunResult run = sandbox.run(c.script);
    EXPECT_EQ(run.exitStatus, 0) << c.name;
    EXPECT_TRUE(transcriptsMatch(sandbox.start(c.modeLines) + c.choices +
                                     "Failed to identify .qini or .ini file.\n" + keyPrompt() +
                                     mainMenuScreen(),
                                 run.output))
        << c.name;
    EXPECT_TRUE(sandbox.editedFiles().empty()) << c.name;
  }
}

TEST(EditRegionData, LegacyIniFileIsFoundBelowTheChosenDirectory) {
  if (!e2e::driveIsolationAvailable()) GTEST_SKIP() << "no private /mnt for the program";
  EditorSandbox sandbox;
  sandbox.buildLegacyTree(R"(
    Tail/Fin.ini = [QuadFile]\nName=Fin.quads\n
    Wing/a/Spar.ini = [QuadFile]\nName=Spar.quads\n
    Wing/spar.ini.old
  )");
  // Directory 2 (Wing), then name 1 (Spar, found in a\; the old copy's name
  // "spar" differs in case and is listed separately).
  const e2e::RunResult run = sandbox.run("6\n2\n1\n16\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(
      sandbox.start(kLegacyStartup) + "\nChoose directory:\n\t1: Tail\n\t2: Wing\n" + prompt(2) +
          "\nChoose .ini file:\n\t1: Spar\n\t2: spar\n" + prompt(2) +
          editorLine("/mnt/c/quads/Wing/a/Spar.ini") + keyPrompt() + mainMenuScreen(),
      run.output));
}

TEST(EditRegionData, LegacyWalksDoNotFollowDirectoryLinks) {
  if (!e2e::driveIsolationAvailable()) GTEST_SKIP() << "no private /mnt for the program";
  // Two links back to their own directory would make a walk that follows
  // them branch twice at every level: it would run for hours.
  for (const char* script : {"6\n16\n", "7\n16\n"}) {
    SCOPED_TRACE(script);
    EditorSandbox sandbox;
    sandbox.buildLegacyTree("Wing/z/Spar.ini = [QuadFile]\\nName=Spar.quads\\n");
    const std::string wing = sandbox.legacyDirectory() + "/Wing";
    ASSERT_EQ(::symlink(".", (wing + "/loop1").c_str()), 0);
    ASSERT_EQ(::symlink(".", (wing + "/loop2").c_str()), 0);
    const e2e::RunResult run = sandbox.run(script);
    EXPECT_FALSE(run.timedOut);
    EXPECT_TRUE(transcriptsMatch(sandbox.start(kLegacyStartup) + "Chosen directory Wing.\n" +
                                     "Chosen .ini file Spar.\n" +
                                     editorLine("/mnt/c/quads/Wing/z/Spar.ini") + keyPrompt() +
                                     mainMenuScreen(),
                                 run.output));
  }
}

TEST(EditRegionData, EditorGetsTheNameAsItIsOnDisk) {
  EditorSandbox sandbox;
  // The program builds ...\Spar.qini and finds spar.qini, as Windows would.
  sandbox.buildWizardTree("parts/01_Wing/01_Spar/spar.qini = [QuadFile]\\nName=Spar.quads\\n");
  const e2e::RunResult run = sandbox.run("6\n16\n");
  EXPECT_EQ(run.exitStatus, 0);
  const std::string qini = sandbox.wizardDirectory() + "/parts/01_Wing/01_Spar/spar.qini";
  EXPECT_TRUE(transcriptsMatch(sandbox.start(kWizardStartup) + "Chosen part Wing.\n" +
                                   "Chosen region Spar.\n" + editorLine(qini) + keyPrompt() +
                                   mainMenuScreen(),
                               run.output));
  EXPECT_EQ(sandbox.editedFiles(), std::vector<std::string>{qini});
  EXPECT_EQ(e2e::directoryEntries(sandbox.wizardDirectory() + "/parts/01_Wing/01_Spar"),
            std::vector<std::string>{"spar.qini"});
}

TEST(EditToolData, OpensTheFileOfEachMode) {
  {
    EditorSandbox sandbox;
    sandbox.buildWizardTree(kTwoParts);
    const e2e::RunResult run = sandbox.run("7\n2\n16\n");
    const std::string tini = sandbox.wizardDirectory() + "/tools/02_Probe/Probe.tini";
    EXPECT_TRUE(transcriptsMatch(sandbox.start(kWizardStartup) +
                                     "\nChoose tool:\n\t1: Roller\n\t2: Probe\n" + prompt(2) +
                                     editorLine(tini) + keyPrompt() + mainMenuScreen(),
                                 run.output));
  }
  {
    // A tool that is listed but has no .tini file.
    EditorSandbox sandbox;
    sandbox.buildWizardTree("tools/01_Roller/Roller.bmp");
    const e2e::RunResult run = sandbox.run("7\n16\n");
    EXPECT_TRUE(transcriptsMatch(sandbox.start(kWizardStartup) + "Chosen tool Roller.\n" +
                                     "Failed to identify .tini or .ini file.\n" + keyPrompt() +
                                     mainMenuScreen(),
                                 run.output));
    EXPECT_TRUE(sandbox.editedFiles().empty());
  }
  if (e2e::driveIsolationAvailable()) {
    // Legacy: the region's .ini file holds the tool data too.
    EditorSandbox sandbox;
    sandbox.buildLegacyTree("Wing/Spar.ini = [Probe]\\nNumberOfElements=64\\n");
    const e2e::RunResult run = sandbox.run("7\n16\n");
    EXPECT_TRUE(transcriptsMatch(
        sandbox.start(kLegacyStartup) + "Chosen directory Wing.\n" + "Chosen .ini file Spar.\n" +
            editorLine("/mnt/c/quads/Wing/Spar.ini") + keyPrompt() + mainMenuScreen(),
        run.output));
  }
}

TEST(EditToolData, BasicModeOpensTheToolFileRememberedLast) {
  EditorSandbox sandbox;
  // Nothing can be chosen in basic mode and nothing was remembered: the
  // editor is started with an empty name, no failure is reported.
  const e2e::RunResult run = sandbox.run("7\n16\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(
      sandbox.start(kBasicStartup) + editorLine("") + keyPrompt() + mainMenuScreen(), run.output));
  EXPECT_EQ(sandbox.editedFiles(), std::vector<std::string>{""});
}

}  // namespace
