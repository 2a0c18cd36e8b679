// Rectangular quad meshes, groups of them placed per collection, and ray
// intersection.
//
// A RectMesh is a grid of uCount × vCount quads. Quad (u, v) has the corners
// vertex(u, v), vertex(u+1, v), vertex(u+1, v+1), vertex(u, v+1); its normal
// points along ∂/∂u × ∂/∂v (for a plane with u along +x and v along +y, +z).
// A mesh is one of:
//  - a plane (setAsPlane), stored and intersected analytically;
//  - a cylinder arc (setAsCylinderArc), stored and intersected analytically:
//    the quads index the exact cylinder surface;
//  - an explicit grid of vertices (setFromVertices, or loaded from a file).
//    Each quad is split along its vertex(u, v)–vertex(u+1, v+1) diagonal into
//    the triangles (v00, v10, v11) and (v00, v11, v01), intersected with a
//    watertight test, so a ray through a shared vertex or edge never slips
//    between quads. A bounding-box hierarchy over 4 × 4 quad tiles makes a
//    ray cost a few microseconds on millions of quads.
// Mesh data are immutable and shared: copying a RectMesh or a RectMeshGroups
// never copies vertices.
//
// ".quads" files (little-endian, version 1):
//   offset  size  field
//        0     8  magic "ZQUADS\r\n"
//        8     4  uint32 format version (1)
//       12     4  uint32 kind: 1 explicit grid, 2 plane, 3 cylinder arc
//       16     4  uint32 u quad count (>= 1)
//       20     4  uint32 v quad count (>= 1)
//       24     8  float64 nominal pitch squared (mm²)
//       32     8  float64 mean squared u edge length (mm²)
//       40     8  float64 mean squared v edge length (mm²)
//       48     8  uint64 payload size in bytes
//       56     8  uint64 checksum of the payload (see QuadFile.cpp)
//       64        payload:
//                 kind 1: (u+1)·(v+1) vertices, 3 float64 each (x, y, z),
//                         v-major: vertex(u, v) at index v·(u+1) + u
//                 kind 2: origin, u step, v step (3 × 3 float64):
//                         vertex(u, v) = origin + u·uStep + v·vStep
//                 kind 3: radius, start angle, angle step, length step
//                         (4 float64): vertex(u, v) = (r cos θ, r sin θ, v·dz)
//                         with θ = start + u·step
// A file that is missing, truncated, longer than its header says, of another
// version or kind, with a wrong checksum, with non-finite data or with grid
// coordinates not smaller than RectMesh::coordinateLimit is refused with
// QuadFileError. The file's size is checked against its header before
// anything of the header's size is allocated.
#pragma once

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "ZorvGeometry/ThreeDimensional.h"
#include "ZorvGeometry/TwoDimensional.h"

namespace Zorv::Geometry::ThreeDimensional::QuadMesh {

// A ".quads" file could not be read or written; what() names the file and
// the fault.
class QuadFileError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Quad counts of a mesh.
class RectExtents {
 public:
  RectExtents() = default;
  RectExtents(unsigned int du, unsigned int dv) : du_(du), dv_(dv) {}
  unsigned int getdU() const { return du_; }
  unsigned int getdV() const { return dv_; }

 private:
  unsigned int du_ = 0, dv_ = 0;
};

namespace detail {
struct MeshData;
struct GroupData;
}  // namespace detail

// Geometry of one hit, in the frame of the ray.
class QuadIntersectionData {
 public:
  // Distance from the ray origin to the hit along the ray (mm); negative only
  // for a hit behind the origin, which getIntersectionStatus reports only
  // when asked to search both directions.
  double getDistanceToObject() const { return distance_; }
  // Angle between the ray direction and the quad's normal (radians, 0..π):
  // π when the ray meets the surface head-on against its normal (the normal
  // faces the ray's origin), 0 when the ray runs along the normal.
  double getAngleToObjectNormal() const { return angleToNormal_; }
  // Angle between the normal and the direction back to the ray origin
  // (radians, 0..π) = π − getAngleToObjectNormal(): below π/2 exactly when
  // the normal faces the probe. In quality mode 1 the normal is averaged over
  // the neighbouring quads (see setIntersectionQualityMode), so a single
  // noisy quad cannot turn it.
  double getAngleError() const { return angleError_; }
  // The hit point and the unit normal used for the angles (after
  // FlipNormals), in the frame of the ray.
  const Point& getPoint() const { return point_; }
  const Vector& getNormal() const { return normal_; }

