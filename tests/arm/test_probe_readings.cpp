// Probe readings and buttons against the virtual arm's scripted records.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ArmTestSupport.h"
#include "arm/ArmDialogs.h"
#include "arm/ProbeReadings.h"
#include "platform/time.h"

namespace {

using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;

void expectNear(const Vector& actual, const Vector& expected, double tolerance = 1e-12) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

class ProbeReadingsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    armtest::keepConsoleInputOpen();
    const std::string appData = armtest::useApplicationData(dir_);
    // A stored correction of 0, so that the start-up does not stop to warn.
    testsupport::writeFile(appData + "/WinVLPosetta.ini",
                           "[ArmPsiDeltas]\r\nP08081234=0.0000000000000000\r\n");
  }

  void TearDown() override {
    closeArm(context_, *arm_);
    armtest::unsetEnvironment(armtest::kScenarioVariable);
  }

  // A fresh arm playing the given records.
  void start(const std::string& records) {
    closeArm(context_, *arm_);
    arm_ = std::make_unique<ArmConnection>();
    armtest::useScenario(dir_, records);
    ASSERT_TRUE(initialiseArm(context_, *arm_));
    armtest::takeCaptured();
  }

  // The x of the record that is waiting now (the next one after a call),
  // or -1 when none is.
  double pendingX() {
    ArmRecord record;
    for (int attempt = 0; attempt < 2000; ++attempt) {
      if (armblock::takeFreshRecord(arm_->dataBlock, record)) return record.x;
      platform::sleepMs(1);
    }
    return -1.0;
  }

  testsupport::TempDir dir_;
  ConsoleContext context_ = armtest::capturingContext();
  std::unique_ptr<ArmConnection> arm_ = std::make_unique<ArmConnection>();
};

TEST_F(ProbeReadingsTest, RecordProbePointGreenRecordsRedTwiceAborts) {
  struct Case {
    const char* name;
    const char* records;  // followed by a record with x 99
    bool aborted;
    double x;
    double nextX;  // the record left waiting after the call
  };
  const Case cases[] = {
      {"first green records", "record 1 0 0 0 0 0\nrecord 2 0 0 0 0 0 green\n", false, 2, 99},
      {"green down from the start", "record 1 0 0 0 0 0 green\n", false, 1, 99},
      {"held green is taken once", "record 1 0 0 0 0 0 green\nrecord 2 0 0 0 0 0 green\n", false, 1,
       2},
      {"red, green, red aborts",
       "record 1 0 0 0 0 0 red\nrecord 2 0 0 0 0 0\nrecord 3 0 0 0 0 0 green\n"
       "record 4 0 0 0 0 0\nrecord 5 0 0 0 0 0 red\n",
       true, 0, 99},
      {"red in two records aborts", "record 1 0 0 0 0 0 red x2\nrecord 3 0 0 0 0 0 green\n", true,
       0, 3},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ASSERT_NO_FATAL_FAILURE(start(std::string(c.records) + "record 99 0 0 0 0 0\nend idle\n"));
    bool aborted = !c.aborted;
    const Point point = recordProbePoint(*arm_, aborted, 0.0);
    EXPECT_EQ(aborted, c.aborted);
    EXPECT_EQ(point, Point(c.x, 0.0, 0.0));
    // The call took no record beyond the one that decided it.
    EXPECT_EQ(pendingX(), c.nextX);
  }
}

TEST_F(ProbeReadingsTest, RecordProbePointMovesAlongTheProbeAxis) {
  // theta 90 turns the probe axis (0, 0, 1) onto (0, -1, 0); phi 90 then
  // onto (1, 0, 0). Psi and its correction turn about the axis itself.
  ASSERT_NO_FATAL_FAILURE(start("record 10 20 30 90 90 40 green\n"));
  arm_->psiDelta = 0.7;
  bool aborted = true;
  const Point point = recordProbePoint(*arm_, aborted, 5.0);
  EXPECT_FALSE(aborted);
  expectNear(point - Point(15.0, 20.0, 30.0), Vector(), 1e-9);
}

