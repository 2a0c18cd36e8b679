// The ".quads" file: round trips, header items, damaged files.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <vector>

#ifndef _WIN32
#include <sys/resource.h>

#include <csignal>
#endif

#include "allocation_probe.h"
#include "mesh_helpers.h"
#include "test_support.h"

namespace {

using namespace geometrytest;
using TwoD = Zorv::Geometry::TwoDimensional::Vector<double>;

// Every intersection of a set of rays, to compare two meshes.
std::vector<RectMesh::Hit> probe(const RectMesh& mesh) {
  std::vector<RectMesh::Hit> hits;
  std::mt19937 rng(3);
  std::uniform_real_distribution<double> x(-5, 60), z(-10, 10);
  for (int i = 0; i < 300; ++i) {
    RectMesh::Hit hit{-1.0, 0, 0};
    mesh.intersect(Point(x(rng), x(rng), 30 + z(rng)), Vector(z(rng) * 0.05, z(rng) * 0.05, -1),
                   false, hit);
    hits.push_back(hit);
  }
  return hits;
}

void expectSameHits(const RectMesh& a, const RectMesh& b) {
  const auto ha = probe(a), hb = probe(b);
  ASSERT_EQ(ha.size(), hb.size());
  for (std::size_t i = 0; i < ha.size(); ++i) {
    EXPECT_EQ(ha[i].t, hb[i].t);
    EXPECT_EQ(ha[i].u, hb[i].u);
    EXPECT_EQ(ha[i].v, hb[i].v);
  }
}

TEST(QuadFile, RoundTripOfEveryKindWithHeaderItems) {
  testsupport::TempDir dir;
  RectMesh plane, cylinder;
  ASSERT_TRUE(plane.setAsPlane(TwoD(40, 30), 2.0, true, 500));
  ASSERT_TRUE(cylinder.setAsCylinderArc(50.0, Utility::pi, 1000.0, 1.0, 500));
  const RectMesh grid = wavyGrid(45, 38, 9);
  struct Case {
    const char* name;
    const RectMesh* mesh;
    double pitchSqr, uPitchSqr, vPitchSqr;
  };
  const double arcPitch = 50.0 * Utility::pi / 157;
  const Case cases[] = {{"plane", &plane, 4.0, 4.0, 4.0},
                        {"cylinder", &cylinder, 1.0, arcPitch * arcPitch, 1.0},
                        {"grid", &grid, -1, -1, -1}};
  for (const Case& c : cases) {
    // Callers give backslash paths.
    const std::string path = dir.path() + "\\" + c.name + ".quads";
    c.mesh->save(path);
    unsigned int du = 0, dv = 0;
    double p = 0, pu = 0, pv = 0;
    RectMesh::getFileHeaderItems(path, du, dv, p, pu, pv);
    EXPECT_EQ(du, c.mesh->getExtents().getdU()) << c.name;
    EXPECT_EQ(dv, c.mesh->getExtents().getdV()) << c.name;
    if (c.pitchSqr >= 0) {
      EXPECT_NEAR(p, c.pitchSqr, 1e-12) << c.name;
      EXPECT_NEAR(pu, c.uPitchSqr, 1e-12) << c.name;
      EXPECT_NEAR(pv, c.vPitchSqr, 1e-12) << c.name;
    } else {
      // Jittered, wavy unit grid: mean squared edge lengths a little over
      // 1 mm², the nominal one between the two.
      EXPECT_GT(pu, 1.0);
      EXPECT_LT(pu, 2.0);
      EXPECT_GT(pv, 1.0);
      EXPECT_LT(pv, 2.0);
      EXPECT_GE(p, std::min(pu, pv));
      EXPECT_LE(p, std::max(pu, pv));
    }
    RectMesh loaded;
    loaded.load(path);
    EXPECT_EQ(loaded.getKind(), c.mesh->getKind()) << c.name;
    EXPECT_EQ(loaded.getExtents().getdU(), du);
    for (unsigned int v = 0; v <= dv; v += 7)
      for (unsigned int u = 0; u <= du; u += 5)
        EXPECT_EQ(loaded.getVertex(u, v), c.mesh->getVertex(u, v)) << c.name;
    expectSameHits(loaded, *c.mesh);
  }
}

TEST(QuadFile, HeaderLayoutIsLittleEndianVersionOne) {
  testsupport::TempDir dir;
  RectMesh plane;
  ASSERT_TRUE(plane.setAsPlane(TwoD(6, 4), 2.0, true, 500));
  const std::string path = dir / "p.quads";
  plane.save(path);
  const std::string bytes = testsupport::readFile(path);
  ASSERT_EQ(bytes.size(), 64u + 72u);
  EXPECT_EQ(bytes.substr(0, 8), std::string("ZQUADS\r\n"));
  EXPECT_EQ(bytes.substr(8, 4), std::string("\x01\x00\x00\x00", 4));   // version
  EXPECT_EQ(bytes.substr(12, 4), std::string("\x02\x00\x00\x00", 4));  // plane
  EXPECT_EQ(bytes.substr(16, 8), std::string("\x03\x00\x00\x00\x02\x00\x00\x00", 8));
  double pitchSqr;
  std::memcpy(&pitchSqr, bytes.data() + 24, 8);
  EXPECT_EQ(pitchSqr, 4.0);
}

TEST(QuadFile, DamagedFilesAreRefusedWithAClearMessage) {
  testsupport::TempDir dir;
  const RectMesh grid = wavyGrid(6, 5, 2);
  const std::string good = dir / "good.quads";
  grid.save(good);
  const std::string original = testsupport::readFile(good);
  auto patchU32 = [](std::string s, std::size_t at, unsigned int value) {
    for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(value >> (8 * i));
    return s;
  };
  struct Case {
    const char* name;
    std::string content;
    const char* message;  // part of what() that names the fault
    bool headerFault;     // getFileHeaderItems refuses it too
  };
  std::string flipped = original;
  flipped[64 + 100] ^= 0x10;
  const Case cases[] = {
      {"empty", "", "wrong signature", true},
      {"foreign", "[QuadFile]\r\nName=a.quads\r\n", "wrong signature", true},
      {"short header", original.substr(0, 40), "truncated inside its header", true},
      {"version 2", patchU32(original, 8, 2), "format version 2", true},
      {"unknown kind", patchU32(original, 12, 9), "unknown mesh kind", true},
      {"no quads", patchU32(original, 16, 0), "empty mesh", true},
      {"count mismatch", patchU32(original, 20, 6), "does not match", true},
      {"truncated data", original.substr(0, original.size() - 8), "truncated", false},
      {"trailing bytes", original + "xyz", "unexpected bytes", false},
      {"flipped bit", flipped, "checksum", false},
  };
  for (const Case& c : cases) {
    const std::string path = dir.path() + "\\" + c.name + ".quads";
    testsupport::writeFile(path, c.content);
    RectMesh mesh;
    try {
      mesh.load(path);
      ADD_FAILURE() << c.name << " was accepted";
    } catch (const QuadFileError& e) {
      const std::string what = e.what();
      EXPECT_NE(what.find(c.message), std::string::npos) << c.name << ": " << what;
      EXPECT_NE(what.find(c.name), std::string::npos) << "message names the file: " << what;
    }
    EXPECT_EQ(mesh.getKind(), RectMesh::Kind::Empty);
    unsigned int du, dv;
    double p, pu, pv;
    if (c.headerFault) {
      EXPECT_THROW(RectMesh::getFileHeaderItems(path, du, dv, p, pu, pv), QuadFileError) << c.name;
    } else {
      EXPECT_NO_THROW(RectMesh::getFileHeaderItems(path, du, dv, p, pu, pv)) << c.name;
    }
  }
  RectMesh mesh;
  EXPECT_THROW(mesh.load(dir / "missing.quads"), QuadFileError);
  unsigned int du, dv;
  double p, pu, pv;
  EXPECT_THROW(RectMesh::getFileHeaderItems(dir / "missing.quads", du, dv, p, pu, pv),
               QuadFileError);
}

TEST(QuadFile, SaveFailuresRaise) {
  testsupport::TempDir dir;
  RectMesh empty;
  EXPECT_THROW(empty.save(dir / "empty.quads"), QuadFileError);
  RectMesh plane;
  ASSERT_TRUE(plane.setAsPlane(TwoD(6, 4), 2.0, true, 500));
  EXPECT_THROW(plane.save(dir.path() + "\\no such dir\\p.quads"), QuadFileError);
}

void putLittleEndian(std::string& s, std::size_t at, std::uint64_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) s[at + i] = static_cast<char>(value >> (8 * i));
}

