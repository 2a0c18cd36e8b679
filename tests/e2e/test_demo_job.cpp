// The demo job end to end: the real program on a copy of the demo site, the
// virtual arm playing the demo scenarios written by the scenario tool from
// examples/armsim/*.desc, in the order and with the answers README.md gives
// ("A whole job with the virtual arm"): calibrate, test, relocate, reset,
// clean. Each run must end as the README says.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <map>
#include <regex>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CalibrationSupport.h"
#include "E2eHarness.h"

namespace {

using calibtest::Point;
using calibtest::readStored;
using calibtest::StoredTransform;
using e2e::Sandbox;

constexpr auto kRunTime = std::chrono::seconds(150);

// The scripts of README.md, one per scenario.
const std::string kCalibrateScript = "4\n2\n\n 3\n1\n2\n1\n 16\n";
// Test region on Wing / Skin; 'o' once the probe rests over quad (50, 100);
// the red click ends the test.
const std::vector<e2e::InputStep> kTestSteps = {
    {"", std::chrono::milliseconds(0), "5\n1\n2\nn\n\n"},
    {"\r(u,v)=(000050,000100)", std::chrono::milliseconds(0), "o"},
    {"Please press any key to continue.\n", std::chrono::milliseconds(0), " 16\n"}};
// Any key at the new arm's psi warning, then the menu entries: relocate
// (return takes the 3 mm ball), relocate again (every section is skipped),
// reset; then relocate and clean.
const std::string kRelocateAgainAndReset =
    " 10\n\nP080301198\n 10\nn\nP080301198\n 11\n 16\n";
const std::string kRelocateAndClean = " 10\nn\nP080301198\n 12\n 16\n";

armsim::GeneratedScenario demoScenario(const std::string& name) {
  const std::string path = e2e::sourceDirectory() + "/examples/armsim/" + name + ".desc";
  std::ifstream in(path, std::ios::binary);
  EXPECT_TRUE(in) << path;
  armsim::ScenarioDescription description;
  armsim::GeneratedScenario scenario;
  std::string error;
  EXPECT_TRUE(armsim::parseScenarioDescription(in, description, error) &&
              armsim::generateScenario(description, scenario, error))
      << name << ": " << error;
  return scenario;
}

std::string settings(const Sandbox& sandbox, const std::string& region) {
  return sandbox.wizardDirectory() + "/parts/" + region;
}
const char* const kFlange = "02_Bracket/01_Flange/Flange.qini";
const char* const kSkin = "01_Wing/02_Skin/Skin.qini";
const char* const kSpar = "01_Wing/01_Spar/Spar.qini";

// Each text is found in the output, in this order.
::testing::AssertionResult inOrder(const std::string& output,
                                   const std::vector<std::string>& texts) {
  std::size_t from = 0;
  for (const std::string& text : texts) {
    const std::size_t at = output.find(text, from);
    if (at == std::string::npos) {
      return ::testing::AssertionFailure()
             << "not found (in this order): " << e2e::visible(text) << "\nafter: "
             << e2e::visible(output.substr(from, 600));
    }
    from = at + text.size();
  }
  return ::testing::AssertionSuccess();
}

Point toPoint(const armsim::Vec3& v) {
  return Point(v.x, v.y, v.z);
}

// The section carries the part point within the tolerance onto the point.
void expectCarries(const StoredTransform& stored, const armsim::Vec3& part, const Point& to,
                   double tolerance, const std::string& what) {
  EXPECT_LT((stored.apply(toPoint(part)) - to).l(), tolerance)
      << what << ": part point (" << part.x << ", " << part.y << ", " << part.z << ")";
}

// The demo's placements (examples/armsim/calibrate.desc).
const armsim::Placement kFlangeA{{0, 0, 180}, {720, 310, 15}, {}};
const armsim::Placement kFlangeB{{0, 0, 180}, {720, 230, 15}, {}};
const armsim::Placement kSkinPanel{{0, 0, 90}, {1000, -100, 60}, {}};
const std::vector<armsim::Vec3> kFlangeAPoints = {{50, 0, 0}, {0, 50, 0}, {50, 0, 80}};
const std::vector<armsim::Vec3> kFlangeBPoints = {{0, 0, 3.2}, {80, 0, 3.2}, {0, 40, 3.2}};
const std::vector<armsim::Vec3> kSparPoints = {{0, 0, 0}, {600, 0, 0}, {0, 120, 0}};
// The arm stood 600 mm along -x at arm position 2: its coordinates there are
// the first position's plus 600 along x.
const calibtest::Vector kArmPosition2(600, 0, 0);

void runCalibrate(Sandbox& sandbox, e2e::RunResult& run, armsim::GeneratedScenario& scenario) {
  scenario = demoScenario("calibrate");
  sandbox.setArmScenario(scenario.text);
  run = sandbox.run(kCalibrateScript, kRunTime);
  ASSERT_FALSE(run.timedOut);
  ASSERT_EQ(run.exitStatus, 0) << e2e::visible(run.output);
}

TEST(DemoJob, CalibrateWritesTheSectionsOfEveryCollection) {
  Sandbox sandbox;
  sandbox.useDemoSite();
  const std::string sparBefore = e2e::readFile(settings(sandbox, kSpar));
  e2e::RunResult run;
  armsim::GeneratedScenario scenario;
  ASSERT_NO_FATAL_FAILURE(runCalibrate(sandbox, run, scenario));

  const std::string accuracy =
      "Calibration RMS distance: R mm.\n"
      "Predicted error at the farthest point of the collection: E mm (D mm from the calibration "
      "points).\n";
  EXPECT_TRUE(inOrder(
      calibtest::normaliseAccuracy(run.output),
      {"Chosen region Flange.\nCalibrating collection: \n\t\tFlangeA\n",
       "Ball probe of 3mm selected.\n",
       "Press red arm button to display calibration point image, green to continue.\n", "Point 3: ",
       "Calibration uncertainty measurement is acceptable.\n" + accuracy +
       "Successfully written section [PartLocalToArmGlobal111] to file Flange.qini.\n"
       "Extending calibrations to all available arm positions.\n"
       "Calibrating collection: \n\t\tFlangeB\n",
       "Please move arm to position 1.\n",
       "Arm position 1: calibration point 2: ",
       "Arm position 1: current reference point: 900, 0, 0.\nPlease move arm to position 2.\n"
       "Arm position 2: previous reference point: 1500, 0, 0.\n",
       "Arm position 2: calibration point 3: ",
       "Calibration uncertainty measurement is acceptable.\n" + accuracy +
       "Successfully written section [PartLocalToArmGlobal121] to file Flange.qini.\n"
       "Successfully written section [PartLocalToArmGlobal221] to file Flange.qini.\n"
       "Extending calibrations to all available arm positions.\n"
       "Successfully written section [PartLocalToArmGlobal211] to file Flange.qini.\n",
       "Chosen collection \n\t\tSkinPanel.\n", "Please move part to position 1.\n",
       "Planar .quads file generated successfully.\nQuad extents: 200, 125.\n",
       "Point 3: ",
       "Calibration uncertainty measurement is acceptable.\n" + accuracy +
       "Successfully written section [PartLocalToArmGlobal111] to file Skin.qini.\n"
       "Extending calibrations to all available arm positions.\n"}));
  EXPECT_EQ(e2e::countOccurrences(run.output, "Successfully written section"), 5u);
  EXPECT_EQ(e2e::countOccurrences(run.output, "UNACCCEPTABLE"), 0u);

  // One journal row per section written, in the order written; the
  // calibrations carry the figures they printed, stamped with the arm.
  const std::vector<std::vector<std::string>> journal = calibtest::readJournal(sandbox);
  ASSERT_EQ(journal.size(), 8u);
  EXPECT_EQ(journal[0][0], "UTC time");
  const std::vector<std::array<std::string, 3>> expected = {
      {"calibration", "Flange.qini", "PartLocalToArmGlobal111"},
      {"calibration", "Flange.qini", "PartLocalToArmGlobal121"},
      {"calibration", "Flange.qini", "PartLocalToArmGlobal221"},
      {"extension", "Flange.qini", "PartLocalToArmGlobal211"},
      // The fixed collection is copied to every part position (here one).
      {"copy", "Flange.qini", "PartLocalToArmGlobal121"},
      {"copy", "Flange.qini", "PartLocalToArmGlobal221"},
      {"calibration", "Skin.qini", "PartLocalToArmGlobal111"}};
  const std::regex utc("20[0-9]{2}-[01][0-9]-[0-3][0-9]T[0-2][0-9]:[0-5][0-9]:[0-6][0-9]Z");
  for (std::size_t r = 0; r < expected.size(); ++r) {
    const std::vector<std::string>& row = journal[r + 1];
    ASSERT_EQ(row.size(), 8u) << r;
    EXPECT_TRUE(std::regex_match(row[0], utc)) << row[0];
    EXPECT_EQ(row[1], expected[r][0]);
    EXPECT_TRUE(row[2].ends_with("\\" + expected[r][1])) << row[2];
    EXPECT_EQ(row[3], expected[r][2]);
    EXPECT_EQ(row[4], "P080301198");
    EXPECT_EQ(row[5].empty(), expected[r][0] != "calibration") << r;
  }
  // The Skin panel's row holds the figures of the last report.
  EXPECT_EQ(journal[7][5], calibtest::printedValue(run.output, "uncertainty measurement: "));
  EXPECT_EQ(journal[7][6], calibtest::printedValue(run.output, "RMS distance: "));
  EXPECT_EQ(journal[7][7], calibtest::printedValue(run.output, "collection: "));

  std::vector<armsim::ExpectedTouch> points;
  for (const armsim::ExpectedTouch& touch : scenario.touches) {
    if (touch.kind == armsim::TouchKind::Point) points.push_back(touch);
  }
  ASSERT_EQ(points.size(), 9u);
  // The recorded points carry 0.05 mm of noise: the fits are that close.
  const std::string flange = settings(sandbox, kFlange);
  const StoredTransform a1 = readStored(flange, "PartLocalToArmGlobal111");
  const StoredTransform a2 = readStored(flange, "PartLocalToArmGlobal211");
  for (int i = 0; i < 3; ++i) {
    expectCarries(a1, kFlangeAPoints[i], toPoint(points[i].world), 0.3, "FlangeA");
    expectCarries(a2, kFlangeAPoints[i], toPoint(points[i].world) + kArmPosition2, 0.3,
                  "FlangeA at arm position 2");
  }
  // The line point lands where the part data put it, not where it was touched.
  const StoredTransform b1 = readStored(flange, "PartLocalToArmGlobal121");
  const StoredTransform b2 = readStored(flange, "PartLocalToArmGlobal221");
  for (int i = 0; i < 3; ++i) {
    const Point placed = toPoint(armsim::placePoint(kFlangeB, kFlangeBPoints[i]));
    expectCarries(b1, kFlangeBPoints[i], placed, 0.3, "FlangeB");
    expectCarries(b2, kFlangeBPoints[i], placed + kArmPosition2, 0.3, "FlangeB at arm position 2");
  }
  // The planar panel's frame starts at the first point, along the second.
  const StoredTransform skin = readStored(settings(sandbox, kSkin), "PartLocalToArmGlobal111");
  const std::vector<armsim::Vec3> panel = {{0, 0, 0}, {350, 0, 0}, {100, 200, 0}, {400, 250, 0}};
  for (const armsim::Vec3& p : panel) {
    expectCarries(skin, p, toPoint(armsim::placePoint(kSkinPanel, p)), 0.5, "SkinPanel");
  }
  EXPECT_TRUE(e2e::fileExists(sandbox.wizardDirectory() + "/parts/01_Wing/02_Skin/SkinPanel.quads"));
  EXPECT_EQ(e2e::readFile(settings(sandbox, kSpar)), sparBefore);
}

// One live line of the region test, read back.
struct LiveHit {
  int u = -1, v = -1;
  double distance = 0.0, angle = 0.0;
};

// The live lines of a run (the pieces after each "\r", trailing blanks and
// anything from a line end on cut), repeats collapsed.
std::vector<std::string> liveLines(const std::string& output) {
  std::vector<std::string> lines;
  std::size_t at = output.find('\r');
  while (at != std::string::npos) {
    const std::size_t next = output.find('\r', at + 1);
    std::string piece = output.substr(at + 1, next == std::string::npos ? std::string::npos
                                                                         : next - at - 1);
    piece = piece.substr(0, piece.find('\n'));
    while (!piece.empty() && piece.back() == ' ') piece.pop_back();
    if (lines.empty() || lines.back() != piece) lines.push_back(piece);
    at = next;
  }
  return lines;
}

bool readHit(const std::string& line, LiveHit& hit) {
  static const std::regex pattern(
      R"(\(u,v\)=\((\d{6}),(\d{6})\)\. Distance: (\d{4}\.\d)mm\. Angle: (\d{3}\.\d{2}) deg\.)");
  std::smatch m;
  if (!std::regex_match(line, m, pattern)) return false;
  hit = {std::stoi(m[1]), std::stoi(m[2]), std::stod(m[3]), std::stod(m[4])};
  return true;
}

TEST(DemoJob, TestShowsHitsAMissAndTheOperatorPositionCalibration) {
  Sandbox sandbox;
  sandbox.useDemoSite();
  e2e::RunResult run;
  armsim::GeneratedScenario calibrate;
  ASSERT_NO_FATAL_FAILURE(runCalibrate(sandbox, run, calibrate));

  sandbox.setArmScenario(demoScenario("test").text);
  run = sandbox.run(kTestSteps, kRunTime);
  ASSERT_FALSE(run.timedOut);
  ASSERT_EQ(run.exitStatus, 0) << e2e::visible(run.output);
  EXPECT_TRUE(inOrder(run.output,
                      {"\nDo you want to use an ultrasonic probe? (y/n): ",
                       "Please enter ball probe size, mm (return for 3mm): Ball probe of 3mm "
                       "selected.\nLoading .quads files...\n",
                       "Press 'o' to calibrate operator position for current part position.\n",
                       "\n\nPlease press any key to continue.\n"}));

  // Every hit shown is one of the aims, 48.5 mm away (the ball's centre
  // 1.5 mm nearer than the probe's 50 mm), square on but for the tilted one.
  const std::vector<std::array<int, 2>> aims = {{100, 60}, {20, 60},  {40, 60},  {60, 60},
                                                {80, 60},  {120, 60}, {140, 60}, {160, 60},
                                                {180, 60}, {150, 90}, {50, 100}, {120, 100},
                                                {50, 110}};
  const std::vector<std::string> lines = liveLines(run.output);
  std::vector<std::string> shown;
  for (const std::string& line : lines) {
    LiveHit hit;
    if (!readHit(line, hit)) {
      shown.push_back(line);
      continue;
    }
    SCOPED_TRACE(line);
    EXPECT_NE(std::find(aims.begin(), aims.end(), std::array<int, 2>{hit.u, hit.v}), aims.end());
    EXPECT_NEAR(hit.distance, 48.5, 0.15);
    EXPECT_NEAR(hit.angle, hit.u == 150 ? 25.0 : 0.0, 0.1);
    shown.push_back("hit " + std::to_string(hit.u) + " " + std::to_string(hit.v));
  }
  std::string all;
  for (const std::string& line : shown) all += line + "\n";
  // What must show, in order: the sweep along row 60 (its first steps may
  // hide behind the file's name), the miss past the edge, the tilted aim,
  // and the three clicks with their result.
  EXPECT_TRUE(inOrder(all, {"hit 100 60\n", "File: SkinPanel.\n", "hit 60 60\n", "hit 80 60\n",
                            "hit 100 60\n", "hit 120 60\n", "hit 140 60\n", "hit 160 60\n",
                            "hit 180 60\n",
                            "(u,v)=(______,______). Distance: ______mm. Angle: ______ deg.\n",
                            "hit 150 90\n", "File: SkinPanel.\n",
                            "Click with green button on a quad file.\n",
                            "Click with green button approximately to the right.\n",
                            "Click with green button approximately above.\n",
                            "FlipUAxis correct. FlipVAxis changed. FlipNormals correct.\n"}));

  const IniFileSection quadFile(settings(sandbox, kSkin), "QuadFile1", false);
  EXPECT_EQ(quadFile.getString("FlipUAxis"), "false");
  EXPECT_EQ(quadFile.getString("FlipVAxis"), "true");
  EXPECT_EQ(quadFile.getString("FlipNormals"), "false");
}

// The new arm's frame: the old arm's turned half round about z and moved
// (examples/armsim/relocate.desc).
const armsim::Placement kMove{{0, 0, 180}, {1800, 200, 5}, {}};

std::vector<std::string> backups(const Sandbox& sandbox) {
  std::vector<std::string> found;
  for (const char* region : {kFlange, kSkin, kSpar}) {
    const std::string path = settings(sandbox, region);
    const std::string backup = path.substr(0, path.rfind('.')) + ".oldqini";
    if (e2e::fileExists(backup)) found.push_back(backup);
  }
  return found;
}

TEST(DemoJob, RelocateRefitsEverySectionResetRestoresCleanDeletes) {
  Sandbox sandbox;
  sandbox.useDemoSite();
  e2e::RunResult run;
  armsim::GeneratedScenario calibrate;
  ASSERT_NO_FATAL_FAILURE(runCalibrate(sandbox, run, calibrate));
  std::array<std::string, 3> before;
  const char* const regions[3] = {kFlange, kSkin, kSpar};
  for (int i = 0; i < 3; ++i) before[i] = e2e::readFile(settings(sandbox, regions[i]));
  const std::string flange = settings(sandbox, kFlange);
  std::vector<std::pair<std::string, std::vector<armsim::Vec3>>> sections = {
      {"PartLocalToArmGlobal111", kFlangeAPoints},
      {"PartLocalToArmGlobal211", kFlangeAPoints},
      {"PartLocalToArmGlobal121", kFlangeBPoints},
      {"PartLocalToArmGlobal221", kFlangeBPoints}};
  std::vector<StoredTransform> old;
  for (const auto& [name, points] : sections) old.push_back(readStored(flange, name));
  const StoredTransform oldSpar = readStored(settings(sandbox, kSpar), "PartLocalToArmGlobal111");
  const StoredTransform oldSkin = readStored(settings(sandbox, kSkin), "PartLocalToArmGlobal111");

  // Relocate, relocate again, then reset.
  sandbox.setArmScenario(demoScenario("relocate").text);
  run = sandbox.run(kRelocateAgainAndReset, kRunTime);
  ASSERT_FALSE(run.timedOut);
  ASSERT_EQ(run.exitStatus, 0) << e2e::visible(run.output);
  const std::string skipped = "] is already in this arm's frame. Skipped.\n";
  EXPECT_TRUE(inOrder(
      run.output,
      {"WARNING! Uninitialised psi zero-degree.\n",
       "Calibration points for current arm not found.\n",
       "Please enter ball probe size, mm (return for 3mm): Ball probe of 3mm selected.\n",
       "Please select point 3 using green button. Use red twice to abort.\n",
       "The arm serial number must be input without dashes.\n"
       "Please enter old arm serial number or 0 to exit: Calibrating new arm position...\n",
       "Relocation uncertainty measurement is acceptable.\n"
       "Predicted relocation error at the farthest calibrated point: ",
       " mm.\nSearching for .qini files...\nFound 3 .qini files.\n",
       // The planar panel is carried over too.
       "Processing file: Skin.qini.\nFound arm position 1 and part position 1 for collection 1.\n"
       "Re-calibrating arm and part position...\nSuccessfully updated calibration.\n",
       "Successfully processed 3 of 3 .qini files.\n",
       // The second run finds every section in this arm's frame.
       "Calibration points for current arm found. Do they need updating? (y/n): ",
       "Processing file: Spar.qini.\n",
       "Section [PartLocalToArmGlobal111" + skipped,
       "Successfully processed 3 of 3 .qini files.\n",
       "Searching for .oldqini files...\nNumber of .oldqini files found: 3.\n",
       "Successfully processed 3 of 3 files.\n"}));
  EXPECT_EQ(e2e::countOccurrences(run.output, "Successfully updated calibration.\n"), 6u);
  EXPECT_EQ(e2e::countOccurrences(run.output, skipped), 6u);
  EXPECT_EQ(e2e::countOccurrences(run.output, "not updated"), 0u);
  EXPECT_EQ(e2e::countOccurrences(run.output, "Created file: "), 3u);
  // Restored: every file as before, no backup left.
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(e2e::readFile(settings(sandbox, regions[i])), before[i]) << regions[i];
  }
  EXPECT_TRUE(backups(sandbox).empty());
  // The new arm's cell points are stored: the old arm's seen from the new arm
  // (read back in single precision, as the program reads them).
  const std::string configuration = sandbox.applicationDataDirectory() + "/WinVLPosetta.ini";
  const IniFileSection cell(configuration, "ArmCalibrationPoints", false);
  for (int j = 0; j < 3; ++j) {
    armsim::Vec3 old;
    double* coordinates[3] = {&old.x, &old.y, &old.z};
    for (int i = 0; i < 3; ++i) {
      *coordinates[i] =
          cell.getDouble(("P080301198_" + std::to_string(j) + std::to_string(i)).c_str());
    }
    const armsim::Vec3 seen = armsim::placePoint(kMove, old);
    EXPECT_NEAR(cell.getDouble(("P08120042_" + std::to_string(j) + "0").c_str()), seen.x, 1e-3);
    EXPECT_NEAR(cell.getDouble(("P08120042_" + std::to_string(j) + "1").c_str()), seen.y, 1e-3);
    EXPECT_NEAR(cell.getDouble(("P08120042_" + std::to_string(j) + "2").c_str()), seen.z, 1e-3);
  }

