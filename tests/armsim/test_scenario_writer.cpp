// The scenario tool, checked against the program's own formulas: each
// generated scenario is read back as the virtual arm reads it, and the points
// the program would record are recomputed with its probe rotation and the
// geometry library's placement.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "Scenario.h"
#include "ScenarioWriter.h"
#include "ZorvGeometry/ThreeDimensional.h"
#include "arm/ProbeReadings.h"
#include "test_support.h"

namespace {

using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;

constexpr double kTolerance = 1e-9;

Vector toVector(const armsim::Vec3& v) {
  return Vector(v.x, v.y, v.z);
}

void expectNear(const Vector& actual, const Vector& expected, double tolerance = kTolerance) {
  EXPECT_NEAR(actual.x, expected.x, tolerance);
  EXPECT_NEAR(actual.y, expected.y, tolerance);
  EXPECT_NEAR(actual.z, expected.z, tolerance);
}

// The placed point computed with the geometry library: O + R(P − O) + T.
Vector placedByGeometry(const armsim::Placement& p, const armsim::Vec3& part) {
  LinearMap rotation;
  rotation.setRotation(LinearMap::X, LinearMap::Y, LinearMap::Z,
                       Vector(Utility::degToRad(p.anglesDeg.x), Utility::degToRad(p.anglesDeg.y),
                              Utility::degToRad(p.anglesDeg.z)));
  return toVector(p.origin) + rotation(toVector(part) - toVector(p.origin)) +
         toVector(p.translation);
}

// What recordProbePoint computes from a record.
Vector recordedPoint(const armsim::Record& record, double tipOffset, double psiDelta) {
  const Vector axis =
      probeRotation(record.phi, record.theta, record.psi, psiDelta)(Vector(0.0, 0.0, 1.0));
  return Vector(record.x, record.y, record.z) + axis * tipOffset;
}

armsim::ScenarioDescription parse(const std::string& text) {
  armsim::ScenarioDescription description;
  std::istringstream in(text);
  std::string error;
  EXPECT_TRUE(armsim::parseScenarioDescription(in, description, error)) << error;
  return description;
}

armsim::GeneratedScenario generate(const std::string& text) {
  armsim::GeneratedScenario generated;
  std::string error;
  EXPECT_TRUE(armsim::generateScenario(parse(text), generated, error)) << error;
  return generated;
}

// The records as the virtual arm reads them.
std::vector<armsim::Record> playedRecords(const armsim::GeneratedScenario& generated) {
  armsim::Scenario scenario;
  std::istringstream in(generated.text);
  std::string error;
  EXPECT_TRUE(armsim::parseScenario(in, scenario, error)) << error;
  EXPECT_EQ(scenario.records.size(), generated.recordCount);
  return scenario.records;
}

// Indices of the records that start a press: a button down where the record
// before had none.
std::vector<std::size_t> pressStarts(const std::vector<armsim::Record>& records, bool green) {
  std::vector<std::size_t> starts;
  for (std::size_t i = 0; i < records.size(); ++i) {
    const bool down = green ? records[i].green : records[i].red;
    const bool before = i > 0 && (green ? records[i - 1].green : records[i - 1].red);
    if (down && !before) starts.push_back(i);
  }
  return starts;
}

TEST(ScenarioGeometry, PlacementEqualsTheGeometryLibrary) {
  const armsim::Placement placements[] = {
      {{0, 0, 0}, {0, 0, 0}, {0, 0, 0}},
      {{90, 0, 0}, {0, 0, 0}, {0, 0, 0}},
      {{0, 90, 0}, {10, 0, 0}, {0, 0, 0}},
      {{0, 0, 90}, {0, -5, 3}, {1, 2, 3}},
      {{30, -45, 120}, {250.5, -40, 12}, {0, 0, 0}},
      {{-170, 89, 7.25}, {-3, 4, 1000}, {55, -60, 7}},
  };
  const armsim::Vec3 parts[] = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}, {12.5, -7, 300}};
  for (const armsim::Placement& p : placements) {
    for (const armsim::Vec3& part : parts) {
      SCOPED_TRACE(testing::Message()
                   << p.anglesDeg.x << " " << p.anglesDeg.y << " " << p.anglesDeg.z << " at "
                   << part.x << " " << part.y << " " << part.z);
      expectNear(toVector(armsim::placePoint(p, part)), placedByGeometry(p, part), 1e-12);
      armsim::Placement turnOnly = p;
      turnOnly.translation = turnOnly.origin = armsim::Vec3{};
      expectNear(toVector(armsim::placeDirection(p, part)), placedByGeometry(turnOnly, part),
                 1e-12);
    }
  }
}

