#include "RegionView.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <system_error>

#include "IniFileSection.h"
#include "arm/ProbeReadings.h"
#include "console/ConsoleContext.h"
#include "platform/paths.h"
#include "regions/RegionTest.h"

namespace armpanel {
namespace {

namespace fs = std::filesystem;
using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Vector;
using Zorv::Geometry::ThreeDimensional::QuadMesh::QuadIndicesIntersectionStatus;

// The settings readers print through a plain function: the panel keeps what
// they said (it runs on one thread).
std::string& printed() {
  static std::string text;
  return text;
}

void capture(std::string text) {
  printed() += text;
}

// The last line the readers printed, apart from the loading banner.
std::string lastMessage(const std::string& text) {
  std::string last;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (!line.empty() && line != "Loading .quads files...") last = line;
    start = end + 1;
  }
  return last;
}

ConsoleContext contextFor(const std::string& settingsFile) {
  ConsoleContext context;
  // The readers find a region's files beside its settings file by the last
  // backslash, as the program spells paths.
  context.partSettingsFile = settingsFile;
  for (char& c : context.partSettingsFile) c = c == '/' ? '\\' : c;
  context.print = &capture;
  return context;
}

std::vector<std::string> components(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '/' || c == '\\') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A wizard directory name without its "NN_" position prefix.
std::string withoutPosition(const std::string& name) {
  return name.size() > 3 && name[2] == '_' ? name.substr(3) : name;
}

}  // namespace

std::vector<std::string> findPartSettingsFiles(const std::string& wizardDirectory) {
  std::vector<std::string> files;
  std::error_code error;
  fs::recursive_directory_iterator it(platform::nativePath(wizardDirectory), error);
  for (; !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
    if (it->is_regular_file(error) && lowerCase(it->path().extension().string()) == ".qini") {
      files.push_back(it->path().string());
    }
  }
  std::sort(files.begin(), files.end());
  return files;
}

std::string regionDisplayName(const std::string& settingsFile) {
  const std::vector<std::string> parts = components(settingsFile);
  for (std::size_t i = 0; i + 3 < parts.size(); ++i) {
    if (lowerCase(parts[i]) == "parts") {
      return withoutPosition(parts[i + 1]) + " / " + withoutPosition(parts[i + 2]);
    }
  }
  return parts.empty() ? settingsFile : parts.back();
}

RegionView::RegionView() = default;

bool RegionView::load(const std::string& settingsFile, int armPosition, int partPosition) {
  settingsFile_ = settingsFile;
  armPosition_ = armPosition;
  partPosition_ = partPosition;
  return loadFile();
}

bool RegionView::loadFile() {
  loaded_ = false;
  placed_ = false;
  std::error_code error;
  const std::string native = platform::nativePath(settingsFile_);
  loadedTime_ = fs::last_write_time(native, error);
  loadedSize_ = error ? 0 : fs::file_size(native, error);

  ConsoleContext context = contextFor(settingsFile_);
  printed().clear();
  lists_ = RegionMeshLists();
  try {
    loaded_ = loadRegionMeshes(context, master_, lists_);
  } catch (IniFileSection::IniFileException* e) {
    printed() += "Cannot read " + e->getMessage() + ".\n";
    delete e;
  } catch (const std::exception& e) {
    printed() += std::string(e.what()) + "\n";
  }
  message_ = lastMessage(printed());
  if (!loaded_) return false;
  const int arm = armPosition_;
  const int part = partPosition_;
  armPosition_ = -1;
  place(arm, part);
  return true;
}

void RegionView::place(int armPosition, int partPosition) {
  if (!loaded_ || (armPosition == armPosition_ && partPosition == partPosition_)) {
    armPosition_ = armPosition;
    partPosition_ = partPosition;
    return;
  }
  armPosition_ = armPosition;
  partPosition_ = partPosition;
  ConsoleContext context = contextFor(settingsFile_);
  printed().clear();
  working_ = master_;
  placed_ = false;
  try {
    placed_ = applyPartTransforms(context, lists_.collectionCount, armPosition, partPosition,
                                  working_);
  } catch (IniFileSection::IniFileException* e) {
    printed() += "Cannot read " + e->getMessage() + ".\n";
    delete e;
  } catch (const std::exception& e) {
    printed() += std::string(e.what()) + "\n";
  }
  if (!placed_) working_ = master_;
  const std::string said = lastMessage(printed());
  message_ = !said.empty() ? said
             : placed_     ? std::string()
                           : "No section places the region at these positions: shown unplaced.";
}

bool RegionView::reloadIfChanged() {
  if (settingsFile_.empty()) return false;
  std::error_code error;
  const std::string native = platform::nativePath(settingsFile_);
  const fs::file_time_type time = fs::last_write_time(native, error);
  const std::uintmax_t size = error ? 0 : fs::file_size(native, error);
  if (error || (time == loadedTime_ && size == loadedSize_)) return false;
  loadFile();
  return true;
}

UnderProbe RegionView::lookUp(const Pose& pose, double ballRadius) const {
  UnderProbe under;
  under.loaded = loaded_;
  under.placed = placed_;
  if (!loaded_) return under;
  const LinearMap rotation = probeRotation(pose.phi, pose.theta, pose.psi, 0.0);
  RegionTestProbe probe;
  probe.ballRadius = ballRadius;
  Point origin;
  Vector direction;
  regionTestRay(probe, Point(pose.x, pose.y, pose.z), rotation, origin, direction);
  QuadIndicesIntersectionStatus status;
  const RegionTestHit hit = intersectRegionTestRay(working_, origin, direction, status);
  under.hit = !hit.failed && hit.valid;
  under.line = regionTestResultLine(false, ArrayElement::Centre, hit);
  if (!under.line.empty() && under.line.front() == '\r') under.line.erase(0, 1);
  while (!under.line.empty() && under.line.back() == ' ') under.line.pop_back();
  if (under.hit) under.file = status.getFileName();
  return under;
}

}  // namespace armpanel
