// The console program with the virtual arm: start-up answers, the Ctrl
// information screen, the psi warning, the arm's menu entries and their
// command sequences, and the end of console input during the arm's waits.
#include <algorithm>
#include <chrono>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "E2eHarness.h"

namespace {

using e2e::keyPrompt;
using e2e::mainMenuScreen;
using e2e::Sandbox;
using e2e::transcriptsMatch;

const std::string kInitialising = "Initialising arm... Hold ctrl for arm information.\n";
const std::string kBasic = "Directory mode: Basic.\n";
const std::string kPressAnyKey = "\nPress any key to continue.\n\n";
const std::string kWarning =
    "\nWARNING! Uninitialised psi zero-degree.\nPlease use Posetta option \"Calculate psi zero "
    "degree\".\n" +
    kPressAnyKey;
const std::string kInputEnded = "\nConsole input ended.\n";
const std::string kNotReady = "The arm is not available: it was not initialised at start-up.\n";
const std::string kPsiInstructions =
    "Please attach white plastic zero-degree calibration block to arm,\naccording to markings.\n"
    "Position calibration block on horizontal surface such that the\narm handle is or would be "
    "pointing upwards.\n"
    "Make sure open end of block is pointing approximately in\ndirection towards arm on/off "
    "switch.\n"
    "Press green button when ready or red button to abort.\n";
const std::string kTestArmIntro =
    "Entering arm testing mode... Press red arm button to exit.\n"
    "Press 'p' for position/direction.\n"
    "Press 'x','y','z' for probe x,y,z directions respectively.\n"
    "Press 'a' for probe angles.\n"
    "Press '1','2','3' for Faro probe x,y,z directions respectively.\n"
    "\n";
const std::string kBlanks(24, ' ');

// A scenario that logs the arm's commands into the sandbox.
void useScenario(Sandbox& sandbox, const std::string& body) {
  sandbox.setArmScenario("log " + sandbox.path("commands.log") + "\n" + body);
}

std::vector<int> loggedCommands(const Sandbox& sandbox) {
  std::vector<int> commands;
  if (!e2e::fileExists(sandbox.path("commands.log"))) return commands;
  std::istringstream lines(e2e::readFile(sandbox.path("commands.log")));
  for (int command; lines >> command;) commands.push_back(command);
  return commands;
}

std::string armConfiguration(const Sandbox& sandbox) {
  return e2e::readFile(sandbox.applicationDataDirectory() + "/WinVLPosetta.ini");
}

TEST(ArmProgram, GoingOnWithoutTheArmLeavesItsOperationsHarmless) {
  Sandbox sandbox;
  useScenario(sandbox, "fail open\n");
  const std::string question = "\nArm initialisation failure. Would you like to continue? (y/n): ";
  // "x" is no answer; "Y" goes on. Test arm and the psi calibration refuse
  // the unopened arm; the Faro dialog still reaches the loaded library.
  const e2e::RunResult run = sandbox.run("x\nY\n2\n 9\n 1\n 16\n");
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(kInitialising + "Arm initialisation failure.\n" + question +
                                   question + kBasic + mainMenuScreen() + kNotReady + keyPrompt() +
                                   mainMenuScreen() + kNotReady + keyPrompt() + mainMenuScreen() +
                                   keyPrompt() + mainMenuScreen(),
                               run.output));
  EXPECT_EQ(loggedCommands(sandbox), (std::vector<int>{1, 9, 15, 2}));
}

