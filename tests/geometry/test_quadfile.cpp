// The ".quads" file: round trips, header items, damaged files.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <functional>
#include <string>

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

}  // namespace
