// Extension of calibrations to arm positions and part positions.
#include "partcalibration/Extension.h"

#include <vector>

#include "IniFileSection.h"
#include "PathParts.h"
#include "console/ConsoleServices.h"
#include "partcalibration/CollectionSettings.h"
#include "partcalibration/TransformSections.h"
#include "regions/RegionSettings.h"

namespace {

using partcalibration::detail::fileNameOf;

bool readSection(ConsoleContext& context, const std::string& section, RigidBodyFit& fit) {
  SectionTransform transform;
  if (!readTransformSection(context, context.partSettingsFile, section, transform, false)) {
    return false;
  }
  fit.rotationOrigin = transform.rotationOrigin;
  fit.rotationAngles = transform.rotationAngles;
  fit.translation = transform.translation;
  return true;
}

// Writes the section; false after one line when it cannot be written.
bool writeSection(ConsoleContext& context, const std::string& section, const RigidBodyFit& fit) {
  try {
    writeTransformSection(context.partSettingsFile, section, fit);
    return true;
  } catch (IniFileSection::IniFileException* e) {
    delete e;
    context.print("INI file write failure.\n");
    return false;
  }
}

// The section name of (a, c, p), or empty after one line when the name could
// also be read as another triple of this file.
std::string checkedSectionName(ConsoleContext& context, const TransformNameLimits& limits, int a,
                               int c, int p) {
  const std::string name = partTransformSectionName(a, c, p);
  if (!partTransformNameIsUnambiguous(a, c, p, limits)) {
    context.print(ambiguousSectionMessage(name, context.partSettingsFile));
    return std::string();
  }
  return name;
}

}  // namespace

bool countCalibratedArmPositions(const std::string& settingsFile, int collection, int& count) {
  const TransformNameLimits limits = transformNameLimits(settingsFile);
  int a = 1;
  while (partTransformNameIsUnambiguous(a, collection + 1, 1, limits) &&
         IniFileSection::sectionExists(settingsFile,
                                       partTransformSectionName(a, collection + 1, 1))) {
    ++a;
  }
  count = a - 1;
  return true;
}

bool extendToAllArmPositions(ConsoleContext& context) {
  const std::string& file = context.partSettingsFile;
  context.print("Extending calibrations to all available arm positions.\n");
  string_vector collections;
  if (!readCollectionList(file, collections)) {
    context.print("Collection retrieve fail from " + file + ".\n");
    return false;
  }
  const int collectionCount = static_cast<int>(collections.strings.size());
  std::vector<int> counts(collectionCount, 0);
  int reference = 0;
  for (int c = 0; c < collectionCount; ++c) {
    if (!countCalibratedArmPositions(file, c, counts[c])) {
      context.print("Collection number of calibrated arm positions retrieve fail from " + file +
                    ".\n");
      return false;
    }
    if (counts[c] > counts[reference]) reference = c;
  }
  const int most = counts[reference];
  const TransformNameLimits limits = transformNameLimits(file);
  for (int c = 0; c < collectionCount; ++c) {
    if (counts[c] == 0) continue;
    for (int j = counts[c]; j < most; ++j) {
      const std::string next = partTransformSectionName(j + 1, reference + 1, 1);
      const std::string current = partTransformSectionName(j, reference + 1, 1);
      const std::string own = partTransformSectionName(j, c + 1, 1);
      RigidBodyFit referenceNext;
      RigidBodyFit referenceCurrent;
      RigidBodyFit fit;
      for (const auto& [section, target] :
           {std::pair{next, &referenceNext}, {current, &referenceCurrent}, {own, &fit}}) {
        if (!readSection(context, section, *target)) {
          context.print("Retrieve fail from section " + section + " of " + file + ".\n");
          return false;
        }
      }
      const std::string written = checkedSectionName(context, limits, j + 1, c + 1, 1);
      if (written.empty()) return false;
      fit.translation += referenceNext.translation - referenceCurrent.translation;
      if (!writeSection(context, written, fit)) return false;
      context.print("Successfully written section [" + written + "] to file " + fileNameOf(file) +
                    ".\n");
    }
  }
  return true;
}

bool copyToAllPartPositions(ConsoleContext& context, int collection, int partPosition) {
  const std::string& file = context.partSettingsFile;
  string_vector collections;
  if (!readCollectionList(file, collections)) {
    context.print("Collection retrieve fail from " + file + ".\n");
    return false;
  }
  int partPositions = 1;
  if (!readNumberOfPartPositions(file, partPositions)) {
    context.print("Number of part positions retrieve fail from file " + file + ".\n");
    return false;
  }
  int armPositions = 1;
  if (!readNumberOfArmPositions(file, armPositions)) {
    context.print("Number of arm positions retrieve fail from file " + file + ".\n");
    return false;
  }
  const TransformNameLimits limits = transformNameLimits(file);
  for (int a = 1; a <= armPositions; ++a) {
    const std::string source =
        checkedSectionName(context, limits, a, collection + 1, partPosition + 1);
    if (source.empty()) return false;
    RigidBodyFit fit;
    if (!readSection(context, source, fit)) {
      context.print("Missing section " + source + ".\n");
      return false;
    }
    for (int q = 1; q <= partPositions; ++q) {
      const std::string target = checkedSectionName(context, limits, a, collection + 1, q);
      if (target.empty() || !writeSection(context, target, fit)) return false;
    }
  }
  return true;
}
