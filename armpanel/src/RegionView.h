// The arm panel's view of a region: its quad meshes loaded and placed as
// "Test region" loads and places them (the same settings readers), and the
// quad under the probe's axis, shown as the region test's live line.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "ArmPanel.h"
#include "ZorvGeometry.h"
#include "regions/RegionSettings.h"

namespace armpanel {

// The part settings files (".qini") below a wizard directory, sorted by path.
std::vector<std::string> findPartSettingsFiles(const std::string& wizardDirectory);

// "Part / Region" from a settings file's path in the wizard tree
// (".../parts/02_Bracket/01_Flange/Flange.qini" gives "Bracket / Flange"),
// else the file name.
std::string regionDisplayName(const std::string& settingsFile);

// What lies under the probe's axis.
struct UnderProbe {
  bool loaded = false;  // the region's meshes are loaded
  bool placed = false;  // a section places them for the positions
  bool hit = false;     // the ray meets a quad
  // The region test's result line for a ball probe, without its "\r" and
  // trailing blanks; empty when nothing is loaded.
  std::string line;
  // The hit file's name (no directory, no ".quads"); empty for a miss.
  std::string file;
};

class RegionView {
 public:
  RegionView();

  // Loads the region of a part settings file and places it for the 0-based
  // arm and part positions. False when it does not load (message() says why).
  bool load(const std::string& settingsFile, int armPosition, int partPosition);
  // Places the loaded meshes for other positions (no-op when unchanged).
  void place(int armPosition, int partPosition);
  // Loads the same file again when it changed on disk since the last load
  // (a calibration wrote a section, a planar calibration generated the
  // meshes). True when it loaded again.
  bool reloadIfChanged();

  // The quad under the axis of a ball probe of the given radius (mm): the
  // ray starts at the ball's centre, as in the region test.
  UnderProbe lookUp(const Pose& pose, double ballRadius) const;

  const std::string& settingsFile() const { return settingsFile_; }
  // The last thing the settings readers reported while loading or placing.
  const std::string& message() const { return message_; }
  bool loaded() const { return loaded_; }
  bool placed() const { return placed_; }
  int armPosition() const { return armPosition_; }
  int partPosition() const { return partPosition_; }

 private:
  bool loadFile();

  std::string settingsFile_;
  std::filesystem::file_time_type loadedTime_{};
  std::uintmax_t loadedSize_ = 0;
  bool loaded_ = false;
  bool placed_ = false;
  int armPosition_ = 0;
  int partPosition_ = 0;
  std::string message_;
  Zorv::Geometry::ThreeDimensional::QuadMesh::RectMeshGroups master_;
  Zorv::Geometry::ThreeDimensional::QuadMesh::RectMeshGroups working_;
  RegionMeshLists lists_;
};

}  // namespace armpanel
