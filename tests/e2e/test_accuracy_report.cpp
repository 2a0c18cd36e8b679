// The accuracy report of a calibration with the real program and the virtual
// arm: parts placed where the test put them, points touched with seeded
// noise, and a collection mesh whose farthest vertex the test knows. The
// printed prediction must agree with a Monte Carlo of the project's own fit
// at that vertex, and a thin triangle must be warned about.
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CalibrationSupport.h"
#include "E2eHarness.h"

namespace {

using armsim::Vec3;
using calibtest::Description;
using calibtest::Point;
using calibtest::text;
using calibtest::Utility;
using calibtest::Vector;
using e2e::Sandbox;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh;

const std::string kRegionDir = "parts/01_Bracket/01_Flange/";
constexpr double kNoise = 0.05;  // mm per coordinate, also the arm's stated accuracy

std::string pointsSection(const std::vector<Vec3>& points) {
  std::string s = "[PartCalibrationPoints1]\\n";
  for (int i = 0; i < 3; ++i) {
    const std::string n = std::to_string(i);
    s += "x" + n + "=" + text(points[i].x) + "\\ny" + n + "=" + text(points[i].y) + "\\nz" + n +
         "=" + text(points[i].z) + "\\n";
  }
  return s;
}

double printedNumber(const std::string& output, const std::string& label) {
  return std::stod(calibtest::printedValue(output, label));
}

// The RMS error at `far` of the fit of the part points onto their placed
// points measured with sigma, over many seeded trials.
double monteCarloError(const std::vector<Vec3>& part, const Vec3& anglesDeg, const Vec3& moved,
                       const Point& far, double sigma) {
  const auto place = [&](const Point& p) {
    const Vec3 placed = armsim::placePoint({anglesDeg, moved, {}}, {p.x, p.y, p.z});
    return Point(placed.x, placed.y, placed.z);
  };
  std::mt19937_64 random(7);
  std::normal_distribution<double> noise(0.0, sigma);
  constexpr int kTrials = 4000;
  Point partPoints[3];
  for (int i = 0; i < 3; ++i) partPoints[i] = Point(part[i].x, part[i].y, part[i].z);
  double sumSqr = 0.0;
  for (int trial = 0; trial < kTrials; ++trial) {
    Point measured[3];
    for (int i = 0; i < 3; ++i) {
      measured[i] = place(partPoints[i]) + Vector(noise(random), noise(random), noise(random));
    }
    Vector angles, translation;
    Point origin;
    EXPECT_TRUE(Utility::getRigidBodyMap(partPoints, measured, angles, translation, origin,
                                         nullptr, false));
    Zorv::Geometry::ThreeDimensional::LinearMap rotation;
    rotation.setRotation(0, 1, 2, angles);
    const Point fitted =
        origin + Zorv::Geometry::ThreeDimensional::AffineMap(rotation, translation)(far - origin);
    sumSqr += (fitted - place(far)).lSqr();
  }
  return std::sqrt(sumSqr / kTrials);
}

TEST(AccuracyReport, PredictionAgreesWithAMonteCarloAtTheFarthestVertex) {
  struct Case {
    const char* what;
    std::vector<Vec3> points;
    Vec3 angles;
    Vec3 moved;
    std::uint64_t seed;
    bool warned;
  };
  const std::vector<Case> cases = {
      {"a well-spread triangle", {{0, 0, 0}, {150, 0, 10}, {40, 120, 0}}, {0, 0, 90},
       {700, 300, 15}, 11, false},
      {"a tilted part", {{0, 0, 0}, {150, 0, 10}, {40, 120, 0}}, {25, -40, 170},
       {-300, 900, 40}, 12, false},
      {"a thin triangle", {{0, 0, 0}, {200, 0, 0}, {90, 12, 3}}, {10, 0, -60}, {500, -200, 0},
       13, true},
  };
  // A plate 900 x 400 mm on its grid of 100 mm: the vertex farthest from the
  // points' centroid is a corner.
  std::vector<Point> vertices;
  for (int v = 0; v <= 4; ++v) {
    for (int u = 0; u <= 9; ++u) vertices.emplace_back(u * 100.0 - 100, v * 100.0 - 50, 20.0);
  }
  RectMesh mesh;
  ASSERT_TRUE(mesh.setFromVertices(9, 4, vertices));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Sandbox sandbox;
    sandbox.buildWizardTree(kRegionDir + "Flange.qini = [QuadFile1]\\nName=Plate.quads\\n"
                                         "CollectionIndex=1\\n" + pointsSection(c.points) + "\n");
    mesh.save(sandbox.wizardDirectory() + "/" + kRegionDir + "Plate.quads");
    const std::string configuration = sandbox.applicationDataDirectory() + "/WinVLPosetta.ini";
    sandbox.setArmConfiguration(e2e::readFile(configuration) + "[Accuracy]\r\nArmPointSigma=" +
                                text(kNoise) + "\r\n");
    Description description;
    description.placement(c.angles, c.moved).imageGreen(1).noise(kNoise, c.seed);
    for (const Vec3& p : c.points) description.touch(p);
    sandbox.setArmScenario(description.generate().text);

    const e2e::RunResult run = sandbox.run("3\n\n 16\n");
    ASSERT_FALSE(run.timedOut);
    EXPECT_EQ(run.exitStatus, 0) << e2e::visible(run.output);

    Point centroid;
    for (const Vec3& p : c.points) centroid += Vector(p.x, p.y, p.z) / 3.0;
    Point far = vertices[0];
    for (const Point& vertex : vertices) {
      if ((vertex - centroid).l() > (far - centroid).l()) far = vertex;
    }
    const double rms = printedNumber(run.output, "Calibration RMS distance: ");
    EXPECT_NEAR(rms * rms, printedNumber(run.output, "Calibration uncertainty measurement: "),
                1e-5 * rms * rms + 1e-12);
    EXPECT_NEAR(printedNumber(run.output, "mm ("), (far - centroid).l(), 1e-3);
    // The program takes the larger of the measured RMS distance and the
    // arm's stated accuracy as the error of each coordinate.
    const double predicted =
        printedNumber(run.output, "Predicted error at the farthest point of the collection: ");
    const double monteCarlo =
        monteCarloError(c.points, c.angles, c.moved, far, std::max(rms, kNoise));
    EXPECT_NEAR(predicted / monteCarlo, 1.0, 0.20) << predicted << " vs " << monteCarlo;
    const std::string warning =
        "WARNING! The calibration points are nearly in a line. Choose points further apart.\n"
        "Successfully written section [PartLocalToArmGlobal111]";
    EXPECT_EQ(run.output.find(warning) != std::string::npos, c.warned) << e2e::visible(run.output);
  }
}

}  // namespace
