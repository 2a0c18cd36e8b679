// The accuracy report: the closed-form predicted error against a Monte Carlo
// of the project's own fit, the shape test, the farthest vertex of each kind
// of mesh, the arm's single-point accuracy, and the calibration journal.
#include <cmath>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IniFileSection.h"
#include "RegionTestSupport.h"
#include "console/ConsoleServices.h"
#include "partcalibration/Accuracy.h"
#include "partcalibration/Journal.h"
#include "partcalibration/Relocation.h"
#include "platform/files.h"
#include "test_support.h"

using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh;

namespace {

// Every test of this program runs with its own application-data directory,
// where the journal is written.
class ApplicationData : public ::testing::Environment {
 public:
  void SetUp() override {
    testsupport::setEnvironment("ALLUSERSPROFILE", profile_.path().c_str());
    testsupport::makeDirectories(profile_ / "Application Data/Kestrel Ward/Velloran 2");
  }

 private:
  testsupport::TempDir profile_;
};
const auto* const kApplicationData =
    ::testing::AddGlobalTestEnvironment(new ApplicationData);

RigidBodyFit placement(const Vector& anglesDeg, const Vector& translation) {
  return RigidBodyFit{Point(), Vector(Utility::degToRad(anglesDeg.x), Utility::degToRad(anglesDeg.y),
                                      Utility::degToRad(anglesDeg.z)),
                      translation};
}

TEST(PredictedFitError, MatchesAMonteCarloOfTheFitWithinTenPercent) {
  constexpr double kSigma = 0.03;
  constexpr int kTrials = 4000;
  struct Case {
    const char* what;
    std::vector<Point> points;
    Point far;
  };
  const std::vector<Case> cases = {
      {"even triangle, far along its plane", {{0, 0, 0}, {100, 0, 0}, {50, 86.6, 0}}, {900, 300, 0}},
      {"even triangle, far off its plane", {{0, 0, 0}, {100, 0, 0}, {50, 86.6, 0}}, {50, 30, 700}},
      {"at the centroid", {{0, 0, 0}, {100, 0, 0}, {50, 86.6, 0}}, {50, 28.8667, 0}},
      {"thin triangle (height 10 %)", {{0, 0, 0}, {200, 0, 0}, {100, 20, 5}}, {100, 600, 0}},
      {"thin triangle (height 3 %), far along its line", {{0, 0, 0}, {300, 0, 0}, {150, 9, 0}},
       {1200, 0, 0}},
      {"thin triangle (height 3 %), far across", {{0, 0, 0}, {300, 0, 0}, {150, 9, 0}},
       {150, 0, 400}},
      {"wide triangle, far away", {{-400, 0, 0}, {400, 0, 0}, {0, 500, 40}}, {3000, -2000, 1000}},
  };
  std::mt19937_64 random(20261208);
  std::normal_distribution<double> noise(0.0, kSigma);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const RigidBodyFit truth = placement({30, -50, 120}, {800, -300, 150});
    double sumSqr = 0.0;
    for (int trial = 0; trial < kTrials; ++trial) {
      Point measured[3];
      for (int i = 0; i < 3; ++i) {
        measured[i] = applyTransform(truth, c.points[i]) + Vector(noise(random), noise(random),
                                                                  noise(random));
      }
      RigidBodyFit fit;
      ASSERT_TRUE(fitRigidBody(c.points.data(), measured, fit));
      sumSqr += (applyTransform(fit, c.far) - applyTransform(truth, c.far)).lSqr();
    }
    const double monteCarlo = std::sqrt(sumSqr / kTrials);
    const double predicted = predictedFitError(c.points.data(), c.far, kSigma);
    EXPECT_NEAR(predicted / monteCarlo, 1.0, 0.10) << predicted << " vs " << monteCarlo;
  }
  // At the centroid only the mean of the three errors is left: sigma.
  const Point even[3] = {{0, 0, 0}, {100, 0, 0}, {50, 86.6, 0}};
  EXPECT_NEAR(predictedFitError(even, centroidOf(even), kSigma), kSigma, 1e-12);
  const Point collinear[3] = {{0, 0, 0}, {1, 1, 1}, {2, 2, 2}};
  EXPECT_TRUE(std::isinf(predictedFitError(collinear, {5, 0, 0}, kSigma)));
}

