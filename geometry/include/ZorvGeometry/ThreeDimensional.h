// Three-dimensional points, vectors, linear and affine maps, and the rigid-body
// fit. Lengths are millimetres, angles radians.
#pragma once

#include <cmath>
#include <span>
#include <vector>

namespace Zorv::Geometry::ThreeDimensional {

class Point;

// A displacement (x, y, z).
class Vector {
 public:
  double x = 0.0, y = 0.0, z = 0.0;

  constexpr Vector() = default;
  constexpr Vector(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
  // The position vector of a point.
  explicit constexpr Vector(const Point& p);

  // Component 0 is x, 1 is y, 2 is z.
  constexpr double& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  constexpr const double& operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

  constexpr Vector operator+(const Vector& o) const { return {x + o.x, y + o.y, z + o.z}; }
  constexpr Vector operator-(const Vector& o) const { return {x - o.x, y - o.y, z - o.z}; }
  constexpr Vector operator-() const { return {-x, -y, -z}; }
  constexpr Vector operator*(double s) const { return {x * s, y * s, z * s}; }
  constexpr Vector operator/(double s) const { return {x / s, y / s, z / s}; }
  constexpr Vector& operator+=(const Vector& o) { return *this = *this + o; }
  constexpr Vector& operator-=(const Vector& o) { return *this = *this - o; }
  constexpr Vector& operator*=(double s) { return *this = *this * s; }
  constexpr Vector& operator/=(double s) { return *this = *this / s; }
  constexpr bool operator==(const Vector& o) const = default;

  constexpr double dot(const Vector& o) const { return x * o.x + y * o.y + z * o.z; }
  constexpr Vector cross(const Vector& o) const {
    return {y * o.z - z * o.y, z * o.x - x * o.z, x * o.y - y * o.x};
  }
  // Squared length.
  constexpr double lSqr() const { return dot(*this); }
  // Length.
  double l() const { return std::sqrt(lSqr()); }
  // The unit vector of the same direction; (0, 0, 0) stays (0, 0, 0).
  Vector getNormalised() const {
    const double len = l();
    return len > 0.0 ? *this / len : Vector();
  }
  constexpr bool getIsNull() const { return x == 0.0 && y == 0.0 && z == 0.0; }
  bool getIsFinite() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }
};

constexpr Vector operator*(double s, const Vector& v) {
  return v * s;
}

// A position (x, y, z).
class Point {
 public:
  double x = 0.0, y = 0.0, z = 0.0;

  constexpr Point() = default;
  constexpr Point(double x_, double y_, double z_) : x(x_), y(y_), z(z_) {}
  // The point at the given position vector.
  explicit constexpr Point(const Vector& v) : x(v.x), y(v.y), z(v.z) {}

  constexpr double& operator[](int i) { return i == 0 ? x : (i == 1 ? y : z); }
  constexpr const double& operator[](int i) const { return i == 0 ? x : (i == 1 ? y : z); }

  // Point − point is the displacement between them.
  constexpr Vector operator-(const Point& o) const { return {x - o.x, y - o.y, z - o.z}; }
  constexpr Point operator+(const Vector& v) const { return {x + v.x, y + v.y, z + v.z}; }
  constexpr Point operator-(const Vector& v) const { return {x - v.x, y - v.y, z - v.z}; }
  // Component-wise sum, for accumulated offsets held as points.
  constexpr Point operator+(const Point& o) const { return {x + o.x, y + o.y, z + o.z}; }
  constexpr Point operator-() const { return {-x, -y, -z}; }
  constexpr Point operator*(double s) const { return {x * s, y * s, z * s}; }
  constexpr Point operator/(double s) const { return {x / s, y / s, z / s}; }
  constexpr Point& operator+=(const Vector& v) { return *this = *this + v; }
  constexpr Point& operator-=(const Vector& v) { return *this = *this - v; }
  constexpr Point& operator+=(const Point& o) { return *this = *this + o; }
  constexpr Point& operator*=(double s) { return *this = *this * s; }
  constexpr Point& operator/=(double s) { return *this = *this / s; }
  constexpr bool operator==(const Point& o) const = default;

