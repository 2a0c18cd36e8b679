// Timing figures of the region loading and placing of the live region test:
// a part settings file with 20 quad files in 4 collections, placed for two arm
// positions. Prints, as medians of several runs:
//   (a) a plain read of the same ".quads" bytes,
//   (b) loadRegionMeshes + master-to-working copy + applyPartTransforms,
//       with (b)/(a) and where the time of (b) goes,
//   (c) a change of arm position (copy + applyPartTransforms), at 10 M and
//       1 M quads to show that it does not grow with the meshes.
// Asserts nothing beyond the operations succeeding.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#ifdef __GLIBC__
#include <malloc.h>
#endif
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "IniFileSection.h"
#include "MeshData.h"
#include "ZorvGeometry.h"
#include "console/ConsoleContext.h"
#include "partmodel/CollectionSettings.h"
#include "regions/RegionSettings.h"

namespace {

using namespace Zorv::Geometry::ThreeDimensional;
using namespace Zorv::Geometry::ThreeDimensional::QuadMesh;
using Clock = std::chrono::steady_clock;
namespace fs = std::filesystem;

constexpr int kFiles = 20;
constexpr int kCollections = 4;
constexpr int kArmPositions = 2;

double secondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  if (v.empty()) return 0.0;
  const std::size_t n = v.size();
  return n % 2 == 1 ? v[n / 2] : 0.5 * (v[n / 2 - 1] + v[n / 2]);
}

double largest(const std::vector<double>& v) {
  return v.empty() ? 0.0 : *std::max_element(v.begin(), v.end());
}

void discardText(std::string) {}

[[noreturn]] void failed(const char* what) {
  std::fprintf(stderr, "region_benchmark: %s\n", what);
  std::exit(1);
}

// A scanned-looking patch of uCount × vCount quads at 0.5 mm pitch: waves of
// a few millimetres and a little noise, different for every file.
std::vector<Point> patchVertices(unsigned int uCount, unsigned int vCount, int file) {
  std::mt19937 rng(static_cast<unsigned int>(file + 1));
  std::uniform_real_distribution<double> noise(-0.02, 0.02);
  std::vector<Point> vertices;
  vertices.reserve(static_cast<std::size_t>(uCount + 1) * (vCount + 1));
  const double x0 = 0.5 * uCount * file;
  for (unsigned int v = 0; v <= vCount; ++v) {
    for (unsigned int u = 0; u <= uCount; ++u) {
      const double x = x0 + 0.5 * u, y = 0.5 * v;
      vertices.emplace_back(x + noise(rng), y + noise(rng),
                            6.0 * std::sin(x / 37.0) * std::cos(y / 23.0) + noise(rng));
    }
  }
  return vertices;
}

std::string fixed(double value) {
  char text[64];
  std::snprintf(text, sizeof text, "%.16f", value);
  return text;
}

// The part settings file: region, quad files (file k in collection
// k mod 4 + 1, side by side in u), collections, calibration points (the
// largest "p2" gives two arm positions) and one transform section per arm
// position and collection.
std::string partSettings(unsigned int uCount) {
  std::string s = "[Region]\nNumberOfPartPositions=1\n\n";
  for (int k = 0; k < kFiles; ++k) {
    s += "[QuadFile" + std::to_string(k + 1) + "]\n";
    s += "Name=Patch" + std::to_string(k + 1) + ".quads\n";
    s += "CollectionIndex=" + std::to_string(k % kCollections + 1) + "\n";
    s += "OffsetU=" + std::to_string(uCount * static_cast<unsigned int>(k)) + "\nOffsetV=0\n\n";
  }
  for (int c = 1; c <= kCollections; ++c) {
    s += "[Collection" + std::to_string(c) + "]\nMoveable=true\n\n";
  }
  for (int c = 1; c <= kCollections; ++c) {
    s += "[PartCalibrationPoints" + std::to_string(c) + "]\n";
    for (int i = 0; i < 3; ++i) {
      const std::string n = std::to_string(i);
      s += "x" + n + "=" + fixed(40.0 * i + c) + "\ny" + n + "=" + fixed(25.0 * (i % 2)) + "\nz" +
           n + "=" + fixed(1.5 * c) + "\n";
    }
    s += "p0=1\np1=1\np2=" + std::to_string(kArmPositions) + "\n\n";
  }
  for (int a = 1; a <= kArmPositions; ++a) {
    for (int c = 1; c <= kCollections; ++c) {
      s += "[PartLocalToArmGlobal" + std::to_string(a) + std::to_string(c) + "1]\n";
      s += "RotationOriginX=" + fixed(100.0 * c) + "\nRotationOriginY=" + fixed(50.0) +
           "\nRotationOriginZ=" + fixed(0.0) + "\n";
      s += "RotationAngleX=" + fixed(0.5 * a) + "\nRotationAngleY=" + fixed(-0.25 * c) +
           "\nRotationAngleZ=" + fixed(90.0 * a + c) + "\n";
      s += "TranslationX=" + fixed(700.0 + 10 * a) + "\nTranslationY=" + fixed(300.0 - 5 * c) +
           "\nTranslationZ=" + fixed(15.0 * a) + "\n\n";
    }
  }
  return s;
}

