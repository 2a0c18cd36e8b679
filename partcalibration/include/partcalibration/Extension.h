// Extension of calibrations to further arm positions and part positions.
#pragma once

#include <string>

#include "console/ConsoleContext.h"

// Gives every calibrated collection (part position 1) the arm positions of
// the most widely calibrated collection, shifted by that collection's
// translation steps between arm positions.
bool extendToAllArmPositions(ConsoleContext& context);

// The extension after collection c (from 0) was calibrated at part position
// p (from 0) with armPositions arm positions. At part position 1 the
// collection extends from the arm positions just written, not from what an
// earlier calibration left on disk, so that every section above them is
// derived again from this calibration. At a further part position, the
// sections an earlier calibration left above them are derived again as far
// as the reference collection reaches. What is left above cannot be derived
// and is removed, one line per section. Sections carry the stamp of the one
// they come from.
bool extendFreshCalibration(ConsoleContext& context, int collection, int partPosition,
                            int armPositions);

// Copies the calibration of a fixed collection (from 0) at part position p
// (from 0) to every part position, for every arm position (with the source
// section's stamp).
bool copyToAllPartPositions(ConsoleContext& context, int collection, int partPosition);

// copyToAllPartPositions after a fresh calibration of the fixed collection:
// at every other part position, the sections above the arm positions copied
// (an earlier calibration's) are removed, one line each.
bool copyFreshCalibrationToAllPartPositions(ConsoleContext& context, int collection,
                                            int partPosition);

// The number of arm positions a = 1, 2, ... for which the section
// "PartLocalToArmGlobal" + a + (collection + 1) + "1" exists, counted upward
// while they exist (an ambiguous name ends the count). Always true.
bool countCalibratedArmPositions(const std::string& settingsFile, int collection, int& count);
