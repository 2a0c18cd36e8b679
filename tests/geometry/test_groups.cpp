// Mesh groups: offsets, flips, per-collection placement, copies.
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <string>

#include "mesh_helpers.h"
#include "test_support.h"

namespace {

using namespace geometrytest;
using Offset = Zorv::Geometry::TwoDimensional::Vector<int>;
using TwoD = Zorv::Geometry::TwoDimensional::Vector<double>;
constexpr double kPi = Utility::pi;

AffineMap placement(const Vector& angles, const Vector& translation) {
  LinearMap r;
  r.setRotation(0, 1, 2, angles);
  AffineMap m;
  m.setLinearMap(r);
  m.setTranslation(translation);
  return m;
}

// Two collections: collection 0 holds a wavy grid and a plane, collection 1
// a second grid and a cylinder arc.
class MeshGroupsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    meshes_ = {wavyGrid(30, 25, 4), RectMesh(), wavyGrid(20, 28, 8), RectMesh()};
    ASSERT_TRUE(meshes_[1].setAsPlane(TwoD(30, 20), 0.5, true, 500));
    ASSERT_TRUE(meshes_[3].setAsCylinderArc(50, kPi, 100, 2, 500));
    const char* names[] = {"Wavy.quads", "Flat.QUADS", "Other.quads", "Arc.quads"};
    for (int i = 0; i < 4; ++i) {
      paths_.push_back(dir_.path() + "\\" + names[i]);
      meshes_[i].save(paths_.back());
    }
    offsets_ = {{Offset(0, 0), Offset(100, 7)}, {Offset(-5, 2000), Offset(3, 3)}};
    groups_.load({{paths_[0], paths_[1]}, {paths_[2], paths_[3]}}, offsets_);
  }

  testsupport::TempDir dir_;
  std::vector<RectMesh> meshes_;
  std::vector<std::string> paths_;
  std::vector<std::vector<Offset>> offsets_;
  RectMeshGroups groups_;
};

TEST_F(MeshGroupsTest, AgreesWithBruteForceWithFlipsOffsetsAndPlacements) {
  const std::vector<std::vector<bool>> flipU = {{true, false}, {false, true}};
  const std::vector<std::vector<bool>> flipV = {{false, true}, {true, true}};
  const std::vector<std::vector<bool>> flipN = {{false, true}, {true, false}};
  groups_.setDoFlipNormals(flipN);
  groups_.setDoFlipAxes(flipU, flipV);
  const std::vector<Point> origins = {Point(10, 5, 0), Point(-3, 4, 20)};
  const std::vector<AffineMap> maps = {placement(Vector(0.3, -0.2, 1.1), Vector(5, -40, 12)),
                                       placement(Vector(-1.2, 0.4, 0.1), Vector(-60, 10, -5))};
  groups_.transform(origins, maps);

  std::vector<AffineMap> fulls;  // P ↦ O + M(P − O) as one affine map
  for (int c = 0; c < 2; ++c) {
    const LinearMap& m = maps[c].getLinearMap();
    fulls.emplace_back(m, Vector(origins[c]) - m(Vector(origins[c])) + maps[c].getTranslation());
  }
  std::mt19937_64 rng(21);
  std::uniform_real_distribution<double> coord(-120, 120), unit(-1, 1);
  int hits = 0;
  int hitsPerFile[4] = {0, 0, 0, 0};
  for (int i = 0; i < 2500; ++i) {
    const bool both = i % 5 == 4;
    const Point origin(coord(rng), coord(rng), coord(rng));
    Vector direction(unit(rng), unit(rng), unit(rng));
    if (i % 2) {
      // Aimed near a vertex of one of the meshes, as placed.
      const int f = (i / 2) % 4;
      const RectMesh& mesh = meshes_[f];
      std::uniform_int_distribution<unsigned int> pu(0, mesh.getExtents().getdU());
      std::uniform_int_distribution<unsigned int> pv(0, mesh.getExtents().getdV());
      const Point target = fulls[f / 2](mesh.getVertex(pu(rng), pv(rng))) +
                           Vector(unit(rng), unit(rng), unit(rng)) * 0.5;
      direction = target - origin;
    }
    direction *= 1 + i % 3;
    if (direction.lSqr() == 0.0) continue;
    const QuadIndicesIntersectionStatus status =
        groups_.getIntersectionStatus(origin, direction, both);

    // Reference: the ray taken into each collection's frame, every quad tested.
    const Vector d = direction.getNormalised();
    bool found = false;
    double bestT = 0;
    int bestC = -1, bestK = -1;
    RectMesh::Hit best;
    for (int c = 0; c < 2; ++c) {
      AffineMap inverse;
      const LinearMap& m = maps[c].getLinearMap();
      const AffineMap full(m,
                           Vector(origins[c]) - m(Vector(origins[c])) + maps[c].getTranslation());
      ASSERT_TRUE(full.getInverse(inverse));
      for (int k = 0; k < 2; ++k) {
        RectMesh::Hit hit;
        if (!meshes_[2 * c + k].intersectBruteForce(inverse(origin), inverse.getLinearMap()(d),
                                                    both, hit)) {
          continue;
        }
        const double key = both ? std::fabs(hit.t) : hit.t;
        if (!found || key < (both ? std::fabs(bestT) : bestT)) {
          found = true;
          bestT = hit.t;
          best = hit;
          bestC = c;
          bestK = k;
        }
      }
    }
    ASSERT_EQ(status.getIsValid(), found) << "ray " << i;
    if (!found) continue;
    ++hits;
    ++hitsPerFile[2 * bestC + bestK];
    const RectMesh& mesh = meshes_[2 * bestC + bestK];
    const int u = flipU[bestC][bestK] ? mesh.getExtents().getdU() - 1 - best.u : best.u;
    const int v = flipV[bestC][bestK] ? mesh.getExtents().getdV() - 1 - best.v : best.v;
    EXPECT_EQ(status.getCollection(), bestC);
    EXPECT_EQ(status.getFileIndex(), bestK);
    EXPECT_EQ(status.getIndices().getU(), u + offsets_[bestC][bestK].getU()) << "ray " << i;
    EXPECT_EQ(status.getIndices().getV(), v + offsets_[bestC][bestK].getV()) << "ray " << i;
    EXPECT_NEAR(status.getIntersectionData().getDistanceToObject(), bestT, 1e-9) << "ray " << i;
    // The reported point lies on the ray at the reported distance.
    EXPECT_LT((status.getIntersectionData().getPoint() - (origin + d * bestT)).l(), 1e-9);
  }
  EXPECT_GT(hits, 800);
  for (int k = 0; k < 4; ++k) EXPECT_GT(hitsPerFile[k], 100) << "file " << k;
}

