#include "arm/ArmDialogs.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <iostream>

#include "ArmWaits.h"
#include "arm/ProbeReadings.h"
#include "console/ConsoleServices.h"
#include "platform/console.h"
#include "platform/time.h"

using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;

namespace {

constexpr std::int32_t kCommandFaroDialog = 9;
constexpr std::int32_t kCommandHardwareDialog = 18;
constexpr std::int32_t kCommandDialogDone = 15;
constexpr std::uint32_t kTestArmPauseMs = 10;
// The hardware dialog is shown again after this pause while it answers 0, so
// that a library that answers 0 at once (no arm connected) does not keep the
// program busy; the console is looked at every kDialogKeyPollMs meanwhile.
constexpr std::uint32_t kHardwareDialogRepeatMs = 300;
constexpr std::uint32_t kDialogKeyPollMs = 20;
constexpr double kDegreesToRadians = 0.017453292519943295;

// The tip shown in the arm test, in probe coordinates (mm).
constexpr double kTestTipLength = 1.5;

struct DialogPacket {
  alignas(8) unsigned char bytes[kDialogPacketSize] = {};
  void setCommand(std::int32_t command) { std::memcpy(bytes, &command, sizeof command); }
};

void sendDone(ArmConnection& arm) {
  std::int32_t word = kCommandDialogDone;
  arm.entryPoint(&word);
}

enum class PauseEnd { TimeUp, KeyTaken, InputEnded };

// Waits the given time unless a key comes first (then takes it) or the
// console input ends.
PauseEnd pauseUnlessKey(std::uint32_t milliseconds) {
  const std::uint32_t start = platform::tickMs();
  for (;;) {
    if (platform::console::keyWaiting()) {
      // keyWaiting is also true once the input has ended; waitForKey tells.
      if (!platform::console::waitForKey()) return PauseEnd::InputEnded;
      platform::console::getKey();
      return PauseEnd::KeyTaken;
    }
    if (platform::console::inputEnded()) return PauseEnd::InputEnded;
    if (platform::tickMs() - start >= milliseconds) return PauseEnd::TimeUp;
    platform::sleepMs(kDialogKeyPollMs);
  }
}

// The dialogs need only the library's entry: they work with an arm that did
// not open, where they may help to find out why.
bool checkEntryBound(ConsoleContext& context, const ArmConnection& arm) {
  if (arm.entryPoint != nullptr) return true;
  context.print("The arm library is not available: it was not loaded at start-up.\n");
  return false;
}

// The live line of one display mode.
void printTestLine(TestArmMode mode, const Point& tip, const Vector axes[3], const Vector& angles,
                   const FaroProbeDirections& faro) {
  const char* const blanks = "                        ";  // 24
  switch (mode) {
    case TestArmMode::PositionDirection:
      std::printf("\rProbe (x,y,z)=(%5.1lf,%5.1lf,%5.1lf). (dx,dy,dz)=(%5.2lf,%5.2lf,%5.2lf).  ",
                  tip.x, tip.y, tip.z, axes[2].x, axes[2].y, axes[2].z);
      break;
    case TestArmMode::ProbeX:
    case TestArmMode::ProbeY:
    case TestArmMode::ProbeZ: {
      const int axis = static_cast<int>(mode) - static_cast<int>(TestArmMode::ProbeX);
      std::printf("\rProbe %c direction, (dx,dy,dz)=(%5.2lf,%5.2lf,%5.2lf).%s", 'X' + axis,
                  axes[axis].x, axes[axis].y, axes[axis].z, blanks);
      break;
    }
    case TestArmMode::ProbeAngles:
      std::printf("\rProbe angles, (phi,theta,psi)=(%5.1lf,%5.1lf,%5.1lf).%s", angles.x, angles.y,
                  angles.z, blanks);
      break;
    case TestArmMode::FaroProbeX:
    case TestArmMode::FaroProbeY:
    case TestArmMode::FaroProbeZ: {
      const Vector* faroAxes[3] = {&faro.x, &faro.y, &faro.z};
      const int axis = static_cast<int>(mode) - static_cast<int>(TestArmMode::FaroProbeX);
      std::printf("\rFaro Probe %c direction, (dx,dy,dz)=(%5.2lf,%5.2lf,%5.2lf).%s", 'X' + axis,
                  faroAxes[axis]->x, faroAxes[axis]->y, faroAxes[axis]->z, blanks);
      break;
    }
  }
  // The line is rewritten in place: show it now, not when a newline comes.
  std::fflush(stdout);
}

}  // namespace

bool runFaroDialog(ConsoleContext& context, ArmConnection& arm) {
  if (!checkEntryBound(context, arm)) return false;
  DialogPacket packet;
  for (;;) {
    packet.setCommand(kCommandFaroDialog);
    const std::int32_t result = arm.entryPoint(packet.bytes);
    if (result != 11 && result != 12 && result != 1011) break;
    // The dialog asks for one of its follow-up commands, then is shown again.
    packet.setCommand(result);
    arm.entryPoint(packet.bytes);
  }
  sendDone(arm);
  return true;
}

