// The calibration journal.
#include "partcalibration/Journal.h"

#include <cstdio>
#include <memory>

#include "console/ConsoleServices.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using OpenFile = std::unique_ptr<std::FILE, FileCloser>;

std::string isoUtcTime(std::chrono::system_clock::time_point when) {
  using namespace std::chrono;
  const sys_seconds seconds = floor<std::chrono::seconds>(when);
  const sys_days days = floor<std::chrono::days>(seconds);
  const year_month_day date(days);
  const hh_mm_ss<std::chrono::seconds> time(seconds - days);
  const auto two = [](auto value) { return twoDigitNumber(static_cast<unsigned long long>(value)); };
  return numberToText(static_cast<int>(date.year())) + "-" +
         two(static_cast<unsigned>(date.month())) + "-" + two(static_cast<unsigned>(date.day())) +
         "T" + two(time.hours().count()) + ":" + two(time.minutes().count()) + ":" +
         two(time.seconds().count()) + "Z";
}

std::string numberField(const std::optional<double>& value) {
  return value ? numberToText(*value) : std::string();
}

bool writeAll(std::FILE* file, const std::string& text) {
  return std::fwrite(text.data(), 1, text.size(), file) == text.size() && std::fflush(file) == 0;
}

// The journal open for appending, or null. A missing journal is created
// afresh (never through a link planted under its name); an existing one
// must finally lie in the application-data directory.
OpenFile openJournal(const std::string& path, const std::string& directory) {
  const bool missing = platform::pathKind(path) == platform::PathKind::Missing;
  OpenFile file(missing ? platform::createNewFile(path, true) : platform::openFile(path, "ab"));
  if (!file || !platform::finallyLiesWithin(path, directory)) return nullptr;
  return file;
}

}  // namespace

std::string journalFilePath() {
  return getApplicationDataDirectory() + "\\" + kJournalFileName;
}

std::string csvField(std::string_view text) {
  const bool quoted = text.find_first_of(",\"\r\n") != std::string_view::npos ||
                      (!text.empty() && (text.front() == ' ' || text.back() == ' '));
  if (!quoted) return std::string(text);
  std::string field = "\"";
  for (const char c : text) {
    if (c == '"') field += '"';
    field += c;
  }
  return field + "\"";
}

std::string journalHeaderRow() {
  return "UTC time,Operation,Settings file,Section,Arm serial,Uncertainty (mm2),"
         "RMS distance (mm),Predicted far error (mm)\r\n";
}

std::string journalRow(const JournalEntry& entry, std::chrono::system_clock::time_point when) {
  return isoUtcTime(when) + "," + csvField(entry.operation) + "," + csvField(entry.settingsFile) +
         "," + csvField(entry.section) + "," + csvField(entry.armSerial) + "," +
         numberField(entry.uncertainty) + "," + numberField(entry.rmsDistance) + "," +
         numberField(entry.predictedError) + "\r\n";
}

bool appendToJournal(ConsoleContext& context, const std::vector<JournalEntry>& entries) {
  if (entries.empty()) return true;
  const std::string path = journalFilePath();
  OpenFile file = openJournal(path, getApplicationDataDirectory());
  bool written = file != nullptr;
  // A journal made just now, or left empty, starts with its header.
  if (written && platform::openFileSize(file.get()) == 0) {
    written = writeAll(file.get(), journalHeaderRow());
  }
  for (std::size_t i = 0; written && i < entries.size(); ++i) {
    written = writeAll(file.get(), journalRow(entries[i], std::chrono::system_clock::now()));
  }
  // A file system may report a full disk only when the file is closed.
  if (file && std::fclose(file.release()) != 0) written = false;
  if (!written) {
    context.print("The calibration journal " + path +
                  " cannot be written; this operation is not recorded in it.\n");
  }
  return written;
}

JournalBatch::~JournalBatch() {
  // The journal never stops or fails an operation.
  try {
    appendToJournal(context_, entries_);
  } catch (...) {
  }
}
