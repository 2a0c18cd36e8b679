// ZorvVLWizardShapeSelectState: the current part, scan, region and tool of a
// wizard directory, the lists they are chosen from, the paths derived from
// the choice, and the selected tool's gain configuration.
#include <algorithm>
#include <cstdint>
#include <string>

#include "IniFileSection.h"
#include "ZorvVLWizard.h"
#include "wizard_names.h"

using wizardnames::entryPrefix;
using wizardnames::join;
using wizardnames::positionOf;
using Utilities = ZorvVLWizardUtilities;

namespace {

// Aperture numbers read back from a gain file: dB0 to dB127.
constexpr std::uint32_t kApertureCount = 128;

unsigned long sizeOf(const string_vector& list) {
  return static_cast<unsigned long>(list.strings.size());
}

}  // namespace

const unsigned long ZorvVLWizardShapeSelectState::voidIndex = 4294967295UL;

ZorvVLWizardShapeSelectState::~ZorvVLWizardShapeSelectState() = default;

ZorvVLWizardShapeSelectState::ZorvVLWizardShapeSelectState()
    : partIndex(0),
      regionIndex(0),
      scanIndex(0),
      toolIndex(0),
      regionToolIndex(0),
      regionScanIndex(0),
      globalGainSection("GlobalGain"),
      globalGainKey("dB"),
      apertureGainsSection("ApertureGains"),
      apertureGainKeyPrefix("dB") {}

ZorvVLWizardShapeSelectState::ZorvVLWizardShapeSelectState(
    const ZorvVLWizardShapeSelectState& other) = default;

ZorvVLWizardShapeSelectState& ZorvVLWizardShapeSelectState::operator=(
    const ZorvVLWizardShapeSelectState& other) = default;

bool ZorvVLWizardShapeSelectState::init(const std::string& baseDirectory) {
  wizardDirectory = Utilities::getWizardDirectoryName(baseDirectory);
  if (wizardDirectory.empty()) return false;

  if (!Utilities::getParts(wizardDirectory, parts)) return false;
  // A void or stale index selects nothing.
  if (partIndex >= sizeOf(parts)) return false;
  part = parts.strings[partIndex];

  const std::string partDirectory = getFullPartDirectory();
  if (!Utilities::getRegions(partDirectory, regions)) return false;
  if (!Utilities::getScans(partDirectory, scanRegions, partScans)) return false;

  if (scanIndex >= sizeOf(scanRegions) || scanIndex >= sizeOf(partScans)) return false;
  regionIndex = positionOf(regions, scanRegions.strings[scanIndex]);
  if (regionIndex >= sizeOf(regions)) return false;
  region = regions.strings[regionIndex];
  scan = partScans.strings[scanIndex];

  if (!Utilities::getRegionTools(getFullRegionDirectory(), regionTools)) return false;
  if (regionToolIndex >= sizeOf(regionTools)) return false;
  tool = regionTools.strings[regionToolIndex];

  if (!Utilities::getTools(wizardDirectory, tools)) return false;
  toolIndex = positionOf(tools, tool);
  return toolIndex < sizeOf(tools);
}

bool ZorvVLWizardShapeSelectState::setPartIndex(unsigned long index, unsigned long& previous) {
  if (index >= getNumberOfParts()) return false;
  previous = partIndex;
  partIndex = index;
  part = parts.strings[index];
  if (index != previous) setScanVoid();

  const std::string partDirectory = getFullPartDirectory();
  if (!Utilities::getRegions(partDirectory, regions)) return false;
  return Utilities::getScans(partDirectory, scanRegions, partScans);
}

bool ZorvVLWizardShapeSelectState::setScanIndex(unsigned long index, unsigned long& previous) {
  if (index >= getNumberOfPartScans()) return false;
  previous = scanIndex;
  scanIndex = index;
  scan = partScans.strings[index];

  if (index >= sizeOf(scanRegions)) return false;
  regionIndex = positionOf(regions, scanRegions.strings[index]);
  if (regionIndex >= sizeOf(regions)) return false;
  region = regions.strings[regionIndex];

  if (!Utilities::getRegionScans(getFullRegionDirectory(), regionScans)) return false;
  regionScanIndex = positionOf(regionScans, scan);
  if (regionScanIndex >= sizeOf(regionScans)) return false;

  if (index != previous) setToolVoid();
  return true;
}

bool ZorvVLWizardShapeSelectState::setToolIndex(unsigned long index, unsigned long& previous) {
  Utilities::getRegionTools(getFullRegionDirectory(), regionTools);
  if (index >= getNumberOfRegionTools()) return false;
  previous = regionToolIndex;
  regionToolIndex = index;
  tool = regionTools.strings[index];
  toolIndex = positionOf(tools, tool);
  return toolIndex < sizeOf(tools);
}

void ZorvVLWizardShapeSelectState::setPartVoid() {
  partIndex = voidIndex;
  part.clear();
}

