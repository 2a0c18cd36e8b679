// The arm's menu operations against the virtual arm: dialog command
// sequences, psi zero-degree calibration, the ball probe question, the
// test-mode keys, and every operation when the arm was not started.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <iostream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ArmTestSupport.h"
#include "IniFileSection.h"
#include "arm/ArmDialogs.h"
#include "arm/ProbeReadings.h"
#include "arm/PsiZeroDegree.h"
#include "platform/console.h"

namespace {

using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;

const std::vector<int> kStartupCommands = {1, 24, 5, 3};

const std::string kPsiInstructions =
    "Please attach white plastic zero-degree calibration block to arm,\naccording to markings.\n"
    "Position calibration block on horizontal surface such that the\narm handle is or would be "
    "pointing upwards.\n"
    "Make sure open end of block is pointing approximately in\ndirection towards arm on/off "
    "switch.\n"
    "Press green button when ready or red button to abort.\n";

class ArmOperationsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    armtest::keepConsoleInputOpen();
    appData_ = armtest::useApplicationData(dir_);
    testsupport::writeFile(configurationPath(),
                           "[ArmPsiDeltas]\r\nP08081234=0.0000000000000000\r\n");
  }

  void TearDown() override {
    closeArm(context_, *arm_);
    armtest::unsetEnvironment(armtest::kScenarioVariable);
    // No key typed by a test is left for the next one.
    while (platform::console::keyWaiting()) platform::console::getKey();
  }

  std::string configurationPath() const { return appData_ + "/WinVLPosetta.ini"; }

  void start(const std::string& scenario) {
    closeArm(context_, *arm_);
    arm_ = std::make_unique<ArmConnection>();
    testsupport::writeFile(armtest::commandLogPath(dir_), "");
    armtest::useScenario(dir_, scenario);
    ASSERT_TRUE(initialiseArm(context_, *arm_));
    armtest::takeCaptured();
  }

  // The commands logged after the start-up handshake.
  std::vector<int> commandsAfterStartup() {
    std::vector<int> commands = armtest::loggedCommands(dir_);
    EXPECT_GE(commands.size(), kStartupCommands.size());
    EXPECT_TRUE(std::equal(kStartupCommands.begin(), kStartupCommands.end(), commands.begin()));
    commands.erase(commands.begin(), commands.begin() + kStartupCommands.size());
    return commands;
  }

  testsupport::TempDir dir_;
  std::string appData_;
  ConsoleContext context_ = armtest::capturingContext();
  std::unique_ptr<ArmConnection> arm_ = std::make_unique<ArmConnection>();
};

TEST_F(ArmOperationsTest, FaroDialogSendsBackWhatTheDialogAsksFor) {
  struct Case {
    const char* results;
    std::vector<int> commands;
  };
  const Case cases[] = {
      {"dialog 9 11 11 0\n", {9, 11, 9, 11, 9, 15}},
      {"dialog 9 12 1011 -1\n", {9, 12, 9, 1011, 9, 15}},
      {"dialog 9 0\n", {9, 15}},
      {"dialog 9 10\n", {9, 15}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.results);
    ASSERT_NO_FATAL_FAILURE(start(c.results));
    EXPECT_TRUE(runFaroDialog(context_, *arm_));
    EXPECT_EQ(commandsAfterStartup(), c.commands);
    EXPECT_EQ(armtest::takeCaptured(), "");
  }
}

const std::string kHardwareDialogAgain =
    "Hardware config dialog not completed: showing it again. Press any key to leave.\n";

// The hardware dialog's scripted results: 0 the given number of times.
std::string hardwareDialogZeros(int count) {
  std::string line = "dialog 18";
  for (int i = 0; i < count; ++i) line += " 0";
  return line + "\n";
}

TEST_F(ArmOperationsTest, HardwareDialogIsShownAgainPacedWhileItAnswersZero) {
  // Closed at once: nothing printed.
  ASSERT_NO_FATAL_FAILURE(start("dialog 18 1\n"));
  EXPECT_TRUE(runHardwareConfigDialog(context_, *arm_));
  EXPECT_EQ(commandsAfterStartup(), (std::vector<int>{18, 15}));
  EXPECT_EQ(armtest::takeCaptured(), "");

  // 0 three times, then closed: shown four times, one line, a pause before
  // each repeat.
  ASSERT_NO_FATAL_FAILURE(start("dialog 18 0 0 0 1\n"));
  const auto begin = std::chrono::steady_clock::now();
  EXPECT_TRUE(runHardwareConfigDialog(context_, *arm_));
  const auto took = std::chrono::steady_clock::now() - begin;
  EXPECT_EQ(commandsAfterStartup(), (std::vector<int>{18, 18, 18, 18, 15}));
  EXPECT_EQ(armtest::takeCaptured(), kHardwareDialogAgain);
  EXPECT_GE(took, std::chrono::milliseconds(3 * 290));
}

