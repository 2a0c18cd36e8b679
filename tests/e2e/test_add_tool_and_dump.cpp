// "Add tool to part" and "Dump directories" from the menu.
#include <unistd.h>

#include <cstdio>
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

std::string prompt(int count) {
  return "Please enter value 1.." + std::to_string(count) + ": ";
}

// Part A's region R uses Roller and Probe; part B's region Q has no tools;
// part C's region S uses Roller.
const char* const kPartsWithTools = R"(
  parts/01_A/01_R/R.qini = [QuadFile]\nName=R.quads\n
  parts/01_A/01_R/01_Roller/Roller.ini = [Roller]\nSpeed=3\n
  parts/01_A/01_R/01_Roller/Roller.vl2 = roller scan settings A
  parts/01_A/01_R/02_Probe/Probe.ini = [Probe]\nGain=12\n
  parts/01_A/01_R/02_Probe/Probe.vl2 = probe scan settings A
  parts/02_B/01_Q/Q.qini = [QuadFile]\nName=Q.quads\n
  parts/03_C/01_P/P.qini = [QuadFile]\nName=P.quads\n
  parts/03_C/02_S/S.qini = [QuadFile]\nName=S.quads\n
  parts/03_C/02_S/01_Roller/Roller.ini = [Roller]\nSpeed=5\n
  parts/03_C/02_S/01_Roller/Roller.vl2 = roller scan settings C
  tools/01_Roller/Roller.tini = [PositionCapture]\nDevice=2dencoder\n
  tools/02_Probe/Probe.tini = [PositionCapture]\nDevice=arm\n
)";

const std::string kSourceChoice = "\nChoose source part:\n\t1: A\n\t2: B\n\t3: C\n" + prompt(3) +
                                  "Chosen region R.\n" +
                                  "\nChoose tool:\n\t1: Roller\n\t2: Probe\n" + prompt(2);
const std::string kDestinationParts =
    "\nChoose destination part:\n\t1: A\n\t2: B\n\t3: C\n" + prompt(3);

TEST(AddToolToPart, CopiesTheToolIntoTheNextNumberOfTheDestinationRegion) {
  EditorSandbox sandbox;
  sandbox.buildWizardTree(kPartsWithTools);
  // Source A/R, tool Probe, destination C/S.
  const e2e::RunResult run = sandbox.run("8\n1\n2\n3\n2\n16\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(sandbox.start(kWizardStartup) + kSourceChoice + kDestinationParts +
                                   "\nChoose region:\n\t1: P\n\t2: S\n" + prompt(2) +
                                   "\nSuccessfully added tool Probe to part C from part A.\n" +
                                   keyPrompt() + mainMenuScreen(),
                               run.output));
  const std::string added = sandbox.wizardDirectory() + "/parts/03_C/02_S/02_Probe";
  EXPECT_EQ(e2e::directoryEntries(added), (std::vector<std::string>{"Probe.ini", "Probe.vl2"}));
  EXPECT_EQ(e2e::readFile(added + "/Probe.vl2"), "probe scan settings A");
  EXPECT_EQ(e2e::readFile(added + "/Probe.ini"), "[Probe]\nGain=12\n");
}

TEST(AddToolToPart, RegionWithoutToolsGetsToolNumberOne) {
  EditorSandbox sandbox;
  sandbox.buildWizardTree(kPartsWithTools);
  const e2e::RunResult run = sandbox.run("8\n1\n2\n2\n16\n");
  EXPECT_NE(run.output.find(kDestinationParts + "Chosen region Q.\n" +
                            "\nSuccessfully added tool Probe to part B from part A.\n"),
            std::string::npos)
      << e2e::visible(run.output);
  EXPECT_EQ(e2e::directoryEntries(sandbox.wizardDirectory() + "/parts/02_B/01_Q"),
            (std::vector<std::string>{"01_Probe", "Q.qini"}));
}

