// Generated ".quads" files for planar and cylinder-based collections.
//
// The path is the part settings file's directory + "\" + label + ".quads";
// its file name must be the "Name" of one of the part's quad-file sections.
// A name below that directory holding "/", "\", ":" or ".." is refused with
// one line and nothing is written, so a file never lands outside it.
// Both generators print to standard output and read answers from standard
// input; end of console input ends them with ConsoleInputEnded.
#pragma once

#include <string>

#include "console/ConsoleContext.h"

// Largest extent accepted at a prompt (mm, exclusive) and the pitch range (mm).
inline constexpr double kMaxTypedExtent = 5000.0;
inline constexpr double kMinTypedPitch = 0.1;
inline constexpr double kMaxTypedPitch = 8.0;

// A plane of "USizemm" × "VSizemm" at "Pitchmm" (asked when missing), saved
// to the path. True only when generated and saved.
bool generatePlanarQuadFile(ConsoleContext& context, const std::string& quadFilePath);
// A half cylinder of radius 50 mm and length 1000 mm at 1 mm, saved to the
// path. True only when generated and saved.
bool generateCylinderQuadFile(ConsoleContext& context, const std::string& quadFilePath);