void ZorvVLWizardShapeSelectState::setScanVoid() {
  scanIndex = voidIndex;
  scan.clear();
}

void ZorvVLWizardShapeSelectState::setToolVoid() {
  toolIndex = voidIndex;
  tool.clear();
}

bool ZorvVLWizardShapeSelectState::getIsPartVoid() const {
  return partIndex == voidIndex;
}
bool ZorvVLWizardShapeSelectState::getIsScanVoid() const {
  return scanIndex == voidIndex;
}
bool ZorvVLWizardShapeSelectState::getIsToolVoid() const {
  return toolIndex == voidIndex;
}

bool ZorvVLWizardShapeSelectState::getIsPartPermanent() const {
  return Utilities::getDoesFileExist(join(getFullPartDirectory(), "IsPermanent"));
}

unsigned long ZorvVLWizardShapeSelectState::getVoidIndexID() {
  return voidIndex;
}

const string_vector& ZorvVLWizardShapeSelectState::getParts() const {
  return parts;
}
const string_vector& ZorvVLWizardShapeSelectState::getPartScans() const {
  return partScans;
}
const string_vector& ZorvVLWizardShapeSelectState::getRegionTools() const {
  return regionTools;
}
const string_vector& ZorvVLWizardShapeSelectState::getTools() const {
  return tools;
}

unsigned long ZorvVLWizardShapeSelectState::getNumberOfParts() const {
  return sizeOf(parts);
}
unsigned long ZorvVLWizardShapeSelectState::getNumberOfPartScans() const {
  return sizeOf(partScans);
}
unsigned long ZorvVLWizardShapeSelectState::getNumberOfRegionTools() const {
  return sizeOf(regionTools);
}

std::string ZorvVLWizardShapeSelectState::getPart() const {
  return part;
}
std::string ZorvVLWizardShapeSelectState::getRegion() const {
  return region;
}
std::string ZorvVLWizardShapeSelectState::getTool() const {
  return tool;
}
std::string ZorvVLWizardShapeSelectState::getWizardDirectory() const {
  return wizardDirectory;
}

bool ZorvVLWizardShapeSelectState::getDoesPartExist(const std::string& name) const {
  return positionOf(parts, name) < sizeOf(parts);
}

std::string ZorvVLWizardShapeSelectState::getFullPartDirectory() const {
  return join(join(wizardDirectory, Utilities::getPartsDirectoryName()),
              entryPrefix(partIndex) + part);
}

std::string ZorvVLWizardShapeSelectState::getFullRegionDirectory() const {
  return join(getFullPartDirectory(), entryPrefix(regionIndex) + region);
}

std::string ZorvVLWizardShapeSelectState::getFullToolDirectory() const {
  return join(join(wizardDirectory, Utilities::getToolsDirectoryName()),
              entryPrefix(toolIndex) + tool);
}

std::string ZorvVLWizardShapeSelectState::getLogicalLocalSettingsDirectoryName() const {
  return join(getFullRegionDirectory(), entryPrefix(regionToolIndex) + tool);
}

std::string ZorvVLWizardShapeSelectState::getSelectedToolINIFileName() const {
  return join(getLogicalLocalSettingsDirectoryName(), tool + ".ini");
}

std::string ZorvVLWizardShapeSelectState::getLocalSettingsFileName() const {
  return join(getLogicalLocalSettingsDirectoryName(), tool + ".vl2");
}

std::string ZorvVLWizardShapeSelectState::getMasterSettingsFileName() const {
  return join(getFullToolDirectory(), tool + ".vl2");
}

std::string ZorvVLWizardShapeSelectState::getSettingsFileName(bool* usedMaster) const {
  const std::string local = getLocalSettingsFileName();
  const std::string master = getMasterSettingsFileName();
  bool master_used = false;
  std::string result = local;
  if (!Utilities::getDoesFileExist(local) && Utilities::getDoesFileExist(master)) {
    result = master;
    master_used = true;
  }
  if (usedMaster != nullptr) *usedMaster = master_used;
  return result;
}

std::string ZorvVLWizardShapeSelectState::getGainConfigINIFileName() const {
  const std::string master = getMasterSettingsFileName();
  std::string name = wizardnames::lastComponent(master);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.erase(dot);
  return join(wizardnames::parentOf(master), name + ".gini");
}

std::string ZorvVLWizardShapeSelectState::getQuadsINIFileName() const {
  const std::string regionDirectory = getFullRegionDirectory();
  return join(regionDirectory,
              wizardnames::stripEntryNumber(wizardnames::lastComponent(regionDirectory)) + ".qini");
}

std::string ZorvVLWizardShapeSelectState::getPartImageFileName() const {
  return join(getFullPartDirectory(), part + ".bmp");
}

