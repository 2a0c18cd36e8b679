// Timing figures of "Reuse part calibrations" on a large wizard tree: 500
// ".qini" files (50 parts of 10 regions), each with 8 "PartLocalToArmGlobal"
// sections (arm positions 1-2, collections 1-2, part positions 1-2), their
// two "PartCalibrationPoints" sections, a region and two quad-file sections
// (about 3.4 KB a file).
//
//   relocation_benchmark [runs] [directory]
//
// Each run (5 unless given) builds the tree afresh in a new directory (below
// the system's temporary directory unless one is given), reads the old and the
// new arm's cell points from an arm configuration file, fits the relocation
// map and times relocateWizardTree on the whole tree: the search, the backups
// and the re-fit of every section, with every message formatted (and counted,
// not shown). Prints each run, then the median total and sections per second,
// and the cost of the program's own calls that make up a relocation, each
// timed on its own over a fresh tree (medians too).
//
// Fails (exit 1) unless every run re-fits all 4000 sections of all 500 files.
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "IniFileSection.h"
#include "ZorvVLWizard.h"
#include "console/ConsoleContext.h"
#include "partmodel/CollectionSettings.h"
#include "partcalibration/Relocation.h"
#include "partmodel/TransformSections.h"
#include "regions/RegionSettings.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
using Zorv::Geometry::ThreeDimensional::Point;

constexpr int kParts = 50;
constexpr int kRegionsPerPart = 10;
constexpr int kFiles = kParts * kRegionsPerPart;
constexpr int kSectionsPerFile = 8;
constexpr int kSections = kFiles * kSectionsPerFile;

const char* const kOldSerial = "OLD4711";
const char* const kNewSerial = "N772";

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  if (v.empty()) return 0.0;
  std::sort(v.begin(), v.end());
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

[[noreturn]] void failed(const std::string& what) {
  std::fprintf(stderr, "relocation_benchmark: %s\n", what.c_str());
  std::exit(1);
}

// ---- The console output of the relocation, counted -------------------------

struct Printed {
  long updated = 0;  // "Successfully updated calibration.\n"
  long other = 0;    // every other failure or notice of a section
  long lines = 0;
  std::string last;
};
Printed printed;

void countText(std::string text) {
  ++printed.lines;
  if (text == "Successfully updated calibration.\n") {
    ++printed.updated;
  } else if (text.find("fail") != std::string::npos) {
    ++printed.other;
  }
  printed.last = std::move(text);
}

// ---- The tree ----------------------------------------------------------------

std::string real(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%4.16lf", value);
  return text;
}

std::string twoDigits(int n) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d", n);
  return text;
}

// A fixed pseudo-random sequence, so that every run writes the same tree.
struct Sequence {
  std::uint32_t state = 20240611u;
  double next(double low, double high) {
    state = state * 1103515245u + 12345u;
    return low + (high - low) * static_cast<double>((state >> 8) & 0xFFFFu) / 65535.0;
  }
};

// One part settings file: region, two quad files, the calibration points of
// two collections and eight transform sections, as a calibrated part has them.
std::string partFile(int part, int region, Sequence& random) {
  std::string s = "[Region]\r\nName=Region" + std::to_string(region) +
                  "\r\nNumberOfPartPositions=2\r\nDescription=Scanned surfaces of part " +
                  std::to_string(part) + "\r\n";
  for (int q = 1; q <= 2; ++q) {
    s += "[QuadFile" + std::to_string(q) + "]\r\nName=Surface" + std::to_string(q) +
         ".quads\r\nCollectionIndex=" + std::to_string(q) +
         "\r\nOffsetU=0\r\nOffsetV=" + std::to_string(120 * (q - 1)) +
         "\r\nFlipNormals=false\r\nFlipUAxis=false\r\nFlipVAxis=false\r\n";
  }
  for (int c = 1; c <= 2; ++c) {
    s += "[PartCalibrationPoints" + std::to_string(c) + "]\r\n";
    for (int i = 0; i < 3; ++i) {
      const std::string n = std::to_string(i);
      s += "x" + n + "=" + real(random.next(-300, 300)) + "\r\ny" + n + "=" +
           real(random.next(-300, 300)) + "\r\nz" + n + "=" + real(random.next(-50, 150)) + "\r\n";
    }
    s += "p0=1\r\np1=2\r\np2=2\r\n";
  }
  for (int p = 1; p <= 2; ++p) {
    for (int c = 1; c <= 2; ++c) {
      for (int a = 1; a <= 2; ++a) {
        s += "[" + partTransformSectionName(a, c, p) + "]\r\n";
        s += "RotationOriginX=" + real(random.next(-100, 100)) +
             "\r\nRotationOriginY=" + real(random.next(-100, 100)) +
             "\r\nRotationOriginZ=" + real(random.next(0, 50)) + "\r\n";
        s += "RotationAngleX=" + real(random.next(-180, 180)) +
             "\r\nRotationAngleY=" + real(random.next(-80, 80)) +
             "\r\nRotationAngleZ=" + real(random.next(-180, 180)) + "\r\n";
        s += "TranslationX=" + real(random.next(-1500, 1500)) +
             "\r\nTranslationY=" + real(random.next(-1500, 1500)) +
             "\r\nTranslationZ=" + real(random.next(-200, 800)) + "\r\n";
      }
    }
  }
  return s;
}