TEST(ScenarioGeometry, AnglesForAnAxisGiveThatAxisInTheProgram) {
  const armsim::Vec3 axes[] = {{0, 0, 1},    {0, 0, -1},     {1, 0, 0},     {0, -1, 0},
                               {0, 1, 0},    {-1, 0, 0},     {1, 1, 1},     {0.3, -2, -0.1},
                               {1e-9, 0, 1}, {0, 1e-12, -1}, {-5, 0.001, 0}};
  for (const armsim::Vec3& axis : axes) {
    SCOPED_TRACE(testing::Message() << axis.x << " " << axis.y << " " << axis.z);
    double phi = 0.0, theta = 0.0;
    ASSERT_TRUE(armsim::anglesForAxis(axis, phi, theta));
    const Vector unit = toVector(axis).getNormalised();
    // Whatever psi and its correction, the program's axis is the wanted one.
    for (const double psi : {0.0, 37.0, -200.0}) {
      expectNear(probeRotation(phi, theta, psi, 0.9)(Vector(0, 0, 1)), unit, 1e-12);
    }
    expectNear(toVector(armsim::probeAxis(phi, theta)), unit, 1e-12);
  }
  double phi = 1.0, theta = 2.0;
  EXPECT_FALSE(armsim::anglesForAxis({0, 0, 0}, phi, theta));
  EXPECT_FALSE(armsim::anglesForAxis({NAN, 0, 1}, phi, theta));
  EXPECT_EQ(phi, 1.0);
  EXPECT_EQ(theta, 2.0);
}

TEST(ScenarioWriter, RecordedPointsArePlacedPoints) {
  struct Case {
    const char* name;
    const char* setup;  // placement, ball and probe statements
    double tipOffset;
  };
  const Case cases[] = {
      {"identity, default probe", "", 0.75},
      {"turned about X, 6 mm ball", "placement 90 0 0 100 0 0\nball 6\n", 1.5},
      {"all three turns with origin",
       "placement 30 -45 120 250.5 -40 12 origin 10 20 30\nprobe 40 130 15\n", 0.75},
      {"probe straight down", "placement 0 0 -90 400 0 -50\nprobe 0 180 0\nball 6\n", 1.5},
      {"probe along the arm's z", "placement 5 10 15 1 2 3\nprobe 123 0 77\n", 0.75},
  };
  const armsim::Vec3 parts[] = {{0, 0, 0}, {120, 0, 0}, {0, 80, 15}, {-33.3, 12.25, 200}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string text = c.setup;
    for (const armsim::Vec3& p : parts) {
      std::ostringstream touch;
      touch.precision(17);
      touch << "touch " << p.x << " " << p.y << " " << p.z << "\n";
      text += touch.str();
    }
    const armsim::GeneratedScenario generated = generate(text);
    const std::vector<armsim::Record> records = playedRecords(generated);
    ASSERT_EQ(generated.touches.size(), std::size(parts));
    // One green press per touch, and the tool names each press record.
    const std::vector<std::size_t> presses = pressStarts(records, true);
    ASSERT_EQ(presses.size(), std::size(parts));

    // The placement the statements name, read back for the independent check.
    const armsim::ScenarioDescription description = parse(text);
    armsim::Placement placement;
    for (const auto& step : description.steps) {
      if (const auto* set = std::get_if<armsim::SetPlacement>(&step)) placement = set->placement;
    }
    for (std::size_t i = 0; i < std::size(parts); ++i) {
      SCOPED_TRACE(i);
      const armsim::ExpectedTouch& touch = generated.touches[i];
      EXPECT_EQ(touch.kind, armsim::TouchKind::Point);
      EXPECT_EQ(touch.record, presses[i]);
      EXPECT_EQ(touch.tipOffset, c.tipOffset);
      const Vector placed = placedByGeometry(placement, parts[i]);
      expectNear(recordedPoint(records[presses[i]], c.tipOffset, 0.4), placed);
      expectNear(toVector(touch.world), placed);
      expectNear(toVector(touch.arm), placed);
    }
  }
}

