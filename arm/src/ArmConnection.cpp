#include "arm/ArmConnection.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "IniFileSection.h"
#include "ZorvGeometry/ThreeDimensional.h"
#include "ZorvVLWizard.h"
#include "console/ConsoleServices.h"
#include "platform/console.h"
#include "platform/paths.h"

namespace {

using Zorv::Geometry::ThreeDimensional::Utility;

constexpr std::int32_t kCommandOpen = 1;
constexpr std::int32_t kCommandClose = 2;
constexpr std::int32_t kCommandIdentify = 3;
constexpr std::int32_t kCommandBeforeBlock = 24;

constexpr std::size_t kOpenPacketSize = 268;
constexpr std::size_t kIdentifyPacketSize = 76;
constexpr std::size_t kSerialOffset = 4;
constexpr std::size_t kSerialCapacity = 64;  // up to the firmware number
constexpr std::size_t kFirmwareOffset = 68;

const char* const kFailureMessage = "Arm initialisation failure.\n";

std::int32_t sendWord(ArmConnection& arm, std::int32_t command) {
  std::int32_t word = command;
  return arm.entryPoint(&word);
}

const char* modelMessage(ArmModel model) {
  switch (model) {
    case ArmModel::Advantage:
      return "Advantage arm detected.\n";
    case ArmModel::Titanium:
      return "Titanium arm detected.\n";
    case ArmModel::Platinum:
      return "Platinum arm detected.\n";
    case ArmModel::Unknown:
      break;
  }
  return "Unknown arm detected.\n";
}

bool isAsciiLetterOrDigit(char c) {
  return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

}  // namespace

std::string filterSerialNumber(const std::string& serialText) {
  std::string serial;
  for (char c : serialText) {
    if (!isAsciiLetterOrDigit(c)) continue;
    if (serial.size() == kMaxSerialNumberLength) break;
    serial.push_back(c);
  }
  return serial;
}

ArmModel armModelFromSerial(const std::string& serialText) {
  if (serialText.empty()) return ArmModel::Unknown;
  switch (serialText[0]) {
    case 'C':
    case 'c':
      return ArmModel::Advantage;
    case 'N':
    case 'n':
      return ArmModel::Titanium;
    case 'P':
    case 'p':
      return ArmModel::Platinum;
    default:
      return ArmModel::Unknown;
  }
}

bool startArm(ConsoleContext& context, ArmConnection& arm) {
  if (initialiseArm(context, arm)) return true;
  const char answer = askForCharacter(
      context.print, "\nArm initialisation failure. Would you like to continue? (y/n): ", "ynYN");
  return answer == 'y' || answer == 'Y';
}

bool initialiseArm(ConsoleContext& context, ArmConnection& arm) {
  context.print("Initialising arm... Hold ctrl for arm information.\n");

  arm.library = platform::loadLibrary(kArmLibraryName);
  if (arm.library == nullptr) {
    context.print(kFailureMessage);
    return false;
  }
  arm.entryPoint =
      reinterpret_cast<CmmSpecificFunction>(platform::findSymbol(arm.library, kArmEntryName));
  if (arm.entryPoint == nullptr) {
    context.print(kFailureMessage);
    return false;
  }

  alignas(8) unsigned char openPacket[kOpenPacketSize] = {};
  std::memcpy(openPacket, &kCommandOpen, sizeof kCommandOpen);
  if (arm.entryPoint(openPacket) == 0) {
    context.print(kFailureMessage);
    return false;
  }

  std::memset(static_cast<void*>(&arm.dataBlock), 0, sizeof arm.dataBlock);
  arm.dataBlock.command = kArmCommandRegisterBlock;
  arm.dataBlock.marker = kArmDataBlockMarker;
  sendWord(arm, kCommandBeforeBlock);
  if (arm.entryPoint(&arm.dataBlock) == 0) {
    context.print(kFailureMessage);
    return false;
  }
  // From here the library fills the data block.
  arm.ready = true;

  alignas(8) unsigned char identifyPacket[kIdentifyPacketSize] = {};
  std::memcpy(identifyPacket, &kCommandIdentify, sizeof kCommandIdentify);
  arm.entryPoint(identifyPacket);
  const char* serialStart = reinterpret_cast<const char*>(identifyPacket + kSerialOffset);
  // The text ends at its NUL, or at the firmware number when it has none.
  const std::string serialText(serialStart,
                               std::find(serialStart, serialStart + kSerialCapacity, '\0'));
  // An unsigned number: the arm's firmware numbers are never negative.
  std::uint32_t firmware = 0;
  std::memcpy(&firmware, identifyPacket + kFirmwareOffset, sizeof firmware);

  arm.armModel = armModelFromSerial(serialText);
  arm.serialNumber = filterSerialNumber(serialText);

  const std::string fileName = ZorvVLWizardUtilities::getPosettaINIFileName();
  const std::string applicationData = getApplicationDataDirectory();
  arm.configurationFile = applicationData + "\\" + fileName;
  if (!isFile(arm.configurationFile)) {
    // First run on this machine: start from the file shipped beside the program.
    copyFileOverwrite(context.programDirectory + "\\" + fileName, arm.configurationFile);
  }
  // The file may be a link (one configuration shared by several profiles),
  // but not to a place outside the application-data directory: the program
  // writes it. Such a file is neither read nor written.
  if (isFile(arm.configurationFile) &&
      !platform::finallyLiesWithin(arm.configurationFile, applicationData)) {
    context.print("The arm configuration file " + arm.configurationFile +
                  " leads outside the application-data directory; it is not used.\n");
    arm.configurationFile.clear();
  }

  std::unique_ptr<IniFileSection> section;
  try {
    section = std::make_unique<IniFileSection>(arm.configurationFile, kArmPsiDeltasSection, false);
  } catch (IniFileSection::IniFileException* e) {
    delete e;
  }
  arm.psiDelta = 0.0;
  bool deltaLoaded = false;
  if (section && !arm.serialNumber.empty()) {
    try {
      arm.psiDelta = section->getDouble(arm.serialNumber.c_str());
      deltaLoaded = true;
    } catch (IniFileSection::IniFileException* e) {
      delete e;
    }
  }

  if (!deltaLoaded) {
    context.print(
        "\nWARNING! Uninitialised psi zero-degree.\nPlease use Posetta option \"Calculate psi "
        "zero degree\".\n");
    context.print("\nPress any key to continue.\n\n");
    takeKey();
  }

  if (platform::console::ctrlHeld()) {
    context.print("Arm initialisation success.\n");
    context.print(modelMessage(arm.armModel));
    context.print("Serial number: " + serialText + ".\n");
    context.print("Firmware version: " + numberToText(firmware) + ".\n");
    if (deltaLoaded) {
      context.print("Psi delta: " + numberToText(Utility::radToDeg(arm.psiDelta)) + " degrees.\n");
    } else {
      context.print("Uncalculated psi delta.");
    }
    context.print("\nPress any key to continue.\n\n");
    takeKey();
  }

  return true;
}

bool closeArm(ConsoleContext&, ArmConnection& arm) {
  if (arm.entryPoint != nullptr) {
    // The library stops writing into the data block before it answers; an
    // answer of 0 says it did not stop. It may then still be writing into
    // the block from its own thread, so it stays loaded (its code is still
    // running) and the caller keeps the block where it is.
    if (sendWord(arm, kCommandClose) == 0) {
      arm.ready = false;
      return false;
    }
  }
  if (arm.library != nullptr) platform::freeLibrary(arm.library);
  arm.library = nullptr;
  arm.entryPoint = nullptr;
  arm.ready = false;
  return true;
}

bool checkArmReady(ConsoleContext& context, const ArmConnection& arm) {
  if (arm.ready) return true;
  context.print("The arm is not available: it was not initialised at start-up.\n");
  return false;
}
