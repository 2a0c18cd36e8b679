// Region settings: quad-file, part transform and probe position sections, and
// the loading and placing of a region's meshes.
#include "regions/RegionSettings.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>
#include <optional>

#include "IniAccess.h"
#include "IniFileSection.h"
#include "console/ConsoleServices.h"
#include "partmodel/CollectionSettings.h"

using Zorv::Geometry::ThreeDimensional::AffineMap;
using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMeshGroups;
using Offset = Zorv::Geometry::TwoDimensional::Vector<int>;

namespace {

constexpr const char* kProbePositionSection = "ArmLocalTipToActiveLocalCentre";
constexpr const char* kAxes = "XYZ";

// Reads base + "X", "Y", "Z" into the vector. A component that is missing
// or not a finite number is reported (unless quiet) and marks the group
// failed; the other components are still read.
bool readGroup(ConsoleContext& context, const IniFileSection& section, const std::string& base,
               double scale, Vector& values, bool quiet) {
  bool ok = true;
  for (int i = 0; i < 3; ++i) {
    const std::string key = base + kAxes[i];
    double value = 0.0;
    const bool read = iniAccessSucceeds([&] { value = section.getDouble(key.c_str()); });
    if (read && std::isfinite(value)) {
      values[i] = value * scale;
      continue;
    }
    if (!quiet) {
      context.print("Section " + section.sectionName + " has invalid syntax. Missing " + key +
                    " key.\n");
    }
    ok = false;
  }
  return ok;
}

std::string retrieveFailMessage(const std::string& section, const std::string& file) {
  return "Retrieve fail from section " + section + " of " + file + ".\n";
}

// "CollectionIndex" of the section as the file writes it, for a refusal: the
// integer read wraps values beyond 32 bits, so it may differ from the text
// the operator has to correct. The integer when the text cannot be read.
std::string writtenCollectionIndex(const std::string& file, const std::string& section,
                                   int readIndex) {
  std::string text = numberToText(readIndex);
  iniAccessSucceeds(
      [&] { text = IniFileSection(file, section, false).getString("CollectionIndex"); });
  return text;
}

// The quad-file sections of the loader: position 1 is the plain "QuadFile"
// when it exists, else QuadFile1; the list ends at the first gap.
std::vector<std::string> loaderQuadFileSections(const std::string& settingsFile) {
  std::vector<std::string> sections;
  for (int n = 1;; ++n) {
    std::string section = kQuadFileSection + numberToText(n);
    if (n == 1 && IniFileSection::sectionExists(settingsFile, kQuadFileSection)) {
      section = kQuadFileSection;
    }
    if (!IniFileSection::sectionExists(settingsFile, section)) break;
    sections.push_back(section);
  }
  return sections;
}

// The transform name limits of a settings file, read on first use only: they
// take a read of every quad-file and calibration-points section, and a
// placement needs them at most once, for names of more than three digits.
class NameLimits {
 public:
  explicit NameLimits(const std::string& file) : file_(file) {}
  const std::string& file() const { return file_; }
  const TransformNameLimits& get() {
    if (!limits_) limits_ = transformNameLimits(file_);
    return *limits_;
  }

 private:
  const std::string& file_;
  std::optional<TransformNameLimits> limits_;
};

// findPartTransformSection with the limits shared between calls. An
// ambiguous full name refuses the position only when that section is there
// (`ambiguous` then names it); otherwise the older names are tried as usual.
std::string findTransformSection(NameLimits& limits, int collectionCount, int armPosition,
                                 int collection, int partPosition,
                                 std::string* ambiguous = nullptr) {
  const std::string& file = limits.file();
  const int a = armPosition + 1;
  const int p = partPosition + 1;
  if (a < 1 || collection < 1 || p < 1) return std::string();
  const std::string name = partTransformSectionName(a, collection, p);
  if (IniFileSection::sectionExists(file, name)) {
    // Three single digits split only into the triple itself, whatever the
    // file's limits.
    const bool singleDigits = a < 10 && collection < 10 && p < 10;
    if (!singleDigits && !partTransformNameIsUnambiguous(a, collection, p, limits.get())) {
      if (ambiguous != nullptr) *ambiguous = name;
      return std::string();
    }
    return name;
  }
  if (collectionCount != 1 || p != 1) return std::string();
  if (olderPartTransformNameIsUsable(a)) {
    const std::string older = olderPartTransformSectionName(a);
    if (IniFileSection::sectionExists(file, older)) return older;
  }
  if (a == 1 && IniFileSection::sectionExists(file, kPartTransformSection)) {
    return kPartTransformSection;
  }
  return std::string();
}

LinearMap rotationXYZ(const Vector& angles) {
  LinearMap rotation;
  rotation.setRotation(LinearMap::X, LinearMap::Y, LinearMap::Z, angles);
  return rotation;
}

}  // namespace

