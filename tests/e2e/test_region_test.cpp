// "Test region" with the real program and the virtual arm: the live line for
// known aims at a placed two-collection region, the keys, an ultrasonic array
// probe's elements and probe positions, the operator-position calibration,
// and the refusals.
//
// The expected hits are worked out here from the placements, with rotation
// matrices of this file, and the virtual arm is given the probe poses that
// aim at chosen quads.
//
// Pacing. Each pass of the live loop takes one waiting key, reads a pose
// (waiting for the arm's event) and polls the buttons twice. The virtual arm
// writes a record only once the program took the last one, so a pass mostly
// takes two records: its click poll takes one, its end poll the next, whose
// pose the following pass reads. Sessions below are described pass by pass
// and turned into records that way; the keys are written one per pass, so the
// console input lasts exactly as many passes as there are keys (a run ends at
// the end of its input unless the red button comes first).
//
// Now and then the pose read finds the event of a record the button polls
// already took and gets a newer record: from then on the records run ahead of
// the keys, never behind them. So a key comes at a constant pose, or a pass
// or two after the arm event it must follow and well before the next one;
// buttons are held for two passes, so that a poll taking a later record still
// sees them, and a click's release is held at the pose for two passes too.
// Status texts show for 2000 ms, a time and not a number of passes:
// the live lines are compared with repeats collapsed, and every status is
// either replaced within seven passes or followed by thirteen passes of one
// pose.
#include <cmath>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "E2eHarness.h"
#include "ZorvGeometry.h"

namespace {

using e2e::keyPrompt;
using e2e::mainMenuScreen;
using e2e::Sandbox;
using e2e::transcriptsMatch;

constexpr double kPi = 3.14159265358979323846;
constexpr auto kLongRun = std::chrono::seconds(120);

// ---------------------------------------------------------------------------
// Geometry of this test (independent of the program's geometry library).

struct Vec3 {
  double x = 0.0, y = 0.0, z = 0.0;
};
Vec3 operator+(Vec3 a, Vec3 b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}
Vec3 operator-(Vec3 a, Vec3 b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}
Vec3 operator*(double s, Vec3 a) {
  return {s * a.x, s * a.y, s * a.z};
}
double dot(Vec3 a, Vec3 b) {
  return a.x * b.x + a.y * b.y + a.z * b.z;
}
Vec3 cross(Vec3 a, Vec3 b) {
  return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
Vec3 unit(Vec3 a) {
  return (1.0 / std::sqrt(dot(a, a))) * a;
}

struct Mat3 {
  double m[3][3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
  Vec3 operator*(Vec3 v) const {
    return {m[0][0] * v.x + m[0][1] * v.y + m[0][2] * v.z,
            m[1][0] * v.x + m[1][1] * v.y + m[1][2] * v.z,
            m[2][0] * v.x + m[2][1] * v.y + m[2][2] * v.z};
  }
  Mat3 operator*(const Mat3& o) const {
    Mat3 r;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) {
        r.m[i][j] = m[i][0] * o.m[0][j] + m[i][1] * o.m[1][j] + m[i][2] * o.m[2][j];
      }
    }
    return r;
  }
  Mat3 transposed() const {
    Mat3 r;
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) r.m[i][j] = m[j][i];
    }
    return r;
  }
  static Mat3 columns(Vec3 a, Vec3 b, Vec3 c) {
    Mat3 r;
    const Vec3 cols[3] = {a, b, c};
    for (int j = 0; j < 3; ++j) {
      r.m[0][j] = cols[j].x;
      r.m[1][j] = cols[j].y;
      r.m[2][j] = cols[j].z;
    }
    return r;
  }
};

// Right-handed turn about axis 0 (x), 1 (y) or 2 (z).
Mat3 turn(int axis, double degrees) {
  const double c = std::cos(degrees * kPi / 180.0);
  const double s = std::sin(degrees * kPi / 180.0);
  Mat3 r;
  const int i = (axis + 1) % 3;
  const int j = (axis + 2) % 3;
  r.m[i][i] = c;
  r.m[i][j] = -s;
  r.m[j][i] = s;
  r.m[j][j] = c;
  return r;
}

