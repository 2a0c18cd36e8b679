// "Test region": the live loop that intersects the probe's ray with the
// region's meshes, its keys, and the three-click operator-position
// calibration.
#include "regions/RegionTest.h"

#include <cmath>
#include <cstdio>
#include <iostream>
#include <limits>
#include <vector>

#include "IniAccess.h"
#include "IniFileSection.h"
#include "ZorvGeometry.h"
#include "arm/ProbeReadings.h"
#include "arm/PsiZeroDegree.h"
#include "console/ConsoleServices.h"
#include "partmodel/CollectionSettings.h"
#include "platform/console.h"
#include "platform/event.h"
#include "platform/time.h"
#include "regions/RegionSettings.h"
#include "wizardops/SettingsSelection.h"

using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;
using Zorv::Geometry::ThreeDimensional::QuadMesh::QuadIndicesIntersectionStatus;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMeshGroups;

namespace {

constexpr const char* kProbeSection = "Probe";
// Keeps "position + 1" representable however often a key is pressed.
constexpr int kLargestPosition = std::numeric_limits<int>::max() - 1;
// Longest wait of a pass for the arm's next record. A working arm sends one
// well within it; an arm that has stopped sending cannot hold the test, which
// goes on with the previous pose and keeps taking keys.
constexpr std::uint32_t kPoseWaitMs = 500;
const std::string kArmSilentStatus = "No data from the arm. Press 'q' to end the test.";

const std::string kBlank47(47, ' ');

// Everything the live test keeps for its run (positions 0-based).
struct RegionTestState {
  RegionTestProbe probe;
  RectMeshGroups master;
  RectMeshGroups working;
  RegionMeshLists lists;
  int armPosition = 0;
  int partPosition = 0;
  int probePosition = 0;
  // −1: nothing applied yet, so the first pass applies all.
  int appliedArmPosition = -1;
  int appliedPartPosition = -1;
  int appliedProbePosition = -1;
  int probePositionCount = 1;
  // The last pose read from the arm.
  Point tip;
  LinearMap armRotation;
  QuadIndicesIntersectionStatus intersection;
  std::string statusText;
  // Set since the last display step: its time starts at the next one.
  bool statusPending = false;
  // A status has been shown at least once, so statusTime means something.
  bool statusStarted = false;
  std::uint32_t statusTime = 0;
  bool calibrating = false;
  std::vector<OperatorClick> clicks;
  int previousButton = kArmButtonNone;
  std::string lastFileName;
  // The last pose read found no new record from the arm.
  bool armSilent = false;
  // 'q' was pressed while the arm was silent: the test ends.
  bool quit = false;

