// Linear and affine maps, Euler angles and the rigid-body fit.
#include <algorithm>
#include <cmath>
#include <limits>

#include <Eigen/Dense>

#include "ZorvGeometry/ThreeDimensional.h"

namespace Zorv::Geometry::ThreeDimensional {

namespace {

constexpr double kPi = Utility::pi;

// Rotation by `angle` about coordinate axis `axis` (right-handed).
LinearMap axisRotation(int axis, double angle) {
  LinearMap r;
  const int p = (axis + 1) % 3, q = (axis + 2) % 3;
  const double c = std::cos(angle), s = std::sin(angle);
  r(p, p) = c;
  r(p, q) = -s;
  r(q, p) = s;
  r(q, q) = c;
  return r;
}

// Turns `v` about `axis` by `angle`.
Vector rotateAbout(int axis, double angle, const Vector& v) {
  const int p = (axis + 1) % 3, q = (axis + 2) % 3;
  const double c = std::cos(angle), s = std::sin(angle);
  Vector r = v;
  r[p] = c * v[p] - s * v[q];
  r[q] = s * v[p] + c * v[q];
  return r;
}

// The angle in (−π, π].
double wrapAngle(double a) {
  if (a > kPi) a -= 2.0 * kPi;
  if (a <= -kPi) a += 2.0 * kPi;
  return a;
}

bool validAxis(int a) {
  return a >= 0 && a <= 2;
}

}  // namespace

void LinearMap::setIdentity() {
  for (int r = 0; r < 3; ++r)
    for (int c = 0; c < 3; ++c) m_[r][c] = r == c ? 1.0 : 0.0;
}

bool LinearMap::setRotation(int a0, int a1, int a2, const Vector& angles) {
  if (!validAxis(a0) || !validAxis(a1) || !validAxis(a2) || a0 == a1 || a1 == a2) return false;
  *this = axisRotation(a2, angles[2]) * axisRotation(a1, angles[1]) * axisRotation(a0, angles[0]);
  return true;
}

// R = R(a2, c) R(a1, b) R(a0, a). Row a2 of R does not depend on c, since
// R(a2, c) keeps axis a2: w = Rᵀ e(a2) = R(a0, −a) R(a1, −b) e(a2). So a is the
// turn about a0 that brings w into the plane normal to a1 (a1 ≠ a2, so e(a2)
// lies in that plane), and b is the turn about a1 that then carries it onto
// e(a2). Of the two choices of a (a and a + π) the one that gives b in the
// conventional range is kept. The last angle is read from the remainder
// R · (R(a1, b) R(a0, a))ᵀ, which is a turn about a2: any error in a and b is a
// rotation that this remainder absorbs, so the three angles rebuild the map to
// rounding accuracy even at and near gimbal lock, where a and b alone are
// poorly determined.
Vector LinearMap::getRotationAngles(int a0, int a1, int a2) const {
  if (!validAxis(a0) || !validAxis(a1) || !validAxis(a2) || a0 == a1 || a1 == a2) return Vector();
  const Vector w = getRow(a2);
  const bool properEuler = a0 == a2;

  // First angle: zero the a1 component of R(a0, a) w.
  const int p0 = (a0 + 1) % 3, q0 = (a0 + 2) % 3;
  double first;
  if (a1 == p0) {
    first = std::atan2(w[p0], w[q0]);  // (R w)_p = cos·w_p − sin·w_q = 0
  } else {
    first = std::atan2(-w[q0], w[p0]);  // (R w)_q = sin·w_p + cos·w_q = 0
  }
  const int p1 = (a1 + 1) % 3, q1 = (a1 + 2) % 3;
  const double targetAngle = (a2 == p1) ? 0.0 : kPi / 2.0;
  auto middleFor = [&](double a) {
    const Vector u = rotateAbout(a0, a, w);
    return wrapAngle(targetAngle - std::atan2(u[q1], u[p1]));
  };
  auto inRange = [&](double b) { return properEuler ? (b >= 0.0) : (std::fabs(b) <= kPi / 2.0); };
  double middle = middleFor(first);
  if (!inRange(middle)) {
    const double alternative = wrapAngle(first + kPi);
    const double altMiddle = middleFor(alternative);
    if (inRange(altMiddle) ||
        (properEuler ? altMiddle > middle : std::fabs(altMiddle) < std::fabs(middle))) {
      first = alternative;
      middle = altMiddle;
    }
  }
  // At exact gimbal lock w lies on axis a0 and atan2(0, 0) gives 0: the last
  // angle then carries the whole turn.
  const LinearMap rest =
      *this * (axisRotation(a1, middle) * axisRotation(a0, first)).getTranspose();
  const int p2 = (a2 + 1) % 3, q2 = (a2 + 2) % 3;
  const double last = std::atan2(rest(q2, p2) - rest(p2, q2), rest(p2, p2) + rest(q2, q2));

  Vector angles;
  angles[0] = wrapAngle(first);
  angles[1] = middle;
  angles[2] = wrapAngle(last);
  return angles;
}

Vector LinearMap::operator()(const Vector& v) const {
  return {m_[0][0] * v.x + m_[0][1] * v.y + m_[0][2] * v.z,
          m_[1][0] * v.x + m_[1][1] * v.y + m_[1][2] * v.z,
          m_[2][0] * v.x + m_[2][1] * v.y + m_[2][2] * v.z};
}

Point LinearMap::operator()(const Point& p) const {
  return Point((*this)(Vector(p)));
}

LinearMap LinearMap::operator*(const LinearMap& o) const {
  LinearMap r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      r.m_[i][j] = m_[i][0] * o.m_[0][j] + m_[i][1] * o.m_[1][j] + m_[i][2] * o.m_[2][j];
    }
  return r;
}

