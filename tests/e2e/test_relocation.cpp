// "Reuse part calibrations", "Reset new part calibrations" and "Clean old
// part calibrations" end to end: the real program, the virtual arm playing a
// new arm (serial N-77-2) that touches the cell points of an old arm
// (OLD4711) seen from a known rigid move, and a wizard tree whose transform
// sections come from known placements in the old arm's frame.
//
// The expected positions are computed here independently of the program's
// geometry: a transform section (origin O, angles about X, Y, Z in degrees,
// translation T) places a part point P at O + Rz Ry Rx (P - O) + T.
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "E2eHarness.h"
#include "IniFileSection.h"

namespace {

namespace fs = std::filesystem;
using e2e::keyPrompt;
using e2e::mainMenuScreen;
using e2e::Sandbox;
using e2e::transcriptsMatch;

using Vec3 = std::array<double, 3>;
using Triangle = std::array<Vec3, 3>;

// A part transform section's values.
struct Placement {
  Vec3 origin;
  Vec3 angles;  // degrees
  Vec3 translation;
};

Vec3 rotateXYZ(const Vec3& degrees, Vec3 v) {
  for (int axis = 0; axis < 3; ++axis) {
    const double a = degrees[axis] * 3.14159265358979323846 / 180.0;
    const double c = std::cos(a), s = std::sin(a);
    const int i = (axis + 1) % 3, j = (axis + 2) % 3;
    const double vi = v[i], vj = v[j];
    v[i] = c * vi - s * vj;
    v[j] = s * vi + c * vj;
  }
  return v;
}

Vec3 place(const Placement& p, const Vec3& point) {
  const Vec3 turned =
      rotateXYZ(p.angles, {point[0] - p.origin[0], point[1] - p.origin[1], point[2] - p.origin[2]});
  return {p.origin[0] + turned[0] + p.translation[0], p.origin[1] + turned[1] + p.translation[1],
          p.origin[2] + turned[2] + p.translation[2]};
}

std::string number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.16f", value);
  return text;
}

const char* const kKeys[9] = {"RotationOriginX", "RotationOriginY", "RotationOriginZ",
                              "RotationAngleX",  "RotationAngleY",  "RotationAngleZ",
                              "TranslationX",    "TranslationY",    "TranslationZ"};

std::string transformSection(const std::string& name, const Placement& p) {
  std::string text = "[" + name + "]\r\n";
  const Vec3* groups[3] = {&p.origin, &p.angles, &p.translation};
  for (int k = 0; k < 9; ++k) text += kKeys[k] + ("=" + number((*groups[k / 3])[k % 3])) + "\r\n";
  return text;
}

std::string pointsSection(const std::string& name, const Triangle& points) {
  std::string text = "[" + name + "]\r\n";
  for (int i = 0; i < 3; ++i) {
    for (int axis = 0; axis < 3; ++axis) {
      text +=
          std::string(1, "xyz"[axis]) + std::to_string(i) + "=" + number(points[i][axis]) + "\r\n";
    }
  }
  return text;
}

// The old arm's cell points and the move that carries the old arm's frame
// into the new arm's (every value exact in single precision, so that the
// program's single-precision reads lose nothing before it writes).
const Triangle kOldArmPoints = {{{1200, -300, 50}, {-200, 900, 75}, {400, 300, 1100}}};
const Placement kMove = {{250, 100, 0}, {5, -12.5, 160}, {-800.25, 1320.5, -45}};
const char* const kOldSerial = "OLD4711";
const char* const kNewSerialText = "N-77-2";
const char* const kNewSerial = "N772";

Triangle newArmPoints() {
  Triangle points;
  for (int j = 0; j < 3; ++j) points[j] = place(kMove, kOldArmPoints[j]);
  return points;
}

std::string armPointLines(const std::string& serial, const Triangle& points, int keys = 9) {
  std::string text;
  for (int k = 0; k < keys; ++k) {
    text += serial + "_" + std::to_string(k / 3) + std::to_string(k % 3) + "=" +
            number(points[k / 3][k % 3]) + "\r\n";
  }
  return text;
}

// Psi correction of the new arm, the old arm's points, an arm with eight of
// its nine keys, and optionally points stored for the new arm.
std::string armConfiguration(const std::string& newArmLines = "") {
  return std::string("[ArmPsiDeltas]\r\n") + kNewSerial + "=0.0000000000000000\r\n" +
         "[ArmCalibrationPoints]\r\n" + armPointLines(kOldSerial, kOldArmPoints) +
         armPointLines("HALF1", kOldArmPoints, 8) + newArmLines;
}

// The new arm pressing green at each point, probe axis (0, 0, 1); the point
// is recorded a quarter of the ball (0.75 mm for the 3 mm ball) beyond the
// measuring point along the axis.
std::string greenRecords(const Triangle& points, double tipOffset = 0.75) {
  std::string text;
  for (const Vec3& p : points) {
    char line[160];
    std::snprintf(line, sizeof line, "record %.9f %.9f %.9f 30 0 45 green\n", p[0], p[1],
                  p[2] - tipOffset);
    text += line;
  }
  return text;
}

std::string scenario(const std::string& records) {
  return std::string("serial ") + kNewSerialText + "\n" + records;
}

const std::string kStartup =
    "Initialising arm... Hold ctrl for arm information.\n"
    "Detected: wizard directory.\nDirectory mode: Wizard.\n";
const std::string kQuestion =
    "Calibration points for current arm found. Do they need updating? (y/n): ";
const std::string kSerialIntro = "The arm serial number must be input without dashes.\n";
const std::string kSerialPrompt = "Please enter old arm serial number or 0 to exit: ";
const std::string kBall =
    "Please enter ball probe size, mm (return for 3mm): Ball probe of 3mm selected.\n";
// The relocation fit's report as normalised() shows it.
const std::string kFitReport =
    "Calibrating new arm position...\nPoint 0 distance: Dmm.\nPoint 1 distance: Dmm.\n"
    "Point 2 distance: Dmm.\nRelocation uncertainty measurement: U.\n";
// The predicted error line (either form) as normalised() shows it.
const std::string kPredicted = "Predicted relocation error: E\n";
const std::string kFitAcceptable =
    kFitReport + "Relocation uncertainty measurement is acceptable.\n" + kPredicted;
const std::string kFitUnacceptable =
    kFitReport + "\n" + std::string(54, '*') + "\n* Relocation uncertainty measurement is " +
    "UNACCEPTABLE *\n" + std::string(54, '*') + "\n\n" + kPredicted +
    "Update the part calibrations anyway? (y/n): ";

