// "Test region" with the real program and the virtual arm: the live line for
// known aims at a placed two-collection region, the keys, an ultrasonic array
// probe's elements and probe positions, the operator-position calibration,
// the refusals, and an arm that stops sending records.
//
// The virtual arm's scenarios come from the scenario tool: the probe aimed
// through chosen points of a placed file, buttons pressed there. The expected
// hits are worked out here: the ray met with the placed plane of the file and
// taken back to the file's own frame.
//
// Pacing. Each pass of the live loop takes one waiting key, reads a pose
// (waiting for the arm's event) and polls the buttons twice. The virtual arm
// writes a record only once the program took the last one, so a pass mostly
// takes two records: its click poll takes one, its end poll the next, whose
// pose the following pass reads. Sessions below are described pass by pass
// and written as two records a pass; the keys are written one per pass, so the
// console input lasts exactly as many passes as there are keys (a run ends at
// the end of its input unless the red button comes first).
//
// Now and then the pose read finds the event of a record the button polls
// already took and gets a newer record: from then on the records run ahead of
// the keys, never behind them. So a key comes at a constant pose, or a pass
// or two after the arm event it must follow and well before the next one;
// buttons are held for four records, so that a poll taking a later record
// still sees them, and a click's release stays at its aim for two records.
// Status texts show for 2000 ms, a time and not a number of passes: the live
// lines are compared with repeats collapsed, and every status is either
// replaced within seven passes or followed by thirteen passes of one pose.
#include <cmath>
#include <cstdio>
#include <sstream>
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "E2eHarness.h"
#include "ScenarioWriter.h"
#include "ZorvGeometry.h"