TEST(ScenarioWriter, RelocationsExpressLaterRecordsInTheMovedFrame) {
  const armsim::GeneratedScenario generated = generate(
      "placement 0 0 30 500 100 0\n"
      "probe 10 100 0\n"
      "reference 600 -200 50\n"
      "touch 0 0 0\n"
      "relocate 250 0 0\n"
      "touch 100 0 0\n"
      "relocate -50 30 10\n"
      "touch 0 100 0\n");
  const std::vector<armsim::Record> records = playedRecords(generated);
  using armsim::TouchKind;
  const TouchKind kinds[] = {
      TouchKind::Point, TouchKind::ReferenceBefore, TouchKind::ReferenceAfter,
      TouchKind::Point, TouchKind::ReferenceBefore, TouchKind::ReferenceAfter,
      TouchKind::Point};
  ASSERT_EQ(generated.touches.size(), std::size(kinds));
  ASSERT_EQ(pressStarts(records, true).size(), std::size(kinds));

  // The program's bookkeeping: references with tip offset 0, the offset G
  // grows by R1 − R2, and each point recorded from a moved arm is X + G.
  const armsim::Placement placement{{0, 0, 30}, {500, 100, 0}, {}};
  const armsim::Vec3 parts[] = {{0, 0, 0}, {100, 0, 0}, {0, 100, 0}};
  const Vector moves[] = {Vector(0, 0, 0), Vector(250, 0, 0), Vector(200, 30, 10)};
  Vector offset;
  Vector before;
  std::size_t point = 0;
  for (std::size_t i = 0; i < std::size(kinds); ++i) {
    SCOPED_TRACE(i);
    const armsim::ExpectedTouch& touch = generated.touches[i];
    EXPECT_EQ(touch.kind, kinds[i]);
    const armsim::Record& press = records[touch.record];
    ASSERT_TRUE(press.green);
    if (kinds[i] == TouchKind::Point) {
      const Vector x = recordedPoint(press, 0.75, 0.0);
      // In the frame of the arm's current position...
      expectNear(x, placedByGeometry(placement, parts[point]) - moves[point]);
      // ...and back in the first frame through the references.
      expectNear(x + offset, placedByGeometry(placement, parts[point]));
      ++point;
    } else {
      const Vector r = recordedPoint(press, 0.0, 0.0);
      EXPECT_EQ(r, Vector(press.x, press.y, press.z));
      expectNear(r, Vector(600, -200, 50) -
                        moves[kinds[i] == TouchKind::ReferenceBefore ? point - 1 : point]);
      if (kinds[i] == TouchKind::ReferenceBefore) {
        before = r;
      } else {
        offset = offset + (before - r);
      }
    }
  }
  expectNear(offset, Vector(200, 30, 10));
}