 private:
  friend class RectMeshGroups;
  friend class RectMesh;
  double distance_ = 0.0;
  double angleToNormal_ = 0.0;
  double angleError_ = 0.0;
  Point point_;
  Vector normal_;
};

// Result of a ray intersection with a RectMeshGroups. Default: not valid.
class QuadIndicesIntersectionStatus {
 public:
  bool getIsValid() const { return valid_; }
  // Quad indices in the region's index space: the file's own (u, v) after its
  // flips, plus the file's offset.
  TwoDimensional::Vector<int> getIndices() const { return indices_; }
  // Name of the hit file without directory and without its ".quads"
  // extension (any letter case).
  const std::string& getFileName() const { return fileName_; }
  const QuadIntersectionData& getIntersectionData() const { return data_; }
  // Collection and file position (both from 0) of the hit.
  int getCollection() const { return collection_; }
  int getFileIndex() const { return fileIndex_; }

  // Process-wide quality of the reported normal:
  //  0 (default): the hit quad's own normal (the normalised cross product of
  //     its diagonals; the exact surface normal for planes and cylinders);
  //  1: the normal averaged over the 3 × 3 block of quads around the hit
  //     (area-weighted), used while the operator decides which way a mesh's
  //     normals face, so that one distorted quad cannot mislead.
  // Other values are treated as 0.
  static void setIntersectionQualityMode(int mode);
  static int getIntersectionQualityMode();

 private:
  friend class RectMeshGroups;
  bool valid_ = false;
  TwoDimensional::Vector<int> indices_;
  std::string fileName_;
  QuadIntersectionData data_;
  int collection_ = -1;
  int fileIndex_ = -1;
};

class RectMesh {
 public:
  enum class Kind { Empty, Grid, Plane, CylinderArc };

  RectMesh();
  ~RectMesh();
  RectMesh(const RectMesh&);
  RectMesh& operator=(const RectMesh&);
  RectMesh(RectMesh&&) noexcept;
  RectMesh& operator=(RectMesh&&) noexcept;

  // Largest mesh the generators accept, in millions of quads, when the caller
  // gives no smaller limit: quad numbers beyond 2^31 do not fit the signed
  // indices of the programs that read ".quads" files.
  static constexpr double maxMegaQuadsLimit = 2000.0;
  // Explicit grids are searched through single-precision bounding boxes:
  // every coordinate of a grid must be smaller than 2^127 (about 1.7e38 mm)
  // in magnitude, so that the boxes, padded, stay within the float range.
  static constexpr double coordinateLimit = 0x1p127;

  // A plane in z = 0 with its corner quad at the origin, u along +x, v along
  // +y and normal +z, covering extents.x (u) by extents.y (v) mm.
  // keepPitch true: every quad is pitch × pitch and the counts round up
  //   (ceil(extent / pitch), with a tolerance of 1e-9 quad) so the quads cover
  //   at least the extents;
  // keepPitch false: the counts are the nearest whole numbers (at least 1)
  //   and each axis' pitch is stretched so the quads cover the extents exactly.
  // maxMegaQuads: the largest acceptable uCount·vCount in millions (capped at
  //   maxMegaQuadsLimit). Returns false, leaving the mesh unchanged, for
  //   non-finite or non-positive extents or pitch and for a mesh above the
  //   limit. The plane is stored analytically whatever its size.
  bool setAsPlane(const TwoDimensional::Vector<double>& extents, double pitch, bool keepPitch,
                  double maxMegaQuads);
  // An arc of the cylinder of the given radius about the z axis: the points
  // (r cos θ, r sin θ, z) for θ from 0 to arcAngle (radians, at most 2π) and
  // z from 0 to length; u runs along θ, v along z, normals point away from
  // the axis. The counts are the nearest whole numbers (at least 1) of
  // r·arcAngle / pitch and length / pitch, the pitches stretched to fit
  // exactly. maxMegaQuads as for setAsPlane. Stored and intersected
  // analytically (the exact cylinder, not its facets).
  bool setAsCylinderArc(double radius, double arcAngle, double length, double pitch,
                        double maxMegaQuads);
  // An explicit grid: (uCount+1)·(vCount+1) vertices, v-major (vertex(u, v)
  // at v·(uCount+1) + u). False (mesh unchanged) when the counts are 0, the
  // size does not match or a coordinate is not finite or not smaller than
  // coordinateLimit in magnitude.
  bool setFromVertices(unsigned int uCount, unsigned int vCount, std::vector<Point> vertices);

