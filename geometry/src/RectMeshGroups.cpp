// RectMeshGroups: a region's meshes per collection, with per-file offsets
// and flips and per-collection placement. The meshes stay in their own
// frames; each ray is carried into a collection's frame instead, so placing
// a group costs nothing in the mesh size.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <cmath>
#include <stdexcept>

#include "MeshData.h"

namespace Zorv::Geometry::ThreeDimensional::QuadMesh {

namespace detail {

struct FileEntry {
  RectMesh mesh;
  std::string name;  // without directory and ".quads"
  TwoDimensional::Vector<int> offset;
  bool flipNormals = false;
  bool flipU = false;
  bool flipV = false;
};

struct Collection {
  std::vector<FileEntry> files;
  AffineMap toGlobal;  // mesh frame → ray frame
  AffineMap toLocal;   // its inverse
};

struct GroupData {
  std::vector<Collection> collections;
};

}  // namespace detail

namespace {

std::atomic<int> qualityMode{0};

// The shared empty group of default-constructed and moved-from objects.
const std::shared_ptr<const detail::GroupData>& emptyGroup() {
  static const std::shared_ptr<const detail::GroupData> empty =
      std::make_shared<detail::GroupData>();
  return empty;
}

// The file's name without directory and without a ".quads" extension.
std::string meshName(const std::string& path) {
  const std::size_t slash = path.find_last_of("\\/");
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) {
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    if (ext == "quads") name.erase(dot);
  }
  return name;
}

bool flagAt(const std::vector<std::vector<bool>>& flags, std::size_t c, std::size_t k) {
  return c < flags.size() && k < flags[c].size() && flags[c][k];
}

}  // namespace

void QuadIndicesIntersectionStatus::setIntersectionQualityMode(int mode) {
  qualityMode.store(mode == 1 ? 1 : 0);
}

int QuadIndicesIntersectionStatus::getIntersectionQualityMode() {
  return qualityMode.load();
}

RectMeshGroups::RectMeshGroups() : data_(emptyGroup()) {}
RectMeshGroups::~RectMeshGroups() = default;
RectMeshGroups::RectMeshGroups(const RectMeshGroups&) = default;
RectMeshGroups& RectMeshGroups::operator=(const RectMeshGroups&) = default;
// A moved-from group stays usable (empty).
RectMeshGroups::RectMeshGroups(RectMeshGroups&& o) noexcept : data_(std::move(o.data_)) {
  o.data_ = emptyGroup();
}
RectMeshGroups& RectMeshGroups::operator=(RectMeshGroups&& o) noexcept {
  std::swap(data_, o.data_);
  return *this;
}

void RectMeshGroups::load(const std::vector<std::vector<std::string>>& paths,
                          const std::vector<std::vector<TwoDimensional::Vector<int>>>& offsets) {
  if (paths.size() != offsets.size()) {
    throw std::invalid_argument("Quad mesh groups: one offset list per collection is required.");
  }
  auto fresh = std::make_shared<detail::GroupData>();
  fresh->collections.resize(paths.size());
  for (std::size_t c = 0; c < paths.size(); ++c) {
    if (paths[c].size() != offsets[c].size()) {
      throw std::invalid_argument("Quad mesh groups: one offset per quad file is required.");
    }
    for (std::size_t k = 0; k < paths[c].size(); ++k) {
      detail::FileEntry entry;
      entry.mesh.load(paths[c][k]);
      entry.name = meshName(paths[c][k]);
      entry.offset = offsets[c][k];
      fresh->collections[c].files.push_back(std::move(entry));
    }
  }
  data_ = std::move(fresh);
}

void RectMeshGroups::setDoFlipNormals(const std::vector<std::vector<bool>>& flags) {
  auto next = std::make_shared<detail::GroupData>(*data_);
  for (std::size_t c = 0; c < next->collections.size(); ++c)
    for (std::size_t k = 0; k < next->collections[c].files.size(); ++k)
      next->collections[c].files[k].flipNormals = flagAt(flags, c, k);
  data_ = std::move(next);
}

void RectMeshGroups::setDoFlipAxes(const std::vector<std::vector<bool>>& flipU,
                                   const std::vector<std::vector<bool>>& flipV) {
  auto next = std::make_shared<detail::GroupData>(*data_);
  for (std::size_t c = 0; c < next->collections.size(); ++c) {
    for (std::size_t k = 0; k < next->collections[c].files.size(); ++k) {
      next->collections[c].files[k].flipU = flagAt(flipU, c, k);
      next->collections[c].files[k].flipV = flagAt(flipV, c, k);
    }
  }
  data_ = std::move(next);
}