// A header that claims a huge mesh must be refused from the file's real size,
// before the loader asks for memory of the claimed size, however the path
// names the file: other letter case, trailing dots, another case of a
// directory on the way (all find the same file, as on Windows).
TEST(QuadFile, AHeaderClaimingHugeCountsIsRefusedBeforeAnyLargeAllocation) {
  testsupport::TempDir dir;
  testsupport::makeDirectories(dir / "Meshes");
  const std::string good = dir / "Meshes/huge.quads";
  wavyGrid(4, 3, 5).save(good);
  std::string bytes = testsupport::readFile(good);
  // 40000 × 40000 quads (within the quad limit): 38 GB of vertices.
  const std::uint64_t claimed = 40001ull * 40001ull * 24ull;
  putLittleEndian(bytes, 16, 40000, 4);
  putLittleEndian(bytes, 20, 40000, 4);
  putLittleEndian(bytes, 48, claimed, 8);
  testsupport::writeFile(good, bytes);

  const std::string names[] = {"Meshes\\huge.quads",  "Meshes\\HUGE.QUADS", "Meshes\\Huge.Quads",
                               "Meshes\\huge.quads.", "MESHES\\huge.quads", "meshes/HUGE.quads"};
  for (const std::string& name : names) {
    const std::string path = dir.path() + "\\" + name;
    RectMesh mesh;
    mesh.setAsPlane(TwoD(4, 4), 1.0, true, 500);
    std::string what;
    {
      AllocationProbe probe(std::size_t{64} << 20);
      try {
        mesh.load(path);
      } catch (const QuadFileError& e) {
        what = e.what();
      }
      EXPECT_LT(probe.largestRequest(), std::size_t{1} << 20) << name;
      EXPECT_EQ(probe.refusedRequests(), 0u) << name;
    }
    EXPECT_NE(what.find("truncated"), std::string::npos) << name << ": " << what;
    EXPECT_NE(what.find(name), std::string::npos) << "message names the file: " << what;
    // The mesh held before the failed load is kept.
    EXPECT_EQ(mesh.getKind(), RectMesh::Kind::Plane) << name;
    // The header alone is readable and reports what it claims.
    unsigned int du = 0, dv = 0;
    double p, pu, pv;
    ASSERT_NO_THROW(RectMesh::getFileHeaderItems(path, du, dv, p, pu, pv));
    EXPECT_EQ(du, 40000u);
    EXPECT_EQ(dv, 40000u);
  }
}