  // Relocate again (the new arm's points are stored now), then clean.
  run = sandbox.run(kRelocateAndClean, kRunTime);
  ASSERT_FALSE(run.timedOut);
  ASSERT_EQ(run.exitStatus, 0) << e2e::visible(run.output);
  EXPECT_TRUE(inOrder(
      run.output,
      {"Calibration points for current arm found. Do they need updating? (y/n): ",
       "Found 3 .qini files.\n", "Successfully processed 3 of 3 .qini files.\n",
       "Number of .oldqini files found: 3.\n", "Deleted file: ", "Deleted file: ",
       "Deleted file: ", "Successfully processed 3 of 3 files.\n"}));
  EXPECT_EQ(run.output.find("Please select point 1"), std::string::npos);
  EXPECT_TRUE(backups(sandbox).empty());
  // The journal: after the calibration's seven rows, six relocated sections
  // (the second relocation changed nothing), three restores, six relocated
  // sections again and three deletions; the relocation rows carry this run's
  // fit figures and the new arm.
  const std::vector<std::vector<std::string>> journal = calibtest::readJournal(sandbox);
  ASSERT_EQ(journal.size(), 1u + 7u + 6u + 3u + 6u + 3u);
  std::map<std::string, int> operations;
  for (std::size_t r = 8; r < journal.size(); ++r) ++operations[journal[r][1]];
  EXPECT_EQ(operations, (std::map<std::string, int>{{"relocation", 12}, {"reset", 3}, {"clean", 3}}));
  const std::vector<std::string>& relocated = journal[journal.size() - 4];
  EXPECT_EQ(relocated[1], "relocation");
  EXPECT_EQ(relocated[4], "P08120042");
  EXPECT_EQ(relocated[5], calibtest::printedValue(run.output, "Relocation uncertainty measurement: "));
  EXPECT_EQ(relocated[7], calibtest::printedValue(run.output, "farthest calibrated point: "));
  EXPECT_TRUE(journal.back()[2].ends_with(".oldqini")) << journal.back()[2];
  // Each re-fitted section places its part points where the old one did,
  // seen from the new arm, and so does the planar panel's composed one; each
  // carries the new arm's serial.
  for (std::size_t s = 0; s < sections.size(); ++s) {
    const StoredTransform now = readStored(flange, sections[s].first);
    for (const armsim::Vec3& p : sections[s].second) {
      const Point was = old[s].apply(toPoint(p));
      expectCarries(now, p, toPoint(armsim::placePoint(kMove, {was.x, was.y, was.z})), 0.05,
                    sections[s].first);
    }
  }
  const StoredTransform spar = readStored(settings(sandbox, kSpar), "PartLocalToArmGlobal111");
  for (const armsim::Vec3& p : kSparPoints) {
    const Point was = oldSpar.apply(toPoint(p));
    expectCarries(spar, p, toPoint(armsim::placePoint(kMove, {was.x, was.y, was.z})), 0.05, "Spar");
  }
  const StoredTransform skin = readStored(settings(sandbox, kSkin), "PartLocalToArmGlobal111");
  for (const armsim::Vec3& p : {armsim::Vec3{0, 0, 0}, armsim::Vec3{400, 0, 0},
                                armsim::Vec3{0, 250, 0}, armsim::Vec3{400, 250, 0}}) {
    const Point was = oldSkin.apply(toPoint(p));
    expectCarries(skin, p, toPoint(armsim::placePoint(kMove, {was.x, was.y, was.z})), 0.05, "Skin");
  }
  for (const char* region : {kFlange, kSkin, kSpar}) {
    EXPECT_EQ(e2e::countOccurrences(e2e::readFile(settings(sandbox, region)),
                                    "ArmSerial=P08120042\r\n"),
              region == kFlange ? 4u : 1u)
        << region;
  }
}

}  // namespace
