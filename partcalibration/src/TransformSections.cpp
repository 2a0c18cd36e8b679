#include "partcalibration/TransformSections.h"

#include "IniFileSection.h"

using Zorv::Geometry::ThreeDimensional::AffineMap;
using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;

AffineMap transformMap(const Vector& rotationAngles, const Vector& translation) {
  LinearMap rotation;
  rotation.setRotation(LinearMap::X, LinearMap::Y, LinearMap::Z, rotationAngles);
  AffineMap map;
  map.setLinearMap(rotation);
  map.setTranslation(translation);
  return map;
}

Point applyTransform(const RigidBodyFit& fit, const Point& partPoint) {
  return fit.rotationOrigin +
         transformMap(fit.rotationAngles, fit.translation)(partPoint - fit.rotationOrigin);
}

void writeTransformSection(const std::string& settingsFile, const std::string& sectionName,
                           const RigidBodyFit& fit) {
  const IniFileSection section(settingsFile, sectionName, true);
  section.setDoubles({
      {"RotationOriginX", fit.rotationOrigin.x},
      {"RotationOriginY", fit.rotationOrigin.y},
      {"RotationOriginZ", fit.rotationOrigin.z},
      {"RotationAngleX", Utility::radToDeg(fit.rotationAngles.x)},
      {"RotationAngleY", Utility::radToDeg(fit.rotationAngles.y)},
      {"RotationAngleZ", Utility::radToDeg(fit.rotationAngles.z)},
      {"TranslationX", fit.translation.x},
      {"TranslationY", fit.translation.y},
      {"TranslationZ", fit.translation.z},
  });
}
