// Timing of one pass of the live region test besides its waits: the probe's
// rotation from an arm record, the ray of the probe, its intersection with a
// 10 M-quad region and the result line. The region is two scanned-looking
// grids of 5 M quads in two collections, written as ".quads" files with a part
// settings file and loaded and placed by the region operations, as the test
// does. Prints the median and the 99th percentile over many poses for a ball
// probe and for an array probe's end element; exits with 1 when either passes
// the 1 ms target.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "ZorvGeometry.h"
#include "arm/ProbeReadings.h"
#include "console/ConsoleContext.h"
#include "regions/RegionSettings.h"
#include "regions/RegionTest.h"

namespace {

using namespace Zorv::Geometry::ThreeDimensional;
using namespace Zorv::Geometry::ThreeDimensional::QuadMesh;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr unsigned int kGrid = 2236;  // 2236² ≈ 5 M quads per file
constexpr double kPitch = 0.5;        // mm
constexpr int kPoses = 20000;
constexpr double kTargetMillis = 1.0;

void discardText(std::string) {}

[[noreturn]] void failed(const char* what) {
  std::fprintf(stderr, "region_test_benchmark: %s\n", what);
  std::exit(2);
}

// Waves of a few millimetres and a little noise over n × n quads.
RectMesh scannedSurface(unsigned int n, unsigned int seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> noise(-0.02, 0.02);
  std::vector<Point> vertices;
  vertices.reserve(static_cast<std::size_t>(n + 1) * (n + 1));
  for (unsigned int v = 0; v <= n; ++v) {
    for (unsigned int u = 0; u <= n; ++u) {
      const double x = kPitch * u, y = kPitch * v;
      vertices.emplace_back(x + noise(rng), y + noise(rng),
                            8.0 * std::sin(x / 37.0) * std::cos(y / 23.0) + noise(rng));
    }
  }
  RectMesh mesh;
  if (!mesh.setFromVertices(n, n, std::move(vertices))) failed("grid refused");
  return mesh;
}

std::string transformSection(int collection, double angleZ, double x, double y) {
  char text[512];
  std::snprintf(text, sizeof text,
                "[PartLocalToArmGlobal1%d1]\nRotationAngleX=2\nRotationAngleY=-1\n"
                "RotationAngleZ=%.1f\nTranslationX=%.1f\nTranslationY=%.1f\nTranslationZ=30\n"
                "RotationOriginX=0\nRotationOriginY=0\nRotationOriginZ=0\n\n",
                collection, angleZ, x, y);
  return text;
}

double quantile(std::vector<double> values, double q) {
  std::sort(values.begin(), values.end());
  return values[static_cast<std::size_t>(q * static_cast<double>(values.size() - 1))];
}

struct Figures {
  double median = 0.0, p99 = 0.0, hitRate = 0.0;
};

// Arm records aimed at random points over the placed region (and a little
// beyond it), probe tilted up to about 30 degrees.
struct Record {
  Point tip;
  double phi, theta, psi;
};
std::vector<Record> randomRecords(unsigned int seed) {
  std::mt19937 rng(seed);
  std::uniform_real_distribution<double> across(-0.05, 1.05), angle(-30.0, 30.0),
      turn(-180.0, 180.0), height(20.0, 200.0);
  const double size = kPitch * kGrid;
  std::vector<Record> records;
  for (int i = 0; i < kPoses; ++i) {
    Record r;
    r.phi = turn(rng);
    r.theta = 180.0 + angle(rng);
    r.psi = turn(rng);
    const Vector axis = probeRotation(r.phi, r.theta, r.psi, 0.0)(Vector(0.0, 0.0, 1.0));
    // A point over one of the two placed grids, alternately.
    const Point target(across(rng) * size + (i % 2 == 0 ? 0.0 : 1300.0), across(rng) * size, 30.0);
    r.tip = target - axis * height(rng);
    records.push_back(r);
  }
  return records;
}

Figures timePasses(const RectMeshGroups& meshes, const RegionTestProbe& probe,
                   const std::vector<Record>& records) {
  std::vector<double> millis;
  millis.reserve(records.size());
  QuadIndicesIntersectionStatus status;
  int hits = 0;
  std::size_t characters = 0;
  for (const Record& r : records) {
    const auto start = Clock::now();
    const LinearMap rotation = probeRotation(r.phi, r.theta, r.psi, 0.001);
    Point origin;
    Vector direction;
    regionTestRay(probe, r.tip, rotation, origin, direction);
    const RegionTestHit hit = intersectRegionTestRay(meshes, origin, direction, status);
    const std::string line = regionTestResultLine(probe.ultrasonic, probe.element, hit);
    millis.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    hits += hit.valid ? 1 : 0;
    characters += line.size();
  }
  if (characters == 0) failed("no result lines");
  Figures f;
  f.median = quantile(millis, 0.5);
  f.p99 = quantile(millis, 0.99);
  f.hitRate = static_cast<double>(hits) / static_cast<double>(records.size());
  return f;
}

}  // namespace