// The payload checksum as the format describes it: four lanes of
// xxHash64-style rounds over the little-endian words (the words beyond the
// last group of four all go to the first lane), merged, then mixed with the
// word count.
std::uint64_t documentedChecksum(const std::vector<double>& words) {
  constexpr std::uint64_t p1 = 0x9E3779B185EBCA87ull, p2 = 0xC2B2AE3D27D4EB4Full,
                          p3 = 0x165667B19E3779F9ull;
  std::uint64_t lane[4] = {p1 + p2, p2, 0, 0 - p1};
  auto round = [&](std::uint64_t acc, double w) {
    return std::rotl(acc + std::bit_cast<std::uint64_t>(w) * p2, 31) * p1;
  };
  std::size_t i = 0;
  for (; i + 4 <= words.size(); i += 4)
    for (int k = 0; k < 4; ++k) lane[k] = round(lane[k], words[i + k]);
  for (; i < words.size(); ++i) lane[0] = round(lane[0], words[i]);
  std::uint64_t h = std::rotl(lane[0], 1) + std::rotl(lane[1], 7) + std::rotl(lane[2], 12) +
                    std::rotl(lane[3], 18);
  h ^= words.size() * p1;
  h ^= h >> 33;
  h *= p2;
  h ^= h >> 29;
  h *= p3;
  h ^= h >> 32;
  return h;
}

