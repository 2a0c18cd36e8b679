// Writes the seed corpora of the fuzz targets (tests/fuzz/corpus/<target>/):
//   fuzz_seed_maker <corpus directory>
// The committed seeds are its output; run it again after changing an input
// layout. Quad files come from RectMesh::save, so they are valid by
// construction.
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "ZorvGeometry/QuadMesh.h"

namespace {

using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh;
namespace TwoDimensional = Zorv::Geometry::TwoDimensional;

std::filesystem::path g_root;

// A literal's bytes, NULs included.
template <std::size_t N>
std::string literal(const char (&text)[N]) {
  return std::string(text, N - 1);
}

void seed(const std::string& target, const std::string& name, const std::string& bytes) {
  const std::filesystem::path dir = g_root / target;
  std::filesystem::create_directories(dir);
  fuzz::writeFile((dir / name).string(), bytes);
}

// ---- profile: the file as a FuzzedDataProvider string, then operations ----

// The file's bytes in FuzzedDataProvider's random-length string form,
// ended by a backslash and one more byte.
std::string providerString(const std::string& bytes) {
  std::string out;
  for (char c : bytes) {
    out += c;
    if (c == '\\') out += '\\';
  }
  return out + "\\;";
}

// Operation bytes are taken from the end of the input: a fixed pseudo-random
// tail that makes reads and writes of every kind.
std::string operationTail(unsigned seed, std::size_t length) {
  std::string tail;
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::size_t i = 0; i < length; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    tail += static_cast<char>(x & 0xFF);
  }
  return tail;
}

std::string utf16(const std::string& ansi) {
  std::string out = "\xFF\xFE";
  for (char c : ansi) {
    out += c;
    out += '\0';
  }
  return out;
}

void profileSeeds() {
  const std::string files[] = {
      "[Main]\r\nName=Value\r\nCount=12\r\n; comment\r\n\r\n[Paths]\r\n"
      "Data=C:\\Data\\Parts\r\nQuoted=\"  spaced  \"\r\n",
      "[S]\nk=1\nk=2\nbare line\n[s]\nk=3\n[T]\n=empty key\n",
      "preamble=1\r[ A ]x\r  key  =  v  \r;c\r[B\r",
      utf16("[U]\r\nk=\xE9\r\n[V]\r\nn=-7\r\n"),
      "\xEF\xBB\xBF[S]\r\nk=v\r\n[T]\r\nx=1",
      "",
      literal("[a\0b]\r\nk=v\r\n[c]\r\n"),
  };
  unsigned n = 0;
  for (const std::string& file : files) {
    ++n;
    seed("profile", "seed-" + std::to_string(n), providerString(file) + operationTail(n, 48));
  }
}

// ---- quads: a flags byte, then a file ------------------------------------------

std::string savedMesh(const RectMesh& mesh) {
  const std::string path = fuzz::scratchDirectory() + "/seed.quads";
  mesh.save(path);
  return *fuzz::readFile(path);
}

void quadsSeeds() {
  enum : char { kChecksum = 1, kSize = 2, kRays = 4 };
  RectMesh wavy;
  std::vector<Point> vertices;
  for (int v = 0; v <= 1; ++v)
    for (int u = 0; u <= 2; ++u) vertices.emplace_back(u + 0.1 * v, v, std::sin(u + v));
  wavy.setFromVertices(2, 1, vertices);
  RectMesh flat;
  vertices.clear();
  for (int v = 0; v <= 3; ++v)
    for (int u = 0; u <= 3; ++u) vertices.emplace_back(u, v, 0.0);
  flat.setFromVertices(3, 3, vertices);
  // Large enough for several levels of the search structure.
  RectMesh large;
  vertices.clear();
  for (int v = 0; v <= 30; ++v)
    for (int u = 0; u <= 40; ++u)
      vertices.emplace_back(u + 0.1 * std::sin(v), v, 2.0 * std::sin(0.3 * u) * std::cos(0.2 * v));
  large.setFromVertices(40, 30, vertices);
  RectMesh plane;
  plane.setAsPlane(TwoDimensional::Vector<double>(6, 4), 2.0, true, 500);
  RectMesh cylinder;
  cylinder.setAsCylinderArc(50.0, 3.141592653589793, 100.0, 10.0, 500);

  const std::string grid = savedMesh(wavy);
  seed("quads", "grid", std::string(1, kRays) + grid);
  seed("quads", "flat-grid", std::string(1, kRays | kChecksum | kSize) + savedMesh(flat));
  seed("quads", "large-grid", std::string(1, kRays | kChecksum | kSize) + savedMesh(large));
  seed("quads", "plane", std::string(1, kRays) + savedMesh(plane));
  seed("quads", "cylinder", std::string(1, kRays) + savedMesh(cylinder));
  // The header alone, for getFileHeaderItems; and a cut payload that the
  // target's repairs make whole again.
  seed("quads", "header", std::string(1, 0) + grid.substr(0, 64));
  seed("quads", "cut-grid", std::string(1, kChecksum | kSize | kRays) + grid.substr(0, 64 + 40));
}