TEST_F(ArmOperationsTest, AKeyLeavesAHardwareDialogThatNeverCompletes) {
  // A library that answers 0 again and again, as one without a connected arm
  // does. A key typed beforehand leaves at the first pause.
  ASSERT_NO_FATAL_FAILURE(start(hardwareDialogZeros(5000)));
  ASSERT_TRUE(armtest::typeOnConsole("k"));
  EXPECT_TRUE(runHardwareConfigDialog(context_, *arm_));
  EXPECT_EQ(commandsAfterStartup(), (std::vector<int>{18, 15}));
  EXPECT_EQ(armtest::takeCaptured(), kHardwareDialogAgain);
  // The key was taken.
  EXPECT_FALSE(platform::console::keyWaiting());

  // A key typed a second later: meanwhile the dialog was shown again a few
  // times, paced, not thousands of times.
  ASSERT_NO_FATAL_FAILURE(start(hardwareDialogZeros(5000)));
  const auto begin = std::chrono::steady_clock::now();
  std::thread typist([] {
    std::this_thread::sleep_for(std::chrono::seconds(1));
    armtest::typeOnConsole("q");
  });
  EXPECT_TRUE(runHardwareConfigDialog(context_, *arm_));
  const auto took = std::chrono::steady_clock::now() - begin;
  typist.join();
  const std::vector<int> commands = commandsAfterStartup();
  ASSERT_GE(commands.size(), 3u);
  EXPECT_EQ(commands.back(), 15);
  const auto shown = static_cast<long long>(std::count(commands.begin(), commands.end(), 18));
  EXPECT_EQ(shown + 1, static_cast<long long>(commands.size()));
  EXPECT_GE(shown, 2);
  EXPECT_LE(shown, std::chrono::duration_cast<std::chrono::milliseconds>(took).count() / 290 + 1);
  EXPECT_EQ(armtest::takeCaptured(), kHardwareDialogAgain);
  EXPECT_FALSE(platform::console::keyWaiting());
}

TEST_F(ArmOperationsTest, DialogsNeedOnlyTheLoadedLibrary) {
  // The arm did not open; both dialogs still reach the library.
  closeArm(context_, *arm_);
  arm_ = std::make_unique<ArmConnection>();
  testsupport::writeFile(armtest::commandLogPath(dir_), "");
  armtest::useScenario(dir_, "fail open\ndialog 9 11 0\ndialog 18 1\n");
  EXPECT_FALSE(initialiseArm(context_, *arm_));
  armtest::takeCaptured();
  EXPECT_TRUE(runFaroDialog(context_, *arm_));
  EXPECT_TRUE(runHardwareConfigDialog(context_, *arm_));
  EXPECT_EQ(armtest::takeCaptured(), "");
  EXPECT_EQ(armtest::loggedCommands(dir_), (std::vector<int>{1, 9, 11, 9, 15, 18, 15}));
}

TEST_F(ArmOperationsTest, PsiCalibrationAtTenDegreesStoresMinusTen) {
  ASSERT_NO_FATAL_FAILURE(start("record 0 0 0 30 90 5\nrecord 0 0 0 30 90 10 green\n"));
  EXPECT_TRUE(calculatePsiZeroDegree(context_, *arm_));
  EXPECT_EQ(armtest::takeCaptured(),
            kPsiInstructions + "Delta psi of -10 degrees recorded successfully.\n");
  EXPECT_DOUBLE_EQ(arm_->psiDelta, -Utility::degToRad(10));
  // Stored under the arm's serial number, in radians.
  EXPECT_NE(testsupport::readFile(configurationPath()).find("P08081234=-0.17453292519943"),
            std::string::npos);
  // The next start-up finds it.
  ASSERT_NO_FATAL_FAILURE(start(""));
  EXPECT_NEAR(arm_->psiDelta, -Utility::degToRad(10), 1e-7);
}

TEST_F(ArmOperationsTest, PsiCalibrationAbortedByRedChangesNothing) {
  ASSERT_NO_FATAL_FAILURE(start("record 0 0 0 30 90 10 red\nrecord 0 0 0 30 90 10 green\n"));
  arm_->psiDelta = 0.125;
  const std::string before = testsupport::readFile(configurationPath());
  EXPECT_TRUE(calculatePsiZeroDegree(context_, *arm_));
  EXPECT_EQ(armtest::takeCaptured(), kPsiInstructions);
  EXPECT_EQ(arm_->psiDelta, 0.125);
  EXPECT_EQ(testsupport::readFile(configurationPath()), before);
}

TEST_F(ArmOperationsTest, PsiDeltaThatCannotBeWrittenIsOneLine) {
  ASSERT_NO_FATAL_FAILURE(start("record 0 0 0 0 0 10 green\n"));
  arm_->configurationFile = dir_ / "missing/WinVLPosetta.ini";
  EXPECT_FALSE(calculatePsiZeroDegree(context_, *arm_));
  EXPECT_EQ(armtest::takeCaptured(),
            kPsiInstructions + "Delta psi of -10 degrees could not be written to \"" +
                arm_->configurationFile + "\"; it applies to this run only.\n");
  // It applies in this run.
  EXPECT_DOUBLE_EQ(arm_->psiDelta, -Utility::degToRad(10));
}