// The output with the fit's measured numbers replaced by D (distances) and U
// (the mean squared residual), which depend on rounding, and the predicted
// error line by kPredicted.
std::string normalised(const std::string& output) {
  static const std::regex distance("(Point [0-2] distance: )[^\n]*mm\\.");
  static const std::regex uncertainty("(Relocation uncertainty measurement: )[^\n]*\\.\n");
  static const std::regex predicted("Predicted relocation error at the farthest [^\n]*\n");
  return std::regex_replace(
      std::regex_replace(std::regex_replace(output, distance, "$1Dmm."), uncertainty, "$1U.\n"),
      predicted, kPredicted);
}

std::string selectPoints() {
  std::string text;
  for (int j = 1; j <= 3; ++j) {
    text += "Please select point " + std::to_string(j) +
            " using green button. Use red twice to abort.\n";
  }
  return text;
}

std::string found(int a, int p, int c) {
  return "Found arm position " + std::to_string(a) + " and part position " + std::to_string(p) +
         " for collection " + std::to_string(c) + ".\n";
}
std::string foundOlder(const std::string& name, int a) {
  return "Found section [" + name + "], the older name of arm position " + std::to_string(a) +
         " and part position 1 for collection 1.\n";
}
const std::string kRefit = "Re-calibrating arm and part position...\n";
const std::string kUpdated = "Successfully updated calibration.\n";

// One transform section of the tree and what the relocation must do to it.
struct TreeSection {
  std::string file;  // relative to the wizard directory, '/'-separated
  std::string name;
  Triangle partPoints;
  Placement old;
  bool refitted;
};

// A wizard tree under construction: file texts and the sections to check.
struct Tree {
  std::map<std::string, std::string> files;
  std::vector<TreeSection> sections;

  void text(const std::string& file, const std::string& content) { files[file] += content; }
  void transform(const std::string& file, const std::string& name, const Triangle& points,
                 const Placement& placement, bool refitted) {
    files[file] += transformSection(name, placement);
    sections.push_back({file, name, points, placement, refitted});
  }
  void write(const Sandbox& sandbox) const {
    for (const auto& [file, content] : files) {
      fs::create_directories(fs::path(sandbox.wizardDirectory() + "/" + file).parent_path());
      e2e::writeFile(sandbox.wizardDirectory() + "/" + file, content);
    }
  }
};

// The file name as the program prints it (the wizard tree below the
// application-data directory of the sandbox's profile).
std::string programPath(const Sandbox& sandbox, const std::string& relative) {
  std::string inTree = relative;
  for (char& c : inTree) c = c == '/' ? '\\' : c;
  return sandbox.profileDirectory() +
         "\\Application Data\\Kestrel Ward\\Velloran 2\\vl2_settings\\" + inTree;
}

std::string backupOf(const std::string& path) {
  return path.substr(0, path.rfind('.')) + ".oldqini";
}

// The lines of one section, header included ("" when it is not there).
std::string sectionBlock(const std::string& content, const std::string& name) {
  const std::string header = "[" + name + "]";
  std::size_t begin = content.find(header);
  while (begin != std::string::npos && begin != 0 && content[begin - 1] != '\n') {
    begin = content.find(header, begin + 1);
  }
  if (begin == std::string::npos) return "";
  std::size_t end = content.find("\n[", begin);
  end = end == std::string::npos ? content.size() : end + 1;
  return content.substr(begin, end - begin);
}

// The nine values of a section as the file states them (full precision);
// false when one is missing or not a number.
bool sectionValues(const std::string& block, std::array<double, 9>& values) {
  std::istringstream lines(block);
  std::map<std::string, std::string> keys;
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t equals = line.find('=');
    if (equals != std::string::npos) keys[line.substr(0, equals)] = line.substr(equals + 1);
  }
  for (int k = 0; k < 9; ++k) {
    const auto it = keys.find(kKeys[k]);
    if (it == keys.end()) return false;
    char* end = nullptr;
    values[k] = std::strtod(it->second.c_str(), &end);
    if (end == it->second.c_str() || *end != '\0') return false;
  }
  return true;
}

Placement placementOf(const std::array<double, 9>& v) {
  return {{v[0], v[1], v[2]}, {v[3], v[4], v[5]}, {v[6], v[7], v[8]}};
}

// Largest distance between where the placement puts the part points and where
// the old placement followed by the move puts them.
double relocationError(const Placement& now, const TreeSection& s) {
  double worst = 0.0;
  for (const Vec3& p : s.partPoints) {
    const Vec3 got = place(now, p);
    const Vec3 want = place(kMove, place(s.old, p));
    for (int i = 0; i < 3; ++i) worst = std::max(worst, std::abs(got[i] - want[i]));
  }
  return worst;
}

// The section read back through IniFileSection (single precision, as every
// reader of the system sees it).
Placement readPlacement(const std::string& path, const std::string& name) {
  const IniFileSection section(path, name, false);
  std::array<double, 9> v{};
  for (int k = 0; k < 9; ++k) v[k] = section.getDouble(kKeys[k]);
  return placementOf(v);
}

// Every line of a settings file is blank, a section header or key=value.
bool parsesAsSettings(const std::string& content) {
  std::istringstream lines(content);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;
    if (line.front() == '[' && line.back() == ']') continue;
    if (line.find('=') == std::string::npos) return false;
  }
  return true;
}

const Triangle kTop = {{{0, 0, 0}, {300, 0, 0}, {0, 200, 0}}};
const Triangle kRim = {{{-100, 50, 20}, {150, 60, -30}, {20, -220, 90}}};
// Collinear: taking it for collection 1 would fail the re-fit.
const Triangle kDecoy = {{{5, 5, 5}, {6, 5, 5}, {7, 5, 5}}};
const Triangle kCollinear = {{{0, 0, 0}, {100, 0, 0}, {200, 0, 0}}};
const Triangle kBase = {{{-250, -250, 0}, {250, -250, 10}, {0, 250, -40}}};

Placement placement(double o, double ax, double ay, double az, double tx, double ty, double tz) {
  return {{o, -o / 2, 10}, {ax, ay, az}, {tx, ty, tz}};
}