  // Treating the point as its position vector.
  constexpr double dot(const Point& o) const { return x * o.x + y * o.y + z * o.z; }
  constexpr double dot(const Vector& o) const { return x * o.x + y * o.y + z * o.z; }
  constexpr Vector cross(const Point& o) const { return Vector(*this).cross(Vector(o)); }
  constexpr double lSqr() const { return dot(*this); }
  double l() const { return std::sqrt(lSqr()); }
  // True for (0, 0, 0).
  constexpr bool getIsNull() const { return x == 0.0 && y == 0.0 && z == 0.0; }
  bool getIsFinite() const { return std::isfinite(x) && std::isfinite(y) && std::isfinite(z); }
};

constexpr Vector::Vector(const Point& p) : x(p.x), y(p.y), z(p.z) {}
constexpr Point operator+(const Vector& v, const Point& p) {
  return p + v;
}
constexpr Point operator*(double s, const Point& p) {
  return p * s;
}

inline constexpr double dot(const Vector& a, const Vector& b) {
  return a.dot(b);
}
inline constexpr Vector cross(const Vector& a, const Vector& b) {
  return a.cross(b);
}

// A 3 × 3 linear map, applied to column vectors: y = M x. Default: identity.
class LinearMap {
 public:
  // Axis numbers of setRotation and getRotationAngles.
  enum Axis : int { X = 0, Y = 1, Z = 2 };

  LinearMap() { setIdentity(); }

  void setIdentity();
  // Row r, column c.
  double& operator()(int r, int c) { return m_[r][c]; }
  double operator()(int r, int c) const { return m_[r][c]; }
  double getElement(int r, int c) const { return m_[r][c]; }
  void setElement(int r, int c, double value) { m_[r][c] = value; }
  Vector getColumn(int c) const { return {m_[0][c], m_[1][c], m_[2][c]}; }
  Vector getRow(int r) const { return {m_[r][0], m_[r][1], m_[r][2]}; }

  // A rotation made of three turns about fixed axes: angles[i] (radians,
  // right-handed) about axis ai, the turn about a0 applied first, so the map
  // is R(a2, angles[2]) · R(a1, angles[1]) · R(a0, angles[0]). Consecutive
  // axes must differ (X,Y,Z and Z,X,Z are both fine); the map is left
  // unchanged and false returned otherwise.
  bool setRotation(int a0, int a1, int a2, const Vector& angles);
  // The angles that setRotation(a0, a1, a2, angles) turns into this map,
  // each in (−π, π]; the middle angle lies in [−π/2, π/2] for three different
  // axes and in [0, π] when a0 == a2. At gimbal lock the first angle is 0
  // and the last carries the whole turn. The map must be a rotation; the
  // result for anything else is the angles of a nearby rotation.
  Vector getRotationAngles(int a0, int a1, int a2) const;

  Vector operator()(const Vector& v) const;
  Point operator()(const Point& p) const;
  Vector operator*(const Vector& v) const { return (*this)(v); }
  LinearMap operator*(const LinearMap& o) const;

  LinearMap getTranspose() const;
  double getDeterminant() const;
  // The inverse map; false (and *this unchanged in `inverse`) when singular.
  bool getInverse(LinearMap& inverse) const;
  // True when the map is a rotation: orthonormal with determinant 1, within
  // the given tolerance on each element of MᵀM − I.
  bool getIsRotation(double tolerance = 1e-9) const;
  bool operator==(const LinearMap& o) const;

 private:
  double m_[3][3];
};

// x ↦ M x + t: the linear part first, then the translation.
class AffineMap {
 public:
  AffineMap() = default;
  AffineMap(const LinearMap& m, const Vector& t) : linear_(m), translation_(t) {}

  void setLinearMap(const LinearMap& m) { linear_ = m; }
  void setTranslation(const Vector& t) { translation_ = t; }
  const LinearMap& getLinearMap() const { return linear_; }
  const Vector& getTranslation() const { return translation_; }

