// The menu operations that serve the arm itself: the two dialogs shown by the
// arm library, and the live arm test.
#pragma once

#include "ZorvGeometry/ThreeDimensional.h"
#include "arm/ArmConnection.h"
#include "console/ConsoleContext.h"

// Size of the dialog packet.
inline constexpr std::size_t kDialogPacketSize = 544;

// "Faro dialog": command 9, each result 11, 12 or 1011 sent back as a command
// and the dialog shown again; any other result ends it; then command 15.
bool runFaroDialog(ConsoleContext& context, ArmConnection& arm);

// "Hardware config dialog": command 18 until it answers non-zero, then 15.
// While it answers 0 it is shown again every 300 ms, after one line that says
// a key leaves it: a key ends the repeats (the key is taken), and the end of
// the console input ends them with ConsoleInputEnded, command 15 sent first.
// Both dialogs need only the loaded library, not an opened arm.
bool runHardwareConfigDialog(ConsoleContext& context, ArmConnection& arm);

// "Test arm": a live line showing the probe's position, axes or angles, the
// display chosen with keys, until a shown record has the red button down.
bool testArm(ConsoleContext& context, ArmConnection& arm);

// Display modes of the arm test.
enum class TestArmMode : int {
  PositionDirection = 0,
  ProbeX = 1,
  ProbeY = 2,
  ProbeZ = 3,
  ProbeAngles = 4,
  FaroProbeX = 5,
  FaroProbeY = 6,
  FaroProbeZ = 7,
};

// The mode a key selects in the arm test; false for a key without a mode.
bool testArmModeForKey(int key, TestArmMode& mode);

// The probe axes of the vendor's angle convention for phi, theta, psi in
// degrees: the columns of Rz(phi) · Rx(theta) · Rz(psi).
struct FaroProbeDirections {
  Zorv::Geometry::ThreeDimensional::Vector x;
  Zorv::Geometry::ThreeDimensional::Vector y;
  Zorv::Geometry::ThreeDimensional::Vector z;
};
FaroProbeDirections faroProbeDirections(double phiDegrees, double thetaDegrees, double psiDegrees);
