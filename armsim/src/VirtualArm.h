// The virtual arm behind CmmSpecific: answers the command packets as the
// scenario says and, once a data block is registered, writes the scenario's
// records into it from its own thread until the arm is closed.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "LiveChannel.h"
#include "Scenario.h"
#include "platform/event.h"

namespace armsim {

// Name of the environment variable that names the scenario file.
inline constexpr const char* kScenarioVariable = "ZORV_ARMSIM_SCENARIO";

// The word the program puts at offset 84 of the block it registers.
inline constexpr std::uint32_t kBlockMarker = 0xC1C2C3C4u;

// Polling interval of the deterministic playback. The time left to the
// program to read a record after it consumed the record's event is the
// scenario's (Scenario::settleMs).
inline constexpr std::uint32_t kHandoverPollMs = 1;

class VirtualArm {
 public:
  VirtualArm() = default;
  ~VirtualArm();
  VirtualArm(const VirtualArm&) = delete;
  VirtualArm& operator=(const VirtualArm&) = delete;

  // One call of CmmSpecific.
  std::int32_t command(void* packet);

 private:
  void loadScenario();
  void logCommand(std::int32_t command) const;
  std::int32_t registerBlock(void* packet);
  void identify(void* packet) const;
  std::int32_t dialogResult(std::int32_t command);
  void stopWriter();
  void writerLoop(std::vector<Record> records, Playback playback, std::uint32_t periodMs,
                  std::uint32_t settleMs, AfterLast afterLast, std::string liveChannel,
                  bool liveInterrupts);
  // Writes what the live channel says (LiveChannel.h) until the writer is
  // stopped, starting from the pose of `start`. Without `interruption` the
  // lines the reader finds at once only give the pose; with it, those
  // records (the lines that interrupted the scenario's records) are played.
  void followLive(const std::string& channel, LiveChannelReader& reader, const Record& start,
                  const std::vector<Record>& interruption, std::uint32_t settleMs,
                  std::uint32_t sequence);
  // Waits up to the given time; true when the writer is to stop.
  bool waitForStop(std::uint32_t milliseconds);

  std::mutex commandMutex_;  // one command at a time
  Scenario scenario_;
  bool scenarioLoaded_ = false;
  bool scenarioBroken_ = false;  // no scenario named, or one that cannot be read
  bool opened_ = false;
  // Calls of each command (for "fail <command> <n>") since the library was
  // loaded or another scenario (path and text) was named; reading the same
  // scenario again at a command 1 does not start them again.
  std::map<std::int32_t, std::uint32_t> calls_;
  std::string countedScenario_;

  void* block_ = nullptr;
  platform::EventHandle event_ = platform::kNoEvent;
  std::thread writer_;
  std::mutex stopMutex_;
  std::condition_variable stopSignal_;
  bool stopRequested_ = false;
};

}  // namespace armsim