namespace {

using e2e::keyPrompt;
using e2e::mainMenuScreen;
using e2e::Sandbox;
using e2e::transcriptsMatch;

constexpr double kPi = 3.14159265358979323846;
constexpr auto kLongRun = std::chrono::seconds(120);

// ---------------------------------------------------------------------------
// Geometry of the expected hits.

using Vec3 = Zorv::Geometry::ThreeDimensional::Vector;
using Zorv::Geometry::ThreeDimensional::LinearMap;

Vec3 unit(Vec3 a) {
  return a / a.l();
}

// Turns (degrees) about the fixed axes a0, a1, a2, the first applied first.
LinearMap turns(int a0, int a1, int a2, Vec3 anglesDeg) {
  LinearMap map;
  map.setRotation(a0, a1, a2, anglesDeg * (kPi / 180.0));
  return map;
}

// A part transform section: P goes to origin + R (P − origin) + translation,
// R the turns about x, then y, then z.
struct Placement {
  Vec3 anglesDeg, translation, origin;
  LinearMap rotation() const { return turns(0, 1, 2, anglesDeg); }
  Vec3 place(Vec3 p) const { return origin + rotation() * (p - origin) + translation; }
  Vec3 local(Vec3 w) const {
    return origin + rotation().getTranspose() * (w - translation - origin);
  }
  std::string section(const std::string& name) const {
    std::ostringstream s;
    s.precision(17);
    s << "[" << name << "]\\n";
    const char* axes[3] = {"X", "Y", "Z"};
    const double angles[3] = {anglesDeg.x, anglesDeg.y, anglesDeg.z};
    const double moves[3] = {translation.x, translation.y, translation.z};
    const double origins[3] = {origin.x, origin.y, origin.z};
    for (int i = 0; i < 3; ++i) s << "RotationAngle" << axes[i] << "=" << angles[i] << "\\n";
    for (int i = 0; i < 3; ++i) s << "Translation" << axes[i] << "=" << moves[i] << "\\n";
    for (int i = 0; i < 3; ++i) s << "RotationOrigin" << axes[i] << "=" << origins[i] << "\\n";
    return s.str();
  }
};

// A planar quad file of the region: its quads (u, v) cover
// [u·pitch, (u+1)·pitch] × [v·pitch, (v+1)·pitch] in the plane z = 0 of its
// collection, normal +z.
struct PlanarFile {
  std::string name;
  double pitch;
  int uCount, vCount;
  int offsetU, offsetV;
  bool flipU;
  Placement placement;
  Vec3 quadCentre(int u, int v) const { return {(u + 0.5) * pitch, (v + 0.5) * pitch, 0.0}; }
  Vec3 normal() const { return placement.rotation() * Vec3{0, 0, 1}; }
};

// How the probe is held: its axis along `axis` (the file's own frame, turned
// with its placement) through the point `part` of the file, the measuring
// point `distance` mm before it; psi (degrees) turns it about its axis.
struct Aim {
  const PlanarFile* file = nullptr;
  Vec3 part;
  Vec3 axis;
  double distance = 50.0;
  double psi = 0.0;
  Vec3 target() const { return file->placement.place(part); }
  Vec3 beam() const { return unit(file->placement.rotation() * axis); }
  Vec3 measuringPoint() const { return target() - distance * beam(); }
};

// At the centre of quad (u, v) of the file (its own indices), tilted by
// `tilt` degrees from the surface normal towards the in-plane direction
// `azimuth` (degrees from u to v). From behind, the probe looks along the
// normal instead of against it.
Aim aimAt(const PlanarFile& file, int u, int v, double tilt, double azimuth, double distance,
          bool fromBehind = false) {
  const double t = tilt * kPi / 180.0;
  const double a = azimuth * kPi / 180.0;
  Aim aim;
  aim.file = &file;
  aim.part = file.quadCentre(u, v);
  aim.axis = {std::sin(t) * std::cos(a), std::sin(t) * std::sin(a),
              fromBehind ? std::cos(t) : -std::cos(t)};
  aim.distance = distance;
  return aim;
}

// The psi that turns the probe's x axis onto `x` (arm frame, square to the
// beam), for the phi and theta the scenario tool gives the aim's beam:
// Rz(phi) · Rx(theta) · Rz(psi) carries (1, 0, 0) onto x.
double psiFor(const Aim& aim, Vec3 x) {
  const Vec3 beam = aim.beam();
  double phi = 0.0;
  double theta = 0.0;
  EXPECT_TRUE(armsim::anglesForAxis({beam.x, beam.y, beam.z}, phi, theta));
  const Vec3 turned = turns(2, 0, 2, Vec3(0.0, theta, phi)).getTranspose() * x;
  EXPECT_NEAR(turned.z, 0.0, 1e-9);
  return std::atan2(turned.y, turned.x) * 180.0 / kPi;
}

// Where a ray from `origin` along `beam` meets the file, in the region's
// index space, as the live line shows it. The hit must lie well inside a
// quad, so that rounding cannot move it.
struct ExpectedHit {
  int u = 0, v = 0;
  double distance = 0.0;
  double angle = 0.0;
};
ExpectedHit expectedHit(const PlanarFile& file, Vec3 origin, Vec3 beam) {
  const Vec3 n = file.normal();
  const Vec3 onPlane = file.placement.place(Vec3{0, 0, 0});
  const double along = dot(onPlane - origin, n) / dot(beam, n);
  const Vec3 local = file.placement.local(origin + along * beam);
  EXPECT_NEAR(local.z, 0.0, 1e-9);
  const auto index = [&](double coordinate, int count) {
    const double q = coordinate / file.pitch;
    const double fraction = q - std::floor(q);
    EXPECT_TRUE(fraction > 0.05 && fraction < 0.95) << "hit too close to a quad edge: " << q;
    const int i = static_cast<int>(std::floor(q));
    EXPECT_TRUE(i >= 0 && i < count) << "hit outside the file: " << q;
    return i;
  };
  ExpectedHit hit;
  const int u = index(local.x, file.uCount);
  hit.u = (file.flipU ? file.uCount - 1 - u : u) + file.offsetU;
  hit.v = index(local.y, file.vCount) + file.offsetV;
  hit.distance = along;
  hit.angle = 180.0 - std::acos(dot(beam, n)) * 180.0 / kPi;
  // Far from a rounding edge of the printed digits.
  const auto clearOfEdge = [](double value, double scale) {
    const double x = value * scale;
    return std::fabs(x - std::floor(x) - 0.5) > 1e-6;
  };
  EXPECT_TRUE(clearOfEdge(hit.distance, 10.0)) << hit.distance;
  EXPECT_TRUE(clearOfEdge(hit.angle, 100.0)) << hit.angle;
  return hit;
}

// ---------------------------------------------------------------------------
// Expected console text.

std::string formatted(const char* format, const ExpectedHit& hit) {
  char text[128];
  std::snprintf(text, sizeof text, format, hit.u, hit.v, hit.distance, hit.angle);
  return text;
}

// Live lines without their leading "\r".
std::string pointLine(const ExpectedHit& hit) {
  return formatted("(u,v)=(%06d,%06d). Distance: %06.1fmm. Angle: %06.2f deg.     ", hit);
}
const std::string kPointMiss = "(u,v)=(______,______). Distance: ______mm. Angle: ______ deg.     ";
std::string arrayLine(const char* element, const ExpectedHit& hit) {
  return (element + formatted("(u,v)=(%06d,%06d). Distance: %06.1fmm. Angle: %06.2f deg.", hit) +
          std::string(16, ' '))
      .substr(0, 79);
}
std::string status(const std::string& text) {
  return (text + std::string(47, ' ')).substr(0, 79);
}

const std::string kWizardStartup = "Detected: wizard directory.\nDirectory mode: Wizard.\n";
const std::string kInstructions =
    "Press '1','2' to change arm positions.\n"
    "Press '3','4' to change part positions.\n"
    "Press '5','6' to change probe positions.\n"
    "Press 'o' to calibrate operator position for current part position.\n";
const std::string kArrayInstructions =
    "Press 'c', 's', 'e' for centre, start, end array element respectively.\n" + kInstructions;
const std::string kQuestion = "\nDo you want to use an ultrasonic probe? (y/n): ";
const std::string kBallPrompt =
    "Please enter ball probe size, mm (return for 3mm): Ball probe of 3mm selected.\n";
const std::string kLoading = "Loading .quads files...\n";
const std::string kInputEnded = "\nConsole input ended.\n";
const char* const kSetFailLines[] = {"Arm position set fail.\n", "Part position set fail.\n",
                                     "Probe position set fail.\n"};

std::string prompt(int count) {
  return "Please enter value 1.." + std::to_string(count) + ": ";
}
const std::string kChooseTestPart =
    "\nChoose part:\n\t1: Wing\n\t2: Bracket\n\t3: Test\n\t4: Empty\n" + prompt(4) +
    "Chosen region Plate.\n";

// From start-up to the key list of a test of part Test without an
// ultrasonic probe.
std::string testStartTranscript() {
  return e2e::armStartupTranscript() + kWizardStartup + mainMenuScreen() + kChooseTestPart +
         kQuestion + kBallPrompt + kLoading + kInstructions;
}

// The live part of a transcript: the pieces after each "\r", with repeats
// collapsed. Each printed live line must begin with "\r" and hold at most 80
// characters; the only other text is a "set fail" line right after one.
::testing::AssertionResult liveLines(const std::string& live, std::vector<std::string>& lines) {
  lines.clear();
  if (!live.empty() && live.front() != '\r') {
    return ::testing::AssertionFailure()
           << "live text does not begin with \\r: " << e2e::visible(live.substr(0, 80));
  }
  std::size_t start = 0;
  while (start < live.size()) {
    std::size_t end = live.find('\r', start + 1);
    if (end == std::string::npos) end = live.size();
    const std::string piece = live.substr(start + 1, end - start - 1);
    std::string line = piece;
    for (const char* fail : kSetFailLines) {
      const std::string suffix = fail;
      if (line.size() >= suffix.size() &&
          line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0) {
        line.erase(line.size() - suffix.size());
        break;
      }
    }
    if (line.size() + 1 > 80 || line.find('\n') != std::string::npos) {
      return ::testing::AssertionFailure()
             << "not a live line of at most 80 characters: " << e2e::visible(piece);
    }
    if (lines.empty() || lines.back() != piece) lines.push_back(piece);
    start = end;
  }
  return ::testing::AssertionSuccess();
}

// Splits a run's output into the text before the live lines (ending with
// `before`), the live text, and the text after it (`after`, which must end
// the output).
::testing::AssertionResult splitRun(const std::string& output, const std::string& before,
                                    const std::string& after, std::string& head,
                                    std::string& live) {
  const std::size_t cut = output.find(before);
  if (cut == std::string::npos) {
    return ::testing::AssertionFailure()
           << "no " << e2e::visible(before) << " in " << e2e::visible(output);
  }
  head = output.substr(0, cut + before.size());
  if (output.size() < head.size() + after.size() ||
      output.compare(output.size() - after.size(), after.size(), after) != 0) {
    return ::testing::AssertionFailure() << "the run does not end with " << e2e::visible(after)
                                         << ": " << e2e::visible(output.substr(head.size()));
  }
  live = output.substr(head.size(), output.size() - head.size() - after.size());
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult exactLines(const std::vector<std::string>& expected,
                                      const std::vector<std::string>& actual);

// The live lines as the test can rely on them: the status lines exactly and
// in order; the result lines in order as well, but a result line may show up
// once more than planned, since the arm's records can run a pass ahead of the
// keys typed on the pipe. Every result line shown must be one of the planned.
::testing::AssertionResult sameLines(const std::vector<std::string>& expected,
                                     const std::vector<std::string>& actual) {
  if (exactLines(expected, actual)) return ::testing::AssertionSuccess();
  const auto isResult = [](const std::string& line) { return line.rfind("(u,v)=", 0) == 0; };
  std::vector<std::string> expectedStatus, actualStatus, expectedResults, actualResults;
  for (const std::string& line : expected) (isResult(line) ? expectedResults : expectedStatus).push_back(line);
  for (const std::string& line : actual) (isResult(line) ? actualResults : actualStatus).push_back(line);
  std::size_t next = 0;
  for (const std::string& line : actualResults) {
    if (next < expectedResults.size() && line == expectedResults[next]) {
      ++next;
    } else if (std::find(expectedResults.begin(), expectedResults.end(), line) == expectedResults.end()) {
      return exactLines(expected, actual);
    }
  }
  if (next != expectedResults.size() || expectedStatus != actualStatus) return exactLines(expected, actual);
  return ::testing::AssertionSuccess();
}

::testing::AssertionResult exactLines(const std::vector<std::string>& expected,
                                      const std::vector<std::string>& actual) {
  std::ostringstream text;
  const std::size_t n = std::max(expected.size(), actual.size());
  bool same = expected.size() == actual.size();
  for (std::size_t i = 0; i < n; ++i) {
    const std::string e = i < expected.size() ? expected[i] : "(none)";
    const std::string a = i < actual.size() ? actual[i] : "(none)";
    same = same && e == a;
    text << (e == a ? "    " : " >> ") << i << ": " << e2e::visible(a) << "\n";
    if (e != a) text << "       expected " << e2e::visible(e) << "\n";
  }
  if (same) return ::testing::AssertionSuccess();
  return ::testing::AssertionFailure() << "live lines differ:\n" << text.str();
}

// ---------------------------------------------------------------------------
// The virtual arm's records, pass by pass, and the keys.

armsim::Vec3 toArmsim(Vec3 v) {
  return {v.x, v.y, v.z};
}

class Session {
 public:
  // `count` passes at one aim, each with the key ' ' (which does nothing).
  Session& hold(const Aim& aim, int count) { return keys(aim, std::string(count, ' ')); }
  // One pass per key at one aim.
  Session& keys(const Aim& aim, const std::string& keys) {
    aimFor(aim, 2 * static_cast<int>(keys.size()));
    keys_ += keys;
    return *this;
  }
  // A click at the aim in four passes: an aimed record, the press (a resting
  // record, green down for four, the release) and one more resting record.
  // The click is taken in the pass that first sees the release; two released
  // records at the aim keep the pose for a poll that sees it one record late.
  Session& click(const Aim& aim) {
    aimFor(aim, 1);
    steps_.push_back(armsim::Press{armsim::Button::Green, 1, 4});
    steps_.push_back(armsim::Rest{1});
    keys_ += "    ";
    return *this;
  }
  // Red down for most of `count` passes at the aim.
  Session& red(const Aim& aim, int count) {
    aimFor(aim, 1);
    steps_.push_back(armsim::Press{armsim::Button::Red, 1, 2 * count - 3});
    keys_ += std::string(count, ' ');
    return *this;
  }

  // A scenario line (such as the end mode) copied as it stands.
  Session& line(const std::string& text) {
    steps_.push_back(armsim::ScenarioLine{text});
    return *this;
  }

  std::string scenario() const {
    armsim::ScenarioDescription description;
    description.steps = steps_;
    armsim::GeneratedScenario generated;
    std::string error;
    EXPECT_TRUE(armsim::generateScenario(description, generated, error)) << error;
    return generated.text;
  }
  const std::string& keyText() const { return keys_; }

 private:
  void aimFor(const Aim& aim, int records) {
    const Placement& p = aim.file->placement;
    steps_.push_back(
        armsim::SetPlacement{{toArmsim(p.anglesDeg), toArmsim(p.translation), toArmsim(p.origin)}});
    steps_.push_back(armsim::SetProbeAngles{0.0, 90.0, aim.psi});
    steps_.push_back(armsim::Aim{toArmsim(aim.part), toArmsim(aim.axis), aim.distance, records});
  }
  std::vector<armsim::DescriptionStep> steps_;
  std::string keys_;
};

// ---------------------------------------------------------------------------
// The test part: region Plate of part Test, with two planar files in two
// collections placed by known sections at arm position 1, part position 1.
// Arm position 2 and part position 2 have no sections.

const Placement kWebPlacement{{10.0, 0.0, 30.0}, {600.0, -50.0, 40.0}, {10.0, 20.0, 0.0}};
const Placement kCapPlacement{{0.0, -20.0, 90.0}, {450.0, 200.0, 60.0}, {0.0, 0.0, 0.0}};
// 100 × 40 mm at 2 mm; 30 × 10 mm at 1 mm, u flipped, offset (5, 100).
const PlanarFile kWeb{"Web", 2.0, 50, 20, 0, 0, false, kWebPlacement};
const PlanarFile kCap{"Cap", 1.0, 30, 10, 5, 100, true, kCapPlacement};
// The web as it lies when nothing places it.
const PlanarFile kUnplacedWeb{"Web", 2.0, 50, 20, 0, 0, false, Placement{}};

constexpr double kBallRadius = 1.5;
// The array probe's active face, along its beam from the arm's measuring point.
constexpr double kArrayDepth = 42.5;

const char* const kTestQini = "parts/03_Test/01_Plate/Plate.qini";

void buildTestSite(Sandbox& sandbox) {
  sandbox.useDemoSite();
  const std::string qini = std::string(kTestQini) + " = [Region]\\nNumberOfPartPositions=2\\n\\n" +
                           "[QuadFile1]\\nName=Web.quads\\nCollectionIndex=1\\nOffsetU=0\\n"
                           "OffsetV=0\\n\\n"
                           "[QuadFile2]\\nName=Cap.quads\\nCollectionIndex=2\\nOffsetU=5\\n"
                           "OffsetV=100\\nFlipUAxis=true\\n\\n" +
                           kWebPlacement.section("PartLocalToArmGlobal111") + "\\n" +
                           kCapPlacement.section("PartLocalToArmGlobal121");
  sandbox.buildWizardTree(
      qini + "\n" +
      "parts/03_Test/01_Plate/01_Array/Array.ini = [Scan]\\nProbePosition=1\\n\n"
      "parts/03_Test/01_Plate/02_Roller/Roller.ini = [Scan]\\nProbePosition=1\\n\n"
      "parts/04_Empty/\n"
      "tools/04_Array/Array.tini = [PositionCapture]\\nDevice=arm\\n\\n"
      "[Probe]\\nNumberOfElements=64\\nElementPitch=0.8\\n\\n"
      "[ArmLocalTipToActiveLocalCentre]\\nRotationAngleX=0\\nRotationAngleY=0\\n"
      "RotationAngleZ=0\\nTranslationX=0\\nTranslationY=0\\nTranslationZ=42.5\\n\\n"
      "[ArmLocalTipToActiveLocalCentre2]\\nRotationAngleX=0\\nRotationAngleY=0\\n"
      "RotationAngleZ=180\\nTranslationX=0\\nTranslationY=0\\nTranslationZ=42.5\\n");
  const std::string plate = sandbox.wizardDirectory() + "/parts/03_Test/01_Plate/";
  Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh mesh;
  ASSERT_TRUE(mesh.setAsPlane({100.0, 40.0}, 2.0, true, 1.0));
  mesh.save(plate + "Web.quads");
  ASSERT_TRUE(mesh.setAsPlane({30.0, 10.0}, 1.0, true, 1.0));
  mesh.save(plate + "Cap.quads");
  // No psi correction: the array probe's element axis depends on psi.
  sandbox.setArmConfiguration(std::string("[ArmPsiDeltas]\r\n") + e2e::kVirtualArmSerialNumber +
                              "=0.0000000000000000\r\n");
}

// An aim whose ray meets nothing.
Aim missAim() {
  Aim aim;
  aim.file = &kUnplacedWeb;
  aim.part = {-300.0, -300.0, 0.0};
  aim.axis = {0.3, 0.2, -1.0};
  aim.distance = 100.0;
  return aim;
}

// The hit of a ball probe's aim: the ray starts at the ball's centre.
ExpectedHit ballHit(const Aim& aim) {
  return expectedHit(*aim.file, aim.measuringPoint() + kBallRadius * aim.beam(), aim.beam());
}

// ---------------------------------------------------------------------------

TEST(RegionTest, BallProbeAimsShowTheExpectedLines) {
  Sandbox sandbox;
  buildTestSite(sandbox);

  const Aim a = aimAt(kWeb, 10, 5, 20.0, 0.0, 50.0);
  const Aim b = aimAt(kWeb, 40, 15, 35.0, 135.0, 61.3);
  const Aim c = aimAt(kCap, 3, 4, 25.0, 90.0, 44.4);
  const ExpectedHit hitA = ballHit(a);
  const ExpectedHit hitB = ballHit(b);
  const ExpectedHit hitC = ballHit(c);
  // What the lines must show, worked out by hand for the chosen quads: the
  // ball's centre is its radius (1.5 mm) nearer than the measuring point.
  EXPECT_EQ(pointLine(hitA), "(u,v)=(000010,000005). Distance: 0048.5mm. Angle: 020.00 deg.     ");
  EXPECT_EQ(pointLine(hitB), "(u,v)=(000040,000015). Distance: 0059.8mm. Angle: 035.00 deg.     ");
  // Cap: u 3 flipped among 30 is 26, plus the offset 5; v 4 plus 100.
  EXPECT_EQ(pointLine(hitC), "(u,v)=(000031,000104). Distance: 0042.9mm. Angle: 025.00 deg.     ");

  Session session;
  session.hold(a, 14).hold(b, 5).hold(c, 14).hold(missAim(), 5).hold(a, 14);
  sandbox.setArmScenario(session.scenario());

  // Test region, part Test (its one region), no ultrasonic probe, 3 mm ball.
  const e2e::RunResult run = sandbox.run("5\n3\nn\n\n" + session.keyText(), kLongRun);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 2);
  std::string head;
  std::string live;
  ASSERT_TRUE(splitRun(run.output, kInstructions, kInputEnded, head, live));
  EXPECT_TRUE(transcriptsMatch(testStartTranscript(),
                               head));
  std::vector<std::string> lines;
  ASSERT_TRUE(liveLines(live, lines));
  EXPECT_TRUE(sameLines(
      {
          pointLine(hitA),
          status("File: Web."),
          pointLine(hitA),
          pointLine(hitB),
          pointLine(hitC),
          status("File: Cap."),
          pointLine(hitC),
          // A miss forgets the file, so it is named again at the next hit.
          kPointMiss,
          pointLine(hitA),
          status("File: Web."),
          pointLine(hitA),
      },
      lines));
}

TEST(RegionTest, KeysChangeArmAndPartPositions) {
  Sandbox sandbox;
  buildTestSite(sandbox);

  // One pose throughout: the ray meets the placed web at quad (40, 10) and,
  // further on, the unplaced web at quad (25, 10), where the web lies when no
  // section places it.
  const Vec3 placedTarget = kWeb.placement.place(kWeb.quadCentre(40, 10));
  const Vec3 unplacedTarget = kUnplacedWeb.placement.place(kUnplacedWeb.quadCentre(25, 10));
  Aim aim = aimAt(kWeb, 40, 10, 0.0, 0.0, 50.0);
  aim.axis = kWeb.placement.rotation().getTranspose() * (unplacedTarget - placedTarget);
  const ExpectedHit placed = ballHit(aim);
  const ExpectedHit unplaced =
      expectedHit(kUnplacedWeb, aim.measuringPoint() + kBallRadius * aim.beam(), aim.beam());
  EXPECT_EQ(placed.u, 40);
  EXPECT_EQ(unplaced.u, 25);
  EXPECT_EQ(unplaced.v, 10);

  Session session;
  session.hold(aim, 14)
      .keys(aim, "1536cse2")
      .hold(aim, 13)
      .keys(aim, "14")
      .hold(aim, 13)
      .keys(aim, "3")
      .hold(aim, 13);
  sandbox.setArmScenario(session.scenario());

  const e2e::RunResult run = sandbox.run("5\n3\nn\n\n" + session.keyText(), kLongRun);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 2);
  std::string head;
  std::string live;
  ASSERT_TRUE(splitRun(run.output, kInstructions, kInputEnded, head, live));
  std::vector<std::string> lines;
  ASSERT_TRUE(liveLines(live, lines));
  const std::string pointProbeOnly = "Point probe has only one position." + std::string(41, ' ');
  EXPECT_TRUE(sameLines(
      {
          pointLine(placed),
          status("File: Web."),
          pointLine(placed),
          // '1' at arm position 1 stays there; the point probe has one
          // position; c, s and e do nothing.
          status("Arm position: 1."),
          status(pointProbeOnly),
          status("Part position: 1."),
          status(pointProbeOnly),
          // Arm position 2 has no sections: one line, then the unplaced meshes.
          status("Arm position: 2.") + "Arm position set fail.\n",
          status("Arm position: 2."),
          pointLine(unplaced),
          // Back at arm position 1 the meshes are placed again; part position
          // 2 has no sections either.
          status("Arm position: 1."),
          status("Part position: 2.") + "Part position set fail.\n",
          status("Part position: 2."),
          pointLine(unplaced),
          status("Part position: 1."),
          pointLine(placed),
      },
      lines));
  EXPECT_EQ(e2e::countOccurrences(run.output, "position set fail"), 2u);
}

