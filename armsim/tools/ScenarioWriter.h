// The scenario tool: writes virtual-arm scenarios from known part placements.
//
// A description says where a part lies (a placement), which part-local points
// the operator touches with the probe, where the arm is moved to, how the
// probe is aimed at the part and when the buttons are pressed. The tool turns
// it into the records of a scenario (see Scenario.h) such that the program,
// recording the points as it always does, gets exactly the placed points.
//
// Probe convention. A record holds the measuring point (x, y, z, mm, arm
// frame) and the angles phi, theta, psi (degrees). The probe's rotation is
// Rz(phi) · Rx(theta) · Rz(psi + psi correction); its axis, the image of
// (0, 0, 1), is (sin θ sin φ, −sin θ cos φ, cos θ) and does not depend on psi
// or the correction. The program records a point as the measuring point moved
// a tip offset along that axis: a quarter of the ball size for calibration
// points, 0 for the reference point of a relocation.
//
// Frames. The world frame is the arm's frame at its first position. A
// relocation moves the arm by a translation D (accumulated over all moves);
// afterwards every record is in the moved frame: arm = world − D.
#pragma once

#include <cstddef>
#include <cstdint>
#include <istream>
#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace armsim {

struct Vec3 {
  double x = 0.0, y = 0.0, z = 0.0;
};

// Where a part lies in the world: placed = origin + R (part − origin) +
// translation, R the turns of anglesDeg about the fixed axes X, then Y, then
// Z: R = Rz(anglesDeg.z) · Ry(anglesDeg.y) · Rx(anglesDeg.x), right-handed.
struct Placement {
  Vec3 anglesDeg;
  Vec3 translation;
  Vec3 origin;
};

// The placed point of a part-local point.
Vec3 placePoint(const Placement& placement, const Vec3& part);
// The placed direction of a part-local direction (the rotation alone).
Vec3 placeDirection(const Placement& placement, const Vec3& direction);
// The probe axis for the angles phi, theta (degrees).
Vec3 probeAxis(double phiDeg, double thetaDeg);
// Angles phi, theta (degrees) whose probe axis is the given direction, which
// need not have unit length. False, outputs unchanged, for a zero or
// non-finite direction. Along ±Z phi is 0.
bool anglesForAxis(const Vec3& direction, double& phiDeg, double& thetaDeg);

// The steps of a description, played in order. Set* steps change what the
// following steps do; the others write records.

// Part placement for the following touches and aims (default: identity).
struct SetPlacement {
  Placement placement;
};
// Ball size in mm, 3 or 6 (default 3): touches are recorded a quarter of it
// along the probe axis.
struct SetBall {
  double sizeMm = 3.0;
};
// Angles of the probe at the following touches and references, degrees
// (default 0, 90, 0); psi also for aims.
struct SetProbeAngles {
  double phi = 0.0, theta = 90.0, psi = 0.0;
};
// Normal noise of standard deviation sigma (mm) added to each coordinate of
// every following touched point, drawn from a generator seeded with seed;
// sigma 0 turns it off. References and aims stay exact.
struct SetNoise {
  double sigma = 0.0;
  std::uint64_t seed = 0;
};
// Green presses before each following touch, taken by an image step that
// waits for "green to continue" (default 0).
struct SetImageGreen {
  int presses = 0;
};
// Resting records written before every press (default 1), so that a record
// the program takes (or skips) while it pauses is never a press.
struct SetSpacing {
  int records = 1;
};
// World point touched (tip offset 0) before and after each relocation.
struct SetReference {
  Vec3 world;
};
// The operator touches a part-local point and presses green.
struct Touch {
  Vec3 part;
};
// The arm is moved by a translation (world frame). With touchReference the
// reference point is touched from the old position and again from the new
// one, as a relocation in a multi-position calibration asks.
struct Relocate {
  Vec3 offset;
  bool touchReference = true;
};
// The probe is held so that its axis, along `axis` (part-local, turned with
// the part), passes through a part-local point, the measuring point standing
// `distance` mm before it: measuring point = target − axis × distance. Writes
// `records` records of that pose.
struct Aim {
  Vec3 part;
  Vec3 axis;
  double distance = 0.0;
  int records = 1;
};
enum class Button { Green, Red };
// `presses` presses of a button at the current pose, each held for `held`
// records and followed by one release record.
struct Press {
  Button button = Button::Green;
  int presses = 1;
  int held = 1;
};
// Records at the current pose with no button down.
struct Rest {
  int records = 1;
};
// A scenario line copied as it stands (serial, firmware, fail, dialog, log,
// playback, end, live, interrupt), placed before the records.
struct ScenarioLine {
  std::string text;
};

using DescriptionStep =
    std::variant<SetPlacement, SetBall, SetProbeAngles, SetNoise, SetImageGreen, SetSpacing,
                 SetReference, Touch, Relocate, Aim, Press, Rest, ScenarioLine>;

struct ScenarioDescription {
  std::vector<DescriptionStep> steps;
  // Source line of each step when the description was read from text;
  // errors then name the line instead of the step.
  std::vector<int> lines;
};

enum class TouchKind {
  Point,            // a touch
  ReferenceBefore,  // the reference touched before a relocation
  ReferenceAfter,   // the reference touched after it
  Aim,              // the target of an aim
};

// What the program gets from one touch or aim. For every kind
//     arm = record point + probe axis × tipOffset
// where the record is the press (a touch or reference) or the first record
// of an aim.
struct ExpectedTouch {
  TouchKind kind = TouchKind::Point;
  Vec3 part;               // part-local point (the world point for references)
  Vec3 world;              // placed point, world frame
  Vec3 arm;                // world point in the arm frame at the time, noise included
  double tipOffset = 0.0;  // ball size / 4, 0 for references, the distance for aims
  std::size_t record = 0;  // 0-based index among the scenario's records
};

struct GeneratedScenario {
  std::string text;  // the scenario file
  std::vector<ExpectedTouch> touches;
  std::size_t recordCount = 0;
};

// Resting pose before the first pose is known: the usual resting arm (400, 0, 200 mm).
inline constexpr Vec3 kInitialRestPoint{400.0, 0.0, 200.0};

// Reads a description (see armsim/README.md). False with "line N: problem"
// when the text does not follow the syntax.
bool parseScenarioDescription(std::istream& in, ScenarioDescription& description,
                              std::string& error);

// Writes the scenario of a description. False with "line N: problem" (or
// "step N: problem" for a description built in code, N from 1) when a step
// cannot be played: a relocation without reference, a ball other than 3 or
// 6, a zero aim axis, a count out of range, a scenario line the arm would
// refuse, more records than a scenario may hold.
bool generateScenario(const ScenarioDescription& description, GeneratedScenario& scenario,
                      std::string& error);

// The command-line program zorv-scenario: arguments without the program
// name; the description comes from a file or standard input, the scenario
// goes to a file or standard output. Returns the exit status: 0 done, 1 a
// description or file problem, 2 a usage problem.
int runScenarioTool(const std::vector<std::string>& arguments, std::istream& input,
                    std::ostream& output, std::ostream& errors);

}  // namespace armsim
