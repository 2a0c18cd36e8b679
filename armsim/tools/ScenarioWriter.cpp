#include "ScenarioWriter.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <random>
#include <sstream>
#include <utility>

#include "Scenario.h"

namespace armsim {
namespace {

constexpr double kPi = 3.14159265358979323846;

double toRadians(double degrees) {
  return degrees * (kPi / 180.0);
}

double toDegrees(double radians) {
  return radians * (180.0 / kPi);
}

Vec3 plus(const Vec3& a, const Vec3& b) {
  return {a.x + b.x, a.y + b.y, a.z + b.z};
}

Vec3 minus(const Vec3& a, const Vec3& b) {
  return {a.x - b.x, a.y - b.y, a.z - b.z};
}

Vec3 scaled(const Vec3& v, double factor) {
  return {v.x * factor, v.y * factor, v.z * factor};
}

bool finite(const Vec3& v) {
  return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

// Turns about the fixed axes X, then Y, then Z.
Vec3 rotate(const Vec3& anglesDeg, const Vec3& v) {
  const double cx = std::cos(toRadians(anglesDeg.x)), sx = std::sin(toRadians(anglesDeg.x));
  const double cy = std::cos(toRadians(anglesDeg.y)), sy = std::sin(toRadians(anglesDeg.y));
  const double cz = std::cos(toRadians(anglesDeg.z)), sz = std::sin(toRadians(anglesDeg.z));
  const Vec3 afterX{v.x, cx * v.y - sx * v.z, sx * v.y + cx * v.z};
  const Vec3 afterY{cy * afterX.x + sy * afterX.z, afterX.y, -sy * afterX.x + cy * afterX.z};
  return {cz * afterY.x - sz * afterY.y, sz * afterY.x + cz * afterY.y, afterY.z};
}

// The shortest text that reads back as the same double.
std::string number(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string triple(const Vec3& v) {
  return "(" + number(v.x) + ", " + number(v.y) + ", " + number(v.z) + ")";
}

struct Pose {
  Vec3 point = kInitialRestPoint;
  double phi = 0.0, theta = 90.0, psi = 0.0;
};

// Normal deviates from a seeded 64-bit Mersenne twister by the Box–Muller
// transform, so that a seed gives the same noise with every standard library.
class NormalNoise {
 public:
  void reset(double sigma, std::uint64_t seed) {
    sigma_ = sigma;
    engine_.seed(seed);
  }
  Vec3 draw() {
    if (sigma_ == 0.0) return {};
    const double x = next();
    const double y = next();
    const double z = next();
    return {x, y, z};
  }

 private:
  double next() {
    // u1 in (0, 1], u2 in [0, 1), each from the top 53 bits of a draw.
    const double u1 = (static_cast<double>(engine_() >> 11) + 1.0) * 0x1.0p-53;
    const double u2 = static_cast<double>(engine_() >> 11) * 0x1.0p-53;
    return sigma_ * std::sqrt(-2.0 * std::log(u1)) * std::cos(2.0 * kPi * u2);
  }

  double sigma_ = 0.0;
  std::mt19937_64 engine_;
};

class Generator {
 public:
  Generator(const ScenarioDescription& description, GeneratedScenario& out)
      : description_(description), out_(out) {}

  bool run(std::string& error) {
    for (std::size_t i = 0; i < description_.steps.size(); ++i) {
      problem_.clear();
      const bool ok =
          std::visit([this](const auto& step) { return apply(step); }, description_.steps[i]);
      if (!ok) {
        error = (i < description_.lines.size() ? "line " + std::to_string(description_.lines[i])
                                               : "step " + std::to_string(i + 1)) +
                ": " + problem_;
        return false;
      }
    }
    std::string text = "# Virtual-arm scenario written by the scenario tool.\n";
    bool endGiven = false;
    for (const std::string& line : header_) {
      text += line + "\n";
      std::istringstream words(line);
      std::string keyword;
      words >> keyword;
      for (char& c : keyword) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      endGiven = endGiven || keyword == "end";
    }
    // The last record never holds a button down, so repeating it is harmless
    // and keeps a waiting program supplied.
    if (!endGiven) text += "end hold\n";
    out_.text = text + body_;
    out_.recordCount = records_;
    // The arm must accept what was written.
    Scenario check;
    std::istringstream written(out_.text);
    std::string parseError;
    if (!parseScenario(written, check, parseError) || check.records.size() != records_) {
      error = "the written scenario does not read back: " + parseError;
      return false;
    }
    return true;
  }

 private:
  bool apply(const SetPlacement& step) {
    const Placement& p = step.placement;
    if (!finite(p.anglesDeg) || !finite(p.translation) || !finite(p.origin)) {
      return fail("placement needs finite numbers");
    }
    placement_ = p;
    return true;
  }
  bool apply(const SetBall& step) {
    if (step.sizeMm != 3.0 && step.sizeMm != 6.0) return fail("ball size must be 3 or 6 (mm)");
    ballSize_ = step.sizeMm;
    return true;
  }
  bool apply(const SetProbeAngles& step) {
    if (!std::isfinite(step.phi) || !std::isfinite(step.theta) || !std::isfinite(step.psi)) {
      return fail("probe needs finite angles");
    }
    probe_ = step;
    return true;
  }
  bool apply(const SetNoise& step) {
    if (!std::isfinite(step.sigma) || step.sigma < 0.0)
      return fail("noise sigma must be 0 or more");
    noise_.reset(step.sigma, step.seed);
    return true;
  }
  bool apply(const SetImageGreen& step) {
    if (step.presses < 0 || step.presses > 1000) return fail("image-green needs 0 to 1000 presses");
    imageGreen_ = step.presses;
    return true;
  }
  bool apply(const SetSpacing& step) {
    if (step.records < 0 || step.records > 1000) return fail("spacing needs 0 to 1000 records");
    spacing_ = step.records;
    return true;
  }
  bool apply(const SetReference& step) {
    if (!finite(step.world)) return fail("reference needs finite numbers");
    reference_ = step.world;
    return true;
  }
  bool apply(const Touch& step) {
    if (!finite(step.part)) return fail("touch needs finite numbers");
    ExpectedTouch touch;
    touch.kind = TouchKind::Point;
    touch.part = step.part;
    touch.world = placePoint(placement_, step.part);
    touch.arm = plus(minus(touch.world, moved_), noise_.draw());
    touch.tipOffset = ballSize_ / 4.0;
    pose_ =
        probePose(minus(touch.arm, scaled(probeAxis(probe_.phi, probe_.theta), touch.tipOffset)));
    comment("touch " + triple(step.part) + ": world " + triple(touch.world) + ", arm " +
            triple(touch.arm) + ", tip offset " + number(touch.tipOffset));
    for (int i = 0; i < imageGreen_; ++i) {
      if (!press(Button::Green, 1)) return false;
    }
    return pressRecording(touch);
  }
  bool apply(const Relocate& step) {
    if (!finite(step.offset)) return fail("relocation needs finite numbers");
    if (step.touchReference && !reference_) {
      return fail("relocate needs a reference point first (reference x y z)");
    }
    if (!step.touchReference) {
      moved_ = plus(moved_, step.offset);
      pose_.point = minus(pose_.point, step.offset);
      comment("arm moved by " + triple(step.offset));
      return true;
    }
    ExpectedTouch before;
    before.kind = TouchKind::ReferenceBefore;
    before.part = before.world = *reference_;
    before.arm = minus(*reference_, moved_);
    pose_ = probePose(before.arm);
    comment("reference before the move: arm " + triple(before.arm));
    if (!pressRecording(before)) return false;

    moved_ = plus(moved_, step.offset);
    ExpectedTouch after = before;
    after.kind = TouchKind::ReferenceAfter;
    after.arm = minus(*reference_, moved_);
    pose_ = probePose(after.arm);
    comment("arm moved by " + triple(step.offset) + "; reference after the move: arm " +
            triple(after.arm));
    return pressRecording(after);
  }
  bool apply(const Aim& step) {
    if (!finite(step.part) || !finite(step.axis) || !std::isfinite(step.distance)) {
      return fail("aim needs finite numbers");
    }
    if (step.records < 1) return fail("aim needs at least one record");
    const Vec3 worldAxis = placeDirection(placement_, step.axis);
    double phi = 0.0, theta = 0.0;
    if (!anglesForAxis(worldAxis, phi, theta)) return fail("aim needs a non-zero axis");
    const Vec3 axis = probeAxis(phi, theta);  // unit length
    ExpectedTouch aim;
    aim.kind = TouchKind::Aim;
    aim.part = step.part;
    aim.world = placePoint(placement_, step.part);
    aim.arm = minus(aim.world, moved_);
    aim.tipOffset = step.distance;
    aim.record = records_;
    pose_.point = minus(aim.arm, scaled(axis, step.distance));
    pose_.phi = phi;
    pose_.theta = theta;
    pose_.psi = probe_.psi;
    comment("aim at " + triple(step.part) + ": world " + triple(aim.world) + ", arm " +
            triple(aim.arm) + ", axis " + triple(axis) + ", distance " + number(step.distance));
    if (!emit(false, false, step.records)) return false;
    out_.touches.push_back(aim);
    return true;
  }
  bool apply(const Press& step) {
    if (step.presses < 1 || step.held < 1) return fail("a press needs counts of at least 1");
    for (int i = 0; i < step.presses; ++i) {
      if (!press(step.button, step.held)) return false;
    }
    return true;
  }
  bool apply(const Rest& step) {
    if (step.records < 1) return fail("rest needs at least one record");
    return emit(false, false, step.records);
  }
  bool apply(const ScenarioLine& step) {
    std::istringstream words(step.text);
    std::string keyword;
    words >> keyword;
    for (char& c : keyword) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    static const char* const allowed[] = {"serial",   "firmware", "fail", "dialog",   "log",
                                          "playback", "end",      "live", "interrupt"};
    bool known = false;
    for (const char* name : allowed) known = known || keyword == name;
    if (!known) return fail("\"" + keyword + "\" is not a scenario line the tool copies");
    Scenario check;
    std::istringstream line(step.text);
    std::string problem;
    if (!parseScenario(line, check, problem)) {
      // The arm's message names its own line 1; the step's line is named by
      // the caller.
      const std::string prefix = "line 1: ";
      return fail(problem.rfind(prefix, 0) == 0 ? problem.substr(prefix.size()) : problem);
    }
    header_.push_back(step.text);
    return true;
  }

  bool fail(std::string problem) {
    problem_ = std::move(problem);
    return false;
  }

  Pose probePose(const Vec3& point) const {
    Pose pose;
    pose.point = point;
    pose.phi = probe_.phi;
    pose.theta = probe_.theta;
    pose.psi = probe_.psi;
    return pose;
  }

  void comment(const std::string& text) { body_ += "# " + text + "\n"; }

  // Records of the current pose, buttons as given.
  bool emit(bool green, bool red, int count) {
    if (count <= 0) return true;
    if (records_ + static_cast<std::size_t>(count) > kMaxRecords) {
      return fail("more than " + std::to_string(kMaxRecords) + " records");
    }
    // Finite numbers can place, move or aim the probe beyond the largest
    // number, which no record can hold.
    if (!finite(pose_.point)) return fail("the probe's position is beyond the range of numbers");
    std::string line = "record " + number(pose_.point.x) + " " + number(pose_.point.y) + " " +
                       number(pose_.point.z) + " " + number(pose_.phi) + " " + number(pose_.theta) +
                       " " + number(pose_.psi);
    if (green) line += " green";
    if (red) line += " red";
    if (count > 1) line += " x" + std::to_string(count);
    body_ += line + "\n";
    records_ += static_cast<std::size_t>(count);
    return true;
  }

  // Resting records, the button held for `held` records, one release.
  bool press(Button button, int held) {
    return emit(false, false, spacing_) &&
           emit(button == Button::Green, button == Button::Red, held) && emit(false, false, 1);
  }

  // A green press that records a point; the press record is remembered.
  bool pressRecording(ExpectedTouch touch) {
    touch.record = records_ + static_cast<std::size_t>(spacing_);
    if (!press(Button::Green, 1)) return false;
    out_.touches.push_back(touch);
    return true;
  }

  const ScenarioDescription& description_;
  GeneratedScenario& out_;
  std::string problem_;

  Placement placement_;
  double ballSize_ = 3.0;
  SetProbeAngles probe_;
  NormalNoise noise_;
  int imageGreen_ = 0;
  int spacing_ = 1;
  std::optional<Vec3> reference_;
  Vec3 moved_;  // accumulated relocation D
  Pose pose_;

  std::vector<std::string> header_;
  std::string body_;
  std::size_t records_ = 0;
};

}  // namespace

Vec3 placePoint(const Placement& placement, const Vec3& part) {
  return plus(plus(placement.origin, rotate(placement.anglesDeg, minus(part, placement.origin))),
              placement.translation);
}

Vec3 placeDirection(const Placement& placement, const Vec3& direction) {
  return rotate(placement.anglesDeg, direction);
}

Vec3 probeAxis(double phiDeg, double thetaDeg) {
  const double phi = toRadians(phiDeg);
  const double theta = toRadians(thetaDeg);
  return {std::sin(theta) * std::sin(phi), -std::sin(theta) * std::cos(phi), std::cos(theta)};
}

bool anglesForAxis(const Vec3& direction, double& phiDeg, double& thetaDeg) {
  if (!finite(direction)) return false;
  const double length = std::hypot(direction.x, direction.y, direction.z);
  if (!(length > 0.0) || !std::isfinite(length)) return false;
  const Vec3 unit = scaled(direction, 1.0 / length);
  // theta from atan2 rather than acos: accurate near the poles too.
  const double across = std::hypot(unit.x, unit.y);
  thetaDeg = toDegrees(std::atan2(across, unit.z));
  phiDeg = across > 0.0 ? toDegrees(std::atan2(unit.x, -unit.y)) : 0.0;
  return true;
}

bool generateScenario(const ScenarioDescription& description, GeneratedScenario& scenario,
                      std::string& error) {
  GeneratedScenario result;
  Generator generator(description, result);
  if (!generator.run(error)) return false;
  scenario = std::move(result);
  return true;
}

}  // namespace armsim
