// Quad meshes: generation, intersection, watertightness, normals.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "mesh_helpers.h"

namespace {

using namespace geometrytest;
using TwoD = Zorv::Geometry::TwoDimensional::Vector<double>;
constexpr double kPi = Utility::pi;

TEST(RectMeshPlane, CountsAndPitches) {
  struct Case {
    double u, v, pitch;
    bool keepPitch;
    unsigned int du, dv;
    double uPitch, vPitch;
  };
  const Case cases[] = {
      {100, 50, 1, true, 100, 50, 1, 1},
      {100.5, 50, 1, true, 101, 50, 1, 1},                 // rounded up to cover
      {0.3 * 7, 10, 0.3, true, 7, 34, 0.3, 0.3},           // 7 quads despite 2.1/0.3 = 6.9999…
      {100.4, 50, 1, false, 100, 50, 1.004, 1},            // stretched to fit
      {0.05, 0.05, 8, true, 1, 1, 8, 8},                   // never fewer than one quad
      {4999, 4999, 0.25, true, 19996, 19996, 0.25, 0.25},  // 4e8 quads, analytic
  };
  for (const Case& c : cases) {
    RectMesh mesh;
    ASSERT_TRUE(mesh.setAsPlane(TwoD(c.u, c.v), c.pitch, c.keepPitch, 500)) << c.u;
    EXPECT_EQ(mesh.getExtents().getdU(), c.du) << c.u;
    EXPECT_EQ(mesh.getExtents().getdV(), c.dv) << c.u;
    const Point far = mesh.getVertex(c.du, c.dv);
    EXPECT_NEAR(far.x, c.du * c.uPitch, 1e-9);
    EXPECT_NEAR(far.y, c.dv * c.vPitch, 1e-9);
    EXPECT_EQ(mesh.getKind(), RectMesh::Kind::Plane);
    EXPECT_LT(mesh.getMemoryBytes(), 4096u);  // no per-quad storage
  }
}

TEST(RectMeshPlane, RefusesUnusableArgumentsAndKeepsTheMesh) {
  RectMesh mesh;
  ASSERT_TRUE(mesh.setAsPlane(TwoD(10, 20), 1, true, 500));
  const double nan = std::nan("");
  struct Case {
    double u, v, pitch, limit;
  };
  const Case cases[] = {{0, 20, 1, 500},       {-5, 20, 1, 500},  {10, -1, 1, 500},
                        {10, 20, 0, 500},      {10, 20, -1, 500}, {nan, 20, 1, 500},
                        {10, 20, nan, 500},    {10, 20, 1, 0},  // no quads allowed
                        {4999, 4999, 0.1, 500}};                // 2.5e9 quads, above the limit
  for (const Case& c : cases) {
    EXPECT_FALSE(mesh.setAsPlane(TwoD(c.u, c.v), c.pitch, true, c.limit)) << c.u << " " << c.pitch;
  }
  EXPECT_EQ(mesh.getExtents().getdU(), 10u);
  EXPECT_EQ(mesh.getExtents().getdV(), 20u);
}

TEST(RectMeshPlane, IntersectionIndicesAndBoundaries) {
  RectMesh mesh;
  ASSERT_TRUE(mesh.setAsPlane(TwoD(10, 5), 0.5, true, 500));  // 20 × 10 quads
  struct Case {
    Point origin;
    Vector direction;
    bool hit;
    unsigned int u, v;
    double t;
  };
  const Case cases[] = {
      {{1.2, 3.7, 10}, {0, 0, -1}, true, 2, 7, 10},
      {{1.2, 3.7, -4}, {0, 0, 2}, true, 2, 7, 2},    // from below, t in direction units
      {{0, 0, 1}, {0, 0, -1}, true, 0, 0, 1},        // corner
      {{10, 5, 1}, {0, 0, -1}, true, 19, 9, 1},      // far corner belongs to the last quad
      {{10.001, 2, 1}, {0, 0, -1}, false, 0, 0, 0},  // just outside
      {{1, 1, 1}, {1, 0, 0}, false, 0, 0, 0},        // parallel
      {{1, 1, 1}, {0, 0, 1}, false, 0, 0, 0},        // pointing away
      {{0, 0, 2}, {1, 1, -1}, true, 4, 4, 2},
  };
  for (const Case& c : cases) {
    RectMesh::Hit hit;
    ASSERT_EQ(mesh.intersect(c.origin, c.direction, false, hit), c.hit) << c.origin.x;
    if (!c.hit) continue;
    EXPECT_EQ(hit.u, c.u);
    EXPECT_EQ(hit.v, c.v);
    EXPECT_NEAR(hit.t, c.t, 1e-12);
  }
  // Both directions: the plane behind the origin is found with a negative t.
  RectMesh::Hit hit;
  ASSERT_TRUE(mesh.intersect(Point(1, 1, 1), Vector(0, 0, 1), true, hit));
  EXPECT_NEAR(hit.t, -1.0, 1e-15);
}

TEST(RectMeshCylinder, AgreesWithTheCylinderCalibrationPoints) {
  RectMesh mesh;
  ASSERT_TRUE(mesh.setAsCylinderArc(50.0, kPi, 1000.0, 1.0, 500));
  EXPECT_EQ(mesh.getKind(), RectMesh::Kind::CylinderArc);
  EXPECT_EQ(mesh.getExtents().getdU(), 157u);  // round(50π)
  EXPECT_EQ(mesh.getExtents().getdV(), 1000u);
  // The synthetic calibration points (50 cos θ, 50 sin θ, z) for θ = 0, π
  // at z = 0 and θ = π/2 at z = 1000 lie on the mesh.
  EXPECT_LT((mesh.getVertex(0, 0) - Point(50, 0, 0)).l(), 1e-12);
  EXPECT_LT((mesh.getVertex(157, 0) - Point(-50, 0, 0)).l(), 1e-12);
  const Point top(0, 50, 1000);
  RectMesh::Hit hit;
  ASSERT_TRUE(mesh.intersect(Point(0, 80, 1000), Vector(0, -1, 0), false, hit));
  EXPECT_NEAR(hit.t, 30.0, 1e-12);
  EXPECT_EQ(hit.u, 78u);  // θ = π/2 is the middle of quad 78 of 157
  EXPECT_EQ(hit.v, 999u);
  EXPECT_LT((mesh.getNormal(hit.u, hit.v, top, false) - Vector(0, 1, 0)).l(), 1e-12);

  // From the axis outwards: the inside of the arc, reached along the normal.
  ASSERT_TRUE(mesh.intersect(Point(0, 0, 500), Vector(-1, 1, 0), false, hit));
  EXPECT_NEAR(hit.t, 50.0 / std::sqrt(2.0), 1e-12);
  EXPECT_EQ(hit.u, static_cast<unsigned int>(std::floor(0.75 * 157)));
  // The lower half is not part of the arc.
  EXPECT_FALSE(mesh.intersect(Point(0, 0, 500), Vector(0, -1, 0), false, hit));
  // A ray across the whole cylinder meets the near side first.
  ASSERT_TRUE(mesh.intersect(Point(-100, 30, 10), Vector(1, 0, 0), false, hit));
  EXPECT_NEAR(hit.t, 100 - 40, 1e-12);
  EXPECT_FALSE(mesh.intersect(Point(0, 0, 1000.5), Vector(0, 1, 0), false, hit));  // above
}

TEST(RectMeshCylinder, RefusesUnusableArguments) {
  RectMesh mesh;
  EXPECT_FALSE(mesh.setAsCylinderArc(0.0, kPi, 1000, 1, 500));
  EXPECT_FALSE(mesh.setAsCylinderArc(50, 7.0, 1000, 1, 500));  // more than a full turn
  EXPECT_FALSE(mesh.setAsCylinderArc(50, kPi, -1, 1, 500));
  EXPECT_FALSE(mesh.setAsCylinderArc(50, kPi, 1000, 0, 500));
  EXPECT_FALSE(mesh.setAsCylinderArc(50, kPi, 1000, 1e-4, 500));  // 1.6e12 quads
  EXPECT_EQ(mesh.getKind(), RectMesh::Kind::Empty);
  ASSERT_TRUE(mesh.setAsCylinderArc(10, 2 * kPi, 5, 1, 500));  // full turn
  RectMesh::Hit hit;
  for (double a = -kPi; a < kPi; a += 0.01) {
    ASSERT_TRUE(mesh.intersect(Point(0, 0, 2), Vector(std::cos(a), std::sin(a), 0), false, hit))
        << a;
  }
}

TEST(RectMeshGrid, RefusesInconsistentVertices) {
  RectMesh mesh;
  EXPECT_FALSE(mesh.setFromVertices(2, 2, std::vector<Point>(8)));
  EXPECT_FALSE(mesh.setFromVertices(0, 2, std::vector<Point>(3)));
  std::vector<Point> bad(9);
  bad[4].z = std::nan("");
  EXPECT_FALSE(mesh.setFromVertices(2, 2, bad));
  EXPECT_EQ(mesh.getKind(), RectMesh::Kind::Empty);
  RectMesh::Hit hit;
  EXPECT_FALSE(mesh.intersect(Point(0, 0, 1), Vector(0, 0, -1), false, hit));
}

TEST(RectMeshGrid, AgreesWithBruteForceOnRandomRays) {
  const RectMesh mesh = wavyGrid(45, 35, 3);
  std::mt19937_64 rng(5);
  std::uniform_real_distribution<double> x(-5, 50), y(-5, 40), z(-20, 20), unit(-1, 1);
  int hits = 0;
  for (int i = 0; i < 2500; ++i) {
    const bool both = i % 4 == 3;
    const Point origin(x(rng), y(rng), i % 2 ? z(rng) * 3 : z(rng) * 0.2);
    Vector direction =
        i % 3 == 0 ? Vector(unit(rng), unit(rng), unit(rng)) : Point(x(rng), y(rng), 0.0) - origin;
    if (i % 7 == 0) direction = Vector(0, 0, origin.z > 0 ? -1 : 1);  // axis-aligned
    RectMesh::Hit fast, slow;
    const bool a = mesh.intersect(origin, direction, both, fast);
    const bool b = mesh.intersectBruteForce(origin, direction, both, slow);
    ASSERT_EQ(a, b) << "ray " << i;
    if (!a) continue;
    ++hits;
    EXPECT_EQ(fast.u, slow.u) << "ray " << i;
    EXPECT_EQ(fast.v, slow.v) << "ray " << i;
    EXPECT_NEAR(fast.t * direction.l(), slow.t * direction.l(), 1e-9) << "ray " << i;
  }
  EXPECT_GT(hits, 800);
}

// Far from the origin the depths of a quad's corners differ by less than their
// rounding, so that a hit's t may round a little below the entry of the box
// that holds it; the search must still find the nearest hit, and among hits
// at the same t the one of the smallest (v, u), as the brute force does. The
// grid folds back over itself at u = 4, so each ray meets two tiles.
TEST(RectMeshGrid, AgreesWithBruteForceForRaysFromFarAway) {
  const double distances[] = {1e6, 1e17, 1e18, 8e21, 1e25, 8.6e32, 4e33};
  std::mt19937_64 rng(3);
  std::uniform_real_distribution<double> depth(-1, 9), jitter(-0.3, 0.3), across(0.5, 3.5),
      slope(-0.1, 0.1);
  for (const double distance : distances) {
    SCOPED_TRACE(distance);
    int disagreements = 0;
    for (int grid = 0; grid < 20; ++grid) {
      std::vector<Point> vertices;
      for (int v = 0; v <= 1; ++v)
        for (int u = 0; u <= 8; ++u)
          vertices.emplace_back((u <= 4 ? u : 8 - u) + jitter(rng), v + 0.2 * jitter(rng),
                                depth(rng));
      RectMesh mesh;
      ASSERT_TRUE(mesh.setFromVertices(8, 1, vertices));
      for (int i = 0; i < 20; ++i) {
        const bool both = i % 2 == 1;
        // Along the axis, and aslant: then the boxes' passages are shorter
        // than the rounding of their ends.
        const Vector direction = i % 4 < 2 ? Vector(0, 0, 1) : Vector(slope(rng), slope(rng), 1);
        const Point origin = Point(across(rng), 0.5, 0.0) - direction * distance;
        RectMesh::Hit fast, slow;
        const bool a = mesh.intersect(origin, direction, both, fast);
        const bool b = mesh.intersectBruteForce(origin, direction, both, slow);
        if (a != b || (a && (fast.t != slow.t || fast.u != slow.u || fast.v != slow.v))) {
          ++disagreements;
        }
      }
    }
    EXPECT_EQ(disagreements, 0);
  }
}

#ifdef NDEBUG
constexpr int kWatertightRays = 1000000;
#else
constexpr int kWatertightRays = 100000;  // debug and sanitizer builds
#endif

TEST(RectMeshGrid, WatertightAtSharedVerticesAndEdges) {
  const unsigned int n = 120;
  // Slopes stay below 45°, and rays on the wavy grid come within 30° of
  // the vertical: they cross it transversally, never at a silhouette, where
  // a grazing ray may rightly pass by.
  const RectMesh wavy = wavyGrid(n, n, 11, 1.0);
  const RectMesh flat = flatIntegerGrid(n, n);
  std::mt19937_64 rng(17);
  std::uniform_int_distribution<unsigned int> inner(1, n - 1);
  std::uniform_real_distribution<double> unit(-1, 1), frac(0, 1), dist(0.5, 200);
  int misses = 0;
  for (int i = 0; i < kWatertightRays; ++i) {
    const RectMesh& mesh = (i % 4 == 0) ? flat : wavy;
    const unsigned int u = inner(rng), v = inner(rng);
    const Point a = mesh.getVertex(u, v);
    Point target = a;
    switch (i % 5) {
      case 1:  // along a u edge
        target = a + (mesh.getVertex(u + 1, v) - a) * frac(rng);
        break;
      case 2:  // along a v edge
        target = a + (mesh.getVertex(u, v + 1) - a) * frac(rng);
        break;
      case 3:  // along the quad's diagonal, shared by its two triangles
        target = a + (mesh.getVertex(u + 1, v + 1) - a) * frac(rng);
        break;
      case 4:  // edge midpoint
        target = a + (mesh.getVertex(u - 1, v) - a) * 0.5;
        break;
      default:
        break;
    }
    Vector from = (&mesh == &flat) ? Vector(unit(rng), unit(rng), unit(rng))
                                   : Vector(0.4 * unit(rng), 0.4 * unit(rng), i % 2 ? 1 : -1);
    if (i % 8 == 0) from = Vector(0, 0, 1);  // straight down onto vertices and edges
    if (i % 16 == 8) from = Vector(1, 0, 1);
    if (std::fabs(from.z) < 1e-3) from.z = 1.0;  // not in the plane of the flat grid
    const Point origin = target + from.getNormalised() * dist(rng);
    RectMesh::Hit hit;
    if (!mesh.intersect(origin, target - origin, false, hit) || hit.t > 1.0 + 1e-9) ++misses;
  }
  EXPECT_EQ(misses, 0);
}

TEST(RectMeshGrid, NormalsFollowUThenVAndSmoothInQualityMode) {
  // Flat grid in z = 0 with one quad's far corner lifted sharply.
  std::vector<Point> vertices;
  for (unsigned int v = 0; v <= 4; ++v)
    for (unsigned int u = 0; u <= 4; ++u) vertices.emplace_back(u, v, 0.0);
  vertices[3 * 5 + 3].z = 3.0;  // vertex (3, 3): corner of quad (2, 2)
  RectMesh mesh;
  ASSERT_TRUE(mesh.setFromVertices(4, 4, vertices));
  EXPECT_LT((mesh.getNormal(0, 0, Point(), false) - Vector(0, 0, 1)).l(), 1e-15);
  const Vector own = mesh.getNormal(2, 2, Point(), false);
  const Vector smooth = mesh.getNormal(2, 2, Point(), true);
  EXPECT_NEAR(own.l(), 1.0, 1e-15);
  EXPECT_NEAR(smooth.l(), 1.0, 1e-15);
  EXPECT_GT(smooth.z, own.z);  // the neighbours pull it back towards +z
}

}  // namespace
