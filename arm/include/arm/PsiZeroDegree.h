// The arm's psi zero-degree correction and the ball probe choice.
#pragma once

#include "arm/ArmConnection.h"
#include "console/ConsoleContext.h"

// Longest answer accepted at the ball probe prompt.
inline constexpr std::size_t kMaxBallProbeAnswer = 7;

// Asks once per run for the ball probe size (3 or 6 mm, return for 3) and
// keeps half of it in context.ballProbeRadius; later calls return at once.
void chooseBallProbe(ConsoleContext& context);

// "Calculate psi zero degree": with the calibration block on the arm, the
// green button takes the arm's angles and the correction that brings psi to
// zero is kept for this run and stored for this arm in the arm configuration
// file. The red button aborts and changes nothing.
bool calculatePsiZeroDegree(ConsoleContext& context, ArmConnection& arm);
