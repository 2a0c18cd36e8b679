// Arm relocation and the ".oldqini" backups it leaves.
#include "partcalibration/Relocation.h"

#include <algorithm>
#include <cmath>
#include <functional>
#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "IniFileSection.h"
#include "ZorvVLWizard.h"
#include "arm/ProbeReadings.h"
#include "arm/PsiZeroDegree.h"
#include "console/ConsoleServices.h"
#include "partcalibration/Accuracy.h"
#include "partcalibration/Calibration.h"
#include "partmodel/CollectionSettings.h"
#include "partcalibration/Journal.h"
#include "platform/console.h"
#include "platform/files.h"
#include "regions/RegionSettings.h"

using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;

namespace {

using OwnedIniException = std::unique_ptr<IniFileSection::IniFileException>;

// Mean squared residual (mm²) of the relocation fit from which it is
// unacceptable, as for a calibration.
constexpr double kUnacceptableRelocationUncertainty = 1.0;

// The text after the last "\" (the whole text when there is none).
std::string fileNamePart(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The wizard tree that the relocation searches and the backups live in.
std::string wizardDirectory() {
  return ZorvVLWizardUtilities::getWizardDirectoryName(getApplicationDataDirectory());
}

// All files of the tree with the extension, depth first.
string_vector findTreeFiles(const std::string& directory, const char* extension) {
  string_vector files;
  ZorvVLWizardUtilities::getRecursiveFullFileNames(directory, extension, files);
  return files;
}

// All files of the wizard tree with the extension, depth first.
string_vector findWizardFiles(const char* extension) {
  return findTreeFiles(wizardDirectory(), extension);
}

// The current arm's cell points for this run: read from the configuration
// file, or recorded now and stored once the relocation goes ahead (or ends
// before its fit is judged), all nine keys in one update.
struct NewArmPoints {
  Point points[3];
  bool recorded = false;
};

// Stores freshly recorded points of the current arm as one update of the
// configuration file (nothing to do when they were read from it). False
// after one line when the file cannot be written.
bool storeNewArmPoints(ConsoleContext& context, const ArmConnection& arm,
                       const NewArmPoints& points) {
  if (!points.recorded) return true;
  std::vector<std::string> keys;
  std::vector<std::pair<const char*, double>> values;
  keys.reserve(9);
  for (int j = 0; j < 3; ++j) {
    for (int i = 0; i < 3; ++i) keys.push_back(armCalibrationPointKey(arm.serialNumber, j, i));
  }
  for (int k = 0; k < 9; ++k) values.emplace_back(keys[k].c_str(), points.points[k / 3][k % 3]);
  try {
    IniFileSection(arm.configurationFile, kArmCalibrationPointsSection, true)
        .setDoubles(std::span<const std::pair<const char*, double>>(values));
  } catch (IniFileSection::IniFileException* e) {
    const OwnedIniException owned(e);
    context.print("Failed to store calibration points for current arm. Aborting...\n");
    return false;
  }
  return true;
}

// The y/n question about stored points, or the recording of new ones (with
// the ball probe of this run chosen first): the new arm's three points.
// False when recording was aborted; nothing is stored here.
bool obtainNewArmPoints(ConsoleContext& context, ArmConnection& arm, NewArmPoints& points) {
  bool update = true;
  if (readArmCalibrationPoints(arm.configurationFile, arm.serialNumber, points.points)) {
    const char answer = askForCharacter(
        context.print,
        "Calibration points for current arm found. Do they need updating? (y/n): ", "ynYN");
    update = answer == 'y' || answer == 'Y';
  } else {
    context.print("Calibration points for current arm not found.\n");
  }
  if (!update) return true;

  chooseBallProbe(context);
  Point recorded[3];
  for (int j = 0; j < 3; ++j) {
    context.print("Please select point " + numberToText(j + 1) +
                  " using green button. Use red twice to abort.\n");
    std::cout.flush();
    bool aborted = false;
    recorded[j] = recordProbePoint(arm, aborted, 0.5 * context.ballProbeRadius);
    if (aborted) return false;
  }
  for (int j = 0; j < 3; ++j) points.points[j] = recorded[j];
  points.recorded = true;
  return true;
}

// One line from the console without its line end; ConsoleInputEnded when the
// input has gone.
std::string readConsoleLine() {
  std::cout.flush();
  std::string line;
  if (!std::getline(std::cin, line)) throw ConsoleInputEnded{};
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

// The old arm's serial and its three points; false when the technician ends
// the operation with "0".
bool obtainOldArmPoints(ConsoleContext& context, const ArmConnection& arm, std::string& oldSerial,
                        Point (&points)[3]) {
  context.print("The arm serial number must be input without dashes.\n");
  // What is left of the line that answered the last question is no serial.
  platform::console::discardLine();
  for (;;) {
    context.print("Please enter old arm serial number or 0 to exit: ");
    std::string serial = readConsoleLine();
    if (serial == "0") return false;
    // Serials are stored without dashes; one typed as printed on the arm
    // (with them) can only mean the same arm.
    serial.erase(std::remove(serial.begin(), serial.end(), '-'), serial.end());
    if (readArmCalibrationPoints(arm.configurationFile, serial, points)) {
      oldSerial = serial;
      return true;
    }
    context.print("Existing points not found.");
  }
}

// Copies the file to its backup name so that the backup appears whole or not
// at all: the copy is made under a temporary name beside it and then moved
// into place. The file itself is never touched here, so an interrupted
// backup leaves it as it was. An existing backup is never replaced (the
// caller keeps it).
bool backUpFile(const std::string& file, const std::string& backup) {
  // The temporary copy is made afresh, never through whatever the name holds
  // (a link planted there would carry the copy out of the tree).
  const std::string temporary = backup + ".tmp";
  if (platform::pathKind(temporary) != platform::PathKind::Missing &&
      !platform::deleteFile(temporary)) {
    return false;
  }
  if (!platform::copyFile(file, temporary, true)) return false;
  if (!ZorvVLWizardUtilities::renameDirectory(temporary, backup)) {
    ZorvVLWizardUtilities::deleteFile(temporary);
    return false;
  }
  return true;
}

// The three part points of collection c; raises IniFileException when one
// of the nine keys is missing or unreadable.
void readPartCalibrationPoints(const std::string& file, const std::string& section,
                               Point (&points)[3]) {
  const IniFileSection pointsSection(file, section, false);
  for (int i = 0; i < 3; ++i) {
    const std::string n = numberToText(i);
    const double x = pointsSection.getDouble(("x" + n).c_str());
    const double y = pointsSection.getDouble(("y" + n).c_str());
    const double z = pointsSection.getDouble(("z" + n).c_str());
    points[i] = Point(x, y, z);
  }
}

RigidBodyFit fitOfSection(const SectionTransform& transform) {
  return RigidBodyFit{transform.rotationOrigin, transform.rotationAngles, transform.translation};
}

// The part points of one collection of a file, or the failure to read them.
struct CollectionPoints {
  bool read = false;
  Point points[3];
};

// A section that was not updated: the file's full name and the section.
struct SectionOfFile {
  std::string file;
  std::string section;
};

// The re-fit of one file while it is under way: the lines it prints, in
// order, the re-fitted sections still to be written, each with the place of
// its outcome line, the part points of every collection looked at, and the
// sections left as they were that need a new calibration. The file is not
// written until its sections are done, so a collection's points read once
// are what every later read would give.
struct FileRelocation {
  std::vector<std::string> lines;
  std::vector<NamedTransform> refits;
  std::vector<std::size_t> outcomeLines;
  std::map<int, CollectionPoints> points;
  std::vector<std::string> notUpdated;
};

// The part points of the collection, read at its first section.
const CollectionPoints& collectionPoints(const std::string& file, int collection,
                                         FileRelocation& relocated) {
  auto found = relocated.points.find(collection);
  if (found != relocated.points.end()) return found->second;
  CollectionPoints entry;
  try {
    readPartCalibrationPoints(file, partCalibrationPointsSectionName(file, collection),
                              entry.points);
    entry.read = true;
  } catch (IniFileSection::IniFileException* e) {
    const OwnedIniException owned(e);
  }
  return relocated.points.emplace(collection, entry).first->second;
}

bool isFinite(const RigidBodyFit& fit) {
  return fit.rotationOrigin.getIsFinite() && fit.rotationAngles.getIsFinite() &&
         fit.translation.getIsFinite();
}

}  // namespace

bool relocateTransform(const RigidBodyFit& relocation, const RigidBodyFit& section,
                       const Point* partPoints, RigidBodyFit& relocated) {
  if (partPoints != nullptr) {
    Point newArmPoints[3];
    for (int i = 0; i < 3; ++i) {
      newArmPoints[i] = applyTransform(relocation, applyTransform(section, partPoints[i]));
    }
    // Only a well-shaped triangle is re-fitted: the map through nearly
    // collinear points is fixed by their rounding more than by their shape.
    RigidBodyFit refit;
    if (Utility::getRigidBodyMap(partPoints, newArmPoints, refit.rotationAngles,
                                 refit.translation, refit.rotationOrigin, nullptr, true) &&
        isFinite(refit)) {
      relocated = refit;
      return true;
    }
  }
  // Points that do not fix a frame (all zero for a planar or cylinder-based
  // collection, coincident, nearly collinear) or none at all: the maps are
  // composed, which is exact whatever the points.
  const RigidBodyFit composed = composeTransforms(relocation, section);
  if (!isFinite(composed)) return false;
  relocated = composed;
  return true;
}

namespace {

// True when a relocation from arms.oldSerial updates a section with this
// stamp (none: older software, taken to be in the old arm's frame).
bool stampIsRelocated(const std::string& stamp, const RelocationArms& arms) {
  return stamp.empty() || (IniFileSection::equalsIgnoreCase(stamp, arms.oldSerial) &&
                           !IniFileSection::equalsIgnoreCase(stamp, arms.newSerial));
}

// Re-fits one transform section of the file through the relocation map: its
// lines and, when it is updated, the new section to write (stamped with the
// current arm). Sections already in the current arm's frame are left; so are
// sections stamped with a third arm, which are listed as not updated.
void relocateSection(ConsoleContext& context, const std::string& file,
                     const std::string& sectionName, int armPosition, int collection,
                     int partPosition, const RigidBodyFit& relocation,
                     const RelocationArms& arms, FileRelocation& relocated) {
  // A section that does not exist cannot be read: one look instead of the
  // reader's per-key attempts.
  if (!IniFileSection::sectionExists(file, sectionName)) return;
  SectionTransform transform;
  if (!readTransformSection(context, file, sectionName, transform, true)) {
    relocated.notUpdated.push_back(sectionName);
    return;
  }
  const std::string position = "arm position " + numberToText(armPosition) +
                               " and part position " + numberToText(partPosition) +
                               " for collection " + numberToText(collection);
  // A section under an older name says so, or its line would read as that of
  // the full name.
  relocated.lines.push_back(
      sectionName == partTransformSectionName(armPosition, collection, partPosition)
          ? "Found " + position + ".\n"
          : "Found section [" + sectionName + "], the older name of " + position + ".\n");

  const std::string stamp = readArmSerialStamp(file, sectionName);
  if (!stamp.empty() && IniFileSection::equalsIgnoreCase(stamp, arms.newSerial)) {
    relocated.lines.push_back("Section [" + sectionName +
                              "] is already in this arm's frame. Skipped.\n");
    return;
  }
  if (!stampIsRelocated(stamp, arms)) {
    relocated.lines.push_back("Section [" + sectionName + "] is in the frame of arm " + stamp +
                              ", not of arm " + arms.oldSerial + ". Skipped.\n");
    relocated.notUpdated.push_back(sectionName);
    return;
  }

  const CollectionPoints& part = collectionPoints(file, collection, relocated);
  relocated.lines.push_back("Re-calibrating arm and part position...\n");
  RigidBodyFit refit;
  if (!relocateTransform(relocation, fitOfSection(transform), part.read ? part.points : nullptr,
                         refit)) {
    relocated.lines.push_back("Transform value calculation fail. Continuing...\n");
    relocated.notUpdated.push_back(sectionName);
    return;
  }
  relocated.refits.push_back({sectionName, refit, arms.newSerial});
  relocated.outcomeLines.push_back(relocated.lines.size());
  relocated.lines.emplace_back();
}

// How the file's turn ended.
enum class FileOutcome { Written, NotAllWritten, BackupFailed };

// Backs the file up when a section changes (keeping a backup that is there
// already), writes the re-fitted sections and prints the file's lines. The
// sections go in as one update of the file (wholly old or wholly new, and one
// replacement of the file instead of one per section); when that fails each
// is written on its own, as far as it can be. A file in which nothing
// changes is neither backed up nor written.
FileOutcome finishFile(ConsoleContext& context, const std::string& file,
                       FileRelocation& relocated, const RelocationArms& arms,
                       std::vector<SectionOfFile>& notUpdated) {
  bool backupKept = false;
  const std::string backup = file.substr(0, file.rfind('.')) + "." + kPartSettingsBackupExtension;
  if (!relocated.refits.empty()) {
    backupKept = ZorvVLWizardUtilities::getDoesFileExist(backup);
    if (!backupKept && !backUpFile(file, backup)) {
      context.print("Failed to create backup file. Aborting...\n");
      return FileOutcome::BackupFailed;
    }
  }
  context.print("Processing file: " + fileNamePart(file) + ".\n");
  if (backupKept) {
    context.print("Backup file " + fileNamePart(backup) +
                  " kept: it holds the calibrations from before an earlier relocation.\n");
  }
  bool written = true;
  bool together = relocated.refits.empty();
  if (!together) {
    try {
      writeTransformSections(file, relocated.refits);
      together = true;
    } catch (IniFileSection::IniFileException* e) {
      const OwnedIniException owned(e);
    }
  }
  JournalBatch journal(context);
  std::optional<double> rmsDistance;
  if (arms.uncertainty) rmsDistance = std::sqrt(*arms.uncertainty);
  for (std::size_t i = 0; i < relocated.refits.size(); ++i) {
    const NamedTransform& refit = relocated.refits[i];
    bool updated = true;
    if (!together) {
      try {
        writeTransformSection(file, refit.sectionName, refit.fit, refit.armSerial);
      } catch (IniFileSection::IniFileException* e) {
        const OwnedIniException owned(e);
        updated = false;
      }
    }
    if (updated) {
      journal.add({kJournalRelocation, file, refit.sectionName, refit.armSerial, arms.uncertainty,
                   rmsDistance, arms.predictedError});
    } else {
      written = false;
      relocated.notUpdated.push_back(refit.sectionName);
    }
    relocated.lines[relocated.outcomeLines[i]] =
        updated ? "Successfully updated calibration.\n"
                : "Write fail to section " + refit.sectionName + " of " + file + ". Continuing...\n";
  }
  for (std::string& line : relocated.lines) context.print(std::move(line));
  for (const std::string& section : relocated.notUpdated) notUpdated.push_back({file, section});
  relocated = FileRelocation{};
  return written ? FileOutcome::Written : FileOutcome::NotAllWritten;
}

// Calls visit(name, a, c, p) for every transform section the file has with
// numbers 1..8, part position outermost, arm position innermost, then for
// the older names of a one-collection region ("PartLocalToArmGlobal" + a,
// and the plain name for arm position 1) under their own names; only the
// names in the file's list are visited (a section absent from it cannot be
// read).
void forEachTransformSection(
    const std::vector<std::string>& names,
    const std::function<void(const std::string&, int, int, int)>& visit) {
  const auto visitPresent = [&](const std::string& name, int a, int c, int p) {
    if (containsSectionName(names, name)) visit(name, a, c, p);
  };
  for (int p = 1; p <= kMaxRelocatedNumber; ++p) {
    for (int c = 1; c <= kMaxRelocatedNumber; ++c) {
      for (int a = 1; a <= kMaxRelocatedNumber; ++a) {
        visitPresent(partTransformSectionName(a, c, p), a, c, p);
      }
    }
  }
  for (int a = 1; a <= kMaxRelocatedNumber; ++a) {
    visitPresent(olderPartTransformSectionName(a), a, 1, 1);
  }
  visitPresent(kPartTransformSection, 1, 1, 1);
}

// Every transform section of the file carried through the relocation.
FileOutcome relocateFile(ConsoleContext& context, const std::string& file,
                         const RigidBodyFit& relocation, const RelocationArms& arms,
                         std::vector<SectionOfFile>& notUpdated) {
  const std::vector<std::string> names = listSectionNames(file);
  if (names.empty() && !ZorvVLWizardUtilities::getDoesFileExist(file)) {
    // Gone since the search: there is nothing to back up, as the run
    // expects of every file it found.
    context.print("Failed to create backup file. Aborting...\n");
    return FileOutcome::BackupFailed;
  }
  FileRelocation relocated;
  try {
    forEachTransformSection(names, [&](const std::string& name, int a, int c, int p) {
      relocateSection(context, file, name, a, c, p, relocation, arms, relocated);
    });
  } catch (...) {
    // What was re-fitted before the failure is written and reported first.
    finishFile(context, file, relocated, arms, notUpdated);
    throw;
  }
  return finishFile(context, file, relocated, arms, notUpdated);
}

// Where a part point lies in the section's arm frame, and back.
Point partToArm(const SectionTransform& section, const Point& part) {
  return applyTransform(fitOfSection(section), part);
}
Point armToPart(const SectionTransform& section, const Point& arm) {
  const Zorv::Geometry::ThreeDimensional::LinearMap rotation =
      transformMap(section.rotationAngles, section.translation).getLinearMap();
  const Zorv::Geometry::ThreeDimensional::Vector shifted =
      arm - section.rotationOrigin - section.translation;
  return section.rotationOrigin + rotation.getTranspose()(shifted);
}

}  // namespace

std::optional<Point> farthestCalibratedPoint(ConsoleContext& context, const std::string& directory,
                                             const Point& from, const RelocationArms& arms) {
  QuadMeshCache meshes;
  std::optional<Point> farthest;
  for (const std::string& file : findTreeFiles(directory, kPartSettingsExtension).strings) {
    std::map<int, std::vector<std::string>> quadFiles;
    forEachTransformSection(listSectionNames(file), [&](const std::string& name, int, int c, int) {
      SectionTransform section;
      if (!stampIsRelocated(readArmSerialStamp(file, name), arms) ||
          !readTransformSection(context, file, name, section, true)) {
        return;
      }
      auto files = quadFiles.find(c);
      if (files == quadFiles.end()) {
        files = quadFiles.emplace(c, collectionQuadFiles(file, c)).first;
      }
      // The mesh is searched in its own frame, from the point carried there.
      const std::optional<Point> vertex =
          farthestVertexOfFiles(meshes, files->second, armToPart(section, from));
      if (!vertex) return;
      const Point placed = partToArm(section, *vertex);
      if (!farthest || (placed - from).lSqr() > (*farthest - from).lSqr()) farthest = placed;
    });
  }
  return farthest;
}

bool fitRigidBody(const Point* from, const Point* to, RigidBodyFit& fit) {
  return Utility::getRigidBodyMap(from, to, fit.rotationAngles, fit.translation, fit.rotationOrigin,
                                  nullptr, true) ||
         Utility::getRigidBodyMap(from, to, fit.rotationAngles, fit.translation, fit.rotationOrigin,
                                  nullptr, false);
}

std::string armCalibrationPointKey(const std::string& serial, int point, int coordinate) {
  return serial + "_" + numberToText(point) + numberToText(coordinate);
}

bool readArmCalibrationPoints(const std::string& configurationFile, const std::string& serial,
                              Point (&points)[3]) {
  // Without the section there is nothing to read (and a missing file must
  // not raise).
  if (!IniFileSection::sectionExists(configurationFile, kArmCalibrationPointsSection)) {
    return false;
  }
  Point read[3];
  try {
    const IniFileSection section(configurationFile, kArmCalibrationPointsSection, false);
    for (int j = 0; j < 3; ++j) {
      for (int i = 0; i < 3; ++i) {
        read[j][i] = section.getDouble(armCalibrationPointKey(serial, j, i).c_str());
      }
    }
  } catch (IniFileSection::IniFileException* e) {
    const OwnedIniException owned(e);
    return false;
  }
  for (int j = 0; j < 3; ++j) points[j] = read[j];
  return true;
}

bool reusePartCalibrations(ConsoleContext& context, ArmConnection& arm) {
  if (!checkArmReady(context, arm)) return false;
  NewArmPoints newArm;
  if (!obtainNewArmPoints(context, arm, newArm)) return false;
  Point oldArmPoints[3];
  RelocationArms arms;
  arms.newSerial = arm.serialNumber;
  bool serialGiven = false;
  try {
    serialGiven = obtainOldArmPoints(context, arm, arms.oldSerial, oldArmPoints);
  } catch (const ConsoleInputEnded&) {
    // The points were recorded: they stay, as when the run ends with "0".
    storeNewArmPoints(context, arm, newArm);
    throw;
  }
  if (!serialGiven) {
    storeNewArmPoints(context, arm, newArm);
    return false;
  }

  context.print("Calibrating new arm position...\n");
  RigidBodyFit relocation;
  if (!fitRigidBody(oldArmPoints, newArm.points, relocation)) {
    storeNewArmPoints(context, arm, newArm);
    context.print("Rigid-body transform calculation fail. Aborting...\n");
    return false;
  }
  // One mistouched cell point would carry every calibration of the tree
  // astray: the fit is judged as a calibration's is, and an unacceptable one
  // goes ahead only when the technician says so.
  const double uncertainty =
      reportFitUncertainty(context, relocation, oldArmPoints, newArm.points, "Relocation",
                           "* Relocation uncertainty measurement is UNACCEPTABLE *");
  // The cell points fix the map only near them: the error grows with the
  // distance from them. Both arms measured the cell points, so each point
  // carries the error of two measurements.
  const double sigma =
      std::max(std::sqrt(uncertainty), std::sqrt(2.0) * readArmPointSigma(arm.configurationFile));
  const Point cellCentroid = centroidOf(oldArmPoints);
  const std::optional<Point> farthest =
      farthestCalibratedPoint(context, wizardDirectory(), cellCentroid, arms);
  if (farthest) {
    arms.predictedError = predictedFitError(oldArmPoints, *farthest, sigma);
    context.print("Predicted relocation error at the farthest calibrated point: " +
                  numberToText(*arms.predictedError) + " mm.\n");
  } else {
    arms.predictedError =
        predictedFitError(oldArmPoints, farthestOfPoints(oldArmPoints, cellCentroid), sigma);
    context.print("Predicted relocation error at the farthest cell point: " +
                  numberToText(*arms.predictedError) +
                  " mm (no mesh of a calibrated collection could be read).\n");
  }
  arms.uncertainty = uncertainty;
  if (!(uncertainty < kUnacceptableRelocationUncertainty)) {
    const char answer =
        askForCharacter(context.print, "Update the part calibrations anyway? (y/n): ", "ynYN");
    platform::console::discardLine();
    if (answer == 'n' || answer == 'N') {
      context.print("Relocation abandoned. No file was changed.\n");
      return false;
    }
  }
  if (!storeNewArmPoints(context, arm, newArm)) return false;

  return relocateWizardTree(context, wizardDirectory(), relocation, arms);
}

bool relocateWizardTree(ConsoleContext& context, const std::string& directory,
                        const RigidBodyFit& relocation, const RelocationArms& arms) {
  context.print("Searching for .qini files...\n");
  const string_vector files = findTreeFiles(directory, kPartSettingsExtension);
  if (files.strings.empty()) {
    context.print("No .qini files found. Aborting...\n");
    return false;
  }
  const std::size_t fileCount = files.strings.size();
  context.print("Found " + numberToText(static_cast<unsigned long long>(fileCount)) +
                " .qini files.\n");

  std::size_t processed = 0;
  std::vector<SectionOfFile> notUpdated;
  for (const std::string& file : files.strings) {
    const FileOutcome outcome = relocateFile(context, file, relocation, arms, notUpdated);
    if (outcome == FileOutcome::BackupFailed) return false;
    if (outcome == FileOutcome::Written) ++processed;
  }
  context.print("Successfully processed " +
                numberToText(static_cast<unsigned long long>(processed)) + " of " +
                numberToText(static_cast<unsigned long long>(fileCount)) + " .qini files.\n");
  if (!notUpdated.empty()) {
    context.print(numberToText(static_cast<unsigned long long>(notUpdated.size())) +
                  " calibration sections were not updated; calibrate them again:\n");
    for (const SectionOfFile& entry : notUpdated) {
      context.print("Section [" + entry.section + "] of " + entry.file + ".\n");
    }
  }
  return true;
}

namespace {

// The search lines shared by the reset and the clean-up; the backups found
// (empty after the abort line).
string_vector findBackups(ConsoleContext& context) {
  context.print("Searching for .oldqini files...\n");
  string_vector backups = findWizardFiles(kPartSettingsBackupExtension);
  if (backups.strings.empty()) {
    context.print("No .oldqini files found. Aborting...\n");
  } else {
    context.print("Number of .oldqini files found: " +
                  numberToText(static_cast<unsigned long long>(backups.strings.size())) + ".\n");
  }
  return backups;
}

void printSummary(ConsoleContext& context, std::size_t counted, std::size_t found) {
  context.print("Successfully processed " + numberToText(static_cast<unsigned long long>(counted)) +
                " of " + numberToText(static_cast<unsigned long long>(found)) + " files.\n");
}

}  // namespace

bool resetNewPartCalibrations(ConsoleContext& context) {
  const string_vector backups = findBackups(context);
  if (backups.strings.empty()) return false;
  std::size_t restored = 0;
  JournalBatch journal(context);
  for (const std::string& backup : backups.strings) {
    const std::string target =
        backup.substr(0, backup.rfind(".old")) + "." + kPartSettingsExtension;
    if (!ZorvVLWizardUtilities::copyFile(backup, target)) continue;
    context.print("Created file: " + fileNamePart(target) + ".\n");
    journal.add({kJournalReset, target, "", "", {}, {}, {}});
    ++restored;
    ZorvVLWizardUtilities::deleteFile(backup);
  }
  printSummary(context, restored, backups.strings.size());
  return true;
}

bool cleanOldPartCalibrations(ConsoleContext& context) {
  const string_vector backups = findBackups(context);
  if (backups.strings.empty()) return false;
  std::size_t deleted = 0;
  JournalBatch journal(context);
  for (const std::string& backup : backups.strings) {
    if (!ZorvVLWizardUtilities::deleteFile(backup)) continue;
    context.print("Deleted file: " + fileNamePart(backup) + ".\n");
    journal.add({kJournalClean, backup, "", "", {}, {}, {}});
    ++deleted;
  }
  printSummary(context, deleted, backups.strings.size());
  return true;
}