void writeText(const fs::path& file, const std::string& text) {
  std::FILE* out = std::fopen(file.string().c_str(), "wb");
  if (out == nullptr || std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
    failed("cannot write " + file.string());
  }
  std::fclose(out);
}

// The wizard tree below root; the paths of its files and the total size.
std::vector<std::string> buildTree(const fs::path& root, std::size_t& bytes) {
  Sequence random;
  std::vector<std::string> files;
  bytes = 0;
  for (int part = 1; part <= kParts; ++part) {
    for (int region = 1; region <= kRegionsPerPart; ++region) {
      const fs::path directory = root / "parts" /
                                 (twoDigits(part) + "_Part" + std::to_string(part)) /
                                 (twoDigits(region) + "_Region" + std::to_string(region));
      fs::create_directories(directory);
      const fs::path file = directory / ("Part" + std::to_string(part) + ".qini");
      const std::string text = partFile(part, region, random);
      writeText(file, text);
      bytes += text.size();
      files.push_back(file.string());
    }
  }
  return files;
}

// The arm configuration file with both arms' cell points (the new arm's seen
// from a rigid move of the old arm's frame), as the re-use finds them.
std::string armConfiguration() {
  const double oldPoints[3][3] = {{1200, -300, 50}, {-200, 900, 75}, {400, 300, 1100}};
  RigidBodyFit move;
  move.rotationOrigin = Point(250, 100, 0);
  move.rotationAngles = Zorv::Geometry::ThreeDimensional::Vector(0.0873, -0.2182, 2.7925);
  move.translation = Zorv::Geometry::ThreeDimensional::Vector(-800.25, 1320.5, -45);
  std::string s = "[ArmCalibrationPoints]\r\n";
  for (int j = 0; j < 3; ++j) {
    const Point old(oldPoints[j][0], oldPoints[j][1], oldPoints[j][2]);
    const Point moved = applyTransform(move, old);
    for (int i = 0; i < 3; ++i) {
      s += armCalibrationPointKey(kOldSerial, j, i) + "=" + real(old[i]) + "\r\n";
    }
    for (int i = 0; i < 3; ++i) {
      s += armCalibrationPointKey(kNewSerial, j, i) + "=" + real(moved[i]) + "\r\n";
    }
  }
  return s;
}

// The relocation map as the re-use fits it from the stored points.
RigidBodyFit relocationOf(const std::string& configurationFile) {
  Point oldPoints[3];
  Point newPoints[3];
  if (!readArmCalibrationPoints(configurationFile, kOldSerial, oldPoints) ||
      !readArmCalibrationPoints(configurationFile, kNewSerial, newPoints)) {
    failed("cell points not read back");
  }
  RigidBodyFit relocation;
  if (!fitRigidBody(oldPoints, newPoints, relocation)) failed("relocation map not fitted");
  return relocation;
}

// A fresh directory for one run.
fs::path freshDirectory(const fs::path& base, int run) {
  const fs::path directory = base / ("run" + std::to_string(run));
  std::error_code ignored;
  fs::remove_all(directory, ignored);
  fs::create_directories(directory);
  return directory;
}

// One timed relocation of a fresh tree.
double relocationRun(const fs::path& base, int run) {
  const fs::path directory = freshDirectory(base, run);
  const fs::path wizard = directory / "vl2_settings";
  std::size_t bytes = 0;
  buildTree(wizard, bytes);
  const std::string configuration = (directory / "WinVLPosetta.ini").string();
  writeText(configuration, armConfiguration());

  ConsoleContext context;
  context.print = countText;
  printed = Printed{};
  const auto start = Clock::now();
  const RigidBodyFit relocation = relocationOf(configuration);
  const bool ok = relocateWizardTree(context, wizard.string(), relocation, {kOldSerial, kNewSerial});
  const double seconds = secondsSince(start);
  const std::string summary = "Successfully processed " + std::to_string(kFiles) + " of " +
                              std::to_string(kFiles) + " .qini files.\n";
  if (!ok || printed.updated != kSections || printed.other != 0 || printed.last != summary) {
    failed("run " + std::to_string(run) + ": " + std::to_string(printed.updated) +
           " sections updated, " + std::to_string(printed.other) + " failures, last line " +
           printed.last);
  }
  std::error_code ignored;
  fs::remove_all(directory, ignored);
  return seconds;
}

