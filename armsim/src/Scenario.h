// What the virtual arm plays: its identity, the failures to inject, the
// dialog results and the records written into the caller's data block.
#pragma once

#include <cstdint>
#include <deque>
#include <istream>
#include <map>
#include <string>
#include <vector>

namespace armsim {

// One arm record: the measuring point in mm, the three angles in degrees and
// the two handle buttons.
struct Record {
  double x = 0.0, y = 0.0, z = 0.0;
  double phi = 0.0, theta = 0.0, psi = 0.0;
  bool green = false;
  bool red = false;
};

enum class Playback {
  // The next record is written only once the program has taken the previous
  // one (cleared the fresh-record flag or consumed the event).
  Deterministic,
  // One record every periodMs, taken or not, like the real arm.
  Timed,
};

// What happens once the last record has been written.
enum class AfterLast {
  Idle,  // nothing more is written
  Hold,  // the last record is written again and again
  Loop,  // playback starts again with the first record
};

// Time a record stays after its event was consumed, unless a scenario names
// another (see Scenario::settleMs).
inline constexpr std::uint32_t kDefaultSettleAfterEventMs = 50;

struct Scenario {
  std::string serial = "P08-08-1234";
  std::uint32_t firmware = 4027;
  bool failOpen = false;   // command 1 answers 0
  bool failBlock = false;  // command 5 answers 0
  // Calls that fail ("fail <command> <n>"): per command, the numbers of its
  // calls (from 1, counted since the library was loaded or this scenario was
  // named) that answer 0 and do nothing else.
  std::map<std::int32_t, std::vector<std::uint32_t>> failCalls;
  // Results of the dialog commands, per command, consumed in order; once a
  // command's list is used up it answers 1 (dialog closed).
  std::map<std::int32_t, std::deque<std::int32_t>> dialogResults;
  std::vector<Record> records;
  Playback playback = Playback::Deterministic;
  std::uint32_t periodMs = 20;
  // Deterministic playback: how long a record stays after the program
  // consumed its event, so that it can read the record before the next one
  // replaces it. Generous by default, so that a loaded machine that suspends
  // the program between its wait and its read does not make it skip a record;
  // the demo plays faster with a shorter time.
  std::uint32_t settleMs = kDefaultSettleAfterEventMs;
  AfterLast afterLast = AfterLast::Idle;
  // File that receives every command number, one per line; empty: none.
  std::string logPath;
  // Live channel (LiveChannel.h) the arm follows once the records are
  // played, in place of afterLast; empty: none.
  std::string liveChannel;
  // The channel interrupts the records ("interrupt <file>"): the records
  // play as afterLast says (looping, holding or idle after the last) until a
  // record line is appended to the channel; then the arm follows the channel
  // at once, those lines played as new ones (a click in them is played).
  // Lines already in the channel when the arm starts are ignored.
  bool liveInterrupts = false;
};

// Most records one scenario may expand to (repeats and moves included).
inline constexpr std::size_t kMaxRecords = 1000000;

// Reads a scenario text. False with "line N: problem" in error when the text
// does not follow the format.
bool parseScenario(std::istream& in, Scenario& scenario, std::string& error);

}  // namespace armsim