  void setStatus(std::string text) {
    statusText = std::move(text);
    statusPending = true;
  }
  // A status set earlier is still within its display time.
  bool statusShowing() const {
    return statusStarted && platform::tickMs() - statusTime < kRegionTestStatusMs;
  }
};

// Prints one live line (cut to the line width) and shows it at once: the
// line is rewritten in place, no newline will push it out.
void printLiveLine(ConsoleContext& context, const std::string& line) {
  context.print(line.substr(0, kRegionTestLineWidth));
  std::cout.flush();
}

std::string formatHit(const char* format, const RegionTestHit& hit) {
  char text[256];
  std::snprintf(text, sizeof text, format, hit.u, hit.v, hit.distance, hit.angleDegrees);
  return text;
}

void printInstructions(ConsoleContext& context, bool ultrasonic) {
  if (ultrasonic) {
    context.print("Press 'c', 's', 'e' for centre, start, end array element respectively.\n");
  }
  context.print("Press '1','2' to change arm positions.\n");
  context.print("Press '3','4' to change part positions.\n");
  context.print("Press '5','6' to change probe positions.\n");
  context.print("Press 'o' to calibrate operator position for current part position.\n");
}

void handleKey(RegionTestState& state, int key) {
  switch (key) {
    case '1':
    case '2':
      if (key == '2' && state.armPosition < kLargestPosition) ++state.armPosition;
      if (key == '1' && state.armPosition > 0) --state.armPosition;
      state.setStatus("Arm position: " + numberToText(state.armPosition + 1) + ".");
      return;
    case '3':
    case '4':
      if (key == '4' && state.partPosition < kLargestPosition) ++state.partPosition;
      if (key == '3' && state.partPosition > 0) --state.partPosition;
      state.setStatus("Part position: " + numberToText(state.partPosition + 1) + ".");
      return;
    case '5':
    case '6': {
      const int count = state.probePositionCount > 0 ? state.probePositionCount : 1;
      if (key == '6') {
        state.probePosition = state.probePosition + 1 >= count ? 0 : state.probePosition + 1;
      } else {
        state.probePosition = state.probePosition == 0 ? count - 1 : state.probePosition - 1;
      }
      if (state.probe.ultrasonic) {
        state.setStatus("Probe position: " + numberToText(state.probePosition + 1) + ".");
      } else {
        state.setStatus("Point probe has only one position." + std::string(41, ' '));
      }
      return;
    }
    case 'q':
      // A way out for an arm that sends nothing, red button included; while
      // records come, the red button ends the test.
      if (state.armSilent) state.quit = true;
      return;
    case 'o':
      state.calibrating = true;
      state.clicks.clear();
      QuadIndicesIntersectionStatus::setIntersectionQualityMode(1);
      state.setStatus("Click with green button on a quad file.");
      return;
    default:
      break;
  }
  if (!state.probe.ultrasonic) return;
  switch (key) {
    case 'c':
    case 'C':
      state.probe.element = ArrayElement::Centre;
      break;
    case 's':
    case 'S':
      state.probe.element = ArrayElement::Start;
      break;
    case 'e':
    case 'E':
      state.probe.element = ArrayElement::End;
      break;
    default:
      break;
  }
}

// Places a fresh copy of the region for the chosen arm and part positions
// when either changed. A position without a usable transform leaves the copy
// unplaced, with one line.
void placeMeshes(ConsoleContext& context, RegionTestState& state) {
  const bool armChanged = state.armPosition != state.appliedArmPosition;
  if (!armChanged && state.partPosition == state.appliedPartPosition) return;
  state.working = state.master;
  bool placed = false;
  iniAccessSucceeds([&] {
    placed = applyPartTransforms(context, state.lists.collectionCount, state.armPosition,
                                 state.partPosition, state.working);
  });
  if (!placed) {
    context.print(armChanged ? "Arm position set fail.\n" : "Part position set fail.\n");
  }
  state.appliedArmPosition = state.armPosition;
  state.appliedPartPosition = state.partPosition;
}

// Reads the chosen probe position when it changed; false when it cannot.
bool setProbePosition(ConsoleContext& context, RegionTestState& state) {
  if (!state.probe.ultrasonic || state.probePosition == state.appliedProbePosition) return true;
  bool read = false;
  iniAccessSucceeds([&] {
    read = readProbePosition(context, state.probePosition, state.probePositionCount,
                             state.probe.rotation, state.probe.translation);
  });
  if (!read) {
    context.print("Probe position set fail.\n");
    return false;
  }
  state.appliedProbePosition = state.probePosition;
  return true;
}

// Waits at most kPoseWaitMs for the arm's next record (the block's event)
// and takes its measuring point and probe rotation. False, pose unchanged,
// when no record came in time or the wait failed.
bool readNextPose(ArmConnection& arm, Point& tip, LinearMap& rotation) {
  const platform::EventHandle event = armblock::eventHandle(arm.dataBlock);
  if (platform::waitForEvent(event, kPoseWaitMs) != platform::WaitResult::Signalled) return false;
  const ArmRecord record = armblock::readRecord(arm.dataBlock);
  tip = Point(record.x, record.y, record.z);
  rotation = probeRotation(arm, record);
  return true;
}

// One pass of the live loop; false when the test ends, with `result` its
// result.
bool runPass(ConsoleContext& context, ArmConnection& arm, RegionTestState& state, bool& result) {
  // Keys: one waiting key per pass. At the end of the console input takeKey
  // throws ConsoleInputEnded, which ends the program.
  if (platform::console::keyWaiting()) handleKey(state, takeKey());
  if (state.quit) {
    context.print("\n\n");
    result = false;
    return false;
  }

  // Status display: a new status shows for kRegionTestStatusMs and hides the
  // result line meanwhile. While the arm is silent its status comes back
  // whenever no other one shows.
  if (state.armSilent && !state.statusPending && !state.statusShowing()) {
    state.setStatus(kArmSilentStatus);
  }
  if (state.statusPending) {
    state.statusTime = platform::tickMs();
    state.statusPending = false;
    state.statusStarted = true;
  }
  const bool statusShowing = state.statusShowing();
  if (statusShowing) printLiveLine(context, "\r" + state.statusText + kBlank47);

  placeMeshes(context, state);
  if (!setProbePosition(context, state)) {
    result = false;
    return false;
  }

  // A read that finds no new record keeps the previous pose. The arm falling
  // silent is shown at once; its status ends as soon as records come again.
  const bool fresh = readNextPose(arm, state.tip, state.armRotation);
  if (!fresh && !state.armSilent) state.setStatus(kArmSilentStatus);
  if (fresh && state.armSilent && state.statusText == kArmSilentStatus) {
    state.statusPending = false;
    state.statusStarted = false;
  }
  state.armSilent = !fresh;

  Point origin;
  Vector direction;
  regionTestRay(state.probe, state.tip, state.armRotation, origin, direction);
  const RegionTestHit hit =
      intersectRegionTestRay(state.working, origin, direction, state.intersection);
  const bool valid = !hit.failed && hit.valid;
  if (!statusShowing) {
    printLiveLine(context, regionTestResultLine(state.probe.ultrasonic, state.probe.element, hit));
  }

  // A calibration click is the release of green while the ray hits a quad.
  const int buttons = pollArmButtons(arm);
  if (state.calibrating && buttons == kArmButtonNone && state.previousButton == kArmButtonGreen &&
      valid) {
    OperatorClick click;
    click.u = hit.u;
    click.v = hit.v;
    click.fileName = state.intersection.getFileName();
    click.normalFacesProbe =
        state.intersection.getIntersectionData().getAngleError() < Utility::twopi / 4.0;
    state.clicks.push_back(click);
    if (state.clicks.size() == 1) {
      state.setStatus("Click with green button approximately to the right.");
    } else if (state.clicks.size() == 2) {
      state.setStatus("Click with green button approximately above.");
    }
  }
  state.previousButton = buttons;

  if (state.calibrating && state.clicks.size() == 3) {
    const std::string verdict = calibrateOperatorPosition(context, state.clicks, state.lists);
    if (!verdict.empty()) state.setStatus(verdict);
    QuadIndicesIntersectionStatus::setIntersectionQualityMode(0);
    state.calibrating = false;
    state.clicks.clear();
  }

  if (valid) {
    const std::string& name = state.intersection.getFileName();
    if (name != state.lastFileName) {
      state.lastFileName = name;
      state.setStatus("File: " + name + ".");
    }
  } else {
    state.lastFileName.clear();
  }

  if (pollArmButtons(arm) == kArmButtonRed) {
    context.print("\n\n");
    result = true;
    return false;
  }
  return true;
}

}  // namespace

