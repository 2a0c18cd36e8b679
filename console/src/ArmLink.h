// The arm link record as the console program sees it.
//
// Until the arm library joins the build (ZORV_WITH_ARM), the program runs
// without an arm: an empty record, a start-up that succeeds and a close that
// does nothing.
#pragma once

#include "console/ConsoleContext.h"

#ifdef ZORV_WITH_ARM
#include "arm/ArmConnection.h"
#include "arm/ArmDialogs.h"
#include "arm/PsiZeroDegree.h"
#else
struct ArmConnection {};
inline bool startArm(ConsoleContext&, ArmConnection&) {
  return true;
}
inline bool closeArm(ConsoleContext&, ArmConnection&) {
  return true;
}
#endif