// A complete explicit-grid file of u × v quads written from the format's
// description, with the vertices given (x, y, z per vertex, v-major).
std::string gridFile(unsigned int u, unsigned int v, const std::vector<double>& vertices) {
  std::string s(64, '\0');
  std::memcpy(s.data(), "ZQUADS\r\n", 8);
  putLittleEndian(s, 8, 1, 4);
  putLittleEndian(s, 12, 1, 4);
  putLittleEndian(s, 16, u, 4);
  putLittleEndian(s, 20, v, 4);
  for (int k = 0; k < 3; ++k) putLittleEndian(s, 24 + 8 * k, std::bit_cast<std::uint64_t>(1.0), 8);
  putLittleEndian(s, 48, vertices.size() * 8, 8);
  putLittleEndian(s, 56, documentedChecksum(vertices), 8);
  for (double w : vertices) {
    std::string word(8, '\0');
    putLittleEndian(word, 0, std::bit_cast<std::uint64_t>(w), 8);
    s += word;
  }
  return s;
}

TEST(QuadFile, TheDocumentedChecksumMatchesTheWriter) {
  testsupport::TempDir dir;
  const RectMesh grid = wavyGrid(3, 2, 4);
  grid.save(dir / "g.quads");
  std::vector<double> vertices;
  for (unsigned int v = 0; v <= 2; ++v)
    for (unsigned int u = 0; u <= 3; ++u) {
      const Point p = grid.getVertex(u, v);
      vertices.insert(vertices.end(), {p.x, p.y, p.z});
    }
  // 36 words: nine groups of four; the builder's file differs from the
  // writer's only in the pitches.
  const std::string saved = testsupport::readFile(dir / "g.quads");
  const std::string built = gridFile(3, 2, vertices);
  ASSERT_EQ(saved.size(), built.size());
  EXPECT_EQ(saved.substr(0, 24), built.substr(0, 24));
  EXPECT_EQ(saved.substr(48), built.substr(48));
  // An odd count of words uses the first lane for the rest.
  vertices.resize(std::size_t{3} * 6);
  testsupport::writeFile(dir / "odd.quads", gridFile(2, 1, vertices));
  RectMesh odd;
  EXPECT_NO_THROW(odd.load(dir / "odd.quads"));
}

// Explicit grids are searched through float bounding boxes: coordinates
// whose magnitude reaches 2^127 (finite doubles beyond what the boxes can
// hold with their padding) are refused when the mesh is made and when a file
// is loaded. The largest accepted magnitudes still give a working search.
TEST(QuadFile, GridCoordinatesBeyondTheFloatRangeAreRefused) {
  testsupport::TempDir dir;
  const double limit = RectMesh::coordinateLimit;
  ASSERT_EQ(limit, std::ldexp(1.0, 127));
  ASSERT_LT(limit, static_cast<double>(std::numeric_limits<float>::max()));
  const double largest = std::nextafter(limit, 0.0);
  // One quad in z = 0 from (−a, −a) to (a, a), with one coordinate replaced.
  auto corners = [](double a) {
    return std::vector<double>{-a, -a, 0, a, -a, 0, -a, a, 0, a, a, 0};
  };
  struct Case {
    const char* name;
    std::size_t index;  // which word of the corners
    double value;
  };
  const Case refused[] = {
      {"x 1e39", 0, 1e39},
      {"y -1e39", 4, -1e39},
      {"z 2^127", 11, limit},
      {"z -2^127", 2, -limit},
      {"x 1e300", 3, 1e300},
      {"largest double", 9, std::numeric_limits<double>::max()},
      {"just past float max", 1, std::nextafter(double(std::numeric_limits<float>::max()), 1e300)},
  };
  for (const Case& c : refused) {
    std::vector<double> words = corners(1.0);
    words[c.index] = c.value;
    std::vector<Point> points;
    for (std::size_t i = 0; i < words.size(); i += 3)
      points.emplace_back(words[i], words[i + 1], words[i + 2]);
    RectMesh made;
    EXPECT_FALSE(made.setFromVertices(1, 1, points)) << c.name;
    EXPECT_EQ(made.getKind(), RectMesh::Kind::Empty) << c.name;

    const std::string path = dir.path() + "\\" + c.name + ".quads";
    testsupport::writeFile(path, gridFile(1, 1, words));
    RectMesh loaded;
    try {
      loaded.load(path);
      ADD_FAILURE() << c.name << " was loaded";
    } catch (const QuadFileError& e) {
      EXPECT_NE(std::string(e.what()).find("beyond the supported range"), std::string::npos)
          << e.what();
    }
    EXPECT_EQ(loaded.getKind(), RectMesh::Kind::Empty) << c.name;
  }

  // The largest magnitude below the limit: made, saved, loaded and searched.
  for (double a : {largest, 1e38, 3.0e37}) {
    const std::vector<double> words = corners(a);
    std::vector<Point> points;
    for (std::size_t i = 0; i < words.size(); i += 3)
      points.emplace_back(words[i], words[i + 1], words[i + 2]);
    RectMesh made;
    ASSERT_TRUE(made.setFromVertices(1, 1, points)) << a;
    testsupport::writeFile(dir / "edge.quads", gridFile(1, 1, words));
    RectMesh loaded;
    ASSERT_NO_THROW(loaded.load(dir / "edge.quads")) << a;
    for (const RectMesh* mesh : {&made, &loaded}) {
      for (const Point& from :
           {Point(0, 0, 2), Point(a / 2, -a / 3, 2), Point(-a * 0.99, a * 0.99, 2)}) {
        RectMesh::Hit hit{-1, 9, 9};
        ASSERT_TRUE(mesh->intersect(from, Vector(0, 0, -1), false, hit)) << a;
        EXPECT_EQ(hit.t, 2.0);
        EXPECT_EQ(hit.u, 0u);
        EXPECT_EQ(hit.v, 0u);
      }
      RectMesh::Hit miss{-1, 0, 0};
      EXPECT_FALSE(mesh->intersect(Point(0, 0, 2), Vector(0, 0, 1), false, miss));
    }
  }
}