// A region on disk: the settings file and its quad files in a temporary
// directory, removed again at the end.
class RegionOnDisk {
 public:
  RegionOnDisk(unsigned int uCount, unsigned int vCount) {
    directory_ = fs::temp_directory_path() /
                 ("zorv-region-bench-" + std::to_string(uCount) + "x" + std::to_string(vCount));
    fs::remove_all(directory_);
    fs::create_directories(directory_);
    for (int k = 0; k < kFiles; ++k) {
      RectMesh mesh;
      if (!mesh.setFromVertices(uCount, vCount, patchVertices(uCount, vCount, k))) {
        failed("the patch vertices were refused");
      }
      const fs::path file = directory_ / ("Patch" + std::to_string(k + 1) + ".quads");
      mesh.save(file.string());
      quadFiles_.push_back(file.string());
      bytes_ += fs::file_size(file);
    }
    const fs::path settings = directory_ / "Part.qini";
    const std::string text = partSettings(uCount);
    std::FILE* f = std::fopen(settings.string().c_str(), "wb");
    if (!f || std::fwrite(text.data(), 1, text.size(), f) != text.size() || std::fclose(f) != 0) {
      failed("the part settings file could not be written");
    }
    settingsBytes_ = text.size();
    // The settings paths of the program are backslash paths.
    settingsFile_ = directory_.string() + "\\Part.qini";
    quads_ = static_cast<double>(uCount) * vCount * kFiles;
  }
  ~RegionOnDisk() {
    std::error_code ignored;
    fs::remove_all(directory_, ignored);
  }
  RegionOnDisk(const RegionOnDisk&) = delete;
  RegionOnDisk& operator=(const RegionOnDisk&) = delete;

  const std::vector<std::string>& quadFiles() const { return quadFiles_; }
  const std::string& settingsFile() const { return settingsFile_; }
  double bytes() const { return static_cast<double>(bytes_); }
  std::size_t settingsBytes() const { return settingsBytes_; }
  double quads() const { return quads_; }

 private:
  fs::path directory_;
  std::vector<std::string> quadFiles_;
  std::string settingsFile_;
  std::uintmax_t bytes_ = 0;
  std::size_t settingsBytes_ = 0;
  double quads_ = 0.0;
};

// (a) Every ".quads" file read whole into a fresh buffer, as the loader's
// buffers are fresh; the buffers are freed after the clock stops.
double plainRead(const RegionOnDisk& region) {
  std::vector<std::unique_ptr<char[]>> buffers;
  const auto start = Clock::now();
  for (const std::string& path : region.quadFiles()) {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) failed("a quad file could not be opened");
    std::fseek(f, 0, SEEK_END);
    const long size = std::ftell(f);
    std::fseek(f, 0, SEEK_SET);
    auto buffer = std::make_unique_for_overwrite<char[]>(static_cast<std::size_t>(size));
    const std::size_t got = std::fread(buffer.get(), 1, static_cast<std::size_t>(size), f);
    std::fclose(f);
    if (got != static_cast<std::size_t>(size)) failed("a quad file was read short");
    buffers.push_back(std::move(buffer));
  }
  return secondsSince(start);
}

struct LoadTimes {
  double total = 0.0;      // load + copy + place
  double load = 0.0;       // loadRegionMeshes
  double placement = 0.0;  // copy + applyPartTransforms
};

// (b) The region test's start: load the master, copy it to the working group,
// place the working group for arm position 1. The groups are freed after the
// clock stops.
LoadTimes loadAndPlace(ConsoleContext& context) {
  LoadTimes t;
  RectMeshGroups master;
  RectMeshGroups working;
  RegionMeshLists lists;
  const auto start = Clock::now();
  if (!loadRegionMeshes(context, master, lists)) failed("loadRegionMeshes failed");
  t.load = secondsSince(start);
  const auto placing = Clock::now();
  working = master;
  if (!applyPartTransforms(context, lists.collectionCount, 0, 0, working)) {
    failed("applyPartTransforms failed");
  }
  t.placement = secondsSince(placing);
  t.total = secondsSince(start);
  if (working.getCollectionCount() != kCollections) failed("wrong collection count");
  return t;
}

