// Rotations, Euler angles and the rigid-body fit.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "ZorvGeometry.h"

namespace {

using namespace Zorv::Geometry::ThreeDimensional;

constexpr double kPi = Utility::pi;

LinearMap rotation(int a0, int a1, int a2, const Vector& angles) {
  LinearMap m;
  EXPECT_TRUE(m.setRotation(a0, a1, a2, angles));
  return m;
}

double maxDifference(const LinearMap& a, const LinearMap& b) {
  double d = 0.0;
  for (int i = 0; i < 3; ++i)
    for (int j = 0; j < 3; ++j) d = std::max(d, std::fabs(a(i, j) - b(i, j)));
  return d;
}

TEST(LinearMap, ArmAnglesGiveTheVendorProbeDirections) {
  // Z, X, Z with (psi, theta, phi) is Rz(phi)·Rx(theta)·Rz(psi); its columns
  // are the probe directions of the vendor's convention.
  const double phi = 0.7, theta = -1.1, psi = 2.3;
  const LinearMap m = rotation(2, 0, 2, Vector(psi, theta, phi));
  const double c1 = std::cos(phi), s1 = std::sin(phi), c2 = std::cos(theta), s2 = std::sin(theta);
  const double c3 = std::cos(psi), s3 = std::sin(psi);
  const Vector x(c3 * c1 - s3 * c2 * s1, c3 * s1 + s3 * c2 * c1, s3 * s2);
  const Vector y(-s3 * c1 - c3 * c2 * s1, -s3 * s1 + c3 * c2 * c1, c3 * s2);
  const Vector z(s2 * s1, -s2 * c1, c2);
  EXPECT_LT((m(Vector(1, 0, 0)) - x).l(), 1e-15);
  EXPECT_LT((m(Vector(0, 1, 0)) - y).l(), 1e-15);
  EXPECT_LT((m(Vector(0, 0, 1)) - z).l(), 1e-15);
}

TEST(LinearMap, FirstAxisTurnsFirstAboutFixedAxes) {
  // A quarter turn about X then a quarter turn about Y: (0, 1, 0) goes to
  // (0, 0, 1) and then to (1, 0, 0).
  const LinearMap m = rotation(0, 1, 2, Vector(kPi / 2, kPi / 2, 0.0));
  EXPECT_LT((m(Vector(0, 1, 0)) - Vector(1, 0, 0)).l(), 1e-15);
  LinearMap bad;
  EXPECT_FALSE(bad.setRotation(0, 0, 1, Vector(1, 2, 3)));
  EXPECT_FALSE(bad.setRotation(0, 1, 3, Vector(1, 2, 3)));
  EXPECT_EQ(bad, LinearMap());
}

TEST(LinearMap, InverseAndAffineComposition) {
  const LinearMap m = rotation(0, 1, 2, Vector(0.3, -0.4, 1.2));
  LinearMap inv;
  ASSERT_TRUE(m.getInverse(inv));
  EXPECT_LT(maxDifference(inv * m, LinearMap()), 1e-15);
  LinearMap singular;
  singular(2, 2) = 0.0;
  EXPECT_FALSE(singular.getInverse(inv));

  AffineMap a(m, Vector(1, 2, 3));
  // A displacement goes through the rotation, then the translation.
  EXPECT_LT((a(Vector(1, 0, 0)) - (m(Vector(1, 0, 0)) + Vector(1, 2, 3))).l(), 1e-15);
  AffineMap ai;
  ASSERT_TRUE(a.getInverse(ai));
  const Point p(5, -7, 11);
  EXPECT_LT((ai(a(p)) - p).l(), 1e-13);
}

struct AxisOrder {
  int a0, a1, a2;
};

class EulerRoundTrip : public ::testing::TestWithParam<AxisOrder> {};

TEST_P(EulerRoundTrip, RebuildsEveryRotationIncludingGimbalLock) {
  const AxisOrder o = GetParam();
  const bool proper = o.a0 == o.a2;
  const double lock = proper ? 0.0 : kPi / 2;  // middle angle at gimbal lock
  std::mt19937_64 rng(42);
  std::uniform_real_distribution<double> any(-kPi, kPi);
  std::vector<Vector> cases;
  for (int i = 0; i < 2000; ++i) cases.emplace_back(any(rng), any(rng), any(rng));
  // Within 1e-6 rad of the lock (and exactly at it), on both sides.
  const double offsets[] = {0.0, 1e-15, 1e-12, 1e-9, 3e-7, 1e-6, -1e-15, -1e-9, -1e-6};
  for (double off : offsets) {
    for (int i = 0; i < 50; ++i) {
      const double first = any(rng), last = any(rng);
      if (proper) {
        cases.emplace_back(first, std::fabs(off), last);
        cases.emplace_back(first, kPi - std::fabs(off), last);
      } else {
        cases.emplace_back(first, lock - std::fabs(off), last);
        cases.emplace_back(first, -lock + std::fabs(off), last);
        cases.emplace_back(first, lock + off, last);
      }
    }
  }
  double worst = 0.0;
  for (const Vector& angles : cases) {
    const LinearMap m = rotation(o.a0, o.a1, o.a2, angles);
    const Vector back = m.getRotationAngles(o.a0, o.a1, o.a2);
    const LinearMap rebuilt = rotation(o.a0, o.a1, o.a2, back);
    worst = std::max(worst, maxDifference(m, rebuilt));
    if (proper) {
      EXPECT_GE(back[1], 0.0);
      EXPECT_LE(back[1], kPi);
    } else {
      EXPECT_LE(std::fabs(back[1]), kPi / 2);
    }
    for (int k = 0; k < 3; ++k) {
      EXPECT_GT(back[k], -kPi - 1e-15);
      EXPECT_LE(back[k], kPi + 1e-15);
    }
  }
  EXPECT_LT(worst, 1e-12);
}

TEST_P(EulerRoundTrip, RecoversCanonicalAnglesAwayFromLock) {
  const AxisOrder o = GetParam();
  const bool proper = o.a0 == o.a2;
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> outer(-3.0, 3.0);
  std::uniform_real_distribution<double> middle(proper ? 0.1 : -1.4, proper ? 3.0 : 1.4);
  for (int i = 0; i < 500; ++i) {
    const Vector angles(outer(rng), middle(rng), outer(rng));
    const Vector back = rotation(o.a0, o.a1, o.a2, angles).getRotationAngles(o.a0, o.a1, o.a2);
    EXPECT_LT((back - angles).l(), 1e-12) << angles.x << " " << angles.y << " " << angles.z;
  }
}

INSTANTIATE_TEST_SUITE_P(Orders, EulerRoundTrip,
                         ::testing::Values(AxisOrder{0, 1, 2}, AxisOrder{2, 1, 0},
                                           AxisOrder{1, 0, 2}, AxisOrder{2, 0, 2},
                                           AxisOrder{0, 1, 0}, AxisOrder{1, 2, 1}));

// Applies a fit the way callers do: O + M(P − O), M from the X, Y, Z angles
// and the translation.
Point applyFit(const Vector& angles, const Vector& translation, const Point& origin,
               const Point& p) {
  LinearMap r;
  r.setRotation(LinearMap::X, LinearMap::Y, LinearMap::Z, angles);
  AffineMap m;
  m.setLinearMap(r);
  m.setTranslation(translation);
  return origin + m(p - origin);
}

TEST(RigidBodyFit, RecoversRandomRigidTransformsExactly) {
  std::mt19937_64 rng(1234);
  std::uniform_real_distribution<double> angle(-kPi, kPi);
  std::uniform_real_distribution<double> coordinate(-1500.0, 1500.0);
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  std::uniform_real_distribution<double> size(5.0, 800.0);
  const double nearLock[] = {1e-6, 1e-9, 0.0, -1e-7};
  for (int trial = 0; trial < 600; ++trial) {
    Vector trueAngles(angle(rng), angle(rng) / 2, angle(rng));
    if (trial % 3 == 0) trueAngles.y = (trial % 2 ? 1 : -1) * (kPi / 2 - nearLock[trial % 4]);
    LinearMap r;
    r.setRotation(0, 1, 2, trueAngles);
    const Vector shift(coordinate(rng), coordinate(rng), coordinate(rng));
    const Point centre(coordinate(rng), coordinate(rng), coordinate(rng));
    const double s = size(rng);
    const int count = 3 + trial % 3;
    std::vector<Point> part, arm;
    for (int i = 0; i < count; ++i) {
      part.push_back(centre + Vector(unit(rng), unit(rng), unit(rng)) * s);
      arm.push_back(r(part.back()) + shift);
    }
    Vector angles, translation;
    Point origin;
    RigidBodyFitReport report;
    ASSERT_TRUE(Utility::getRigidBodyMap(part, arm, angles, translation, origin, &report, true));
    for (int i = 0; i < count; ++i) {
      EXPECT_LT((applyFit(angles, translation, origin, part[i]) - arm[i]).l(), 1e-9);
    }
    // The whole space moves rigidly, not just the three points.
    const Point probe = centre + Vector(unit(rng), unit(rng), unit(rng)) * (3 * s);
    EXPECT_LT((applyFit(angles, translation, origin, probe) - (r(probe) + shift)).l(), 1e-9);
    EXPECT_LT(report.rmsResidual, 1e-9);
  }
}

TEST(RigidBodyFit, AcceptsArraysAndGivesTheCentroidAsOrigin) {
  const std::array<Point, 3> part = {Point(0, 0, 0), Point(100, 0, 0), Point(0, 50, 0)};
  const std::array<Point, 3> arm = {Point(10, 20, 30), Point(10, 120, 30), Point(-40, 20, 30)};
  Vector angles, translation;
  Point origin;
  ASSERT_TRUE(Utility::getRigidBodyMap(part, arm, angles, translation, origin, nullptr, true));
  EXPECT_LT((origin - Point(100.0 / 3, 50.0 / 3, 0)).l(), 1e-12);
  EXPECT_NEAR(angles.z, kPi / 2, 1e-12);
  // Plain arrays of three points give the same fit.
  const Point partArray[3] = {part[0], part[1], part[2]};
  const Point armArray[3] = {arm[0], arm[1], arm[2]};
  Vector angles2, translation2;
  Point origin2;
  ASSERT_TRUE(
      Utility::getRigidBodyMap(partArray, armArray, angles2, translation2, origin2, NULL, false));
  EXPECT_EQ(angles2, angles);
  EXPECT_EQ(translation2, translation);
  for (int i = 0; i < 3; ++i)
    EXPECT_LT((applyFit(angles, translation, origin, part[i]) - arm[i]).l(), 1e-9);
}

TEST(RigidBodyFit, LeastSquaresWithNoisyPointsAndNoReflection) {
  std::mt19937_64 rng(99);
  std::normal_distribution<double> noise(0.0, 0.3);
  const std::vector<Point> part = {Point(0, 0, 0), Point(200, 0, 0), Point(30, 150, 0),
                                   Point(80, 60, 40)};
  LinearMap r;
  r.setRotation(0, 1, 2, Vector(0.2, -0.5, 1.0));
  const Vector shift(100, -50, 25);
  std::vector<Point> arm;
  for (const Point& p : part)
    arm.push_back(r(p) + shift + Vector(noise(rng), noise(rng), noise(rng)));
  Vector angles, translation;
  Point origin;
  RigidBodyFitReport report;
  ASSERT_TRUE(Utility::getRigidBodyMap(part, arm, angles, translation, origin, &report, true));
  double fitted = 0.0, truth = 0.0;
  for (std::size_t i = 0; i < part.size(); ++i) {
    fitted += (applyFit(angles, translation, origin, part[i]) - arm[i]).lSqr();
    truth += (r(part[i]) + shift - arm[i]).lSqr();
  }
  EXPECT_LE(fitted, truth + 1e-12);  // the fit is at least as good as the truth
  EXPECT_NEAR(report.rmsResidual, std::sqrt(fitted / part.size()), 1e-9);

  // Mirrored points cannot be matched by a rotation: the fit stays a proper
  // rotation and reports the misfit.
  std::vector<Point> mirrored;
  for (const Point& p : part) mirrored.push_back(Point(-p.x, p.y, p.z));
  ASSERT_TRUE(Utility::getRigidBodyMap(part, mirrored, angles, translation, origin, &report, true));
  LinearMap m;
  m.setRotation(0, 1, 2, angles);
  EXPECT_TRUE(m.getIsRotation());
  EXPECT_GT(report.rmsResidual, 1.0);
}

TEST(RigidBodyFit, RefusesDegenerateInput) {
  const double nan = std::nan("");
  const double inf = HUGE_VAL;
  const Point a(0, 0, 0), b(100, 0, 0), c(0, 100, 0);
  struct Case {
    const char* what;
    std::vector<Point> part, arm;
  };
  const std::vector<Case> cases = {
      {"coincident part points", {a, a, a}, {a, b, c}},
      {"coincident arm points", {a, b, c}, {c, c, c}},
      {"collinear part points", {a, b, Point(250, 0, 0)}, {a, b, c}},
      {"collinear arm points", {a, b, c}, {a, Point(0, 0, 10), Point(0, 0, 30)}},
      {"two equal points", {a, b, b}, {a, b, c}},
      {"not a number", {a, b, Point(0, nan, 0)}, {a, b, c}},
      {"infinite", {a, b, c}, {a, Point(inf, 0, 0), c}},
      {"two points", {a, b}, {a, b}},
      {"different counts", {a, b, c}, {a, b, c, c}},
  };
  for (const Case& k : cases) {
    for (bool strict : {true, false}) {
      Vector angles(9, 9, 9), translation(8, 8, 8);
      Point origin(7, 7, 7);
      EXPECT_FALSE(
          Utility::getRigidBodyMap(k.part, k.arm, angles, translation, origin, nullptr, strict))
          << k.what;
      EXPECT_EQ(angles, Vector(9, 9, 9)) << k.what;
      EXPECT_EQ(translation, Vector(8, 8, 8)) << k.what;
      EXPECT_EQ(origin, Point(7, 7, 7)) << k.what;
    }
  }
}

TEST(RigidBodyFit, StrictThenRelaxedForThinTriangles) {
  // A 1000 mm triangle only 1e-3 mm high: too thin for the strict tolerance,
  // still exactly solvable with the relaxed one.
  const std::vector<Point> part = {Point(0, 0, 0), Point(1000, 0, 0), Point(500, 0.001, 0)};
  LinearMap r;
  r.setRotation(0, 1, 2, Vector(0.1, 0.2, 0.3));
  std::vector<Point> arm;
  for (const Point& p : part) arm.push_back(r(p) + Vector(5, 6, 7));
  Vector angles, translation;
  Point origin;
  RigidBodyFitReport report;
  EXPECT_FALSE(Utility::getRigidBodyMap(part, arm, angles, translation, origin, &report, true));
  EXPECT_LT(report.partFlatness, Utility::strictFlatnessTolerance);
  ASSERT_TRUE(Utility::getRigidBodyMap(part, arm, angles, translation, origin, &report, false));
  for (std::size_t i = 0; i < part.size(); ++i) {
    EXPECT_LT((applyFit(angles, translation, origin, part[i]) - arm[i]).l(), 1e-9);
  }
}

// A random unit vector.
Vector randomDirection(std::mt19937_64& rng) {
  std::normal_distribution<double> g(0.0, 1.0);
  for (;;) {
    const Vector v(g(rng), g(rng), g(rng));
    if (v.l() > 1e-3) return v.getNormalised();
  }
}

// Collinear points along lines of every direction, at every distance from
// the origin and of every length, and coincident points: refused under both
// flags, whichever of the two sets (or both) is degenerate, with a flatness
// that shows no more than rounding.
TEST(RigidBodyFit, RefusesCollinearAndCoincidentSetsInEveryDirection) {
  std::mt19937_64 rng(2024);
  std::uniform_real_distribution<double> coordinate(-3000.0, 3000.0);
  std::uniform_real_distribution<double> logLength(-4.0, 3.5);  // 0.1 µm to 3 m
  std::uniform_real_distribution<double> unit(-1.0, 1.0);
  int acceptedStrict = 0, acceptedRelaxed = 0, noisy = 0, changed = 0;
  const int trials = 3000;
  for (int trial = 0; trial < trials; ++trial) {
    const int count = 3 + trial % 4;
    const Point base(coordinate(rng), coordinate(rng), coordinate(rng));
    const Vector direction = randomDirection(rng);
    const double length = std::pow(10.0, logLength(rng));
    const bool coincident = trial % 10 == 9;
    // The same positions along another line elsewhere, and a well-shaped set.
    const Point otherBase(coordinate(rng), coordinate(rng), coordinate(rng));
    const Vector otherDirection = randomDirection(rng);
    std::vector<Point> line, moved, solid;
    for (int i = 0; i < count; ++i) {
      // Positions along the line; a repeated position now and then.
      const double s = (i == 0 || (i == 2 && trial % 7 == 0)) ? 0.0 : unit(rng) * length;
      line.push_back(coincident ? base : base + direction * s);
      moved.push_back(coincident ? otherBase : otherBase + otherDirection * s);
      solid.push_back(base + Vector(unit(rng), unit(rng), unit(rng)) * 100.0);
    }
    const std::vector<Point>* pairs[3][2] = {{&line, &solid}, {&solid, &line}, {&line, &moved}};
    for (const auto& pair : pairs) {
      for (bool strict : {true, false}) {
        Vector angles(9, 9, 9), translation(8, 8, 8);
        Point origin(7, 7, 7);
        RigidBodyFitReport report;
        const bool fitted = Utility::getRigidBodyMap(*pair[0], *pair[1], angles, translation,
                                                     origin, &report, strict);
        if (fitted) {
          ++(strict ? acceptedStrict : acceptedRelaxed);
          if (acceptedStrict + acceptedRelaxed == 1) {
            ADD_FAILURE() << "first accepted: trial " << trial << (strict ? " strict" : " relaxed")
                          << ", " << count << " points, length " << length << ", part flatness "
                          << report.partFlatness << ", arm flatness " << report.armFlatness;
          }
        }
        if (angles != Vector(9, 9, 9) || translation != Vector(8, 8, 8) ||
            origin != Point(7, 7, 7)) {
          ++changed;
        }
        // Only rounding remains of the degenerate sets' flatness; the solid
        // set is measured as solid.
        const double part = report.partFlatness, arm = report.armFlatness;
        const double limit = Utility::relaxedFlatnessTolerance * 1e-3;
        const bool partSolid = pair[0] == &solid, armSolid = pair[1] == &solid;
        const bool measuredRight =
            (partSolid ? part >= 1e-3 : part < limit) && (armSolid ? arm >= 1e-3 : arm < limit);
        if (!measuredRight && ++noisy == 1) {
          ADD_FAILURE() << "first noisy measure: trial " << trial << ", length " << length
                        << ", part flatness " << part << ", arm flatness " << arm;
        }
      }
    }
  }
  EXPECT_EQ(acceptedStrict, 0) << "of " << 3 * trials;
  EXPECT_EQ(acceptedRelaxed, 0) << "of " << 3 * trials;
  EXPECT_EQ(noisy, 0) << "of " << 6 * trials;
  EXPECT_EQ(changed, 0);
}

// Triangles of known flatness (orthogonal centred coordinates give the
// singular values directly) in random orientations and places: the reported
// flatness is the true one to 1e-4 of itself, the strict flag refuses
// below 1e-3, the relaxed one accepts down to 1e-8 and the fit reproduces the
// points.
TEST(RigidBodyFit, ThinTrianglesAreMeasuredExactlyAndKeepTheTwoTolerances) {
  std::mt19937_64 rng(77);
  std::uniform_real_distribution<double> coordinate(-1500.0, 1500.0);
  std::uniform_real_distribution<double> logSize(std::log10(50.0), std::log10(2000.0));
  std::uniform_real_distribution<double> angle(-kPi, kPi);
  struct Band {
    double logLo, logHi;
    bool strict, relaxed;
  };
  // Just above the relaxed tolerance up to well-shaped, and just below it.
  const Band bands[] = {{std::log10(1.5e-8), -3.2, false, true},
                        {-2.8, std::log10(0.5), true, true},
                        {-11.0, std::log10(0.6e-8), false, false}};
  double worstTurn = 0.0;  // rotation error times the triangle's height
  for (const Band& band : bands) {
    std::uniform_real_distribution<double> logFlatness(band.logLo, band.logHi);
    for (int trial = 0; trial < 400; ++trial) {
      const double flatness = std::pow(10.0, logFlatness(rng));
      const double size = std::pow(10.0, logSize(rng));
      // Centred coordinates x = L(−1, 1, 0) along u and y = h(1, 1, −2) along
      // w, x ⟂ y and u ⟂ w: singular values L√2 and h√6.
      const Vector u = randomDirection(rng);
      const Vector w = u.cross(randomDirection(rng)).getNormalised();
      const double h = flatness * size * std::sqrt(2.0) / std::sqrt(6.0);
      const Point centre(coordinate(rng), coordinate(rng), coordinate(rng));
      const std::vector<Point> part = {centre - u * size + w * h, centre + u * size + w * h,
                                       centre - w * (2 * h)};
      LinearMap r;
      r.setRotation(0, 1, 2, Vector(angle(rng), angle(rng) / 2, angle(rng)));
      const Vector shift(coordinate(rng), coordinate(rng), coordinate(rng));
      std::vector<Point> arm;
      arm.reserve(part.size());
      for (const Point& p : part) arm.push_back(r(p) + shift);

      Vector angles, translation;
      Point origin;
      RigidBodyFitReport report;
      EXPECT_EQ(Utility::getRigidBodyMap(part, arm, angles, translation, origin, &report, true),
                band.strict)
          << flatness;
      if (band.relaxed) {
        EXPECT_NEAR(report.partFlatness, flatness, flatness * 1e-4) << size;
        EXPECT_NEAR(report.armFlatness, flatness, flatness * 1e-4) << size;
      }
      const bool relaxed =
          Utility::getRigidBodyMap(part, arm, angles, translation, origin, &report, false);
      EXPECT_EQ(relaxed, band.relaxed)
          << "flatness " << flatness << ", size " << size << ", measured " << report.partFlatness;
      if (relaxed) {
        for (std::size_t i = 0; i < part.size(); ++i) {
          EXPECT_LT((applyFit(angles, translation, origin, part[i]) - arm[i]).l(), 1e-9);
        }
        // The roll about the long side too: the coordinates, rounded to about
        // 1e-13 mm, fix it to about 1e-13 / height.
        worstTurn = std::max(worstTurn, maxDifference(rotation(0, 1, 2, angles), r) * h);
      }
    }
  }
  EXPECT_LT(worstTurn, 1e-11);
}

TEST(Utility, AngleConversions) {
  EXPECT_DOUBLE_EQ(Utility::degToRad(180.0), kPi);
  EXPECT_DOUBLE_EQ(Utility::radToDeg(kPi / 2), 90.0);
  EXPECT_DOUBLE_EQ(Utility::twopi / 4, kPi / 2);
  EXPECT_TRUE(Point().getIsNull());
  EXPECT_FALSE(Point(0, 1e-300, 0).getIsNull());
}

}  // namespace