TEST(RegionTest, ArrayProbeElementsAndProbePositions) {
  Sandbox sandbox;
  buildTestSite(sandbox);

  // The beam leans 15 degrees across the web's u direction, so the elements
  // lie along u: start and end are 32 elements of 0.8 mm = 25.6 mm from the
  // centre (not 31.5 elements: the centre at u = 41.4 mm puts start at 15.8 mm
  // in quad 7, where 25.2 mm would give quad 8).
  const double standOff = 12.3;
  Aim aim = aimAt(kWeb, 20, 10, 15.0, 90.0, standOff + kArrayDepth);
  aim.part = {41.4, 21.0, 0.0};
  // The probe's x axis along the placed u direction.
  const Vec3 x = kWeb.placement.rotation() * Vec3{1, 0, 0};
  aim.psi = psiFor(aim, x);
  const double half = 32 * 0.8;
  const Vec3 active = aim.target() - standOff * aim.beam();
  const ExpectedHit hitCentre = expectedHit(kWeb, active, aim.beam());
  const ExpectedHit hitLow = expectedHit(kWeb, active - half * x, aim.beam());
  const ExpectedHit hitHigh = expectedHit(kWeb, active + half * x, aim.beam());
  EXPECT_EQ(arrayLine("Centre: ", hitCentre),
            "Centre: (u,v)=(000020,000010). Distance: 0012.3mm. Angle: 015.00 deg.          ");
  EXPECT_EQ(hitLow.u, 7);
  EXPECT_EQ(hitHigh.u, 33);

  Session session;
  session.hold(aim, 13).keys(aim, "esC6s").hold(aim, 12).keys(aim, "65E").hold(aim, 12);
  sandbox.setArmScenario(session.scenario());

  // Test region, part Test, ultrasonic probe Array.
  const e2e::RunResult run = sandbox.run("5\n3\ny\n1\n" + session.keyText(), kLongRun);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 2);
  std::string head;
  std::string live;
  ASSERT_TRUE(splitRun(run.output, kArrayInstructions, kInputEnded, head, live));
  EXPECT_TRUE(transcriptsMatch(e2e::armStartupTranscript() + kWizardStartup + mainMenuScreen() +
                                   kChooseTestPart + kQuestion +
                                   "\nChoose tool:\n\t1: Array\n\t2: Roller\n" + prompt(2) +
                                   kLoading + kArrayInstructions,
                               head));
  std::vector<std::string> lines;
  ASSERT_TRUE(liveLines(live, lines));
  EXPECT_TRUE(sameLines(
      {
          arrayLine("Centre: ", hitCentre),
          status("File: Web."),
          arrayLine("Centre: ", hitCentre),
          arrayLine("End: ", hitHigh),
          arrayLine("Start: ", hitLow),
          arrayLine("Centre: ", hitCentre),
          // Probe position 2 turns the probe half round its beam: start and
          // end change sides.
          status("Probe position: 2."),
          arrayLine("Start: ", hitHigh),
          // '6' from the last position wraps to the first, '5' from the
          // first to the last.
          status("Probe position: 1."),
          status("Probe position: 2."),
          arrayLine("End: ", hitLow),
      },
      lines));
}

