// The console program from start to exit: banner and menu, the prompt's
// retries, the key wait between operations, end of input, directory modes.
#include <string>

#include <gtest/gtest.h>

#include "E2eHarness.h"

namespace {

using e2e::keyPrompt;
using e2e::mainMenuScreen;
using e2e::Sandbox;
using e2e::transcriptsMatch;

const std::string kWizardStartup = "Detected: wizard directory.\nDirectory mode: Wizard.\n";
const std::string kBasicStartup = "Directory mode: Basic.\n";
const std::string kPrompt = "Please enter value 1..16: ";
const std::string kInputEnded = "\nConsole input ended.\n";

std::string startup(const std::string& modeLines) {
  return e2e::armStartupTranscript() + modeLines;
}

TEST(ConsoleProgram, ShowsBannerAndMenuAndExitsWithoutKeyPrompt) {
  Sandbox sandbox;
  sandbox.buildWizardTree("");
  const e2e::RunResult run = sandbox.run("16\n");
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(startup(kWizardStartup) + mainMenuScreen(), run.output));
  EXPECT_EQ(e2e::countOccurrences(run.output, keyPrompt()), 0u);
}

TEST(ConsoleProgram, MenuPromptRepeatsUntilANumberInRange) {
  Sandbox sandbox;
  // "0" and "17" are out of range; "ab" costs one prompt per character; a
  // negative number does not wrap into range.
  const e2e::RunResult run = sandbox.run("0\n17\nab\n-1\n 16\n");
  EXPECT_EQ(run.exitStatus, 0);
  std::string expected = startup(kBasicStartup) + mainMenuScreen();
  for (int i = 0; i < 5; ++i) expected += kPrompt;
  EXPECT_TRUE(transcriptsMatch(expected, run.output));
}

TEST(ConsoleProgram, EveryOperationIsFollowedByTheKeyPrompt) {
  Sandbox sandbox;
  // In basic mode "Edit region data" fails at once with its message.
  const e2e::RunResult run = sandbox.run("6\n \n16\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(startup(kBasicStartup) + mainMenuScreen() +
                                   "Failed to identify .qini or .ini file.\n" + keyPrompt() +
                                   mainMenuScreen(),
                               run.output));
}

TEST(ConsoleProgram, KeyPressedAtTheKeyPromptIsReadByTheNextPrompt) {
  Sandbox sandbox;
  // The "x" ends the key wait without being consumed: the menu prompt then
  // reads it, refuses it and asks again before it reads 16.
  const e2e::RunResult run = sandbox.run("6\nx16\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(startup(kBasicStartup) + mainMenuScreen() +
                                   "Failed to identify .qini or .ini file.\n" + keyPrompt() +
                                   mainMenuScreen() + kPrompt,
                               run.output));
}

TEST(ConsoleProgram, KeyThatIsADigitBecomesPartOfTheNextAnswer) {
  Sandbox sandbox;
  // The key "1" waits, then "6" and Enter: the menu reads 16 and the program ends.
  const e2e::RunResult run = sandbox.run("6\n16\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_EQ(e2e::countOccurrences(run.output, keyPrompt()), 1u);
  EXPECT_EQ(e2e::countOccurrences(run.output, mainMenuScreen()), 2u);
}

TEST(ConsoleProgram, EndOfInputEndsThePromptLoopPromptly) {
  struct Case {
    const char* name;
    const char* script;
    std::string transcript;
  } cases[] = {
      {"nothing typed", "", startup(kBasicStartup) + mainMenuScreen()},
      {"unfinished retries", "0\n17",
       startup(kBasicStartup) + mainMenuScreen() + kPrompt + kPrompt},
      {"at the key prompt", "6\n",
       startup(kBasicStartup) + mainMenuScreen() + "Failed to identify .qini or .ini file.\n" +
           keyPrompt()},
  };
  for (const Case& c : cases) {
    Sandbox sandbox;
    const e2e::RunResult run = sandbox.run(c.script, std::chrono::seconds(10));
    EXPECT_FALSE(run.timedOut) << c.name;
    EXPECT_EQ(run.exitStatus, 2) << c.name;
    EXPECT_TRUE(transcriptsMatch(c.transcript + kInputEnded, run.output)) << c.name;
  }
}

TEST(DirectoryModes, LegacyDirectoryAloneGivesLegacyQuadsMode) {
  if (!e2e::driveIsolationAvailable()) GTEST_SKIP() << "no private /mnt for the program";
  Sandbox sandbox;
  sandbox.buildLegacyTree("Wing/Spar.ini = [Probe]\\n");
  const e2e::RunResult run = sandbox.run("16\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(
      startup("Delected: Legacy .quads directory.\nDirectory mode: Legacy .quads.\n") +
          mainMenuScreen(),
      run.output));
}

