// ZorvVLWizardUtilities: numbered files, scans, positioning devices and what
// suits them, stock-object directories, settings-file identification and
// part deletion.
#include <cstdint>
#include <string>

#include "IniFileSection.h"
#include "ZorvVLWizard.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "wizard_names.h"

using wizardnames::entryPrefix;
using wizardnames::join;

bool ZorvVLWizardUtilities::getNumericFiles(const std::string& directory,
                                            const std::string& extension, string_vector& list) {
  return wizardnames::listNumberedEntries(directory, "_*." + extension,
                                          wizardnames::EntryKind::File, list);
}

bool ZorvVLWizardUtilities::getNumericFile(const std::string& directory, const std::string& name,
                                           const std::string& extension, std::string& fileName) {
  platform::DirectorySearch search;
  platform::FindData entry;
  if (!search.first(join(directory, "*_" + name + "." + extension), entry)) return false;
  if (!entry.isDirectory()) fileName = entry.name;
  return true;
}

bool ZorvVLWizardUtilities::getRegionScans(const std::string& regionDirectory,
                                           string_vector& list) {
  return getNumericFiles(regionDirectory, "bmp", list);
}

bool ZorvVLWizardUtilities::getScans(const std::string& partDirectory, string_vector& regions,
                                     string_vector& scans) {
  regions.strings.clear();
  scans.strings.clear();
  string_vector partRegions;
  if (!getRegions(partDirectory, partRegions)) return false;
  for (std::size_t i = 0; i < partRegions.strings.size(); ++i) {
    const std::string& region = partRegions.strings[i];
    string_vector regionScans;
    // A region without scans contributes its "missing" placeholder, so that
    // the two lists stay parallel.
    getNumericFiles(join(partDirectory, entryPrefix(static_cast<unsigned long>(i)) + region), "bmp",
                    regionScans);
    for (const std::string& scan : regionScans.strings) {
      scans.strings.push_back(scan);
      regions.strings.push_back(region);
    }
  }
  if (scans.strings.empty()) {
    scans.strings.push_back("missing");
    regions.strings.push_back("missing");
    return false;
  }
  return true;
}

bool ZorvVLWizardUtilities::getPositionDevices(string_vector& list) {
  list.strings = {"arm", "encoder", "2dencoder", "rip"};
  return true;
}

std::string ZorvVLWizardUtilities::getStockObjectsBaseDirectory() {
  // The host program's directory: its command line's first element cut at
  // the last separator. A bare program name (started through the search
  // path) carries no directory; the executable's own location is used then.
  const std::string program = platform::hostProgramPath();
  std::string directory = wizardnames::parentOf(program);
  if (directory.empty()) directory = platform::executableDirectory();
  return join(directory, getObjects3DDirectoryName());
}

std::string ZorvVLWizardUtilities::getArmStockObjectsTemplateDirectory() {
  return join(getStockObjectsBaseDirectory(), "templates");
}

std::string ZorvVLWizardUtilities::getArmStockObjectsCalibrationDirectory() {
  return join(getStockObjectsBaseDirectory(), "calibration");
}

std::string ZorvVLWizardUtilities::getArmStockObjectsDevicesDirectory() {
  return join(getStockObjectsBaseDirectory(), "devices");
}

bool ZorvVLWizardUtilities::getCompatibleObjects(const std::string& device, string_vector& list) {
  using wizardnames::equalsIgnoreCase;
  list.strings.clear();
  if (equalsIgnoreCase(device, "arm")) {
    if (!getNumericFiles(getArmStockObjectsTemplateDirectory(), "qini", list)) {
      list.strings.clear();  // no templates: no placeholder either
    }
  } else if (equalsIgnoreCase(device, "encoder")) {
    list.strings = {"stripe", "radius"};
  } else if (equalsIgnoreCase(device, "2dencoder") || equalsIgnoreCase(device, "rip")) {
    list.strings = {"plane"};
  }
  return !list.strings.empty();
}

bool ZorvVLWizardUtilities::getCompatibleTools(const std::string& wizardDirectory,
                                               const std::string& device, string_vector& list) {
  list.strings.clear();
  string_vector tools;
  getTools(wizardDirectory, tools);
  const std::string toolsDirectory = join(wizardDirectory, getToolsDirectoryName());
  for (std::size_t i = 0; i < tools.strings.size(); ++i) {
    const std::string& tool = tools.strings[i];
    const std::string definition = join(
        join(toolsDirectory, entryPrefix(static_cast<unsigned long>(i)) + tool), tool + ".tini");
    // A definition that is missing, unreadable or without the device is
    // simply not compatible.
    std::string toolDevice;
    try {
      IniFileSection section(definition, "PositionCapture", false);
      toolDevice = section.getString("Device");
    } catch (IniFileSection::IniFileException* e) {
      delete e;
      continue;
    } catch (...) {
      continue;
    }
    if (wizardnames::equalsIgnoreCase(toolDevice, device)) list.strings.push_back(tool);
  }
  return !list.strings.empty();
}