std::string calibrateOperatorPosition(ConsoleContext& context,
                                      const std::vector<OperatorClick>& clicks,
                                      const RegionMeshLists& lists) {
  if (clicks.size() != 3) return std::string();
  const OperatorClick& first = clicks[0];
  if (clicks[1].fileName != first.fileName || clicks[2].fileName != first.fileName) {
    return "You must select the same quad file for both points.";
  }
  const std::string& file = context.partSettingsFile;
  // The loader takes position 1 from "QuadFile", the search below from
  // "QuadFile1": with both present the flags would be computed from one
  // section and written into the other.
  if (IniFileSection::sectionExists(file, kQuadFileSection) &&
      IniFileSection::sectionExists(file, kQuadFileSection + std::string("1"))) {
    return "Sections QuadFile and QuadFile1 both exist: no flags written.";
  }
  // A click in the first click's column (or row) tells neither direction.
  if (clicks[1].u == first.u || clicks[2].v == first.v) {
    return "Clicks too close together. Press 'o' to try again.";
  }
  // Seen from the operator, u indices grow to the right, v indices downwards.
  const bool uCorrect = clicks[1].u > first.u;
  const bool vCorrect = clicks[2].v < first.v;
  const bool normalsCorrect = first.normalFacesProbe;

  int position = 0;
  bool found = false;
  iniAccessSucceeds([&] { found = findQuadFileSection(context, first.fileName + ".quads", position); });
  if (!found) return std::string();
  std::string section = kQuadFileSection + numberToText(position + 1);
  if (position == 0 && !IniFileSection::sectionExists(file, section)) section = kQuadFileSection;
  if (IniFileSection::sectionExists(file, section)) {
    const auto loaded = [&](const std::vector<bool>& flags) {
      const auto index = static_cast<std::size_t>(position);
      return index < flags.size() && flags[index];
    };
    const bool flipU = loaded(lists.positionFlipUAxis);
    const bool flipV = loaded(lists.positionFlipVAxis);
    const bool flipNormals = loaded(lists.positionFlipNormals);
    const bool written = iniAccessSucceeds([&] {
      const IniFileSection quadFile(file, section, false);
      // The three flags together: a crash never leaves the file half corrected.
      quadFile.setBools({{"FlipUAxis", uCorrect ? flipU : !flipU},
                         {"FlipVAxis", vCorrect ? flipV : !flipV},
                         {"FlipNormals", normalsCorrect ? flipNormals : !flipNormals}});
    });
    if (!written) return "Failed to write the flags of section " + section + ".";
  }
  const auto verdict = [](bool correct) { return correct ? "correct. " : "changed. "; };
  std::string status = std::string("FlipUAxis ") + verdict(uCorrect) + "FlipVAxis " +
                       verdict(vCorrect) + "FlipNormals " + verdict(normalsCorrect);
  status.pop_back();  // no space after the last verdict
  return status;
}

