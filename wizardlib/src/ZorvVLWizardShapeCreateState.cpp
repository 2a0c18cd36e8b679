// ZorvVLWizardShapeCreateState: the positioning device, stock object and
// library tool chosen for a new scan object, and the names of the files that
// belong to the choice.
#include <string>

#include "ZorvVLWizard.h"
#include "wizard_names.h"

using wizardnames::entryAt;
using wizardnames::entryPrefix;
using wizardnames::join;
using Utilities = ZorvVLWizardUtilities;

namespace {

unsigned long sizeOf(const string_vector& list) {
  return static_cast<unsigned long>(list.strings.size());
}

}  // namespace

ZorvVLWizardShapeCreateState::~ZorvVLWizardShapeCreateState() = default;

ZorvVLWizardShapeCreateState::ZorvVLWizardShapeCreateState(bool withArm)
    : deviceIndex(0), objectIndex(0), toolIndex(0) {
  devices.strings.push_back("encoder");
  if (withArm) devices.strings.push_back("arm");
  devices.strings.push_back("2dencoder");
}

ZorvVLWizardShapeCreateState::ZorvVLWizardShapeCreateState(
    const ZorvVLWizardShapeCreateState& other) = default;

ZorvVLWizardShapeCreateState& ZorvVLWizardShapeCreateState::operator=(
    const ZorvVLWizardShapeCreateState& other) = default;

bool ZorvVLWizardShapeCreateState::init(const std::string& baseDirectory) {
  wizardDirectory = Utilities::getWizardDirectoryName(baseDirectory);
  if (wizardDirectory.empty()) return false;
  templatesDirectory = Utilities::getArmStockObjectsTemplateDirectory();
  calibrationDirectory = Utilities::getArmStockObjectsCalibrationDirectory();
  return true;
}

bool ZorvVLWizardShapeCreateState::setDeviceIndex(unsigned long index, unsigned long& previous) {
  if (index >= sizeOf(devices)) return false;
  previous = deviceIndex;
  const std::string& device = devices.strings[index];
  if (!Utilities::getCompatibleObjects(device, objects)) return false;
  const bool haveTools = Utilities::getCompatibleTools(wizardDirectory, device, tools);
  // The device is chosen even without a tool for it; the result says so.
  deviceIndex = index;
  return haveTools;
}

bool ZorvVLWizardShapeCreateState::setObjectIndex(unsigned long index, unsigned long& previous) {
  if (index >= sizeOf(objects)) return false;
  previous = objectIndex;
  objectIndex = index;
  return true;
}

bool ZorvVLWizardShapeCreateState::setToolIndex(unsigned long index, unsigned long& previous) {
  if (index >= sizeOf(tools)) return false;
  previous = toolIndex;
  toolIndex = index;
  return true;
}

bool ZorvVLWizardShapeCreateState::setObjectName(const std::string& name) {
  objectName = name;
  return true;
}

const string_vector& ZorvVLWizardShapeCreateState::getDevices() const {
  return devices;
}
const string_vector& ZorvVLWizardShapeCreateState::getObjects() const {
  return objects;
}
const string_vector& ZorvVLWizardShapeCreateState::getTools() const {
  return tools;
}

unsigned long ZorvVLWizardShapeCreateState::getNumberOfDevices() const {
  return sizeOf(devices);
}
unsigned long ZorvVLWizardShapeCreateState::getNumberOfDeviceObjects() const {
  return sizeOf(objects);
}
unsigned long ZorvVLWizardShapeCreateState::getNumberOfDeviceTools() const {
  return sizeOf(tools);
}

// The lists change with the device while the indexes stay, so an index may
// lie outside its list: the getters then give an empty text, and the file
// names built from them are empty (or false) rather than read out of range.
std::string ZorvVLWizardShapeCreateState::getDevice() const {
  return entryAt(devices, deviceIndex);
}
std::string ZorvVLWizardShapeCreateState::getObject() const {
  return entryAt(objects, objectIndex);
}
std::string ZorvVLWizardShapeCreateState::getTool() const {
  return entryAt(tools, toolIndex);
}
std::string ZorvVLWizardShapeCreateState::getObjectName() const {
  return objectName;
}

std::string ZorvVLWizardShapeCreateState::getDeviceImageFileName() const {
  if (deviceIndex >= sizeOf(devices)) return std::string();
  return join(Utilities::getArmStockObjectsDevicesDirectory(),
              entryPrefix(deviceIndex) + getDevice() + ".bmp");
}

bool ZorvVLWizardShapeCreateState::getObjectTemplatePartImageFileName(std::string& fileName) const {
  if (objectIndex >= sizeOf(objects)) {
    fileName.clear();
    return false;
  }
  fileName = getObject() + "_part.bmp";
  return true;
}

bool ZorvVLWizardShapeCreateState::getObjectTemplateScanImageFileName(std::string& fileName) const {
  if (objectIndex >= sizeOf(objects)) {
    fileName.clear();
    return false;
  }
  fileName = getObject() + "_scan.bmp";
  return true;
}

std::string ZorvVLWizardShapeCreateState::getObjectImageFileName() const {
  if (objectIndex >= sizeOf(objects)) return std::string();
  return join(templatesDirectory, getObject() + "_part.bmp");
}

std::string ZorvVLWizardShapeCreateState::getToolImageFileName() const {
  if (toolIndex >= sizeOf(tools)) return std::string();
  const std::string name = getTool();
  // The number is the tool's place in the tool library, not in `tools`.
  string_vector library;
  Utilities::getTools(wizardDirectory, library);
  const unsigned long position = wizardnames::positionOf(library, name);
  return join(
      join(join(wizardDirectory, Utilities::getToolsDirectoryName()), entryPrefix(position) + name),
      name + ".bmp");
}

bool ZorvVLWizardShapeCreateState::getObjectTemplateQINIFileName(std::string& fileName) const {
  if (objectIndex >= sizeOf(objects)) {
    fileName.clear();
    return false;
  }
  return Utilities::getNumericFile(templatesDirectory, getObject(), "qini", fileName);
}

bool ZorvVLWizardShapeCreateState::getObjectCalibrationINIFileName(std::string& fileName) const {
  if (objectIndex >= sizeOf(objects)) {
    fileName.clear();
    return false;
  }
  return Utilities::getNumericFile(calibrationDirectory, getObject(), "ini", fileName);
}

bool ZorvVLWizardShapeCreateState::getObjectCalibrationQuadsFileName(std::string& fileName) const {
  if (objectIndex >= sizeOf(objects)) {
    fileName.clear();
    return false;
  }
  return Utilities::getNumericFile(calibrationDirectory, getObject(), "quads", fileName);
}