  // Reads a ".quads" file; throws QuadFileError.
  void load(const std::string& path);
  // Writes the mesh as a ".quads" file; throws QuadFileError (also for an
  // empty mesh). The file is written under a temporary name in the same
  // directory and renamed over the target when complete: a save that fails
  // leaves an existing file as it was. A read-only target is refused.
  void save(const std::string& path) const;
  // Reads only the header of a ".quads" file: the quad counts and the three
  // squared pitches (nominal, along u, along v). Throws QuadFileError for a
  // missing, short or foreign file.
  static void getFileHeaderItems(const std::string& path, unsigned int& uCount,
                                 unsigned int& vCount, double& pitchSqr, double& uPitchSqr,
                                 double& vPitchSqr);

  Kind getKind() const;
  RectExtents getExtents() const;
  // Corner of quad indices in the mesh's own frame; u in 0..uCount, v in
  // 0..vCount.
  Point getVertex(unsigned int u, unsigned int v) const;
  // Bytes held for this mesh (vertices and search structure).
  std::size_t getMemoryBytes() const;

  // Nearest hit of the ray origin + t·direction with t >= 0 (or any t, the
  // one with the smallest |t|, when bothDirections), in the mesh's own frame
  // and index space (no flips). Returns false on a miss. `direction` need not
  // be of unit length; t is in its units. Exposed for tests and benchmarks.
  struct Hit {
    double t = 0.0;
    unsigned int u = 0, v = 0;
  };
  bool intersect(const Point& origin, const Vector& direction, bool bothDirections, Hit& hit) const;
  // Same result by testing every quad (reference for tests and benchmarks).
  bool intersectBruteForce(const Point& origin, const Vector& direction, bool bothDirections,
                           Hit& hit) const;
  // Unit normal of quad (u, v) at the given point (the quad normal of an
  // explicit grid; the exact surface normal of a plane or cylinder); with
  // `smoothed`, averaged over the neighbouring 3 × 3 quads.
  Vector getNormal(unsigned int u, unsigned int v, const Point& at, bool smoothed) const;

 private:
  friend class RectMeshGroups;
  std::shared_ptr<const detail::MeshData> data_;
};

// The meshes of a region grouped per collection, each file with its offset
// and flips, each collection with its placement. Copying is O(number of
// files): mesh data are shared, never copied.
class RectMeshGroups {
 public:
  RectMeshGroups();
  ~RectMeshGroups();
  RectMeshGroups(const RectMeshGroups&);
  RectMeshGroups& operator=(const RectMeshGroups&);
  RectMeshGroups(RectMeshGroups&&) noexcept;
  RectMeshGroups& operator=(RectMeshGroups&&) noexcept;

  // Loads paths[c][k], the k-th file of collection c, with index offset
  // offsets[c][k] (added to the file's quad indices after its flips). All
  // flips off, all placements identity. Replaces the content only when every
  // file loaded; throws QuadFileError (a file fails) or std::invalid_argument
  // (the two lists differ in shape).
  void load(const std::vector<std::vector<std::string>>& paths,
            const std::vector<std::vector<TwoDimensional::Vector<int>>>& offsets);
  // flags[c][k] for file k of collection c: the file's normals are reversed.
  // Missing entries count as false; extra ones are ignored.
  void setDoFlipNormals(const std::vector<std::vector<bool>>& flags);
  // flipU[c][k]: the file's u indices run backwards (u ↦ uCount − 1 − u);
  // flipV likewise for v. Flips change reported indices only, never
  // normals or geometry.
  void setDoFlipAxes(const std::vector<std::vector<bool>>& flipU,
                     const std::vector<std::vector<bool>>& flipV);
  // Places collection c by P ↦ origins[c] + maps[c](P − origins[c]), after
  // any earlier placement. Both lists must have one entry per collection
  // and every linear part must be invertible; throws std::invalid_argument
  // otherwise (nothing changed).
  void transform(const std::vector<Point>& origins, const std::vector<AffineMap>& maps);

  // The nearest hit of the ray with all meshes as placed. `bothDirections`
  // false: only hits at or beyond the origin (t >= 0); true: the hit nearest
  // to the origin on either side, a hit behind it with a negative distance.
  // Throws std::invalid_argument for a non-finite origin or a zero or
  // non-finite direction.
  QuadIndicesIntersectionStatus getIntersectionStatus(const Point& origin, const Vector& direction,
                                                      bool bothDirections) const;

  int getCollectionCount() const;
  int getFileCount(int collection) const;
  // The loaded mesh of one file. The reference stays valid while this group
  // (or a copy of it) is not changed; copy the RectMesh to keep it longer
  // (cheap: the data are shared).
  const RectMesh& getMesh(int collection, int file) const;

 private:
  std::shared_ptr<const detail::GroupData> data_;
};

}  // namespace Zorv::Geometry::ThreeDimensional::QuadMesh
