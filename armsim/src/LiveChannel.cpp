#include "LiveChannel.h"

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <system_error>
#include <utility>

#include "platform/paths.h"

namespace armsim {
namespace {

bool samePose(const Record& a, const Record& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z && a.phi == b.phi && a.theta == b.theta &&
         a.psi == b.psi;
}

bool hasButton(const Record& record) {
  return record.green || record.red;
}

Record resting(Record record) {
  record.green = false;
  record.red = false;
  return record;
}

}  // namespace

std::string liveStatusPath(const std::string& channelPath) {
  return channelPath + ".status";
}

LiveChannelReader::LiveChannelReader(std::string path) : path_(std::move(path)) {}

std::vector<std::string> LiveChannelReader::poll() {
  std::vector<std::string> lines;
  std::FILE* file = platform::openFile(path_, "rb");
  if (file == nullptr) return lines;
  const long long size = platform::openFileSize(file);
  if (size >= 0 && size < offset_) offset_ = 0;
  std::string text;
  if (size > offset_ && std::fseek(file, static_cast<long>(offset_), SEEK_SET) == 0) {
    text.resize(static_cast<std::size_t>(size - offset_));
    text.resize(std::fread(text.data(), 1, text.size(), file));
  }
  std::fclose(file);

  std::size_t start = 0;
  for (std::size_t end = text.find('\n'); end != std::string::npos;
       end = text.find('\n', start)) {
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  // An unfinished last line is read again, whole, next time.
  offset_ += static_cast<long long>(start);
  return lines;
}

bool parseLiveLine(const std::string& line, std::vector<Record>& records, std::string& problem) {
  records.clear();
  std::istringstream words(line);
  std::string keyword;
  if (!(words >> keyword) || keyword[0] == '#') return true;
  for (char& c : keyword) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
  if (keyword != "record") {
    problem = "not a record line";
    return false;
  }
  Scenario scenario;
  std::istringstream in(line);
  if (!parseScenario(in, scenario, problem)) return false;
  records = std::move(scenario.records);
  return true;
}

bool operator==(const LiveCounts& a, const LiveCounts& b) {
  return a.records == b.records && a.presses == b.presses && a.dropped == b.dropped;
}

LivePlayback::LivePlayback(const Record& start) : pose_(resting(start)) {}

void LivePlayback::catchUp(const std::vector<Record>& records) {
  if (!records.empty()) pose_ = resting(records.back());
}

void LivePlayback::receive(const std::vector<Record>& records) {
  for (const Record& record : records) {
    if (hasButton(record)) presses_.push_back(record);
    // A click is made where the probe is: it stays there afterwards.
    pose_ = resting(record);
  }
}

const Record& LivePlayback::next() const {
  return presses_.empty() ? pose_ : presses_.front();
}

void LivePlayback::written(std::uint32_t nowMs) {
  inBlock_ = next();
  anyWritten_ = true;
  inBlockIsPress_ = !presses_.empty();
  if (inBlockIsPress_) pressWrittenMs_ = nowMs;
}

void LivePlayback::taken() {
  if (!anyWritten_) return;
  ++counts_.records;
  if (inBlockIsPress_) {
    ++counts_.presses;
    presses_.pop_front();
    inBlockIsPress_ = false;
  }
}

bool LivePlayback::replaceUntaken(std::uint32_t nowMs) {
  if (!anyWritten_) return true;
  if (inBlockIsPress_) {
    if (nowMs - pressWrittenMs_ < kLivePressPatienceMs) return false;
    counts_.dropped += presses_.size();
    presses_.clear();
    return true;
  }
  if (!presses_.empty()) return true;
  return !samePose(inBlock_, pose_);
}

std::string liveStatusText(const LiveCounts& counts) {
  return "records " + std::to_string(counts.records) + "\npresses " +
         std::to_string(counts.presses) + "\ndropped " + std::to_string(counts.dropped) + "\n";
}

bool parseLiveStatus(const std::string& text, LiveCounts& counts) {
  std::istringstream in(text);
  LiveCounts read;
  std::string records, presses, dropped;
  if (!(in >> records >> read.records >> presses >> read.presses >> dropped >> read.dropped) ||
      records != "records" || presses != "presses" || dropped != "dropped") {
    return false;
  }
  counts = read;
  return true;
}

bool writeLiveStatus(const std::string& channelPath, const LiveCounts& counts) {
  const std::string target = liveStatusPath(channelPath);
  const std::string temporary = target + ".new";
  std::FILE* file = platform::openFile(temporary, "wb");
  if (file == nullptr) return false;
  const std::string text = liveStatusText(counts);
  const bool complete = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  if (std::fclose(file) != 0 || !complete) return false;
  std::error_code error;
  std::filesystem::rename(platform::nativePath(temporary), platform::nativePath(target), error);
  return !error;
}

bool readLiveStatus(const std::string& channelPath, LiveCounts& counts) {
  std::FILE* file = platform::openFile(liveStatusPath(channelPath), "rb");
  if (file == nullptr) return false;
  char buffer[256];
  const std::size_t size = std::fread(buffer, 1, sizeof buffer, file);
  std::fclose(file);
  return parseLiveStatus(std::string(buffer, size), counts);
}

}  // namespace armsim