// Three parts and regions; sections numbered 1..8 and the older names are
// carried over (re-fitted to their part points, or composed where the points
// are collinear or a key is missing); sections with a 9 and a section that
// cannot be read are not.
Tree relocationTree() {
  Tree tree;
  const std::string top = "parts/01_Alpha/01_Top/Alpha.qini";
  tree.text(top,
            "[Region]\r\nNumberOfPartPositions=2\r\n[QuadFile]\r\nName=top.quads\r\n"
            "CollectionIndex=1\r\n[QuadFile2]\r\nName=rim.quads\r\nCollectionIndex=2\r\n");
  // The plain name wins over PartCalibrationPoints1 for collection 1.
  tree.text(top, pointsSection("PartCalibrationPoints", kTop));
  tree.text(top, pointsSection("PartCalibrationPoints1", kDecoy));
  tree.text(top, pointsSection("PartCalibrationPoints2", kRim));
  tree.transform(top, "PartLocalToArmGlobal212", kTop,
                 placement(100, 30, -45.5, 120.25, 1000.5, -250, 300.75), true);
  tree.transform(top, "PartLocalToArmGlobal111", kTop, placement(100, 10, 20, 30, 700, 100, 50),
                 true);
  tree.transform(top, "PartLocalToArmGlobal121", kRim,
                 placement(-20, -60, 15.5, -170, 900, 400, -10), true);
  tree.transform(top, "PartLocalToArmGlobal112", kTop, placement(4, 0, 0, 90, 800, -300, 0), true);
  tree.transform(top, "PartLocalToArmGlobal191", kTop, placement(1, 1, 2, 3, 4, 5, 6), false);

  const std::string side = "parts/01_Alpha/02_Side/Alpha.qini";
  tree.text(side, pointsSection("PartCalibrationPoints1", kRim));
  tree.text(side, pointsSection("PartCalibrationPoints2", kCollinear));
  tree.text(side,
            "[PartCalibrationPoints3]\r\nx0=1\r\ny0=2\r\nz0=3\r\nx1=4\r\ny1=5\r\nz1=6\r\n"
            "x2=7\r\ny2=8\r\n");
  tree.text(side, pointsSection("PartCalibrationPoints8", kBase));
  tree.transform(side, "PartLocalToArmGlobal888", kBase, placement(50, -5, -10, -15, 600, 600, 600),
                 true);
  tree.transform(side, "PartLocalToArmGlobal111", kRim, placement(-8, 45, 45, 45, 1200, 0, 100),
                 true);
  tree.transform(side, "PartLocalToArmGlobal121", kCollinear, placement(2, 1, 1, 1, 1, 1, 1),
                 true);
  tree.transform(side, "PartLocalToArmGlobal131", kTop, placement(3, 1, 1, 1, 1, 1, 1), true);
  tree.transform(side, "PartLocalToArmGlobal231", kTop, placement(5, 1, 1, 1, 1, 1, 1), true);
  tree.text(side,
            "[PartLocalToArmGlobal141]\r\nRotationAngleX=1\r\nRotationAngleY=2\r\n"
            "RotationAngleZ=3\r\nTranslationX=4\r\nTranslationZ=6\r\nRotationOriginX=0\r\n"
            "RotationOriginY=0\r\nRotationOriginZ=0\r\n");
  tree.transform(side, "PartLocalToArmGlobal911", kRim, placement(9, 9, 9, 9, 9, 9, 9), false);

  const std::string base = "parts/02_Beta/01_Base/Beta.qini";
  tree.text(base, pointsSection("PartCalibrationPoints", kBase));
  tree.transform(base, "PartLocalToArmGlobal711", kBase,
                 placement(-30, 179.5, -0.25, 60, -400, 800, 20), true);
  tree.transform(base, "PartLocalToArmGlobal111", kBase, placement(12, -90, 0, 0, 0, 1000, 1000),
                 true);
  tree.transform(base, "PartLocalToArmGlobal119", kBase, placement(1, 2, 3, 4, 5, 6, 7), false);
  tree.transform(base, "PartLocalToArmGlobal", kBase, placement(1, 2, 3, 4, 5, 6, 7), true);
  tree.transform(base, "PartLocalToArmGlobal1", kBase, placement(7, 6, 5, 4, 3, 2, 1), true);
  return tree;
}

// What the relocation prints for relocationTree() after the file count,
// the summary and the list of what was not updated included.
std::string relocationTreeLines(const Sandbox& sandbox) {
  const std::string side = programPath(sandbox, "parts/01_Alpha/02_Side/Alpha.qini");
  const std::string moved = kRefit + kUpdated;
  return "Processing file: Alpha.qini.\n" + found(1, 1, 1) + moved + found(1, 1, 2) + moved +
         found(1, 2, 1) + moved + found(2, 2, 1) + moved +
         // Side: collinear collection 2 and collection 3 without z2 composed;
         // 141 lacks a key.
         "Processing file: Alpha.qini.\n" + found(1, 1, 1) + moved + found(1, 1, 2) + moved +
         found(1, 1, 3) + moved + found(2, 1, 3) + moved + found(8, 8, 8) + moved +
         // Beta: arm positions 1 and 7 of collection 1, then the older names.
         "Processing file: Beta.qini.\n" + found(1, 1, 1) + moved + found(7, 1, 1) + moved +
         foundOlder("PartLocalToArmGlobal1", 1) + moved +
         foundOlder("PartLocalToArmGlobal", 1) + moved +
         "Successfully processed 3 of 3 .qini files.\n"
         "1 calibration sections were not updated; calibrate them again:\n"
         "Section [PartLocalToArmGlobal141] of " +
         side + ".\n";
}

std::string path(const Sandbox& sandbox, const std::string& relative) {
  return sandbox.wizardDirectory() + "/" + relative;
}

// Every section of the tree after a complete relocation: re-fitted ones carry
// the part points onto the new arm's coordinates, the others are unchanged,
// every file has its byte-identical backup, and nothing else changed.
void expectRelocated(const Sandbox& sandbox, const Tree& tree) {
  double worst = 0.0;
  for (const TreeSection& s : tree.sections) {
    SCOPED_TRACE(s.file + " [" + s.name + "]");
    const std::string content = e2e::readFile(path(sandbox, s.file));
    const std::string original = tree.files.at(s.file);
    if (s.refitted) {
      const double error = relocationError(readPlacement(path(sandbox, s.file), s.name), s);
      EXPECT_LT(error, 1e-3);
      worst = std::max(worst, error);
      // Stamped with the new arm, after the nine keys.
      EXPECT_NE(sectionBlock(content, s.name).find("TranslationZ="), std::string::npos);
      EXPECT_NE(sectionBlock(content, s.name).find("\r\nArmSerial=N772\r\n"), std::string::npos);
    } else {
      EXPECT_EQ(sectionBlock(content, s.name), sectionBlock(original, s.name));
    }
  }
  std::cout << "[ relocation ] largest deviation " << worst << " mm\n";
  for (const auto& [file, original] : tree.files) {
    SCOPED_TRACE(file);
    std::string remainder = e2e::readFile(path(sandbox, file));
    std::string before = original;
    for (const TreeSection& s : tree.sections) {
      if (s.file != file || !s.refitted) continue;
      remainder.erase(remainder.find(sectionBlock(remainder, s.name)),
                      sectionBlock(remainder, s.name).size());
      before.erase(before.find(sectionBlock(before, s.name)), sectionBlock(before, s.name).size());
    }
    EXPECT_EQ(remainder, before);
    EXPECT_EQ(e2e::readFile(backupOf(path(sandbox, file))), original);
    // The file and its backup, nothing left over.
    EXPECT_EQ(e2e::directoryEntries(fs::path(path(sandbox, file)).parent_path().string()),
              (std::vector<std::string>{fs::path(backupOf(file)).filename().string(),
                                        fs::path(file).filename().string()}));
  }
}