// A loaded grid's search boxes are gathered block by block while its file
// is read. Grids whose last tiles are cut short at the right and at the top,
// whose rows straddle the read blocks and whose rows are longer than a block
// load every vertex exactly and find, for steep and for grazing rays, what
// the brute-force search finds.
TEST(QuadFile, LoadedGridsOfEveryShapeAgreeWithBruteForce) {
  testsupport::TempDir dir;
  struct Shape {
    unsigned int u, v;
  };
  const Shape shapes[] = {{1, 1}, {1, 7},   {7, 1},     {3, 4},    {4, 3},   {4, 4},
                          {5, 9}, {12, 13}, {101, 170}, {6000, 3}, {2, 3000}};
  for (const Shape& s : shapes) {
    SCOPED_TRACE(testing::Message() << s.u << " x " << s.v);
    const RectMesh made = wavyGrid(s.u, s.v, s.u + 7 * s.v);
    const std::string path = dir / "shape.quads";
    made.save(path);
    RectMesh loaded;
    ASSERT_NO_THROW(loaded.load(path));
    for (unsigned int v = 0; v <= s.v; ++v)
      for (unsigned int u = 0; u <= s.u; ++u)
        ASSERT_EQ(loaded.getVertex(u, v), made.getVertex(u, v)) << u << ", " << v;
    // Every quad of a small grid; of a large one, a sample with the quads
    // along its edges, where the tiles are cut short.
    const bool small = s.u * s.v <= 200;
    int rays = 0;
    for (unsigned int v = 0; v < s.v; ++v) {
      for (unsigned int u = 0; u < s.u; ++u) {
        const bool edge = u == 0 || v == 0 || u + 1 == s.u || v + 1 == s.v;
        if (!small && !(edge && (u + v) % 53 == 0) && (7 * u + 13 * v) % 211 != 0) continue;
        // The centre of the quad's first triangle: on the surface.
        const Point target =
            (loaded.getVertex(u, v) + loaded.getVertex(u + 1, v) + loaded.getVertex(u + 1, v + 1)) *
            (1.0 / 3.0);
        for (const Vector& direction : {Vector(0.1, 0.05, -1), Vector(1, 0.6, -0.25)}) {
          const Point origin = target - direction * 30.0;
          RectMesh::Hit fast{-1, 0, 0}, slow{-1, 0, 0};
          ASSERT_TRUE(loaded.intersectBruteForce(origin, direction, false, slow));
          ASSERT_TRUE(loaded.intersect(origin, direction, false, fast)) << u << ", " << v;
          EXPECT_EQ(fast.u, slow.u) << u << ", " << v;
          EXPECT_EQ(fast.v, slow.v) << u << ", " << v;
          EXPECT_NEAR(fast.t, slow.t, 1e-9) << u << ", " << v;
          ++rays;
        }
      }
    }
    if (small) {
      EXPECT_EQ(rays, static_cast<int>(2 * s.u * s.v));
    } else {
      EXPECT_GT(rays, 40);
    }
  }
}

