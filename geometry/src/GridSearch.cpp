// Ray search over explicit quad grids: a bounding-box hierarchy on the
// implicit (u, v) tiling, so no per-quad indices or pointers are stored.
#include <algorithm>
#include <cmath>
#include <limits>

#include "MeshData.h"

namespace Zorv::Geometry::ThreeDimensional::QuadMesh::detail {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// A float not above x.
float floatDown(double x) {
  float f = static_cast<float>(x);
  if (static_cast<double>(f) > x) f = std::nextafter(f, -std::numeric_limits<float>::infinity());
  return f;
}
// A float not below x.
float floatUp(double x) {
  float f = static_cast<float>(x);
  if (static_cast<double>(f) < x) f = std::nextafter(f, std::numeric_limits<float>::infinity());
  return f;
}

// Clips [t0, t1] to the ray's passage through the box; false when empty.
inline bool clipToBox(const float* b, const PreparedRay& r, double& t0, double& t1) {
  for (int k = 0; k < 3; ++k) {
    const double lo = b[k], hi = b[k + 3];
    if (r.zero[k]) {
      if (r.o[k] < lo || r.o[k] > hi) return false;
      continue;
    }
    double ta = (lo - r.o[k]) * r.inv[k];
    double tb = (hi - r.o[k]) * r.inv[k];
    if (ta > tb) std::swap(ta, tb);
    if (ta > t0) t0 = ta;
    if (tb < t1) t1 = tb;
    if (t0 > t1) return false;
  }
  return true;
}

// Distance rank of a box for the search order and for pruning: the nearest
// t of the box's passage (its smallest |t| when searching both ways).
inline bool boxRank(const float* b, const PreparedRay& r, double& rank) {
  double t0 = r.tLo, t1 = kInf;
  if (!clipToBox(b, r, t0, t1)) return false;
  if (!r.both) {
    rank = t0;
  } else {
    rank = (t0 <= 0.0 && t1 >= 0.0) ? 0.0 : std::min(std::abs(t0), std::abs(t1));
  }
  return true;
}

}  // namespace

PreparedRay::PreparedRay(const Point& origin, const Vector& direction, bool bothDirections) {
  o[0] = origin.x;
  o[1] = origin.y;
  o[2] = origin.z;
  d[0] = direction.x;
  d[1] = direction.y;
  d[2] = direction.z;
  kz = 0;
  for (int k = 1; k < 3; ++k)
    if (std::abs(d[k]) > std::abs(d[kz])) kz = k;
  kx = (kz + 1) % 3;
  ky = (kx + 1) % 3;
  sx = d[kx] / d[kz];
  sy = d[ky] / d[kz];
  sz = 1.0 / d[kz];
  for (int k = 0; k < 3; ++k) {
    zero[k] = std::abs(d[k]) < 1e-300;
    inv[k] = zero[k] ? 0.0 : 1.0 / d[k];
  }
  both = bothDirections;
  tLo = bothDirections ? -kInf : 0.0;
}

void GridSearch::build(const double* vertices, unsigned int uCount, unsigned int vCount) {
  uCount_ = uCount;
  vCount_ = vCount;
  levels_.clear();
  Level leaf;
  leaf.nu = (uCount + kTile - 1) / kTile;
  leaf.nv = (vCount + kTile - 1) / kTile;
  leaf.boxes.resize(static_cast<std::size_t>(leaf.nu) * leaf.nv * 6);
  const std::size_t rowStride = static_cast<std::size_t>(uCount) + 1;
  for (unsigned int tv = 0; tv < leaf.nv; ++tv) {
    const unsigned int v0 = tv * kTile, v1 = std::min(v0 + kTile, vCount);
    for (unsigned int tu = 0; tu < leaf.nu; ++tu) {
      const unsigned int u0 = tu * kTile, u1 = std::min(u0 + kTile, uCount);
      double lo[3] = {kInf, kInf, kInf}, hi[3] = {-kInf, -kInf, -kInf};
      for (unsigned int v = v0; v <= v1; ++v) {
        const double* p = vertices + 3 * (v * rowStride + u0);
        for (unsigned int u = u0; u <= u1; ++u, p += 3) {
          for (int k = 0; k < 3; ++k) {
            lo[k] = std::min(lo[k], p[k]);
            hi[k] = std::max(hi[k], p[k]);
          }
        }
      }
      double size = 0.0;
      for (int k = 0; k < 3; ++k)
        size = std::max({size, hi[k] - lo[k], std::abs(lo[k]), std::abs(hi[k])});
      // The padding covers the rounding of the ray/box arithmetic.
      const double pad = size * 1e-9 + 1e-12;
      float* b = &leaf.boxes[(static_cast<std::size_t>(tv) * leaf.nu + tu) * 6];
      for (int k = 0; k < 3; ++k) {
        b[k] = floatDown(lo[k] - pad);
        b[k + 3] = floatUp(hi[k] + pad);
      }
    }
  }
  levels_.push_back(std::move(leaf));
  while (levels_.back().nu > 1 || levels_.back().nv > 1) {
    const Level& below = levels_.back();
    Level up;
    up.nu = (below.nu + 1) / 2;
    up.nv = (below.nv + 1) / 2;
    up.boxes.resize(static_cast<std::size_t>(up.nu) * up.nv * 6);
    for (unsigned int j = 0; j < up.nv; ++j) {
      for (unsigned int i = 0; i < up.nu; ++i) {
        float box[6] = {
            std::numeric_limits<float>::infinity(),  std::numeric_limits<float>::infinity(),
            std::numeric_limits<float>::infinity(),  -std::numeric_limits<float>::infinity(),
            -std::numeric_limits<float>::infinity(), -std::numeric_limits<float>::infinity()};
        for (unsigned int cj = 2 * j; cj < std::min(2 * j + 2, below.nv); ++cj) {
          for (unsigned int ci = 2 * i; ci < std::min(2 * i + 2, below.nu); ++ci) {
            const float* c = &below.boxes[(static_cast<std::size_t>(cj) * below.nu + ci) * 6];
            for (int k = 0; k < 3; ++k) {
              box[k] = std::min(box[k], c[k]);
              box[k + 3] = std::max(box[k + 3], c[k + 3]);
            }
          }
        }
        std::copy(box, box + 6, &up.boxes[(static_cast<std::size_t>(j) * up.nu + i) * 6]);
      }
    }
    levels_.push_back(std::move(up));
  }
}

