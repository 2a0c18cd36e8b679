// Extension of calibrations to arm positions and part positions.
#include "partcalibration/Extension.h"

#include <algorithm>
#include <vector>

#include "IniFileSection.h"
#include "PathParts.h"
#include "console/ConsoleServices.h"
#include "partmodel/CollectionSettings.h"
#include "partcalibration/Journal.h"
#include "partmodel/TransformSections.h"
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

// Writes the section with its stamp and notes it for the journal; false
// after one line when it cannot be written.
bool writeSection(ConsoleContext& context, const std::string& section, const RigidBodyFit& fit,
                  const std::string& armSerial, const char* operation, JournalBatch& journal) {
  try {
    writeTransformSection(context.partSettingsFile, section, fit, armSerial);
    journal.add({operation, context.partSettingsFile, section, armSerial, {}, {}, {}});
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

namespace {

// The collection and part position (both from 0) just calibrated, and the
// number of arm positions the calibration wrote.
struct FreshCalibration {
  int collection = 0;
  int partPosition = 0;
  int armPositions = 1;
};

// Writes arm position j + 1 of collection c (from 0) at part position p
// (1-based) from c's arm position j, shifted by the reference collection's
// translation step from arm position j to j + 1 (at part position 1). The
// new section is in the frame of the one it comes from and carries its
// stamp. False after its line.
bool deriveNextArmPosition(ConsoleContext& context, const TransformNameLimits& limits,
                           int reference, int c, int p, int j, JournalBatch& journal) {
  const std::string& file = context.partSettingsFile;
  const std::string next = partTransformSectionName(j + 1, reference + 1, 1);
  const std::string current = partTransformSectionName(j, reference + 1, 1);
  const std::string own = partTransformSectionName(j, c + 1, p);
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
  const std::string written = checkedSectionName(context, limits, j + 1, c + 1, p);
  if (written.empty()) return false;
  fit.translation += referenceNext.translation - referenceCurrent.translation;
  if (!writeSection(context, written, fit, readArmSerialStamp(file, own), kJournalExtension,
                    journal)) {
    return false;
  }
  context.print("Successfully written section [" + written + "] to file " + fileNameOf(file) +
                ".\n");
  return true;
}

// Arm positions up to this number are looked for when what an earlier
// calibration left is removed (names are built with plain decimal numbers).
constexpr int kHighestArmPositionLookedFor = 99;

// Removes the sections of collection c (from 0) at part position p (1-based)
// above arm position highest that the file holds, one line each: an earlier
// calibration left them, and nothing derives them from this one. A later use
// then fails instead of placing scans by old numbers. False after one line
// when the file cannot be written.
bool removeStaleSections(ConsoleContext& context, const TransformNameLimits& limits, int c, int p,
                         int highest) {
  const std::string& file = context.partSettingsFile;
  const std::vector<std::string> names = listSectionNames(file);
  std::vector<std::string> stale;
  for (int a = highest + 1; a <= kHighestArmPositionLookedFor; ++a) {
    const std::string name = partTransformSectionName(a, c + 1, p);
    if (partTransformNameIsUnambiguous(a, c + 1, p, limits) && containsSectionName(names, name)) {
      stale.push_back(name);
    }
  }
  if (stale.empty()) return true;
  try {
    removeTransformSections(file, stale);
  } catch (IniFileSection::IniFileException* e) {
    delete e;
    context.print("INI file write failure.\n");
    return false;
  }
  for (const std::string& name : stale) {
    context.print("Removed section [" + name + "] from file " + fileNameOf(file) +
                  ": it came from an earlier calibration and cannot be derived from this one.\n");
  }
  return true;
}

// The extension of every calibrated collection at part position 1 from its
// count of calibrated arm positions to that of the most widely calibrated
// collection. With a fresh calibration, its collection counts the arm
// positions just written (what lies above them on disk is older), and what
// an earlier calibration left above them is derived again or removed.
bool extend(ConsoleContext& context, const FreshCalibration* fresh) {
  const std::string& file = context.partSettingsFile;
  context.print("Extending calibrations to all available arm positions.\n");
  JournalBatch journal(context);
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
    if (fresh != nullptr && fresh->partPosition == 0 && fresh->collection == c) {
      counts[c] = fresh->armPositions;
    }
    if (counts[c] > counts[reference]) reference = c;
  }
  const int most = counts[reference];
  const TransformNameLimits limits = transformNameLimits(file);
  for (int c = 0; c < collectionCount; ++c) {
    if (counts[c] == 0) continue;
    for (int j = counts[c]; j < most; ++j) {
      if (!deriveNextArmPosition(context, limits, reference, c, 1, j, journal)) return false;
    }
  }
  if (fresh == nullptr) return true;

  int highest = fresh->armPositions;
  if (fresh->partPosition == 0) {
    highest = std::max(highest, most);
  } else {
    // Further part positions are not extended; what an earlier calibration
    // left there is derived again from this one as far as the reference
    // collection reaches.
    const int p = fresh->partPosition + 1;
    while (highest < most && partTransformNameIsUnambiguous(highest + 1, fresh->collection + 1, p,
                                                            limits) &&
           IniFileSection::sectionExists(
               file, partTransformSectionName(highest + 1, fresh->collection + 1, p))) {
      if (!deriveNextArmPosition(context, limits, reference, fresh->collection, p, highest,
                                 journal)) {
        return false;
      }
      ++highest;
    }
  }
  return removeStaleSections(context, limits, fresh->collection, fresh->partPosition + 1, highest);
}

}  // namespace

bool extendToAllArmPositions(ConsoleContext& context) {
  return extend(context, nullptr);
}

bool extendFreshCalibration(ConsoleContext& context, int collection, int partPosition,
                            int armPositions) {
  const FreshCalibration fresh{collection, partPosition, armPositions};
  return extend(context, &fresh);
}

namespace {

// The copy of a fixed collection's calibration to every part position;
// gives the number of arm positions copied.
bool copy(ConsoleContext& context, int collection, int partPosition, int& armPositions,
          int& partPositions) {
  const std::string& file = context.partSettingsFile;
  string_vector collections;
  if (!readCollectionList(file, collections)) {
    context.print("Collection retrieve fail from " + file + ".\n");
    return false;
  }
  if (!readNumberOfPartPositions(file, partPositions)) {
    context.print("Number of part positions retrieve fail from file " + file + ".\n");
    return false;
  }
  if (!readNumberOfArmPositions(file, armPositions)) {
    context.print("Number of arm positions retrieve fail from file " + file + ".\n");
    return false;
  }
  const TransformNameLimits limits = transformNameLimits(file);
  JournalBatch journal(context);
  for (int a = 1; a <= armPositions; ++a) {
    const std::string source =
        checkedSectionName(context, limits, a, collection + 1, partPosition + 1);
    if (source.empty()) return false;
    RigidBodyFit fit;
    if (!readSection(context, source, fit)) {
      context.print("Missing section " + source + ".\n");
      return false;
    }
    const std::string stamp = readArmSerialStamp(file, source);
    for (int q = 1; q <= partPositions; ++q) {
      const std::string target = checkedSectionName(context, limits, a, collection + 1, q);
      if (target.empty() || !writeSection(context, target, fit, stamp, kJournalCopy, journal)) {
        return false;
      }
    }
  }
  return true;
}

}  // namespace

bool copyToAllPartPositions(ConsoleContext& context, int collection, int partPosition) {
  int armPositions = 1;
  int partPositions = 1;
  return copy(context, collection, partPosition, armPositions, partPositions);
}

bool copyFreshCalibrationToAllPartPositions(ConsoleContext& context, int collection,
                                            int partPosition) {
  int armPositions = 1;
  int partPositions = 1;
  if (!copy(context, collection, partPosition, armPositions, partPositions)) return false;
  // The other part positions hold copies of this calibration up to the arm
  // positions copied; what lies above them is older.
  const TransformNameLimits limits = transformNameLimits(context.partSettingsFile);
  for (int q = 1; q <= partPositions; ++q) {
    if (q == partPosition + 1) continue;
    if (!removeStaleSections(context, limits, collection, q, armPositions)) return false;
  }
  return true;
}
