// The start-up handshake and shut-down against the virtual arm: the command
// sequence, failures, identification of the arm and the psi correction from
// the arm configuration file.
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "ArmTestSupport.h"
#include "arm/ArmConnection.h"
#include "platform/console.h"

namespace {

class ArmLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    armtest::keepConsoleInputOpen();
    appData_ = armtest::useApplicationData(dir_);
    context_.programDirectory = dir_ / "program";
    testsupport::makeDirectories(context_.programDirectory);
    armtest::takeCaptured();
  }

  void TearDown() override {
    closeArm(context_, *arm_);
    armtest::unsetEnvironment(armtest::kScenarioVariable);
  }

  std::string configurationPath() const { return appData_ + "/WinVLPosetta.ini"; }

  void storeDelta(const std::string& path, const std::string& key, const std::string& value) {
    testsupport::writeFile(path, "[ArmPsiDeltas]\r\n" + key + "=" + value + "\r\n");
  }

  testsupport::TempDir dir_;
  std::string appData_;
  ConsoleContext context_ = armtest::capturingContext();
  std::unique_ptr<ArmConnection> arm_ = std::make_unique<ArmConnection>();
};

const std::string kInitialising = "Initialising arm... Hold ctrl for arm information.\n";
const std::string kFailure = "Arm initialisation failure.\n";

TEST_F(ArmLinkTest, ModelAndSerialNumberComeFromTheSerialText) {
  struct Case {
    const char* serialText;
    ArmModel model;
    const char* serialNumber;
  };
  const Case cases[] = {
      {"P08-08-1234", ArmModel::Platinum, "P08081234"},
      {"p-1", ArmModel::Platinum, "p1"},
      {"c 12-345", ArmModel::Advantage, "c12345"},
      {"C7", ArmModel::Advantage, "C7"},
      {"N0001", ArmModel::Titanium, "N0001"},
      {"n.2", ArmModel::Titanium, "n2"},
      {"T-77 x", ArmModel::Unknown, "T77x"},
      {"-P1", ArmModel::Unknown, "P1"},
      // Cut to 31 letters and digits, dashes not counted.
      {"P12-3456789-0123456789-0123456789-0123456789", ArmModel::Platinum,
       "P123456789012345678901234567890"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.serialText);
    armtest::useScenario(dir_, std::string("serial ") + c.serialText + "\n");
    storeDelta(configurationPath(), c.serialNumber, "0.2500000000000000");
    arm_ = std::make_unique<ArmConnection>();
    ASSERT_TRUE(initialiseArm(context_, *arm_));
    EXPECT_EQ(arm_->armModel, c.model);
    EXPECT_EQ(arm_->serialNumber, c.serialNumber);
    EXPECT_LE(arm_->serialNumber.size(), kMaxSerialNumberLength);
    EXPECT_DOUBLE_EQ(arm_->psiDelta, 0.25);
    EXPECT_TRUE(arm_->ready);
    // With Ctrl up and a stored correction the start-up prints one line.
    EXPECT_EQ(armtest::takeCaptured(), kInitialising);
    closeArm(context_, *arm_);
  }
}

TEST_F(ArmLinkTest, HandshakeCommandsInOrderAndCloseAtTheEnd) {
  armtest::useScenario(dir_, "");
  storeDelta(configurationPath(), "P08081234", "0.0000000000000000");
  ASSERT_TRUE(initialiseArm(context_, *arm_));
  EXPECT_EQ(arm_->configurationFile.substr(arm_->configurationFile.size() - 17),
            "\\WinVLPosetta.ini");
  closeArm(context_, *arm_);
  EXPECT_EQ(arm_->library, nullptr);
  EXPECT_EQ(arm_->entryPoint, nullptr);
  EXPECT_FALSE(arm_->ready);
  EXPECT_EQ(armtest::loggedCommands(dir_), (std::vector<int>{1, 24, 5, 3, 2}));
  // A second close sends nothing more.
  closeArm(context_, *arm_);
  EXPECT_EQ(armtest::loggedCommands(dir_).size(), 5u);
}

