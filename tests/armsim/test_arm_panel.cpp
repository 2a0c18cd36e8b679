// The arm panel without its terminal: keys turned into poses and clicks, the
// channel lines it appends (read back as the arm reads them), and its view
// of a region placed by a part transform section.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "ArmPanel.h"
#include "LiveChannel.h"
#include "RegionView.h"
#include "ZorvGeometry.h"
#include "test_support.h"

namespace {

using armpanel::PanelState;
using armpanel::Pose;

// The records the arm makes of a channel line.
std::vector<armsim::Record> read(const std::string& line) {
  std::vector<armsim::Record> records;
  std::string problem;
  EXPECT_TRUE(armsim::parseLiveLine(line, records, problem)) << line << ": " << problem;
  return records;
}

void expectPose(const armsim::Record& r, const Pose& p) {
  EXPECT_EQ(r.x, p.x);
  EXPECT_EQ(r.y, p.y);
  EXPECT_EQ(r.z, p.z);
  EXPECT_EQ(r.phi, p.phi);
  EXPECT_EQ(r.theta, p.theta);
  EXPECT_EQ(r.psi, p.psi);
}

TEST(ArmPanel, KeysMoveTurnAndStep) {
  const Pose start{875.0, 100.0, 110.0, 0.0, 180.0, 0.0};
  struct Case {
    std::string keys;
    Pose expected;
  };
  // The default step is 10 mm and 15 degrees.
  const Case cases[] = {
      {"XXyZ", {895, 90, 120, 0, 180, 0}},
      {std::string(1, static_cast<char>(0)), start},
      {"[[[" "xxx", {874.7, 100, 110, 0, 180, 0}},
      {"]]]]]" "Y", {875, 200, 110, 0, 180, 0}},
      {"[[[[[[[[" "zt", {875, 100, 109.9, 0, 179.5, 0}},  // the smallest step: 0.1 mm, 0.5°
      {"tT", {875, 100, 110, 0, 180, 0}},
      {"ttt", {875, 100, 110, 0, 135, 0}},
      {"TTT", start},  // theta stays within 0..180
      {"PPPPPPPPPPPPP", {875, 100, 110, -165, 180, 0}},  // phi 195 wraps to -165
      {"ww", {875, 100, 110, 0, 180, -30}},
      {"XXXh", start},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.keys);
    PanelState state(start);
    for (char key : c.keys) state.key(static_cast<unsigned char>(key));
    EXPECT_EQ(state.pose(), c.expected)
        << state.pose().x << " " << state.pose().y << " " << state.pose().z << " "
        << state.pose().phi << " " << state.pose().theta << " " << state.pose().psi;
  }
  PanelState arrows(start);
  for (int key : {armpanel::kKeyRight, armpanel::kKeyUp, armpanel::kKeyUp, armpanel::kKeyPageDown}) {
    EXPECT_TRUE(arrows.key(key));
  }
  EXPECT_EQ(arrows.pose(), (Pose{885, 120, 100, 0, 180, 0}));
  EXPECT_FALSE(arrows.key('?'));
  EXPECT_TRUE(arrows.takeLines().size() == 4u);
}

TEST(ArmPanel, AHundredSmallStepsLandOnARoundNumber) {
  PanelState state(Pose{});
  for (int i = 0; i < 3; ++i) state.key('[');
  EXPECT_EQ(state.step().mm, 0.1);
  for (int i = 0; i < 100; ++i) state.key('X');
  EXPECT_EQ(state.pose().x, 410.0);
  EXPECT_EQ(state.takeLines().back(), "record 410 0 200 0 90 0");
}

TEST(ArmPanel, LinesAreWhatTheArmReads) {
  const Pose start{400.0, -20.5, 200.0, 30.0, 120.0, 5.0};
  PanelState state(start);
  for (char key : std::string("XgGzrR")) state.key(key);
  const std::vector<std::string> lines = state.takeLines();
  ASSERT_EQ(lines.size(), 6u);
  EXPECT_TRUE(state.takeLines().empty());
  Pose moved = start;
  moved.x = 410.0;
  Pose lowered = moved;
  lowered.z = 190.0;
  struct Expected {
    Pose pose;
    std::size_t records;
    bool green, red;
  };
  const Expected expected[] = {{moved, 1, false, false},  {moved, 1, true, false},
                               {moved, 4, true, false},   {lowered, 1, false, false},
                               {lowered, 1, false, true}, {lowered, 4, false, true}};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    SCOPED_TRACE(lines[i]);
    const std::vector<armsim::Record> records = read(lines[i]);
    ASSERT_EQ(records.size(), expected[i].records);
    expectPose(records[0], expected[i].pose);
    EXPECT_EQ(records[0].green, expected[i].green);
    EXPECT_EQ(records[0].red, expected[i].red);
  }
  EXPECT_EQ(state.buttonRecordsSent(), 10u);
  EXPECT_EQ(state.lastAction(), "long red click");
}

