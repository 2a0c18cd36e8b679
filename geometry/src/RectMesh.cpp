// RectMesh: generated and explicit quad meshes and their ray intersection.
#include <algorithm>
#include <cmath>
#include <limits>

#include "MeshData.h"

namespace Zorv::Geometry::ThreeDimensional::QuadMesh {

using detail::MeshData;
using detail::PreparedRay;

namespace {

constexpr double kPi = Utility::pi;

bool finitePositive(double x) {
  return std::isfinite(x) && x > 0.0;
}

// Whether a mesh of nu × nv quads is within the caller's limit (in millions)
// and the library's.
bool withinLimit(double nu, double nv, double maxMegaQuads) {
  if (!(maxMegaQuads > 0.0)) return false;  // also refuses NaN
  const double limit = std::min(maxMegaQuads, RectMesh::maxMegaQuadsLimit) * 1e6;
  return nu >= 1.0 && nv >= 1.0 && nu <= 4294967295.0 && nv <= 4294967295.0 && nu * nv <= limit;
}

// Records t as the hit when it is better than what `hit` holds.
bool offer(const PreparedRay& r, double t, unsigned int u, unsigned int v, RectMesh::Hit& hit,
           bool& have) {
  if (!detail::betterHit(r, t, detail::quadKey(u, v), hit.t, detail::quadKey(hit.u, hit.v), have)) {
    return false;
  }
  hit.t = t;
  hit.u = u;
  hit.v = v;
  have = true;
  return true;
}

// Index of the cell holding parameter a in [0, count], or −1 outside.
long long cellOf(double a, unsigned int count) {
  if (!(a >= 0.0) || !(a <= static_cast<double>(count))) return -1;
  return std::min(static_cast<long long>(std::floor(a)), static_cast<long long>(count) - 1);
}

bool intersectPlane(const MeshData& m, const PreparedRay& r, RectMesh::Hit& hit) {
  const Vector d(r.d[0], r.d[1], r.d[2]);
  const Point o(r.o[0], r.o[1], r.o[2]);
  const Vector n = m.uStep.cross(m.vStep);
  const double denom = d.dot(n);
  if (denom == 0.0) return false;
  const double t = (m.origin - o).dot(n) / denom;
  if (!(t >= r.tLo) || !std::isfinite(t)) return false;
  const Vector rel = (o + d * t) - m.origin;
  const Vector uDual = m.vStep.cross(n), vDual = n.cross(m.uStep);
  const long long u = cellOf(rel.dot(uDual) / m.uStep.dot(uDual), m.uCount);
  const long long v = cellOf(rel.dot(vDual) / m.vStep.dot(vDual), m.vCount);
  if (u < 0 || v < 0) return false;
  hit.t = t;
  hit.u = static_cast<unsigned int>(u);
  hit.v = static_cast<unsigned int>(v);
  return true;
}

bool intersectCylinder(const MeshData& m, const PreparedRay& r, RectMesh::Hit& hit) {
  const double ox = r.o[0], oy = r.o[1], oz = r.o[2];
  const double dx = r.d[0], dy = r.d[1], dz = r.d[2];
  const double a = dx * dx + dy * dy;
  if (a == 0.0) return false;  // along the axis: never crosses the surface
  const double b = 2.0 * (ox * dx + oy * dy);
  const double c = ox * ox + oy * oy - m.radius * m.radius;
  const double disc = b * b - 4.0 * a * c;
  if (disc < 0.0) return false;
  // Roots without cancellation.
  const double q = -0.5 * (b + std::copysign(std::sqrt(disc), b));
  double roots[2] = {q / a, q != 0.0 ? c / q : q / a};
  if (roots[0] > roots[1]) std::swap(roots[0], roots[1]);
  const double arc = m.angleStep * m.uCount;
  const double length = m.lengthStep * m.vCount;
  const double middle = m.startAngle + 0.5 * arc;
  bool have = false;
  for (double t : roots) {
    if (!(t >= r.tLo)) continue;
    const double x = ox + t * dx, y = oy + t * dy, z = oz + t * dz;
    // Angle from the start of the arc, measured about the arc's middle so
    // that both ends are reached without a wrap.
    double s = std::atan2(y, x) - middle;
    s = std::remainder(s, 2.0 * kPi) + 0.5 * arc;
    const long long u = cellOf(s / m.angleStep, m.uCount);
    const long long v = cellOf(z / m.lengthStep, m.vCount);
    if (u < 0 || v < 0 || z > length) continue;
    offer(r, t, static_cast<unsigned int>(u), static_cast<unsigned int>(v), hit, have);
  }
  return have;
}

bool intersectGridBruteForce(const MeshData& m, const PreparedRay& r, RectMesh::Hit& hit) {
  bool have = false;
  for (unsigned int v = 0; v < m.vCount; ++v) {
    for (unsigned int u = 0; u < m.uCount; ++u) {
      double t = 0.0;
      if (detail::quadHit(r, detail::shear(r, m.vertex(u, v)), detail::shear(r, m.vertex(u + 1, v)),
                          detail::shear(r, m.vertex(u + 1, v + 1)),
                          detail::shear(r, m.vertex(u, v + 1)), t)) {
        offer(r, t, u, v, hit, have);
      }
    }
  }
  return have;
}

Vector gridQuadNormal(const MeshData& m, unsigned int u, unsigned int v) {
  auto p = [&](unsigned int a, unsigned int b) {
    const double* q = m.vertex(a, b);
    return Point(q[0], q[1], q[2]);
  };
  // Cross product of the diagonals: twice the area-weighted mean normal.
  return (p(u + 1, v + 1) - p(u, v)).cross(p(u, v + 1) - p(u + 1, v));
}

}  // namespace

RectMesh::RectMesh() = default;
RectMesh::~RectMesh() = default;
RectMesh::RectMesh(const RectMesh&) = default;
RectMesh& RectMesh::operator=(const RectMesh&) = default;
RectMesh::RectMesh(RectMesh&&) noexcept = default;
RectMesh& RectMesh::operator=(RectMesh&&) noexcept = default;

bool RectMesh::setAsPlane(const TwoDimensional::Vector<double>& extents, double pitch,
                          bool keepPitch, double maxMegaQuads) {
  if (!finitePositive(extents.x) || !finitePositive(extents.y) || !finitePositive(pitch)) {
    return false;
  }
  double nu, nv, uPitch, vPitch;
  if (keepPitch) {
    nu = std::max(1.0, std::ceil(extents.x / pitch - 1e-9));
    nv = std::max(1.0, std::ceil(extents.y / pitch - 1e-9));
    uPitch = vPitch = pitch;
  } else {
    nu = std::max(1.0, std::round(extents.x / pitch));
    nv = std::max(1.0, std::round(extents.y / pitch));
    uPitch = extents.x / nu;
    vPitch = extents.y / nv;
  }
  if (!withinLimit(nu, nv, maxMegaQuads)) return false;
  auto m = std::make_shared<MeshData>();
  m->kind = Kind::Plane;
  m->uCount = static_cast<unsigned int>(nu);
  m->vCount = static_cast<unsigned int>(nv);
  m->origin = Point(0.0, 0.0, 0.0);
  m->uStep = Vector(uPitch, 0.0, 0.0);
  m->vStep = Vector(0.0, vPitch, 0.0);
  m->pitchSqr = pitch * pitch;
  m->uPitchSqr = uPitch * uPitch;
  m->vPitchSqr = vPitch * vPitch;
  data_ = std::move(m);
  return true;
}

bool RectMesh::setAsCylinderArc(double radius, double arcAngle, double length, double pitch,
                                double maxMegaQuads) {
  if (!finitePositive(radius) || !finitePositive(arcAngle) || !finitePositive(length) ||
      !finitePositive(pitch) || arcAngle > 2.0 * kPi * (1.0 + 1e-12)) {
    return false;
  }
  const double nu = std::max(1.0, std::round(radius * arcAngle / pitch));
  const double nv = std::max(1.0, std::round(length / pitch));
  if (!withinLimit(nu, nv, maxMegaQuads)) return false;
  auto m = std::make_shared<MeshData>();
  m->kind = Kind::CylinderArc;
  m->uCount = static_cast<unsigned int>(nu);
  m->vCount = static_cast<unsigned int>(nv);
  m->radius = radius;
  m->startAngle = 0.0;
  m->angleStep = arcAngle / nu;
  m->lengthStep = length / nv;
  m->pitchSqr = pitch * pitch;
  m->uPitchSqr = (radius * m->angleStep) * (radius * m->angleStep);
  m->vPitchSqr = m->lengthStep * m->lengthStep;
  data_ = std::move(m);
  return true;
}

bool RectMesh::setFromVertices(unsigned int uCount, unsigned int vCount,
                               std::vector<Point> vertices) {
  if (uCount == 0 || vCount == 0 || uCount == std::numeric_limits<unsigned int>::max() ||
      vCount == std::numeric_limits<unsigned int>::max()) {
    return false;
  }
  if (!withinLimit(uCount, vCount, maxMegaQuadsLimit)) return false;
  const std::size_t count =
      static_cast<std::size_t>(uCount + 1) * (static_cast<std::size_t>(vCount) + 1);
  if (vertices.size() != count) return false;
  // Finite and within the range of the float search boxes (NaN fails too).
  auto usable = [](double c) { return std::fabs(c) < coordinateLimit; };
  for (const Point& p : vertices)
    if (!usable(p.x) || !usable(p.y) || !usable(p.z)) return false;
  auto m = std::make_shared<MeshData>();
  m->kind = Kind::Grid;
  m->uCount = uCount;
  m->vCount = vCount;
  m->vertices = std::make_unique_for_overwrite<double[]>(count * 3);
  for (std::size_t i = 0; i < count; ++i) {
    m->vertices[3 * i] = vertices[i].x;
    m->vertices[3 * i + 1] = vertices[i].y;
    m->vertices[3 * i + 2] = vertices[i].z;
  }
  vertices.clear();
  vertices.shrink_to_fit();
  detail::measureGridPitches(*m);
  m->search.build(m->vertices.get(), uCount, vCount);
  data_ = std::move(m);
  return true;
}

void RectMesh::load(const std::string& path) {
  data_ = detail::readQuadFile(path);
}

void RectMesh::save(const std::string& path) const {
  if (!data_) throw QuadFileError("Quad file " + path + ": cannot be written: the mesh is empty.");
  detail::writeQuadFile(path, *data_);
}

void RectMesh::getFileHeaderItems(const std::string& path, unsigned int& uCount,
                                  unsigned int& vCount, double& pitchSqr, double& uPitchSqr,
                                  double& vPitchSqr) {
  detail::readQuadFileHeader(path, uCount, vCount, pitchSqr, uPitchSqr, vPitchSqr);
}

RectMesh::Kind RectMesh::getKind() const {
  return data_ ? data_->kind : Kind::Empty;
}

RectExtents RectMesh::getExtents() const {
  return data_ ? RectExtents(data_->uCount, data_->vCount) : RectExtents();
}

Point RectMesh::getVertex(unsigned int u, unsigned int v) const {
  if (!data_) return Point();
  const MeshData& m = *data_;
  u = std::min(u, m.uCount);
  v = std::min(v, m.vCount);
  switch (m.kind) {
    case Kind::Plane:
      return m.origin + m.uStep * static_cast<double>(u) + m.vStep * static_cast<double>(v);
    case Kind::CylinderArc: {
      const double theta = m.startAngle + m.angleStep * u;
      return Point(m.radius * std::cos(theta), m.radius * std::sin(theta), m.lengthStep * v);
    }
    case Kind::Grid: {
      const double* p = m.vertex(u, v);
      return Point(p[0], p[1], p[2]);
    }
    case Kind::Empty:
      break;
  }
  return Point();
}

std::size_t RectMesh::getMemoryBytes() const {
  if (!data_) return 0;
  std::size_t bytes = sizeof(MeshData);
  if (data_->kind == Kind::Grid) {
    bytes += data_->vertexCount() * 3 * sizeof(double) + data_->search.memoryBytes();
  }
  return bytes;
}

bool RectMesh::intersect(const Point& origin, const Vector& direction, bool bothDirections,
                         Hit& hit) const {
  if (!data_) return false;
  const PreparedRay r(origin, direction, bothDirections);
  switch (data_->kind) {
    case Kind::Plane:
      return intersectPlane(*data_, r, hit);
    case Kind::CylinderArc:
      return intersectCylinder(*data_, r, hit);
    case Kind::Grid:
      return data_->search.intersect(data_->vertices.get(), r, hit);
    case Kind::Empty:
      break;
  }
  return false;
}

bool RectMesh::intersectBruteForce(const Point& origin, const Vector& direction,
                                   bool bothDirections, Hit& hit) const {
  if (!data_) return false;
  if (data_->kind != Kind::Grid) return intersect(origin, direction, bothDirections, hit);
  const PreparedRay r(origin, direction, bothDirections);
  return intersectGridBruteForce(*data_, r, hit);
}

Vector RectMesh::getNormal(unsigned int u, unsigned int v, const Point& at, bool smoothed) const {
  if (!data_) return Vector();
  const MeshData& m = *data_;
  switch (m.kind) {
    case Kind::Plane:
      return m.uStep.cross(m.vStep).getNormalised();
    case Kind::CylinderArc: {
      Vector radial(at.x, at.y, 0.0);
      if (radial.lSqr() == 0.0) {
        const double theta = m.startAngle + m.angleStep * (std::min(u, m.uCount - 1) + 0.5);
        radial = Vector(std::cos(theta), std::sin(theta), 0.0);
      }
      return radial.getNormalised();
    }
    case Kind::Grid: {
      u = std::min(u, m.uCount - 1);
      v = std::min(v, m.vCount - 1);
      Vector n = gridQuadNormal(m, u, v);
      if (smoothed || n.lSqr() == 0.0) {
        const unsigned int u0 = u > 0 ? u - 1 : 0, u1 = std::min(u + 1, m.uCount - 1);
        const unsigned int v0 = v > 0 ? v - 1 : 0, v1 = std::min(v + 1, m.vCount - 1);
        Vector sum;
        for (unsigned int j = v0; j <= v1; ++j)
          for (unsigned int i = u0; i <= u1; ++i) sum += gridQuadNormal(m, i, j);
        n = sum;
      }
      return n.getNormalised();
    }
    case Kind::Empty:
      break;
  }
  return Vector();
}

}  // namespace Zorv::Geometry::ThreeDimensional::QuadMesh
