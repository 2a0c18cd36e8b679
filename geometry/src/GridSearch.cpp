// Ray search over explicit quad grids: a bounding-box hierarchy on the
// implicit (u, v) tiling, so no per-quad indices or pointers are stored.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>

#include "MeshData.h"

namespace Zorv::Geometry::ThreeDimensional::QuadMesh::detail {

namespace {

constexpr double kInf = std::numeric_limits<double>::infinity();

// A float not above x. Coordinates of accepted meshes are far inside the
// float range; x beyond it (from a file being refused, whose rows are taken
// in before its checks complete) is first brought to the range's ends, so
// that no conversion overflows. Without branches: whether the conversion
// rounded up is as good as random.
float floatDown(double x) {
  constexpr double kMax = std::numeric_limits<float>::max();
  x = std::min(std::max(x, -kMax), kMax);
  const float f = static_cast<float>(x);
  // The next float towards −inf (as std::nextafter): one step of the
  // magnitude, down for positive f, up for negative f and for zeros (taken
  // as −0), whose next float is the smallest negative one.
  const std::uint32_t bits = std::bit_cast<std::uint32_t>(f);
  const std::uint32_t signedBits = bits | static_cast<std::uint32_t>(bits == 0) << 31;
  const std::uint32_t below = signedBits + 2 * (signedBits >> 31) - 1;
  const std::uint32_t roundedUp = 0u - static_cast<std::uint32_t>(static_cast<double>(f) > x);
  return std::bit_cast<float>(bits ^ ((bits ^ below) & roundedUp));
}
// A float not below x.
float floatUp(double x) {
  return -floatDown(-x);
}

// Rounding allowed for when comparing a ray's distances (relative): a hit's
// t is rounded otherwise than the entry and exit of the box that holds it (as
// a weighted mean of its corners' depths), and far from the origin a box's
// passage can be shorter than that rounding.
constexpr double kRankSlack = 16 * std::numeric_limits<double>::epsilon();

// Clips [t0, t1] to the ray's passage through the box; false when empty
// (beyond the rounding of t0 and t1).
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
    if (t0 > t1 && t0 > t1 + std::max(std::abs(t0), std::abs(t1)) * kRankSlack) return false;
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

// Whether a box of this rank can hold no hit as near as the best so far,
// beyond rounding: a box whose rank exceeds a hit's t by less is still
// searched, for a nearer hit or an equal one of a smaller (v, u).
inline bool beyondBest(double rank, double bestRank) {
  return rank > bestRank + std::abs(bestRank) * kRankSlack;
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
  Builder builder(uCount, vCount);
  builder.addRows(vertices, vCount + 1);
  builder.finish(*this);
}

// Each tile row of kTile × kTile-quad tiles spans kTile + 1 vertex rows (the
// last is the first of the next tile row). Its boxes are gathered once its
// rows are in: first the bounds of every vertex coordinate across the rows
// (long contiguous runs, which vectorise), then across the kTile + 1 vertices
// of each tile in those.
GridSearch::Builder::Builder(unsigned int uCount, unsigned int vCount)
    : uCount_(uCount),
      vCount_(vCount),
      nu_((uCount + kTile - 1) / kTile),
      nv_((vCount + kTile - 1) / kTile) {
  lo_.resize(3 * (static_cast<std::size_t>(uCount) + 1));
  hi_.resize(lo_.size());
  leaves_.resize(static_cast<std::size_t>(nu_) * nv_ * 6);
}

void GridSearch::Builder::addRows(const double* vertices, unsigned int rows) {
  const std::size_t rowWords = lo_.size();
  for (; tileRowsDone_ < nv_; ++tileRowsDone_) {
    const unsigned int v0 = tileRowsDone_ * kTile, v1 = std::min(v0 + kTile, vCount_);
    if (v1 >= rows) break;
    buildTileRow(vertices + v0 * rowWords, v1 - v0 + 1, tileRowsDone_);
  }
}

namespace {

// lo and hi: the bounds of each word across `rows` rows of `width` words
// from `first`. The three do not overlap (so the loop vectorises).
template <unsigned int rows>
void columnBounds(const double* __restrict first, std::size_t width, double* __restrict lo,
                  double* __restrict hi) {
  for (std::size_t i = 0; i < width; ++i) {
    double l = first[i], h = l;
    for (unsigned int r = 1; r < rows; ++r) {
      l = std::min(l, first[r * width + i]);
      h = std::max(h, first[r * width + i]);
    }
    lo[i] = l;
    hi[i] = h;
  }
}

}  // namespace

void GridSearch::Builder::buildTileRow(const double* firstRow, unsigned int rowCount,
                                       unsigned int tv) {
  const std::size_t width = lo_.size();
  double* lo = lo_.data();
  double* hi = hi_.data();
  switch (rowCount) {
    case 2:
      columnBounds<2>(firstRow, width, lo, hi);
      break;
    case 3:
      columnBounds<3>(firstRow, width, lo, hi);
      break;
    case 4:
      columnBounds<4>(firstRow, width, lo, hi);
      break;
    default:
      columnBounds<kTile + 1>(firstRow, width, lo, hi);
      break;
  }
  for (unsigned int tu = 0; tu < nu_; ++tu) {
    const unsigned int u0 = tu * kTile;
    const unsigned int vertices = std::min(u0 + kTile, uCount_) - u0 + 1;
    const double* tileLo = lo + 3 * static_cast<std::size_t>(u0);
    const double* tileHi = hi + 3 * static_cast<std::size_t>(u0);
    double l[3] = {tileLo[0], tileLo[1], tileLo[2]};
    double h[3] = {tileHi[0], tileHi[1], tileHi[2]};
    auto widen = [&](unsigned int j) {
      for (int k = 0; k < 3; ++k) {
        l[k] = std::min(l[k], tileLo[3 * j + k]);
        h[k] = std::max(h[k], tileHi[3 * j + k]);
      }
    };
    if (vertices == kTile + 1) {
      for (unsigned int j = 1; j <= kTile; ++j) widen(j);
    } else {
      for (unsigned int j = 1; j < vertices; ++j) widen(j);
    }
    double size = 0.0;
    for (int k = 0; k < 3; ++k)
      size = std::max({size, h[k] - l[k], std::abs(l[k]), std::abs(h[k])});
    // The padding covers the rounding of the ray/box arithmetic.
    const double pad = size * 1e-9 + 1e-12;
    float* b = &leaves_[(static_cast<std::size_t>(tv) * nu_ + tu) * 6];
    for (int k = 0; k < 3; ++k) {
      b[k] = floatDown(l[k] - pad);
      b[k + 3] = floatUp(h[k] + pad);
    }
  }
}

void GridSearch::Builder::finish(GridSearch& search) {
  search.uCount_ = uCount_;
  search.vCount_ = vCount_;
  search.levels_.clear();
  Level leaf;
  leaf.nu = nu_;
  leaf.nv = nv_;
  leaf.boxes = std::move(leaves_);
  search.levels_.push_back(std::move(leaf));
  std::vector<Level>& levels = search.levels_;
  while (levels.back().nu > 1 || levels.back().nv > 1) {
    const Level& below = levels.back();
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
    levels.push_back(std::move(up));
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
    if (haveBest && beyondBest(e.rank, bestRank)) continue;
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
        if (haveBest && beyondBest(rank, bestRank)) continue;
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