bool readQuadFileSection(ConsoleContext& context, const std::string& sectionName,
                         QuadFileEntry& entry) {
  const IniFileSection section(context.partSettingsFile, sectionName, false);
  bool ok = true;
  if (!iniAccessSucceeds([&] { entry.name = section.getString("Name"); })) {
    context.print("Section " + sectionName + " has invalid syntax. Missing Name key.\n");
    ok = false;
  }
  int index = 1;
  if (!iniAccessSucceeds([&] { index = section.getInt("CollectionIndex"); })) {
    context.print("Section " + sectionName +
                  " has partial syntax. Missing CollectionIndex key, defaulting to 0.\n");
    index = 1;
  }
  entry.collectionIndex = index;
  // Any int can be read: the lowest has no predecessor and stays as it is.
  entry.collection = index > std::numeric_limits<int>::min() ? index - 1 : index;
  int offsetU = 0;
  int offsetV = 0;
  if (iniAccessSucceeds([&] {
        offsetV = section.getInt("OffsetV");
        offsetU = section.getInt("OffsetU");
      })) {
    entry.offset = Offset(offsetU, offsetV);
  } else {
    context.print("Section " + sectionName +
                  " has partial syntax. At least one missing Offset key, defaulting to (0, 0).\n");
  }
  iniAccessSucceeds([&] { entry.flipNormals = section.getBool("FlipNormals"); });
  iniAccessSucceeds([&] { entry.flipUAxis = section.getBool("FlipUAxis"); });
  iniAccessSucceeds([&] { entry.flipVAxis = section.getString("FlipVAxis") == "true"; });
  return ok;
}

bool readTransformSection(ConsoleContext& context, const std::string& settingsFile,
                          const std::string& sectionName, SectionTransform& transform,
                          bool quiet) {
  const IniFileSection section(settingsFile, sectionName, false);
  SectionTransform read;
  Vector origin;
  bool ok = readGroup(context, section, "RotationAngle", Utility::degToRad(1.0),
                      read.rotationAngles, quiet);
  ok = ok && readGroup(context, section, "Translation", 1.0, read.translation, quiet);
  ok = ok && readGroup(context, section, "RotationOrigin", 1.0, origin, quiet);
  if (!ok) return false;
  read.rotationOrigin = Point(origin);
  transform = read;
  return true;
}

bool readProbeTransformSection(ConsoleContext& context, const std::string& sectionName,
                               Vector& rotationAngles, Vector& translation) {
  const IniFileSection section(context.toolSettingsFile, sectionName, false);
  Vector angles;
  Vector offset;
  const bool anglesRead =
      readGroup(context, section, "RotationAngle", Utility::degToRad(1.0), angles, false);
  const bool offsetRead = readGroup(context, section, "Translation", 1.0, offset, false);
  if (!anglesRead || !offsetRead) return false;
  rotationAngles = angles;
  translation = offset;
  return true;
}

bool loadRegionMeshes(ConsoleContext& context, RectMeshGroups& meshes, RegionMeshLists& lists) {
  const std::string& file = context.partSettingsFile;
  const std::vector<std::string> sections = loaderQuadFileSections(file);
  const std::size_t count = sections.size();
  // Nothing to load (no section, or a settings file that has gone) would
  // start a test that can only miss.
  if (count == 0) {
    context.print("No QuadFile sections in " + file + ".\n");
    return false;
  }
  RegionMeshLists built;
  built.paths.resize(count);
  built.offsets.resize(count);
  built.flipNormals.resize(count);
  built.flipUAxes.resize(count);
  built.flipVAxes.resize(count);
  const std::size_t slash = file.rfind('\\');
  const std::string directory = slash == std::string::npos ? std::string() : file.substr(0, slash);

  std::vector<std::string> firstSection(count);
  for (const std::string& section : sections) {
    QuadFileEntry entry;
    if (!readQuadFileSection(context, section, entry)) {
      context.print(retrieveFailMessage(section, file));
      return false;
    }
    // Collection c of the lists must be the collection whose transform
    // sections carry the number c: indices run from 1 within the sections.
    // The index read can be any int, so it is compared before any arithmetic.
    const int largest = static_cast<int>(std::min<std::size_t>(count, kMaxCollections));
    if (entry.collectionIndex < 1 || entry.collectionIndex > largest) {
      context.print("Section " + section + " of " + file + " has CollectionIndex " +
                    writtenCollectionIndex(file, section, entry.collectionIndex) +
                    ", which must lie between 1 and " + numberToText(largest) + ".\n");
      return false;
    }
    const auto c = static_cast<std::size_t>(entry.collectionIndex - 1);
    if (firstSection[c].empty()) firstSection[c] = section;
    built.names.push_back(entry.name);
    built.positionFlipUAxis.push_back(entry.flipUAxis);
    built.positionFlipVAxis.push_back(entry.flipVAxis);
    built.positionFlipNormals.push_back(entry.flipNormals);
    built.paths[c].push_back(directory + "\\" + entry.name);
    built.offsets[c].push_back(entry.offset);
    built.flipNormals[c].push_back(entry.flipNormals);
    built.flipUAxes[c].push_back(entry.flipUAxis);
    built.flipVAxes[c].push_back(entry.flipVAxis);
  }
  std::size_t used = 0;
  while (used < count && !built.paths[used].empty()) ++used;
  for (std::size_t c = used; c < count; ++c) {
    if (built.paths[c].empty()) continue;
    // A gap: the files of this collection would be placed by another
    // collection's calibration.
    context.print("Section " + firstSection[c] + " of " + file + " has CollectionIndex " +
                  numberToText(static_cast<unsigned long long>(c + 1)) +
                  ", but no quad file has CollectionIndex " +
                  numberToText(static_cast<unsigned long long>(used + 1)) + ".\n");
    return false;
  }
  built.collectionCount = static_cast<int>(used);
  built.paths.resize(used);
  built.offsets.resize(used);
  built.flipNormals.resize(used);
  built.flipUAxes.resize(used);
  built.flipVAxes.resize(used);

  context.print("Loading .quads files...\n");
  try {
    meshes.load(built.paths, built.offsets);
  } catch (...) {
    context.print("There was a problem loading the .quads files.\n");
    // Say which is missing: a planar or cylinder-based collection's file
    // only appears when the collection is calibrated.
    for (const std::vector<std::string>& files : built.paths) {
      for (const std::string& path : files) {
        if (!isFile(path)) {
          context.print("Missing .quads file: " + path +
                        " (a planar or cylinder-based collection's is made by its calibration).\n");
        }
      }
    }
    return false;
  }
  meshes.setDoFlipNormals(built.flipNormals);
  meshes.setDoFlipAxes(built.flipUAxes, built.flipVAxes);
  lists = std::move(built);
  return true;
}