TEST_F(ProbeReadingsTest, PollArmButtonsTakesOnlyNewRecords) {
  ASSERT_NO_FATAL_FAILURE(start("record 1 0 0 0 0 0 green\nend idle\n"));
  EXPECT_EQ(pollArmButtons(*arm_), kArmButtonGreen);
  // No new record since: nothing, although the green byte is still set.
  EXPECT_EQ(pollArmButtons(*arm_), kArmButtonNone);
  EXPECT_NE(armblock::load(arm_->dataBlock.greenButton), 0);

  ASSERT_NO_FATAL_FAILURE(
      start("record 1 0 0 0 0 0 red\nrecord 2 0 0 0 0 0\nrecord 3 0 0 0 0 0 red green\n"));
  EXPECT_EQ(pollArmButtons(*arm_), kArmButtonRed);
  EXPECT_EQ(pollArmButtons(*arm_), kArmButtonNone);
  EXPECT_EQ(pollArmButtons(*arm_), kArmButtonGreen);
}

TEST_F(ProbeReadingsTest, RecordProbeAnglesWithoutTheCorrection) {
  ASSERT_NO_FATAL_FAILURE(start("record 1 0 0 0 0 0\nrecord 2 0 0 10 20 30 green\n"));
  arm_->psiDelta = 0.5;
  bool aborted = true;
  const Vector angles = recordProbeAngles(*arm_, aborted);
  EXPECT_FALSE(aborted);
  expectNear(angles, Vector(Utility::degToRad(10), Utility::degToRad(20), Utility::degToRad(30)));

  // The first red press aborts, whatever follows.
  ASSERT_NO_FATAL_FAILURE(start("record 1 0 0 0 0 0 red\nrecord 2 0 0 10 20 30 green\n"));
  const Vector none = recordProbeAngles(*arm_, aborted);
  EXPECT_TRUE(aborted);
  EXPECT_EQ(none, Vector());
  EXPECT_EQ(pendingX(), 2.0);
}

TEST_F(ProbeReadingsTest, ReadProbePoseAddsThePsiCorrection) {
  ASSERT_NO_FATAL_FAILURE(start("record 10 20 30 20 40 60\nend hold\n"));
  arm_->psiDelta = 0.3;
  Point point;
  LinearMap rotation;
  ASSERT_TRUE(readProbePose(*arm_, point, rotation));
  EXPECT_EQ(point, Point(10.0, 20.0, 30.0));
  const FaroProbeDirections faro = faroProbeDirections(20, 40, 60 + Utility::radToDeg(0.3));
  expectNear(rotation.getColumn(0), faro.x);
  expectNear(rotation.getColumn(1), faro.y);
  expectNear(rotation.getColumn(2), faro.z);
}

TEST(ProbeRotation, EqualsTheFaroDirections) {
  const double angles[][3] = {
      {0, 0, 0}, {90, 0, 0}, {0, 90, 0}, {0, 0, 90}, {30, 60, 90}, {-45, 135, 10}, {170, -20, 359},
  };
  for (const auto& a : angles) {
    SCOPED_TRACE(testing::Message() << a[0] << " " << a[1] << " " << a[2]);
    const LinearMap rotation = probeRotation(a[0], a[1], a[2], 0.0);
    const FaroProbeDirections faro = faroProbeDirections(a[0], a[1], a[2]);
    expectNear(rotation.getColumn(0), faro.x);
    expectNear(rotation.getColumn(1), faro.y);
    expectNear(rotation.getColumn(2), faro.z);
    // A correction turns about the probe axis: the axis stays.
    const LinearMap corrected = probeRotation(a[0], a[1], a[2], 0.4);
    expectNear(corrected.getColumn(2), faro.z);
    expectNear(corrected.getColumn(0),
               faroProbeDirections(a[0], a[1], a[2] + Utility::radToDeg(0.4)).x);
  }
}

TEST(ProbeRotation, FaroDirectionsOfKnownPoses) {
  // theta 90: the probe axis lies in the arm's xy plane, along -y turned by phi.
  const FaroProbeDirections d = faroProbeDirections(0, 90, 0);
  expectNear(d.x, Vector(1, 0, 0));
  expectNear(d.y, Vector(0, 0, 1));
  expectNear(d.z, Vector(0, -1, 0));
  const FaroProbeDirections e = faroProbeDirections(90, 0, 0);
  expectNear(e.x, Vector(0, 1, 0));
  expectNear(e.y, Vector(-1, 0, 0));
  expectNear(e.z, Vector(0, 0, 1));
}

}  // namespace