void expectTreeUnchanged(const Sandbox& sandbox, const Tree& tree) {
  for (const auto& [file, original] : tree.files) {
    EXPECT_EQ(e2e::readFile(path(sandbox, file)), original) << file;
    EXPECT_FALSE(e2e::fileExists(backupOf(path(sandbox, file)))) << file;
  }
}

std::string configurationText(const Sandbox& sandbox) {
  return e2e::readFile(sandbox.applicationDataDirectory() + "/WinVLPosetta.ini");
}

TEST(ReusePartCalibrations, CarriesEverySectionOntoTheNewArmAndResetRestoresTheTree) {
  Sandbox sandbox;
  const Tree tree = relocationTree();
  tree.write(sandbox);
  sandbox.setArmConfiguration(armConfiguration());
  sandbox.setArmScenario(scenario(greenRecords(newArmPoints())));
  // No points stored for the new arm: they are recorded. HALF1 lacks a key.
  const e2e::RunResult run = sandbox.run("10\n\nHALF1\nOLD4711\n 16\n");
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(
      kStartup + mainMenuScreen() + "Calibration points for current arm not found.\n" + kBall +
          selectPoints() + kSerialIntro + kSerialPrompt + "Existing points not found." +
          kSerialPrompt + kFitAcceptable + "Searching for .qini files...\n" +
          "Found 3 .qini files.\n" + relocationTreeLines(sandbox) + keyPrompt() + mainMenuScreen(),
      normalised(run.output)));
  expectRelocated(sandbox, tree);
  // The recorded points are stored under the new serial.
  const std::string configuration = configurationText(sandbox);
  const Triangle recorded = newArmPoints();
  for (int k = 0; k < 9; ++k) {
    const std::string key =
        std::string(kNewSerial) + "_" + std::to_string(k / 3) + std::to_string(k % 3) + "=";
    const std::size_t at = configuration.find(key);
    ASSERT_NE(at, std::string::npos) << key;
    EXPECT_NEAR(std::strtod(configuration.c_str() + at + key.size(), nullptr),
                recorded[k / 3][k % 3], 1e-6);
  }

  // Reset puts every file back byte for byte and removes the backups; a
  // second reset and a clean-up find nothing.
  const e2e::RunResult reset = sandbox.run("11\n 11\n 12\n 16\n");
  EXPECT_EQ(reset.exitStatus, 0);
  const std::string nothing =
      "Searching for .oldqini files...\nNo .oldqini files found. Aborting...\n";
  EXPECT_TRUE(transcriptsMatch(
      kStartup + mainMenuScreen() +
          "Searching for .oldqini files...\nNumber of .oldqini files found: 3.\n"
          "Created file: Alpha.qini.\nCreated file: Alpha.qini.\nCreated file: Beta.qini.\n"
          "Successfully processed 3 of 3 files.\n" +
          keyPrompt() + mainMenuScreen() + nothing + keyPrompt() + mainMenuScreen() + nothing +
          keyPrompt() + mainMenuScreen(),
      reset.output));
  expectTreeUnchanged(sandbox, tree);
}

// A one-file tree for the prompt cases.
Tree smallTree() {
  Tree tree;
  const std::string file = "parts/01_Gear/01_Hub/Gear.qini";
  tree.text(file, pointsSection("PartCalibrationPoints1", kRim));
  tree.transform(file, "PartLocalToArmGlobal111", kRim, placement(-8, 45, 45, 45, 1200, 0, 100),
                 true);
  return tree;
}

// The relocation of smallTree() after the fit's verdict.
std::string smallTreeMoved(const std::string& fileName = "Gear.qini") {
  return "Searching for .qini files...\nFound 1 .qini files.\nProcessing file: " + fileName +
         ".\n" + found(1, 1, 1) + kRefit + kUpdated +
         "Successfully processed 1 of 1 .qini files.\n";
}
std::string smallTreeRun(const std::string& fileName = "Gear.qini") {
  return kFitAcceptable + smallTreeMoved(fileName);
}

