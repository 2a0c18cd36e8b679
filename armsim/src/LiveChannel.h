// The virtual arm's live input: a text file that another program (the arm
// panel, a test) appends to while the arm runs, one line each time the probe
// moves or a button is clicked. Once its scenario's records are played, the
// arm follows the file instead of ending (scenario line "live <file>").
//
// Channel lines are record lines of the scenario format:
//     record <x> <y> <z> <phi> <theta> <psi> [green] [red] [x<n>]
// A line without a button moves the probe: the arm writes that pose from then
// on. A line with a button is a click at its pose: the button is down for
// the n records (default 1) the program takes next, then up again, the
// probe staying at the click's pose. Blank lines, "#" comments and lines
// that do not read as records are skipped.
//
// Beside the channel the arm keeps a status file (liveStatusPath) that says
// how many records the program took, how many of them carried a button, and
// how many clicks were dropped because nobody read the arm: a panel shows it,
// a test waits on it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

#include "Scenario.h"

namespace armsim {

// How often the arm reads the channel file (milliseconds).
inline constexpr std::uint32_t kLivePollMs = 10;
// A record with a button down that the program has not taken this long after
// it was written is dropped, with the rest of its click and the clicks queued
// after it: the program is not reading the arm (a menu, a prompt), and a real
// arm's click is lost then too.
inline constexpr std::uint32_t kLivePressPatienceMs = 1000;
// The status file is rewritten at most this often (milliseconds).
inline constexpr std::uint32_t kLiveStatusPeriodMs = 25;

// The status file of a channel: the channel's path + ".status".
std::string liveStatusPath(const std::string& channelPath);

// Reads what has been appended to a channel file since the last call.
class LiveChannelReader {
 public:
  explicit LiveChannelReader(std::string path);
  // The complete lines added since the last call, without their line ends
  // (an unfinished last line waits for its end). A file now shorter than what
  // was read was started afresh and is read from its start. A missing file
  // gives nothing.
  std::vector<std::string> poll();

 private:
  std::string path_;
  long long offset_ = 0;
};

// The records of one channel line: none for a blank or comment line, n
// copies of the record for "x<n>". False with the problem for anything that
// is not a record line.
bool parseLiveLine(const std::string& line, std::vector<Record>& records, std::string& problem);

// What the program did with the arm's records while it followed the channel.
struct LiveCounts {
  std::uint64_t records = 0;  // records the program took
  std::uint64_t presses = 0;  // of those, records with a button down
  std::uint64_t dropped = 0;  // records with a button down dropped untaken
};

bool operator==(const LiveCounts& a, const LiveCounts& b);

// Which record the data block holds while the arm follows the channel. The
// caller (the arm's writer thread) reads the channel, tells when the program
// took the record in the block, and writes next() whenever this says so.
//
// A record with a button down stays in the block until the program takes it
// (or until kLivePressPatienceMs passed: dropped); queued button records
// follow one by one, each taken once; then the probe's latest pose with the
// buttons up, written again each time it is taken. A resting record the
// program has not taken yet is replaced at once when the probe moves or a
// click comes, so that a reader always finds the probe where it is now.
class LivePlayback {
 public:
  // The pose at the start (its buttons are ignored).
  explicit LivePlayback(const Record& start);

  // Records that were in the channel before the arm listened: the probe
  // takes the last pose; clicks are old and ignored.
  void catchUp(const std::vector<Record>& records);
  // Records read from the channel now.
  void receive(const std::vector<Record>& records);

  // The record the block should hold.
  const Record& next() const;
  // The caller wrote next() into the block at nowMs.
  void written(std::uint32_t nowMs);
  // The program took the record in the block.
  void taken();
  // True when the untaken record in the block is to be replaced by next()
  // now: the block holds a resting record that is not the probe's latest
  // state, or it holds a button record that waited past its patience (the
  // queued clicks are then dropped and counted).
  bool replaceUntaken(std::uint32_t nowMs);

  const LiveCounts& counts() const { return counts_; }

 private:
  Record pose_;                 // the probe now, buttons up
  std::deque<Record> presses_;  // button records not yet taken, the first in the block
  Record inBlock_;
  bool anyWritten_ = false;
  bool inBlockIsPress_ = false;
  std::uint32_t pressWrittenMs_ = 0;
  LiveCounts counts_;
};

// "records <n>\npresses <n>\ndropped <n>\n".
std::string liveStatusText(const LiveCounts& counts);
// Reads that text; false when it is incomplete.
bool parseLiveStatus(const std::string& text, LiveCounts& counts);
// Rewrites the status file of the channel (a temporary file renamed over it,
// so that a reader never sees half of it). False when it cannot be written.
bool writeLiveStatus(const std::string& channelPath, const LiveCounts& counts);
// Reads the status file of the channel; false when it is missing or incomplete.
bool readLiveStatus(const std::string& channelPath, LiveCounts& counts);

}  // namespace armsim