// ---- scenario: texts -------------------------------------------------------------

void scenarioSeeds() {
  seed("scenario", "scenario",
       "# An arm with everything\n"
       "serial P08-11-5150\nfirmware 4027\ndialog 9 11 11 0\nplayback timed 20\n"
       "record 400 0 200 0 90 0 x3\nrecord 1 2 3 4 5 6 green red\n"
       "move 470 60 230 25 75 10 5 green\nend loop\n");
  seed("scenario", "scenario-files",
       "log /tmp/commands.log\nlive /tmp/live.channel\nplayback deterministic 5\nfail open\n"
       "fail block\nrecord -1.5e2 0 0 0 0 0\r\n");
  seed("scenario", "description",
       "playback deterministic 5\nplacement 0 0 90 450 -100 20 origin 0 0 0\nball 6\n"
       "probe 20 120 0\nimage-green 1\nspacing 2\nnoise 0.01 42\nreference 600 0 0\n"
       "touch 0 0 0\ntouch 150 0 0\nrelocate 200 0 0\nshift 0 10 0\n"
       "aim 0 0 0 0 0 1 25 3\ngreen 2 x3\nred\nrest 4\nserial P08-12-0042\n");
  seed("scenario", "errors", "record 1 2\nmove 1 2 3 4 5 6 0\n");
  // Numbers near the largest double: a move between them, and a placement
  // that carries a touch beyond them.
  seed("scenario", "large-move", "record -1e308 0 0 0 0 0\nmove 1e308 0 0 0 0 0 2\n");
  seed("scenario", "large-placement", "placement 0 0 0 1e308 0 0\ntouch 1e308 0 0\n");
}

// ---- console: operations, then the input ------------------------------------------

std::string consoleSeed(const std::vector<std::pair<int, int>>& ops, const std::string& input) {
  std::string bytes(1, static_cast<char>(ops.size()));
  for (const auto& [op, param] : ops) {
    bytes += static_cast<char>(op);
    bytes += static_cast<char>(param);
  }
  return bytes + input;
}

void consoleSeeds() {
  // Operations: 0 unsigned, 1 int, 2 double, 3 character, 4 word, 5 choice
  // (parameter % 6 entries), 6 yes/no question, 7 key, 8 key test or wait,
  // 9 sync, 10 line, 11 end test.
  seed("console", "menu",
       consoleSeed({{0, 0}, {8, 1}, {5, 3}, {6, 1}, {7, 0}, {10, 0}, {4, 0}},
                   "13\nx16\n3\ny\nk rest of line\nlast\n"));
  seed("console", "keys-first",
       consoleSeed({{8, 0}, {7, 0}, {4, 0}, {2, 0}, {9, 0}, {7, 0}, {3, 0}},
                   "ab\r\n1.5e3 z\r\nq\n"));
  seed("console", "cut-off", consoleSeed({{1, 0}, {1, 0}, {1, 0}, {1, 0}, {11, 0}}, "12 -3 4"));
  seed("console", "garbage",
       consoleSeed({{0, 0},
                    {1, 0},
                    {2, 0},
                    {3, 0},
                    {4, 0},
                    {5, 5},
                    {6, 2},
                    {7, 0},
                    {8, 1},
                    {9, 0},
                    {10, 0},
                    {11, 0}},
                   literal("\0\xFF\r\r\n\n--1e999 z 0 99999999999\n")));
  seed("console", "choices", consoleSeed({{5, 0}, {5, 1}, {5, 2}, {5, 4}}, "0\n5\n-1\n2\n4\n"));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: fuzz_seed_maker <corpus directory>\n";
    return 2;
  }
  g_root = argv[1];
  profileSeeds();
  quadsSeeds();
  scenarioSeeds();
  consoleSeeds();
  return 0;
}
