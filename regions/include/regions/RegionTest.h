// "Test region": the live probe ray on the region's quad meshes, and the
// operator-position calibration that decides for a quad file whether its u
// axis, v axis and normals run the way the operator sees them.
//
// The operator holds the probe against the part; one line, rewritten in place
// (each begins with "\r" and is at most 80 characters), shows the quad (u, v)
// the ray hits, the distance to it and the angle between ray and surface.
// Keys change the arm, part and probe positions that place the meshes and the
// probe; the red arm button ends the test.
#pragma once

#include <string>
#include <vector>

#include "ZorvGeometry.h"
#include "arm/ArmConnection.h"
#include "console/ConsoleContext.h"
#include "regions/RegionSettings.h"

// Longest live line, "\r" included.
inline constexpr std::size_t kRegionTestLineWidth = 80;
// How long a status text hides the result line.
inline constexpr std::uint32_t kRegionTestStatusMs = 2000;

// Which element of an ultrasonic array probe sends the ray.
enum class ArrayElement { Centre, Start, End };

// The probe whose ray the test traces: a ball probe's axis, starting at the
// ball's centre, or the beam of one element of an ultrasonic array.
struct RegionTestProbe {
  bool ultrasonic = false;
  // Ball probe: its radius, mm.
  double ballRadius = 0.0;
  // Array probe: the element used, the number of elements, their pitch (mm).
  ArrayElement element = ArrayElement::Centre;
  int elementCount = 0;
  double elementPitch = 0.8;
  // From the arm's tip frame to the centre of the probe's active face (the
  // probe position of the tool settings file); identity and zero for a ball.
  Zorv::Geometry::ThreeDimensional::LinearMap rotation;
  Zorv::Geometry::ThreeDimensional::Vector translation;
};

// Reads "NumberOfElements", then "ElementPitch" of the "Probe" section of
// context.toolSettingsFile into the probe. What cannot be read (from the
// first failure on, a missing file or section included) keeps its value, and
// so does a pitch that is not a finite number.
void readArrayProbe(const ConsoleContext& context, RegionTestProbe& probe);

// The ray for the arm's tip point and rotation: direction = the probe's axis
// (0, 0, 1) turned into the arm frame; origin = the active centre, moved by the
// ball radius along the axis, or by half the array (the integer half of the
// element count times the pitch) back (start) or forward (end) along the
// probe's x axis.
void regionTestRay(const RegionTestProbe& probe, const Zorv::Geometry::ThreeDimensional::Point& tip,
                   const Zorv::Geometry::ThreeDimensional::LinearMap& armRotation,
                   Zorv::Geometry::ThreeDimensional::Point& origin,
                   Zorv::Geometry::ThreeDimensional::Vector& direction);

// What one pass found, for its result line.
struct RegionTestHit {
  // The intersection call raised: no result at all.
  bool failed = false;
  // The ray meets a quad (only meaningful when not failed).
  bool valid = false;
  int u = 0;
  int v = 0;
  double distance = 0.0;      // mm along the ray
  double angleDegrees = 0.0;  // 180 − angle between ray and the quad's normal
};

// Intersects the ray with the meshes. `status` receives the result unless
// the call raises (it then keeps its value and the hit is marked failed).
RegionTestHit intersectRegionTestRay(
    const Zorv::Geometry::ThreeDimensional::QuadMesh::RectMeshGroups& meshes,
    const Zorv::Geometry::ThreeDimensional::Point& origin,
    const Zorv::Geometry::ThreeDimensional::Vector& direction,
    Zorv::Geometry::ThreeDimensional::QuadMesh::QuadIndicesIntersectionStatus& status);

// The result line of one pass, cut to kRegionTestLineWidth characters: for a
// point probe the hit, the blank form for a miss or "Failed." for a failed
// call; for an ultrasonic probe the element's name, then the hit or the blank
// form (a failed call shows the blank form).
std::string regionTestResultLine(bool ultrasonic, ArrayElement element, const RegionTestHit& hit);

// One click of the operator-position calibration: the hit quad's indices,
// its file's name (without directory and ".quads") and whether the quad's
// normal faces the probe.
struct OperatorClick {
  int u = 0;
  int v = 0;
  std::string fileName;
  bool normalFacesProbe = false;
};

// The operator-position calibration of three clicks: on a point, to its
// right, above it, as seen from the operator (u indices must grow to the
// right, v indices downwards, the normals face the probe). Writes the
// corrected FlipUAxis, FlipVAxis and FlipNormals of the clicked file's
// section in context.partSettingsFile, from the flags loaded with the region
// (lists), and gives the status text to show (empty: none). Nothing is
// written when the clicks are on different files, the file holds both
// "QuadFile" and "QuadFile1" (the loader and the search by name would take
// different sections), or the second click shares the first's u or the
// third its v (no direction to tell).
std::string calibrateOperatorPosition(ConsoleContext& context,
                                      const std::vector<OperatorClick>& clicks,
                                      const RegionMeshLists& lists);

// The menu operation: chooses the part's region settings file and, when the
// operator uses an ultrasonic probe, one of the region's tools, then runs the
// live test. True when the files were chosen (the live test's own result is
// not used); false, with one line, when the arm is not open.
bool testRegion(ConsoleContext& context, ArmConnection& arm);

// The live test on context.partSettingsFile with context.toolSettingsFile
// (empty: a point probe of context.ballProbeRadius, asked once per run). Each
// pass waits a bounded time for the arm's next record; when none comes it
// goes on with the previous pose, keeps taking keys and shows "No data from
// the arm. Press 'q' to end the test." while the arm stays silent. True when
// ended with the red button; false when ended with 'q' (taken only while the
// arm is silent), the arm is not open, the region does not load or a probe
// position cannot be set. Ends with ConsoleInputEnded when the console input
// ends.
bool runRegionTest(ConsoleContext& context, ArmConnection& arm);