TEST(AddToolToPart, RefusalsLeaveTheTreeUnchanged) {
  struct Case {
    const char* name;
    const char* script;
    const char* removeFromSource;  // relative to parts/01_A/01_R/02_Probe
    const char* extraTree;
    std::string message;
    std::string region;  // destination region directory checked afterwards
    std::vector<std::string> regionEntries;
  } cases[] = {
      {"tool already in the destination",
       "8\n1\n1\n3\n2\n16\n",
       nullptr,
       "",
       "This tool is already available for this part.\n",
       "parts/03_C/02_S",
       {"01_Roller", "S.qini"}},
      {"same region",
       "8\n1\n2\n1\n16\n",
       nullptr,
       "",
       "This tool is already available for this part.\n",
       "parts/01_A/01_R",
       {"01_Roller", "02_Probe", "R.qini"}},
      {"missing local scan settings",
       "8\n1\n2\n2\n16\n",
       "Probe.vl2",
       "",
       "Failed to copy existing settings.\n",
       "parts/02_B/01_Q",
       {"Q.qini"}},
      {"missing tool reference",
       "8\n1\n2\n2\n16\n",
       "Probe.ini",
       "",
       "Failed to copy existing tool reference.\n",
       "parts/02_B/01_Q",
       {"Q.qini"}},
      {"new directory name taken by a file",
       "8\n1\n2\n3\n2\n16\n",
       nullptr,
       "parts/03_C/02_S/02_Probe = not a directory",
       "Failed to create new tool directory.\n",
       "parts/03_C/02_S",
       {"01_Roller", "02_Probe", "S.qini"}},
  };
  for (const Case& c : cases) {
    EditorSandbox sandbox;
    sandbox.buildWizardTree(kPartsWithTools);
    sandbox.buildWizardTree(c.extraTree);
    if (c.removeFromSource != nullptr) {
      std::remove(
          (sandbox.wizardDirectory() + "/parts/01_A/01_R/02_Probe/" + c.removeFromSource).c_str());
    }
    const e2e::RunResult run = sandbox.run(c.script);
    EXPECT_EQ(run.exitStatus, 0) << c.name;
    EXPECT_NE(run.output.find(c.message + keyPrompt()), std::string::npos)
        << c.name << "\n"
        << e2e::visible(run.output);
    EXPECT_EQ(e2e::countOccurrences(run.output, "Successfully added"), 0u) << c.name;
    EXPECT_EQ(e2e::directoryEntries(sandbox.wizardDirectory() + "/" + c.region), c.regionEntries)
        << c.name;
  }
}