  // M v + t for a displacement (so O + A(P − O) places P about the origin O).
  Vector operator()(const Vector& v) const { return linear_(v) + translation_; }
  // M p + t for a point.
  Point operator()(const Point& p) const { return linear_(p) + translation_; }
  // Composition: (a * b)(x) = a(b(x)).
  AffineMap operator*(const AffineMap& o) const {
    return AffineMap(linear_ * o.linear_, linear_(o.translation_) + translation_);
  }
  // The inverse map; false when the linear part is singular.
  bool getInverse(AffineMap& inverse) const;

 private:
  LinearMap linear_;
  Vector translation_;
};

// What getRigidBodyMap measured, for callers that want more than the flag.
struct RigidBodyFitReport {
  double rmsResidual = 0.0;    // mm, root mean square of |fitted − target|
  double maxResidual = 0.0;    // mm
  double partFlatness = 0.0;   // second / first singular value of the centred part points
  double armFlatness = 0.0;    // the same for the arm points
  double scaleMismatch = 0.0;  // |spread(arm) / spread(part) − 1|
};

class Utility {
 public:
  static constexpr double pi = 3.14159265358979323846;
  static constexpr double twopi = 2.0 * pi;

  static constexpr double degToRad(double degrees) { return degrees * (pi / 180.0); }
  static constexpr double radToDeg(double radians) { return radians * (180.0 / pi); }

  // Degeneracy tolerances of getRigidBodyMap (see there).
  static constexpr double strictFlatnessTolerance = 1e-3;
  static constexpr double relaxedFlatnessTolerance = 1e-8;

  // Least-squares rigid-body map (rotation and translation, no scaling, no
  // reflection) carrying partPoints[i] onto armPoints[i], by the closed-form
  // Kabsch/Umeyama solution (singular value decomposition of the
  // cross-covariance). The map is returned in the form
  //     arm ≈ origin + M (part − origin),  M = rotation then translation,
  // with origin = the centroid of the part points, the rotation as angles
  // about X, Y, Z (LinearMap::setRotation(0, 1, 2, angles)) and the
  // translation = centroid(arm) − centroid(part).
  //
  // At least three point pairs are needed (both lists of equal length). The
  // fit is refused (false, outputs unchanged) when a coordinate is not
  // finite, or when either point set is too close to collinear: its
  // flatness, the ratio of the second to the first singular value of the
  // centred points (about 0.5 or more for a well-shaped triangle), is below
  // the tolerance. The singular values come from the points themselves, and a
  // second one within the rounding of the coordinates counts as 0: collinear
  // and coincident points have flatness 0 under both flags. `strict` selects the
  // tolerance: true uses strictFlatnessTolerance (1e-3, a triangle whose
  // smallest height is about 1/500 of its longest side), false uses
  // relaxedFlatnessTolerance (1e-8, only what the arithmetic cannot resolve).
  // Callers try strict first and accept a relaxed fit second. `report`, when
  // not null, receives the residuals and shape measures (also on refusal,
  // where the residuals stay 0).
  static bool getRigidBodyMap(std::span<const Point> partPoints, std::span<const Point> armPoints,
                              Vector& angles, Vector& translation, Point& origin,
                              RigidBodyFitReport* report, bool strict);
  // Exactly three pairs, from arrays of three points.
  static bool getRigidBodyMap(const Point* partPoints, const Point* armPoints, Vector& angles,
                              Vector& translation, Point& origin, RigidBodyFitReport* report,
                              bool strict) {
    return getRigidBodyMap(std::span<const Point>(partPoints, 3),
                           std::span<const Point>(armPoints, 3), angles, translation, origin,
                           report, strict);
  }
  static bool getRigidBodyMap(const std::vector<Point>& partPoints,
                              const std::vector<Point>& armPoints, Vector& angles,
                              Vector& translation, Point& origin, RigidBodyFitReport* report,
                              bool strict) {
    return getRigidBodyMap(std::span<const Point>(partPoints), std::span<const Point>(armPoints),
                           angles, translation, origin, report, strict);
  }
};

}  // namespace Zorv::Geometry::ThreeDimensional