// The checks of a file's values see every block: a value that is not finite
// or beyond the coordinate range, or a damaged bit, anywhere in a grid of
// several read blocks, refuses the file.
TEST(QuadFile, FaultsInAnyBlockOfALargeGridAreRefused) {
  testsupport::TempDir dir;
  const unsigned int nu = 200, nv = 90;  // 55 k words: four blocks
  std::vector<double> vertices;
  for (unsigned int v = 0; v <= nv; ++v)
    for (unsigned int u = 0; u <= nu; ++u) vertices.insert(vertices.end(), {1.0 * u, 1.0 * v, 0.5});
  const std::size_t last = vertices.size() - 1;
  struct Case {
    const char* name;
    std::size_t index;
    double value;
    const char* message;
  };
  const double inf = std::numeric_limits<double>::infinity();
  const Case cases[] = {
      {"nan first", 0, std::nan(""), "not finite numbers"},
      {"inf middle", 30000, inf, "not finite numbers"},
      {"minus inf last", last, -inf, "not finite numbers"},
      {"huge second block", 20000, 1e200, "beyond the supported range"},
      {"minus huge last", last - 1, -0x1p127, "beyond the supported range"},
  };
  for (const Case& c : cases) {
    std::vector<double> words = vertices;
    words[c.index] = c.value;
    const std::string path = dir.path() + "\\" + c.name + ".quads";
    testsupport::writeFile(path, gridFile(nu, nv, words));
    RectMesh mesh;
    try {
      mesh.load(path);
      ADD_FAILURE() << c.name << " was loaded";
    } catch (const QuadFileError& e) {
      EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
    }
    EXPECT_EQ(mesh.getKind(), RectMesh::Kind::Empty) << c.name;
  }
  // A flipped bit in the last block; the undamaged file loads.
  std::string file = gridFile(nu, nv, vertices);
  testsupport::writeFile(dir / "good.quads", file);
  RectMesh good;
  ASSERT_NO_THROW(good.load(dir / "good.quads"));
  RectMesh::Hit hit{-1, 0, 0};
  ASSERT_TRUE(good.intersect(Point(150.5, 80.5, 3), Vector(0, 0, -1), false, hit));
  EXPECT_EQ(hit.u, 150u);
  EXPECT_EQ(hit.v, 80u);
  EXPECT_EQ(hit.t, 2.5);
  file[file.size() - 100] ^= 0x04;
  testsupport::writeFile(dir / "flipped.quads", file);
  RectMesh flipped;
  try {
    flipped.load(dir / "flipped.quads");
    ADD_FAILURE() << "the flipped bit was not noticed";
  } catch (const QuadFileError& e) {
    EXPECT_NE(std::string(e.what()).find("checksum"), std::string::npos) << e.what();
  }
}