TEST(ArmProgram, CtrlHeldShowsTheArmInformation) {
  struct Case {
    const char* scenario;
    bool storedDelta;  // the sandbox's configuration holds the default arm's delta
    std::string information;
  };
  const Case cases[] = {
      {"", true,
       "Platinum arm detected.\nSerial number: P08-08-1234.\nFirmware version: 4027.\n"
       "Psi delta: 0.572958 degrees.\n"},
      // Firmware numbers are unsigned.
      {"firmware 4294967295\n", true,
       "Platinum arm detected.\nSerial number: P08-08-1234.\nFirmware version: 4294967295.\n"
       "Psi delta: 0.572958 degrees.\n"},
      {"firmware 2147483648\n", true,
       "Platinum arm detected.\nSerial number: P08-08-1234.\nFirmware version: 2147483648.\n"
       "Psi delta: 0.572958 degrees.\n"},
      {"serial c-77\nfirmware 12\n", false,
       "Advantage arm detected.\nSerial number: c-77.\nFirmware version: 12.\n"
       "Uncalculated psi delta."},
      {"serial N 5\n", false,
       "Titanium arm detected.\nSerial number: N 5.\nFirmware version: 4027.\n"
       "Uncalculated psi delta."},
      {"serial T-1\n", false,
       "Unknown arm detected.\nSerial number: T-1.\nFirmware version: 4027.\n"
       "Uncalculated psi delta."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    Sandbox sandbox;
    useScenario(sandbox, c.scenario);
    sandbox.setEnvironment("ZORV_TEST_CTRL_HELD", "1");
    // One key for the warning when there is one, one for the information.
    const e2e::RunResult run = sandbox.run(c.storedDelta ? "k16\n" : "ab16\n");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(transcriptsMatch(kInitialising + (c.storedDelta ? "" : kWarning) +
                                     "Arm initialisation success.\n" + c.information +
                                     kPressAnyKey + kBasic + mainMenuScreen(),
                                 run.output));
  }
}

TEST(ArmProgram, MissingPsiDeltaWarnsAndTakesOneKey) {
  struct Case {
    const char* name;
    std::string configuration;  // empty: no file
  };
  const Case cases[] = {
      {"no configuration file", ""},
      {"another arm's delta only", "[ArmPsiDeltas]\r\nP080301198=0.1000000000000000\r\n"},
      {"a value that is no number", "[ArmPsiDeltas]\r\nP08081234=none\r\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    sandbox.setArmConfiguration(c.configuration);
    // The "k" is taken by the warning: the menu reads 16 at its first prompt.
    const e2e::RunResult run = sandbox.run("k16\n");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(transcriptsMatch(kInitialising + kWarning + kBasic + mainMenuScreen(), run.output));
  }
}

TEST(ArmProgram, PsiCalibrationIsStoredAndTheNextStartUpDoesNotWarn) {
  Sandbox sandbox;
  useScenario(sandbox,
              "serial P08-11-5150\n"
              "record 0 0 0 30 90 4 x2\n"
              "record 0 0 0 30 90 10 green\n");
  const e2e::RunResult first = sandbox.run("k9\n 16\n");
  ASSERT_FALSE(first.timedOut);
  EXPECT_EQ(first.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(
      kInitialising + kWarning + kBasic + mainMenuScreen() + kPsiInstructions +
          "Delta psi of -10 degrees recorded successfully.\n" + keyPrompt() + mainMenuScreen(),
      first.output));
  const std::string stored = armConfiguration(sandbox);
  EXPECT_NE(stored.find("P08115150=-0.17453292519943"), std::string::npos) << stored;
  // The default arm's entry is still there.
  EXPECT_NE(stored.find("P08081234="), std::string::npos) << stored;

  sandbox.setEnvironment("ZORV_TEST_CTRL_HELD", "1");
  const e2e::RunResult second = sandbox.run("k16\n");
  EXPECT_EQ(second.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(kInitialising +
                                   "Arm initialisation success.\nPlatinum arm detected.\n"
                                   "Serial number: P08-11-5150.\nFirmware version: 4027.\n"
                                   "Psi delta: -10 degrees.\n" +
                                   kPressAnyKey + kBasic + mainMenuScreen(),
                               second.output));
}

TEST(ArmProgram, PsiCalibrationAbortedByRedChangesNothing) {
  Sandbox sandbox;
  useScenario(sandbox, "record 0 0 0 30 90 4\nrecord 0 0 0 30 90 10 red\n");
  const std::string before = armConfiguration(sandbox);
  const e2e::RunResult run = sandbox.run("9\n 16\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(
      kInitialising + kBasic + mainMenuScreen() + kPsiInstructions + keyPrompt() + mainMenuScreen(),
      run.output));
  EXPECT_EQ(armConfiguration(sandbox), before);
}

const std::string kHardwareDialogAgain =
    "Hardware config dialog not completed: showing it again. Press any key to leave.\n";

TEST(ArmProgram, DialogsSendTheirCommandSequences) {
  Sandbox sandbox;
  useScenario(sandbox, "dialog 9 11 11 0\ndialog 18 0 0 0 1\n");
  // The console input stays open and empty while the hardware dialog is shown
  // again: no key leaves it, and it ends when the library answers 1.
  const e2e::RunResult run =
      sandbox.run({{"", std::chrono::milliseconds(0), "1\n 15\n"},
                   {kHardwareDialogAgain + keyPrompt(), std::chrono::milliseconds(0), " 16\n"}});
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(kInitialising + kBasic + mainMenuScreen() + keyPrompt() +
                                   mainMenuScreen() + kHardwareDialogAgain + keyPrompt() +
                                   mainMenuScreen(),
                               run.output));
  EXPECT_EQ(loggedCommands(sandbox),
            (std::vector<int>{1, 24, 5, 3, 9, 11, 9, 11, 9, 15, 18, 18, 18, 18, 15, 2}));
}

