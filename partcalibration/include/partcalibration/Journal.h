// The calibration journal: one row for every transform section written by a
// calibration, an extension, a copy or a relocation, and for every backup
// restored or deleted, appended to "ZorvPosetta-journal.csv" in the
// application-data directory (beside the arm configuration file). A
// technician or an auditor sees later when a calibration was made, with
// which arm and how good it was.
//
// Columns (a header row when the file is made): UTC time (ISO 8601),
// operation, settings file (full path), section, arm serial, uncertainty
// (mm²), RMS distance (mm), predicted far error (mm); an empty field where a
// value does not apply. Fields are quoted where a spreadsheet needs it;
// rows end in CR LF.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "console/ConsoleContext.h"

inline constexpr const char* kJournalFileName = "ZorvPosetta-journal.csv";

// Operation names of the second column.
inline constexpr const char* kJournalCalibration = "calibration";
inline constexpr const char* kJournalExtension = "extension";
inline constexpr const char* kJournalCopy = "copy";
inline constexpr const char* kJournalRelocation = "relocation";
inline constexpr const char* kJournalReset = "reset";
inline constexpr const char* kJournalClean = "clean";

struct JournalEntry {
  std::string operation;
  std::string settingsFile;
  std::string section;
  std::string armSerial;
  std::optional<double> uncertainty;     // mm²
  std::optional<double> rmsDistance;     // mm
  std::optional<double> predictedError;  // mm
};

// The journal's full path.
std::string journalFilePath();

// One field as a spreadsheet reads it back: quoted (quotes doubled) when it
// holds a comma, a quote, a line break or leading or trailing blanks.
std::string csvField(std::string_view text);
// The header row and one row, each with its CR LF.
std::string journalHeaderRow();
std::string journalRow(const JournalEntry& entry, std::chrono::system_clock::time_point when);

// Appends one row per entry (each row one write). A journal that cannot be
// opened or written, or one that leads outside the application-data
// directory, prints one line and the operation goes on; false then.
bool appendToJournal(ConsoleContext& context, const std::vector<JournalEntry>& entries);

// The rows of one operation, appended together when it ends (so that a
// journal that cannot be written prints its line once per operation).
class JournalBatch {
 public:
  explicit JournalBatch(ConsoleContext& context) : context_(context) {}
  ~JournalBatch();
  JournalBatch(const JournalBatch&) = delete;
  JournalBatch& operator=(const JournalBatch&) = delete;

  void add(JournalEntry entry) { entries_.push_back(std::move(entry)); }

 private:
  ConsoleContext& context_;
  std::vector<JournalEntry> entries_;
};