// The names in a directory, sorted.
std::vector<std::string> listing(const std::string& directory) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(directory)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A save writes a temporary beside the target and renames it over the target
// only when it is complete: whatever fails (nothing to write, a directory in
// the way, a read-only target, a failing write), the previous file stays as
// it was and nothing else is left in the directory.
TEST(QuadFile, AFailedSaveKeepsThePreviousFile) {
  testsupport::TempDir dir;
  RectMesh plane, other;
  ASSERT_TRUE(plane.setAsPlane(TwoD(6, 4), 2.0, true, 500));
  ASSERT_TRUE(other.setAsCylinderArc(20.0, 1.0, 30.0, 1.0, 500));
  const std::string target = dir / "part.quads";
  plane.save(target);
  const std::string original = testsupport::readFile(target);
  const std::vector<std::string> only = {"part.quads"};
  ASSERT_EQ(listing(dir.path()), only);

  // Nothing to write.
  EXPECT_THROW(RectMesh().save(target), QuadFileError);
  EXPECT_EQ(testsupport::readFile(target), original);
  EXPECT_EQ(listing(dir.path()), only);

  // A directory where the file should go stays a directory.
  testsupport::makeDirectories(dir / "folder.quads");
  EXPECT_THROW(other.save(dir / "folder.quads"), QuadFileError);
  EXPECT_TRUE(std::filesystem::is_directory(dir / "folder.quads"));
  EXPECT_TRUE(std::filesystem::is_empty(dir / "folder.quads"));
  std::filesystem::remove(dir / "folder.quads");
  EXPECT_EQ(listing(dir.path()), only);

  // A successful save through another spelling replaces the file that the
  // spelling finds; no second file appears.
  other.save(dir.path() + "\\PART.QUADS");
  EXPECT_EQ(listing(dir.path()), only);
  RectMesh back;
  back.load(target);
  EXPECT_EQ(back.getKind(), RectMesh::Kind::CylinderArc);
  plane.save(target);
  EXPECT_EQ(testsupport::readFile(target), original);
  EXPECT_EQ(listing(dir.path()), only);
}

TEST(QuadFile, ASaveOverAReadOnlyFileIsRefused) {
  if (testsupport::runningUnderWine()) {
    GTEST_SKIP() << "Wine's MoveFileEx replaces a read-only file; Windows refuses it";
  }
  testsupport::TempDir dir;
  RectMesh plane, other;
  ASSERT_TRUE(plane.setAsPlane(TwoD(6, 4), 2.0, true, 500));
  ASSERT_TRUE(other.setAsCylinderArc(20.0, 1.0, 30.0, 1.0, 500));
  const std::string target = dir / "part.quads";
  plane.save(target);
  const std::string original = testsupport::readFile(target);
  std::filesystem::permissions(target,
                               std::filesystem::perms::owner_write |
                                   std::filesystem::perms::group_write |
                                   std::filesystem::perms::others_write,
                               std::filesystem::perm_options::remove);
  for (const std::string& name : {std::string("part.quads"), std::string("PART.quads")}) {
    try {
      other.save(dir.path() + "\\" + name);
      ADD_FAILURE() << name << " was replaced";
    } catch (const QuadFileError& e) {
      EXPECT_NE(std::string(e.what()).find("read-only"), std::string::npos) << e.what();
    }
  }
  EXPECT_EQ(testsupport::readFile(target), original);
  EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"part.quads"});
  std::filesystem::permissions(target, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add);
  other.save(target);
  EXPECT_NE(testsupport::readFile(target), original);
}

TEST(QuadFile, AWriteThatFailsHalfwayKeepsThePreviousFile) {
#ifdef _WIN32
  GTEST_SKIP() << "the write failure is made with a file size limit (POSIX)";
#else
  testsupport::TempDir dir;
  RectMesh plane;
  ASSERT_TRUE(plane.setAsPlane(TwoD(6, 4), 2.0, true, 500));
  const std::string target = dir / "part.quads";
  plane.save(target);
  const std::string original = testsupport::readFile(target);
  const RectMesh big = wavyGrid(60, 60, 3);  // 89 kB

  // Writes beyond 16 kB fail (EFBIG) while the limit holds.
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  void (*previous)(int) = std::signal(SIGXFSZ, SIG_IGN);
  rlimit limited = saved;
  limited.rlim_cur = rlim_t{16} * 1024;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  std::string what;
  try {
    big.save(target);
  } catch (const QuadFileError& e) {
    what = e.what();
  }
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, previous);

  EXPECT_NE(what.find("could not be written"), std::string::npos) << what;
  EXPECT_EQ(testsupport::readFile(target), original);
  EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"part.quads"});
  // Without the limit the same save goes through.
  big.save(target);
  RectMesh back;
  back.load(target);
  EXPECT_EQ(back.getExtents().getdU(), 60u);
  EXPECT_EQ(listing(dir.path()), std::vector<std::string>{"part.quads"});
#endif
}

}  // namespace