TEST_F(ArmOperationsTest, EveryArmOperationRefusesAnArmThatWasNotStarted) {
  const std::string notReady = "The arm is not available: it was not initialised at start-up.\n";
  const std::string noLibrary =
      "The arm library is not available: it was not loaded at start-up.\n";
  ArmConnection arm;
  EXPECT_FALSE(testArm(context_, arm));
  EXPECT_EQ(armtest::takeCaptured(), notReady);
  EXPECT_FALSE(calculatePsiZeroDegree(context_, arm));
  EXPECT_EQ(armtest::takeCaptured(), notReady);
  EXPECT_FALSE(runFaroDialog(context_, arm));
  EXPECT_EQ(armtest::takeCaptured(), noLibrary);
  EXPECT_FALSE(runHardwareConfigDialog(context_, arm));
  EXPECT_EQ(armtest::takeCaptured(), noLibrary);
  EXPECT_FALSE(checkArmReady(context_, arm));
  EXPECT_EQ(armtest::takeCaptured(), notReady);

  bool aborted = false;
  EXPECT_EQ(recordProbePoint(arm, aborted, 0.0), Point());
  EXPECT_TRUE(aborted);
  aborted = false;
  recordProbeAngles(arm, aborted);
  EXPECT_TRUE(aborted);
  EXPECT_EQ(pollArmButtons(arm), kArmButtonRed);
  Point point(1, 2, 3);
  LinearMap rotation;
  EXPECT_FALSE(readProbePose(arm, point, rotation));
  EXPECT_EQ(point, Point(1, 2, 3));
}

TEST(TestArmKeys, KeysChooseTheDisplayMode) {
  const struct {
    int key;
    bool known;
    TestArmMode mode;
  } cases[] = {
      {'p', true, TestArmMode::PositionDirection},
      {'P', true, TestArmMode::PositionDirection},
      {'x', true, TestArmMode::ProbeX},
      {'X', true, TestArmMode::ProbeX},
      {'y', true, TestArmMode::ProbeY},
      {'Y', true, TestArmMode::ProbeY},
      {'z', true, TestArmMode::ProbeZ},
      {'Z', true, TestArmMode::ProbeZ},
      {'a', true, TestArmMode::ProbeAngles},
      {'A', true, TestArmMode::ProbeAngles},
      {'1', true, TestArmMode::FaroProbeX},
      {'2', true, TestArmMode::FaroProbeY},
      {'3', true, TestArmMode::FaroProbeZ},
      {'q', false, TestArmMode::ProbeZ},
      {'4', false, TestArmMode::ProbeZ},
      {'0', false, TestArmMode::ProbeZ},
      {' ', false, TestArmMode::ProbeZ},
      {-1, false, TestArmMode::ProbeZ},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.key);
    TestArmMode mode = TestArmMode::ProbeZ;
    EXPECT_EQ(testArmModeForKey(c.key, mode), c.known);
    EXPECT_EQ(mode, c.mode);
  }
}

// Runs chooseBallProbe with the given console input; returns what it wrote.
std::string askBallProbe(ConsoleContext& context, const std::string& input) {
  std::istringstream in(input);
  std::ostringstream out;
  std::streambuf* oldIn = std::cin.rdbuf(in.rdbuf());
  std::streambuf* oldOut = std::cout.rdbuf(out.rdbuf());
  try {
    chooseBallProbe(context);
  } catch (...) {
    std::cin.rdbuf(oldIn);
    std::cout.rdbuf(oldOut);
    throw;
  }
  std::cin.rdbuf(oldIn);
  std::cout.rdbuf(oldOut);
  return out.str();
}

TEST(BallProbe, AnswersAndRefusals) {
  const std::string prompt = "Please enter ball probe size, mm (return for 3mm): ";
  const std::string refused = "Please enter either 3 or 6mm.\n";
  const struct {
    const char* input;
    int refusals;
    double radius;
    const char* size;
  } cases[] = {
      {"\n", 0, 1.5, "3"},
      {"6\n", 0, 3.0, "6"},
      {"3.0\n", 0, 1.5, "3"},
      {"6.00\n", 0, 3.0, "6"},
      {"4\n3.5\nabc\n6\n", 3, 3.0, "6"},
      // Longer than seven characters: refused whole, even when it starts with a size.
      {"3.0000000\n6mm\n", 1, 3.0, "6"},
      {"12345678\n3\n", 1, 1.5, "3"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.input);
    ConsoleContext context{};
    std::string expected;
    for (int i = 0; i < c.refusals; ++i) expected += prompt + refused;
    expected += prompt + "Ball probe of " + c.size + "mm selected.\n";
    EXPECT_EQ(askBallProbe(context, c.input), expected);
    EXPECT_TRUE(context.ballProbeChosen);
    EXPECT_EQ(context.ballProbeRadius, c.radius);
  }
}

TEST(BallProbe, AskedOncePerRun) {
  ConsoleContext context{};
  askBallProbe(context, "6\n");
  EXPECT_EQ(askBallProbe(context, "3\n"), "");
  EXPECT_EQ(context.ballProbeRadius, 3.0);
}

}  // namespace