TEST(ArmPanel, TheChannelStartsAfreshAndGoesOnWhereItLeftOff) {
  testsupport::TempDir dir;
  const std::string channel = dir / "live.txt";
  Pose pose;
  EXPECT_FALSE(armpanel::lastChannelPose(channel, pose));

  armpanel::ChannelWriter writer(channel);
  ASSERT_TRUE(writer.start(Pose{1, 2, 3, 4, 5, 6}));
  PanelState state(Pose{1, 2, 3, 4, 5, 6});
  state.key('Z');
  state.key('g');
  ASSERT_TRUE(writer.append(state.takeLines()));
  armsim::LiveChannelReader reader(channel);
  const std::vector<std::string> lines = reader.poll();
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[1], "record 1 2 3 4 5 6");
  EXPECT_EQ(lines[2], "record 1 2 13 4 5 6");
  EXPECT_EQ(lines[3], "record 1 2 13 4 5 6 green");
  ASSERT_TRUE(armpanel::lastChannelPose(channel, pose));
  EXPECT_EQ(pose, (Pose{1, 2, 13, 4, 5, 6}));

  // A new panel session empties the channel: the arm reads it from the start.
  ASSERT_TRUE(writer.start(Pose{7, 7, 7, 0, 90, 0}));
  const std::vector<std::string> again = reader.poll();
  ASSERT_EQ(again.size(), 2u);
  EXPECT_EQ(again[1], "record 7 7 7 0 90 0");
}

// ---------------------------------------------------------------------------
// The region view.

// A part settings file with one planar file, 100 × 40 mm at 2 mm, placed by
// a section at arm position 1: turned by `turnZ` degrees about z and lifted
// to `height` mm.
void writeRegion(const std::string& directory, double height, double turnZ = 0.0) {
  testsupport::writeFile(
      directory + "/Plate.qini",
      "[Region]\r\nNumberOfPartPositions=1\r\n\r\n[QuadFile1]\r\nName=Web.quads\r\n"
      "CollectionIndex=1\r\nOffsetU=0\r\nOffsetV=0\r\n\r\n[PartLocalToArmGlobal111]\r\n"
      "RotationOriginX=0\r\nRotationOriginY=0\r\nRotationOriginZ=0\r\nRotationAngleX=0\r\n"
      "RotationAngleY=0\r\nRotationAngleZ=" +
          std::to_string(turnZ) + "\r\nTranslationX=500\r\nTranslationY=0\r\nTranslationZ=" +
          std::to_string(height) + "\r\n");
}

class RegionViewTest : public ::testing::Test {
 protected:
  void SetUp() override {
    region_ = dir_ / "parts/03_Test/01_Plate";
    testsupport::makeDirectories(region_);
    Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh mesh;
    ASSERT_TRUE(mesh.setAsPlane({100.0, 40.0}, 2.0, true, 1.0));
    mesh.save(region_ + "/Web.quads");
    writeRegion(region_, 100.0);
  }
  std::string settings() const { return region_ + "/Plate.qini"; }

  testsupport::TempDir dir_;
  std::string region_;
};

// Straight down onto the centre of quad (u, v) of the plate as placed at
// height 100 (its corner at (500, 0, 100)), from `above` mm.
Pose over(int u, int v, double above) {
  return Pose{500.0 + 2 * u + 1, 2.0 * v + 1, 100.0 + above, 0.0, 180.0, 0.0};
}