TEST(ReusePartCalibrations, PromptsAndEarlyEnds) {
  const std::string stored = armPointLines(kNewSerial, newArmPoints());
  const Triangle stale = {{{1, 2, 3}, {4, 5, 6}, {7, 8, 10}}};
  // Cell points of which one was touched 10 mm off: an unacceptable fit.
  Triangle mistouched = newArmPoints();
  mistouched[2][0] += 10.0;
  const std::string red = "record 0 0 0 0 0 0 red x2\n";
  const std::string question = kQuestion;
  enum class After { Relocated, Unchanged, Moved };
  struct Case {
    const char* name;
    std::string newArmLines;  // stored points of the new arm
    std::string records;
    const char* script;
    std::string lines;  // printed between the menu and the key prompt
    After tree;         // Moved: relocated by another map than the cell's move
    bool inputEnds;     // the program ends at the prompt
    bool storedKept;    // the configuration file is unchanged
  };
  const Case cases[] = {
      // Any other character repeats the question; N keeps the stored points
      // (the arm would abort on red if it were asked to record).
      // The old serial typed with dashes, as printed on the arm.
      {"x then N keeps the stored points", stored, red, "10\nx\nN\nOLD-47-11\n 16\n",
       question + question + kSerialIntro + kSerialPrompt + smallTreeRun(), After::Relocated, false,
       true},
      // y records again over stale points, with the ball of the run.
      {"y records again", armPointLines(kNewSerial, stale), greenRecords(newArmPoints()),
       "10\ny\n\nOLD4711\n 16\n",
       question + kBall + selectPoints() + kSerialIntro + kSerialPrompt + smallTreeRun(),
       After::Relocated, false, false},
      {"incomplete old serial, then 0", stored, red, "10\nn\nHALF1\nUNKNOWN\n0\n 16\n",
       question + kSerialIntro + kSerialPrompt + "Existing points not found." + kSerialPrompt +
           "Existing points not found." + kSerialPrompt,
       After::Unchanged, false, true},
      // An abort at any point stores nothing: no old and new points mixed.
      {"red twice at point 3", "", "record 1 2 3 30 0 45 green\nrecord 4 5 6 30 0 45 green\n" + red,
       "10\n\n 16\n", "Calibration points for current arm not found.\n" + kBall + selectPoints(),
       After::Unchanged, false, true},
      {"input ends at the y/n question", stored, red, "10\n", question, After::Unchanged, true,
       true},
      // Points recorded before the input ended are kept.
      {"input ends at the serial prompt", stored, greenRecords(newArmPoints()), "10\nY\n\n",
       question + kBall + selectPoints() + kSerialIntro + kSerialPrompt, After::Unchanged, true,
       false},
      {"old points on one line", stored, red, "10\nn\nFLAT\n 16\n",
       question + kSerialIntro + kSerialPrompt +
           "Calibrating new arm position...\nRigid-body transform calculation fail. Aborting...\n",
       After::Unchanged, false, true},
      // An unacceptable relocation fit: 'n' abandons before any file is
      // touched, the freshly recorded points included; 'y' goes ahead.
      {"unacceptable fit, n", "", greenRecords(mistouched), "10\n\nOLD4711\nx\nn\n 16\n",
       "Calibration points for current arm not found.\n" + kBall + selectPoints() + kSerialIntro +
           kSerialPrompt + kFitUnacceptable + "Update the part calibrations anyway? (y/n): " +
           "Relocation abandoned. No file was changed.\n",
       After::Unchanged, false, true},
      {"unacceptable fit, y", armPointLines(kNewSerial, mistouched), red,
       "10\nn\nOLD4711\ny\n 16\n",
       question + kSerialIntro + kSerialPrompt + kFitUnacceptable + smallTreeMoved(), After::Moved,
       false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Sandbox sandbox;
    const Tree tree = smallTree();
    tree.write(sandbox);
    const Triangle flat = {{{0, 0, 0}, {10, 0, 0}, {20, 0, 0}}};
    sandbox.setArmConfiguration(armConfiguration(c.newArmLines + armPointLines("FLAT", flat)));
    sandbox.setArmScenario(scenario(c.records));
    const std::string before = configurationText(sandbox);
    const e2e::RunResult run = sandbox.run(c.script);
    ASSERT_FALSE(run.timedOut);
    if (c.inputEnds) {
      EXPECT_EQ(run.exitStatus, 2);
      EXPECT_TRUE(transcriptsMatch(
          kStartup + mainMenuScreen() + c.lines + "\nConsole input ended.\n", normalised(run.output)));
    } else {
      EXPECT_EQ(run.exitStatus, 0);
      EXPECT_TRUE(transcriptsMatch(
          kStartup + mainMenuScreen() + c.lines + keyPrompt() + mainMenuScreen(),
          normalised(run.output)));
    }
    if (c.tree == After::Relocated) {
      expectRelocated(sandbox, tree);
    } else if (c.tree == After::Unchanged) {
      expectTreeUnchanged(sandbox, tree);
    } else {
      const TreeSection& s = tree.sections.front();
      EXPECT_GT(relocationError(readPlacement(path(sandbox, s.file), s.name), s), 0.1);
      EXPECT_EQ(e2e::readFile(backupOf(path(sandbox, s.file))), tree.files.at(s.file));
    }
    EXPECT_EQ(configurationText(sandbox) == before, c.storedKept);
  }
}

TEST(ReusePartCalibrations, WithoutTheArmOrWithoutFilesNothingIsTouched) {
  {
    Sandbox sandbox;
    const Tree tree = smallTree();
    tree.write(sandbox);
    sandbox.setArmScenario("fail open\n");
    const e2e::RunResult run = sandbox.run("y\n10\n 16\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_NE(run.output.find(mainMenuScreen() +
                              "The arm is not available: it was not initialised at start-up.\n" +
                              keyPrompt()),
              std::string::npos)
        << e2e::visible(run.output);
    expectTreeUnchanged(sandbox, tree);
  }
  {
    Sandbox sandbox;
    sandbox.buildWizardTree("parts/01_Empty/01_Region/notes.txt\n");
    sandbox.setArmConfiguration(armConfiguration(armPointLines(kNewSerial, newArmPoints())));
    sandbox.setArmScenario(scenario(""));
    const e2e::RunResult run = sandbox.run("10\nn\nOLD4711\n 16\n");
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(transcriptsMatch(kStartup + mainMenuScreen() + kQuestion + kSerialIntro +
                                     kSerialPrompt + kFitAcceptable +
                                     "Searching for .qini files...\nNo .qini files found. "
                                     "Aborting...\n" +
                                     keyPrompt() + mainMenuScreen(),
                                 normalised(run.output)));
  }
}

TEST(ReusePartCalibrations, TheBallProbeOfTheRunMovesTheRecordedPointsAlongTheProbeAxis) {
  Sandbox sandbox;
  Tree tree;
  // Named after its region, so that "Calibrate collection" finds it.
  const std::string file = "parts/01_Gear/01_Hub/Hub.qini";
  tree.text(file, "[QuadFile1]\r\nName=Hub.quads\r\nCollectionIndex=1\r\n");
  tree.text(file, pointsSection("PartCalibrationPoints1", kRim));
  tree.transform(file, "PartLocalToArmGlobal111", kRim, placement(-8, 45, 45, 45, 1200, 0, 100),
                 true);
  tree.write(sandbox);
  sandbox.setArmConfiguration(armConfiguration());
  // "Calibrate collection" chooses the 6 mm ball (radius 3) and is then
  // aborted (red for the image, red twice at point 1). The new arm's
  // measuring point is 1.5 mm short of the cell points along the probe axis
  // (0, 0, 1), so only a recording with the tip offset finds them.
  Triangle shortOfTip = newArmPoints();
  for (Vec3& p : shortOfTip) p[2] -= 1.5;
  sandbox.setArmScenario(
      scenario("record 0 0 0 0 0 0 red x3\n" + greenRecords(shortOfTip, 0.0)));
  const e2e::RunResult run = sandbox.run("3\n6\n 10\nOLD4711\n 16\n");
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_NE(run.output.find("Ball probe of 6mm selected.\n"), std::string::npos);
  // The ball was chosen in this run already: no second question.
  EXPECT_EQ(e2e::countOccurrences(run.output, "Please enter ball probe size"), 1u);
  EXPECT_NE(normalised(run.output).find(smallTreeRun("Hub.qini")), std::string::npos)
      << e2e::visible(run.output);
  expectRelocated(sandbox, tree);
}

