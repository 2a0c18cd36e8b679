// zorv-soak-site: writes the region that scripts/soak runs "Test region" on,
// and the probe's sweep over it for the scenario tool.
//
//   zorv-soak-site --quads <n> --qini <part settings file> --description <file>
//
// The region: four scanned-looking patches of about n/4 quads each at 0.5 mm
// (waves of a few millimetres and a little noise, as a scanned surface has),
// written with the geometry library's own writer beside the part settings
// file as Patch1.quads .. Patch4.quads. Patches 1 and 2 lie side by side in
// collection 1, patches 3 and 4 in collection 2; each collection has its
// calibration points and its calibrated transform for arm position 1, part
// position 1, and the two collections lie some 3 m apart in the arm's frame.
//
// The description (the scenario tool's format, without playback or end
// lines) sweeps the probe over each patch in turn: a miss beside it, a tilted
// aim, then rows of aims straight down, a green press after every few aims.
// Each aim is held for 30 records, the miss for 100, so that a pass of the
// test's loop (at least 200 ms) sees it even on a busy machine. Exit status 1
// with a message on failure.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "ZorvGeometry.h"

namespace {

using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh;

constexpr int kPatches = 4;
constexpr double kPitch = 0.5;
// Space between the two patches of a collection (mm).
constexpr double kGap = 10.0;
// Records each aim is held (the arm writes one every 10 ms), and the miss.
constexpr int kAimRecords = 30;
constexpr int kMissRecords = 100;
// Aims between green presses, and the records green is held.
constexpr int kAimsPerPress = 7;
constexpr int kPressRecords = 30;
constexpr int kRows = 4;
constexpr int kColumns = 8;

// Where a collection lies in the arm's frame: P goes to O + R(P − O) + T, R
// the turns (degrees) about x, then y, then z.
struct Placement {
  double angles[3];
  double translation[3];
  double origin[3];
};
const Placement kPlacements[2] = {
    {{0.0, 0.0, 90.0}, {1000.0, -100.0, 60.0}, {0.0, 0.0, 0.0}},
    {{4.0, -3.0, 180.0}, {3200.0, 2500.0, 20.0}, {100.0, 50.0, 0.0}},
};

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "zorv-soak-site: %s\n", what.c_str());
  std::exit(1);
}

// The surface height of a patch at part-local (x, y), without the noise.
double surface(double x, double y) {
  return 6.0 * std::sin(x / 37.0) * std::cos(y / 23.0);
}

// Part-local x of a patch's first vertex: two patches side by side per
// collection.
double patchX0(int patch, unsigned int uCount) {
  return (patch % 2) * (uCount * kPitch + kGap);
}

std::vector<Point> patchVertices(int patch, unsigned int uCount, unsigned int vCount) {
  std::mt19937 rng(static_cast<unsigned int>(patch + 1));
  std::uniform_real_distribution<double> noise(-0.02, 0.02);
  std::vector<Point> vertices;
  vertices.reserve(static_cast<std::size_t>(uCount + 1) * (vCount + 1));
  const double x0 = patchX0(patch, uCount);
  for (unsigned int v = 0; v <= vCount; ++v) {
    for (unsigned int u = 0; u <= uCount; ++u) {
      const double x = x0 + kPitch * u;
      const double y = kPitch * v;
      vertices.emplace_back(x + noise(rng), y + noise(rng), surface(x, y) + noise(rng));
    }
  }
  return vertices;
}

std::string fixed(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.16f", value);
  return text;
}

std::string number(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.4f", value);
  return text;
}

std::string partSettings(unsigned int uCount) {
  std::string s = "[Region]\nNumberOfPartPositions=1\n\n";
  for (int k = 0; k < kPatches; ++k) {
    s += "[QuadFile" + std::to_string(k + 1) + "]\n";
    s += "Name=Patch" + std::to_string(k + 1) + ".quads\n";
    s += "CollectionIndex=" + std::to_string(k / 2 + 1) + "\n";
    s += "OffsetU=" + std::to_string(uCount * static_cast<unsigned int>(k)) + "\nOffsetV=0\n\n";
  }
  for (int c = 1; c <= 2; ++c) s += "[Collection" + std::to_string(c) + "]\nMoveable=true\n\n";
  // Three explicit calibration points per collection, at corners of its
  // first patch.
  for (int c = 1; c <= 2; ++c) {
    s += "[PartCalibrationPoints" + std::to_string(c) + "]\n";
    const double corners[3][2] = {{0.0, 0.0}, {100.0, 0.0}, {0.0, 60.0}};
    for (int i = 0; i < 3; ++i) {
      const std::string n = std::to_string(i);
      const double x = corners[i][0];
      const double y = corners[i][1];
      s += "x" + n + "=" + fixed(x) + "\ny" + n + "=" + fixed(y) + "\nz" + n + "=" +
           fixed(surface(x, y)) + "\n";
    }
    s += "\n";
  }
  const char* axes[3] = {"X", "Y", "Z"};
  for (int c = 1; c <= 2; ++c) {
    const Placement& p = kPlacements[c - 1];
    s += "[PartLocalToArmGlobal1" + std::to_string(c) + "1]\n";
    for (int i = 0; i < 3; ++i)
      s += std::string("RotationAngle") + axes[i] + "=" + fixed(p.angles[i]) + "\n";
    for (int i = 0; i < 3; ++i)
      s += std::string("Translation") + axes[i] + "=" + fixed(p.translation[i]) + "\n";
    for (int i = 0; i < 3; ++i)
      s += std::string("RotationOrigin") + axes[i] + "=" + fixed(p.origin[i]) + "\n";
    s += "\n";
  }
  return s;
}