int main() {
  const fs::path directory = fs::temp_directory_path() / "zorv-region-test-benchmark";
  fs::create_directories(directory);
  std::printf("Writing two grids of %u x %u quads (%.1f M quads in all)...\n", kGrid, kGrid,
              2.0 * kGrid * kGrid / 1e6);
  scannedSurface(kGrid, 1).save((directory / "First.quads").string());
  scannedSurface(kGrid, 2).save((directory / "Second.quads").string());
  const fs::path qini = directory / "Region.qini";
  {
    std::ofstream out(qini);
    out << "[QuadFile1]\nName=First.quads\nCollectionIndex=1\nOffsetU=0\nOffsetV=0\n\n"
        << "[QuadFile2]\nName=Second.quads\nCollectionIndex=2\nOffsetU=0\nOffsetV=3000\n\n"
        << transformSection(1, 0.0, 0.0, 0.0) << transformSection(2, 1.0, 1300.0, 0.0);
  }

  ConsoleContext context;
  context.print = discardText;
  // Settings paths are written as on Windows: the loader finds the ".quads"
  // files beside the settings file by its last backslash.
  context.partSettingsFile = qini.string();
  std::replace(context.partSettingsFile.begin(), context.partSettingsFile.end(), '/', '\\');
  RectMeshGroups master;
  RegionMeshLists lists;
  const auto loadStart = Clock::now();
  if (!loadRegionMeshes(context, master, lists)) failed("region not loaded");
  RectMeshGroups working = master;
  if (!applyPartTransforms(context, lists.collectionCount, 0, 0, working)) failed("not placed");
  std::printf("Loaded and placed in %.1f s.\n",
              std::chrono::duration<double>(Clock::now() - loadStart).count());

  const std::vector<Record> records = randomRecords(7);
  RegionTestProbe ball;
  ball.ballRadius = 1.5;
  RegionTestProbe array;
  array.ultrasonic = true;
  array.element = ArrayElement::End;
  array.elementCount = 64;
  array.elementPitch = 0.8;
  array.rotation.setRotation(LinearMap::X, LinearMap::Y, LinearMap::Z,
                             Vector(0.0, 0.2, Utility::degToRad(90.0)));
  array.translation = Vector(0.0, 0.0, 42.5);

  bool met = true;
  const struct {
    const char* name;
    const RegionTestProbe& probe;
  } probes[] = {{"ball probe", ball}, {"array probe, end element", array}};
  for (const auto& p : probes) {
    const Figures f = timePasses(working, p.probe, records);
    const bool ok = f.median <= kTargetMillis && f.p99 <= kTargetMillis;
    met = met && ok;
    std::printf(
        "%-26s median %.4f ms, 99th percentile %.4f ms, hits %.0f %% (target %.1f ms: %s)\n",
        p.name, f.median, f.p99, 100.0 * f.hitRate, kTargetMillis, ok ? "met" : "MISSED");
    std::printf("headline\tregion test pass, %s (99th percentile)\t%.4f\tms\t<=\t%.1f\n",
                p.name, f.p99, kTargetMillis);
  }
  fs::remove_all(directory);
  return met ? 0 : 1;
}