TEST_F(MeshGroupsTest, FileNamesAnglesAndNormalFlips) {
  // A ray beside every mesh misses.
  EXPECT_FALSE(
      groups_.getIntersectionStatus(Point(51.2, 3.6, 200), Vector(0, 0, -1), false).getIsValid());

  // Straight down onto the plane: its normal (+z) faces the probe, so the
  // ray meets it at 180° and the angle error is 0.
  QuadIndicesIntersectionStatus s;
  RectMeshGroups planeOnly;
  planeOnly.load({{paths_[1]}}, {{Offset(0, 0)}});
  s = planeOnly.getIntersectionStatus(Point(1.2, 3.6, 200), Vector(0, 0, -1), false);
  ASSERT_TRUE(s.getIsValid());
  EXPECT_EQ(s.getFileName(), "Flat");  // directory and ".QUADS" removed
  EXPECT_EQ(s.getIndices(), Offset(2, 7));
  EXPECT_NEAR(s.getIntersectionData().getDistanceToObject(), 200, 1e-12);
  EXPECT_NEAR(s.getIntersectionData().getAngleToObjectNormal(), kPi, 1e-12);
  EXPECT_NEAR(s.getIntersectionData().getAngleError(), 0.0, 1e-12);
  EXPECT_LT(s.getIntersectionData().getAngleError(), Utility::twopi / 4);

  planeOnly.setDoFlipNormals({{true}});
  s = planeOnly.getIntersectionStatus(Point(1.2, 3.6, 200), Vector(0, 0, -1), false);
  EXPECT_NEAR(s.getIntersectionData().getAngleToObjectNormal(), 0.0, 1e-12);
  EXPECT_GT(s.getIntersectionData().getAngleError(), Utility::twopi / 4);
  EXPECT_EQ(s.getIndices(), Offset(2, 7));  // normals only

  planeOnly.setDoFlipAxes({{true}}, {{false}});
  s = planeOnly.getIntersectionStatus(Point(1.2, 3.6, 200), Vector(0, 0, -1), false);
  EXPECT_EQ(s.getIndices(), Offset(59 - 2, 7));
  EXPECT_NEAR(s.getIntersectionData().getAngleToObjectNormal(), 0.0, 1e-12);  // unchanged

  // An oblique ray at 30° from the normal.
  planeOnly.setDoFlipNormals({{false}});
  s = planeOnly.getIntersectionStatus(Point(10, 10, 10), Vector(std::tan(kPi / 6), 0, -1), false);
  EXPECT_NEAR(180 - Utility::radToDeg(s.getIntersectionData().getAngleToObjectNormal()), 30, 1e-9);

  // Behind the origin only when both directions are searched.
  s = planeOnly.getIntersectionStatus(Point(1, 1, -5), Vector(0, 0, -1), false);
  EXPECT_FALSE(s.getIsValid());
  s = planeOnly.getIntersectionStatus(Point(1, 1, -5), Vector(0, 0, -1), true);
  ASSERT_TRUE(s.getIsValid());
  EXPECT_NEAR(s.getIntersectionData().getDistanceToObject(), -5, 1e-12);
}

