// Predicted error of a rigid-body fit away from its points, the shape of
// the calibration triangle, and the farthest vertex of a collection's meshes.
#include "partcalibration/Accuracy.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "IniFileSection.h"

using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Vector;
using Zorv::Geometry::ThreeDimensional::QuadMesh::QuadFileError;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh;

namespace {

using Matrix = std::array<std::array<double, 3>, 3>;

// The inverse of a symmetric 3 × 3 matrix by its adjugate; false when it is
// singular (relative to its own size).
bool invertSymmetric(const Matrix& m, Matrix& inverse) {
  Matrix adjugate;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) {
      const int i1 = (j + 1) % 3, i2 = (j + 2) % 3, j1 = (i + 1) % 3, j2 = (i + 2) % 3;
      adjugate[i][j] = m[i1][j1] * m[i2][j2] - m[i1][j2] * m[i2][j1];
    }
  }
  const double determinant = m[0][0] * adjugate[0][0] + m[0][1] * adjugate[1][0] +
                             m[0][2] * adjugate[2][0];
  const double scale = m[0][0] + m[1][1] + m[2][2];
  if (!(std::fabs(determinant) > 1e-15 * scale * scale * scale)) return false;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) inverse[i][j] = adjugate[i][j] / determinant;
  }
  return true;
}

}  // namespace

double readArmPointSigma(const std::string& configurationFile) {
  double sigma = kDefaultArmPointSigma;
  if (configurationFile.empty() ||
      !IniFileSection::keyExists(configurationFile, kAccuracySection, kArmPointSigmaKey)) {
    return sigma;
  }
  try {
    const double value =
        IniFileSection(configurationFile, kAccuracySection, false).getDouble(kArmPointSigmaKey);
    if (std::isfinite(value) && value > 0.0) sigma = value;
  } catch (IniFileSection::IniFileException* e) {
    delete e;
  }
  return sigma;
}

bool pointsNearlyInLine(const Point* points) {
  double longest = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double side = (points[(i + 1) % 3] - points[i]).l();
    if (side > longest) longest = side;
  }
  // Twice the area over the longest side is the smallest height.
  const double twiceArea = (points[1] - points[0]).cross(points[2] - points[0]).l();
  return !(twiceArea / longest >= kNearlyInLineRatio * longest);
}

Point centroidOf(const Point* points) {
  return Point((points[0].x + points[1].x + points[2].x) / 3.0,
               (points[0].y + points[1].y + points[2].y) / 3.0,
               (points[0].z + points[1].z + points[2].z) / 3.0);
}

Point farthestOfPoints(const Point* points, const Point& from) {
  Point farthest = points[0];
  for (int i = 1; i < 3; ++i) {
    if ((points[i] - from).lSqr() > (farthest - from).lSqr()) farthest = points[i];
  }
  return farthest;
}

double predictedFitError(const Point* points, const Point& at, double sigma) {
  constexpr int kCount = 3;
  const Point centroid = centroidOf(points);
  Matrix inertia{};
  for (int k = 0; k < kCount; ++k) {
    const Vector p = points[k] - centroid;
    const double lengthSqr = p.lSqr();
    for (int i = 0; i < 3; ++i) {
      for (int j = 0; j < 3; ++j) inertia[i][j] += (i == j ? lengthSqr : 0.0) - p[i] * p[j];
    }
  }
  Matrix inverse;
  if (!invertSymmetric(inertia, inverse)) return std::numeric_limits<double>::infinity();
  const Vector r = at - centroid;
  double quadratic = 0.0;
  for (int i = 0; i < 3; ++i) {
    for (int j = 0; j < 3; ++j) quadratic += r[i] * inverse[i][j] * r[j];
  }
  const double trace = inverse[0][0] + inverse[1][1] + inverse[2][2];
  const double meanSquare = 3.0 / kCount + r.lSqr() * trace - quadratic;
  return sigma * std::sqrt(std::max(meanSquare, 0.0));
}

Point farthestMeshVertex(const RectMesh& mesh, const Point& from) {
  const unsigned uCount = mesh.getExtents().getdU();
  const unsigned vCount = mesh.getExtents().getdV();
  Point farthest = mesh.getVertex(0, 0);
  double farthestSqr = (farthest - from).lSqr();
  const auto consider = [&](unsigned u, unsigned v) {
    const Point vertex = mesh.getVertex(u, v);
    const double distanceSqr = (vertex - from).lSqr();
    if (distanceSqr > farthestSqr) {
      farthest = vertex;
      farthestSqr = distanceSqr;
    }
  };
  switch (mesh.getKind()) {
    case RectMesh::Kind::Empty:
      break;
    case RectMesh::Kind::Plane:
      for (unsigned u : {0u, uCount}) {
        for (unsigned v : {0u, vCount}) consider(u, v);
      }
      break;
    case RectMesh::Kind::CylinderArc:
      for (unsigned v : {0u, vCount}) {
        for (unsigned u = 0; u <= uCount; ++u) consider(u, v);
      }
      break;
    case RectMesh::Kind::Grid:
      for (unsigned v = 0; v <= vCount; ++v) {
        for (unsigned u = 0; u <= uCount; ++u) consider(u, v);
      }
      break;
  }
  return farthest;
}

const RectMesh* QuadMeshCache::find(const std::string& path) {
  auto found = meshes_.find(path);
  if (found == meshes_.end()) {
    std::optional<RectMesh> mesh(std::in_place);
    try {
      mesh->load(path);
    } catch (const QuadFileError&) {
      mesh.reset();
    }
    found = meshes_.emplace(path, std::move(mesh)).first;
  }
  return found->second ? &*found->second : nullptr;
}

std::optional<Point> farthestVertexOfFiles(QuadMeshCache& meshes,
                                           const std::vector<std::string>& quadFiles,
                                           const Point& from) {
  std::optional<Point> farthest;
  for (const std::string& path : quadFiles) {
    const RectMesh* mesh = meshes.find(path);
    if (mesh == nullptr || mesh->getKind() == RectMesh::Kind::Empty) continue;
    const Point vertex = farthestMeshVertex(*mesh, from);
    if (!farthest || (vertex - from).lSqr() > (*farthest - from).lSqr()) farthest = vertex;
  }
  return farthest;
}
