#include "partmodel/TransformSections.h"

#include <array>
#include <cstdint>
#include <utility>
#include <vector>

#include "IniFileSection.h"
#include "platform/profile.h"

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

// The changes that write one section with its stamp, appended to changes.
void appendSectionChanges(const NamedTransform& section,
                          std::vector<IniFileSection::SectionChange>& changes) {
  using Change = IniFileSection::SectionChange;
  const char* name = section.sectionName.c_str();
  for (const auto& [key, value] : transformValues(section.fit)) {
    changes.push_back({Change::Real, name, key, value, nullptr});
  }
  if (!section.armSerial.empty()) {
    changes.push_back({Change::Text, name, kArmSerialKey, 0.0, section.armSerial.c_str()});
  }
}

}  // namespace

RigidBodyFit composeTransforms(const RigidBodyFit& outer, const RigidBodyFit& inner) {
  const AffineMap outerMap = transformMap(outer.rotationAngles, outer.translation);
  const AffineMap innerMap = transformMap(inner.rotationAngles, inner.translation);
  const LinearMap rotation = outerMap.getLinearMap() * innerMap.getLinearMap();
  const Point& os = inner.rotationOrigin;
  const Point& origin = outer.rotationOrigin;
  // outer(inner(P)) = Or + Rr(Os + Rs(P − Os) + Ts − Or) + Tr
  //                 = Os + Rr Rs (P − Os) + [Or + Rr(Os + Ts − Or) + Tr − Os].
  const Point moved = origin + outerMap((os + inner.translation) - origin);
  RigidBodyFit composed;
  composed.rotationOrigin = os;
  composed.rotationAngles = rotation.getRotationAngles(LinearMap::X, LinearMap::Y, LinearMap::Z);
  composed.translation = moved - os;
  return composed;
}

std::string readArmSerialStamp(const std::string& settingsFile, const std::string& sectionName) {
  if (!IniFileSection::keyExists(settingsFile, sectionName, kArmSerialKey)) return std::string();
  std::string stamp;
  try {
    stamp = IniFileSection(settingsFile, sectionName, false).getString(kArmSerialKey);
  } catch (IniFileSection::IniFileException* e) {
    delete e;
  }
  return stamp;
}

void writeTransformSection(const std::string& settingsFile, const std::string& sectionName,
                           const RigidBodyFit& fit, const std::string& armSerial) {
  writeTransformSections(settingsFile, {NamedTransform{sectionName, fit, armSerial}});
}

void writeTransformSections(const std::string& settingsFile,
                            const std::vector<NamedTransform>& sections) {
  std::vector<IniFileSection::SectionChange> changes;
  changes.reserve(sections.size() * 10);
  for (const NamedTransform& section : sections) appendSectionChanges(section, changes);
  IniFileSection::changeSections(settingsFile, changes);
}

std::vector<std::string> listSectionNames(const std::string& settingsFile) {
  std::vector<char> buffer(4096);
  std::uint32_t length = 0;
  for (;;) {
    const auto size = static_cast<std::uint32_t>(buffer.size());
    length = platform::getProfileString(nullptr, nullptr, nullptr, buffer.data(), size,
                                        settingsFile.c_str());
    // A list that did not fit comes back cut to size - 2 characters.
    if (length + 2 < size) break;
    buffer.resize(buffer.size() * 2);
  }
  std::vector<std::string> names;
  for (std::size_t at = 0; at < length;) {
    const std::string name(buffer.data() + at);
    at += name.size() + 1;
    names.push_back(name);
  }
  return names;
}

bool containsSectionName(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& candidate : names) {
    if (IniFileSection::equalsIgnoreCase(candidate, name)) return true;
  }
  return false;
}

void removeTransformSections(const std::string& settingsFile,
                             const std::vector<std::string>& sectionNames) {
  std::vector<IniFileSection::SectionChange> changes;
  for (const std::string& name : sectionNames) {
    changes.push_back(
        {IniFileSection::SectionChange::RemoveSection, name.c_str(), nullptr, 0.0, nullptr});
  }
  IniFileSection::changeSections(settingsFile, changes);
}
