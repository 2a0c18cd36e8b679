// A person at the arm panel, without the terminal: the real program runs a
// planar calibration of the demo site's Skin panel while this test drives
// the virtual arm through the panel's channel (keys into PanelState, lines
// appended by ChannelWriter, as zorv-arm-panel does), waiting on the arm's
// status file for the program to take each click. The section written must
// carry the panel's frame onto the touched points, and the panel's region
// view must show the calibrated panel under the probe.
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "ArmPanel.h"
#include "CalibrationSupport.h"
#include "E2eHarness.h"
#include "LiveChannel.h"
#include "RegionView.h"

namespace {

using calibtest::Point;
using e2e::Sandbox;

bool eventually(const std::function<bool()>& done, std::chrono::seconds patience) {
  const auto until = std::chrono::steady_clock::now() + patience;
  while (std::chrono::steady_clock::now() < until) {
    if (done()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

class Driver {
 public:
  Driver(const std::string& channel, const armpanel::Pose& start)
      : channel_(channel), panel_(start), writer_(channel) {
    EXPECT_TRUE(writer_.start(start));
  }

  void keys(const std::string& text) {
    for (char key : text) panel_.key(key);
    EXPECT_TRUE(writer_.append(panel_.takeLines()));
  }

  armsim::LiveCounts status() const {
    armsim::LiveCounts counts;
    armsim::readLiveStatus(channel_, counts);
    return counts;
  }

  // Waits until the program reads the arm, then clicks green until the
  // program took one more button record (a click nobody took is dropped
  // after a second: then it clicks again).
  bool clickTaken() {
    const std::uint64_t taken = status().presses;
    const std::uint64_t read = status().records;
    if (!eventually([&] { return status().records > read || taken > 0; },
                    std::chrono::seconds(60))) {
      return false;
    }
    for (int attempt = 0; attempt < 5; ++attempt) {
      const std::uint64_t dropped = status().dropped;
      keys("g");
      if (!eventually([&] { return status().presses > taken || status().dropped > dropped; },
                      std::chrono::seconds(30))) {
        return false;
      }
      if (status().presses > taken) return true;
    }
    return false;
  }

  const armpanel::PanelState& panel() const { return panel_; }

 private:
  std::string channel_;
  armpanel::PanelState panel_;
  armpanel::ChannelWriter writer_;
};

TEST(DemoDrive, APlanarCalibrationByThePanelsChannel) {
  Sandbox sandbox;
  sandbox.useDemoSite();
  const std::string channel = sandbox.path("arm-live.txt");
  sandbox.setArmScenario("serial P08-08-1234\nplayback deterministic 5\nlive " + channel + "\n");
  const std::string skin = sandbox.wizardDirectory() + "/parts/01_Wing/02_Skin/Skin.qini";

  // 50 mm above the middle of the panel, pointing down, as scripts/demo
  // starts the panel. Before the calibration the region has no meshes.
  Driver driver(channel, armpanel::Pose{875.0, 100.0, 110.0, 0.0, 180.0, 0.0});
  armpanel::RegionView view;
  EXPECT_FALSE(view.load(skin, 0, 0));

  // Calibrate collection, Wing, Skin (one collection), part position 1, the
  // 3 mm ball; then any key and Exit.
  e2e::RunResult run;
  std::thread program([&] { run = sandbox.run("3\n1\n2\n1\n\n 16\n", std::chrono::seconds(120)); });

  // Down onto the panel's plane (z 60), then 100 mm along y, then along -x.
  driver.keys("zzzzz");
  const bool first = driver.clickTaken();
  driver.keys("]]Y");
  const bool second = first && driver.clickTaken();
  driver.keys("x");
  const bool third = second && driver.clickTaken();
  program.join();
  ASSERT_TRUE(first && second && third) << e2e::visible(run.output);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 0);

  // The points recorded: the measuring points a quarter of the 3 mm ball
  // further along the probe's axis (down).
  const Point k0(875, 100, 59.25), k1(875, 200, 59.25), k2(775, 200, 59.25);
  const std::string expected =
      "Preparing to record point 1.\n"
      "Press green arm button to select point. Press red arm button twice to abort.\n"
      "Point 1: 875, 100, 59.25.\n"
      "Preparing to record point 2.\n"
      "Press green arm button to select point. Press red arm button twice to abort.\n"
      "Point 2: 875, 200, 59.25.\n"
      "Preparing to record point 3.\n"
      "Press green arm button to select point. Press red arm button twice to abort.\n"
      "Point 3: 775, 200, 59.25.\n"
      "Arm points successfully collected.\n";
  EXPECT_NE(run.output.find(expected), std::string::npos) << e2e::visible(run.output);
  EXPECT_NE(run.output.find("Successfully written section [PartLocalToArmGlobal111] to file "
                            "Skin.qini.\n"),
            std::string::npos);
  // Every click taken once, none lost.
  EXPECT_EQ(driver.status().presses, 3u);

  // The panel's frame: from the first point along the second (u), the third
  // 100 mm across (v); the section carries it onto the recorded points (read
  // back in single precision, as the program reads sections).
  const calibtest::StoredTransform section = calibtest::readStored(skin, "PartLocalToArmGlobal111");
  const Point frame[3] = {Point(0, 0, 0), Point(100, 0, 0), Point(100, 100, 0)};
  const Point recorded[3] = {k0, k1, k2};
  for (int i = 0; i < 3; ++i) {
    EXPECT_LT((section.apply(frame[i]) - recorded[i]).l(), 1e-3) << "point " << i;
  }

  // The panel's view loads the calibrated region again and shows the quad
  // under the probe: 51 mm along u and v from the first point, in the middle
  // of quad (25, 25).
  ASSERT_TRUE(view.reloadIfChanged());
  ASSERT_TRUE(view.loaded()) << view.message();
  EXPECT_TRUE(view.placed());
  const armpanel::UnderProbe under =
      view.lookUp(armpanel::Pose{824.0, 151.0, 110.0, 0.0, 180.0, 0.0}, 1.5);
  char line[96];
  std::snprintf(line, sizeof line,
                "(u,v)=(000025,000025). Distance: %06.1fmm. Angle: 000.00 deg.", 110.0 - 1.5 - 59.25);
  EXPECT_EQ(under.line, line);
  EXPECT_EQ(under.file, "SkinPanel");
}

}  // namespace