std::size_t GridSearch::memoryBytes() const {
  std::size_t bytes = sizeof(*this);
  for (const Level& l : levels_) bytes += sizeof(Level) + l.boxes.capacity() * sizeof(float);
  return bytes;
}

bool GridSearch::leafHit(const double* vertices, const PreparedRay& ray, unsigned int tu,
                         unsigned int tv, RectMesh::Hit& best, bool& haveBest) const {
  const unsigned int u0 = tu * kTile, u1 = std::min(u0 + kTile, uCount_);
  const unsigned int v0 = tv * kTile, v1 = std::min(v0 + kTile, vCount_);
  const unsigned int nu = u1 - u0 + 1;
  const std::size_t rowStride = static_cast<std::size_t>(uCount_) + 1;
  ShearedVertex s[(kTile + 1) * (kTile + 1)];
  for (unsigned int v = v0; v <= v1; ++v) {
    const double* p = vertices + 3 * (v * rowStride + u0);
    for (unsigned int u = 0; u < nu; ++u, p += 3) s[(v - v0) * nu + u] = shear(ray, p);
  }
  bool found = false;
  for (unsigned int v = v0; v < v1; ++v) {
    const ShearedVertex* row = s + static_cast<std::size_t>(v - v0) * nu;
    for (unsigned int u = u0; u < u1; ++u) {
      const ShearedVertex& a = row[u - u0];
      const ShearedVertex& b = row[u - u0 + 1];
      const ShearedVertex& c = row[nu + u - u0 + 1];
      const ShearedVertex& d = row[nu + u - u0];
      double t = 0.0;
      if (!quadHit(ray, a, b, c, d, t)) continue;
      const std::uint64_t key = quadKey(u, v);
      if (betterHit(ray, t, key, best.t, quadKey(best.u, best.v), haveBest)) {
        best.t = t;
        best.u = u;
        best.v = v;
        haveBest = true;
        found = true;
      }
    }
  }
  return found;
}

bool GridSearch::intersect(const double* vertices, const PreparedRay& ray,
                           RectMesh::Hit& hit) const {
  if (levels_.empty()) return false;
  struct Entry {
    unsigned int level, i, j;
    double rank;
  };
  Entry stack[256];
  int sp = 0;
  const unsigned int top = static_cast<unsigned int>(levels_.size() - 1);
  double rootRank = 0.0;
  if (!boxRank(levels_[top].boxes.data(), ray, rootRank)) return false;
  stack[sp++] = {top, 0, 0, rootRank};
  RectMesh::Hit best;
  bool haveBest = false;
  double bestRank = kInf;
  while (sp > 0) {
    const Entry e = stack[--sp];
    if (haveBest && e.rank > bestRank) continue;
    if (e.level == 0) {
      if (leafHit(vertices, ray, e.i, e.j, best, haveBest)) {
        bestRank = ray.both ? std::abs(best.t) : best.t;
      }
      continue;
    }
    const Level& below = levels_[e.level - 1];
    Entry children[4];
    int n = 0;
    for (unsigned int cj = 2 * e.j; cj < std::min(2 * e.j + 2, below.nv); ++cj) {
      for (unsigned int ci = 2 * e.i; ci < std::min(2 * e.i + 2, below.nu); ++ci) {
        double rank = 0.0;
        const float* b = &below.boxes[(static_cast<std::size_t>(cj) * below.nu + ci) * 6];
        if (!boxRank(b, ray, rank)) continue;
        if (haveBest && rank > bestRank) continue;
        // Insertion by decreasing rank, so the nearest is popped first.
        int k = n++;
        while (k > 0 && children[k - 1].rank < rank) {
          children[k] = children[k - 1];
          --k;
        }
        children[k] = {e.level - 1, ci, cj, rank};
      }
    }
    for (int k = 0; k < n; ++k) stack[sp++] = children[k];
  }
  if (haveBest) hit = best;
  return haveBest;
}

}  // namespace Zorv::Geometry::ThreeDimensional::QuadMesh::detail