TEST_F(ArmLinkTest, FailedStepsEndTheHandshakeWithOneLine) {
  struct Case {
    const char* name;
    const char* scenario;
    std::vector<int> commands;  // including the close
  };
  const Case cases[] = {
      {"open fails", "fail open\n", {1, 2}},
      {"block refused", "fail block\n", {1, 24, 5, 2}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    testsupport::TempDir runDir;
    armtest::useScenario(runDir, c.scenario);
    arm_ = std::make_unique<ArmConnection>();
    EXPECT_FALSE(initialiseArm(context_, *arm_));
    EXPECT_FALSE(arm_->ready);
    EXPECT_EQ(armtest::takeCaptured(), kInitialising + kFailure);
    // The library stays loaded; closing sends command 2 to the bound entry.
    EXPECT_NE(arm_->entryPoint, nullptr);
    closeArm(context_, *arm_);
    EXPECT_EQ(armtest::loggedCommands(runDir), c.commands);
  }
}

TEST_F(ArmLinkTest, ConfigurationShippedBesideTheProgramIsCopiedThenRead) {
  armtest::useScenario(dir_, "");
  const std::string shipped = dir_ / "program/WinVLPosetta.ini";
  storeDelta(shipped, "P08081234", "-0.1000000000000000");
  ASSERT_FALSE(testsupport::exists(configurationPath()));
  ASSERT_TRUE(initialiseArm(context_, *arm_));
  ASSERT_TRUE(testsupport::exists(configurationPath()));
  EXPECT_EQ(testsupport::readFile(configurationPath()), testsupport::readFile(shipped));
  EXPECT_NEAR(arm_->psiDelta, -0.1, 1e-7);
  EXPECT_EQ(armtest::takeCaptured(), kInitialising);
}

TEST_F(ArmLinkTest, AnExistingConfigurationIsNotReplaced) {
  armtest::useScenario(dir_, "");
  storeDelta(dir_ / "program/WinVLPosetta.ini", "P08081234", "-0.1000000000000000");
  storeDelta(configurationPath(), "P08081234", "0.3000000000000000");
  ASSERT_TRUE(initialiseArm(context_, *arm_));
  EXPECT_NEAR(arm_->psiDelta, 0.3, 1e-7);
}

TEST_F(ArmLinkTest, CtrlHeldShowsTheFirmwareNumberUnsigned) {
  const char* const cases[] = {"0", "4027", "2147483647", "2147483648", "4294967295"};
  storeDelta(configurationPath(), "P08081234", "0.0000000000000000");
  // Ctrl held for this test only, and no key left behind for the next.
  struct CtrlHeld {
    CtrlHeld() { platform::console::setCtrlHeldForTesting(true); }
    ~CtrlHeld() {
      platform::console::setCtrlHeldForTesting(false);
      while (platform::console::keyWaiting()) platform::console::getKey();
    }
  } ctrlHeld;
  for (const char* firmware : cases) {
    SCOPED_TRACE(firmware);
    armtest::useScenario(dir_, std::string("firmware ") + firmware + "\n");
    arm_ = std::make_unique<ArmConnection>();
    // The key that closes the information screen.
    ASSERT_TRUE(armtest::typeOnConsole("k"));
    EXPECT_TRUE(initialiseArm(context_, *arm_));
    const std::string printed = armtest::takeCaptured();
    EXPECT_NE(printed.find(std::string("\nFirmware version: ") + firmware + ".\n"),
              std::string::npos)
        << printed;
    closeArm(context_, *arm_);
  }
}

TEST_F(ArmLinkTest, SerialAndModelHelpers) {
  EXPECT_EQ(filterSerialNumber(""), "");
  EXPECT_EQ(filterSerialNumber("--  --"), "");
  EXPECT_EQ(filterSerialNumber("\xE9P1"), "P1");
  EXPECT_EQ(filterSerialNumber(std::string(40, 'a')), std::string(31, 'a'));
  EXPECT_EQ(armModelFromSerial(""), ArmModel::Unknown);
}

}  // namespace