// The stamps decide what is moved: a section of the old arm (stamped or
// written by older software) is carried over, one already in this arm's
// frame is skipped, one of a third arm is skipped and listed. A second run
// finds everything in this arm's frame and changes nothing; an earlier
// backup is never replaced, and a file with nothing to change gets none.
TEST(ReusePartCalibrations, StampsDecideWhatMovesAndASecondRunChangesNothing) {
  Sandbox sandbox;
  Tree tree;
  const std::string gear = "parts/01_Gear/01_Hub/Gear.qini";
  const std::string pump = "parts/02_Pump/01_Body/Pump.qini";
  const std::string stamp = "ArmSerial=";
  tree.text(gear, pointsSection("PartCalibrationPoints1", kRim));
  tree.transform(gear, "PartLocalToArmGlobal111", kRim, placement(-8, 45, 45, 45, 1200, 0, 100),
                 true);
  tree.text(gear, stamp + kOldSerial + "\r\n");
  tree.transform(gear, "PartLocalToArmGlobal211", kRim, placement(3, 1, 2, 3, 4, 5, 6), false);
  tree.text(gear, stamp + kNewSerial + "\r\n");
  tree.transform(gear, "PartLocalToArmGlobal311", kRim, placement(4, 1, 2, 3, 4, 5, 6), false);
  tree.text(gear, stamp + "OTHER9\r\n");
  tree.transform(gear, "PartLocalToArmGlobal411", kRim, placement(5, 10, -20, 30, 40, 50, 60),
                 true);  // older software: no stamp
  tree.text(pump, pointsSection("PartCalibrationPoints1", kTop));
  tree.transform(pump, "PartLocalToArmGlobal111", kTop, placement(5, 6, 7, 8, 9, 10, 11), false);
  tree.text(pump, stamp + kNewSerial + "\r\n");
  tree.write(sandbox);
  const std::string earlier = "[Region]\r\nName=before an earlier relocation\r\n";
  e2e::writeFile(backupOf(path(sandbox, gear)), earlier);
  sandbox.setArmConfiguration(armConfiguration(armPointLines(kNewSerial, newArmPoints())));
  sandbox.setArmScenario(scenario(""));

  const e2e::RunResult run = sandbox.run("10\nn\nOLD4711\n 10\nn\nOLD4711\n 16\n");
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 0);
  const auto skipped = [](int a) {
    return "Section [PartLocalToArmGlobal" + std::to_string(a) +
           "11] is already in this arm's frame. Skipped.\n";
  };
  const std::string third =
      "Section [PartLocalToArmGlobal311] is in the frame of arm OTHER9, not of arm OLD4711. "
      "Skipped.\n";
  const std::string listed = "1 calibration sections were not updated; calibrate them again:\n"
                             "Section [PartLocalToArmGlobal311] of " +
                             programPath(sandbox, gear) + ".\n";
  const std::string start = kQuestion + kSerialIntro + kSerialPrompt + kFitAcceptable +
                            "Searching for .qini files...\nFound 2 .qini files.\n";
  EXPECT_TRUE(transcriptsMatch(
      kStartup + mainMenuScreen() + start + "Processing file: Gear.qini.\n" +
          "Backup file Gear.oldqini kept: it holds the calibrations from before an earlier "
          "relocation.\n" +
          found(1, 1, 1) + kRefit + kUpdated + found(2, 1, 1) + skipped(2) + found(3, 1, 1) +
          third + found(4, 1, 1) + kRefit + kUpdated + "Processing file: Pump.qini.\n" +
          found(1, 1, 1) + skipped(1) + "Successfully processed 2 of 2 .qini files.\n" + listed +
          keyPrompt() + mainMenuScreen() + start + "Processing file: Gear.qini.\n" +
          found(1, 1, 1) + skipped(1) + found(2, 1, 1) + skipped(2) + found(3, 1, 1) + third +
          found(4, 1, 1) + skipped(4) + "Processing file: Pump.qini.\n" + found(1, 1, 1) +
          skipped(1) + "Successfully processed 2 of 2 .qini files.\n" + listed + keyPrompt() +
          mainMenuScreen(),
      normalised(run.output)));
  // Moved once (not twice), stamped; the rest as it was; the earlier backup
  // kept; the file without a change neither written nor backed up.
  for (const TreeSection& s : tree.sections) {
    SCOPED_TRACE(s.name);
    const std::string content = e2e::readFile(path(sandbox, s.file));
    if (s.refitted) {
      EXPECT_LT(relocationError(readPlacement(path(sandbox, s.file), s.name), s), 1e-3);
      EXPECT_NE(sectionBlock(content, s.name).find(stamp + kNewSerial), std::string::npos);
    } else {
      EXPECT_EQ(sectionBlock(content, s.name), sectionBlock(tree.files.at(s.file), s.name));
    }
  }
  EXPECT_EQ(e2e::readFile(backupOf(path(sandbox, gear))), earlier);
  EXPECT_EQ(e2e::readFile(path(sandbox, pump)), tree.files.at(pump));
  EXPECT_FALSE(e2e::fileExists(backupOf(path(sandbox, pump))));
}

// Three regions for the backup cases, each file with a distinct text.
const char* const kBackupTree = R"(
  parts/01_A/01_R/A.qini = [Region]\r\nName=A new\r\n
  parts/01_A/01_R/A.oldqini = [Region]\r\nName=A old\r\n
  parts/01_A/02_S/S.qini = [Region]\r\nName=S new\r\n
  parts/01_A/02_S/S.oldqini = [Region]\r\nName=S old\r\n
  parts/02_B/01_R/B.qini = [Region]\r\nName=B new\r\n
  parts/02_B/01_R/B.oldqini = [Region]\r\nName=B old\r\n
)";