bool runHardwareConfigDialog(ConsoleContext& context, ArmConnection& arm) {
  if (!checkEntryBound(context, arm)) return false;
  DialogPacket packet;
  packet.setCommand(kCommandHardwareDialog);
  bool toldHowToLeave = false;
  while (arm.entryPoint(packet.bytes) == 0) {
    if (!toldHowToLeave) {
      context.print(
          "Hardware config dialog not completed: showing it again. Press any key to leave.\n");
      // Seen now, while the dialog keeps being shown.
      std::cout.flush();
      toldHowToLeave = true;
    }
    const PauseEnd end = pauseUnlessKey(kHardwareDialogRepeatMs);
    if (end == PauseEnd::KeyTaken) break;
    if (end == PauseEnd::InputEnded) {
      // The dialog is closed before the program ends.
      sendDone(arm);
      throw ConsoleInputEnded{};
    }
  }
  sendDone(arm);
  return true;
}

bool testArmModeForKey(int key, TestArmMode& mode) {
  switch (key) {
    case 'p':
    case 'P':
      mode = TestArmMode::PositionDirection;
      return true;
    case 'x':
    case 'X':
      mode = TestArmMode::ProbeX;
      return true;
    case 'y':
    case 'Y':
      mode = TestArmMode::ProbeY;
      return true;
    case 'z':
    case 'Z':
      mode = TestArmMode::ProbeZ;
      return true;
    case 'a':
    case 'A':
      mode = TestArmMode::ProbeAngles;
      return true;
    case '1':
      mode = TestArmMode::FaroProbeX;
      return true;
    case '2':
      mode = TestArmMode::FaroProbeY;
      return true;
    case '3':
      mode = TestArmMode::FaroProbeZ;
      return true;
    default:
      return false;
  }
}

bool testArm(ConsoleContext& context, ArmConnection& arm) {
  if (!checkArmReady(context, arm)) return false;
  context.print("Entering arm testing mode... Press red arm button to exit.\n");
  context.print("Press 'p' for position/direction.\n");
  context.print("Press 'x','y','z' for probe x,y,z directions respectively.\n");
  context.print("Press 'a' for probe angles.\n");
  context.print("Press '1','2','3' for Faro probe x,y,z directions respectively.\n");
  context.print("\n");
  std::fflush(stdout);

  TestArmMode mode = TestArmMode::PositionDirection;
  armwaits::InputWatch watch;
  for (;;) {
    if (!armwaits::waitForRecordEvent(arm, watch)) {
      // No record to show: only the button decides.
      if (armblock::redButton(arm.dataBlock) != 0) break;
      continue;
    }
    const ArmRecord record = armblock::readRecord(arm.dataBlock);
    const LinearMap rotation = probeRotation(arm, record);
    const Vector axes[3] = {rotation(Vector(1.0, 0.0, 0.0)), rotation(Vector(0.0, 1.0, 0.0)),
                            rotation(Vector(0.0, 0.0, 1.0))};
    const Point tip =
        Point(record.x, record.y, record.z) + rotation(Vector(0.0, 0.0, kTestTipLength));
    const Vector angles(Utility::degToRad(record.phi), Utility::degToRad(record.theta),
                        Utility::degToRad(record.psi) + arm.psiDelta);
    const FaroProbeDirections faro = faroProbeDirections(record.phi, record.theta, record.psi);

    if (platform::console::keyWaiting()) {
      TestArmMode chosen = mode;
      if (testArmModeForKey(takeKey(), chosen)) mode = chosen;
    }
    printTestLine(mode, tip, axes, angles, faro);
    platform::sleepMs(kTestArmPauseMs);
    // Ends once the record just shown carries the red button.
    if (record.redButton != 0) break;
  }
  std::printf("\n");
  std::fflush(stdout);
  return true;
}

FaroProbeDirections faroProbeDirections(double phiDegrees, double thetaDegrees, double psiDegrees) {
  const double phi = phiDegrees * kDegreesToRadians;
  const double theta = thetaDegrees * kDegreesToRadians;
  const double psi = psiDegrees * kDegreesToRadians;
  const double c1 = std::cos(phi), s1 = std::sin(phi);
  const double c2 = std::cos(theta), s2 = std::sin(theta);
  const double c3 = std::cos(psi), s3 = std::sin(psi);
  FaroProbeDirections directions;
  directions.x = Vector(c3 * c1 - s3 * c2 * s1, c3 * s1 + s3 * c2 * c1, s3 * s2);
  directions.y = Vector(-s3 * c1 - c3 * c2 * s1, -s3 * s1 + c3 * c2 * c1, c3 * s2);
  directions.z = Vector(s2 * s1, -s2 * c1, c2);
  return directions;
}
