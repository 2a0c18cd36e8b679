// "Quad mesh info": the quad counts and pitches of each collection's files.
#pragma once

#include "console/ConsoleContext.h"

bool showQuadMeshInfo(ConsoleContext& context);
