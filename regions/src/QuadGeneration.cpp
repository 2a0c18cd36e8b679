// Planar and cylinder-based ".quads" files for collections whose surface
// needs no scanned geometry.
#include "regions/QuadGeneration.h"

#include <iostream>
#include <optional>

#include "IniAccess.h"
#include "IniFileSection.h"
#include "ZorvGeometry.h"
#include "console/ConsoleServices.h"
#include "partmodel/CollectionSettings.h"

using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectExtents;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh;

namespace {

// Largest mesh the generators build, in millions of quads.
constexpr double kGeneratorMegaQuads = 500.0;

void say(const std::string& text) {
  std::cout << text;
}

// The quad-file section whose "Name" is the path's file name: the plain
// "QuadFile" compared without regard to case (it counts as position 1), then
// the numbered sections from the next position on, compared exactly.
std::optional<std::string> findGeneratorSection(const ConsoleContext& context,
                                                const std::string& quadFilePath) {
  const std::string& file = context.partSettingsFile;
  const std::size_t slash = quadFilePath.rfind('\\');
  const std::string fileName =
      slash == std::string::npos ? quadFilePath : quadFilePath.substr(slash + 1);
  int counted = 0;
  if (IniFileSection::sectionExists(file, kQuadFileSection)) {
    counted = 1;
    bool same = false;
    iniAccessSucceeds([&] { same = IniFileSection(file, kQuadFileSection, false).valueEquals("Name", fileName); });
    if (same) return std::string(kQuadFileSection);
  }
  for (int k = counted + 1;; ++k) {
    const std::string section = kQuadFileSection + numberToText(k);
    if (!IniFileSection::sectionExists(file, section)) return std::nullopt;
    std::string name;
    if (iniAccessSucceeds([&] { name = IniFileSection(file, section, false).getString("Name"); }) &&
        name == fileName) {
      return section;
    }
  }
}

// The name the path gives the file below the part directory: what follows
// the part settings file's directory and "\" (the path's last part when the
// path lies elsewhere). A name with a separator, a drive or stream colon or
// ".." could put the file outside the part directory: it is refused with one
// line, before anything is read or written.
bool nameStaysInPartDirectory(const ConsoleContext& context, const std::string& quadFilePath) {
  const std::string& file = context.partSettingsFile;
  const std::size_t settingsSlash = file.rfind('\\');
  const std::string prefix =
      (settingsSlash == std::string::npos ? std::string() : file.substr(0, settingsSlash)) + "\\";
  std::string name;
  if (quadFilePath.compare(0, prefix.size(), prefix) == 0) {
    name = quadFilePath.substr(prefix.size());
  } else {
    const std::size_t slash = quadFilePath.rfind('\\');
    name = slash == std::string::npos ? quadFilePath : quadFilePath.substr(slash + 1);
  }
  if (name.find_first_of("/\\:") == std::string::npos && name.find("..") == std::string::npos) {
    return true;
  }
  say("Quad file name " + name + " refused: a name must not contain /, \\, : or \"..\".\n");
  return false;
}

// Asks for a real number until check accepts it; check prints its own refusal.
template <typename Check>
double askForValue(const std::string& prompt, Check&& check) {
  for (;;) {
    say(prompt);
    std::cout.flush();
    double value = -1.0;
    if (!readFromConsole(value)) continue;
    if (check(value)) return value;
  }
}

double readOrAskExtent(const IniFileSection& section, const char* key, const std::string& prompt) {
  double value = 0.0;
  if (iniAccessSucceeds([&] { value = section.getDouble(key); })) return value;
  return askForValue(prompt, [](double typed) {
    if (typed < kMaxTypedExtent) return true;
    say("Invalid extents: maximum value is " + numberToText(kMaxTypedExtent) + "mm.\n");
    return false;
  });
}

double readOrAskPitch(const IniFileSection& section) {
  double value = 0.0;
  if (iniAccessSucceeds([&] { value = section.getDouble("Pitchmm"); })) return value;
  return askForValue("Please enter pitch (mm): ", [](double typed) {
    if (typed >= kMinTypedPitch && typed <= kMaxTypedPitch) return true;
    say("Invalid pitch, must satisfy " + numberToText(kMinTypedPitch) + " <= pitch, mm <= " +
        numberToText(kMaxTypedPitch) + ".\n");
    return false;
  });
}

void printExtents(const RectMesh& mesh) {
  const RectExtents extents = mesh.getExtents();
  say("Quad extents: " + numberToText(extents.getdU()) + ", " + numberToText(extents.getdV()) +
      ".\n");
}

bool saveMesh(const RectMesh& mesh, const std::string& quadFilePath) {
  try {
    mesh.save(quadFilePath);
  } catch (...) {
    say("File " + quadFilePath + " save failure.\n");
    return false;
  }
  say("File " + quadFilePath + " saved successfully.\n");
  return true;
}

}  // namespace

bool generatePlanarQuadFile(ConsoleContext& context, const std::string& quadFilePath) {
  if (!nameStaysInPartDirectory(context, quadFilePath)) return false;
  const std::optional<std::string> sectionName = findGeneratorSection(context, quadFilePath);
  if (!sectionName) return false;
  const IniFileSection section(context.partSettingsFile, *sectionName, false);
  const double u = readOrAskExtent(section, "USizemm", "Please enter u extents (mm): ");
  const double v = readOrAskExtent(section, "VSizemm", "Please enter v extents (mm): ");
  const double pitch = readOrAskPitch(section);
  RectMesh mesh;
  if (!mesh.setAsPlane(Zorv::Geometry::TwoDimensional::Vector<double>(u, v), pitch, true,
                       kGeneratorMegaQuads)) {
    say("Planar .quads file generation failure. Please check parameters and try again.\n");
    return false;
  }
  say("Planar .quads file generated successfully.\n");
  printExtents(mesh);
  return saveMesh(mesh, quadFilePath);
}

bool generateCylinderQuadFile(ConsoleContext& context, const std::string& quadFilePath) {
  if (!nameStaysInPartDirectory(context, quadFilePath)) return false;
  const std::optional<std::string> sectionName = findGeneratorSection(context, quadFilePath);
  if (!sectionName) return false;
  const IniFileSection section(context.partSettingsFile, *sectionName, false);
  RectMesh mesh;
  if (!mesh.setAsCylinderArc(50.0, Utility::twopi / 2.0, 1000.0, 1.0, kGeneratorMegaQuads)) {
    say("Cylinder-based .quads file generation failure. Please check parameters and try "
        "again.\n");
    return false;
  }
  say("Cylinder-based .quads file generated successfully.\n");
  printExtents(mesh);
  return saveMesh(mesh, quadFilePath);
}
