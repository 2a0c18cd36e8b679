// Region settings: the quad-file sections of a part settings file, the part
// transform sections that place each collection, the probe position sections
// of a tool settings file, and the loading and placing of a region's meshes.
//
// All messages go through ConsoleContext::print. A settings file that does
// not exist raises IniFileSection::IniFileException (thrown as a pointer) out
// of these operations.
#pragma once

#include <string>
#include <vector>

#include "ZorvGeometry.h"
#include "console/ConsoleContext.h"

// One quad-file section in memory. Fresh: empty name, collection index 1
// (collection 0), offset (0, 0), all flags false.
struct QuadFileEntry {
  std::string name;
  // "CollectionIndex" as read, 1 when missing. It can be any int, so callers
  // range-check it before computing with it.
  int collectionIndex = 1;
  // 0-based collection: "CollectionIndex" - 1 (the lowest int, which has no
  // predecessor, is kept as it is).
  int collection = 0;
  // Offset of the file's quad indices in the region's (u, v) index space.
  Zorv::Geometry::TwoDimensional::Vector<int> offset;
  bool flipNormals = false;
  bool flipUAxis = false;
  bool flipVAxis = false;
};

// A part transform section: a part-local point P maps to
// rotationOrigin + M (P - rotationOrigin), M = rotation then translation.
struct SectionTransform {
  Zorv::Geometry::ThreeDimensional::Vector rotationAngles;  // radians, about X, Y, Z
  Zorv::Geometry::ThreeDimensional::Vector translation;     // mm
  Zorv::Geometry::ThreeDimensional::Point rotationOrigin;   // mm
};

// What loadRegionMeshes learnt about the region.
struct RegionMeshLists {
  // Per collection (in collection order), per file (in section order).
  std::vector<std::vector<std::string>> paths;
  std::vector<std::vector<Zorv::Geometry::TwoDimensional::Vector<int>>> offsets;
  std::vector<std::vector<bool>> flipNormals;
  std::vector<std::vector<bool>> flipUAxes;
  std::vector<std::vector<bool>> flipVAxes;
  // Per section position, in section order.
  std::vector<std::string> names;
  std::vector<bool> positionFlipUAxis;
  std::vector<bool> positionFlipVAxis;
  std::vector<bool> positionFlipNormals;
  // Collections that received at least one file.
  int collectionCount = 0;
};

// Reads one quad-file section of the part settings file into a fresh entry.
// False when "Name" is missing (after its message); missing collection and
// offset keys print their "partial syntax" line and take the defaults.
bool readQuadFileSection(ConsoleContext& context, const std::string& sectionName,
                         QuadFileEntry& entry);

// Reads a part transform section of the given settings file (angles into
// radians). Groups rotation angle, translation, rotation origin in that
// order, each read only while no earlier one failed; unless quiet, one
// "invalid syntax" line per missing component.
bool readTransformSection(ConsoleContext& context, const std::string& settingsFile,
                          const std::string& sectionName, SectionTransform& transform,
                          bool quiet);

// Reads a probe position section of the tool settings file: rotation angles
// (radians) and translation, both groups always read, messages always printed.
bool readProbeTransformSection(ConsoleContext& context, const std::string& sectionName,
                               Zorv::Geometry::ThreeDimensional::Vector& rotationAngles,
                               Zorv::Geometry::ThreeDimensional::Vector& translation);

// Enumerates, reads and loads the region's quad files into meshes (flips set,
// unplaced) and fills the lists. A region without any quad-file section (a
// settings file that has gone included) is refused with one line. A
// "CollectionIndex" outside 1..99 or above the number of quad-file sections,
// or collection numbers with a gap, refuse the region with one line naming
// the section and the value as written.
bool loadRegionMeshes(ConsoleContext& context,
                      Zorv::Geometry::ThreeDimensional::QuadMesh::RectMeshGroups& meshes,
                      RegionMeshLists& lists);

// The part transform section that places collection `collection` (1-based)
// at the 0-based arm and part positions, with the two older forms as
// fallbacks; empty when no form exists or the name would be ambiguous for
// the part settings file.
std::string findPartTransformSection(const ConsoleContext& context, int collectionCount,
                                     int armPosition, int collection, int partPosition);

// Places every collection of an untransformed mesh group for the 0-based arm
// and part positions. False without a message when a collection has no
// section; false after the "Retrieve fail" line when one cannot be read.
bool applyPartTransforms(ConsoleContext& context, int collectionCount, int armPosition,
                         int partPosition,
                         Zorv::Geometry::ThreeDimensional::QuadMesh::RectMeshGroups& meshes);

// Reads every probe position of the tool settings file, counts them, and
// gives the rotation and translation of the 0-based one asked for. False when
// it is not among them (no message) or a section cannot be read.
bool readProbePosition(ConsoleContext& context, int probePosition, int& probePositionCount,
                       Zorv::Geometry::ThreeDimensional::LinearMap& rotation,
                       Zorv::Geometry::ThreeDimensional::Vector& translation);

// The 0-based position of the quad-file section whose "Name" equals the
// file name exactly ("QuadFile" + k; for k = 1 the plain name when QuadFile1
// does not exist).
bool findQuadFileSection(ConsoleContext& context, const std::string& quadFileName, int& position);
