#include "arm/ProbeReadings.h"

#include "ArmWaits.h"
#include "platform/time.h"

using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;

namespace {

constexpr std::uint32_t kRecordPointPauseMs = 200;
constexpr std::uint32_t kPollButtonsPauseMs = 100;

Point measuringPoint(const ArmRecord& record) {
  return Point(record.x, record.y, record.z);
}

}  // namespace

LinearMap probeRotation(double phiDegrees, double thetaDegrees, double psiDegrees,
                        double psiDelta) {
  LinearMap rotation;
  // Turns about fixed axes Z, X, Z: psi first, then theta, then phi.
  rotation.setRotation(LinearMap::Z, LinearMap::X, LinearMap::Z,
                       Vector(Utility::degToRad(psiDegrees) + psiDelta,
                              Utility::degToRad(thetaDegrees), Utility::degToRad(phiDegrees)));
  return rotation;
}

LinearMap probeRotation(const ArmConnection& arm, const ArmRecord& record) {
  return probeRotation(record.phi, record.theta, record.psi, arm.psiDelta);
}

bool readProbePose(ArmConnection& arm, Point& point, LinearMap& rotation) {
  if (!arm.ready) return false;
  armwaits::InputWatch watch;
  if (!armwaits::waitForRecordEvent(arm, watch)) return false;
  const ArmRecord record = armblock::readRecord(arm.dataBlock);
  point = measuringPoint(record);
  rotation = probeRotation(arm, record);
  return true;
}

Point recordProbePoint(ArmConnection& arm, bool& aborted, double tipOffset) {
  aborted = false;
  if (!arm.ready) {
    aborted = true;
    return Point();
  }
  platform::sleepMs(kRecordPointPauseMs);
  int lastButton = 0;
  int redCount = 0;
  bool done = false;
  Point result;
  armwaits::InputWatch watch;
  // Spins without pause so that a press is seen on the first record that
  // carries it.
  while (!done && !aborted) {
    ArmRecord record;
    if (!armblock::takeFreshRecord(arm.dataBlock, record)) {
      watch.check();
      continue;
    }
    if (record.greenButton != 0) {
      if (lastButton == 0) {
        const Vector axis = probeRotation(arm, record)(Vector(0.0, 0.0, 1.0));
        result = measuringPoint(record) + axis * tipOffset;
        platform::beep(kGreenBeepHz, kButtonBeepMs);
        done = true;
      }
      lastButton = record.greenButton;
    } else if (record.redButton != 0) {
      ++redCount;
      aborted = redCount == 2;
      platform::beep(kRedBeepHz, kButtonBeepMs);
      result = Point();
      lastButton = record.redButton;
    }
  }
  return result;
}

int pollArmButtons(ArmConnection& arm) {
  platform::sleepMs(kPollButtonsPauseMs);
  if (!arm.ready) return kArmButtonRed;
  ArmRecord record;
  if (!armblock::takeFreshRecord(arm.dataBlock, record)) return kArmButtonNone;
  if (record.greenButton != 0) return kArmButtonGreen;
  if (record.redButton != 0) return kArmButtonRed;
  return kArmButtonNone;
}

int waitForArmButtonPress(ArmConnection& arm) {
  armwaits::InputWatch watch;
  for (;;) {
    const int button = pollArmButtons(arm);
    if (button != kArmButtonNone) return button;
    watch.check();
  }
}

Vector recordProbeAngles(ArmConnection& arm, bool& aborted) {
  aborted = false;
  if (!arm.ready) {
    aborted = true;
    return Vector();
  }
  armwaits::InputWatch watch;
  // Each call starts with no button seen, so the first record with green
  // down finishes the wait.
  for (;;) {
    ArmRecord record;
    if (!armblock::takeFreshRecord(arm.dataBlock, record)) {
      watch.check();
      continue;
    }
    if (record.greenButton != 0) {
      platform::beep(kGreenBeepHz, kButtonBeepMs);
      return Vector(Utility::degToRad(record.phi), Utility::degToRad(record.theta),
                    Utility::degToRad(record.psi));
    }
    if (record.redButton != 0) {
      platform::beep(kRedBeepHz, kButtonBeepMs);
      aborted = true;
      return Vector();
    }
  }
}