// The sweep over one patch, in the part-local frame of its collection.
std::string patchSweep(int patch, unsigned int uCount, unsigned int vCount) {
  const Placement& p = kPlacements[patch / 2];
  const double x0 = patchX0(patch, uCount);
  const double width = uCount * kPitch;
  const double height = vCount * kPitch;
  std::string s = "# Patch" + std::to_string(patch + 1) + "\n";
  s += "placement " + number(p.angles[0]) + " " + number(p.angles[1]) + " " + number(p.angles[2]) +
       " " + number(p.translation[0]) + " " + number(p.translation[1]) + " " +
       number(p.translation[2]) + " origin " + number(p.origin[0]) + " " + number(p.origin[1]) +
       " " + number(p.origin[2]) + "\n";
  const auto aim = [&](double x, double y, const char* axis, int records = kAimRecords) {
    s += "aim " + number(x) + " " + number(y) + " " + number(surface(x, y)) + " " + axis + " 50 " +
         std::to_string(records) + "\n";
  };
  // A miss: beside the patch, below its collection's lowest point, looking
  // away from it.
  aim(x0 - 40.0, -40.0, "0 0 1", kMissRecords);
  // Tilted about 25 degrees.
  aim(x0 + 0.3 * width, 0.6 * height, "0.4226 0 -0.9063");
  int aims = 0;
  for (int row = 0; row < kRows; ++row) {
    const double y = (row + 0.5) / kRows * height;
    for (int column = 0; column < kColumns; ++column) {
      // Back and forth, row by row.
      const int c = row % 2 == 0 ? column : kColumns - 1 - column;
      aim(x0 + (c + 0.5) / kColumns * width, y, "0 0 -1");
      if (++aims % kAimsPerPress == 0) s += "green x" + std::to_string(kPressRecords) + "\n";
    }
  }
  return s;
}

void writeText(const std::string& path, const std::string& text) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (f == nullptr || std::fwrite(text.data(), 1, text.size(), f) != text.size() ||
      std::fclose(f) != 0) {
    fail("cannot write " + path);
  }
}

}  // namespace

int main(int argc, char** argv) {
  long long quads = 0;
  std::string qini;
  std::string description;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--quads") {
      quads = std::atoll(argv[i + 1]);
    } else if (option == "--qini") {
      qini = argv[i + 1];
    } else if (option == "--description") {
      description = argv[i + 1];
    } else {
      fail("unknown option " + option);
    }
  }
  if (argc % 2 != 1 || quads < 100 * kPatches || qini.empty() || description.empty()) {
    fail("usage: zorv-soak-site --quads <n, at least 400> --qini <file> --description <file>");
  }
  // Nearly square patches of n/4 quads.
  const double perPatch = static_cast<double>(quads) / kPatches;
  const auto uCount = static_cast<unsigned int>(std::ceil(std::sqrt(perPatch)));
  const auto vCount = static_cast<unsigned int>(std::llround(perPatch / uCount));

  const std::size_t slash = qini.find_last_of('/');
  const std::string directory = slash == std::string::npos ? "." : qini.substr(0, slash);
  for (int k = 0; k < kPatches; ++k) {
    RectMesh mesh;
    if (!mesh.setFromVertices(uCount, vCount, patchVertices(k, uCount, vCount))) {
      fail("the patch vertices were refused");
    }
    const std::string file = directory + "/Patch" + std::to_string(k + 1) + ".quads";
    try {
      mesh.save(file);
    } catch (const std::exception& error) {
      fail(error.what());
    }
  }
  writeText(qini, partSettings(uCount));
  std::string sweep;
  for (int k = 0; k < kPatches; ++k) sweep += patchSweep(k, uCount, vCount);
  writeText(description, sweep);
  std::printf("%u x %u quads in each of %d files: %llu quads\n", uCount, vCount, kPatches,
              static_cast<unsigned long long>(uCount) * vCount * kPatches);
  return 0;
}
