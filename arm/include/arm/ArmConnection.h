// The link to the measuring arm: the arm vendor's wrapper library
// "FaroArmUsbWrapper.dll", loaded at run time, whose single entry CmmSpecific
// takes one command packet. Start-up handshake, identification of the arm,
// its psi zero-degree correction, and shut-down.
#pragma once

#include <cstdint>
#include <string>

#include "arm/ArmDataBlock.h"
#include "console/ConsoleContext.h"
#include "platform/dynlib.h"

enum class ArmModel : std::int32_t {
  Advantage = 0,
  Titanium = 1,
  Platinum = 2,
  Unknown = 3,
};

// The library's entry: one pointer to a packet in, a 32-bit result out.
extern "C" {
using CmmSpecificFunction = std::int32_t (*)(void* packet);
}

// Name of the arm library and of its entry.
inline constexpr const char* kArmLibraryName = "FaroArmUsbWrapper.dll";
inline constexpr const char* kArmEntryName = "CmmSpecific";
// Section of the arm configuration file that holds one psi correction per arm.
inline constexpr const char* kArmPsiDeltasSection = "ArmPsiDeltas";
// Longest serial number kept (letters and digits only).
inline constexpr std::size_t kMaxSerialNumberLength = 31;

// One per run, created zero-filled by the program entry and passed by
// reference. The library writes into dataBlock from its own thread, so the
// record must stay at one address: it is never copied or moved.
struct ArmConnection {
  ArmModel armModel = ArmModel::Advantage;
  // The loaded wrapper library; null when not loaded.
  platform::LibraryHandle library = nullptr;
  // CmmSpecific of that library; null when not bound.
  CmmSpecificFunction entryPoint = nullptr;
  // Registered with the library by command 5.
  ArmDataBlock dataBlock{};
  // Full path of the arm configuration file.
  std::string configurationFile;
  // The arm's serial number reduced to letters and digits, at most 31 of them.
  std::string serialNumber;
  // Psi zero-degree correction in radians, added to the arm's third angle;
  // 0 when none is stored.
  double psiDelta = 0.0;
  // The start-up handshake completed: the arm is open and the library fills
  // dataBlock. False when the technician chose to go on without an arm.
  bool ready = false;

  ArmConnection() = default;
  ArmConnection(const ArmConnection&) = delete;
  ArmConnection& operator=(const ArmConnection&) = delete;
};

// The arm step of the start-up: initialiseArm, and after a failure the
// question whether to go on without the arm. False means the program ends.
bool startArm(ConsoleContext& context, ArmConnection& arm);

// The start-up handshake: loads the library, opens the arm, registers the
// data block, identifies the arm and loads its psi correction. True when the
// arm is ready.
bool initialiseArm(ConsoleContext& context, ArmConnection& arm);

// Closes the arm (command 2) and unloads the library; nothing is sent when the
// entry was never bound. False when the library answers the close with 0: it
// may still write into the data block, so it is left loaded and the block
// must stay where it is until the process ends.
bool closeArm(ConsoleContext& context, ArmConnection& arm);

// Operations that need the open arm call this first: when the arm was not
// started (the technician went on without it) it prints one line saying so
// and returns false.
bool checkArmReady(ConsoleContext& context, const ArmConnection& arm);

// The serial number kept for an arm: the letters and digits of the text the
// arm reports, in order, at most kMaxSerialNumberLength of them.
std::string filterSerialNumber(const std::string& serialText);

// The arm model named by the first character of the serial text.
ArmModel armModelFromSerial(const std::string& serialText);
