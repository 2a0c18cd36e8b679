#include "arm/PsiZeroDegree.h"

#include <cstdlib>
#include <iostream>
#include <string>

#include "IniFileSection.h"
#include "arm/ProbeReadings.h"
#include "console/ConsoleServices.h"
#include "platform/console.h"

using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;

void chooseBallProbe(ConsoleContext& context) {
  if (context.ballProbeChosen) return;
  // Whatever is left of the line that chose the operation is not an answer.
  platform::console::discardLine();
  double radius = 0.0;
  for (;;) {
    std::cout << "Please enter ball probe size, mm (return for 3mm): ";
    std::cout.flush();
    std::string line;
    if (!std::getline(std::cin, line)) throw ConsoleInputEnded{};
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) {
      radius = 1.5;
      break;
    }
    // A longer answer is no size: refused whole rather than read in part.
    if (line.size() <= kMaxBallProbeAnswer) {
      const double size = std::atof(line.c_str());
      if (size == 3.0 || size == 6.0) {
        radius = size / 2.0;
        break;
      }
    }
    std::cout << "Please enter either 3 or 6mm.\n";
  }
  std::cout << "Ball probe of " << numberToText(radius * 2.0) << "mm selected.\n";
  context.ballProbeRadius = radius;
  context.ballProbeChosen = true;
}

bool calculatePsiZeroDegree(ConsoleContext& context, ArmConnection& arm) {
  if (!checkArmReady(context, arm)) return false;
  context.print(
      "Please attach white plastic zero-degree calibration block to arm,\naccording to "
      "markings.\n");
  context.print(
      "Position calibration block on horizontal surface such that the\narm handle is or would "
      "be pointing upwards.\n");
  context.print(
      "Make sure open end of block is pointing approximately in\ndirection towards arm on/off "
      "switch.\n");
  context.print("Press green button when ready or red button to abort.\n");
  std::cout.flush();

  bool aborted = false;
  const Vector angles = recordProbeAngles(arm, aborted);
  if (aborted) return true;

  // psi + psiDelta is zero in the calibration pose; it applies at once.
  arm.psiDelta = -angles.z;
  const std::string degrees = numberToText(Utility::radToDeg(arm.psiDelta));
  if (arm.serialNumber.empty()) {
    context.print("Delta psi of " + degrees +
                  " degrees applies to this run only: the arm reported no serial number to "
                  "store it under.\n");
    return false;
  }
  try {
    IniFileSection section(arm.configurationFile, kArmPsiDeltasSection, true);
    section.setDouble(arm.serialNumber.c_str(), arm.psiDelta);
  } catch (IniFileSection::IniFileException* e) {
    delete e;
    context.print("Delta psi of " + degrees + " degrees could not be written to \"" +
                  arm.configurationFile + "\"; it applies to this run only.\n");
    return false;
  }
  context.print("Delta psi of " + degrees + " degrees recorded successfully.\n");
  return true;
}
