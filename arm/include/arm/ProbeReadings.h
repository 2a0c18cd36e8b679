// Probe readings and the arm buttons, taken from the data block the arm
// library keeps filling.
//
// The operator works with the two buttons on the arm handle: an accepted
// green press sounds a high beep, a red press a low one. Waits for a record
// end with ConsoleInputEnded once the console input has gone, so that the
// program can close the arm and end.
#pragma once

#include "ZorvGeometry/ThreeDimensional.h"
#include "arm/ArmConnection.h"

// Results of pollArmButtons.
inline constexpr int kArmButtonRed = 0;
inline constexpr int kArmButtonGreen = 1;
inline constexpr int kArmButtonNone = 2;

// Beeps: accepted green press and red press.
inline constexpr unsigned kGreenBeepHz = 384;
inline constexpr unsigned kRedBeepHz = 192;
inline constexpr unsigned kButtonBeepMs = 168;

// The probe's rotation for angles phi, theta, psi in degrees and a psi
// correction in radians: Rz(phi) · Rx(theta) · Rz(psi + psiDelta). The probe's
// axis is the image of (0, 0, 1).
Zorv::Geometry::ThreeDimensional::LinearMap probeRotation(double phiDegrees, double thetaDegrees,
                                                          double psiDegrees, double psiDelta);
// The same for a record, with the arm's psi correction.
Zorv::Geometry::ThreeDimensional::LinearMap probeRotation(const ArmConnection& arm,
                                                          const ArmRecord& record);

// Waits for the next record (the block's event), then gives the measuring
// point and the probe's rotation. False, outputs unchanged, when the wait
// fails or the arm is not ready. The fresh-record flag is left alone.
bool readProbePose(ArmConnection& arm, Zorv::Geometry::ThreeDimensional::Point& point,
                   Zorv::Geometry::ThreeDimensional::LinearMap& rotation);

// The operator records one point with the green button: the first green
// press in a new record gives the measuring point moved tipOffset mm along
// the probe axis. Red counts: after a red press green no longer records, and
// the second red press aborts with (0, 0, 0) and aborted true. Aborts at once
// when the arm is not ready.
Zorv::Geometry::ThreeDimensional::Point recordProbePoint(ArmConnection& arm, bool& aborted,
                                                         double tipOffset);

// After 100 ms: kArmButtonGreen or kArmButtonRed for the buttons of a new
// record (taking it), kArmButtonNone when no new record came or no button is
// down. kArmButtonRed when the arm is not ready, so that loops end.
int pollArmButtons(ArmConnection& arm);

// pollArmButtons until a button is pressed: kArmButtonGreen or kArmButtonRed
// (kArmButtonRed at once when the arm is not ready). Ends with
// ConsoleInputEnded once the console input has gone, so that an arm that
// never presses cannot hold the program.
int waitForArmButtonPress(ArmConnection& arm);

// The angles (phi, theta, psi in radians, without the psi correction) of the
// record in which the green button is first seen down; the first red press
// aborts with (0, 0, 0). Aborts at once when the arm is not ready.
Zorv::Geometry::ThreeDimensional::Vector recordProbeAngles(ArmConnection& arm, bool& aborted);