// ---- The steps on their own --------------------------------------------------

struct Steps {
  std::vector<double> search, nameLists, reads, fileWrites;
};

// The program's own calls that make up a relocation, each over the whole
// fresh tree on its own: the file search, the section names of every file,
// the reads of the 8 sections of each, and their writes, one update per file.
void timeSteps(const fs::path& base, int run, Steps& steps) {
  const fs::path directory = freshDirectory(base, run);
  const fs::path wizard = directory / "vl2_settings";
  std::size_t bytes = 0;
  const std::vector<std::string> built = buildTree(wizard, bytes);

  auto start = Clock::now();
  string_vector found;
  ZorvVLWizardUtilities::getRecursiveFullFileNames(wizard.string(), kPartSettingsExtension, found);
  steps.search.push_back(secondsSince(start));
  if (found.strings.size() != built.size()) failed("search found the wrong files");

  start = Clock::now();
  std::size_t names = 0;
  for (const std::string& file : found.strings) names += listSectionNames(file).size();
  steps.nameLists.push_back(secondsSince(start));
  if (names != static_cast<std::size_t>(kFiles) * (kSectionsPerFile + 5)) {
    failed("name lists found the wrong sections");
  }

  ConsoleContext context;
  context.print = countText;
  start = Clock::now();
  std::vector<std::vector<NamedTransform>> fits;
  fits.reserve(found.strings.size());
  for (const std::string& file : found.strings) {
    fits.emplace_back();
    for (int p = 1; p <= 2; ++p) {
      for (int c = 1; c <= 2; ++c) {
        for (int a = 1; a <= 2; ++a) {
          const std::string name = partTransformSectionName(a, c, p);
          SectionTransform transform;
          if (!readTransformSection(context, file, name, transform, true)) {
            failed("section not read");
          }
          fits.back().push_back(
              {name,
               RigidBodyFit{transform.rotationOrigin, transform.rotationAngles,
                            transform.translation},
               kNewSerial});
        }
      }
    }
  }
  steps.reads.push_back(secondsSince(start));

  start = Clock::now();
  for (std::size_t f = 0; f < found.strings.size(); ++f) {
    writeTransformSections(found.strings[f], fits[f]);
  }
  steps.fileWrites.push_back(secondsSince(start));

  std::error_code ignored;
  fs::remove_all(directory, ignored);
}

}  // namespace

int main(int argc, char** argv) {
  int runs = 5;
  std::string given;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (i == 1 && std::atoi(argv[i]) > 0) {
      runs = std::atoi(argv[i]);
    } else {
      given = argument;
    }
  }
  std::error_code error;
  const fs::path base =
      !given.empty()
          ? fs::path(given)
          : fs::temp_directory_path(error) /
                ("relocation_benchmark." +
                 std::to_string(static_cast<long long>(Clock::now().time_since_epoch().count())));
  fs::create_directories(base, error);
  if (error) failed("cannot create " + base.string());

  std::size_t bytes = 0;
  {
    const fs::path probe = freshDirectory(base, 0);
    buildTree(probe / "vl2_settings", bytes);
    fs::remove_all(probe, error);
  }
  std::printf(
      "Relocation of %d .qini files, %d transform sections each (%d sections), "
      "%.1f KB a file, in %s\n",
      kFiles, kSectionsPerFile, kSections, static_cast<double>(bytes) / kFiles / 1024.0,
      base.string().c_str());

  std::vector<double> totals;
  for (int run = 1; run <= runs; ++run) {
    const double seconds = relocationRun(base, run);
    totals.push_back(seconds);
    std::printf("  run %d: %8.3f s  %8.0f sections/s\n", run, seconds, kSections / seconds);
    std::fflush(stdout);
  }
  const double total = median(totals);
  std::printf("Median of %d runs: %.3f s for %d sections, %.0f sections/s, %.0f files/s\n", runs,
              total, kSections, kSections / total, kFiles / total);
  std::printf("headline\trelocation of %d sections in %d files\t%.0f\tsections/s\t>=\t400\n",
              kSections, kFiles, kSections / total);

  Steps steps;
  for (int run = 1; run <= std::min(runs, 3); ++run) timeSteps(base, runs + run, steps);
  std::printf("The program's steps on their own (medians):\n");
  std::printf("  search of the tree:                           %8.3f s\n", median(steps.search));
  std::printf("  section names of the %d files:               %8.3f s\n", kFiles,
              median(steps.nameLists));
  std::printf("  %d sections read:                           %8.3f s\n", kSections,
              median(steps.reads));
  std::printf("  %d sections written, one update per file:   %8.3f s\n", kSections,
              median(steps.fileWrites));
  fs::remove_all(base, error);
  return 0;
}
