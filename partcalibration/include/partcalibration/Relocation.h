// Arm relocation: re-use of every part calibration of the wizard tree after
// another arm (another serial number) has taken over the work cell, and the
// restore or clean-up of the ".oldqini" backups that the re-use leaves.
//
// Every arm stores three fixed cell points in section "ArmCalibrationPoints"
// of the arm configuration file, under its serial number written without
// dashes: key serial + "_" + j + i holds coordinate i (0 x, 1 y, 2 z) of point
// j (0..2), in mm. The rigid-body map from the old arm's three points onto the
// new arm's carries every "PartLocalToArmGlobal" + a + c + p section (numbers
// 1..8) of every ".qini" file into the new arm's frame.
//
// All messages go through ConsoleContext::print.
#pragma once

#include <optional>
#include <string>

#include "ZorvGeometry/ThreeDimensional.h"
#include "arm/ArmConnection.h"
#include "console/ConsoleContext.h"
#include "partmodel/TransformSections.h"

// Section of the arm configuration file that holds every arm's cell points.
inline constexpr const char* kArmCalibrationPointsSection = "ArmCalibrationPoints";
// Extension of a part settings file and of its backup (without the dot).
inline constexpr const char* kPartSettingsExtension = "qini";
inline constexpr const char* kPartSettingsBackupExtension = "oldqini";
// Largest arm position, collection and part position the relocation visits.
inline constexpr int kMaxRelocatedNumber = 8;

// The fit carrying from[i] onto to[i] (three points each): a strict fit
// first, a relaxed one when that is refused. False when both are refused.
bool fitRigidBody(const Zorv::Geometry::ThreeDimensional::Point* from,
                  const Zorv::Geometry::ThreeDimensional::Point* to, RigidBodyFit& fit);

// Key serial + "_" + point + coordinate of "ArmCalibrationPoints".
std::string armCalibrationPointKey(const std::string& serial, int point, int coordinate);
// The three cell points stored for the serial; false unless all nine keys
// hold numbers (a missing file or section counts as none stored).
bool readArmCalibrationPoints(const std::string& configurationFile, const std::string& serial,
                              Zorv::Geometry::ThreeDimensional::Point (&points)[3]);

// The arms of a relocation: the serial the technician named as the old arm
// and the current arm's serial (both as the "ArmCalibrationPoints" keys
// write them).
struct RelocationArms {
  std::string oldSerial;
  std::string newSerial;
  // The relocation fit's figures for the journal rows of the sections it
  // updates (left empty where not known).
  std::optional<double> uncertainty{};     // mm²
  std::optional<double> predictedError{};  // mm
};

// The point farthest from `from` (old arm's frame) among the meshes of the
// collections calibrated in the tree below directory, each placed by the
// sections a relocation from arms.oldSerial would update (numbers 1..8 and
// the older names); nullopt when no such mesh can be read.
std::optional<Zorv::Geometry::ThreeDimensional::Point> farthestCalibratedPoint(
    ConsoleContext& context, const std::string& directory,
    const Zorv::Geometry::ThreeDimensional::Point& from, const RelocationArms& arms);

// The section (part to old arm) carried through the relocation (old arm to
// new arm). With part points that fix a frame (a strict fit accepts them)
// the section is re-fitted to the part points carried through both maps, so
// that its numbers are those a calibration with the new arm gives (rotation
// origin at the points' centroid). Without points (partPoints null) or with
// points that do not fix a frame, the two maps are composed: the section
// keeps its rotation origin. False when the result is not finite.
bool relocateTransform(const RigidBodyFit& relocation, const RigidBodyFit& section,
                       const Zorv::Geometry::ThreeDimensional::Point* partPoints,
                       RigidBodyFit& relocated);

// "Reuse part calibrations": the new arm's cell points (recorded again when
// none are stored or the technician asks for it, and then stored all nine at
// once), the old arm's serial, the relocation map with its residuals and
// verdict (an unacceptable one goes on only when the technician says so;
// otherwise nothing is written, the new points neither), then
// relocateWizardTree. False on every abort; files already processed stay
// updated with their backups.
bool reusePartCalibrations(ConsoleContext& context, ArmConnection& arm);

// The part of the re-use that follows the relocation map: every ".qini" file
// below directory (the wizard tree) found and its transform sections carried
// through the map, with the messages of the re-use from "Searching for .qini
// files..." to the summary and the list of sections not updated. A section
// stamped with the new arm is already in its frame and is left; one stamped
// with a third arm is left and listed; an unstamped one (older software) is
// taken to be in the old arm's frame. Updated sections are stamped with the
// new arm. A file with an updated section is backed up as ".oldqini" first,
// unless a backup is there already (it holds the state before an earlier
// relocation and is kept); its sections are written in one atomic update
// (each section wholly old or wholly new); a file's lines are printed once
// its update is done. A file in which nothing changes is neither backed up
// nor written. False when no file is found or a backup fails.
bool relocateWizardTree(ConsoleContext& context, const std::string& directory,
                        const RigidBodyFit& relocation, const RelocationArms& arms);

// "Reset new part calibrations": every ".oldqini" of the wizard tree copied
// back over its ".qini" and then deleted; a backup that cannot be copied
// stays. True when at least one backup was found.
bool resetNewPartCalibrations(ConsoleContext& context);

// "Clean old part calibrations": every ".oldqini" of the wizard tree deleted.
// True when at least one backup was found.
bool cleanOldPartCalibrations(ConsoleContext& context);