std::string ZorvVLWizardShapeSelectState::getScanImageFileName() const {
  return join(getFullRegionDirectory(), entryPrefix(regionScanIndex) + scan + ".bmp");
}

std::string ZorvVLWizardShapeSelectState::getToolImageFileName() const {
  return join(getFullToolDirectory(), tool + ".bmp");
}

std::string ZorvVLWizardShapeSelectState::getMissingImageFileName() const {
  return join(join(wizardDirectory, Utilities::getMiscellaneousDirectoryName()), "missing.bmp");
}

string_vector ZorvVLWizardShapeSelectState::getCompatibleTools(const std::string& device) const {
  string_vector compatible;
  const std::string toolsDirectory = join(wizardDirectory, Utilities::getToolsDirectoryName());
  for (std::size_t i = 0; i < tools.strings.size(); ++i) {
    const std::string& name = tools.strings[i];
    const std::string definition = join(
        join(toolsDirectory, entryPrefix(static_cast<unsigned long>(i)) + name), name + ".tini");
    // Tools whose definition does not name a device are skipped; a present
    // but unreadable value reaches the caller as the reader's exception.
    if (!IniFileSection::keyExists(definition, "PositionCapture", "Device")) continue;
    IniFileSection section(definition, "PositionCapture", false);
    if (wizardnames::equalsIgnoreCase(section.getString("Device"), device)) {
      compatible.strings.push_back(name);
    }
  }
  return compatible;
}

string_vector ZorvVLWizardShapeSelectState::getRegionCompatibleTools() const {
  const bool armRegion =
      Utilities::getDoesFileExist(join(getFullRegionDirectory(), region + ".qini"));
  return getCompatibleTools(armRegion ? "Arm" : "Encoder");
}

string_vector ZorvVLWizardShapeSelectState::getRegionAvailableTools() const {
  string_vector available;
  for (const std::string& name : getRegionCompatibleTools().strings) {
    if (positionOf(regionTools, name) >= sizeOf(regionTools)) available.strings.push_back(name);
  }
  return available;
}

bool ZorvVLWizardShapeSelectState::getFullToolFilename(const std::string& partName,
                                                       const std::string& regionName,
                                                       const std::string& toolName,
                                                       std::string& path) const {
  // A name missing from its list numbers one past the last entry: the path
  // then names a file that does not exist.
  const std::string partDirectory = join(join(wizardDirectory, Utilities::getPartsDirectoryName()),
                                         entryPrefix(positionOf(parts, partName)) + partName);
  string_vector partRegions;
  if (!Utilities::getNumericDirectories(partDirectory, partRegions)) {
    path.clear();
    return false;
  }
  const std::string regionDirectory =
      join(partDirectory, entryPrefix(positionOf(partRegions, regionName)) + regionName);
  string_vector toolsOfRegion;
  if (!Utilities::getNumericDirectories(regionDirectory, toolsOfRegion)) {
    path.clear();
    return false;
  }
  path = join(join(regionDirectory, entryPrefix(positionOf(toolsOfRegion, toolName)) + toolName),
              toolName + ".ini");
  return true;
}

void ZorvVLWizardShapeSelectState::setGainState(const GainState& state) {
  // The file's name is made from the selected tool's name: one that is no
  // plain entry name could place it anywhere, so nothing is written.
  if (!wizardnames::isPlainEntryName(tool)) {
    throw new IniFileSection::IniFileException("", IniFileSection::WriteFailed);
  }
  const std::string file = getGainConfigINIFileName();
  IniFileSection global(file, globalGainSection, true);
  global.setDouble(globalGainKey.c_str(), state.globalGain);
  // The two lists are parallel; a longer one's extra entries have no partner
  // and are not written.
  const std::size_t count = std::min(state.apertureGains.size(), state.apertureNumbers.size());
  IniFileSection apertures(file, apertureGainsSection, true);
  for (std::size_t k = 0; k < count; ++k) {
    const std::string key = apertureGainKeyPrefix + std::to_string(state.apertureNumbers[k]);
    apertures.setDouble(key.c_str(), state.apertureGains[k]);
  }
}

bool ZorvVLWizardShapeSelectState::getGainState(GainState& state) const {
  const std::string file = getGainConfigINIFileName();
  if (!Utilities::getDoesFileExist(file)) return false;
  IniFileSection global(file, globalGainSection, false);
  state.globalGain = global.getDouble(globalGainKey.c_str());
  state.apertureGains.clear();
  state.apertureNumbers.clear();
  IniFileSection apertures(file, apertureGainsSection, false);
  for (std::uint32_t number = 0; number < kApertureCount; ++number) {
    const std::string key = apertureGainKeyPrefix + std::to_string(number);
    if (!IniFileSection::keyExists(apertures.fileName, apertureGainsSection, key)) continue;
    state.apertureGains.push_back(apertures.getDouble(key.c_str()));
    state.apertureNumbers.push_back(number);
  }
  return true;
}
