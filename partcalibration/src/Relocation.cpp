// Arm relocation and the ".oldqini" backups it leaves.
#include "partcalibration/Relocation.h"

#include <cstdint>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "IniFileSection.h"
#include "ZorvVLWizard.h"
#include "arm/ProbeReadings.h"
#include "console/ConsoleServices.h"
#include "partcalibration/CollectionSettings.h"
#include "platform/console.h"
#include "platform/profile.h"
#include "regions/RegionSettings.h"

using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;

namespace {

using OwnedIniException = std::unique_ptr<IniFileSection::IniFileException>;

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

// Writes the three coordinates of one cell point of the serial.
void writeArmCalibrationPoint(const std::string& configurationFile, const std::string& serial,
                              int point, const Point& value) {
  const IniFileSection section(configurationFile, kArmCalibrationPointsSection, true);
  for (int i = 0; i < 3; ++i) {
    section.setDouble(armCalibrationPointKey(serial, point, i).c_str(), value[i]);
  }
}

// The y/n question about stored points, or the recording of new ones:
// the new arm's three points. False when recording was aborted.
bool obtainNewArmPoints(ConsoleContext& context, ArmConnection& arm, Point (&points)[3]) {
  bool update = true;
  if (readArmCalibrationPoints(arm.configurationFile, arm.serialNumber, points)) {
    const char answer = askForCharacter(
        context.print,
        "Calibration points for current arm found. Do they need updating? (y/n): ", "ynYN");
    update = answer == 'y' || answer == 'Y';
  } else {
    context.print("Calibration points for current arm not found.\n");
  }
  if (!update) return true;

  for (int j = 0; j < 3; ++j) {
    context.print("Please select point " + numberToText(j + 1) +
                  " using green button. Use red twice to abort.\n");
    std::cout.flush();
    bool aborted = false;
    const Point point = recordProbePoint(arm, aborted, 0.5 * context.ballProbeRadius);
    if (aborted) return false;
    points[j] = point;
    try {
      writeArmCalibrationPoint(arm.configurationFile, arm.serialNumber, j, point);
    } catch (IniFileSection::IniFileException* e) {
      const OwnedIniException owned(e);
      context.print("Failed to store calibration points for current arm. Aborting...\n");
      return false;
    }
  }
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
bool obtainOldArmPoints(ConsoleContext& context, const ArmConnection& arm, Point (&points)[3]) {
  context.print("The arm serial number must be input without dashes.\n");
  // What is left of the line that answered the last question is no serial.
  platform::console::discardLine();
  for (;;) {
    context.print("Please enter old arm serial number or 0 to exit: ");
    const std::string serial = readConsoleLine();
    if (serial == "0") return false;
    if (readArmCalibrationPoints(arm.configurationFile, serial, points)) return true;
    context.print("Existing points not found.");
  }
}

// Copies the file to its backup name so that the backup appears whole or not
// at all: the copy is made under a temporary name beside it and then moved
// into place (an earlier backup is removed first). The file itself is never
// touched here, so an interrupted backup leaves it as it was.
bool backUpFile(const std::string& file, const std::string& backup) {
  const std::string temporary = backup + ".tmp";
  if (!ZorvVLWizardUtilities::copyFile(file, temporary)) return false;
  if (ZorvVLWizardUtilities::getDoesFileExist(backup) &&
      !ZorvVLWizardUtilities::deleteFile(backup)) {
    ZorvVLWizardUtilities::deleteFile(temporary);
    return false;
  }
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

// The names of all sections of the file (none when it cannot be read).
std::vector<std::string> sectionNamesOf(const std::string& file) {
  std::vector<char> buffer(4096);
  std::uint32_t length = 0;
  for (;;) {
    const auto size = static_cast<std::uint32_t>(buffer.size());
    length =
        platform::getProfileString(nullptr, nullptr, nullptr, buffer.data(), size, file.c_str());
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

bool containsName(const std::vector<std::string>& names, const std::string& name) {
  for (const std::string& candidate : names) {
    if (IniFileSection::equalsIgnoreCase(candidate, name)) return true;
  }
  return false;
}

// The part points of one collection of a file, or the failure to read them.
struct CollectionPoints {
  std::string section;
  bool read = false;
  Point points[3];
};

// The re-fit of one file while it is under way: the lines it prints, in
// order, the re-fitted sections still to be written, each with the place of
// its outcome line, and the part points of every collection looked at. The
// file is not written until its sections are done, so a collection's points
// read once are what every later read would give.
struct FileRelocation {
  std::vector<std::string> lines;
  std::vector<NamedTransform> refits;
  std::vector<std::size_t> outcomeLines;
  std::map<int, CollectionPoints> points;
};

// The part points of the collection, read at its first section.
const CollectionPoints& collectionPoints(const std::string& file, int collection,
                                         FileRelocation& relocated) {
  auto found = relocated.points.find(collection);
  if (found != relocated.points.end()) return found->second;
  CollectionPoints entry;
  entry.section = partCalibrationPointsSectionName(file, collection);
  try {
    readPartCalibrationPoints(file, entry.section, entry.points);
    entry.read = true;
  } catch (IniFileSection::IniFileException* e) {
    const OwnedIniException owned(e);
  }
  return relocated.points.emplace(collection, entry).first->second;
}

// Re-fits one transform section of the file through the relocation map: its
// lines and, when the fit succeeds, the new section to write.
void relocateSection(ConsoleContext& context, const std::string& file, int armPosition,
                     int collection, int partPosition, const RigidBodyFit& relocation,
                     FileRelocation& relocated) {
  const std::string sectionName = partTransformSectionName(armPosition, collection, partPosition);
  // A section that does not exist cannot be read: one look instead of the
  // reader's per-key attempts.
  if (!IniFileSection::sectionExists(file, sectionName)) return;
  SectionTransform transform;
  if (!readTransformSection(context, file, sectionName, transform, true)) return;
  relocated.lines.push_back("Found arm position " + numberToText(armPosition) +
                            " and part position " + numberToText(partPosition) +
                            " for collection " + numberToText(collection) + ".\n");

  const CollectionPoints& part = collectionPoints(file, collection, relocated);
  if (!part.read) {
    relocated.lines.push_back("Retrieve fail from section " + part.section + " of " + file +
                              ". Continuing...\n");
    return;
  }
  const Point(&partPoints)[3] = part.points;
  const RigidBodyFit old = fitOfSection(transform);
  Point newArmPoints[3];
  for (int i = 0; i < 3; ++i) {
    newArmPoints[i] = applyTransform(relocation, applyTransform(old, partPoints[i]));
  }

  relocated.lines.push_back("Re-calibrating arm and part position...\n");
  RigidBodyFit refit;
  if (!fitRigidBody(partPoints, newArmPoints, refit)) {
    relocated.lines.push_back("Transform value calculation fail. Continuing...\n");
    return;
  }
  relocated.refits.push_back({sectionName, refit});
  relocated.outcomeLines.push_back(relocated.lines.size());
  relocated.lines.emplace_back();
}

// Writes the re-fitted sections of the file and prints its lines. The
// sections go in as one update of the file (wholly old or wholly new, and one
// replacement of the file instead of one per section); when that fails each
// is written on its own, as far as it can be. False when a section could not
// be written.
bool finishFile(ConsoleContext& context, const std::string& file, FileRelocation& relocated) {
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
  for (std::size_t i = 0; i < relocated.refits.size(); ++i) {
    const NamedTransform& refit = relocated.refits[i];
    std::string outcome = "Successfully updated calibration.\n";
    if (!together) {
      try {
        writeTransformSection(file, refit.sectionName, refit.fit);
      } catch (IniFileSection::IniFileException* e) {
        const OwnedIniException owned(e);
        outcome =
            "Write fail to section " + refit.sectionName + " of " + file + ". Continuing...\n";
        written = false;
      }
    }
    relocated.lines[relocated.outcomeLines[i]] = std::move(outcome);
  }
  for (std::string& line : relocated.lines) context.print(std::move(line));
  relocated = FileRelocation{};
  return written;
}

// Every transform section of the file with numbers 1..8, part position
// outermost, arm position innermost; only the names the file has are looked
// at (a section absent from the list cannot be read). False when a section
// could not be written.
bool relocateFile(ConsoleContext& context, const std::string& file,
                  const RigidBodyFit& relocation) {
  const std::vector<std::string> names = sectionNamesOf(file);
  FileRelocation relocated;
  try {
    for (int p = 1; p <= kMaxRelocatedNumber; ++p) {
      for (int c = 1; c <= kMaxRelocatedNumber; ++c) {
        for (int a = 1; a <= kMaxRelocatedNumber; ++a) {
          if (!containsName(names, partTransformSectionName(a, c, p))) continue;
          relocateSection(context, file, a, c, p, relocation, relocated);
        }
      }
    }
  } catch (...) {
    // What was re-fitted before the failure is written and reported first.
    finishFile(context, file, relocated);
    throw;
  }
  return finishFile(context, file, relocated);
}

}  // namespace

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
  Point newArmPoints[3];
  if (!obtainNewArmPoints(context, arm, newArmPoints)) return false;
  Point oldArmPoints[3];
  if (!obtainOldArmPoints(context, arm, oldArmPoints)) return false;

  context.print("Calibrating new arm position...\n");
  RigidBodyFit relocation;
  if (!fitRigidBody(oldArmPoints, newArmPoints, relocation)) {
    context.print("Rigid-body transform calculation fail. Aborting...\n");
    return false;
  }

  return relocateWizardTree(context, wizardDirectory(), relocation);
}

bool relocateWizardTree(ConsoleContext& context, const std::string& directory,
                        const RigidBodyFit& relocation) {
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
  for (const std::string& file : files.strings) {
    const std::string backup = file.substr(0, file.rfind('.')) + "." + kPartSettingsBackupExtension;
    if (!backUpFile(file, backup)) {
      context.print("Failed to create backup file. Aborting...\n");
      return false;
    }
    context.print("Processing file: " + fileNamePart(file) + ".\n");
    if (relocateFile(context, file, relocation)) ++processed;
  }
  context.print("Successfully processed " +
                numberToText(static_cast<unsigned long long>(processed)) + " of " +
                numberToText(static_cast<unsigned long long>(fileCount)) + " .qini files.\n");
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
  for (const std::string& backup : backups.strings) {
    const std::string target =
        backup.substr(0, backup.rfind(".old")) + "." + kPartSettingsExtension;
    if (!ZorvVLWizardUtilities::copyFile(backup, target)) continue;
    context.print("Created file: " + fileNamePart(target) + ".\n");
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
  for (const std::string& backup : backups.strings) {
    if (!ZorvVLWizardUtilities::deleteFile(backup)) continue;
    context.print("Deleted file: " + fileNamePart(backup) + ".\n");
    ++deleted;
  }
  printSummary(context, deleted, backups.strings.size());
  return true;
}
