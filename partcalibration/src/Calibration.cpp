// Collection calibration: reference points recorded with the arm, the
// rigid-body fit with its uncertainty report, and the transform sections.
#include "partcalibration/Calibration.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <iostream>
#include <optional>

#include "IniAccess.h"
#include "IniFileSection.h"
#include "PathParts.h"
#include "arm/ProbeReadings.h"
#include "arm/PsiZeroDegree.h"
#include "console/ConsoleServices.h"
#include "partcalibration/Accuracy.h"
#include "partmodel/CollectionSettings.h"
#include "partcalibration/Extension.h"
#include "partcalibration/Journal.h"
#include "partmodel/TransformSections.h"
#include "platform/console.h"
#include "platform/process.h"
#include "platform/time.h"
#include "regions/QuadGeneration.h"
#include "wizardops/SettingsSelection.h"

using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;

namespace {

using partcalibration::detail::fileNameOf;
using partcalibration::detail::directoryOf;

enum class GeometricalType { ExplicitPoints, Planar, Cylinder };

// Mean squared residual (mm²) from which a calibration is unacceptable.
constexpr double kUnacceptableUncertainty = 1.0;
// Below this sine of the angle between the two edges from the first point,
// recorded planar points are taken as collinear: no plane frame exists.
constexpr double kCollinearSine = 1e-9;

using Points = std::array<Point, 3>;

std::string coordinates(const Point& p) {
  return numberToText(p.x) + ", " + numberToText(p.y) + ", " + numberToText(p.z) + ".\n";
}

// What the "PartCalibrationPoints" section of a collection says.
struct CalibrationSet {
  Points part;
  std::array<int, 3> linePoints{-1, -1, -1};
  std::array<int, 3> armPositions{0, 0, 0};
  int armPositionCount = 1;
  bool multiPosition = false;
  GeometricalType type = GeometricalType::ExplicitPoints;
};

// Reads and checks the collection's calibration set; false after its message.
bool readCalibrationSet(ConsoleContext& context, int collection, CalibrationSet& set) {
  const std::string& file = context.partSettingsFile;
  const std::string sectionName = partCalibrationPointsSectionName(file, collection + 1);
  if (!IniFileSection::sectionExists(file, sectionName)) {
    context.print("Missing [PartCalibrationPointsi] section for .quads collection.\n");
    return false;
  }
  const IniFileSection section(file, sectionName, false);
  bool complete = true;
  for (int i = 0; i < 3 && complete; ++i) {
    const std::string index = numberToText(i);
    complete = iniAccessSucceeds([&] {
      set.part[i] = Point(section.getDouble(("x" + index).c_str()),
                          section.getDouble(("y" + index).c_str()),
                          section.getDouble(("z" + index).c_str()));
    }) && set.part[i].getIsFinite();
  }
  if (!complete) {
    context.print("The [PartCalibrationPointsi] has at least one coordinate missing.\n");
    return false;
  }
  for (int i = 0; i < 3; ++i) {
    const std::string key = "l" + numberToText(i);
    if (!IniFileSection::keyExists(file, sectionName, key)) continue;
    int reference = -1;
    if (!iniAccessSucceeds([&] { reference = section.getInt(key.c_str()) - 1; }) || reference < 0 ||
        reference >= i) {
      context.print("The line point indices are invalid.\n");
      return false;
    }
    set.linePoints[i] = reference;
  }

  set.type = set.part[0].getIsNull() && set.part[1].getIsNull() && set.part[2].getIsNull()
                 ? GeometricalType::Planar
                 : GeometricalType::ExplicitPoints;
  const std::string collectionSection = kCollectionSection + numberToText(collection + 1);
  if (IniFileSection::keyExists(file, collectionSection, kGeometricalTypeKey)) {
    std::string value;
    iniAccessSucceeds([&] {
      value = IniFileSection(file, collectionSection, false).getString(kGeometricalTypeKey);
    });
    if (!IniFileSection::equalsIgnoreCase(value, kCylinderTypeValue)) {
      context.print("Unknown geometrical type.\n");
      return false;
    }
    set.type = GeometricalType::Cylinder;
    // The points of the generated half cylinder (r cos t, r sin t, z) for
    // t = 0 and t = pi at z = 0, and t = pi/2 at z = 1000.
    set.part = {Point(50.0, 0.0, 0.0), Point(-50.0, 0.0, 0.0), Point(0.0, 50.0, 1000.0)};
  }

  std::array<int, 3> positions{};
  bool allPresent = true;
  for (int i = 0; i < 3; ++i) {
    const std::string key = "p" + numberToText(i);
    allPresent = allPresent && IniFileSection::keyExists(file, sectionName, key) &&
                 iniAccessSucceeds([&] { positions[i] = section.getInt(key.c_str()); });
  }
  if (!allPresent) return true;
  set.multiPosition = !(positions[0] == 1 && positions[1] == 1 && positions[2] == 1);
  if (set.multiPosition && !(1 <= positions[0] && positions[0] <= positions[1] &&
                             positions[1] <= positions[2] && positions[2] <= kMaxArmPositions)) {
    context.print("The .ini file contains invalid point arm positions.\n");
    return false;
  }
  for (int i = 0; i < 3; ++i) set.armPositions[i] = set.multiPosition ? positions[i] - 1 : 0;
  set.armPositionCount = set.multiPosition ? positions[2] : 1;
  return true;
}

// The collection's single planar or cylinder-based ".quads" file is
// generated; false after the message when the collection has more than one.
bool generateCollectionQuadFile(ConsoleContext& context, int collection, GeometricalType type) {
  const std::string& file = context.partSettingsFile;
  string_vector collections;
  if (!readCollectionList(file, collections) ||
      static_cast<std::size_t>(collection) >= collections.strings.size()) {
    context.print("Collection retrieve fail from " + file + ".\n");
    return false;
  }
  const std::string& entry = collections.strings[collection];
  const std::size_t lastLine = entry.rfind('\n');
  if (lastLine == std::string::npos || entry.substr(0, lastLine).find('\n') != std::string::npos) {
    context.print("There must be only one planar or cylinder-based .quads file per collection.\n");
    return false;
  }
  const std::string path = directoryOf(file) + "\\" + entry.substr(entry.rfind('\t') + 1) + ".quads";
  std::cout.flush();
  if (type == GeometricalType::Planar) {
    generatePlanarQuadFile(context, path);
  } else {
    generateCylinderQuadFile(context, path);
  }
  return true;
}

// One recording with the green button; nullopt when red was pressed twice.
std::optional<Point> record(ConsoleContext& context, ArmConnection& arm, double tipOffset) {
  std::cout.flush();
  bool aborted = false;
  const Point point = recordProbePoint(arm, aborted, tipOffset);
  if (aborted) return std::nullopt;
  context.print(coordinates(point));
  return point;
}

void printPointInstructions(ConsoleContext& context, ArmConnection& arm, int collection,
                            GeometricalType type, int point) {
  context.print("Preparing to record point " + numberToText(point + 1) + ".\n");
  if (type == GeometricalType::ExplicitPoints) showCalibrationPointImage(context, arm, collection);
  context.print("Press green arm button to select point. Press red arm button twice to abort.\n");
}

// Records point i of a single-position set; false when it was aborted.
bool recordSinglePositionPoint(ConsoleContext& context, ArmConnection& arm, int collection,
                               const CalibrationSet& set, int i, Points& recorded) {
  printPointInstructions(context, arm, collection, set.type, i);
  context.print("Point " + numberToText(i + 1) + ": ");
  const std::optional<Point> point = record(context, arm, 0.5 * context.ballProbeRadius);
  if (!point) return false;
  recorded[i] = *point;
  return true;
}

// Records the three points, all in the frame of arm position 1, and the
// origins of the further arm positions in that frame.
bool recordPoints(ConsoleContext& context, ArmConnection& arm, int collection,
                  const CalibrationSet& set, Points& recorded,
                  std::array<Point, kMaxArmPositions>& offsets) {
  const double tipOffset = 0.5 * context.ballProbeRadius;
  if (!set.multiPosition) {
    for (int i = 0; i < 3; ++i) {
      if (!recordSinglePositionPoint(context, arm, collection, set, i, recorded)) return false;
    }
    return true;
  }
  int k = 0;
  Point accumulated;
  context.print("Please move arm to position 1.\n");
  for (int i = 0; i < 3; ++i) {
    while (k != set.armPositions[i]) {
      context.print("Arm position " + numberToText(k + 1) + ": current reference point: ");
      const std::optional<Point> before = record(context, arm, 0.0);
      if (!before) return false;
      ++k;
      context.print("Please move arm to position " + numberToText(k + 1) + ".\n");
      context.print("Arm position " + numberToText(k + 1) + ": previous reference point: ");
      const std::optional<Point> after = record(context, arm, 0.0);
      if (!after) return false;
      offsets[k] = offsets[k - 1] + (*before - *after);
      accumulated += *before - *after;
    }
    printPointInstructions(context, arm, collection, set.type, i);
    context.print("Arm position " + numberToText(k + 1) + ": calibration point " +
                  numberToText(i + 1) + ": ");
    const std::optional<Point> point = record(context, arm, tipOffset);
    if (!point) return false;
    recorded[i] = *point + accumulated;
  }
  return true;
}

// Line points take their direction from the arm and their distance from the
// part data. False after one line when a line point lies on its reference.
bool placeLinePoints(ConsoleContext& context, const CalibrationSet& set, Points& recorded) {
  for (int i = 0; i < 3; ++i) {
    const int reference = set.linePoints[i];
    if (reference < 0) continue;
    const Vector direction = recorded[i] - recorded[reference];
    const double recordedDistance = direction.l();
    if (recordedDistance == 0.0) {
      context.print("Line point " + numberToText(i + 1) + " was recorded at its reference point " +
                    numberToText(reference + 1) + ", so its direction is unknown.\n");
      return false;
    }
    recorded[i] =
        recorded[reference] + direction * ((set.part[i] - set.part[reference]).l() / recordedDistance);
  }
  return true;
}

// The part points of a planar collection: its frame is made from the recorded
// points. False after one line when they are coincident or collinear.
bool planarPartPoints(ConsoleContext& context, const Points& recorded, Points& part) {
  const Vector edge1 = recorded[1] - recorded[0];
  const Vector edge2 = recorded[2] - recorded[0];
  const Vector normal = edge1.cross(edge2);
  if (!(normal.l() > kCollinearSine * edge1.l() * edge2.l())) {
    context.print(
        "The recorded points of a planar collection are coincident or collinear: they do not "
        "span a plane.\n");
    return false;
  }
  const Vector x = edge1.getNormalised();
  const Vector z = normal.getNormalised();
  const Vector y = z.cross(x);
  part = {Point(), Point(edge1.dot(x), 0.0, 0.0), Point(edge2.dot(x), edge2.dot(y), 0.0)};
  return true;
}

// What the calibration knows of its own accuracy, for the report and the
// journal.
struct CalibrationAccuracy {
  double uncertainty = 0.0;     // mm²
  double rmsDistance = 0.0;     // mm
  double predictedError = 0.0;  // mm, at the farthest point of the collection
};

// The lines after the uncertainty verdict: the RMS distance, the predicted
// error at the farthest vertex of the collection's meshes (or, when none can
// be read, at the farthest calibration point) and a warning when the
// triangle the fit rests on is nearly a line. The meshes are loaded once
// for all the reports of one calibration.
CalibrationAccuracy reportCalibrationAccuracy(ConsoleContext& context, const ArmConnection& arm,
                                              int collection, const CalibrationSet& set,
                                              const Points& part, const Points& recorded,
                                              double uncertainty, QuadMeshCache& meshes) {
  CalibrationAccuracy accuracy;
  accuracy.uncertainty = uncertainty;
  accuracy.rmsDistance = std::sqrt(uncertainty);
  context.print("Calibration RMS distance: " + numberToText(accuracy.rmsDistance) + " mm.\n");

  const double sigma = std::max(accuracy.rmsDistance, readArmPointSigma(arm.configurationFile));
  const Point centroid = centroidOf(part.data());
  const std::optional<Point> vertex = farthestVertexOfFiles(
      meshes, collectionQuadFiles(context.partSettingsFile, collection + 1), centroid);
  if (vertex) {
    accuracy.predictedError = predictedFitError(part.data(), *vertex, sigma);
    context.print("Predicted error at the farthest point of the collection: " +
                  numberToText(accuracy.predictedError) + " mm (" +
                  numberToText((*vertex - centroid).l()) + " mm from the calibration points).\n");
  } else {
    const Point farthest = farthestOfPoints(part.data(), centroid);
    accuracy.predictedError = predictedFitError(part.data(), farthest, sigma);
    context.print("Predicted error at the farthest calibration point: " +
                  numberToText(accuracy.predictedError) + " mm (" +
                  numberToText((farthest - centroid).l()) +
                  " mm from the centroid of the calibration points; no mesh of the collection "
                  "could be read).\n");
  }
  // A planar collection's part points are made from the recorded ones.
  const Points& shape = set.type == GeometricalType::Planar ? recorded : part;
  if (pointsNearlyInLine(shape.data())) {
    context.print(
        "WARNING! The calibration points are nearly in a line. Choose points further apart.\n");
  }
  return accuracy;
}

// After an unacceptable fit: the point to record again (0..2), or -1 to
// keep the result (also when the input has ended).
int askForRetake(ConsoleContext& context) {
  char answer = 'n';
  try {
    answer = askForCharacter(
        context.print, "Retake one point? Enter its number 0..2, or n to keep this result: ",
        "012nN");
    platform::console::discardLine();
  } catch (const ConsoleInputEnded&) {
    context.print("\n");
    return -1;
  }
  return answer >= '0' && answer <= '2' ? answer - '0' : -1;
}

// The names of the sections the calibration writes; false after one line
// when one of them could be read as another triple of this file.
bool sectionNamesUsable(ConsoleContext& context, int collection, int partPosition,
                        int armPositionCount) {
  const TransformNameLimits limits = transformNameLimits(context.partSettingsFile);
  for (int a = 1; a <= armPositionCount; ++a) {
    if (!partTransformNameIsUnambiguous(a, collection + 1, partPosition + 1, limits)) {
      context.print(ambiguousSectionMessage(
          partTransformSectionName(a, collection + 1, partPosition + 1), context.partSettingsFile));
      return false;
    }
  }
  return true;
}

bool calibrationArmReady(ConsoleContext& context, ArmConnection& arm) {
  return checkArmReady(context, arm);
}

}  // namespace