TEST(ArmProgram, AHardwareDialogThatNeverCompletesIsLeftByAKeyOrTheEndOfInput) {
  // The library answers 0 again and again, as one without a connected arm does.
  std::string zeros = "dialog 18";
  for (int i = 0; i < 5000; ++i) zeros += " 0";
  zeros += "\n";
  const std::string question = "\nArm initialisation failure. Would you like to continue? (y/n): ";
  const std::string failed = kInitialising + "Arm initialisation failure.\n" + question;
  struct Case {
    const char* name;
    std::string scenario;
    std::string script;
    int status;
    std::string transcript;
    std::vector<int> commands;
  };
  const Case cases[] = {
      // A key typed ahead leaves at the first pause; the next one answers the
      // key prompt.
      {"key",
       zeros,
       "15\nk 16\n",
       0,
       kInitialising + kBasic + mainMenuScreen() + kHardwareDialogAgain + keyPrompt() +
           mainMenuScreen(),
       {1, 24, 5, 3, 18, 15, 2}},
      // The dialog is closed, then the arm.
      {"end of input",
       zeros,
       "15\n",
       2,
       kInitialising + kBasic + mainMenuScreen() + kHardwareDialogAgain + kInputEnded,
       {1, 24, 5, 3, 18, 15, 2}},
      // The arm did not open; the dialog still reaches the library.
      {"arm not opened",
       "fail open\n" + zeros,
       "y\n15\n",
       2,
       failed + kBasic + mainMenuScreen() + kHardwareDialogAgain + kInputEnded,
       {1, 18, 15, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    useScenario(sandbox, c.scenario);
    const e2e::RunResult run = sandbox.run(c.script, std::chrono::seconds(10));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, c.status);
    EXPECT_TRUE(transcriptsMatch(c.transcript, run.output));
    EXPECT_EQ(loggedCommands(sandbox), c.commands);
  }

  // A key a second after the line: meanwhile the dialog was shown again a few
  // times, paced, not thousands of times.
  Sandbox sandbox;
  useScenario(sandbox, zeros);
  const auto begin = std::chrono::steady_clock::now();
  const e2e::RunResult run =
      sandbox.run({{"", std::chrono::milliseconds(0), "15\n"},
                   {kHardwareDialogAgain, std::chrono::milliseconds(1000), "k 16\n"}});
  const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - begin);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(kInitialising + kBasic + mainMenuScreen() + kHardwareDialogAgain +
                                   keyPrompt() + mainMenuScreen(),
                               run.output));
  const std::vector<int> commands = loggedCommands(sandbox);
  const auto shown = std::count(commands.begin(), commands.end(), 18);
  EXPECT_GE(shown, 3);
  EXPECT_LE(shown, took.count() / 290 + 1);
  ASSERT_GE(commands.size(), 3u);
  EXPECT_EQ(commands[commands.size() - 2], 15);
}