TEST(DirectoryModes, BothDirectoriesAskForTheModeInLowerCase) {
  if (!e2e::driveIsolationAvailable()) GTEST_SKIP() << "no private /mnt for the program";
  const std::string both = "Detected: wizard directory.\nDelected: Legacy .quads directory.\n";
  const std::string question = "Please enter directory mode (w for wizard, q for quads): ";
  struct Case {
    const char* script;
    std::string transcript;
  } cases[] = {
      {"w\n16\n", both + question + "Directory mode: Wizard.\n"},
      {"W\nQ\nq\n16\n", both + question + question + question + "Directory mode: Legacy .quads.\n"},
  };
  for (const Case& c : cases) {
    Sandbox sandbox;
    sandbox.buildWizardTree("parts/");
    sandbox.buildLegacyTree("");
    const e2e::RunResult run = sandbox.run(c.script);
    EXPECT_EQ(run.exitStatus, 0) << c.script;
    EXPECT_TRUE(transcriptsMatch(startup(c.transcript) + mainMenuScreen(), run.output)) << c.script;
  }
}

TEST(DirectoryModes, UnansweredModeQuestionEndsTheProgram) {
  if (!e2e::driveIsolationAvailable()) GTEST_SKIP() << "no private /mnt for the program";
  Sandbox sandbox;
  sandbox.buildWizardTree("");
  sandbox.buildLegacyTree("");
  const e2e::RunResult run = sandbox.run("W\n", std::chrono::seconds(10));
  EXPECT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 2);
  EXPECT_EQ(run.output.find(mainMenuScreen()), std::string::npos);
}

TEST(ArmStartup, DecliningAfterAnArmFailureEndsWithNothingMore) {
  const std::string failure = e2e::armStartupTranscript() + "Arm initialisation failure.\n";
  const std::string question = "\nArm initialisation failure. Would you like to continue? (y/n): ";
  struct Case {
    const char* script;
    int status;
    std::string transcript;
  } cases[] = {
      {"x\nN\n", 0, failure + question + question},
      {"y\n16\n", 0, failure + question + kBasicStartup + mainMenuScreen()},
      {"", 2, failure + question + kInputEnded},
  };
  for (const Case& c : cases) {
    Sandbox sandbox;
    sandbox.setArmScenario("fail open\n");
    const e2e::RunResult run = sandbox.run(c.script, std::chrono::seconds(10));
    EXPECT_FALSE(run.timedOut) << c.script;
    EXPECT_EQ(run.exitStatus, c.status) << c.script;
    EXPECT_TRUE(transcriptsMatch(c.transcript, run.output)) << c.script;
  }
}

// The arm is closed (command 2 is its last command) when the technician
// exits and when the console input ends; a refused start-up closes nothing.
TEST(ArmStartup, ArmIsClosedAtEveryEndButARefusedStart) {
  struct Case {
    const char* name;
    const char* scenario;
    const char* script;
    int status;
    const char* lastCommand;  // nullptr: the arm was never closed
  } cases[] = {
      {"exit", "", "16\n", 0, "2"},
      {"end of input", "", "0\n1", 2, "2"},
      {"start refused", "fail open\n", "n\n", 0, nullptr},
  };
  for (const Case& c : cases) {
    Sandbox sandbox;
    const std::string log = sandbox.path("arm-commands.log");
    sandbox.setArmScenario(std::string(c.scenario) + "log " + log + "\n");
    const e2e::RunResult run = sandbox.run(c.script, std::chrono::seconds(10));
    EXPECT_FALSE(run.timedOut) << c.name;
    EXPECT_EQ(run.exitStatus, c.status) << c.name;
    const std::string commands = e2e::readFile(log);
    std::string last = commands.substr(0, commands.empty() ? 0 : commands.size() - 1);
    last =
        last.substr(last.find_last_of('\n') == std::string::npos ? 0 : last.find_last_of('\n') + 1);
    if (c.lastCommand != nullptr) {
      EXPECT_EQ(last, c.lastCommand) << c.name << ": " << e2e::visible(commands);
    } else {
      EXPECT_EQ(commands.find("\n2\n"), std::string::npos) << c.name;
      EXPECT_NE(last, "2") << c.name;
    }
  }
}

}  // namespace
