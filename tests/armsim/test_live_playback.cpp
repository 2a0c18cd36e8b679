// The virtual arm following its live channel, read with the program's own
// probe readings while the test's thread drives the channel as the arm panel
// does (keys into PanelState, lines appended by ChannelWriter). The arm's
// writer thread runs beside the test's thread: under ThreadSanitizer too.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <thread>

#include "ArmPanel.h"
#include "ArmTestSupport.h"
#include "LiveChannel.h"
#include "arm/ProbeReadings.h"

namespace {

using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Vector;

constexpr auto kPatience = std::chrono::seconds(20);

// Calls `done` until it is true or the patience is over.
bool eventually(const std::function<bool()>& done) {
  const auto until = std::chrono::steady_clock::now() + kPatience;
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

class LivePlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string appData = armtest::useApplicationData(dir_);
    testsupport::writeFile(appData + "/WinVLPosetta.ini",
                           "[ArmPsiDeltas]\r\nP08081234=0.3000000000000000\r\n");
    // The panel is there first: the arm starts from its pose.
    ASSERT_TRUE(writer_.start(panel_.pose()));
    armtest::useScenario(dir_, "playback deterministic 5\nrecord 400 0 200 0 90 0 x3\nlive " +
                                   channel_ + "\n");
    ASSERT_TRUE(initialiseArm(context_, arm_));
    armtest::takeCaptured();
  }

  void TearDown() override {
    closeArm(context_, arm_);
    armtest::unsetEnvironment(armtest::kScenarioVariable);
  }

  void keys(const std::string& text) {
    for (char key : text) panel_.key(key);
    ASSERT_TRUE(writer_.append(panel_.takeLines()));
  }

  // Reads poses until the arm reports the panel's pose.
  bool poseArrives() {
    const armpanel::Pose& want = panel_.pose();
    for (int read = 0; read < 2000; ++read) {
      Point tip;
      LinearMap rotation;
      if (!readProbePose(arm_, tip, rotation)) return false;
      const Vector axis = rotation(Vector(0, 0, 1));
      double ax = 0, ay = 0, az = 0;
      panel_.axis(ax, ay, az);
      if (tip.x == want.x && tip.y == want.y && tip.z == want.z &&
          std::abs(axis.x - ax) < 1e-12 && std::abs(axis.y - ay) < 1e-12 &&
          std::abs(axis.z - az) < 1e-12) {
        return true;
      }
    }
    return false;
  }

  armsim::LiveCounts status() const {
    armsim::LiveCounts counts;
    armsim::readLiveStatus(channel_, counts);
    return counts;
  }

  testsupport::TempDir dir_;
  std::string channel_ = dir_ / "live.txt";
  armpanel::PanelState panel_{armpanel::Pose{875.0, 100.0, 110.0, 0.0, 180.0, 0.0}};
  armpanel::ChannelWriter writer_{channel_};
  ConsoleContext context_ = armtest::capturingContext();
  ArmConnection arm_;
};

TEST_F(LivePlaybackTest, TheArmFollowsThePanelsMovesAndClicks) {
  // The scenario's records first, then the panel's pose.
  ASSERT_TRUE(poseArrives());
  keys("XXt");
  ASSERT_TRUE(poseArrives());

  // A click records one point: the measuring point moved a tip offset along
  // the tilted axis. The next recording does not see the same click again.
  keys("g");
  bool aborted = true;
  const Point first = recordProbePoint(arm_, aborted, 0.75);
  ASSERT_FALSE(aborted);
  double ax = 0, ay = 0, az = 0;
  panel_.axis(ax, ay, az);
  EXPECT_NEAR(first.x, 895.0 + 0.75 * ax, 1e-9);
  EXPECT_NEAR(first.y, 100.0 + 0.75 * ay, 1e-9);
  EXPECT_NEAR(first.z, 110.0 + 0.75 * az, 1e-9);
  for (int poll = 0; poll < 3; ++poll) EXPECT_EQ(pollArmButtons(arm_), kArmButtonNone);

  keys("zzg");
  const Point second = recordProbePoint(arm_, aborted, 0.0);
  ASSERT_FALSE(aborted);
  EXPECT_EQ(second, Point(895.0, 100.0, 90.0));

  // A long click is seen by four polls in a row, the fifth sees none.
  keys("G");
  int green = 0;
  for (int poll = 0; poll < 40 && green < 4; ++poll) {
    if (pollArmButtons(arm_) == kArmButtonGreen) ++green;
  }
  EXPECT_EQ(green, 4);
  EXPECT_EQ(pollArmButtons(arm_), kArmButtonNone);

  // Red twice aborts a recording.
  keys("rr");
  recordProbePoint(arm_, aborted, 0.75);
  EXPECT_TRUE(aborted);

  // Every button record was taken, none dropped.
  EXPECT_TRUE(eventually([&] { return status().presses == 8; }));
  EXPECT_EQ(status().dropped, 0u);
  EXPECT_GT(status().records, 8u);
}