void RectMeshGroups::transform(const std::vector<Point>& origins,
                               const std::vector<AffineMap>& maps) {
  const std::size_t n = data_->collections.size();
  if (origins.size() != n || maps.size() != n) {
    throw std::invalid_argument(
        "Quad mesh groups: one rotation origin and one map per collection are required.");
  }
  auto next = std::make_shared<detail::GroupData>(*data_);
  for (std::size_t c = 0; c < n; ++c) {
    // P ↦ O + M(P − O) + T is the affine map (M, O − M O + T).
    const LinearMap& m = maps[c].getLinearMap();
    const Vector shift = Vector(origins[c]) - m(Vector(origins[c])) + maps[c].getTranslation();
    const AffineMap placement(m, shift);
    detail::Collection& col = next->collections[c];
    const AffineMap combined = placement * col.toGlobal;
    AffineMap inverse;
    if (!shift.getIsFinite() || !combined.getInverse(inverse)) {
      throw std::invalid_argument("Quad mesh groups: the placement of collection " +
                                  std::to_string(c + 1) + " cannot be inverted.");
    }
    col.toGlobal = combined;
    col.toLocal = inverse;
  }
  data_ = std::move(next);
}

QuadIndicesIntersectionStatus RectMeshGroups::getIntersectionStatus(const Point& origin,
                                                                    const Vector& direction,
                                                                    bool bothDirections) const {
  if (!origin.getIsFinite() || !direction.getIsFinite() || direction.lSqr() == 0.0) {
    throw std::invalid_argument(
        "Ray intersection: the ray origin and direction must be finite "
        "and the direction must not be zero.");
  }
  const Vector d = direction.getNormalised();
  QuadIndicesIntersectionStatus status;
  RectMesh::Hit best;
  int bestCollection = -1, bestFile = -1;
  for (std::size_t c = 0; c < data_->collections.size(); ++c) {
    const detail::Collection& col = data_->collections[c];
    if (col.files.empty()) continue;
    // An affine map keeps the ray parameter: o + t d ↦ o' + t d'.
    const Point localOrigin = col.toLocal(origin);
    const Vector localDirection = col.toLocal.getLinearMap()(d);
    for (std::size_t k = 0; k < col.files.size(); ++k) {
      RectMesh::Hit hit;
      if (!col.files[k].mesh.intersect(localOrigin, localDirection, bothDirections, hit)) continue;
      const bool better = bestCollection < 0 ||
                          (bothDirections ? std::abs(hit.t) < std::abs(best.t) : hit.t < best.t);
      if (better) {
        best = hit;
        bestCollection = static_cast<int>(c);
        bestFile = static_cast<int>(k);
      }
    }
  }
  if (bestCollection < 0) return status;

  const detail::Collection& col = data_->collections[bestCollection];
  const detail::FileEntry& file = col.files[bestFile];
  const RectExtents extents = file.mesh.getExtents();
  const Point point = origin + d * best.t;
  const bool smoothed = qualityMode.load() == 1;
  const Vector localNormal = file.mesh.getNormal(best.u, best.v, col.toLocal(point), smoothed);
  // Normals follow the inverse transpose of the placement.
  Vector normal = col.toLocal.getLinearMap().getTranspose()(localNormal).getNormalised();
  if (file.flipNormals) normal = -normal;

  const long long u = file.flipU ? static_cast<long long>(extents.getdU()) - 1 - best.u : best.u;
  const long long v = file.flipV ? static_cast<long long>(extents.getdV()) - 1 - best.v : best.v;
  status.valid_ = true;
  status.indices_ = TwoDimensional::Vector<int>(static_cast<int>(u + file.offset.x),
                                                static_cast<int>(v + file.offset.y));
  status.fileName_ = file.name;
  status.collection_ = bestCollection;
  status.fileIndex_ = bestFile;
  QuadIntersectionData& data = status.data_;
  data.distance_ = best.t;  // d is a unit vector
  data.point_ = point;
  data.normal_ = normal;
  data.angleToNormal_ = std::atan2(d.cross(normal).l(), d.dot(normal));
  data.angleError_ = Utility::pi - data.angleToNormal_;
  return status;
}

int RectMeshGroups::getCollectionCount() const {
  return static_cast<int>(data_->collections.size());
}

int RectMeshGroups::getFileCount(int collection) const {
  if (collection < 0 || collection >= getCollectionCount()) return 0;
  return static_cast<int>(data_->collections[collection].files.size());
}

const RectMesh& RectMeshGroups::getMesh(int collection, int file) const {
  if (file < 0 || file >= getFileCount(collection)) {
    throw std::out_of_range("Quad mesh groups: no such collection or file.");
  }
  return data_->collections[collection].files[file].mesh;
}

}  // namespace Zorv::Geometry::ThreeDimensional::QuadMesh
