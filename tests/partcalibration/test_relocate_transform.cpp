// The relocation of one transform section, in process: whether the section
// is re-fitted to its part points or the two maps are composed, it must
// place every part point where the old section followed by the relocation
// places it, to 1e-9 mm, over far-off points too.
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "partcalibration/Relocation.h"
#include "partmodel/TransformSections.h"

namespace {

using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;

constexpr double kTolerance = 1e-9;  // mm

RigidBodyFit transform(Point origin, Vector anglesDeg, Vector translation) {
  return RigidBodyFit{origin,
                      Vector(Utility::degToRad(anglesDeg.x), Utility::degToRad(anglesDeg.y),
                             Utility::degToRad(anglesDeg.z)),
                      translation};
}

// The largest distance, over the part points and a cloud of points up to
// 5 m away, between the relocated section and relocation ∘ section.
double deviation(const RigidBodyFit& relocated, const RigidBodyFit& relocation,
                 const RigidBodyFit& section, const std::vector<Point>& extra) {
  std::mt19937 random(7);
  std::uniform_real_distribution<double> coordinate(-5000.0, 5000.0);
  std::vector<Point> points = extra;
  for (int i = 0; i < 50; ++i) {
    points.emplace_back(coordinate(random), coordinate(random), coordinate(random));
  }
  double worst = 0.0;
  for (const Point& p : points) {
    const Point want = applyTransform(relocation, applyTransform(section, p));
    worst = std::max(worst, (applyTransform(relocated, p) - want).l());
  }
  return worst;
}

TEST(RelocateTransform, ReFitOrCompositionCarriesEveryPointThroughBothMaps) {
  const RigidBodyFit relocations[] = {
      transform(Point(250, 100, 0), Vector(5, -12.5, 160), Vector(-800.25, 1320.5, -45)),
      transform(Point(0, 0, 0), Vector(0, 0, 0), Vector(600, 0, 0)),  // a pure shift
      transform(Point(-40, 7, 900), Vector(-179, 89.9, 45), Vector(3, -2, 1)),
  };
  const RigidBodyFit sections[] = {
      transform(Point(100, -50, 10), Vector(30, -45.5, 120.25), Vector(1000.5, -250, 300.75)),
      transform(Point(0, 0, 0), Vector(180, 0, 0), Vector(0, 0, 5)),
      transform(Point(-8, 4, 10), Vector(0, 90, 0), Vector(1200, 0, 100)),  // gimbal lock
  };
  const Point zeros[3] = {};
  const Point thin[3] = {Point(0, 0, 0), Point(500, 0, 0), Point(250, 1e-7, 0)};
  const Point collinear[3] = {Point(0, 0, 0), Point(100, 0, 0), Point(200, 0, 0)};
  const Point triangle[3] = {Point(-100, 50, 20), Point(150, 60, -30), Point(20, -220, 90)};
  struct Case {
    const char* what;
    const Point* points;
    bool refitted;  // the re-fit's origin is the points' centroid
  };
  const Case cases[] = {{"explicit points", triangle, true},
                        {"planar: all zero", zeros, false},
                        {"collinear", collinear, false},
                        {"nearly collinear", thin, false},
                        {"no points", nullptr, false}};
  for (const RigidBodyFit& relocation : relocations) {
    for (const RigidBodyFit& section : sections) {
      for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        RigidBodyFit relocated;
        ASSERT_TRUE(relocateTransform(relocation, section, c.points, relocated));
        std::vector<Point> extra;
        if (c.points != nullptr) extra.assign(c.points, c.points + 3);
        EXPECT_LT(deviation(relocated, relocation, section, extra), kTolerance);
        const Point expectedOrigin =
            c.refitted ? Point((Vector(triangle[0]) + Vector(triangle[1]) + Vector(triangle[2])) /
                               3.0)
                       : section.rotationOrigin;
        EXPECT_LT((relocated.rotationOrigin - expectedOrigin).l(), 1e-9);
      }
    }
  }
}

TEST(RelocateTransform, CompositionMatchesItsClosedForm) {
  // Rotation Rr·Rs, origin Os, translation Or + Rr(Os + Ts − Or) + Tr − Os.
  const RigidBodyFit outer =
      transform(Point(250, 100, 0), Vector(0, 0, 90), Vector(-800, 1300, -45));
  const RigidBodyFit inner = transform(Point(10, 20, 30), Vector(0, 0, 0), Vector(1, 2, 3));
  const RigidBodyFit composed = composeTransforms(outer, inner);
  // Rr turns (x, y) into (−y, x): Os + Ts − Or = (−239, −78, 33) → (78, −239, 33).
  EXPECT_NEAR(composed.translation.x, 250 + 78 - 800 - 10, 1e-9);
  EXPECT_NEAR(composed.translation.y, 100 - 239 + 1300 - 20, 1e-9);
  EXPECT_NEAR(composed.translation.z, 0 + 33 - 45 - 30, 1e-9);
  EXPECT_NEAR(composed.rotationAngles.z, Utility::degToRad(90), 1e-12);
  EXPECT_EQ(composed.rotationOrigin, inner.rotationOrigin);

  // A section that is not finite cannot be relocated.
  RigidBodyFit broken = inner;
  broken.translation.x = std::numeric_limits<double>::infinity();
  RigidBodyFit relocated;
  EXPECT_FALSE(relocateTransform(outer, broken, nullptr, relocated));
}

}  // namespace
