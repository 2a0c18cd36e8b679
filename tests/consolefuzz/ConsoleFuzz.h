// Console fuzzing of the whole program: each case starts the real
// ZorvPosetta on a copy of the demo site with the virtual arm playing a
// looping scenario, chooses one main menu entry and then feeds it console
// input made from a seed: answers of the kinds the entry asks for, mixed
// with numbers out of range, empty lines, control characters, CR LF line
// ends, random bytes and very long lines, cut off at a random point.
//
// A run passes when the program ends by itself with status 0 (Exit) or 2
// (end of console input) within the timeout, writes no sanitizer report,
// reports no operation ended by an exception,
// leaves every settings file of the site readable, leaves no temporary file
// behind, and changes only the files the operations that ran have a reason
// to change.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "E2eHarness.h"

namespace consolefuzz {

// What the arm start-up asks before the directory mode is detected.
enum class StartupPrompt {
  None,             // the arm opens and its psi correction is stored
  PsiWarningKey,    // "WARNING! Uninitialised psi zero-degree.": one key
  FailureQuestion,  // "Arm initialisation failure. Would you like to continue? (y/n): "
};

// A virtual arm scenario. Every one that opens the arm loops and presses
// green and red again and again, so that every operation waiting on the arm
// goes on: a run that stops must have stopped for another reason.
struct ArmScenario {
  std::string name;
  std::string text;
  StartupPrompt startup = StartupPrompt::None;
};

// The scenarios, in a fixed order (the seed picks one by position). Built
// once: some are written by the scenario tool from examples/armsim/*.desc.
const std::vector<ArmScenario>& armScenarios();
// Position of the scenario of that name; throws when there is none.
std::size_t scenarioIndex(const std::string& name);

// Changes made to the copied demo site before the run.
struct SiteVariant {
  bool noWizardTree = false;   // only the arm's file: no settings to choose from
  bool legacyTree = false;     // a legacy "c:\quads" tree too: the mode question
  bool askSizes = false;       // Skin.qini without its sizes: the generator asks
  bool backups = false;        // an .oldqini beside every .qini
  bool ctrlHeld = false;       // Ctrl held at start-up: the arm information and a key
  bool operator==(const SiteVariant&) const = default;
};

struct FuzzCase {
  std::uint64_t seed = 0;
  int entry = 0;  // main menu position, 0..15
  std::size_t scenario = 0;
  SiteVariant site;
  std::vector<e2e::InputStep> steps;

  // All the console input, the steps one after the other.
  std::string input() const;
  // Entry, scenario, site variant and the steps with their delays.
  std::string describe() const;
};

// The case of a seed. entryOverride (0..15) fixes the menu entry; otherwise
// the seed picks it (consecutive seeds take consecutive entries).
FuzzCase generateCase(std::uint64_t seed, int entryOverride = -1);

// The input the entry is chosen with: the answers to the start-up questions
// of the scenario and the site, then the entry's number.
std::string startupAnswers(const ArmScenario& scenario, const SiteVariant& site);

// Every file below the profile and the legacy directory: path relative to
// the sandbox ("profile/...", "mnt/c/quads/...") -> content; directories are
// listed with a trailing '/' and an empty content.
using Snapshot = std::map<std::string, std::string>;
Snapshot takeSnapshot(const e2e::Sandbox& sandbox);

enum class ChangeKind { Modified, Added, Removed };

struct Change {
  std::string path;  // as in Snapshot
  ChangeKind kind;
};
std::vector<Change> compareSnapshots(const Snapshot& before, const Snapshot& after);

// Whether running the entry (0..15) may make the change. Entries that run
// the editor are checked with an editor that changes nothing.
bool changeAllowed(int entry, const Change& change);

// Number of operations the run started, from its output: one per main menu
// shown after the first, and one more when the last menu was answered with
// an entry other than Exit.
int operationsStarted(const std::string& output);

// Settings files (by extension) below root that the profile reader cannot
// open and enumerate (every section, every key of it, every value), each
// with the reason.
std::vector<std::string> unreadableSettingsFiles(const std::string& root);

// Names of files below root that a write or a copy leaves only when it is
// interrupted (anything named "*.tmp*").
std::vector<std::string> temporaryFiles(const std::string& root);

struct Verdict {
  bool crashed = false;     // signal, sanitizer report or an exit status other than 0 and 2
  bool hung = false;        // killed at the timeout
  bool unreadable = false;  // a settings file that cannot be read any more
  bool corrupted = false;   // a temporary file left, a change without reason, sections lost
  bool escaped = false;     // an operation ended by an exception ("Operation failed: ...")
  int operations = 0;
  e2e::RunResult run;
  std::vector<std::string> problems;
  bool passed() const { return !crashed && !hung && !unreadable && !corrupted && !escaped; }
};

// Runs the case in a fresh sandbox and judges it.
Verdict runCase(const FuzzCase& fuzzCase, std::chrono::milliseconds timeout);

// Writes <directory>/seed-<seed>.input (the console input, byte for byte) and
// <directory>/seed-<seed>.txt (the case, the problems, the output's end).
// Returns the .txt path.
std::string saveFailure(const std::string& directory, const FuzzCase& fuzzCase,
                        const Verdict& verdict);

// The text of a main menu entry, 0..15.
std::string entryName(int entry);

}  // namespace consolefuzz