LinearMap LinearMap::getTranspose() const {
  LinearMap r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) r.m_[i][j] = m_[j][i];
  return r;
}

double LinearMap::getDeterminant() const {
  return m_[0][0] * (m_[1][1] * m_[2][2] - m_[1][2] * m_[2][1]) -
         m_[0][1] * (m_[1][0] * m_[2][2] - m_[1][2] * m_[2][0]) +
         m_[0][2] * (m_[1][0] * m_[2][1] - m_[1][1] * m_[2][0]);
}

bool LinearMap::getInverse(LinearMap& inverse) const {
  const double det = getDeterminant();
  double scale = 0.0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) scale = std::max(scale, std::fabs(m_[i][j]));
  if (!std::isfinite(det) || scale == 0.0 || std::fabs(det) <= 1e-14 * scale * scale * scale) {
    return false;
  }
  LinearMap r;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      // Cofactor of element (j, i), divided by the determinant.
      const int r0 = (j + 1) % 3, r1 = (j + 2) % 3, c0 = (i + 1) % 3, c1 = (i + 2) % 3;
      r.m_[i][j] = (m_[r0][c0] * m_[r1][c1] - m_[r0][c1] * m_[r1][c0]) / det;
    }
  inverse = r;
  return true;
}

bool LinearMap::getIsRotation(double tolerance) const {
  const LinearMap p = getTranspose() * *this;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) {
      if (!(std::fabs(p(i, j) - (i == j ? 1.0 : 0.0)) <= tolerance)) return false;
    }
  return getDeterminant() > 0.0;
}

bool LinearMap::operator==(const LinearMap& o) const {
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j)
      if (m_[i][j] != o.m_[i][j]) return false;
  return true;
}

bool AffineMap::getInverse(AffineMap& inverse) const {
  LinearMap li;
  if (!linear_.getInverse(li)) return false;
  inverse = AffineMap(li, -li(translation_));
  return true;
}

namespace {

// One point set, centred, with its principal axes.
struct Shape {
  Eigen::Matrix3Xd centred;  // the points less their centroid, one per column
  Eigen::Matrix3d axes;      // orthonormal principal directions, by decreasing extent
  double flatness = 0.0;     // second over first singular value of `centred`
  double spread = 0.0;       // root-mean-square distance to the centroid
};

// The shape of a point set, from the singular value decomposition of the
// centred points themselves. Taking square roots of the eigenvalues of their
// scatter matrix instead would leave rounding of about 1e-16 of the largest
// eigenvalue as 1e-8 of the largest singular value: as large as the relaxed
// tolerance, so that collinear points pass for a triangle. Here the second
// singular value of collinear points is only the rounding of their
// coordinates, about 1e-16 of their magnitude; anything up to 16 such
// rounding units (per point) counts as 0, so coincident points and collinear
// points far from the origin give a flatness of exactly 0.
//
// The differences from the first point are formed before the centroid is
// taken out, so the rounding of the centring scales with the extent of the
// set, not with its distance from the origin.
Shape shapeOf(std::span<const Point> points) {
  const Eigen::Index n = static_cast<Eigen::Index>(points.size());
  const Point& first = points[0];
  Shape shape;
  shape.centred.resize(3, n);
  double magnitude = 0.0;
  for (Eigen::Index i = 0; i < n; ++i) {
    const Point& p = points[static_cast<std::size_t>(i)];
    shape.centred.col(i) = Eigen::Vector3d(p.x - first.x, p.y - first.y, p.z - first.z);
    magnitude = std::max({magnitude, std::fabs(p.x), std::fabs(p.y), std::fabs(p.z)});
  }
  const Eigen::Vector3d mean = shape.centred.rowwise().mean();
  shape.centred.colwise() -= mean;

  Eigen::JacobiSVD<Eigen::Matrix3Xd> svd(shape.centred, Eigen::ComputeFullU);
  const Eigen::Vector3d& sigma = svd.singularValues();  // decreasing
  shape.axes = svd.matrixU();
  const double resolution =
      16.0 * std::numeric_limits<double>::epsilon() * std::sqrt(static_cast<double>(n)) * magnitude;
  shape.flatness = sigma(1) > resolution ? sigma(1) / sigma(0) : 0.0;
  shape.spread = shape.centred.norm() / std::sqrt(static_cast<double>(n));
  return shape;
}

}  // namespace