// The settings part of the loader alone: the quad-file sections enumerated
// and read as loadRegionMeshes reads them.
double settingsReads(ConsoleContext& context) {
  const auto start = Clock::now();
  for (int n = 1;; ++n) {
    const std::string section = "QuadFile" + std::to_string(n);
    if (n == 1 && IniFileSection::sectionExists(context.partSettingsFile, "QuadFile")) {
      failed("unexpected plain QuadFile section");
    }
    if (!IniFileSection::sectionExists(context.partSettingsFile, section)) break;
    QuadFileEntry entry;
    if (!readQuadFileSection(context, section, entry)) failed("readQuadFileSection failed");
  }
  return secondsSince(start);
}

// The meshes alone: RectMeshGroups::load on the loader's lists.
double meshLoad(const RegionMeshLists& lists) {
  RectMeshGroups groups;
  const auto start = Clock::now();
  groups.load(lists.paths, lists.offsets);
  return secondsSince(start);
}

// The search-structure builds alone, on the files' vertices already in
// memory (median of the given number of passes over all files).
double searchBuilds(const RegionOnDisk& region, int runs) {
  std::vector<std::shared_ptr<detail::MeshData>> data;
  for (const std::string& path : region.quadFiles()) data.push_back(detail::readQuadFile(path));
  std::vector<double> times;
  for (int run = 0; run < runs; ++run) {
    const auto start = Clock::now();
    for (const auto& mesh : data) {
      detail::GridSearch search;
      search.build(mesh->vertices.get(), mesh->uCount, mesh->vCount);
    }
    times.push_back(secondsSince(start));
  }
  return median(times);
}

// (c) Arm position changes from a loaded master: copy and place for the
// other arm position, alternately.
std::vector<double> armChanges(ConsoleContext& context, const RectMeshGroups& master,
                               int collectionCount, int count) {
  std::vector<double> times;
  RectMeshGroups working;
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    working = master;
    if (!applyPartTransforms(context, collectionCount, (i + 1) % kArmPositions, 0, working)) {
      failed("applyPartTransforms failed");
    }
    times.push_back(secondsSince(start));
  }
  return times;
}

// How the allocator serves the large blocks of the meshes and of the plain
// read. Fresh: every block is mapped anew and its pages are faulted in on
// first touch, as for the first load of a program run. Reused: freed blocks
// stay with the allocator with their pages mapped, so that only the reading
// and the work on the data are timed.
enum class Memory { Fresh, Reused };

bool useMemory(Memory memory) {
#ifdef __GLIBC__
  if (memory == Memory::Fresh) {
    return mallopt(M_MMAP_THRESHOLD, 128 * 1024) == 1 && mallopt(M_TRIM_THRESHOLD, 128 * 1024) == 1;
  }
  return mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024) == 1 &&
         mallopt(M_TRIM_THRESHOLD, 1 << 30) == 1;
#else
  (void)memory;
  return false;
#endif
}

void loadFigures(const RegionOnDisk& region, ConsoleContext& context, int runs, Memory memory) {
  const bool controlled = useMemory(memory);
  std::printf("  %s memory%s:\n",
              memory == Memory::Fresh ? "Fresh (blocks newly mapped, first touch faults pages in)"
                                      : "Reused (blocks handed back with their pages mapped)",
              controlled ? "" : " [allocator not controlled on this system]");
  // Warm-up: every file once through each path, so that all timed reads come
  // from the page cache (and, for reused memory, the allocator holds blocks).
  plainRead(region);
  loadAndPlace(context);

  std::vector<double> plain, total, load, placement, settings, meshes;
  RectMeshGroups master;
  RegionMeshLists lists;
  if (!loadRegionMeshes(context, master, lists)) failed("loadRegionMeshes failed");
  for (int run = 0; run < runs; ++run) {
    plain.push_back(plainRead(region));
    const LoadTimes t = loadAndPlace(context);
    total.push_back(t.total);
    load.push_back(t.load);
    placement.push_back(t.placement);
    settings.push_back(settingsReads(context));
    meshes.push_back(meshLoad(lists));
  }
  const double a = median(plain), b = median(total);
  std::printf("    (a) plain read of the .quads files:                %8.1f ms  (%.2f GB/s)\n",
              a * 1e3, region.bytes() / a / 1e9);
  std::printf("    (b) loadRegionMeshes + copy + applyPartTransforms: %8.1f ms  = %.2f x (a)\n",
              b * 1e3, b / a);
  std::printf("        loadRegionMeshes:                              %8.1f ms\n",
              median(load) * 1e3);
  std::printf("          settings reads (enumerate + 20 sections):    %8.2f ms\n",
              median(settings) * 1e3);
  std::printf("          RectMeshGroups::load (read, check, build):   %8.1f ms  = %.2f x (a)\n",
              median(meshes) * 1e3, median(meshes) / a);
  std::printf("        copy + applyPartTransforms:                    %8.3f ms\n",
              median(placement) * 1e3);
  if (memory == Memory::Fresh) {
    std::printf("headline\tregion load and place, %.0f M quads, fresh memory\t%.2f\tx plain "
                "read\t<=\t1.5\n",
                region.quads() / 1e6, b / a);
  }
}