double reportFitUncertainty(ConsoleContext& context, const RigidBodyFit& fit, const Point* part,
                            const Point* recorded, const std::string& label,
                            const std::string& unacceptableLine) {
  double sum = 0.0;
  for (int i = 0; i < 3; ++i) {
    const double squared = (applyTransform(fit, part[i]) - recorded[i]).lSqr();
    context.print("Point " + numberToText(i) + " distance: " + numberToText(std::sqrt(squared)) +
                  "mm.\n");
    sum += squared;
  }
  const double uncertainty = sum / 3.0;
  context.print(label + " uncertainty measurement: " + numberToText(uncertainty) + ".\n");
  if (uncertainty < kUnacceptableUncertainty) {
    context.print(label + " uncertainty measurement is acceptable.\n");
    return uncertainty;
  }
  const std::string stars(unacceptableLine.size(), '*');
  context.print("\n");
  context.print(stars + "\n");
  context.print(unacceptableLine + "\n");
  context.print(stars + "\n");
  context.print("\n");
  return uncertainty;
}

bool fitCalibration(ConsoleContext& context, const Point* part, const Point* recorded,
                    RigidBodyFit& fit, double& uncertainty) {
  context.print("Calibrating...\n");
  if (!Utility::getRigidBodyMap(part, recorded, fit.rotationAngles, fit.translation,
                                fit.rotationOrigin, nullptr, true) &&
      !Utility::getRigidBodyMap(part, recorded, fit.rotationAngles, fit.translation,
                                fit.rotationOrigin, nullptr, false)) {
    context.print(
        "Calibration maximum number of iterations reached. Please rotate base of arm by around "
        "45 degrees.\n");
    return false;
  }
  context.print("Calibration convergence.\n");
  uncertainty = reportFitUncertainty(context, fit, part, recorded, "Calibration",
                                     "* Calibration uncertainty measurement is UNACCCEPTABLE *");
  return true;
}