TEST(PointsNearlyInLine, SmallestHeightBelowATenthOfTheLongestSide) {
  struct Case {
    double height;  // of the apex over a 100 mm base
    double along;   // the apex's place along the base
    bool nearlyInLine;
  };
  const std::vector<Case> cases = {{9.9, 50, true},  {10.1, 50, false}, {50, 50, false},
                                   {0, 50, true},    {9.9, 180, true},  {30, -60, false}};
  for (const Case& c : cases) {
    const Point points[3] = {{0, 0, 0}, {100, 0, 0}, {c.along, c.height, 0}};
    // The longest side is the base unless the apex lies beyond it.
    const double longest = std::max({100.0, std::hypot(c.along, c.height),
                                     std::hypot(c.along - 100, c.height)});
    const bool expected = c.height < 0.1 * longest;
    ASSERT_EQ(expected, c.nearlyInLine) << "table entry " << c.height << ", " << c.along;
    EXPECT_EQ(pointsNearlyInLine(points), c.nearlyInLine) << c.height << ", " << c.along;
  }
  const Point same[3] = {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}};
  EXPECT_TRUE(pointsNearlyInLine(same));
}

TEST(FarthestMeshVertex, EachKindOfMeshAgreesWithEveryVertex) {
  RectMesh plane, cylinder, grid;
  ASSERT_TRUE(plane.setAsPlane({400, 250}, 10, true, 1));
  ASSERT_TRUE(cylinder.setAsCylinderArc(50, 2.5, 300, 5, 1));
  std::vector<Point> vertices;
  for (unsigned v = 0; v <= 3; ++v) {
    for (unsigned u = 0; u <= 4; ++u) {
      vertices.emplace_back(u * 10.0, v * 10.0, std::sin(u * 1.3 + v) * 20.0);
    }
  }
  ASSERT_TRUE(grid.setFromVertices(4, 3, vertices));
  const std::vector<Point> froms = {{0, 0, 0}, {200, 125, 0}, {-70, 20, 150}, {30, 600, -40},
                                    {0, 0, 310}};
  for (const RectMesh* mesh : {&plane, &cylinder, &grid}) {
    for (const Point& from : froms) {
      double farthest = 0.0;
      for (unsigned v = 0; v <= mesh->getExtents().getdV(); ++v) {
        for (unsigned u = 0; u <= mesh->getExtents().getdU(); ++u) {
          farthest = std::max(farthest, (mesh->getVertex(u, v) - from).l());
        }
      }
      EXPECT_NEAR((farthestMeshVertex(*mesh, from) - from).l(), farthest, 1e-9)
          << static_cast<int>(mesh->getKind()) << " from " << from.x << ", " << from.y;
    }
  }
}

TEST(ArmPointSigma, ReadFromTheConfigurationOrTheDefault) {
  testsupport::TempDir dir;
  const std::string file = dir / "WinVLPosetta.ini";
  const std::vector<std::pair<std::string, double>> cases = {
      {"[Accuracy]\nArmPointSigma=0.05\n", 0.05},
      {"[Accuracy]\nArmPointSigma=-0.05\n", kDefaultArmPointSigma},
      {"[Accuracy]\nArmPointSigma=0\n", kDefaultArmPointSigma},
      {"[Accuracy]\nArmPointSigma=fine\n", kDefaultArmPointSigma},
      {"[Accuracy]\nOther=1\n", kDefaultArmPointSigma},
      {"[ArmPsiDeltas]\nX=1\n", kDefaultArmPointSigma},
  };
  for (const auto& [content, sigma] : cases) {
    testsupport::writeFile(file, content);
    EXPECT_FLOAT_EQ(readArmPointSigma(file), sigma) << content;  // read in single precision
  }
  EXPECT_DOUBLE_EQ(readArmPointSigma(dir / "missing.ini"), kDefaultArmPointSigma);
  EXPECT_DOUBLE_EQ(readArmPointSigma(""), kDefaultArmPointSigma);
}

