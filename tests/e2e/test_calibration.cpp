// "Calibrate collection" and "Calibrate region" with the real program and a
// virtual arm that touches points of a part placed where the test put it:
// the written sections must carry the part points onto the placed points.
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CalibrationSupport.h"
#include "E2eHarness.h"

namespace {

using armsim::Button;
using armsim::Vec3;
using calibtest::Description;
using calibtest::Point;
using calibtest::readStored;
using calibtest::sectionPresent;
using calibtest::StoredTransform;
using calibtest::text;
using calibtest::toPoint;
using e2e::keyPrompt;
using e2e::mainMenuScreen;
using e2e::Sandbox;
using e2e::transcriptsMatch;

constexpr double kTolerance = 1e-3;  // mm

const std::string kStart = "Detected: wizard directory.\nDirectory mode: Wizard.\n";
const std::string kRegionDir = "parts/01_Bracket/01_Flange/";
const std::string kImagePrompt =
    "Press red arm button to display calibration point image, green to continue.\n";
const std::string kGreenPrompt =
    "Press green arm button to select point. Press red arm button twice to abort.\n";
const std::vector<Vec3> kPoints = {{0, 0, 0}, {120, 0, 10}, {30, 80, 0}};

std::string pointsSection(const std::string& name, const std::vector<Vec3>& points,
                          const std::string& extra = "") {
  std::string s = "[" + name + "]\\n";
  for (int i = 0; i < 3; ++i) {
    const std::string n = std::to_string(i);
    s += "x" + n + "=" + text(points[i].x) + "\\ny" + n + "=" + text(points[i].y) + "\\nz" + n +
         "=" + text(points[i].z) + "\\n";
  }
  return s + extra;
}

// A wizard tree with one part, one region and the given settings file text.
std::string qiniPath(const Sandbox& sandbox) {
  return sandbox.wizardDirectory() + "/" + kRegionDir + "Flange.qini";
}

void buildRegion(Sandbox& sandbox, const std::string& qini) {
  sandbox.buildWizardTree(kRegionDir + "Flange.qini = " + qini + "\n" + kRegionDir +
                          "calib_images/01_Flange.bmp = image\n");
}

// Every part point is carried onto its placed point (in the frame of the
// arm position) within the tolerance.
void expectCarries(const StoredTransform& stored, const std::vector<Vec3>& part,
                   const std::vector<Point>& arm, const std::string& what) {
  for (std::size_t i = 0; i < part.size(); ++i) {
    const Point mapped = stored.apply(toPoint(part[i]));
    EXPECT_LT((mapped - arm[i]).l(), kTolerance) << what << ", point " << i;
  }
}

std::string coordinates(const armsim::ExpectedTouch& touch) {
  return text(touch.arm.x) + ", " + text(touch.arm.y) + ", " + text(touch.arm.z) + ".\n";
}

TEST(CalibrateCollection, KnownPlacementsAreCarriedOntoTheArmPoints) {
  struct Case {
    Vec3 angles;
    Vec3 translation;
    double ball;
  };
  std::mt19937 random(20261208);
  std::uniform_real_distribution<double> angle(-180.0, 180.0);
  std::uniform_real_distribution<double> offset(-1500.0, 1500.0);
  std::vector<Case> cases = {{{0, 0, 90}, {700, 300, 15}, 3}};
  for (int i = 0; i < 3; ++i) {
    cases.push_back({{angle(random), angle(random) / 2, angle(random)},
                     {offset(random), offset(random), offset(random) / 3},
                     i == 1 ? 6.0 : 3.0});
  }
  for (std::size_t n = 0; n < cases.size(); ++n) {
    const Case& c = cases[n];
    Sandbox sandbox;
    buildRegion(sandbox, "[QuadFile1]\\nName=FlangeA.quads\\nCollectionIndex=1\\n" +
                             pointsSection("PartCalibrationPoints1", kPoints));
    Description description;
    description.placement(c.angles, c.translation).ball(c.ball).imageGreen(1).probeAngles(30, 150, 10);
    for (const Vec3& p : kPoints) description.touch(p);
    const armsim::GeneratedScenario scenario = description.generate();
    sandbox.setArmScenario(scenario.text);

    const e2e::RunResult run = sandbox.run(std::string("3\n") + (c.ball == 6 ? "6" : "") + "\n 16\n");
    ASSERT_FALSE(run.timedOut) << n;
    EXPECT_EQ(run.exitStatus, 0);
    std::string expected = e2e::armStartupTranscript() + kStart + mainMenuScreen() +
                           "Chosen part Bracket.\nChosen region Flange.\n"
                           "Chosen collection \n\t\tFlangeA.\nChosen part position 1.\n"
                           "Please move part to position 1.\n"
                           "Please enter ball probe size, mm (return for 3mm): Ball probe of " +
                           text(c.ball) + "mm selected.\n";
    for (int i = 0; i < 3; ++i) {
      expected += "Preparing to record point " + std::to_string(i + 1) + ".\n" + kImagePrompt +
                  kGreenPrompt + "Point " + std::to_string(i + 1) + ": " +
                  coordinates(scenario.touches[i]);
    }
    expected += "Arm points successfully collected.\nCalibrating...\nCalibration convergence.\n";
    ASSERT_TRUE(transcriptsMatch(expected, run.output.substr(0, expected.size()))) << n;
    const std::string rest = run.output.substr(expected.size());
    for (int i = 0; i < 3; ++i) {
      EXPECT_NE(rest.find("Point " + std::to_string(i) + " distance: "), std::string::npos);
    }
    EXPECT_NE(calibtest::normaliseAccuracy(rest).find(
                  "Calibration uncertainty measurement is acceptable.\n" +
                  calibtest::kAccuracyWithoutMesh +
                  "Successfully written section [PartLocalToArmGlobal111] to file "
                  "Flange.qini.\nExtending calibrations to all available arm positions.\n" +
                  keyPrompt() + mainMenuScreen()),
              std::string::npos)
        << e2e::visible(rest);

    std::vector<Point> placed;
    for (int i = 0; i < 3; ++i) placed.push_back(toPoint(scenario.touches[i].world));
    expectCarries(readStored(qiniPath(sandbox), "PartLocalToArmGlobal111"), kPoints, placed,
                  "placement " + std::to_string(n));
    EXPECT_FALSE(sectionPresent(qiniPath(sandbox), "PartLocalToArmGlobal211"));
  }
}

TEST(CalibrateCollection, MultiPositionSetsShiftEachArmPositionByItsMove) {
  struct Case {
    std::vector<int> positions;  // p0, p1, p2
    Vec3 move;
  };
  const std::vector<Case> cases = {{{1, 2, 2}, {-800, 250, 5}}, {{2, 2, 2}, {400, -600, -20}}};
  for (const Case& c : cases) {
    Sandbox sandbox;
    const std::string positions = "p0=" + std::to_string(c.positions[0]) + "\\np1=" +
                                  std::to_string(c.positions[1]) + "\\np2=" +
                                  std::to_string(c.positions[2]) + "\\n";
    buildRegion(sandbox, "[QuadFile1]\\nName=FlangeA.quads\\nCollectionIndex=1\\n" +
                             pointsSection("PartCalibrationPoints1", kPoints, positions));
    Description description;
    description.placement({10, -20, 30}, {900, 100, -40}).imageGreen(1).reference({1000, 1000, 0});
    for (int i = 0; i < 3; ++i) {
      if (c.positions[i] == 2 && (i == 0 || c.positions[i - 1] == 1)) description.relocate(c.move);
      description.touch(kPoints[i]);
    }
    const armsim::GeneratedScenario scenario = description.generate();
    sandbox.setArmScenario(scenario.text);
    const e2e::RunResult run = sandbox.run("3\n\n 16\n");
    ASSERT_FALSE(run.timedOut);
    const std::string relocation = "Arm position 1: current reference point: ";
    EXPECT_EQ(e2e::countOccurrences(run.output, relocation), 1u) << e2e::visible(run.output);
    EXPECT_NE(run.output.find("Please move arm to position 1.\n"), std::string::npos);
    EXPECT_NE(run.output.find("Please move arm to position 2.\nArm position 2: previous reference point: "),
              std::string::npos);
    EXPECT_NE(run.output.find("Arm position " + std::to_string(c.positions[2]) + ": calibration point 3: "),
              std::string::npos);
    const StoredTransform first = readStored(qiniPath(sandbox), "PartLocalToArmGlobal111");
    const StoredTransform second = readStored(qiniPath(sandbox), "PartLocalToArmGlobal211");
    EXPECT_LT((first.translation - second.translation - calibtest::Vector(c.move.x, c.move.y, c.move.z)).l(),
              kTolerance);
    std::vector<Point> world, moved;
    for (const auto& touch : scenario.touches) {
      if (touch.kind != armsim::TouchKind::Point) continue;
      world.push_back(toPoint(touch.world));
      moved.push_back(toPoint(touch.world) - calibtest::Vector(c.move.x, c.move.y, c.move.z));
    }
    expectCarries(first, kPoints, world, "arm position 1");
    expectCarries(second, kPoints, moved, "arm position 2");
  }
}

}  // namespace