bool calibrateCollection(ConsoleContext& context, ArmConnection& arm, int collection,
                         int partPosition) {
  int armPositionCount = 0;
  return calibrateCollection(context, arm, collection, partPosition, armPositionCount);
}

bool calibrateCollection(ConsoleContext& context, ArmConnection& arm, int collection,
                         int partPosition, int& armPositionCount) {
  const std::string& file = context.partSettingsFile;
  context.print("Please move part to position " + numberToText(partPosition + 1) + ".\n");
  CalibrationSet set;
  if (!readCalibrationSet(context, collection, set)) return false;
  if (!sectionNamesUsable(context, collection, partPosition, set.armPositionCount)) return false;
  chooseBallProbe(context);
  if (set.type != GeometricalType::ExplicitPoints &&
      !generateCollectionQuadFile(context, collection, set.type)) {
    return false;
  }

  Points raw;
  std::array<Point, kMaxArmPositions> offsets{};
  if (!recordPoints(context, arm, collection, set, raw, offsets)) return false;
  context.print("Arm points successfully collected.\n");

  // An unacceptable fit of a single-position set may have one point taken
  // again; the fit is then made and reported afresh.
  Points recorded;
  Points part;
  RigidBodyFit fit;
  CalibrationAccuracy accuracy;
  QuadMeshCache meshes;
  for (;;) {
    recorded = raw;
    // Identical points come from unreferenced encoders, whatever else the
    // set asks of them (a line point on identical points has no direction).
    if (recorded[0] == recorded[1] && recorded[1] == recorded[2]) {
      context.print(
          "Each recorded point from the are identical. Please check that arm encoders are "
          "referenced.\n");
      return false;
    }
    if (!placeLinePoints(context, set, recorded)) return false;
    part = set.part;
    if (set.type == GeometricalType::Planar && !planarPartPoints(context, recorded, part)) {
      return false;
    }
    double uncertainty = 0.0;
    if (!fitCalibration(context, part.data(), recorded.data(), fit, uncertainty)) return false;
    accuracy = reportCalibrationAccuracy(context, arm, collection, set, part, recorded,
                                         uncertainty, meshes);
    if (uncertainty < kUnacceptableUncertainty || set.multiPosition) break;
    const int retake = askForRetake(context);
    if (retake < 0) break;
    if (!recordSinglePositionPoint(context, arm, collection, set, retake, raw)) return false;
  }

  // Every arm position is tried; one that cannot be written fails the
  // calibration, so that nothing is extended from what is on disk.
  bool allWritten = true;
  JournalBatch journal(context);
  for (int a = 0; a < set.armPositionCount; ++a) {
    const std::string section = partTransformSectionName(a + 1, collection + 1, partPosition + 1);
    RigidBodyFit written = fit;
    // Arm position a + 1 sees the part shifted back by its origin's offset.
    if (set.multiPosition) written.translation = fit.translation + (offsets[0] - offsets[a]);
    try {
      writeTransformSection(file, section, written, arm.serialNumber);
      context.print("Successfully written section [" + section + "] to file " + fileNameOf(file) +
                    ".\n");
      journal.add({kJournalCalibration, file, section, arm.serialNumber, accuracy.uncertainty,
                   accuracy.rmsDistance, accuracy.predictedError});
    } catch (IniFileSection::IniFileException* e) {
      delete e;
      context.print("INI file write failure.\n");
      allWritten = false;
    }
  }
  armPositionCount = set.armPositionCount;
  return allWritten;
}