// A part transform section: P goes to origin + R (P − origin) + translation,
// R the turns about x, then y, then z.
struct Placement {
  Vec3 anglesDeg, translation, origin;
  Mat3 rotation() const {
    return turn(2, anglesDeg.z) * turn(1, anglesDeg.y) * turn(0, anglesDeg.x);
  }
  Vec3 place(Vec3 p) const { return origin + rotation() * (p - origin) + translation; }
  Vec3 local(Vec3 w) const { return origin + rotation().transposed() * (w - translation - origin); }
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

// The arm's angles of a probe frame A = Rz(phi) · Rx(theta) · Rz(psi).
struct ProbeAngles {
  double phi, theta, psi;
};
ProbeAngles anglesOf(const Mat3& a) {
  const double toDeg = 180.0 / kPi;
  return {std::atan2(a.m[0][2], -a.m[1][2]) * toDeg, std::acos(a.m[2][2]) * toDeg,
          std::atan2(a.m[2][0], a.m[2][1]) * toDeg};
}
Mat3 probeFrame(const ProbeAngles& p) {
  return turn(2, p.phi) * turn(0, p.theta) * turn(2, p.psi);
}

// One arm record's pose.
struct Pose {
  Vec3 point;
  ProbeAngles angles{0.0, 90.0, 0.0};
};

// A probe aimed at the centre of a quad (the file's own indices), tilted by
// `tilt` degrees from the surface normal towards the file's in-plane direction
// `azimuth`, its active centre `standOff` mm before the quad (the tool's own
// offset `toolDepth` mm further back along the beam). The probe's x axis lies
// along the file's u direction as far as the beam allows. From behind, the
// probe looks along the normal instead of against it.
struct Aim {
  Pose pose;
  Vec3 target;  // arm frame
  Vec3 beam;    // unit beam direction
  Vec3 probeX;  // the probe's x axis, arm frame
  double standOff;
};
Aim aimAt(const PlanarFile& file, int u, int v, double tilt, double azimuth, double standOff,
          bool fromBehind = false, double toolDepth = 0.0) {
  const Mat3 r = file.placement.rotation();
  const Vec3 n = file.normal();
  const double a = azimuth * kPi / 180.0;
  const Vec3 side = r * Vec3{std::cos(a), std::sin(a), 0.0};
  const double t = tilt * kPi / 180.0;
  const Vec3 beam = unit((fromBehind ? std::cos(t) : -std::cos(t)) * n + std::sin(t) * side);
  const Vec3 along = r * Vec3{1, 0, 0};
  const Vec3 x = unit(along - dot(along, beam) * beam);
  const Mat3 frame = Mat3::columns(x, cross(beam, x), beam);
  Aim aim;
  aim.target = file.placement.place(file.quadCentre(u, v));
  aim.beam = beam;
  aim.probeX = x;
  aim.standOff = standOff;
  aim.pose.point = aim.target - (standOff + toolDepth) * beam;
  aim.pose.angles = anglesOf(frame);
  // The angles give back the frame: a check of this file's own arithmetic.
  const Mat3 back = probeFrame(aim.pose.angles);
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) EXPECT_NEAR(back.m[i][j], frame.m[i][j], 1e-9);
  }
  return aim;
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