TEST_F(MeshGroupsTest, QualityModeSmoothsTheNormal) {
  // Grid with one sharply lifted vertex: mode 1 averages the neighbours.
  std::vector<Point> vertices;
  for (unsigned int v = 0; v <= 4; ++v)
    for (unsigned int u = 0; u <= 4; ++u) vertices.emplace_back(u, v, 0.0);
  vertices[3 * 5 + 3].z = 3.0;
  RectMesh spike;
  ASSERT_TRUE(spike.setFromVertices(4, 4, vertices));
  const std::string path = dir_ / "spike.quads";
  spike.save(path);
  RectMeshGroups g;
  g.load({{path}}, {{Offset(0, 0)}});
  const Point origin(2.2, 2.2, 50);
  QuadIndicesIntersectionStatus::setIntersectionQualityMode(0);
  const double sharp = g.getIntersectionStatus(origin, Vector(0, 0, -1), false)
                           .getIntersectionData()
                           .getAngleError();
  QuadIndicesIntersectionStatus::setIntersectionQualityMode(1);
  EXPECT_EQ(QuadIndicesIntersectionStatus::getIntersectionQualityMode(), 1);
  const double smooth = g.getIntersectionStatus(origin, Vector(0, 0, -1), false)
                            .getIntersectionData()
                            .getAngleError();
  QuadIndicesIntersectionStatus::setIntersectionQualityMode(0);
  EXPECT_GT(sharp, 1.0);   // the lifted quad's own normal leans far over
  EXPECT_LT(smooth, 0.1);  // its neighbourhood is almost flat
}

TEST_F(MeshGroupsTest, CopiesShareMeshesAndPlacementsStayIndependent) {
  RectMeshGroups working = groups_;
  EXPECT_EQ(&working.getMesh(1, 0), &groups_.getMesh(1, 0));  // nothing copied
  const Point origin(1.2, 3.6, 200);
  const auto before = groups_.getIntersectionStatus(origin, Vector(0, 0, -1), false);
  working.transform({Point(), Point()}, {placement(Vector(), Vector(0, 0, 500)),
                                         placement(Vector(), Vector(0, 0, 500))});
  const auto moved = working.getIntersectionStatus(origin, Vector(0, 0, -1), false);
  const auto again = groups_.getIntersectionStatus(origin, Vector(0, 0, -1), false);
  ASSERT_TRUE(before.getIsValid());
  EXPECT_FALSE(moved.getIsValid());  // everything is now above the origin
  EXPECT_EQ(again.getIndices(), before.getIndices());
  EXPECT_EQ(again.getIntersectionData().getDistanceToObject(),
            before.getIntersectionData().getDistanceToObject());
  // Assigning the master back undoes the placement.
  working = groups_;
  EXPECT_TRUE(working.getIntersectionStatus(origin, Vector(0, 0, -1), false).getIsValid());
}

TEST_F(MeshGroupsTest, RefusesBadArgumentsAndKeepsItsContent) {
  EXPECT_THROW(groups_.load({{paths_[0]}}, {}), std::invalid_argument);
  EXPECT_THROW(groups_.load({{paths_[0], dir_ / "missing.quads"}}, {{Offset(), Offset()}}),
               QuadFileError);
  EXPECT_EQ(groups_.getCollectionCount(), 2);
  EXPECT_EQ(groups_.getFileCount(1), 2);
  EXPECT_THROW(groups_.transform({Point()}, {AffineMap()}), std::invalid_argument);
  LinearMap flat;
  flat(2, 2) = 0.0;
  EXPECT_THROW(groups_.transform({Point(), Point()}, {AffineMap(), AffineMap(flat, Vector())}),
               std::invalid_argument);
  EXPECT_THROW(groups_.getIntersectionStatus(Point(), Vector(), false), std::invalid_argument);
  EXPECT_THROW(groups_.getIntersectionStatus(Point(std::nan(""), 0, 0), Vector(0, 0, 1), false),
               std::invalid_argument);
  // Placement unchanged by the refused transforms.
  EXPECT_TRUE(
      groups_.getIntersectionStatus(Point(1.2, 3.6, 200), Vector(0, 0, -1), false).getIsValid());
  QuadIndicesIntersectionStatus none;
  EXPECT_FALSE(none.getIsValid());
}

}  // namespace