TEST(RegionTest, RefusalsEndTheTestWithOneLine) {
  {
    SCOPED_TRACE("no probe sections, no region");
    Sandbox sandbox;
    buildTestSite(sandbox);
    // Roller's tool file has no probe sections: the first pass ends the test
    // (taking the key 'x'). Part Empty has no region.
    const e2e::RunResult run = sandbox.run("5\n3\ny\n2\nx 5\n4\n 16\n", kLongRun);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(transcriptsMatch(
        e2e::armStartupTranscript() + kWizardStartup + mainMenuScreen() + kChooseTestPart +
            kQuestion + "\nChoose tool:\n\t1: Array\n\t2: Roller\n" + prompt(2) + kLoading +
            kArrayInstructions + "Probe position set fail.\n" + keyPrompt() + mainMenuScreen() +
            "\nChoose part:\n\t1: Wing\n\t2: Bracket\n\t3: Test\n\t4: Empty\n" + prompt(4) +
            "Chosen region missing.\nFailed to identify .qini or .ini file.\n" + keyPrompt() +
            mainMenuScreen(),
        run.output));
  }
  {
    SCOPED_TRACE("a region without quad files");
    Sandbox sandbox;
    buildTestSite(sandbox);
    sandbox.buildWizardTree(
        "parts/05_Hollow/01_Shell/Shell.qini = [Region]\\nNumberOfPartPositions=1\\n\n");
    // Part Hollow's region lists no quad file: the test does not start.
    const e2e::RunResult run = sandbox.run("5\n5\nn\n\n 16\n", kLongRun);
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0);
    // The settings file as the program names it.
    const std::string shell = sandbox.profileDirectory() +
                              "\\Application Data\\Kestrel Ward\\Velloran 2\\vl2_settings"
                              "\\parts\\05_Hollow\\01_Shell\\Shell.qini";
    EXPECT_TRUE(transcriptsMatch(
        e2e::armStartupTranscript() + kWizardStartup + mainMenuScreen() +
            "\nChoose part:\n\t1: Wing\n\t2: Bracket\n\t3: Test\n\t4: Empty\n\t5: Hollow\n" +
            prompt(5) + "Chosen region Shell.\n" + kQuestion + kBallPrompt +
            "No QuadFile sections in " + shell + ".\n" + keyPrompt() + mainMenuScreen(),
        run.output));
  }
  {
    SCOPED_TRACE("arm not open");
    Sandbox sandbox;
    buildTestSite(sandbox);
    sandbox.setArmScenario("fail open\n");
    const std::string question =
        "\nArm initialisation failure. Would you like to continue? (y/n): ";
    const e2e::RunResult run = sandbox.run("y\n5\n 16\n");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0);
    EXPECT_TRUE(transcriptsMatch(
        e2e::armStartupTranscript() + "Arm initialisation failure.\n" + question + kWizardStartup +
            mainMenuScreen() + "The arm is not available: it was not initialised at start-up.\n" +
            keyPrompt() + mainMenuScreen(),
        run.output));
  }
}

