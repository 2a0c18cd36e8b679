#include "VirtualArm.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <utility>

#include "LiveChannel.h"
#include "platform/paths.h"
#include "platform/time.h"

namespace armsim {
namespace {

// The part of the caller's data block the arm writes. The rest of the 24672
// bytes is left alone.
struct BlockView {
  std::int32_t command;
  std::uint8_t freshRecord;
  std::uint8_t reserved5[7];
  std::uint8_t greenButton;
  std::uint8_t redButton;
  std::uint8_t reserved14[2];
  double x;
  double y;
  double z;
  double phi;
  double theta;
  double psi;
  std::uint32_t sequence;  // number of records written since registration
  std::uint8_t reserved68[12];
  std::uint32_t event;
  std::uint32_t marker;
};
static_assert(offsetof(BlockView, freshRecord) == 4);
static_assert(offsetof(BlockView, greenButton) == 12);
static_assert(offsetof(BlockView, redButton) == 13);
static_assert(offsetof(BlockView, x) == 16);
static_assert(offsetof(BlockView, psi) == 56);
static_assert(offsetof(BlockView, sequence) == 64);
static_assert(offsetof(BlockView, event) == 80);
static_assert(offsetof(BlockView, marker) == 84);

// The program reads the same fields while this thread writes them: every
// access on both sides is a relaxed atomic one.
template <typename T>
void store(T& field, T value) {
  std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

template <typename T>
T load(T& field) {
  return std::atomic_ref<T>(field).load(std::memory_order_relaxed);
}

void writeRecord(BlockView& block, const Record& record, std::uint32_t sequence) {
  store(block.x, record.x);
  store(block.y, record.y);
  store(block.z, record.z);
  store(block.phi, record.phi);
  store(block.theta, record.theta);
  store(block.psi, record.psi);
  store<std::uint8_t>(block.greenButton, record.green ? 1 : 0);
  store<std::uint8_t>(block.redButton, record.red ? 1 : 0);
  store(block.sequence, sequence);
  // The record's fields before its flag: a reader that sees the flag with an
  // acquiring load also sees the fields.
  std::atomic_ref<std::uint8_t>(block.freshRecord).store(1, std::memory_order_release);
}

// True when the event still holds the signal of the last record (the program
// has not waited for it). Testing takes the signal, so it is given back.
// The records of channel lines; a line that is not a record is skipped (the
// channel is the panel's).
std::vector<Record> liveRecords(const std::vector<std::string>& lines) {
  std::vector<Record> records;
  std::vector<Record> ofLine;
  std::string problem;
  for (const std::string& line : lines) {
    if (parseLiveLine(line, ofLine, problem)) {
      records.insert(records.end(), ofLine.begin(), ofLine.end());
    }
  }
  return records;
}

// Watches an interrupting channel while the records play, cheaply enough to
// look every few milliseconds without churning memory in the program the arm
// runs in: the file stays open and only its size is looked at. The channel is
// appended to (the panel, scripts); a file put in its place is not seen.
class ChannelWatch {
 public:
  explicit ChannelWatch(std::string path) : path_(std::move(path)) {}
  ~ChannelWatch() {
    if (file_ != nullptr) std::fclose(file_);
  }
  ChannelWatch(const ChannelWatch&) = delete;
  ChannelWatch& operator=(const ChannelWatch&) = delete;

  // True when the file's size changed since the last call (or it appeared).
  bool changed() {
    if (file_ == nullptr) {
      file_ = platform::openFile(path_, "rb");
      if (file_ == nullptr) return false;
    }
    const long long size = platform::openFileSize(file_);
    if (size == size_) return false;
    size_ = size;
    return true;
  }

 private:
  std::string path_;
  std::FILE* file_ = nullptr;
  long long size_ = -1;
};

bool eventStillSignalled(platform::EventHandle event) {
  if (platform::waitForEvent(event, 0) != platform::WaitResult::Signalled) return false;
  platform::signalEvent(event);
  return true;
}

std::int32_t readWord(const void* packet, std::size_t offset) {
  std::int32_t word = 0;
  std::memcpy(&word, static_cast<const unsigned char*>(packet) + offset, sizeof word);
  return word;
}

}  // namespace

VirtualArm::~VirtualArm() {
  if (!writer_.joinable()) return;
#ifdef _WIN32
  // Unloaded at process exit without command 2: Windows has already ended the
  // writer thread.
  writer_.detach();
#else
  stopWriter();
#endif
}

std::int32_t VirtualArm::command(void* packet) {
  if (packet == nullptr) return 0;
  std::lock_guard<std::mutex> lock(commandMutex_);
  const std::int32_t code = readWord(packet, 0);
  if (code == 1 || !scenarioLoaded_) loadScenario();
  logCommand(code);
  // A call the scenario makes fail answers 0 and changes nothing.
  const std::uint32_t call = ++calls_[code];
  if (const auto failing = scenario_.failCalls.find(code); failing != scenario_.failCalls.end()) {
    const std::vector<std::uint32_t>& calls = failing->second;
    if (std::find(calls.begin(), calls.end(), call) != calls.end()) return 0;
  }

  switch (code) {
    case 1:
      opened_ = !scenarioBroken_ && !scenario_.failOpen;
      return opened_ ? 1 : 0;
    case 24:
      return 1;
    case 5:
      return registerBlock(packet);
    case 3:
      if (!opened_) return 0;
      identify(packet);
      return 1;
    case 2:
      stopWriter();
      opened_ = false;
      return 1;
    case 9:
    case 11:
    case 12:
    case 1011:
    case 18:
      return dialogResult(code);
    case 15:
      return 1;
    default:
      return 0;
  }
}

void VirtualArm::loadScenario() {
  scenarioLoaded_ = true;
  scenarioBroken_ = false;
  scenario_ = Scenario();
  const auto path = platform::environmentVariable(kScenarioVariable);
  if (!path || path->empty()) {
    // Without a named scenario the arm never opens: a build folder copied to
    // a machine with a real arm cannot pass this library off as the arm.
    std::fprintf(stderr,
                 "FaroArmUsbWrapper (virtual arm): no scenario named (%s): the arm does not "
                 "open\n",
                 kScenarioVariable);
    std::fflush(stderr);
    scenarioBroken_ = true;
    return;
  }
  std::ifstream file(platform::nativePath(*path), std::ios::binary);
  std::string error;
  if (!file) {
    error = "cannot be read";
  } else {
    std::ostringstream text;
    text << file.rdbuf();
    // Another scenario counts the calls of its "fail" lines from the start.
    if (*path + '\n' + text.str() != countedScenario_) {
      countedScenario_ = *path + '\n' + text.str();
      calls_.clear();
    }
    std::istringstream in(text.str());
    if (parseScenario(in, scenario_, error)) return;
  }
  std::fprintf(stderr, "FaroArmUsbWrapper (virtual arm): scenario %s: %s\n", path->c_str(),
               error.c_str());
  std::fflush(stderr);
  scenarioBroken_ = true;
}

void VirtualArm::logCommand(std::int32_t command) const {
  if (scenario_.logPath.empty()) return;
  // Opened for each command so that a reader sees every line at once.
  std::FILE* log = platform::openFile(scenario_.logPath, "ab");
  if (log == nullptr) return;
  std::fprintf(log, "%ld\n", static_cast<long>(command));
  std::fclose(log);
}

std::int32_t VirtualArm::registerBlock(void* packet) {
  if (!opened_ || scenario_.failBlock) return 0;
  if (reinterpret_cast<std::uintptr_t>(packet) % alignof(double) != 0) return 0;
  auto* block = static_cast<BlockView*>(packet);
  if (load(block->marker) != kBlockMarker) return 0;

  stopWriter();
  event_ = platform::createEvent();
  if (event_ == platform::kNoEvent) return 0;
  block_ = packet;
  store(block->event, static_cast<std::uint32_t>(event_));
  {
    std::lock_guard<std::mutex> lock(stopMutex_);
    stopRequested_ = false;
  }
  writer_ = std::thread(&VirtualArm::writerLoop, this, scenario_.records, scenario_.playback,
                        scenario_.periodMs, scenario_.settleMs, scenario_.afterLast,
                        scenario_.liveChannel, scenario_.liveInterrupts);
  return 1;
}

void VirtualArm::identify(void* packet) const {
  auto* bytes = static_cast<unsigned char*>(packet);
  // Serial text from offset 4, NUL-terminated within the 64 bytes before the
  // firmware number at offset 68.
  std::memset(bytes + 4, 0, 64);
  std::memcpy(bytes + 4, scenario_.serial.data(),
              std::min<std::size_t>(scenario_.serial.size(), 63));
  std::memcpy(bytes + 68, &scenario_.firmware, sizeof scenario_.firmware);
}

std::int32_t VirtualArm::dialogResult(std::int32_t command) {
  auto found = scenario_.dialogResults.find(command);
  if (found == scenario_.dialogResults.end() || found->second.empty()) return 1;
  const std::int32_t result = found->second.front();
  found->second.pop_front();
  return result;
}

void VirtualArm::stopWriter() {
  if (writer_.joinable()) {
    {
      std::lock_guard<std::mutex> lock(stopMutex_);
      stopRequested_ = true;
    }
    stopSignal_.notify_all();
    writer_.join();
  }
  if (event_ != platform::kNoEvent) {
    platform::closeEvent(event_);
    event_ = platform::kNoEvent;
  }
  block_ = nullptr;
}

bool VirtualArm::waitForStop(std::uint32_t milliseconds) {
  std::unique_lock<std::mutex> lock(stopMutex_);
  return stopSignal_.wait_for(lock, std::chrono::milliseconds(milliseconds),
                              [this] { return stopRequested_; });
}

void VirtualArm::writerLoop(std::vector<Record> records, Playback playback, std::uint32_t periodMs,
                            std::uint32_t settleMs, AfterLast afterLast, std::string liveChannel,
                            bool liveInterrupts) {
  auto& block = *static_cast<BlockView*>(block_);
  const platform::EventHandle event = event_;
  std::size_t next = 0;
  std::uint32_t sequence = 0;
  // The pose the channel starts from: the last record written, else rest at
  // (400, 0, 200) mm, the axis along -y.
  Record last;
  last.x = 400.0;
  last.z = 200.0;
  last.theta = 90.0;

  // An interrupting channel is read from its present end: what it holds now
  // is old. What is appended while the records play hands the arm over.
  LiveChannelReader reader(liveChannel);
  ChannelWatch watch(liveChannel);
  if (liveInterrupts) {
    watch.changed();
    reader.poll();
  }
  std::vector<Record> interruption;
  std::uint32_t lastPoll = platform::tickMs();
  // Waits up to the given time; true when the writer is to stop or the
  // channel interrupted the records (then `interruption` holds its records).
  const auto pause = [&](std::uint32_t milliseconds) {
    if (!liveInterrupts) return waitForStop(milliseconds);
    const std::uint32_t started = platform::tickMs();
    for (;;) {
      const std::uint32_t now = platform::tickMs();
      if (now - lastPoll >= kLivePollMs) {
        lastPoll = now;
        if (watch.changed()) {
          interruption = liveRecords(reader.poll());
          if (!interruption.empty()) return true;
        }
      }
      const std::uint32_t waited = now - started;
      if (waited >= milliseconds) return false;
      if (waitForStop(std::min(milliseconds - waited, kLivePollMs))) return true;
    }
  };
  // After a pause that returned true: follows the channel when it
  // interrupted, else the writer stops.
  const auto stopOrFollow = [&] {
    if (!interruption.empty()) {
      followLive(liveChannel, reader, last, interruption, settleMs, sequence);
    }
  };

  for (;;) {
    if (next >= records.size()) {
      if (!liveChannel.empty() && !liveInterrupts) {
        followLive(liveChannel, reader, last, {}, settleMs, sequence);
        return;
      }
      if (records.empty() || afterLast == AfterLast::Idle) {
        while (!pause(1000)) {
        }
        stopOrFollow();
        return;
      }
      next = afterLast == AfterLast::Loop ? 0 : records.size() - 1;
    }
    last = records[next];
    writeRecord(block, last, ++sequence);
    platform::signalEvent(event);
    ++next;

    if (playback == Playback::Timed) {
      if (pause(periodMs)) {
        stopOrFollow();
        return;
      }
      continue;
    }
    // Deterministic: the next record only once the program has taken this one.
    for (;;) {
      if (pause(kHandoverPollMs)) {
        stopOrFollow();
        return;
      }
      if (load(block.freshRecord) == 0) break;
      if (!eventStillSignalled(event)) {
        if (pause(settleMs)) {
          stopOrFollow();
          return;
        }
        break;
      }
    }
  }
}

void VirtualArm::followLive(const std::string& channel, LiveChannelReader& reader,
                            const Record& start, const std::vector<Record>& interruption,
                            std::uint32_t settleMs, std::uint32_t sequence) {
  auto& block = *static_cast<BlockView*>(block_);
  const platform::EventHandle event = event_;

  LivePlayback playback(start);
  if (interruption.empty()) {
    playback.catchUp(liveRecords(reader.poll()));
  } else {
    playback.receive(interruption);
  }
  LiveCounts reported;
  writeLiveStatus(channel, reported);
  std::uint32_t lastRead = platform::tickMs();
  std::uint32_t lastStatus = lastRead;
  writeRecord(block, playback.next(), ++sequence);
  playback.written(lastRead);
  platform::signalEvent(event);

  for (;;) {
    if (waitForStop(kHandoverPollMs)) return;
    std::uint32_t now = platform::tickMs();
    if (now - lastRead >= kLivePollMs) {
      playback.receive(liveRecords(reader.poll()));
      lastRead = now;
    }
    // Taken as in the deterministic playback: the flag cleared, or the event
    // consumed (the record then stays a while for reading).
    bool taken = load(block.freshRecord) == 0;
    if (!taken && !eventStillSignalled(event)) {
      if (waitForStop(settleMs)) return;
      taken = true;
    }
    if (taken) playback.taken();
    now = platform::tickMs();
    if (taken || playback.replaceUntaken(now)) {
      writeRecord(block, playback.next(), ++sequence);
      playback.written(now);
      platform::signalEvent(event);
    }
    if (!(playback.counts() == reported) && now - lastStatus >= kLiveStatusPeriodMs) {
      lastStatus = now;
      if (writeLiveStatus(channel, playback.counts())) reported = playback.counts();
    }
  }
}

}  // namespace armsim
