// The arm link as the console program uses it: the connection record, its
// start-up and close, and the arm operations of the menu.
#pragma once

#include "arm/ArmConnection.h"
#include "arm/ArmDialogs.h"
#include "arm/PsiZeroDegree.h"
#include "console/ConsoleContext.h"
