// The part-to-arm transform of one collection at one part position as seen
// from one arm position, as the calibration fits it and as it is stored in a
// "PartLocalToArmGlobal" + a + c + p section: a part-local point P maps to
// rotationOrigin + M (P - rotationOrigin), M being the rotation about X, Y, Z
// by rotationAngles followed by the translation.
#pragma once

#include <string>
#include <vector>

#include "ZorvGeometry.h"

struct RigidBodyFit {
  Zorv::Geometry::ThreeDimensional::Point rotationOrigin;   // mm
  Zorv::Geometry::ThreeDimensional::Vector rotationAngles;  // radians, about X, Y, Z
  Zorv::Geometry::ThreeDimensional::Vector translation;     // mm
};

// The map M of a fit (rotation then translation).
Zorv::Geometry::ThreeDimensional::AffineMap transformMap(
    const Zorv::Geometry::ThreeDimensional::Vector& rotationAngles,
    const Zorv::Geometry::ThreeDimensional::Vector& translation);
// Where the fit carries a part-local point.
Zorv::Geometry::ThreeDimensional::Point applyTransform(
    const RigidBodyFit& fit, const Zorv::Geometry::ThreeDimensional::Point& partPoint);

// Writes the nine keys of the section (RotationOriginX/Y/Z, RotationAngleX/Y/Z
// in degrees, TranslationX/Y/Z, in that order) as one atomic update of the
// file, creating the file or section when missing: a reader or a crash sees
// the old section or the new one, never a mix. Raises
// IniFileSection::IniFileException (thrown as a pointer) when the write fails;
// the file is then unchanged.
void writeTransformSection(const std::string& settingsFile, const std::string& sectionName,
                           const RigidBodyFit& fit);

// One section for writeTransformSections.
struct NamedTransform {
  std::string sectionName;
  RigidBodyFit fit;
};

// writeTransformSection for each section in the given order, as one atomic
// update of the file: the file ends up with exactly the bytes the separate
// writes would leave, but a reader or a crash sees every section wholly old
// or wholly new, and the file is replaced once instead of once per section.
// Raises IniFileSection::IniFileException (thrown as a pointer) when the write
// fails; the file is then unchanged.
void writeTransformSections(const std::string& settingsFile,
                            const std::vector<NamedTransform>& sections);