TEST(ScenarioWriter, AimHoldsTheAxisThroughTheTarget) {
  struct Case {
    const char* text;
    Vector target;  // arm frame
    Vector axis;    // arm frame, unit
    double distance;
    std::size_t records;
  };
  const double s = std::sqrt(0.5);
  const Case cases[] = {
      {"aim 10 20 30 0 0 -1 25 4", Vector(10, 20, 30), Vector(0, 0, -1), 25, 4},
      {"placement 0 0 90 100 0 0\naim 10 0 0 1 0 0 5 3", Vector(100, 10, 0), Vector(0, 1, 0), 5, 3},
      {"placement 90 0 0 0 0 0 origin 0 0 10\naim 0 0 20 0 1 1 7.5 1", Vector(0, -10, 10),
       Vector(0, -s, s), 7.5, 1},
      {"shift 100 0 -20\nprobe 0 90 33\naim 0 0 0 1 1 0 0 2", Vector(-100, 0, 20), Vector(s, s, 0),
       0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const armsim::GeneratedScenario generated = generate(c.text);
    const std::vector<armsim::Record> records = playedRecords(generated);
    ASSERT_EQ(generated.touches.size(), 1u);
    const armsim::ExpectedTouch& aim = generated.touches[0];
    EXPECT_EQ(aim.kind, armsim::TouchKind::Aim);
    expectNear(toVector(aim.arm), c.target);
    ASSERT_EQ(records.size(), aim.record + c.records);
    for (std::size_t i = aim.record; i < records.size(); ++i) {
      const armsim::Record& r = records[i];
      EXPECT_FALSE(r.green || r.red);
      const Vector axis = probeRotation(r.phi, r.theta, r.psi, 0.2)(Vector(0, 0, 1));
      expectNear(axis, c.axis);
      expectNear(Vector(r.x, r.y, r.z), c.target - c.axis * c.distance);
      expectNear(recordedPoint(r, aim.tipOffset, 0.0), c.target);
    }
  }
}

TEST(ScenarioWriter, PressesAreSpacedAndReleased) {
  struct Case {
    const char* text;
    std::size_t greens, reds;
    int spacing, held;
  };
  const Case cases[] = {
      {"touch 1 2 3\nred 2\n", 1, 2, 1, 1},
      {"image-green 2\ntouch 1 2 3\ntouch 4 5 6\n", 6, 0, 1, 1},
      {"spacing 3\nimage-green 1\ntouch 1 2 3\nred\n", 2, 1, 3, 1},
      {"aim 0 0 0 0 0 1 10 5\ngreen x3\nrest 4\nred 2 x3\n", 1, 2, 1, 3},
      {"spacing 0\ngreen 3 x2\n", 3, 0, 0, 2},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const std::vector<armsim::Record> records = playedRecords(generate(c.text));
    const std::vector<std::size_t> greens = pressStarts(records, true);
    const std::vector<std::size_t> reds = pressStarts(records, false);
    EXPECT_EQ(greens.size(), c.greens);
    EXPECT_EQ(reds.size(), c.reds);
    std::vector<std::size_t> starts = greens;
    starts.insert(starts.end(), reds.begin(), reds.end());
    for (const std::size_t start : starts) {
      SCOPED_TRACE(start);
      // Held for the asked records, then one release; resting records before.
      ASSERT_LT(start + static_cast<std::size_t>(c.held), records.size());
      for (int k = 0; k < c.held; ++k) {
        EXPECT_TRUE(records[start + static_cast<std::size_t>(k)].green ||
                    records[start + static_cast<std::size_t>(k)].red);
      }
      const armsim::Record& release = records[start + static_cast<std::size_t>(c.held)];
      EXPECT_FALSE(release.green || release.red);
      ASSERT_GE(start, static_cast<std::size_t>(c.spacing));
      for (int k = 1; k <= c.spacing; ++k) {
        const armsim::Record& rest = records[start - static_cast<std::size_t>(k)];
        EXPECT_FALSE(rest.green || rest.red);
      }
    }
    // Never both buttons, and the last record (held at the end) is free.
    for (const armsim::Record& r : records) EXPECT_FALSE(r.green && r.red);
    EXPECT_FALSE(records.back().green || records.back().red);
  }
}

TEST(ScenarioWriter, NoiseIsReproducibleAndHasTheAskedSpread) {
  std::string touches;
  for (int i = 0; i < 3000; ++i) touches += "touch " + std::to_string(i % 50) + " 7 -3\n";
  const double sigma = 0.05;
  const armsim::GeneratedScenario first = generate("noise 0.05 42\n" + touches);
  const armsim::GeneratedScenario again = generate("noise 0.05 42\n" + touches);
  const armsim::GeneratedScenario other = generate("noise 0.05 43\n" + touches);
  EXPECT_EQ(first.text, again.text);
  EXPECT_NE(first.text, other.text);

  const std::vector<armsim::Record> records = playedRecords(first);
  double sum = 0.0, squares = 0.0;
  int samples = 0;
  for (const armsim::ExpectedTouch& touch : first.touches) {
    const Vector recorded = recordedPoint(records[touch.record], touch.tipOffset, 0.0);
    // The record carries the noisy point, and the tool reports it.
    expectNear(recorded, toVector(touch.arm));
    const Vector error = recorded - toVector(touch.world);
    for (const double e : {error.x, error.y, error.z}) {
      sum += e;
      squares += e * e;
      ++samples;
    }
  }
  const double mean = sum / samples;
  const double spread = std::sqrt(squares / samples - mean * mean);
  // 9000 samples: the spread estimate is within about 0.75 % (one standard
  // error) of sigma, the mean within about sigma / 95.
  EXPECT_NEAR(spread, sigma, 0.04 * sigma);
  EXPECT_NEAR(mean, 0.0, 0.05 * sigma);

  // Noise 0 turns it off again: exact points.
  const armsim::GeneratedScenario off = generate("noise 0.5 1\nnoise 0 1\ntouch 1 2 3\n");
  expectNear(toVector(off.touches[0].arm), Vector(1, 2, 3), 0.0);
}

TEST(ScenarioWriter, CopiedLinesAndTheEnd) {
  const armsim::GeneratedScenario plain = generate("touch 1 2 3\n");
  armsim::Scenario scenario;
  std::istringstream in(plain.text);
  std::string error;
  ASSERT_TRUE(armsim::parseScenario(in, scenario, error)) << error;
  EXPECT_EQ(scenario.afterLast, armsim::AfterLast::Hold);

  const armsim::GeneratedScenario copied = generate(
      "serial P08-11-5150\nfirmware 99\ndialog 9 11 0\nplayback deterministic 5\nend idle\n"
      "touch 1 2 3\n");
  armsim::Scenario withLines;
  std::istringstream in2(copied.text);
  ASSERT_TRUE(armsim::parseScenario(in2, withLines, error)) << error;
  EXPECT_EQ(withLines.serial, "P08-11-5150");
  EXPECT_EQ(withLines.firmware, 99);
  EXPECT_EQ(withLines.dialogResults[9].size(), 2u);
  EXPECT_EQ(withLines.settleMs, 5u);
  EXPECT_EQ(withLines.afterLast, armsim::AfterLast::Idle);
  EXPECT_EQ(withLines.records.size(), 3u);

  // A hand-over to the live channel after the records.
  const armsim::GeneratedScenario live = generate("touch 1 2 3\nlive /tmp/arm live.txt\n");
  armsim::Scenario following;
  std::istringstream in3(live.text);
  ASSERT_TRUE(armsim::parseScenario(in3, following, error)) << error;
  EXPECT_EQ(following.liveChannel, "/tmp/arm live.txt");
  EXPECT_FALSE(following.liveInterrupts);
  EXPECT_EQ(following.records.size(), 3u);

  // A channel that may interrupt looping records; the last of the two lines
  // counts.
  const armsim::GeneratedScenario interrupted = generate(
      "playback timed 10\nend loop\nlive /tmp/a.txt\ninterrupt /tmp/arm live.txt\ntouch 1 2 3\n");
  armsim::Scenario interruptible;
  std::istringstream in4(interrupted.text);
  ASSERT_TRUE(armsim::parseScenario(in4, interruptible, error)) << error;
  EXPECT_EQ(interruptible.liveChannel, "/tmp/arm live.txt");
  EXPECT_TRUE(interruptible.liveInterrupts);
  EXPECT_EQ(interruptible.afterLast, armsim::AfterLast::Loop);
  EXPECT_EQ(interruptible.playback, armsim::Playback::Timed);
  armsim::Scenario broken;
  std::istringstream in5("interrupt  \n");
  EXPECT_FALSE(armsim::parseScenario(in5, broken, error));
  EXPECT_EQ(error, "line 1: interrupt needs a file name");
}

TEST(ScenarioWriter, ProblemsNameTheLine) {
  struct Case {
    const char* text;
    const char* error;
  };
  const Case cases[] = {
      {"touch 1 2\n", "line 1: touch needs x y z"},
      {"# comment\n\nball 4\n", "line 3: ball needs the size 3 or 6 (mm)"},
      {"touch 1 2 3\nrelocate 10 0 0\n",
       "line 2: relocate needs a reference point first (reference x y z)"},
      {"aim 1 2 3 0 0 0 10 2\n", "line 1: aim needs a non-zero axis"},
      {"aim 1 2 3 0 0 1 10 0\n", "line 1: aim needs x y z ax ay az distance records"},
      {"placement 1 2 3 4 5 6 origin 1 2\n",
       "line 1: placement needs rx ry rz tx ty tz [origin ox oy oz]"},
      {"noise -1 3\n", "line 1: noise needs sigma (mm, 0 or more) and a whole-number seed"},
      {"green x0\n", "line 1: green takes [presses] [x<records held>]"},
      {"red x2 3\n", "line 1: red takes [presses] [x<records held>]"},
      {"record 1 2 3 0 0 0\n", "line 1: unknown keyword \"record\""},
      {"touch 0 0 0\nfirmware many\n", "line 2: firmware needs one whole number"},
      {"end later\n", "line 1: end needs \"idle\", \"hold\" or \"loop\""},
      {"aim 0 0 0 0 0 1 0 999999\naim 0 0 0 0 0 1 0 2\n", "line 2: more than 1000000 records"},
      {"placement 0 0 0 1e308 0 0\ntouch 1e308 0 0\n",
       "line 2: the probe's position is beyond the range of numbers"},
      {"aim 0 0 1e308 0 0 1 -1e308 1\n",
       "line 1: the probe's position is beyond the range of numbers"},
      {"reference 0 0 0\nrelocate -1.7e308 0 0\nshift -1.7e308 0 0\ntouch 0 0 0\n",
       "line 4: the probe's position is beyond the range of numbers"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    armsim::ScenarioDescription description;
    std::istringstream in(c.text);
    std::string error;
    armsim::GeneratedScenario generated;
    const bool ok = armsim::parseScenarioDescription(in, description, error) &&
                    armsim::generateScenario(description, generated, error);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, c.error);
  }

  // A description built in code names the step.
  armsim::ScenarioDescription built;
  built.steps = {armsim::Touch{{1, 2, 3}}, armsim::SetBall{4.5}};
  armsim::GeneratedScenario generated;
  std::string error;
  EXPECT_FALSE(armsim::generateScenario(built, generated, error));
  EXPECT_EQ(error, "step 2: ball size must be 3 or 6 (mm)");
}

TEST(ScenarioWriter, TheReadmeExample) {
  const armsim::GeneratedScenario generated = generate(
      "playback deterministic 5\n"
      "placement 0 0 90 450 -100 20 origin 0 0 0\n"
      "ball 6\n"
      "probe 20 120 0\n"
      "image-green 1\n"
      "reference 600 0 0\n"
      "touch 0 0 0\n"
      "touch 150 0 0\n"
      "relocate 200 0 0\n"
      "touch 0 100 0\n"
      "red 2\n");
  const std::vector<armsim::Record> records = playedRecords(generated);
  const double tipOffsets[] = {1.5, 1.5, 0, 0, 1.5};
  const Vector recorded[] = {Vector(450, -100, 20), Vector(450, 50, 20), Vector(600, 0, 0),
                             Vector(400, 0, 0), Vector(150, -100, 20)};
  ASSERT_EQ(generated.touches.size(), std::size(recorded));
  for (std::size_t i = 0; i < std::size(recorded); ++i) {
    SCOPED_TRACE(i);
    expectNear(recordedPoint(records[generated.touches[i].record], tipOffsets[i], 0.0),
               recorded[i]);
  }
  // Image presses before the three touches, none before the references.
  EXPECT_EQ(pressStarts(records, true).size(), 8u);
  EXPECT_EQ(pressStarts(records, false).size(), 2u);
}

TEST(ScenarioWriter, DescriptionsBuiltInCode) {
  armsim::ScenarioDescription built;
  built.steps = {
      armsim::SetPlacement{{{0, 0, 45}, {300, 0, 0}, {}}},
      armsim::SetBall{6.0},
      armsim::SetReference{{500, 500, 0}},
      armsim::Touch{{10, 0, 0}},
      armsim::Relocate{{0, 100, 0}},
      armsim::Touch{{0, 10, 0}},
      armsim::Press{armsim::Button::Red, 2, 1},
  };
  armsim::GeneratedScenario generated;
  std::string error;
  ASSERT_TRUE(armsim::generateScenario(built, generated, error)) << error;
  const std::vector<armsim::Record> records = playedRecords(generated);
  ASSERT_EQ(generated.touches.size(), 4u);
  const double h = 10 * std::sqrt(0.5);
  expectNear(recordedPoint(records[generated.touches[0].record], 1.5, 0.0), Vector(300 + h, h, 0));
  expectNear(recordedPoint(records[generated.touches[3].record], 1.5, 0.0),
             Vector(300 - h, h - 100, 0));
  EXPECT_EQ(pressStarts(records, false).size(), 2u);
}

TEST(ScenarioTool, CommandLine) {
  testsupport::TempDir dir;
  const std::string description = dir / "calibration.desc";
  const std::string scenario = dir / "calibration.scenario";
  const std::string text = "ball 6\nplacement 0 0 90 10 0 0\ntouch 1 0 0\n";
  testsupport::writeFile(description, text);
  const std::string expected = generate(text).text;

  struct Case {
    std::vector<std::string> arguments;
    std::string input;
    std::string output;  // standard output, or its start when !wholeOutput
    std::string errors;  // start of standard error
    int status;
    bool wholeOutput;
  };
  const Case cases[] = {
      {{description}, "", expected, "", 0, true},
      {{}, text, expected, "", 0, true},
      {{"-"}, text, expected, "", 0, true},
      {{"-o", scenario, description}, "", "", "", 0, true},
      {{"--help"}, "", "usage: zorv-scenario", "", 0, false},
      {{"-o"}, "", "", "zorv-scenario: -o needs one file name", 2, true},
      {{"-x"}, "", "", "zorv-scenario: unknown option -x", 2, true},
      {{description, description}, "", "", "zorv-scenario: only one description file", 2, true},
      {{dir / "missing.desc"},
       "",
       "",
       "zorv-scenario: cannot read " + (dir / "missing.desc"),
       1,
       true},
      {{},
       "ball 6\nbal 3\n",
       "",
       "zorv-scenario: standard input: line 2: unknown keyword \"bal\"",
       1,
       true},
      {{"-o", dir / "no/such/dir/out", description},
       "",
       "",
       "zorv-scenario: cannot write",
       1,
       true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments.empty() ? std::string("(none)") : c.arguments.front());
    std::istringstream input(c.input);
    std::ostringstream output, errors;
    EXPECT_EQ(armsim::runScenarioTool(c.arguments, input, output, errors), c.status);
    EXPECT_EQ(c.wholeOutput ? output.str() : output.str().substr(0, c.output.size()), c.output);
    EXPECT_EQ(errors.str().substr(0, c.errors.size()), c.errors);
    EXPECT_EQ(errors.str().empty(), c.errors.empty()) << errors.str();
  }
  EXPECT_EQ(testsupport::readFile(scenario), expected);
}

}  // namespace
