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

// The key that names the arm whose frame a section is in: the arm's serial
// number as the "ArmCalibrationPoints" keys write it (letters and digits, no
// dashes). Every section this program writes carries it after the nine
// keys; readers of the transform ignore it, and a section without it was
// written by older software.
inline constexpr const char* kArmSerialKey = "ArmSerial";

// The composition "outer after inner" in the form of a section: the result
// keeps inner's rotation origin Os and maps P to outer(inner(P)). With
// inner = (Os, Rs, Ts) and outer = (Or, Rr, Tr) its rotation is Rr·Rs and its
// translation Or + Rr(Os + Ts − Or) + Tr − Os.
RigidBodyFit composeTransforms(const RigidBodyFit& outer, const RigidBodyFit& inner);

// The ArmSerial stamp of a section ("" when the file, section or key is not
// there).
std::string readArmSerialStamp(const std::string& settingsFile, const std::string& sectionName);

// Writes the nine keys of the section (RotationOriginX/Y/Z, RotationAngleX/Y/Z
// in degrees, TranslationX/Y/Z, in that order) and then ArmSerial = armSerial
// (left out when armSerial is empty), as one atomic update of the file,
// creating the file or section when missing: a reader or a crash sees the
// old section or the new one, never a mix. Raises
// IniFileSection::IniFileException (thrown as a pointer) when the write fails;
// the file is then unchanged.
void writeTransformSection(const std::string& settingsFile, const std::string& sectionName,
                           const RigidBodyFit& fit, const std::string& armSerial);

// One section for writeTransformSections.
struct NamedTransform {
  std::string sectionName;
  RigidBodyFit fit;
  std::string armSerial;  // "" writes no stamp
};

// writeTransformSection for each section in the given order, as one atomic
// update of the file: the file ends up with exactly the bytes the separate
// writes would leave, but a reader or a crash sees every section wholly old
// or wholly new, and the file is replaced once instead of once per section.
// Raises IniFileSection::IniFileException (thrown as a pointer) when the write
// fails; the file is then unchanged.
void writeTransformSections(const std::string& settingsFile,
                            const std::vector<NamedTransform>& sections);

// The names of all sections of the file, in file order (none when it cannot
// be read).
std::vector<std::string> listSectionNames(const std::string& settingsFile);
// True when the list holds the name (ignoring case, as the profile calls do).
bool containsSectionName(const std::vector<std::string>& names, const std::string& name);

// Removes the sections, as one atomic update of the file. Raises
// IniFileSection::IniFileException (thrown as a pointer) when the file cannot
// be written; it is then unchanged.
void removeTransformSections(const std::string& settingsFile,
                             const std::vector<std::string>& sectionNames);