TEST(PartCalibrationBackups, ABackupThatCannotBeCopiedOrDeletedStays) {
  Sandbox sandbox;
  sandbox.buildWizardTree(kBackupTree);
  const std::string w = sandbox.wizardDirectory() + "/parts/";
  // S.qini is read-only: its backup cannot be copied over it.
  ASSERT_EQ(::chmod((w + "01_A/02_S/S.qini").c_str(), 0444), 0);
  const e2e::RunResult reset = sandbox.run("11\n 16\n");
  EXPECT_EQ(reset.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(kStartup + mainMenuScreen() +
                                   "Searching for .oldqini files...\n"
                                   "Number of .oldqini files found: 3.\n"
                                   "Created file: A.qini.\nCreated file: B.qini.\n"
                                   "Successfully processed 2 of 3 files.\n" +
                                   keyPrompt() + mainMenuScreen(),
                               reset.output));
  EXPECT_EQ(e2e::readFile(w + "01_A/01_R/A.qini"), "[Region]\r\nName=A old\r\n");
  EXPECT_EQ(e2e::readFile(w + "02_B/01_R/B.qini"), "[Region]\r\nName=B old\r\n");
  EXPECT_EQ(e2e::readFile(w + "01_A/02_S/S.qini"), "[Region]\r\nName=S new\r\n");
  EXPECT_FALSE(e2e::fileExists(w + "01_A/01_R/A.oldqini"));
  EXPECT_FALSE(e2e::fileExists(w + "02_B/01_R/B.oldqini"));
  EXPECT_EQ(e2e::readFile(w + "01_A/02_S/S.oldqini"), "[Region]\r\nName=S old\r\n");

  // Clean: two backups, one read-only and so not deleted.
  sandbox.buildWizardTree("parts/02_B/01_R/B.oldqini = [Region]\r\nName=B older\r\n");
  ASSERT_EQ(::chmod((w + "01_A/02_S/S.oldqini").c_str(), 0444), 0);
  const e2e::RunResult clean = sandbox.run("12\n 16\n");
  EXPECT_EQ(clean.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(kStartup + mainMenuScreen() +
                                   "Searching for .oldqini files...\n"
                                   "Number of .oldqini files found: 2.\n"
                                   "Deleted file: B.oldqini.\n"
                                   "Successfully processed 1 of 2 files.\n" +
                                   keyPrompt() + mainMenuScreen(),
                               clean.output));
  EXPECT_FALSE(e2e::fileExists(w + "02_B/01_R/B.oldqini"));
  EXPECT_TRUE(e2e::fileExists(w + "01_A/02_S/S.oldqini"));
  EXPECT_EQ(e2e::readFile(w + "02_B/01_R/B.qini"), "[Region]\r\nName=B old\r\n");
}

TEST(ReusePartCalibrations, ABackupThatCannotBeMadeEndsTheRun) {
  Sandbox sandbox;
  Tree tree = smallTree();
  const std::string second = "parts/02_Pump/01_Body/Pump.qini";
  tree.text(second, pointsSection("PartCalibrationPoints1", kTop));
  tree.transform(second, "PartLocalToArmGlobal111", kTop, placement(3, 1, 2, 3, 4, 5, 6), false);
  tree.write(sandbox);
  // A directory in the place of the second file's backup.
  const std::string stuck = backupOf(path(sandbox, second));
  fs::create_directories(stuck);
  sandbox.setArmConfiguration(armConfiguration(armPointLines(kNewSerial, newArmPoints())));
  sandbox.setArmScenario(scenario(""));
  const e2e::RunResult run = sandbox.run("10\nn\nOLD4711\n 16\n");
  EXPECT_EQ(run.exitStatus, 0);
  EXPECT_TRUE(transcriptsMatch(
      kStartup + mainMenuScreen() + kQuestion + kSerialIntro + kSerialPrompt + kFitAcceptable +
          "Searching for .qini files...\nFound 2 .qini files.\n"
          "Processing file: Gear.qini.\n" +
          found(1, 1, 1) + kRefit + kUpdated + "Failed to create backup file. Aborting...\n" +
          keyPrompt() + mainMenuScreen(),
      normalised(run.output)));
  EXPECT_EQ(e2e::readFile(path(sandbox, second)), tree.files.at(second));
  EXPECT_TRUE(e2e::directoryExists(stuck));
  EXPECT_EQ(e2e::directoryEntries(fs::path(stuck).parent_path().string()),
            (std::vector<std::string>{"Pump.oldqini", "Pump.qini"}));
  const TreeSection& first = tree.sections.front();
  EXPECT_LT(relocationError(readPlacement(path(sandbox, first.file), first.name), first), 1e-3);
  EXPECT_EQ(e2e::readFile(backupOf(path(sandbox, first.file))), tree.files.at(first.file));
}

TEST(ReusePartCalibrations, AFileThatCannotBeWrittenIsReportedSectionBySection) {
  Sandbox sandbox;
  Tree tree = smallTree();
  const std::string second = "parts/02_Pump/01_Body/Pump.qini";
  tree.text(second, pointsSection("PartCalibrationPoints1", kTop));
  tree.transform(second, "PartLocalToArmGlobal211", kTop, placement(3, 1, 2, 3, 4, 5, 6), false);
  tree.transform(second, "PartLocalToArmGlobal111", kTop, placement(5, 6, 7, 8, 9, 10, 11), false);
  tree.write(sandbox);
  ASSERT_EQ(::chmod(path(sandbox, second).c_str(), 0444), 0);
  sandbox.setArmConfiguration(armConfiguration(armPointLines(kNewSerial, newArmPoints())));
  sandbox.setArmScenario(scenario(""));
  const e2e::RunResult run = sandbox.run("10\nn\nOLD4711\n 16\n");
  EXPECT_EQ(run.exitStatus, 0);
  const std::string pump = programPath(sandbox, second);
  EXPECT_TRUE(transcriptsMatch(
      kStartup + mainMenuScreen() + kQuestion + kSerialIntro + kSerialPrompt + kFitAcceptable +
          "Searching for .qini files...\nFound 2 .qini files.\n"
          "Processing file: Gear.qini.\n" +
          found(1, 1, 1) + kRefit + kUpdated + "Processing file: Pump.qini.\n" + found(1, 1, 1) +
          kRefit + "Write fail to section PartLocalToArmGlobal111 of " + pump +
          ". Continuing...\n" + found(2, 1, 1) + kRefit +
          "Write fail to section PartLocalToArmGlobal211 of " + pump + ". Continuing...\n" +
          "Successfully processed 1 of 2 .qini files.\n"
          "2 calibration sections were not updated; calibrate them again:\n"
          "Section [PartLocalToArmGlobal111] of " +
          pump + ".\nSection [PartLocalToArmGlobal211] of " + pump + ".\n" + keyPrompt() +
          mainMenuScreen(),
      normalised(run.output)));
  EXPECT_EQ(e2e::readFile(path(sandbox, second)), tree.files.at(second));
  EXPECT_EQ(e2e::readFile(backupOf(path(sandbox, second))), tree.files.at(second));
  const TreeSection& first = tree.sections.front();
  EXPECT_LT(relocationError(readPlacement(path(sandbox, first.file), first.name), first), 1e-3);
}

