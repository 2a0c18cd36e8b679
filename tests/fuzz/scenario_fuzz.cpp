// Fuzz target: the virtual arm's scenario reader (parseScenario) and the
// scenario tool's description reader and generator (parseScenarioDescription,
// generateScenario).
//
// Input: the text, read both as a scenario and as a description.
//
// Checked, besides the absence of crashes, hangs and sanitizer reports:
//  - each reader either accepts the text or refuses it with "line N: problem",
//    N a line of the text;
//  - an accepted scenario keeps its limits: at most kMaxRecords records, all
//    of finite numbers, a serial text of at most 63 characters, periods
//    within their ranges, no empty log or live file name;
//  - a description that is accepted and small enough to write quickly either
//    gives a scenario that the arm reads back with the promised number of
//    records and touches among them, or is refused with "line N: problem".
#include <cmath>
#include <cstdint>
#include <sstream>
#include <string>
#include <type_traits>
#include <variant>

#include "FuzzSupport.h"
#include "Scenario.h"
#include "ScenarioWriter.h"

namespace {

std::size_t lineCount(const std::string& text) {
  std::size_t lines = 0;
  for (char c : text) lines += c == '\n';
  return lines + (!text.empty() && text.back() != '\n' ? 1 : 0);
}

// "line N: problem" with N in 1..lines and a problem to read.
void checkLineError(const std::string& error, std::size_t lines, const char* reader) {
  std::size_t n = 0;
  int used = 0;
  if (std::sscanf(error.c_str(), "line %zu: %n", &n, &used) != 1 || used == 0 || n < 1 ||
      n > lines || error.size() <= static_cast<std::size_t>(used)) {
    fuzz::fail(std::string(reader) + " refused the text with \"" + fuzz::escaped(error) +
               "\" (the text has " + std::to_string(lines) + " lines)");
  }
}

bool finite(const armsim::Record& r) {
  return std::isfinite(r.x) && std::isfinite(r.y) && std::isfinite(r.z) && std::isfinite(r.phi) &&
         std::isfinite(r.theta) && std::isfinite(r.psi);
}

void checkScenario(const armsim::Scenario& s, const std::string& text) {
  const std::string context = "text: \"" + fuzz::escaped(text) + "\"";
  if (s.records.size() > armsim::kMaxRecords) fuzz::fail("too many records", context);
  for (std::size_t i = 0; i < s.records.size(); ++i) {
    if (!finite(s.records[i])) {
      fuzz::fail("record " + std::to_string(i) + " holds a number that is not finite", context);
    }
  }
  if (s.serial.size() > 63) fuzz::fail("a serial text longer than 63 characters", context);
  if (s.periodMs < 1 || s.periodMs > 60000 || s.settleMs > 60000) {
    fuzz::fail("a period out of range", context);
  }
}

// Records the description may write: generated only when small, so that
// every input runs quickly.
bool smallDescription(const armsim::ScenarioDescription& d) {
  if (d.steps.size() > 64) return false;
  constexpr int kLimit = 16;
  for (const auto& step : d.steps) {
    const bool big = std::visit(
        [](const auto& s) {
          using T = std::decay_t<decltype(s)>;
          if constexpr (std::is_same_v<T, armsim::Aim> || std::is_same_v<T, armsim::Rest> ||
                        std::is_same_v<T, armsim::SetSpacing>) {
            return s.records > kLimit;
          } else if constexpr (std::is_same_v<T, armsim::Press>) {
            return s.presses > kLimit || s.held > kLimit;
          } else if constexpr (std::is_same_v<T, armsim::SetImageGreen>) {
            return s.presses > kLimit;
          } else {
            return false;
          }
        },
        step);
    if (big) return false;
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::size_t lines = lineCount(text);
  {
    armsim::Scenario scenario;
    std::istringstream in(text);
    std::string error;
    if (armsim::parseScenario(in, scenario, error)) {
      checkScenario(scenario, text);
    } else {
      checkLineError(error, lines, "parseScenario");
    }
  }
  armsim::ScenarioDescription description;
  std::istringstream in(text);
  std::string error;
  if (!armsim::parseScenarioDescription(in, description, error)) {
    checkLineError(error, lines, "parseScenarioDescription");
    return 0;
  }
  if (description.lines.size() != description.steps.size()) {
    fuzz::fail("a description without the line of each step");
  }
  if (!smallDescription(description)) return 0;
  armsim::GeneratedScenario generated;
  if (!armsim::generateScenario(description, generated, error)) {
    checkLineError(error, lines, "generateScenario");
    return 0;
  }
  armsim::Scenario played;
  std::istringstream written(generated.text);
  const std::string context = "description: \"" + fuzz::escaped(text) + "\"\nscenario: \"" +
                              fuzz::escaped(generated.text) + "\"";
  if (!armsim::parseScenario(written, played, error)) {
    fuzz::fail("the arm refuses a written scenario: " + error, context);
  }
  checkScenario(played, generated.text);
  if (played.records.size() != generated.recordCount) {
    fuzz::fail("a written scenario holds another number of records than promised", context);
  }
  for (const auto& touch : generated.touches) {
    if (touch.record >= generated.recordCount) fuzz::fail("a touch beyond the records", context);
  }
  return 0;
}
