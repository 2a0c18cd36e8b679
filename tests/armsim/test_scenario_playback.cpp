// Generated scenarios played by the real virtual arm and read with the
// program's own probe readings: the points the operator "records" are the
// placed points.
#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>

#include "ArmTestSupport.h"
#include "ScenarioWriter.h"
#include "arm/ArmDialogs.h"
#include "arm/ProbeReadings.h"

namespace {

using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Vector;

constexpr double kTolerance = 1e-9;

void expectNear(const Point& actual, const armsim::Vec3& expected) {
  EXPECT_NEAR(actual.x, expected.x, kTolerance);
  EXPECT_NEAR(actual.y, expected.y, kTolerance);
  EXPECT_NEAR(actual.z, expected.z, kTolerance);
}

class ScenarioPlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string appData = armtest::useApplicationData(dir_);
    // A stored correction, so that the start-up does not stop to warn; its
    // value turns the probe about its own axis and must not matter.
    testsupport::writeFile(appData + "/WinVLPosetta.ini",
                           "[ArmPsiDeltas]\r\nP08081234=0.7000000000000000\r\n");
  }

  void TearDown() override {
    closeArm(context_, arm_);
    armtest::unsetEnvironment(armtest::kScenarioVariable);
  }

  // Generates the description's scenario and starts the arm on it.
  armsim::GeneratedScenario start(const std::string& description) {
    armsim::ScenarioDescription parsed;
    armsim::GeneratedScenario generated;
    std::istringstream in(description);
    std::string error;
    const bool ok = armsim::parseScenarioDescription(in, parsed, error) &&
                    armsim::generateScenario(parsed, generated, error);
    EXPECT_TRUE(ok) << error;
    armtest::useScenario(dir_, generated.text);
    EXPECT_TRUE(initialiseArm(context_, arm_));
    EXPECT_NE(arm_.psiDelta, 0.0);
    armtest::takeCaptured();
    return generated;
  }

  // An image step: polls until green, as "green to continue" does.
  bool waitForGreen() {
    for (int poll = 0; poll < 50; ++poll) {
      const int button = pollArmButtons(arm_);
      if (button == kArmButtonGreen) return true;
      if (button == kArmButtonRed) return false;
    }
    return false;
  }

  testsupport::TempDir dir_;
  ConsoleContext context_ = armtest::capturingContext();
  ArmConnection arm_;
};

TEST_F(ScenarioPlaybackTest, MultiPositionCalibrationRecordsThePlacedPoints) {
  // Three points of a turned part, the second and third from arm positions
  // moved by translations, an image step before each point, noise-free.
  const armsim::GeneratedScenario generated = start(
      "ball 6\n"
      "placement 12 -30 75 480 -60 25 origin 50 50 0\n"
      "probe 35 120 -15\n"
      "image-green 1\n"
      "reference 300 300 0\n"
      "touch 0 0 0\n"
      "relocate 150 -40 5\n"
      "touch 200 0 0\n"
      "relocate -20 60 0\n"
      "touch 0 120 30\n");
  ASSERT_EQ(generated.touches.size(), 7u);

  // The calibration's bookkeeping: the references give the offset G of the
  // current arm position; each point is X + G.
  const double tipOffset = 6.0 / 4.0;
  Vector offset;
  Point before;
  for (const armsim::ExpectedTouch& touch : generated.touches) {
    SCOPED_TRACE(static_cast<int>(touch.kind));
    bool aborted = true;
    switch (touch.kind) {
      case armsim::TouchKind::Point: {
        ASSERT_TRUE(waitForGreen());
        const Point x = recordProbePoint(arm_, aborted, tipOffset);
        ASSERT_FALSE(aborted);
        expectNear(x, touch.arm);
        expectNear(x + offset, touch.world);
        break;
      }
      case armsim::TouchKind::ReferenceBefore:
        before = recordProbePoint(arm_, aborted, 0.0);
        ASSERT_FALSE(aborted);
        expectNear(before, touch.arm);
        break;
      case armsim::TouchKind::ReferenceAfter: {
        const Point after = recordProbePoint(arm_, aborted, 0.0);
        ASSERT_FALSE(aborted);
        expectNear(after, touch.arm);
        offset = offset + (before - after);
        break;
      }
      case armsim::TouchKind::Aim:
        FAIL() << "no aim in this scenario";
    }
  }
  EXPECT_NEAR(offset.x, 130.0, kTolerance);
  EXPECT_NEAR(offset.y, 20.0, kTolerance);
  EXPECT_NEAR(offset.z, 5.0, kTolerance);
}

TEST_F(ScenarioPlaybackTest, RedTwiceAbortsTheRecording) {
  const armsim::GeneratedScenario generated = start("touch 10 20 30\nred 2\ntouch 1 1 1\n");
  bool aborted = true;
  expectNear(recordProbePoint(arm_, aborted, 0.75), generated.touches[0].arm);
  EXPECT_FALSE(aborted);
  // The second red press ends the call before the last touch's green.
  const Point none = recordProbePoint(arm_, aborted, 0.75);
  EXPECT_TRUE(aborted);
  EXPECT_EQ(none, Point());
}

TEST_F(ScenarioPlaybackTest, AimedProbeAndItsButtons) {
  // The probe held 20 mm before a point of a turned part, along the part's
  // -z; then green and red, each held over three records as the region test
  // needs.
  const armsim::GeneratedScenario generated = start(
      "placement 0 90 0 100 0 0\n"
      "aim 10 5 0 0 0 -1 20 3\n"
      "green x3\n"
      "red x3\n");
  ASSERT_EQ(generated.touches.size(), 1u);
  const armsim::ExpectedTouch& aim = generated.touches[0];
  // Ry(90) carries the part's -z onto the arm's -x.
  for (int read = 0; read < 2; ++read) {
    Point tip;
    LinearMap rotation;
    ASSERT_TRUE(readProbePose(arm_, tip, rotation));
    const Vector axis = rotation(Vector(0.0, 0.0, 1.0));
    EXPECT_NEAR(axis.x, -1.0, kTolerance);
    expectNear(tip + axis * 20.0, aim.arm);
    expectNear(tip + axis * 20.0, armsim::Vec3{100.0, 5.0, -10.0});
    // The pose read leaves the flag: take the record as a poll would.
    EXPECT_EQ(pollArmButtons(arm_), kArmButtonNone);
  }
  int seen[3] = {0, 0, 0};
  for (int poll = 0; poll < 12 && seen[kArmButtonRed] == 0; ++poll) ++seen[pollArmButtons(arm_)];
  EXPECT_EQ(seen[kArmButtonGreen], 3);
  EXPECT_EQ(seen[kArmButtonRed], 1);
}

}  // namespace

int main(int argc, char** argv) {
  armtest::keepConsoleInputOpen();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