TEST_F(RegionViewTest, ShowsTheQuadUnderTheAxisAsTheRegionTestDoes) {
  armpanel::RegionView view;
  ASSERT_TRUE(view.load(settings(), 0, 0)) << view.message();
  EXPECT_TRUE(view.placed());

  armpanel::UnderProbe under = view.lookUp(over(10, 5, 50.0), 1.5);
  EXPECT_TRUE(under.loaded);
  EXPECT_TRUE(under.hit);
  // The ball's centre is its radius nearer than the measuring point.
  EXPECT_EQ(under.line, "(u,v)=(000010,000005). Distance: 0048.5mm. Angle: 000.00 deg.");
  EXPECT_EQ(under.file, "Web");
  // Tilted 30 degrees about x (theta 150): the ray runs along -y as well.
  Pose tilted = over(30, 15, 40.0);
  tilted.theta = 150.0;
  under = view.lookUp(tilted, 3.0);
  const double cos30 = std::sqrt(3.0) / 2.0;
  const double along = (40.0 - 3.0 * cos30) / cos30;
  const int v = static_cast<int>(std::floor((31.0 - 3.0 * 0.5 - along * 0.5) / 2.0));
  char expected[96];
  std::snprintf(expected, sizeof expected,
                "(u,v)=(000030,%06d). Distance: %06.1fmm. Angle: 030.00 deg.", v, along);
  EXPECT_EQ(under.line, expected);
  // Beside the plate: the blank line.
  under = view.lookUp(over(60, 5, 50.0), 1.5);
  EXPECT_FALSE(under.hit);
  EXPECT_EQ(under.line, "(u,v)=(______,______). Distance: ______mm. Angle: ______ deg.");
  EXPECT_EQ(under.file, "");
}

TEST_F(RegionViewTest, PositionsWithoutASectionShowTheMeshesUnplaced) {
  armpanel::RegionView view;
  ASSERT_TRUE(view.load(settings(), 1, 0)) << view.message();
  EXPECT_FALSE(view.placed());
  EXPECT_NE(view.message().find("unplaced"), std::string::npos) << view.message();
  // Unplaced, the plate lies at the arm's origin.
  EXPECT_EQ(view.lookUp(Pose{21, 11, 50, 0, 180, 0}, 1.5).line,
            "(u,v)=(000010,000005). Distance: 0048.5mm. Angle: 000.00 deg.");
  view.place(0, 0);
  EXPECT_TRUE(view.placed());
  EXPECT_TRUE(view.lookUp(over(10, 5, 50.0), 1.5).hit);
}

TEST_F(RegionViewTest, AChangedSettingsFileIsLoadedAgain) {
  armpanel::RegionView view;
  ASSERT_TRUE(view.load(settings(), 0, 0)) << view.message();
  EXPECT_FALSE(view.reloadIfChanged());
  // A calibration moves the plate 10 mm down (and the file grows by a digit).
  writeRegion(region_, 90.0, 0.0);
  ASSERT_TRUE(view.reloadIfChanged());
  EXPECT_EQ(view.lookUp(over(10, 5, 50.0), 1.5).line,
            "(u,v)=(000010,000005). Distance: 0058.5mm. Angle: 000.00 deg.");
  EXPECT_FALSE(view.reloadIfChanged());
}

TEST_F(RegionViewTest, ARegionThatDoesNotLoadSaysWhy) {
  testsupport::writeFile(settings(), "[Region]\r\nNumberOfPartPositions=1\r\n\r\n[QuadFile1]\r\n"
                                     "Name=Missing.quads\r\nCollectionIndex=1\r\n");
  armpanel::RegionView view;
  EXPECT_FALSE(view.load(settings(), 0, 0));
  // The panel names what is missing, not only that loading failed.
  EXPECT_EQ(view.message().rfind("Missing .quads file: ", 0), 0u) << view.message();
  EXPECT_NE(view.message().find("Missing.quads (a planar or cylinder-based collection's"),
            std::string::npos)
      << view.message();
  const armpanel::UnderProbe under = view.lookUp(over(10, 5, 50.0), 1.5);
  EXPECT_FALSE(under.loaded);
  EXPECT_EQ(under.line, "");
}

TEST_F(RegionViewTest, RegionsOfAWizardTree) {
  testsupport::makeDirectories(dir_ / "parts/01_Wing/02_Skin");
  testsupport::writeFile(dir_ / "parts/01_Wing/02_Skin/Skin.QINI", "[Region]\r\n");
  testsupport::writeFile(dir_ / "parts/01_Wing/02_Skin/Probe.ini", "[Scan]\r\n");
  const std::vector<std::string> found = armpanel::findPartSettingsFiles(dir_.path());
  ASSERT_EQ(found.size(), 2u);
  EXPECT_EQ(armpanel::regionDisplayName(found[0]), "Wing / Skin");
  EXPECT_EQ(armpanel::regionDisplayName(found[1]), "Test / Plate");
  EXPECT_EQ(armpanel::regionDisplayName("c:\\quads\\Flange\\Flange.ini"), "Flange.ini");
  EXPECT_EQ(armpanel::regionDisplayName(
                "x\\vl2_settings\\parts\\02_Bracket\\01_Flange\\Flange.qini"),
            "Bracket / Flange");
}

}  // namespace
