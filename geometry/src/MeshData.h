// Internal representation of one quad mesh, shared (immutable) between every
// RectMesh and RectMeshGroups that refer to it.
#pragma once

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ZorvGeometry/QuadMesh.h"

namespace Zorv::Geometry::ThreeDimensional::QuadMesh::detail {

// A ray prepared for repeated tests: origin, direction, and the shear of
// the watertight triangle test (Woop, Benthin and Wald, 2013). kz is the
// dominant axis of the direction; every vertex is moved into a frame where
// the ray runs along kz from the origin, so the 2D edge functions of a shared
// edge are computed from the same two sheared vertices by every triangle that
// uses it, and are exact negatives of each other: no ray passes between them.
struct PreparedRay {
  double o[3];
  double d[3];
  double inv[3];
  bool zero[3];
  int kx, ky, kz;
  double sx, sy, sz;
  double tLo;  // smallest t searched (0, or −inf for both directions)
  bool both;   // rank hits by |t| instead of t

  PreparedRay(const Point& origin, const Vector& direction, bool bothDirections);
};

struct ShearedVertex {
  double x, y, z;
};

inline ShearedVertex shear(const PreparedRay& r, const double* v) {
  const double a = v[0] - r.o[0], b = v[1] - r.o[1], c = v[2] - r.o[2];
  const double p[3] = {a, b, c};
  return {p[r.kx] - r.sx * p[r.kz], p[r.ky] - r.sy * p[r.kz], r.sz * p[r.kz]};
}

// Edge function of the directed edge p → q: its exact negative for q → p.
inline double edgeFunction(const ShearedVertex& p, const ShearedVertex& q) {
  return q.x * p.y - q.y * p.x;
}

// Watertight, two-sided ray/triangle test on sheared vertices. Points on an
// edge or at a vertex count as inside. Returns the ray parameter through t.
inline bool triangleHit(const ShearedVertex& a, const ShearedVertex& b, const ShearedVertex& c,
                        double& t) {
  const double u = edgeFunction(b, c);
  const double v = edgeFunction(c, a);
  const double w = edgeFunction(a, b);
  if ((u < 0.0 || v < 0.0 || w < 0.0) && (u > 0.0 || v > 0.0 || w > 0.0)) return false;
  const double det = u + v + w;
  if (det == 0.0) return false;
  t = (u * a.z + v * b.z + w * c.z) / det;
  return true;
}

// Ordering of candidate hits: nearer first (by t, or by |t| when searching
// both directions); equal distances go to the smaller (v, u).
inline bool betterHit(const PreparedRay& r, double t, std::uint64_t key, double bestT,
                      std::uint64_t bestKey, bool haveBest) {
  if (!(t >= r.tLo)) return false;
  if (!haveBest) return true;
  const double a = r.both ? std::abs(t) : t, b = r.both ? std::abs(bestT) : bestT;
  return a < b || (a == b && key < bestKey);
}

// Both triangles of a quad (split along its v00–v11 diagonal); the better
// hit of the two.
inline bool quadHit(const PreparedRay& r, const ShearedVertex& v00, const ShearedVertex& v10,
                    const ShearedVertex& v11, const ShearedVertex& v01, double& t) {
  double t1 = 0.0, t2 = 0.0;
  const bool h1 = triangleHit(v00, v10, v11, t1) && t1 >= r.tLo;
  const bool h2 = triangleHit(v00, v11, v01, t2) && t2 >= r.tLo;
  if (!h1 && !h2) return false;
  t = h1 ? t1 : t2;
  if (h1 && h2 && (r.both ? std::abs(t2) < std::abs(t1) : t2 < t1)) t = t2;
  return true;
}

inline std::uint64_t quadKey(unsigned int u, unsigned int v) {
  return (static_cast<std::uint64_t>(v) << 32) | u;
}

// Bounding-box hierarchy over the implicit grid: level 0 holds one box per
// tile of kTile × kTile quads, each higher level one box per 2 × 2 boxes of
// the level below, up to a single root. Boxes are floats rounded outwards and
// padded, so they always contain their quads.
class GridSearch {
 public:
  static constexpr unsigned int kTile = 4;

  // The hierarchy of a grid whose vertices are all in memory.
  void build(const double* vertices, unsigned int uCount, unsigned int vCount);
  bool intersect(const double* vertices, const PreparedRay& ray, RectMesh::Hit& hit) const;
  std::size_t memoryBytes() const;

  // The same hierarchy gathered while the vertices arrive, row by row (a file
  // being read), so that each row is taken in while it is in the cache. The
  // boxes are those of build(), whatever the rows' grouping into calls.
  class Builder {
   public:
    Builder(unsigned int uCount, unsigned int vCount);
    // Takes in the vertex rows not yet taken below `rows` (at most
    // vCount + 1); `vertices` is the whole grid, filled that far.
    void addRows(const double* vertices, unsigned int rows);
    // Once all rows are in: the finished hierarchy.
    void finish(GridSearch& search);

   private:
    void buildTileRow(const double* firstRow, unsigned int rowCount, unsigned int tv);
    unsigned int uCount_, vCount_;
    unsigned int nu_, nv_;
    unsigned int tileRowsDone_ = 0;
    std::vector<double> lo_, hi_;  // per vertex coordinate: bounds over a tile row's rows
    std::vector<float> leaves_;    // the finished leaf boxes
  };

 private:
  struct Level {
    unsigned int nu = 0, nv = 0;
    std::vector<float> boxes;  // min x, y, z, max x, y, z per node, v-major
  };
  bool leafHit(const double* vertices, const PreparedRay& ray, unsigned int tu, unsigned int tv,
               RectMesh::Hit& best, bool& haveBest) const;
  unsigned int uCount_ = 0, vCount_ = 0;
  std::vector<Level> levels_;
};

struct MeshData {
  RectMesh::Kind kind = RectMesh::Kind::Empty;
  unsigned int uCount = 0, vCount = 0;
  double pitchSqr = 0.0, uPitchSqr = 0.0, vPitchSqr = 0.0;

  // Plane: vertex(u, v) = origin + u·uStep + v·vStep.
  Point origin;
  Vector uStep, vStep;

  // Cylinder arc: vertex(u, v) = (r cos θ, r sin θ, v·lengthStep),
  // θ = startAngle + u·angleStep.
  double radius = 0.0, startAngle = 0.0, angleStep = 0.0, lengthStep = 0.0;

  // Explicit grid: 3 doubles per vertex, v-major.
  std::unique_ptr<double[]> vertices;
  GridSearch search;

  const double* vertex(unsigned int u, unsigned int v) const {
    return vertices.get() + 3 * (static_cast<std::size_t>(v) * (uCount + 1) + u);
  }
  std::size_t vertexCount() const {
    return static_cast<std::size_t>(uCount + 1) * (static_cast<std::size_t>(vCount) + 1);
  }
};

// File input and output (QuadFile.cpp).
std::shared_ptr<MeshData> readQuadFile(const std::string& path);
void writeQuadFile(const std::string& path, const MeshData& mesh);
void readQuadFileHeader(const std::string& path, unsigned int& uCount, unsigned int& vCount,
                        double& pitchSqr, double& uPitchSqr, double& vPitchSqr);
// Mean squared edge lengths of an explicit grid.
void measureGridPitches(MeshData& mesh);

}  // namespace Zorv::Geometry::ThreeDimensional::QuadMesh::detail