void showCalibrationPointImage(ConsoleContext& context, ArmConnection& arm, int collection) {
  context.print("Press red arm button to display calibration point image, green to continue.\n");
  std::cout.flush();
  // A red answer from an arm that is not open would show the image for ever.
  if (!arm.ready) return;
  while (waitForArmButtonPress(arm) == kArmButtonRed) {
    const std::string directory = directoryOf(context.partSettingsFile);
    const std::string folder = fileNameOf(directory);
    const std::string image = directory + "\\calib_images\\" +
                              twoDigitNumber(static_cast<unsigned long long>(collection + 1)) +
                              "_" + (folder.size() > 3 ? folder.substr(3) : std::string()) +
                              ".bmp";
    if (!isFile(image)) {
      context.print("Sorry, image file not found.\n");
      return;
    }
    const platform::ViewerHandle viewer = platform::openWithViewer(image);
    platform::sleepMs(kCalibrationImageMs);
    platform::closeViewer(viewer);
  }
}

namespace {

// The opening both calibration entries share: an open arm, the part's
// settings file chosen, and its collections read.
bool openPartForCalibration(ConsoleContext& context, ArmConnection& arm,
                            string_vector& collections) {
  if (!calibrationArmReady(context, arm)) return false;
  std::string& file = context.partSettingsFile;
  if (!chooseRegionSettingsFile(context.directoryMode, file, "part")) {
    context.print("Failed to identify .qini or .ini file.\n");
    return false;
  }
  if (!readCollectionList(file, collections)) {
    context.print("Collection retrieve fail from " + file + ".\n");
    return false;
  }
  return true;
}

// Calibrates one collection at one part position, then extends the
// calibration to the other arm positions (re-deriving or removing what an
// earlier calibration of the same collection and part position left above
// its arm positions).
bool calibrateAndExtend(ConsoleContext& context, ArmConnection& arm, int collection,
                        int partPosition) {
  int armPositionCount = 0;
  if (!calibrateCollection(context, arm, collection, partPosition, armPositionCount)) {
    context.print("Calibration of collection fail.\n");
    return false;
  }
  if (!extendFreshCalibration(context, collection, partPosition, armPositionCount)) {
    context.print("Extension of arm position calibrations failed.\n");
    return false;
  }
  return true;
}

}  // namespace