TEST(AddToolToPart, FailedSelectionsNameTheirStep) {
  // Part D's region E has no settings file; part B's region Q has no tools.
  const std::string parts = "\nChoose source part:\n\t1: A\n\t2: B\n\t3: C\n\t4: D\n" + prompt(4);
  struct Case {
    const char* name;
    const char* script;
    std::string transcript;  // after the first menu, up to the key prompt
  } cases[] = {
      {"source region without its settings file", "8\n4\n16\n",
       parts + "Chosen region E.\nFailed to identify source .qini or .ini file.\n"},
      {"source region without tools", "8\n2\n16\n",
       parts + "Chosen region Q.\nChosen tool missing.\n" +
           "Failed to identify source tool .ini file.\n"},
      {"destination region without its settings file", "8\n1\n2\n4\n16\n",
       parts + "Chosen region R.\n\nChoose tool:\n\t1: Roller\n\t2: Probe\n" + prompt(2) +
           "\nChoose destination part:\n\t1: A\n\t2: B\n\t3: C\n\t4: D\n" + prompt(4) +
           "Chosen region E.\nFailed to identify destination .qini or .ini file.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EditorSandbox sandbox;
    sandbox.buildWizardTree(kPartsWithTools);
    sandbox.buildWizardTree("parts/04_D/01_E/");
    const e2e::RunResult run = sandbox.run(c.script);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(transcriptsMatch(
        sandbox.start(kWizardStartup) + c.transcript + keyPrompt() + mainMenuScreen(), run.output));
    EXPECT_EQ(e2e::directoryEntries(sandbox.wizardDirectory() + "/parts/04_D/01_E"),
              std::vector<std::string>{});
    EXPECT_EQ(e2e::directoryEntries(sandbox.wizardDirectory() + "/parts/02_B/01_Q"),
              std::vector<std::string>{"Q.qini"});
  }
}

TEST(AddToolToPart, FailedCopyCanBeRetriedOnceTheFileIsBack) {
  EditorSandbox sandbox;
  sandbox.buildWizardTree(kPartsWithTools);
  const std::string sourceTool = sandbox.wizardDirectory() + "/parts/01_A/01_R/02_Probe";
  const std::string vl2 = e2e::readFile(sourceTool + "/Probe.vl2");
  std::remove((sourceTool + "/Probe.vl2").c_str());

  // Twice in one run: the second attempt meets the same copy failure, not a
  // half-made tool directory.
  const e2e::RunResult failed = sandbox.run("8\n1\n2\n2\n 8\n1\n2\n2\n16\n");
  EXPECT_EQ(failed.exitStatus, 0);
  EXPECT_EQ(e2e::countOccurrences(failed.output, "Failed to copy existing settings.\n"), 2u)
      << e2e::visible(failed.output);
  EXPECT_EQ(e2e::countOccurrences(failed.output, "already available"), 0u);
  EXPECT_EQ(e2e::directoryEntries(sandbox.wizardDirectory() + "/parts/02_B/01_Q"),
            std::vector<std::string>{"Q.qini"});

  e2e::writeFile(sourceTool + "/Probe.vl2", vl2);
  const e2e::RunResult retried = sandbox.run("8\n1\n2\n2\n16\n");
  EXPECT_NE(retried.output.find("\nSuccessfully added tool Probe to part B from part A.\n"),
            std::string::npos);
  EXPECT_EQ(e2e::readFile(sandbox.wizardDirectory() + "/parts/02_B/01_Q/01_Probe/Probe.vl2"), vl2);
}

TEST(AddToolToPart, OnlyInWizardMode) {
  const std::string message = "This function is only supported for wizard settings structures.\n";
  {
    EditorSandbox sandbox;
    const e2e::RunResult run = sandbox.run("8\n16\n");
    EXPECT_TRUE(transcriptsMatch(
        sandbox.start("Directory mode: Basic.\n") + message + keyPrompt() + mainMenuScreen(),
        run.output));
  }
  if (e2e::driveIsolationAvailable()) {
    EditorSandbox sandbox;
    sandbox.buildLegacyTree("Wing/Spar.ini");
    const e2e::RunResult run = sandbox.run("8\n16\n");
    EXPECT_TRUE(transcriptsMatch(
        sandbox.start("Delected: Legacy .quads directory.\nDirectory mode: Legacy .quads.\n") +
            message + keyPrompt() + mainMenuScreen(),
        run.output));
  }
}

const std::string kDumpKey = "Key:\n\td: - directories. f: - files.\n\nListing:\n";

TEST(DumpDirectories, ListsTheTreeAndOpensTheListing) {
  EditorSandbox sandbox;
  sandbox.buildWizardTree("parts/01_A/A.bmp\ntools/");
  // Each empty line asks for the name again; blanks alone make no name either.
  const e2e::RunResult run = sandbox.run("14\n\n \t\nlisting.txt\n16\n");
  EXPECT_EQ(run.exitStatus, 0);
  const std::string namePrompt = "Please enter text file name: ";
  EXPECT_TRUE(transcriptsMatch(sandbox.start(kWizardStartup) + namePrompt + namePrompt +
                                   namePrompt +
                                   editorLine(sandbox.workingDirectory() + "/listing.txt") +
                                   keyPrompt() + mainMenuScreen(),
                               run.output));
  EXPECT_EQ(e2e::readFile(sandbox.workingDirectory() + "/listing.txt"), kDumpKey +
                                                                            "\td: vl2_settings\n"
                                                                            "\t\td: parts\n"
                                                                            "\t\t\td: 01_A\n"
                                                                            "\t\t\t\tf: A.bmp\n"
                                                                            "\t\td: tools\n");
}

TEST(DumpDirectories, OrderIsTheFileSystemsAndLinksAreNotFollowed) {
  EditorSandbox sandbox;
  sandbox.buildWizardTree(R"(
    tools/_z.txt
    tools/b.txt
    tools/A.bmp
    tools/02_Probe/Probe.tini
    tools/01_Roller/
  )");
  // A link back to the wizard directory would make a naive listing endless.
  ASSERT_EQ(::symlink("..", (sandbox.wizardDirectory() + "/tools/loop").c_str()), 0);
  const e2e::RunResult run = sandbox.run("14\nout.txt\n16\n");
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(e2e::readFile(sandbox.workingDirectory() + "/out.txt"), kDumpKey +
                                                                        "\td: vl2_settings\n"
                                                                        "\t\td: tools\n"
                                                                        "\t\t\td: 01_Roller\n"
                                                                        "\t\t\td: 02_Probe\n"
                                                                        "\t\t\t\tf: Probe.tini\n"
                                                                        "\t\t\td: loop\n"
                                                                        "\t\t\tf: A.bmp\n"
                                                                        "\t\t\tf: b.txt\n"
                                                                        "\t\t\tf: _z.txt\n");
}

TEST(DumpDirectories, MissingWizardDirectoryGivesItsLineOnly) {
  EditorSandbox sandbox;
  const e2e::RunResult run = sandbox.run("14\nempty.txt\n16\n");
  EXPECT_EQ(e2e::readFile(sandbox.workingDirectory() + "/empty.txt"),
            kDumpKey + "\td: vl2_settings\n");
  EXPECT_EQ(sandbox.editedFiles(),
            std::vector<std::string>{sandbox.workingDirectory() + "/empty.txt"});
}

TEST(DumpDirectories, OnlyTheFirstWordNamesTheFile) {
  EditorSandbox sandbox;
  sandbox.buildWizardTree("parts/");
  const e2e::RunResult run = sandbox.run("14\nmy listing.txt\n 16\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(e2e::fileExists(sandbox.workingDirectory() + "/my"));
  EXPECT_FALSE(e2e::fileExists(sandbox.workingDirectory() + "/listing.txt"));
  EXPECT_EQ(sandbox.editedFiles(), std::vector<std::string>{sandbox.workingDirectory() + "/my"});
}

TEST(DumpDirectories, EditorGetsTheFileAsItIsOnDiskAndNeverAnOption) {
  struct Case {
    const char* typed;
    const char* existing;  // a file already there, or nullptr
    const char* onDisk;    // the file written and edited
  } cases[] = {
      // Names are found without regard to case: the listing replaces out.txt,
      // and the editor must open that file, not a new Out.txt.
      {"Out.txt", "out.txt", "out.txt"},
      {"-listing", nullptr, "-listing"},
      {"--help", nullptr, "--help"},
      {"+5", nullptr, "+5"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    EditorSandbox sandbox;
    sandbox.buildWizardTree("parts/");
    const std::string work = sandbox.workingDirectory();
    if (c.existing != nullptr) e2e::writeFile(work + "/" + c.existing, "old");
    const e2e::RunResult run = sandbox.run(std::string("14\n") + c.typed + "\n16\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_EQ(e2e::directoryEntries(work), std::vector<std::string>{c.onDisk});
    EXPECT_EQ(e2e::readFile(work + "/" + c.onDisk), kDumpKey + "\td: vl2_settings\n\t\td: parts\n");
    EXPECT_EQ(sandbox.editedFiles(), std::vector<std::string>{work + "/" + c.onDisk});
  }
}

}  // namespace