TEST(FarthestCalibratedPoint, MeshesPlacedByTheSectionsARelocationUpdates) {
  testsupport::TempDir tree;
  const std::string region = tree / "parts/01_P/01_R";
  testsupport::makeDirectories(region);
  RectMesh plane;
  ASSERT_TRUE(plane.setAsPlane({100, 50}, 10, true, 1));
  plane.save(region + "/Plate.quads");
  const std::string quads = "[QuadFile]\nName=Plate.quads\nCollectionIndex=1\n";
  // Turned a quarter round about z and moved 1000 mm along x: the corner
  // farthest from the origin is the plate's (100, 0), at (1000, 100, 0).
  const std::string section =
      "RotationOriginX=0\nRotationOriginY=0\nRotationOriginZ=0\nRotationAngleX=0\n"
      "RotationAngleY=0\nRotationAngleZ=90\nTranslationX=1000\nTranslationY=0\nTranslationZ=0\n";
  ConsoleContext context{};
  context.print = printToCapturedConsole;
  ScriptedConsole console("");
  RelocationArms arms{"OLD1", "NEW2"};
  struct Case {
    const char* what;
    std::string stamp;
    bool found;
  };
  for (const Case& c : std::vector<Case>{{"unstamped", "", true},
                                         {"the old arm's", "ArmSerial=OLD1\n", true},
                                         {"already the new arm's", "ArmSerial=NEW2\n", false},
                                         {"a third arm's", "ArmSerial=OTHER3\n", false}}) {
    testsupport::writeFile(region + "/R.qini",
                           quads + "[PartLocalToArmGlobal111]\n" + section + c.stamp);
    const std::optional<Point> far = farthestCalibratedPoint(context, tree.path(), Point(), arms);
    ASSERT_EQ(far.has_value(), c.found) << c.what;
    if (far) {
      EXPECT_LT((*far - Point(1000, 100, 0)).l(), 1e-9) << c.what;
    }
  }
  EXPECT_EQ(console.output(), "");
}

TEST(Journal, FieldsRowsAndAppending) {
  const std::vector<std::pair<std::string, std::string>> fields = {
      {"plain", "plain"},
      {"C:\\Application Data\\A.qini", "C:\\Application Data\\A.qini"},
      {"a,b", "\"a,b\""},
      {"say \"x\"", "\"say \"\"x\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {" padded", "\" padded\""},
      {"", ""},
  };
  for (const auto& [text, field] : fields) EXPECT_EQ(csvField(text), field) << text;

  const auto when = std::chrono::sys_days(std::chrono::year(2026) / 3 / 4) +
                    std::chrono::hours(5) + std::chrono::minutes(6) + std::chrono::seconds(7) +
                    std::chrono::milliseconds(890);
  EXPECT_EQ(journalRow({"calibration", "C:\\p,q\\A.qini", "PartLocalToArmGlobal111", "P0801", 0.0025,
                        0.05, 0.125},
                       when),
            "2026-03-04T05:06:07Z,calibration,\"C:\\p,q\\A.qini\",PartLocalToArmGlobal111,P0801,"
            "0.0025,0.05,0.125\r\n");
  EXPECT_EQ(journalRow({"clean", "B.oldqini", "", "", {}, {}, {}}, when),
            "2026-03-04T05:06:07Z,clean,B.oldqini,,,,,\r\n");

  // A fresh journal gets its header once; later rows are appended.
  ConsoleContext context{};
  context.print = printToCapturedConsole;
  ScriptedConsole console("");
  const std::string path = journalFilePath();
  platform::deleteFile(path);
  EXPECT_TRUE(appendToJournal(context, {{"reset", "A.qini", "", "", {}, {}, {}}}));
  EXPECT_TRUE(appendToJournal(context, {{"clean", "A.oldqini", "", "", {}, {}, {}},
                                        {"clean", "B.oldqini", "", "", {}, {}, {}}}));
  const std::string text = testsupport::readFile(path);
  EXPECT_EQ(text.find(journalHeaderRow()), 0u);
  EXPECT_EQ(text.find(journalHeaderRow(), 1), std::string::npos);
  EXPECT_NE(text.find(",reset,A.qini,,,,,\r\n"), std::string::npos);
  EXPECT_NE(text.find(",clean,A.oldqini,,,,,\r\n"), std::string::npos);
  EXPECT_NE(text.find(",clean,B.oldqini,,,,,\r\n"), std::string::npos);
  EXPECT_EQ(console.output(), "");

  // A journal that cannot be written costs one line, not the operation.
  platform::deleteFile(path);
  ASSERT_TRUE(platform::createDirectory(path));
  EXPECT_FALSE(appendToJournal(context, {{"reset", "A.qini", "", "", {}, {}, {}},
                                         {"reset", "B.qini", "", "", {}, {}, {}}}));
  EXPECT_EQ(console.output(), "The calibration journal " + path +
                                  " cannot be written; this operation is not recorded in it.\n");
  platform::deleteTree(path);
}

}  // namespace
