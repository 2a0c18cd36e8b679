// The operations behind the main menu entries, one function per entry, and
// the arm steps of the start-up sequence.
#pragma once

#include "console/ConsoleContext.h"

struct ArmConnection;

// Start-up arm step; false means the program is to end at once.
bool startArmStep(ConsoleContext& context, ArmConnection& arm);
// Arm shut-down at program end.
bool closeArmStep(ConsoleContext& context, ArmConnection& arm);

// Runs the operation of a main menu entry (0-14) and returns its success flag.
bool runMenuOperation(int entry, ConsoleContext& context, ArmConnection& arm);