bool runCalibrateCollection(ConsoleContext& context, ArmConnection& arm) {
  string_vector collections;
  if (!openPartForCalibration(context, arm, collections)) return false;
  const std::string& file = context.partSettingsFile;
  const std::string chosen = chooseFromList("collection", collections);
  const int collection = static_cast<int>(findCollectionIndex(chosen, collections));
  int partPositions = 1;
  if (!readNumberOfPartPositions(file, partPositions)) {
    context.print("Number of part positions retrieve fail from file " + file + ".\n");
    return false;
  }
  bool fixed = false;
  readCollectionFixed(file, collection, fixed);
  int partPosition = 0;
  if (!fixed) {
    string_vector positions;
    for (int q = 1; q <= partPositions; ++q) positions.strings.push_back(numberToText(q));
    partPosition = static_cast<int>(textToNumber(chooseFromList("part position", positions))) - 1;
  }
  if (!calibrateAndExtend(context, arm, collection, partPosition)) return false;
  if (fixed) copyFreshCalibrationToAllPartPositions(context, collection, partPosition);
  return true;
}

bool runCalibrateRegion(ConsoleContext& context, ArmConnection& arm) {
  string_vector collections;
  if (!openPartForCalibration(context, arm, collections)) return false;
  const std::string& file = context.partSettingsFile;
  int partPositions = 1;
  if (!readNumberOfPartPositions(file, partPositions)) {
    context.print("Number of part positions retrieve fail from file " + file + ".\n");
    return false;
  }
  const int collectionCount = static_cast<int>(collections.strings.size());
  for (int c = 0; c < collectionCount; ++c) {
    context.print("Calibrating collection: ");
    context.print(collections.strings[c]);
    context.print("\n");
    bool fixed = false;
    readCollectionFixed(file, c, fixed);
    const int positions = fixed ? 1 : partPositions;
    for (int p = 0; p < positions; ++p) {
      if (!calibrateAndExtend(context, arm, c, p)) return false;
      if (fixed) copyFreshCalibrationToAllPartPositions(context, c, 0);
    }
  }
  return true;
}