TEST(RegionTest, AnArmThatStopsSendingLeavesTheKeysAndQuitWorking) {
  Sandbox sandbox;
  buildTestSite(sandbox);

  const Aim aim = aimAt(kWeb, 10, 5, 20.0, 0.0, 50.0);
  const ExpectedHit hit = ballHit(aim);
  // The records run out after twenty passes and the arm writes nothing more.
  Session session;
  session.line("end idle").hold(aim, 20);
  sandbox.setArmScenario(session.scenario());

  const std::string silent = "No data from the arm. Press 'q' to end the test.";
  // While records come, 'q' does nothing. Once the arm is silent, '4' is
  // still taken (part position 2 has no sections), the silent status comes
  // back after it, and 'q' ends the test.
  const e2e::RunResult run = sandbox.run(
      std::vector<e2e::InputStep>{{"", {}, "5\n3\nn\n\n  q"},
                                  {silent, {}, "4"},
                                  {"Part position set fail.\n", {}, ""},
                                  {silent, {}, "q"},
                                  {keyPrompt(), {}, " 16\n"}},
      std::chrono::seconds(40));
  ASSERT_FALSE(run.timedOut) << e2e::visible(run.output);
  EXPECT_EQ(run.exitStatus, 0);
  std::string head;
  std::string live;
  ASSERT_TRUE(
      splitRun(run.output, kInstructions, "\n\n" + keyPrompt() + mainMenuScreen(), head, live));
  EXPECT_TRUE(transcriptsMatch(testStartTranscript(),
                               head));
  std::vector<std::string> lines;
  ASSERT_TRUE(liveLines(live, lines));
  EXPECT_TRUE(sameLines(
      {
          pointLine(hit),
          status("File: Web."),
          pointLine(hit),
          status(silent),
          status("Part position: 2.") + "Part position set fail.\n",
          status("Part position: 2."),
          status(silent),
      },
      lines));
}

