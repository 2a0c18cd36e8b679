// Times the settings-file accessors on a file shaped like a large part: 512
// "PartLocalToArmGlobal" sections (8 arm positions x 8 collections x 8 part
// positions) of nine keys and 100 "QuadFile" sections.
//
//   ini_benchmark create <file>        writes the settings file
//   ini_benchmark run <file> [seconds] times each operation on it and prints
//                                      one line per operation:
//                                      <operation> <calls> <microseconds per call>
//
// Every call goes to the file (no caching), so the figures are the cost of one
// profile call on a file of this size. Each operation runs until its time
// budget (default 1 s) is spent or its call limit is reached.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "IniFileSection.h"
#include "platform/paths.h"

namespace {

const char* const kTransformKeys[] = {"RotationAngleX",  "RotationAngleY",  "RotationAngleZ",
                                      "TranslationX",    "TranslationY",    "TranslationZ",
                                      "RotationOriginX", "RotationOriginY", "RotationOriginZ"};

std::vector<std::string> transformSections() {
  std::vector<std::string> names;
  for (int p = 1; p <= 8; ++p) {
    for (int c = 1; c <= 8; ++c) {
      for (int a = 1; a <= 8; ++a) {
        names.push_back("PartLocalToArmGlobal" + std::to_string(a) + std::to_string(c) +
                        std::to_string(p));
      }
    }
  }
  return names;
}

// A fixed pseudo-random sequence, the same on both systems.
struct Sequence {
  std::uint32_t state = 12345;
  std::uint32_t next(std::uint32_t bound) {
    state = state * 1103515245u + 12345u;
    return (state >> 8) % bound;
  }
};

int create(const std::string& file) {
  std::string text = "; Settings of a large part\r\n";
  for (int n = 1; n <= 100; ++n) {
    char buf[512];
    std::snprintf(buf, sizeof buf,
                  "[QuadFile%d]\r\nName=Surface%03d\r\nCollectionIndex=%d\r\nOffsetU=%d\r\n"
                  "OffsetV=%d\r\nFlipNormals=false\r\nFlipUAxis=true\r\nFlipVAxis=false\r\n"
                  "SizeU=250.0000000000000000\r\nSizeV=125.5000000000000000\r\n",
                  n, n, (n - 1) % 8 + 1, n * 3, n * 7);
    text += buf;
  }
  int i = 0;
  for (const std::string& section : transformSections()) {
    text += "[" + section + "]\r\n";
    for (const char* key : kTransformKeys) {
      char buf[128];
      std::snprintf(buf, sizeof buf, "%s=%4.16lf\r\n", key, (i++ % 1000) * 1.25 - 400.0);
      text += buf;
    }
  }
  std::FILE* f = platform::openFile(file, "wb");
  if (f == nullptr) {
    std::fprintf(stderr, "cannot write %s\n", file.c_str());
    return 1;
  }
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
  return 0;
}

struct Result {
  const char* name;
  long calls;
  double microseconds;
};

// Calls op(i) for i = 0, 1, ... until the budget is spent or limit calls ran.
template <class Op>
Result timeIt(const char* name, double budget, long limit, Op op) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  long calls = 0;
  double elapsed = 0;
  while (calls < limit) {
    op(calls++);
    if ((calls & 7) == 0 || calls == limit) {
      elapsed = std::chrono::duration<double>(Clock::now() - start).count();
      if (elapsed >= budget) break;
    }
  }
  elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  return {name, calls, elapsed * 1e6 / static_cast<double>(calls)};
}

int run(const std::string& file, double budget) {
  const std::vector<std::string> sections = transformSections();
  // Opened once, as the settings code keeps one object per section.
  std::vector<IniFileSection> objects;
  objects.reserve(sections.size());
  for (const std::string& name : sections) objects.emplace_back(file, name, false);
  if (!IniFileSection::sectionExists(file, sections.back())) {
    std::fprintf(stderr, "%s is not a benchmark settings file\n", file.c_str());
    return 1;
  }

  Sequence random;
  double sink = 0;
  std::vector<Result> results;
  results.push_back(timeIt("getDouble", budget, 100000, [&](long i) {
    sink += objects[random.next(512)].getDouble(kTransformKeys[i % 9]);
  }));
  results.push_back(timeIt("sectionExists", budget, 100000, [&](long i) {
    // Three of four present (transform or quad file), one absent.
    std::string name = i % 4 == 3   ? "PartLocalToArmGlobal9" + std::to_string(i % 100)
                       : i % 4 == 2 ? "QuadFile" + std::to_string(random.next(100) + 1)
                                    : sections[random.next(512)];
    sink += IniFileSection::sectionExists(file, name) ? 1 : 0;
  }));
  results.push_back(timeIt("keyExists", budget, 100000, [&](long i) {
    const char* key = i % 4 == 3 ? "ScaleX" : kTransformKeys[i % 9];
    sink += IniFileSection::keyExists(file, sections[random.next(512)], key) ? 1 : 0;
  }));
  results.push_back(timeIt("setDouble", budget, 20000, [&](long i) {
    objects[random.next(512)].setDouble(kTransformKeys[i % 9], 100.0 + static_cast<double>(i));
  }));

  for (const Result& r : results) std::printf("%s %ld %.2f\n", r.name, r.calls, r.microseconds);
  // For scripts/bench: each call reads the whole file afresh (as the profile
  // calls do); a calibration's nine reads and a section's write must stay
  // far below what a technician notices.
  std::printf("headline\tgetDouble, 512-section part file\t%.1f\tus\t<=\t250\n",
              results[0].microseconds);
  std::printf("headline\tsetDouble, 512-section part file\t%.0f\tus\t<=\t5000\n",
              results[3].microseconds);
  return sink == -1 ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 3 && std::strcmp(argv[1], "create") == 0) return create(argv[2]);
  if (argc >= 3 && std::strcmp(argv[1], "run") == 0) {
    double budget = argc >= 4 ? std::atof(argv[3]) : 1.0;
    try {
      return run(argv[2], budget > 0 ? budget : 1.0);
    } catch (IniFileSection::IniFileException* e) {
      std::fprintf(stderr, "settings failure %d: %s\n", static_cast<int>(e->getType()),
                   e->getMessage().c_str());
      delete e;
      return 1;
    }
  }
  std::fprintf(stderr, "usage: ini_benchmark create <file> | run <file> [seconds]\n");
  return 2;
}
