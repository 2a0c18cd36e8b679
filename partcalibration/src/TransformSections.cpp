#include "partcalibration/TransformSections.h"

#include <array>
#include <span>
#include <utility>
#include <vector>

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

namespace {

// The nine keys of a transform section with their values, in writing order.
std::array<std::pair<const char*, double>, 9> transformValues(const RigidBodyFit& fit) {
  return {{
      {"RotationOriginX", fit.rotationOrigin.x},
      {"RotationOriginY", fit.rotationOrigin.y},
      {"RotationOriginZ", fit.rotationOrigin.z},
      {"RotationAngleX", Utility::radToDeg(fit.rotationAngles.x)},
      {"RotationAngleY", Utility::radToDeg(fit.rotationAngles.y)},
      {"RotationAngleZ", Utility::radToDeg(fit.rotationAngles.z)},
      {"TranslationX", fit.translation.x},
      {"TranslationY", fit.translation.y},
      {"TranslationZ", fit.translation.z},
  }};
}

}  // namespace

void writeTransformSection(const std::string& settingsFile, const std::string& sectionName,
                           const RigidBodyFit& fit) {
  const IniFileSection section(settingsFile, sectionName, true);
  const auto values = transformValues(fit);
  section.setDoubles(std::span<const std::pair<const char*, double>>(values));
}

void writeTransformSections(const std::string& settingsFile,
                            const std::vector<NamedTransform>& sections) {
  std::vector<IniFileSection::SectionDouble> values;
  values.reserve(sections.size() * 9);
  for (const NamedTransform& section : sections) {
    for (const auto& [key, value] : transformValues(section.fit)) {
      values.push_back({section.sectionName.c_str(), key, value});
    }
  }
  IniFileSection::setDoublesInSections(settingsFile, values);
}