TEST_F(LivePlaybackTest, AClickNobodyReadsIsDropped) {
  ASSERT_TRUE(poseArrives());
  keys("G");
  // The program reads nothing for longer than the patience.
  EXPECT_TRUE(eventually([&] { return status().dropped == 4; }));
  EXPECT_EQ(status().presses, 0u);
  for (int poll = 0; poll < 3; ++poll) EXPECT_EQ(pollArmButtons(arm_), kArmButtonNone);
  // Moves go on as before.
  keys("Y");
  EXPECT_TRUE(poseArrives());
}

// A timed, looping scenario whose channel may interrupt it: the loop plays
// until a line is appended. A click already in the channel when the arm
// started is old and never played; the appended click is, each of its
// records taken once, and the probe then stays at its pose.
TEST(LiveInterruption, AnAppendedClickEndsTheLoopingRecords) {
  testsupport::TempDir dir;
  const std::string appData = armtest::useApplicationData(dir);
  testsupport::writeFile(appData + "/WinVLPosetta.ini",
                         "[ArmPsiDeltas]\r\nP08081234=0.0000000000000000\r\n");
  const std::string channel = dir / "live.txt";
  testsupport::writeFile(channel, "record 1 1 1 0 90 0 red x5\n");
  armtest::useScenario(dir, "playback timed 5\nend loop\ninterrupt " + channel +
                                "\nrecord 100 0 0 0 90 0 x3\nrecord 200 0 0 0 90 0 x3\n");
  ConsoleContext context = armtest::capturingContext();
  ArmConnection arm;
  ASSERT_TRUE(initialiseArm(context, arm));
  armtest::takeCaptured();

  const auto tipX = [&] {
    Point tip;
    LinearMap rotation;
    EXPECT_TRUE(readProbePose(arm, tip, rotation));
    return tip.x;
  };
  // Round and round: both poses again and again, never the channel's.
  int seen[2] = {0, 0};
  for (int read = 0; read < 2000 && (seen[0] < 5 || seen[1] < 5); ++read) {
    const double x = tipX();
    ASSERT_TRUE(x == 100.0 || x == 200.0) << x;
    ++seen[x == 200.0 ? 1 : 0];
  }
  EXPECT_GE(seen[0], 5);
  EXPECT_GE(seen[1], 5);
  for (int poll = 0; poll < 3; ++poll) EXPECT_EQ(pollArmButtons(arm), kArmButtonNone);

  // A comment does not interrupt; a click does.
  {
    // Appended in one write, as the panel appends.
    std::ofstream append(channel, std::ios::binary | std::ios::app);
    append << "# note\nrecord 300 0 0 0 90 0 red x2\n";
  }
  int red = 0;
  for (int poll = 0; poll < 40 && red < 2; ++poll) {
    if (pollArmButtons(arm) == kArmButtonRed) ++red;
  }
  EXPECT_EQ(red, 2);
  for (int poll = 0; poll < 3; ++poll) EXPECT_EQ(pollArmButtons(arm), kArmButtonNone);
  for (int read = 0; read < 5; ++read) EXPECT_EQ(tipX(), 300.0);
  armsim::LiveCounts counts;
  EXPECT_TRUE(
      eventually([&] { return armsim::readLiveStatus(channel, counts) && counts.presses == 2; }));
  EXPECT_EQ(counts.dropped, 0u);

  closeArm(context, arm);
  armtest::unsetEnvironment(armtest::kScenarioVariable);
}

}  // namespace

int main(int argc, char** argv) {
  armtest::keepConsoleInputOpen();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