void readArrayProbe(const ConsoleContext& context, RegionTestProbe& probe) {
  // What cannot be read keeps its start value.
  iniAccessSucceeds([&] {
    const IniFileSection section(context.toolSettingsFile, kProbeSection, false);
    probe.elementCount = section.getInt("NumberOfElements");
    const double pitch = section.getDouble("ElementPitch");
    // A pitch that is not finite would make every element's ray non-finite
    // and the start and end lines blank for the whole test.
    if (std::isfinite(pitch)) probe.elementPitch = pitch;
  });
}

void regionTestRay(const RegionTestProbe& probe, const Point& tip, const LinearMap& armRotation,
                   Point& origin, Vector& direction) {
  direction = armRotation(probe.rotation(Vector(0.0, 0.0, 1.0)));
  const Point centre = tip + armRotation(probe.translation);
  if (!probe.ultrasonic) {
    origin = centre + direction * probe.ballRadius;
    return;
  }
  const Vector elementAxis = armRotation(probe.rotation(Vector(1.0, 0.0, 0.0)));
  // The integer half of the count: an even array has no centre element.
  const double half = static_cast<double>(probe.elementCount / 2) * probe.elementPitch;
  switch (probe.element) {
    case ArrayElement::Centre:
      origin = centre;
      break;
    case ArrayElement::Start:
      origin = centre - elementAxis * half;
      break;
    case ArrayElement::End:
      origin = centre + elementAxis * half;
      break;
  }
}

RegionTestHit intersectRegionTestRay(const RectMeshGroups& meshes, const Point& origin,
                                     const Vector& direction,
                                     QuadIndicesIntersectionStatus& status) {
  RegionTestHit hit;
  try {
    status = meshes.getIntersectionStatus(origin, direction, false);
  } catch (...) {
    hit.failed = true;
    return hit;
  }
  if (!status.getIsValid()) return hit;
  const auto& data = status.getIntersectionData();
  hit.valid = true;
  hit.u = status.getIndices().getU();
  hit.v = status.getIndices().getV();
  hit.distance = data.getDistanceToObject();
  hit.angleDegrees = 180.0 - Utility::radToDeg(data.getAngleToObjectNormal());
  return hit;
}

std::string regionTestResultLine(bool ultrasonic, ArrayElement element, const RegionTestHit& hit) {
  std::string line;
  if (!ultrasonic) {
    if (hit.failed) {
      line = "\rFailed." + std::string(56, ' ');
    } else if (hit.valid) {
      line = formatHit("\r(u,v)=(%06d,%06d). Distance: %06.1lfmm. Angle: %06.2lf deg.     ", hit);
    } else {
      line = "\r(u,v)=(______,______). Distance: ______mm. Angle: ______ deg.     ";
    }
  } else {
    switch (element) {
      case ArrayElement::Start:
        line = "\rStart: ";
        break;
      case ArrayElement::Centre:
        line = "\rCentre: ";
        break;
      case ArrayElement::End:
        line = "\rEnd: ";
        break;
    }
    if (!hit.failed && hit.valid) {
      line += formatHit("(u,v)=(%06d,%06d). Distance: %06.1lfmm. Angle: %06.2lf deg.", hit) +
              std::string(16, ' ');
    } else {
      line += "(u,v)=(______,______). Distance: ______mm. Angle: ______deg." + std::string(12, ' ');
    }
  }
  return line.substr(0, kRegionTestLineWidth);
}

bool testRegion(ConsoleContext& context, ArmConnection& arm) {
  if (!checkArmReady(context, arm)) return false;
  if (!chooseRegionSettingsFile(context.directoryMode, context.partSettingsFile, "part")) {
    context.print("Failed to identify .qini or .ini file.\n");
    return false;
  }
  const char answer =
      askForCharacter(context.print, "\nDo you want to use an ultrasonic probe? (y/n): ", "ynYN");
  bool chosen = true;
  if (answer == 'y' || answer == 'Y') {
    chosen = chooseRegionToolFile(context.directoryMode, context.partSettingsFile,
                                  context.toolSettingsFile);
  } else {
    context.toolSettingsFile.clear();
  }
  // The test runs whatever the tool choice gave: an empty path is a point probe.
  runRegionTest(context, arm);
  return chosen;
}

bool runRegionTest(ConsoleContext& context, ArmConnection& arm) {
  if (!checkArmReady(context, arm)) return false;
  RegionTestState state;
  state.probe.ultrasonic = !context.toolSettingsFile.empty();
  if (!state.probe.ultrasonic) {
    chooseBallProbe(context);
    state.probe.ballRadius = context.ballProbeRadius;
  }
  if (!loadRegionMeshes(context, state.master, state.lists)) return false;
  if (state.probe.ultrasonic) readArrayProbe(context, state.probe);
  printInstructions(context, state.probe.ultrasonic);
  std::cout.flush();

  bool result = false;
  while (runPass(context, arm, state, result)) {
  }
  return result;
}