// Median time of a call, over count calls.
template <typename F>
double medianCall(int count, F&& call) {
  std::vector<double> times;
  for (int i = 0; i < count; ++i) {
    const auto start = Clock::now();
    call();
    times.push_back(secondsSince(start));
  }
  return median(times);
}

// Where an arm position change spends its time: the settings reads that
// applyPartTransforms makes for each collection.
void armChangeBreakdown(ConsoleContext& context) {
  const std::string& file = context.partSettingsFile;
  const double oneRead = medianCall(
      200, [&] { (void)IniFileSection::sectionExists(file, "PartLocalToArmGlobal211"); });
  const double limits = medianCall(50, [&] { (void)transformNameLimits(file); });
  const double find = medianCall(50, [&] {
    for (int c = 1; c <= kCollections; ++c) {
      if (findPartTransformSection(context, kCollections, 1, c, 0).empty()) {
        failed("findPartTransformSection found nothing");
      }
    }
  });
  const double read = medianCall(50, [&] {
    for (int c = 1; c <= kCollections; ++c) {
      SectionTransform transform;
      if (!readTransformSection(context, file, partTransformSectionName(2, c, 1), transform,
                                false)) {
        failed("readTransformSection failed");
      }
    }
  });
  std::printf("      one settings read (sectionExists):             %8.3f ms\n", oneRead * 1e3);
  std::printf("      transformNameLimits, once:                     %8.3f ms\n", limits * 1e3);
  std::printf("      findPartTransformSection, %d collections:       %8.3f ms\n", kCollections,
              find * 1e3);
  std::printf("      readTransformSection, %d collections:           %8.3f ms\n", kCollections,
              read * 1e3);
}

void armChangeFigures(const RegionOnDisk& region, ConsoleContext& context, int count) {
  RectMeshGroups master;
  RegionMeshLists lists;
  if (!loadRegionMeshes(context, master, lists)) failed("loadRegionMeshes failed");
  armChanges(context, master, lists.collectionCount, 10);  // warm-up
  const std::vector<double> times = armChanges(context, master, lists.collectionCount, count);
  std::printf(
      "  (c) arm position change at %4.1f M quads (copy + applyPartTransforms, %d changes): "
      "median %.3f ms, max %.3f ms\n",
      region.quads() / 1e6, count, median(times) * 1e3, largest(times) * 1e3);
  std::printf("headline\tarm position change, %.0f M quads (median)\t%.3f\tms\t<=\t1\n",
              region.quads() / 1e6, median(times) * 1e3);
}

// The system's load average, when it can be read: the figures of a shared
// machine depend on it.
std::string loadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string one;
  std::string five;
  if (!(in >> one >> five)) return "unknown";
  return one + " (1 min), " + five + " (5 min)";
}

}  // namespace

int main(int argc, char** argv) {
  // An optional argument gives the number of timed runs of (a) and (b).
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  std::printf("Region loading and placing (live region test), one core; load average %s\n",
              loadAverage().c_str());
  ConsoleContext context{};
  context.print = discardText;
  {
    const RegionOnDisk large(1000, 500);  // 20 × 500 k = 10 M quads
    context.partSettingsFile = large.settingsFile();
    std::printf(
        "\n%.1f M quads in %d files, %d collections: %.0f MB of .quads, settings file "
        "%zu bytes.\nFiles read from the OS page cache (one warm-up pass first); "
        "medians of %d runs.\n",
        large.quads() / 1e6, kFiles, kCollections, large.bytes() / 1e6, large.settingsBytes(),
        runs);
    loadFigures(large, context, runs, Memory::Fresh);
    loadFigures(large, context, runs, Memory::Reused);
    std::printf("  search-structure builds alone (vertices in memory): %.1f ms\n",
                searchBuilds(large, runs) * 1e3);
    std::printf("\nArm position changes:\n");
    armChangeFigures(large, context, 200);
    armChangeBreakdown(context);
  }
  {
    const RegionOnDisk small(250, 200);  // 20 × 50 k = 1 M quads
    context.partSettingsFile = small.settingsFile();
    armChangeFigures(small, context, 200);
  }
  return 0;
}