// The value of a key in a section of an INI text ("" when absent).
std::string iniValue(const std::string& text, const std::string& section, const std::string& key) {
  std::istringstream lines(text);
  std::string line;
  bool inSection = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty() && line.front() == '[') {
      inSection = line == "[" + section + "]";
      continue;
    }
    if (inSection && line.compare(0, key.size() + 1, key + "=") == 0) {
      return line.substr(key.size() + 1);
    }
  }
  return "";
}

TEST(RegionTest, OperatorPositionCalibrationWritesTheFlags) {
  Sandbox sandbox;
  buildTestSite(sandbox);

  const auto web = [](int u, int v) { return aimAt(kWeb, u, v, 20.0, 30.0, 50.0); };
  const Aim behind = aimAt(kWeb, 10, 10, 15.0, 0.0, 50.0, true);
  const Aim front = aimAt(kWeb, 10, 10, 20.0, 30.0, 50.0);
  const Aim web1015 = aimAt(kWeb, 10, 15, 20.0, 30.0, 50.0);
  const Aim web105 = aimAt(kWeb, 10, 5, 20.0, 30.0, 50.0);
  const Aim cap = aimAt(kCap, 5, 5, 20.0, 0.0, 50.0);
  // From behind the ray runs with the normal.
  EXPECT_EQ(pointLine(ballHit(behind)),
            "(u,v)=(000010,000010). Distance: 0048.5mm. Angle: 165.00 deg.     ");

  Session session;
  session
      .hold(front, 14)
      // First calibration: the first click from behind (normals changed), a
      // click that misses (lost), to the right, then below (v changed).
      .keys(front, "o")
      .hold(front, 3)
      .click(behind)
      .click(missAim())
      .click(web(20, 10))
      .click(web1015)
      .hold(web1015, 13)
      // Second: a click, then 'o' again starts afresh; then a click, one to
      // the left (u changed) and one above.
      .keys(web1015, "o")
      .hold(web1015, 3)
      .click(web(30, 10))
      .keys(web(30, 10), " o")
      .hold(web(30, 10), 3)
      .click(front)
      .click(web(5, 10))
      .click(web105)
      .hold(web105, 13)
      // Third: the second click on the other file.
      .keys(web105, "o")
      .hold(web105, 3)
      .click(front)
      .click(cap)
      .click(web105)
      .hold(web105, 13)
      .red(web105, 4);
  sandbox.setArmScenario(session.scenario());

  // Spare spaces stand for the passes the red button may leave unused; one of
  // them answers "press any key".
  const e2e::RunResult run =
      sandbox.run("5\n3\nn\n\n" + session.keyText() + std::string(20, ' ') + "\n16\n", kLongRun);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 0);
  std::string head;
  std::string live;
  ASSERT_TRUE(
      splitRun(run.output, kInstructions, "\n\n" + keyPrompt() + mainMenuScreen(), head, live));
  std::vector<std::string> lines;
  ASSERT_TRUE(liveLines(live, lines));
  const std::string onFile = status("Click with green button on a quad file.");
  const std::string right = status("Click with green button approximately to the right.");
  const std::string above = status("Click with green button approximately above.");
  EXPECT_TRUE(sameLines(
      {
          pointLine(ballHit(front)),
          status("File: Web."),
          pointLine(ballHit(front)),
          onFile,
          right,
          // The miss forgets the file name, so it is shown again.
          status("File: Web."),
          above,
          status("FlipUAxis correct. FlipVAxis changed. FlipNormals changed."),
          pointLine(ballHit(web1015)),
          onFile,
          right,
          onFile,
          right,
          above,
          status("FlipUAxis changed. FlipVAxis correct. FlipNormals correct."),
          pointLine(ballHit(web105)),
          onFile,
          right,
          status("File: Cap."),
          above,
          status("File: Web."),
          status("You must select the same quad file for both points."),
          pointLine(ballHit(web105)),
      },
      lines));

  // The second calibration wrote last: from the values loaded at the start
  // (all false), not from what the first one wrote. The third wrote nothing.
  const std::string qini = e2e::readFile(sandbox.wizardDirectory() + "/" + kTestQini);
  EXPECT_EQ(iniValue(qini, "QuadFile1", "FlipUAxis"), "true") << qini;
  EXPECT_EQ(iniValue(qini, "QuadFile1", "FlipVAxis"), "false") << qini;
  EXPECT_EQ(iniValue(qini, "QuadFile1", "FlipNormals"), "false") << qini;
  EXPECT_EQ(iniValue(qini, "QuadFile2", "FlipUAxis"), "true") << qini;
  EXPECT_EQ(iniValue(qini, "QuadFile2", "FlipVAxis"), "") << qini;
  EXPECT_EQ(iniValue(qini, "QuadFile2", "FlipNormals"), "") << qini;
}

}  // namespace