TEST(ArmProgram, WithoutANamedScenarioTheVirtualArmDoesNotOpen) {
  for (const bool setEmpty : {false, true}) {
    SCOPED_TRACE(setEmpty ? "empty variable" : "no variable");
    Sandbox sandbox;
    if (setEmpty) {
      sandbox.setEnvironment("ZORV_ARMSIM_SCENARIO", "");
    } else {
      sandbox.unsetEnvironment("ZORV_ARMSIM_SCENARIO");
    }
    const e2e::RunResult run = sandbox.run("n\n");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(transcriptsMatch(kInitialising + "Arm initialisation failure.\n" +
                                     "\nArm initialisation failure. Would you like to continue? "
                                     "(y/n): ",
                                 run.output));
    EXPECT_NE(run.errorOutput.find("no scenario named"), std::string::npos) << run.errorOutput;
  }
}

TEST(ArmProgram, TestArmKeysChooseTheLiveLineUntilRed) {
  // The probe rests at (100, 200, 300) with all angles 0; the sandbox's stored
  // correction is 0.01 rad. Each pass shows one record and takes one waiting
  // key; the record with red down is the last one shown.
  struct Case {
    const char* name;
    const char* records;
    const char* keys;
    std::string lines;
  };
  const std::string angles = "\rProbe angles, (phi,theta,psi)=(  0.0,  0.0,  0.0)." + kBlanks;
  const std::string faroX = "\rFaro Probe X direction, (dx,dy,dz)=( 1.00, 0.00, 0.00)." + kBlanks;
  const Case cases[] = {
      {"angles, an unknown key, Faro x", "record 100 200 300 0 0 0 x3\n", "Aq1 ",
       angles + angles + faroX + faroX},
      {"every mode", "record 100 200 300 0 0 0 x6\n", "Pxyz23 ",
       "\rProbe (x,y,z)=(100.0,200.0,301.5). (dx,dy,dz)=( 0.00, 0.00, 1.00).  "
       "\rProbe X direction, (dx,dy,dz)=( 1.00, 0.01, 0.00)." +
           kBlanks + "\rProbe Y direction, (dx,dy,dz)=(-0.01, 1.00, 0.00)." + kBlanks +
           "\rProbe Z direction, (dx,dy,dz)=( 0.00, 0.00, 1.00)." + kBlanks +
           "\rFaro Probe Y direction, (dx,dy,dz)=(-0.00, 1.00, 0.00)." + kBlanks +
           "\rFaro Probe Z direction, (dx,dy,dz)=( 0.00,-0.00, 1.00)." + kBlanks +
           "\rFaro Probe Z direction, (dx,dy,dz)=( 0.00,-0.00, 1.00)." + kBlanks},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    useScenario(sandbox, std::string(c.records) + "record 100 200 300 0 0 0 red\nend idle\n");
    const e2e::RunResult run = sandbox.run(std::string("2\n") + c.keys + "16\n");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(transcriptsMatch(kInitialising + kBasic + mainMenuScreen() + kTestArmIntro +
                                     c.lines + "\n" + keyPrompt() + mainMenuScreen(),
                                 run.output));
  }
}

TEST(ArmProgram, EndOfInputEndsTheArmWaitsAndClosesTheArm) {
  struct Case {
    const char* name;
    const char* script;
    std::string afterMenu;
  };
  // The resting arm never presses a button: only the end of input ends the wait.
  const Case cases[] = {
      {"test arm", "2\n", kTestArmIntro},
      {"psi calibration", "9\n", kPsiInstructions},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    useScenario(sandbox, "record 0 0 0 0 0 0\nend hold\n");
    const e2e::RunResult run = sandbox.run(c.script, std::chrono::seconds(10));
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 2);
    EXPECT_TRUE(transcriptsMatch(
        kInitialising + kBasic + mainMenuScreen() + c.afterMenu + kInputEnded, run.output));
    const std::vector<int> commands = loggedCommands(sandbox);
    ASSERT_FALSE(commands.empty());
    EXPECT_EQ(commands.back(), 2);
  }
}

}  // namespace