::testing::AssertionResult sameLines(const std::vector<std::string>& expected,
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
// The virtual arm's records, pass by pass.

class Session {
 public:
  // `count` passes at one pose, each with the key ' ' (which does nothing).
  Session& hold(const Pose& pose, int count) { return add(pose, std::string(count, ' ')); }
  // One pass per key at one pose.
  Session& keys(const Pose& pose, const std::string& keys) { return add(pose, keys); }
  // Green down for two passes, then released for two: a click, taken in the
  // first released pass when the ray hits. The second released pass keeps
  // the pose for a poll that sees the release one record late.
  Session& click(const Pose& pose) {
    add(pose, "  ", true);
    return add(pose, "  ");
  }
  // Red down from here on.
  Session& red(const Pose& pose, int count) {
    return add(pose, std::string(count, ' '), false, true);
  }

  // Record 1 is the first pass's pose; pass k's click poll takes record 2k,
  // its end poll record 2k+1, which carries the next pass's pose.
  std::string scenario() const {
    std::string text;
    append(text, passes_.front().pose, false, false);
    for (std::size_t k = 0; k < passes_.size(); ++k) {
      const Pass& p = passes_[k];
      const Pass& next = k + 1 < passes_.size() ? passes_[k + 1] : p;
      append(text, p.pose, p.green, p.red);
      append(text, next.pose, p.green, p.red);
    }
    return text + "end hold\n";
  }
  std::string keyText() const {
    std::string text;
    for (const Pass& p : passes_) text += p.key;
    return text;
  }

 private:
  struct Pass {
    char key;
    Pose pose;
    bool green;
    bool red;
  };
  Session& add(const Pose& pose, const std::string& keys, bool green = false, bool red = false) {
    for (char key : keys) passes_.push_back({key, pose, green, red});
    return *this;
  }
  static void append(std::string& text, const Pose& pose, bool green, bool red) {
    char line[256];
    std::snprintf(line, sizeof line, "record %.12f %.12f %.12f %.12f %.12f %.12f%s%s\n",
                  pose.point.x, pose.point.y, pose.point.z, pose.angles.phi, pose.angles.theta,
                  pose.angles.psi, green ? " green" : "", red ? " red" : "");
    text += line;
  }
  std::vector<Pass> passes_;
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

// A pose whose ray meets nothing.
Pose missPose() {
  Pose pose;
  pose.point = {-300.0, -300.0, 100.0};
  pose.angles = {30.0, 160.0, 0.0};
  return pose;
}

// The hit of a ball probe's aim: the ray starts at the ball's centre.
ExpectedHit ballHit(const PlanarFile& file, const Aim& aim) {
  return expectedHit(file, aim.pose.point + kBallRadius * aim.beam, aim.beam);
}

// ---------------------------------------------------------------------------

TEST(RegionTest, BallProbeAimsShowTheExpectedLines) {
  Sandbox sandbox;
  buildTestSite(sandbox);

  const Aim a = aimAt(kWeb, 10, 5, 20.0, 0.0, 50.0);
  const Aim b = aimAt(kWeb, 40, 15, 35.0, 135.0, 61.3);
  const Aim c = aimAt(kCap, 3, 4, 25.0, 90.0, 44.4);
  const ExpectedHit hitA = ballHit(kWeb, a);
  const ExpectedHit hitB = ballHit(kWeb, b);
  const ExpectedHit hitC = ballHit(kCap, c);
  // What the lines must show, worked out by hand for the chosen quads: the
  // ball's centre is its radius (1.5 mm) nearer than the measuring point.
  EXPECT_EQ(pointLine(hitA), "(u,v)=(000010,000005). Distance: 0048.5mm. Angle: 020.00 deg.     ");
  EXPECT_EQ(pointLine(hitB), "(u,v)=(000040,000015). Distance: 0059.8mm. Angle: 035.00 deg.     ");
  // Cap: u 3 flipped among 30 is 26, plus the offset 5; v 4 plus 100.
  EXPECT_EQ(pointLine(hitC), "(u,v)=(000031,000104). Distance: 0042.9mm. Angle: 025.00 deg.     ");

  Session session;
  session.hold(a.pose, 14).hold(b.pose, 5).hold(c.pose, 14).hold(missPose(), 5).hold(a.pose, 14);
  sandbox.setArmScenario(session.scenario());

  // Test region, part Test (its one region), no ultrasonic probe, 3 mm ball.
  const e2e::RunResult run = sandbox.run("5\n3\nn\n\n" + session.keyText(), kLongRun);
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 2);
  std::string head;
  std::string live;
  ASSERT_TRUE(splitRun(run.output, kInstructions, kInputEnded, head, live));
  EXPECT_TRUE(transcriptsMatch(e2e::armStartupTranscript() + kWizardStartup + mainMenuScreen() +
                                   kChooseTestPart + kQuestion + kBallPrompt + kLoading +
                                   kInstructions,
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
  aim.beam = unit(unplacedTarget - placedTarget);
  const Vec3 x = unit(cross(Vec3{0, 0, 1}, aim.beam));
  aim.pose.angles = anglesOf(Mat3::columns(x, cross(aim.beam, x), aim.beam));
  aim.pose.point = placedTarget - 50.0 * aim.beam;
  const ExpectedHit placed = ballHit(kWeb, aim);
  const ExpectedHit unplaced = ballHit(kUnplacedWeb, aim);
  EXPECT_EQ(placed.u, 40);
  EXPECT_EQ(unplaced.u, 25);
  EXPECT_EQ(unplaced.v, 10);

  Session session;
  session.hold(aim.pose, 14)
      .keys(aim.pose, "1536cse2")
      .hold(aim.pose, 13)
      .keys(aim.pose, "14")
      .hold(aim.pose, 13)
      .keys(aim.pose, "3")
      .hold(aim.pose, 13);
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
  const double centreU = 41.4;
  Aim aim = aimAt(kWeb, 20, 10, 15.0, 90.0, 12.3, false, kArrayDepth);
  const Vec3 centre = kWeb.placement.place({centreU, 21.0, 0.0});
  const Vec3 shift = centre - aim.target;
  aim.target = centre;
  aim.pose.point = aim.pose.point + shift;
  const double half = 32 * 0.8;
  const Vec3 active = centre - aim.standOff * aim.beam;
  const ExpectedHit hitCentre = expectedHit(kWeb, active, aim.beam);
  const ExpectedHit hitLow = expectedHit(kWeb, active - half * aim.probeX, aim.beam);
  const ExpectedHit hitHigh = expectedHit(kWeb, active + half * aim.probeX, aim.beam);
  EXPECT_EQ(arrayLine("Centre: ", hitCentre),
            "Centre: (u,v)=(000020,000010). Distance: 0012.3mm. Angle: 015.00 deg.          ");
  EXPECT_EQ(hitLow.u, 7);
  EXPECT_EQ(hitHigh.u, 33);

  Session session;
  session.hold(aim.pose, 13)
      .keys(aim.pose, "esC6s")
      .hold(aim.pose, 12)
      .keys(aim.pose, "65E")
      .hold(aim.pose, 12);
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

  const auto web = [](int u, int v) { return aimAt(kWeb, u, v, 20.0, 30.0, 50.0).pose; };
  const Aim behind = aimAt(kWeb, 10, 10, 15.0, 0.0, 50.0, true);
  const Aim front = aimAt(kWeb, 10, 10, 20.0, 30.0, 50.0);
  const Aim web1015 = aimAt(kWeb, 10, 15, 20.0, 30.0, 50.0);
  const Aim web105 = aimAt(kWeb, 10, 5, 20.0, 30.0, 50.0);
  const Pose cap = aimAt(kCap, 5, 5, 20.0, 0.0, 50.0).pose;
  // From behind the ray runs with the normal.
  EXPECT_EQ(pointLine(ballHit(kWeb, behind)),
            "(u,v)=(000010,000010). Distance: 0048.5mm. Angle: 165.00 deg.     ");

  Session session;
  session
      .hold(front.pose, 14)
      // First calibration: the first click from behind (normals changed), a
      // click that misses (lost), to the right, then below (v changed).
      .keys(front.pose, "o")
      .hold(front.pose, 3)
      .click(behind.pose)
      .click(missPose())
      .click(web(20, 10))
      .click(web1015.pose)
      .hold(web1015.pose, 13)
      // Second: a click, then 'o' again starts afresh; then a click, one to
      // the left (u changed) and one above.
      .keys(web1015.pose, "o")
      .hold(web1015.pose, 3)
      .click(web(30, 10))
      .keys(web(30, 10), " o")
      .hold(web(30, 10), 3)
      .click(front.pose)
      .click(web(5, 10))
      .click(web105.pose)
      .hold(web105.pose, 13)
      // Third: the second click on the other file.
      .keys(web105.pose, "o")
      .hold(web105.pose, 3)
      .click(front.pose)
      .click(cap)
      .click(web105.pose)
      .hold(web105.pose, 13)
      .red(web105.pose, 4);
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
          pointLine(ballHit(kWeb, front)),
          status("File: Web."),
          pointLine(ballHit(kWeb, front)),
          onFile,
          right,
          // The miss forgets the file name, so it is shown again.
          status("File: Web."),
          above,
          status("FlipUAxis correct. FlipVAxis changed. FlipNormals changed."),
          pointLine(ballHit(kWeb, web1015)),
          onFile,
          right,
          onFile,
          right,
          above,
          status("FlipUAxis changed. FlipVAxis correct. FlipNormals correct."),
          pointLine(ballHit(kWeb, web105)),
          onFile,
          right,
          status("File: Cap."),
          above,
          status("File: Web."),
          status("You must select the same quad file for both points."),
          pointLine(ballHit(kWeb, web105)),
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