bool ZorvVLWizardUtilities::getINIFileNames(const std::string& settingsFile, std::string& qiniFile,
                                            std::string& tiniFile) {
  using wizardnames::lastComponent;
  using wizardnames::parentOf;
  using wizardnames::stripEntryNumber;

  // settingsFile = R\NN_{tool}\{tool}.ini with R the region directory.
  const std::string toolDirectory = parentOf(settingsFile);
  const std::string regionDirectory = parentOf(toolDirectory);
  const std::string fileName = lastComponent(settingsFile);
  const std::string baseName =
      fileName.size() >= 4 ? fileName.substr(0, fileName.size() - 4) : std::string();

  bool hasSeparator = false;
  for (char c : regionDirectory) hasSeparator = hasSeparator || wizardnames::isSeparator(c);
  if (!hasSeparator) {
    qiniFile = settingsFile;
    tiniFile = settingsFile;
    return true;
  }

  const std::string regionName = stripEntryNumber(lastComponent(regionDirectory));
  const std::string qini = join(regionDirectory, regionName + ".qini");
  const bool hasQini = getDoesFileExist(qini);
  const bool toolMatch = !hasQini && stripEntryNumber(lastComponent(toolDirectory)) == baseName;
  if (!hasQini && !toolMatch) {
    qiniFile = settingsFile;
    tiniFile = settingsFile;
    return true;
  }
  qiniFile = hasQini ? qini : std::string();

  // The wizard directory lies three levels above the region directory
  // (wizard\parts\NN_{part}\NN_{region}).
  const std::string wizardDirectory = parentOf(parentOf(parentOf(regionDirectory)));
  const std::string toolsDirectory = join(wizardDirectory, getToolsDirectoryName());
  std::string libraryTool;
  for (const platform::FindData& entry :
       platform::findAll(join(toolsDirectory, "**_" + baseName))) {
    if (entry.isDirectory() &&
        wizardnames::equalsIgnoreCase(stripEntryNumber(entry.name), baseName)) {
      libraryTool = entry.name;
      break;
    }
  }
  tiniFile = libraryTool.empty() ? std::string(".tini")
                                 : join(join(toolsDirectory, libraryTool), baseName + ".tini");
  return true;
}

bool ZorvVLWizardUtilities::deletePart(const std::string& wizardDirectory,
                                       unsigned long partIndex) {
  if (wizardDirectory.empty()) return false;
  string_vector parts;
  if (!getParts(wizardDirectory, parts)) return false;
  const std::size_t count = parts.strings.size();
  if (partIndex >= count) return false;

  const std::string partsDirectory = join(wizardDirectory, getPartsDirectoryName());
  const std::string& name = parts.strings[partIndex];
  if (!wizardnames::isPlainEntryName(name)) return false;
  if (!deleteDirectory(join(partsDirectory, entryPrefix(partIndex) + name))) return false;

  // Close the gap: each later part moves down one number. A failed move
  // stops here; the parts from there on keep their numbers.
  for (std::size_t j = static_cast<std::size_t>(partIndex) + 1; j < count; ++j) {
    const std::string& later = parts.strings[j];
    if (!wizardnames::isPlainEntryName(later)) return false;
    const std::string from =
        join(partsDirectory, entryPrefix(static_cast<unsigned long>(j)) + later);
    const std::string to =
        join(partsDirectory, entryPrefix(static_cast<unsigned long>(j - 1)) + later);
    if (!renameDirectory(from, to)) return false;
  }
  return true;
}

bool ZorvVLWizardUtilities::getFiles(const std::string& directory, const std::string& extension,
                                     string_vector& list) {
  list.strings.clear();
  for (const platform::FindData& entry : platform::findAll(join(directory, "*." + extension))) {
    if (entry.isDirectory()) continue;
    std::string name = entry.name;
    const std::size_t dot = name.rfind('.');
    if (dot != std::string::npos) name.erase(dot);
    list.strings.push_back(name);
  }
  if (list.strings.empty()) {
    list.strings.push_back("missing");
    return false;
  }
  return true;
}