// A small tree for the kill runs: two files with four re-fitted sections each.
Tree killTree() {
  Tree tree;
  const char* const files[] = {"parts/01_Alpha/01_Top/Alpha.qini",
                               "parts/02_Beta/01_Base/Beta.qini"};
  int n = 0;
  for (const char* file : files) {
    tree.text(file, pointsSection("PartCalibrationPoints1", kRim));
    tree.text(file, pointsSection("PartCalibrationPoints2", kBase));
    for (int c = 1; c <= 2; ++c) {
      for (int a = 1; a <= 2; ++a, ++n) {
        tree.transform(file, "PartLocalToArmGlobal" + std::to_string(a) + std::to_string(c) + "1",
                       c == 1 ? kRim : kBase,
                       placement(n * 10.5, 10 * n, -7.5 * n, 170 - 13 * n, 100 * n, -50 * n, 300),
                       true);
      }
    }
  }
  return tree;
}

enum class Outcome { Untouched, Partial, Complete };

// The tree after a run that may have been killed at any moment: every file
// still parses, every section is wholly old or wholly new, every backup is
// the file's old content. Empty when all holds, else what failed.
std::string checkKilledTree(const Sandbox& sandbox, const Tree& tree, Outcome& outcome) {
  std::size_t newSections = 0, backups = 0;
  for (const auto& [file, original] : tree.files) {
    const std::string content = e2e::readFile(path(sandbox, file));
    if (!parsesAsSettings(content)) return file + " does not parse";
    if (e2e::fileExists(backupOf(path(sandbox, file)))) {
      if (e2e::readFile(backupOf(path(sandbox, file))) != original)
        return file + ": backup differs";
      ++backups;
    }
  }
  for (const TreeSection& s : tree.sections) {
    const std::string content = e2e::readFile(path(sandbox, s.file));
    const std::string block = sectionBlock(content, s.name);
    if (block == sectionBlock(tree.files.at(s.file), s.name)) continue;
    std::array<double, 9> values{};
    if (!sectionValues(block, values) || relocationError(placementOf(values), s) > 1e-3 ||
        block.find("\r\nArmSerial=N772\r\n") == std::string::npos) {
      return s.file + " [" + s.name + "] is neither old nor new (stamp included):\n" + block;
    }
    ++newSections;
  }
  outcome = newSections == 0 && backups == 0 ? Outcome::Untouched
            : newSections == tree.sections.size() && backups == tree.files.size()
                ? Outcome::Complete
                : Outcome::Partial;
  return "";
}

// Kills the program at random moments of a relocation, at least 200 times.
// After each kill the tree must hold only whole sections and whole backups,
// and a reset must bring every file back byte for byte.
TEST(ReusePartCalibrations, KilledAnywhereLeavesWholeSectionsAndResetRestores) {
  Sandbox sandbox;
  const Tree tree = killTree();
  sandbox.setArmConfiguration(armConfiguration(armPointLines(kNewSerial, newArmPoints())));
  sandbox.setArmScenario(scenario(""));
  const std::string relocate = "10\nn\nOLD4711\n 16\n";
  const auto restore = [&] {
    fs::remove_all(sandbox.wizardDirectory());
    tree.write(sandbox);
  };
  const auto timed = [&](const std::string& script) {
    restore();
    const auto start = std::chrono::steady_clock::now();
    const e2e::RunResult run = sandbox.run(script);
    EXPECT_EQ(run.exitStatus, 0);
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
  };
  // The window of kill moments: from a little before the relocation can
  // start (a run that ends at the serial prompt) to the end of a typical
  // whole relocation (medians of three runs, so that one slow run on a busy
  // machine does not stretch it).
  const auto median = [&](const std::string& script) {
    std::vector<double> times;
    for (int i = 0; i < 3; ++i) times.push_back(timed(script));
    std::sort(times.begin(), times.end());
    return times[1];
  };
  const double from = 0.7 * median("10\nn\n0\n 16\n");
  const double to = std::max(1.05 * median(relocate), from + 5.0);

  std::mt19937 random(20240611u);
  double until = to;
  int kills = 0, partial = 0, runs = 0;
  const auto started = std::chrono::steady_clock::now();
  // The machine's load changes while the test runs, and with it the length
  // of a run: the window follows it. A run that ended before its kill
  // shortens the window a little, a kill before the relocation began
  // lengthens it, and the runs go on until enough kills have landed in the
  // middle of a relocation.
  while ((kills < 200 || partial < 40) && runs < 1000) {
    ++runs;
    restore();
    std::uniform_real_distribution<double> moment(from, until);
    const auto delay = std::chrono::microseconds(static_cast<long long>(moment(random) * 1000));
    const e2e::RunResult run =
        sandbox.run(relocate, std::chrono::duration_cast<std::chrono::milliseconds>(delay));
    if (run.timedOut) ++kills;
    Outcome outcome = Outcome::Untouched;
    const std::string failure = checkKilledTree(sandbox, tree, outcome);
    ASSERT_EQ(failure, "") << "run " << runs << ", killed after " << delay.count() << " us";
    if (outcome == Outcome::Partial) ++partial;
    if (!run.timedOut) until = std::max(from + 5.0, until * 0.97);
    if (run.timedOut && outcome == Outcome::Untouched) until = std::min(4.0 * to, until * 1.01);
    if (outcome == Outcome::Untouched) continue;
    const e2e::RunResult reset = sandbox.run("11\n 16\n");
    ASSERT_EQ(reset.exitStatus, 0);
    for (const auto& [file, original] : tree.files) {
      ASSERT_EQ(e2e::readFile(path(sandbox, file)), original) << "run " << runs << ": " << file;
      ASSERT_FALSE(e2e::fileExists(backupOf(path(sandbox, file)))) << "run " << runs;
    }
  }
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << "[ relocation ] " << kills << " kills in " << runs << " runs (" << partial
            << " in the middle of a relocation), kill window " << from << ".." << to << " ms (at the end .." << until << "), "
            << seconds << " s\n";
  EXPECT_GE(kills, 200);
  // The window must really cut relocations short, or the test proves nothing.
  EXPECT_GE(partial, 40);
}

}  // namespace
