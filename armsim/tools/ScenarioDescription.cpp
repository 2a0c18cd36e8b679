// Reading the text form of a scenario description.
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <utility>

#include "LineParsing.h"
#include "ScenarioWriter.h"

namespace armsim {
namespace {

// A count: digits only (no sign), within [low, high].
bool toCount(const std::string& token, int low, int high, int& value) {
  long long parsed = 0;
  if (token.empty() || !std::isdigit(static_cast<unsigned char>(token[0])) ||
      !toInteger(token, low, high, parsed)) {
    return false;
  }
  value = static_cast<int>(parsed);
  return true;
}

bool toSeed(const std::string& token, std::uint64_t& value) {
  if (token.empty() || !std::isdigit(static_cast<unsigned char>(token[0]))) return false;
  char* end = nullptr;
  errno = 0;
  const unsigned long long parsed = std::strtoull(token.c_str(), &end, 10);
  if (errno != 0 || end != token.c_str() + token.size()) return false;
  value = parsed;
  return true;
}

// Reads tokens[first], tokens[first + 1], tokens[first + 2].
bool toVec3(const std::vector<std::string>& tokens, std::size_t first, Vec3& v) {
  return tokens.size() >= first + 3 && toReal(tokens[first], v.x) &&
         toReal(tokens[first + 1], v.y) && toReal(tokens[first + 2], v.z);
}

// Largest count a statement takes: a scenario holds at most kMaxRecords
// records anyway, and the generator says so with its own message.
constexpr int kMaxCount = 1000000;

bool parseStatement(const std::string& line, std::vector<DescriptionStep>& steps,
                    std::string& problem) {
  const std::vector<std::string> tokens = splitWords(line);
  const std::string keyword = lowerCase(tokens[0]);
  const std::size_t count = tokens.size();

  if (keyword == "placement") {
    Placement placement;
    const bool withOrigin = count == 11 && lowerCase(tokens[7]) == "origin";
    if ((count != 7 && !withOrigin) || !toVec3(tokens, 1, placement.anglesDeg) ||
        !toVec3(tokens, 4, placement.translation) ||
        (withOrigin && !toVec3(tokens, 8, placement.origin))) {
      problem = "placement needs rx ry rz tx ty tz [origin ox oy oz]";
      return false;
    }
    steps.emplace_back(SetPlacement{placement});
    return true;
  }
  if (keyword == "ball") {
    double size = 0.0;
    if (count != 2 || !toReal(tokens[1], size) || (size != 3.0 && size != 6.0)) {
      problem = "ball needs the size 3 or 6 (mm)";
      return false;
    }
    steps.emplace_back(SetBall{size});
    return true;
  }
  if (keyword == "probe") {
    SetProbeAngles angles;
    if (count != 4 || !toReal(tokens[1], angles.phi) || !toReal(tokens[2], angles.theta) ||
        !toReal(tokens[3], angles.psi)) {
      problem = "probe needs phi theta psi (degrees)";
      return false;
    }
    steps.emplace_back(angles);
    return true;
  }
  if (keyword == "noise") {
    SetNoise noise;
    if (count != 3 || !toReal(tokens[1], noise.sigma) || noise.sigma < 0.0 ||
        !toSeed(tokens[2], noise.seed)) {
      problem = "noise needs sigma (mm, 0 or more) and a whole-number seed";
      return false;
    }
    steps.emplace_back(noise);
    return true;
  }
  if (keyword == "image-green") {
    int presses = 0;
    if (count != 2 || !toCount(tokens[1], 0, 1000, presses)) {
      problem = "image-green needs a number of presses (0 to 1000)";
      return false;
    }
    steps.emplace_back(SetImageGreen{presses});
    return true;
  }
  if (keyword == "spacing") {
    int records = 0;
    if (count != 2 || !toCount(tokens[1], 0, 1000, records)) {
      problem = "spacing needs a number of records (0 to 1000)";
      return false;
    }
    steps.emplace_back(SetSpacing{records});
    return true;
  }
  if (keyword == "reference" || keyword == "touch" || keyword == "relocate" || keyword == "shift") {
    Vec3 v;
    if (count != 4 || !toVec3(tokens, 1, v)) {
      problem = keyword +
                (keyword == "relocate" || keyword == "shift" ? " needs dx dy dz" : " needs x y z");
      return false;
    }
    if (keyword == "reference") {
      steps.emplace_back(SetReference{v});
    } else if (keyword == "touch") {
      steps.emplace_back(Touch{v});
    } else {
      steps.emplace_back(Relocate{v, keyword == "relocate"});
    }
    return true;
  }
  if (keyword == "aim") {
    Aim aim;
    if (count != 9 || !toVec3(tokens, 1, aim.part) || !toVec3(tokens, 4, aim.axis) ||
        !toReal(tokens[7], aim.distance) || !toCount(tokens[8], 1, kMaxCount, aim.records)) {
      problem = "aim needs x y z ax ay az distance records";
      return false;
    }
    steps.emplace_back(aim);
    return true;
  }
  if (keyword == "green" || keyword == "red") {
    Press press;
    press.button = keyword == "green" ? Button::Green : Button::Red;
    bool presses = false;
    bool held = false;
    for (std::size_t i = 1; i < count; ++i) {
      const std::string word = lowerCase(tokens[i]);
      if (!held && word.size() > 1 && word[0] == 'x' &&
          toCount(word.substr(1), 1, kMaxCount, press.held)) {
        held = true;
      } else if (!presses && !held && toCount(word, 1, kMaxCount, press.presses)) {
        presses = true;
      } else {
        problem = keyword + " takes [presses] [x<records held>]";
        return false;
      }
    }
    steps.emplace_back(press);
    return true;
  }
  if (keyword == "rest") {
    Rest rest;
    if (count > 2 || (count == 2 && !toCount(tokens[1], 1, kMaxCount, rest.records))) {
      problem = "rest takes a number of records (1 or more)";
      return false;
    }
    steps.emplace_back(rest);
    return true;
  }
  if (keyword == "serial" || keyword == "firmware" || keyword == "fail" || keyword == "dialog" ||
      keyword == "log" || keyword == "playback" || keyword == "end" || keyword == "live" ||
      keyword == "interrupt") {
    steps.emplace_back(ScenarioLine{line});
    return true;
  }
  problem = "unknown keyword \"" + tokens[0] + "\"";
  return false;
}

}  // namespace

bool parseScenarioDescription(std::istream& in, ScenarioDescription& description,
                              std::string& error) {
  ScenarioDescription result;
  if (!parseStatements(
          in,
          [&](const std::string& line, std::string& problem) {
            return parseStatement(line, result.steps, problem);
          },
          error, &result.lines)) {
    return false;
  }
  description = std::move(result);
  return true;
}

}  // namespace armsim
