// Extension of calibrations to further arm positions and part positions.
#pragma once

#include <string>

#include "console/ConsoleContext.h"

// Gives every calibrated collection (part position 1) the arm positions of
// the most widely calibrated collection, shifted by that collection's
// translation steps between arm positions.
bool extendToAllArmPositions(ConsoleContext& context);

// Copies the calibration of a fixed collection (from 0) at part position p
// (from 0) to every part position, for every arm position.
bool copyToAllPartPositions(ConsoleContext& context, int collection, int partPosition);

// The number of arm positions a = 1, 2, ... for which the section
// "PartLocalToArmGlobal" + a + (collection + 1) + "1" exists, counted upward
// while they exist (an ambiguous name ends the count). Always true.
bool countCalibratedArmPositions(const std::string& settingsFile, int collection, int& count);
