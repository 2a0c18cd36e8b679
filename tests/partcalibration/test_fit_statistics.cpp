// The uncertainty the calibration prints, over many seeded placements with
// noisy arm points: its mean must be the variance of the noise per
// coordinate (three points of three coordinates less the six degrees of
// freedom of a rigid map leave three, and the report divides by three).
#include <random>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "RegionTestSupport.h"
#include "ScenarioWriter.h"
#include "partcalibration/Calibration.h"

using Zorv::Geometry::ThreeDimensional::Point;

TEST(FitStatistics, MeanPrintedUncertaintyIsTheNoiseVariance) {
  constexpr double kSigma = 0.025;
  constexpr int kRuns = 500;
  std::mt19937 random(42);
  std::uniform_real_distribution<double> angle(-180.0, 180.0);
  std::uniform_real_distribution<double> offset(-1000.0, 1000.0);
  std::uniform_real_distribution<double> coordinate(-300.0, 300.0);
  ConsoleContext context{};
  context.print = printToCapturedConsole;
  double sum = 0.0;
  for (int run = 0; run < kRuns; ++run) {
    armsim::ScenarioDescription description;
    description.steps.push_back(armsim::SetPlacement{
        {{angle(random), angle(random) / 2, angle(random)}, {offset(random), offset(random), offset(random)}, {}}});
    description.steps.push_back(armsim::SetNoise{kSigma, static_cast<std::uint64_t>(run + 1)});
    Point part[3];
    for (Point& p : part) {
      p = Point(coordinate(random), coordinate(random), coordinate(random) / 10);
      description.steps.push_back(armsim::Touch{{p.x, p.y, p.z}});
    }
    armsim::GeneratedScenario scenario;
    std::string error;
    ASSERT_TRUE(armsim::generateScenario(description, scenario, error)) << error;
    Point recorded[3];
    for (int i = 0; i < 3; ++i) {
      const armsim::Vec3 arm = scenario.touches[i].arm;
      recorded[i] = Point(arm.x, arm.y, arm.z);
    }
    ScriptedConsole console("");
    RigidBodyFit fit;
    double uncertainty = 0.0;
    ASSERT_TRUE(fitCalibration(context, part, recorded, fit, uncertainty));
    const std::string output = console.output();
    const std::string label = "Calibration uncertainty measurement: ";
    const std::size_t at = output.find(label);
    ASSERT_NE(at, std::string::npos) << output;
    std::istringstream printed(output.substr(at + label.size()));
    double value = -1.0;
    printed >> value;
    EXPECT_NEAR(value, uncertainty, 5e-6 * uncertainty) << "six significant digits";
    sum += value;
  }
  const double mean = sum / kRuns;
  RecordProperty("meanUncertainty", std::to_string(mean));
  EXPECT_NEAR(mean, kSigma * kSigma, 0.1 * kSigma * kSigma) << "mean " << mean;
}
