#include "Scenario.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "LineParsing.h"

namespace armsim {
namespace {

// Reads the six pose numbers that open a record or move line.
bool readPose(const std::vector<std::string>& tokens, Record& record) {
  if (tokens.size() < 7) return false;
  double* fields[6] = {&record.x, &record.y, &record.z, &record.phi, &record.theta, &record.psi};
  for (int i = 0; i < 6; ++i) {
    if (!toReal(tokens[static_cast<std::size_t>(i) + 1], *fields[i])) return false;
  }
  return true;
}

// Button words and the repeat count "xN" after the pose. The repeat is only
// allowed where allowRepeat is true.
bool readButtons(const std::vector<std::string>& tokens, std::size_t first, bool allowRepeat,
                 Record& record, long long& repeat, std::string& problem) {
  repeat = 1;
  for (std::size_t i = first; i < tokens.size(); ++i) {
    const std::string word = lowerCase(tokens[i]);
    if (word == "green") {
      record.green = true;
    } else if (word == "red") {
      record.red = true;
    } else if (allowRepeat && word.size() > 1 && word[0] == 'x') {
      if (!toInteger(word.substr(1), 1, static_cast<long long>(kMaxRecords), repeat)) {
        problem = "bad repeat count \"" + tokens[i] + "\"";
        return false;
      }
    } else {
      problem = "unexpected \"" + tokens[i] + "\"";
      return false;
    }
  }
  return true;
}

bool addRecords(Scenario& scenario, const Record& record, long long count, std::string& problem) {
  if (scenario.records.size() + static_cast<std::size_t>(count) > kMaxRecords) {
    problem = "more than " + std::to_string(kMaxRecords) + " records";
    return false;
  }
  scenario.records.insert(scenario.records.end(), static_cast<std::size_t>(count), record);
  return true;
}

bool parseLine(const std::string& line, Scenario& scenario, std::string& problem) {
  const std::vector<std::string> tokens = splitWords(line);
  const std::string keyword = lowerCase(tokens[0]);

  if (keyword == "serial") {
    // The rest of the line, blanks inside included.
    std::string text = trim(trim(line).substr(tokens[0].size()));
    if (text.size() > 63) {
      problem = "serial text longer than 63 characters";
      return false;
    }
    scenario.serial = text;
    return true;
  }
  if (keyword == "log") {
    scenario.logPath = trim(trim(line).substr(tokens[0].size()));
    if (scenario.logPath.empty()) {
      problem = "log needs a file name";
      return false;
    }
    return true;
  }
  if (keyword == "live" || keyword == "interrupt") {
    // The last of the two lines names the channel and says how it is used.
    scenario.liveChannel = trim(trim(line).substr(tokens[0].size()));
    scenario.liveInterrupts = keyword == "interrupt";
    if (scenario.liveChannel.empty()) {
      problem = keyword + " needs a file name";
      return false;
    }
    return true;
  }
  if (keyword == "firmware") {
    long long value = 0;
    if (tokens.size() != 2 || !toInteger(tokens[1], 0, UINT32_MAX, value)) {
      problem = "firmware needs one whole number";
      return false;
    }
    scenario.firmware = static_cast<std::uint32_t>(value);
    return true;
  }
  if (keyword == "fail") {
    const std::string what = tokens.size() == 2 ? lowerCase(tokens[1]) : std::string();
    long long command = 0;
    long long call = 0;
    if (what == "open") {
      scenario.failOpen = true;
    } else if (what == "block") {
      scenario.failBlock = true;
    } else if (tokens.size() == 3 && toInteger(tokens[1], INT32_MIN, INT32_MAX, command) &&
               toInteger(tokens[2], 1, UINT32_MAX, call)) {
      scenario.failCalls[static_cast<std::int32_t>(command)].push_back(
          static_cast<std::uint32_t>(call));
    } else {
      problem = "fail needs \"open\", \"block\" or a command and a call number";
      return false;
    }
    return true;
  }
  if (keyword == "dialog") {
    long long command = 0;
    if (tokens.size() < 3 || !toInteger(tokens[1], INT32_MIN, INT32_MAX, command)) {
      problem = "dialog needs a command and at least one result";
      return false;
    }
    auto& results = scenario.dialogResults[static_cast<std::int32_t>(command)];
    for (std::size_t i = 2; i < tokens.size(); ++i) {
      long long result = 0;
      if (!toInteger(tokens[i], INT32_MIN, INT32_MAX, result)) {
        problem = "bad dialog result \"" + tokens[i] + "\"";
        return false;
      }
      results.push_back(static_cast<std::int32_t>(result));
    }
    return true;
  }
  if (keyword == "playback") {
    const std::string how = tokens.size() >= 2 ? lowerCase(tokens[1]) : std::string();
    long long period = 0;
    long long settle = 0;
    if (how == "deterministic" && tokens.size() == 2) {
      scenario.playback = Playback::Deterministic;
    } else if (how == "deterministic" && tokens.size() == 3 &&
               toInteger(tokens[2], 0, 60000, settle)) {
      scenario.playback = Playback::Deterministic;
      scenario.settleMs = static_cast<std::uint32_t>(settle);
    } else if (how == "timed" && tokens.size() == 3 && toInteger(tokens[2], 1, 60000, period)) {
      scenario.playback = Playback::Timed;
      scenario.periodMs = static_cast<std::uint32_t>(period);
    } else {
      problem =
          "playback needs \"deterministic [<settle milliseconds 0-60000>]\" or \"timed "
          "<milliseconds 1-60000>\"";
      return false;
    }
    return true;
  }
  if (keyword == "end") {
    const std::string how = tokens.size() == 2 ? lowerCase(tokens[1]) : std::string();
    if (how == "idle") {
      scenario.afterLast = AfterLast::Idle;
    } else if (how == "hold") {
      scenario.afterLast = AfterLast::Hold;
    } else if (how == "loop") {
      scenario.afterLast = AfterLast::Loop;
    } else {
      problem = "end needs \"idle\", \"hold\" or \"loop\"";
      return false;
    }
    return true;
  }
  if (keyword == "record") {
    Record record;
    long long repeat = 1;
    if (!readPose(tokens, record)) {
      problem = "record needs x y z phi theta psi";
      return false;
    }
    if (!readButtons(tokens, 7, true, record, repeat, problem)) return false;
    return addRecords(scenario, record, repeat, problem);
  }
  if (keyword == "move") {
    Record target;
    long long steps = 0;
    long long unused = 1;
    if (!readPose(tokens, target) || tokens.size() < 8 ||
        !toInteger(tokens[7], 1, static_cast<long long>(kMaxRecords), steps)) {
      problem = "move needs x y z phi theta psi and a number of steps";
      return false;
    }
    if (!readButtons(tokens, 8, false, target, unused, problem)) return false;
    if (scenario.records.size() + static_cast<std::size_t>(steps) > kMaxRecords) {
      problem = "more than " + std::to_string(kMaxRecords) + " records";
      return false;
    }
    // From the pose of the record before (the origin when there is none) to
    // the target, the last step landing on it.
    const Record from = scenario.records.empty() ? Record() : scenario.records.back();
    for (long long step = 1; step <= steps; ++step) {
      const double t = static_cast<double>(step) / static_cast<double>(steps);
      Record r = target;
      r.x = from.x + (target.x - from.x) * t;
      r.y = from.y + (target.y - from.y) * t;
      r.z = from.z + (target.z - from.z) * t;
      r.phi = from.phi + (target.phi - from.phi) * t;
      r.theta = from.theta + (target.theta - from.theta) * t;
      r.psi = from.psi + (target.psi - from.psi) * t;
      // Poses of finite numbers so far apart that the way between them
      // passes the largest number.
      if (!std::isfinite(r.x) || !std::isfinite(r.y) || !std::isfinite(r.z) ||
          !std::isfinite(r.phi) || !std::isfinite(r.theta) || !std::isfinite(r.psi)) {
        problem = "move goes beyond the range of numbers";
        return false;
      }
      scenario.records.push_back(r);
    }
    return true;
  }
  problem = "unknown keyword \"" + tokens[0] + "\"";
  return false;
}

}  // namespace

bool parseScenario(std::istream& in, Scenario& scenario, std::string& error) {
  return parseStatements(
      in, [&](const std::string& line, std::string& problem) { return parseLine(line, scenario, problem); },
      error);
}

}  // namespace armsim