std::string findPartTransformSection(const ConsoleContext& context, int collectionCount,
                                     int armPosition, int collection, int partPosition) {
  NameLimits limits(context.partSettingsFile);
  return findTransformSection(limits, collectionCount, armPosition, collection, partPosition);
}

bool applyPartTransforms(ConsoleContext& context, int collectionCount, int armPosition,
                         int partPosition, RectMeshGroups& meshes) {
  std::vector<SectionTransform> transforms;
  NameLimits limits(context.partSettingsFile);
  for (int c = 1; c <= collectionCount; ++c) {
    std::string ambiguous;
    const std::string section =
        findTransformSection(limits, collectionCount, armPosition, c, partPosition, &ambiguous);
    if (!ambiguous.empty()) context.print(ambiguousSectionMessage(ambiguous, context.partSettingsFile));
    if (section.empty()) return false;
    SectionTransform transform;
    if (!readTransformSection(context, context.partSettingsFile, section, transform, false)) {
      context.print(retrieveFailMessage(section, context.partSettingsFile));
      return false;
    }
    transforms.push_back(transform);
  }
  std::vector<Point> origins;
  std::vector<AffineMap> maps;
  for (const SectionTransform& transform : transforms) {
    AffineMap map;
    map.setLinearMap(rotationXYZ(transform.rotationAngles));
    map.setTranslation(transform.translation);
    origins.push_back(transform.rotationOrigin);
    maps.push_back(map);
  }
  try {
    meshes.transform(origins, maps);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

bool readProbePosition(ConsoleContext& context, int probePosition, int& probePositionCount,
                       LinearMap& rotation, Vector& translation) {
  const std::string& file = context.toolSettingsFile;
  int read = 0;
  bool found = false;
  const auto readPosition = [&](const std::string& section) {
    Vector angles;
    Vector offset;
    if (!readProbeTransformSection(context, section, angles, offset)) {
      context.print(retrieveFailMessage(section, file));
      return false;
    }
    if (read == probePosition) {
      rotation = rotationXYZ(angles);
      translation = offset;
      found = true;
    }
    ++read;
    return true;
  };
  if (IniFileSection::sectionExists(file, kProbePositionSection) &&
      !readPosition(kProbePositionSection)) {
    return false;
  }
  for (;;) {
    const std::string section = kProbePositionSection + numberToText(read + 1);
    if (!IniFileSection::sectionExists(file, section)) break;
    if (!readPosition(section)) return false;
  }
  probePositionCount = read;
  return found;
}

bool findQuadFileSection(ConsoleContext& context, const std::string& quadFileName, int& position) {
  const std::string& file = context.partSettingsFile;
  for (int k = 1;; ++k) {
    std::string section = kQuadFileSection + numberToText(k);
    if (k == 1 && !IniFileSection::sectionExists(file, section)) section = kQuadFileSection;
    if (!IniFileSection::sectionExists(file, section)) return false;
    std::string name;
    if (iniAccessSucceeds([&] { name = IniFileSection(file, section, false).getString("Name"); }) &&
        name == quadFileName) {
      position = k - 1;
      return true;
    }
  }
}
