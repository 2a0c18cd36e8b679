// Sweeps of injected faults: an operation on files below a directory is run
// once cleanly, counting its file operations, and then once for every fault
// at every call index of every operation, each time on a fresh copy of the
// same files. After each run the directory is compared with the one before
// and the one after the clean run: every file must be wholly old or wholly
// new, nothing else may appear, and the operation's report must fit.
//
// The snapshots read the disk with the standard library, never through the
// platform layer, so that they are no calls of the plan.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/faults.h"

namespace faultsweep {

// Every file below a directory, by path relative to it, with its bytes;
// directories are entries ending in '/' with no content.
using Snapshot = std::map<std::string, std::string>;
Snapshot snapshot(const std::string& root);

// Empties the directory (keeps it).
void clearDirectory(const std::string& root);
// Writes a file below root (relative path with '/'), making its directories.
void putFile(const std::string& root, const std::string& relative, const std::string& content);

// What an operation reported: success and the text it printed.
struct Outcome {
  bool succeeded = false;
  std::string text;
};

// What one run looked like, for the judge.
struct SweepRun {
  std::string plan;  // "" for the clean run
  Outcome outcome;
  Snapshot files;
  std::uint64_t fired = 0;  // faults that fired, the base plan's included
  bool sweptFired = false;  // the swept fault fired
  // Files (relative to the root) that vanished after a listing: gone by the
  // fault's own hand, so their absence is no loss.
  std::vector<std::string> vanished;
  std::uint64_t calls[platform::faults::kOperationCount] = {};
};

struct Sweep {
  std::string root;                  // the directory the operation works in
  std::function<void()> prepare;     // writes the starting files (root is empty)
  std::function<Outcome()> operate;  // the operation under test
  // The faults to inject, as plan items without the call number:
  // "write::disk-full" is expanded into "write:1:disk-full", ... ,
  // "write:<count>:disk-full", count being the clean run's write calls.
  std::vector<std::string> faults = {"open::disk-full", "write::disk-full", "flush::disk-full",
                                     "rename::access-denied", "vanish:"};
  // Checks one faulty run against the runs before and after (the clean
  // run); the default accepts a failure that left the old files and a
  // success that left the new ones.
  std::function<void(const SweepRun& faulty, const Snapshot& before, const SweepRun& clean)> judge;
  // Files the judge checks section by section (an operation that writes
  // sections one at a time may stop between them): left out of the check
  // that each file is wholly old or wholly new.
  std::vector<std::string> judgedBySections;
  // Extra plan items in force for every run (e.g. a rename refused so that
  // the in-place path is taken), clean run included.
  std::string basePlan;
};

struct Totals {
  int injected = 0;  // faulty runs made (each one fault that fired)
  int torn = 0;      // files found neither wholly old nor wholly new
  int calls = 0;     // operation calls counted in clean runs
};

// Runs the sweep; the totals add up in the process-wide tally as well.
Totals runSweep(const Sweep& sweep);

// Files of `files` that are neither as in `before` nor as in `after` (absence
// included), and names that are in neither; a vanished file may be absent.
std::vector<std::string> tornFiles(const Snapshot& files, const Snapshot& before,
                                   const Snapshot& after,
                                   const std::vector<std::string>& vanished = {});

// The snapshot without the vanished files (for comparisons).
Snapshot without(const Snapshot& files, const std::vector<std::string>& vanished);

// Names of temporaries left below a directory ("*.tmp*" and the like).
std::vector<std::string> temporaries(const Snapshot& files);

// The default judge.
void judgeOldOrNew(const SweepRun& faulty, const Snapshot& before, const SweepRun& clean);

// The process-wide tally, printed at exit as "[fault sweep] ...".
Totals& tally();

// A test name made of a case's description (letters and digits kept, the
// rest '_'), for tables of parameterised cases.
inline std::string caseName(const char* description) {
  std::string name;
  for (const char* p = description; *p != '\0'; ++p) {
    const char c = *p;
    name += (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ? c : '_';
  }
  return name;
}

// A short description of a snapshot difference, for failure messages.
std::string describe(const Snapshot& files, const Snapshot& expected);

}  // namespace faultsweep