bool Utility::getRigidBodyMap(std::span<const Point> partPoints, std::span<const Point> armPoints,
                              Vector& angles, Vector& translation, Point& origin,
                              RigidBodyFitReport* report, bool strict) {
  RigidBodyFitReport measured;
  auto refuse = [&]() {
    if (report) *report = measured;
    return false;
  };
  const std::size_t n = partPoints.size();
  if (n < 3 || armPoints.size() != n) return refuse();
  for (std::size_t i = 0; i < n; ++i) {
    if (!partPoints[i].getIsFinite() || !armPoints[i].getIsFinite()) return refuse();
  }

  Eigen::Vector3d partCentroid = Eigen::Vector3d::Zero(), armCentroid = Eigen::Vector3d::Zero();
  for (std::size_t i = 0; i < n; ++i) {
    partCentroid += Eigen::Vector3d(partPoints[i].x, partPoints[i].y, partPoints[i].z);
    armCentroid += Eigen::Vector3d(armPoints[i].x, armPoints[i].y, armPoints[i].z);
  }
  partCentroid /= static_cast<double>(n);
  armCentroid /= static_cast<double>(n);

  const Shape part = shapeOf(partPoints), arm = shapeOf(armPoints);
  measured.partFlatness = part.flatness;
  measured.armFlatness = arm.flatness;
  measured.scaleMismatch = part.spread > 0.0 ? std::fabs(arm.spread / part.spread - 1.0) : 0.0;
  const double tolerance = strict ? strictFlatnessTolerance : relaxedFlatnessTolerance;
  if (!(measured.partFlatness >= tolerance) || !(measured.armFlatness >= tolerance)) {
    return refuse();
  }

  // Kabsch: with H = Σ p qᵀ = U S Vᵀ the rotation is V diag(1, 1, d) Uᵀ, d
  // the sign that excludes a reflection. H is decomposed in each set's
  // principal axes (p' = Aᵀp, q' = Bᵀq, H' = Σ p' q'ᵀ = Aᵀ H B, so U = A U',
  // V = B V'). There H' is close to diagonal, its entries graded from the
  // length squared down to the height squared, and the Jacobi decomposition
  // resolves each to its own scale. Decomposed in world axes, H would give
  // its second singular vectors only to the rounding of the first singular
  // value: for a thin triangle (height below 1e-7 of the length, which the
  // relaxed tolerance accepts) the roll about its long side would be lost.
  const Eigen::Matrix3d& a = part.axes;
  const Eigen::Matrix3d& b = arm.axes;
  const Eigen::Matrix3d h =
      (a.transpose() * part.centred) * (b.transpose() * arm.centred).transpose();
  Eigen::JacobiSVD<Eigen::Matrix3d> svd(h, Eigen::ComputeFullU | Eigen::ComputeFullV);
  const Eigen::Matrix3d u = a * svd.matrixU(), v = b * svd.matrixV();
  const double d = (v * u.transpose()).determinant() < 0.0 ? -1.0 : 1.0;
  const Eigen::Matrix3d rotation = v * Eigen::Vector3d(1.0, 1.0, d).asDiagonal() * u.transpose();

  LinearMap m;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) m(i, j) = rotation(i, j);
  const Vector fitAngles = m.getRotationAngles(LinearMap::X, LinearMap::Y, LinearMap::Z);
  // Residuals with the map exactly as callers will rebuild it from the angles.
  LinearMap rebuilt;
  rebuilt.setRotation(LinearMap::X, LinearMap::Y, LinearMap::Z, fitAngles);
  const Point fitOrigin(partCentroid.x(), partCentroid.y(), partCentroid.z());
  const Vector fitTranslation(armCentroid.x() - partCentroid.x(),
                              armCentroid.y() - partCentroid.y(),
                              armCentroid.z() - partCentroid.z());
  double sumSqr = 0.0;
  for (std::size_t i = 0; i < n; ++i) {
    const Point fitted = fitOrigin + rebuilt(partPoints[i] - fitOrigin) + fitTranslation;
    const double e = (fitted - armPoints[i]).lSqr();
    sumSqr += e;
    measured.maxResidual = std::max(measured.maxResidual, std::sqrt(e));
  }
  measured.rmsResidual = std::sqrt(sumSqr / static_cast<double>(n));
  if (!fitAngles.getIsFinite() || !std::isfinite(measured.rmsResidual)) return refuse();

  angles = fitAngles;
  translation = fitTranslation;
  origin = fitOrigin;
  if (report) *report = measured;
  return true;
}

}  // namespace Zorv::Geometry::ThreeDimensional
