// Dispatch of the main menu entries to their operations, one function per
// entry.
#include "MenuOperations.h"

#include "ArmLink.h"
#include "program/MainMenu.h"
#include "partcalibration/Calibration.h"
#include "partcalibration/Relocation.h"
#include "regions/QuadMeshInfo.h"
#include "regions/RegionTest.h"
#include "wizardops/SettingsOperations.h"

namespace {

bool faroDialog(ConsoleContext& context, ArmConnection& arm) {
  return runFaroDialog(context, arm);
}

bool testArmEntry(ConsoleContext& context, ArmConnection& arm) {
  return testArm(context, arm);
}

bool calibrateCollectionEntry(ConsoleContext& context, ArmConnection& arm) {
  return runCalibrateCollection(context, arm);
}

bool calibrateRegionEntry(ConsoleContext& context, ArmConnection& arm) {
  return runCalibrateRegion(context, arm);
}

bool testRegionEntry(ConsoleContext& context, ArmConnection& arm) {
  return ::testRegion(context, arm);
}

bool editRegionDataEntry(ConsoleContext& context, ArmConnection&) {
  return ::editRegionData(context);
}

bool editToolDataEntry(ConsoleContext& context, ArmConnection&) {
  return ::editToolData(context);
}

bool addToolToPartEntry(ConsoleContext& context, ArmConnection&) {
  return ::addToolToPart(context);
}

bool calculatePsiZeroDegreeEntry(ConsoleContext& context, ArmConnection& arm) {
  return calculatePsiZeroDegree(context, arm);
}

bool reusePartCalibrationsEntry(ConsoleContext& context, ArmConnection& arm) {
  return ::reusePartCalibrations(context, arm);
}

bool resetNewPartCalibrationsEntry(ConsoleContext& context, ArmConnection&) {
  return ::resetNewPartCalibrations(context);
}

bool cleanOldPartCalibrationsEntry(ConsoleContext& context, ArmConnection&) {
  return ::cleanOldPartCalibrations(context);
}

bool quadMeshInfo(ConsoleContext& context, ArmConnection&) {
  return showQuadMeshInfo(context);
}

bool dumpDirectoriesEntry(ConsoleContext& context, ArmConnection&) {
  return ::dumpDirectories(context);
}

bool hardwareConfigDialog(ConsoleContext& context, ArmConnection& arm) {
  return runHardwareConfigDialog(context, arm);
}

using MenuOperation = bool (*)(ConsoleContext&, ArmConnection&);

// In menu order; "Exit" has no operation.
constexpr MenuOperation kOperations[kMenuExit] = {
    faroDialog,
    testArmEntry,
    calibrateCollectionEntry,
    calibrateRegionEntry,
    testRegionEntry,
    editRegionDataEntry,
    editToolDataEntry,
    addToolToPartEntry,
    calculatePsiZeroDegreeEntry,
    reusePartCalibrationsEntry,
    resetNewPartCalibrationsEntry,
    cleanOldPartCalibrationsEntry,
    quadMeshInfo,
    dumpDirectoriesEntry,
    hardwareConfigDialog,
};

}  // namespace

bool startArmStep(ConsoleContext& context, ArmConnection& arm) {
  return startArm(context, arm);
}

bool closeArmStep(ConsoleContext& context, ArmConnection& arm) {
  return closeArm(context, arm);
}

bool runMenuOperation(int entry, ConsoleContext& context, ArmConnection& arm) {
  if (entry < 0 || entry >= kMenuExit) return false;
  return kOperations[entry](context, arm);
}
