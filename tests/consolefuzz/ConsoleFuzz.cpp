// Console fuzzing of the whole program: case generation from a seed, the
// sandbox of a case, and the checks of a finished run.
#include "ConsoleFuzz.h"

#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

#include "ScenarioWriter.h"
#include "platform/profile.h"

namespace fs = std::filesystem;

namespace consolefuzz {
namespace {

// The generator's own random numbers (std::mt19937_64 is the same
// everywhere; the standard distributions are not, so they are not used).
class Rng {
 public:
  explicit Rng(std::uint64_t seed) : engine_(seed) {}
  std::uint64_t next() { return engine_(); }
  // 0 .. n - 1 (n > 0).
  std::size_t below(std::size_t n) { return static_cast<std::size_t>(next() % n); }
  bool chance(unsigned percent) { return below(100) < percent; }
  template <typename T, std::size_t N>
  const T& pick(const T (&items)[N]) {
    return items[below(N)];
  }
  // A position drawn with the given weights.
  std::size_t weighted(const std::vector<unsigned>& weights) {
    unsigned total = 0;
    for (unsigned w : weights) total += w;
    std::size_t at = below(total);
    for (std::size_t i = 0; i < weights.size(); ++i) {
      if (at < weights[i]) return i;
      at -= weights[i];
    }
    return weights.size() - 1;
  }

 private:
  std::mt19937_64 engine_;
};

constexpr const char* kAppData = "profile/Application Data/Kestrel Ward/Velloran 2/";
constexpr const char* kWizard = "profile/Application Data/Kestrel Ward/Velloran 2/vl2_settings/";
constexpr const char* kLegacy = "mnt/c/quads/";

// --- arm scenarios -----------------------------------------------------------

// Three distinct points pressed with green, then a red click, again and
// again; the Faro dialog asks for each of its follow-ups once and the
// hardware dialog answers "not completed" three times. `hold` is how many
// records each press lasts: the region test sees every third record only.
std::string clickLoop(const std::string& playback, int hold) {
  const std::string x = " x" + std::to_string(hold);
  return "playback " + playback +
         "\n"
         "dialog 9 11 12 1011\n"
         "dialog 18 0 0 0\n"
         "record 400 0 200 0 90 0 x3\n"
         "record 400 0 200 0 90 0 green" +
         x +
         "\n"
         "record 400 0 200 0 90 0 x2\n"
         "record 460 10 205 10 80 5 green" +
         x +
         "\n"
         "record 460 10 205 10 80 5 x2\n"
         "record 420 70 215 -10 100 0 green" +
         x +
         "\n"
         "record 420 70 215 -10 100 0 x3\n"
         "record 420 70 215 -10 100 0 red" +
         x +
         "\n"
         "record 400 0 200 0 90 0 x3\n"
         "end loop\n";
}

std::string readSource(const std::string& relative) {
  const std::string path = e2e::sourceDirectory() + "/" + relative;
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// The scenario with long rests and slow moves shortened (a record held at
// most 12 times, a move in at most 15 steps) and a green click after every
// 40 records without one, a red click after every 80: the presses come
// round soon, also to the loops that take one record every 100 ms, so that
// a run's time goes on what the input makes the program do.
std::string shortened(const std::string& scenario) {
  std::istringstream in(scenario);
  std::string out;
  std::size_t sinceGreen = 0;
  std::size_t sinceRed = 0;
  for (std::string line; std::getline(in, line);) {
    std::istringstream words(line);
    std::vector<std::string> tokens;
    for (std::string word; words >> word;) tokens.push_back(word);
    const bool record = !tokens.empty() && tokens[0] == "record" && tokens.size() >= 7;
    const bool move = !tokens.empty() && tokens[0] == "move" && tokens.size() >= 8;
    if (!record && !move) {
      out += line + "\n";
      continue;
    }
    std::size_t count = 1;
    if (record && tokens.back().size() > 1 && tokens.back()[0] == 'x') {
      count = std::min<std::size_t>(std::stoul(tokens.back().substr(1)), 12);
      tokens.back() = "x" + std::to_string(count);
    }
    if (move) {
      count = std::min<std::size_t>(std::stoul(tokens[7]), 15);
      tokens[7] = std::to_string(count);
    }
    for (std::size_t i = 0; i < tokens.size(); ++i) out += (i == 0 ? "" : " ") + tokens[i];
    out += "\n";
    const auto pressed = [&](const char* button) {
      return std::find(tokens.begin(), tokens.end(), button) != tokens.end();
    };
    sinceGreen = pressed("green") ? 0 : sinceGreen + count;
    sinceRed = pressed("red") ? 0 : sinceRed + count;
    const std::string pose = tokens[1] + " " + tokens[2] + " " + tokens[3] + " " + tokens[4] +
                             " " + tokens[5] + " " + tokens[6];
    if (sinceGreen >= 40) {
      out += "record " + pose + " green\nrecord " + pose + "\n";
      sinceGreen = 0;
      sinceRed += 2;
    }
    if (sinceRed >= 80) {
      out += "record " + pose + " red\nrecord " + pose + "\n";
      sinceRed = 0;
      sinceGreen += 2;
    }
  }
  return out;
}

// A description written by the scenario tool.
std::string describedScenario(const std::string& name, const std::string& text) {
  std::istringstream in(text);
  armsim::ScenarioDescription description;
  armsim::GeneratedScenario scenario;
  std::string error;
  if (!armsim::parseScenarioDescription(in, description, error) ||
      !armsim::generateScenario(description, scenario, error)) {
    throw std::runtime_error(name + ": " + error);
  }
  return shortened(scenario.text);
}

// A demo description with more lines at its end (button presses, and "end
// loop" so that it never runs dry).
std::string demoDescriptionLoop(const std::string& name, const std::string& extra) {
  return describedScenario(name + ".desc",
                           readSource("examples/armsim/" + name + ".desc") + "\n" + extra);
}

// The probe over the demo site's Spar web (600 x 120 mm, 2 mm quads), placed
// as its section [PartLocalToArmGlobal111] says: three green clicks as the
// region test's operator-position calibration takes them (a quad, one to its
// right, one above), then a red one.
const char* const kSparClicks =
    "playback deterministic 2\n"
    "placement 0.5 -0.25 90 950 -120 42.5\n"
    "aim 101 41 0 0 0 -1 50 6\n"
    "green x4\nrest\n"
    "aim 241 41 0 0 0 -1 50 6\n"
    "green x4\nrest\n"
    "aim 101 81 0 0 0 -1 50 6\n"
    "green x4\nrest\n"
    "aim 301 61 0 0 0 -1 50 12\n"
    "red x4\nrest\n"
    "end loop\n";

std::vector<ArmScenario> buildScenarios() {
  std::vector<ArmScenario> list;
  list.push_back({"clicks", clickLoop("deterministic 2", 1), StartupPrompt::None});
  list.push_back({"clicks-long", clickLoop("deterministic 2", 4), StartupPrompt::None});
  list.push_back({"clicks-timed", clickLoop("timed 3", 2), StartupPrompt::None});
  // The demo arm (serial P08-11-5150) has no stored psi correction.
  list.push_back({"demo", shortened(readSource("examples/armsim/demo.scenario")),
                  StartupPrompt::PsiWarningKey});
  list.push_back({"calibrate-loop", demoDescriptionLoop("calibrate", "red\nred x4\nend loop\n"),
                  StartupPrompt::None});
  list.push_back({"test-loop", demoDescriptionLoop("test", "green x4\nred\nend loop\n"),
                  StartupPrompt::None});
  // The second arm (P08-12-0042) has no stored psi correction either.
  list.push_back({"relocate-loop", demoDescriptionLoop("relocate", "red\nred x4\nend loop\n"),
                  StartupPrompt::PsiWarningKey});
  list.push_back({"spar-clicks", describedScenario("spar clicks", kSparClicks),
                  StartupPrompt::None});
  list.push_back({"fail-open", "fail open\n", StartupPrompt::FailureQuestion});
  list.push_back({"fail-block", "fail block\nrecord 400 0 200 0 90 0\nend hold\n",
                  StartupPrompt::FailureQuestion});
  return list;
}

// --- console input -------------------------------------------------------------

enum Kind {
  kChoice,
  kBadNumber,
  kReal,
  kSize,
  kYesNo,
  kSerial,
  kFileName,
  kKey,
  kEmpty,
  kControl,
  kRandom,
  kLong,
  kKindCount
};

// How often each kind of answer is given to each entry.
std::vector<unsigned> kindWeights(int entry) {
  //                        Ch Bad Re Sz YN Se Fi Ke Em Co Ra Lo
  std::vector<unsigned> w = {4, 2, 1, 1, 1, 1, 1, 1, 2, 1, 1, 1};
  const auto boost = [&](Kind kind, unsigned by) { w[kind] += by; };
  switch (entry) {
    case 1:  // Test arm: display keys
      boost(kKey, 8);
      break;
    case 2:
    case 3:  // calibrations: part, region, collection, position, sizes
      boost(kChoice, 4);
      boost(kSize, 5);
      boost(kReal, 2);
      break;
    case 4:  // Test region: choices, the probe question, the ball, keys
      boost(kChoice, 4);
      boost(kYesNo, 3);
      boost(kSize, 2);
      boost(kKey, 5);
      break;
    case 5:
    case 6:
    case 7:
    case 12:
      boost(kChoice, 7);
      break;
    case 9:  // Reuse: the y/n question and the old serial
      boost(kYesNo, 4);
      boost(kSerial, 6);
      break;
    case 13:  // Dump: a file name
      boost(kFileName, 7);
      boost(kEmpty, 2);
      break;
    case 0:
    case 8:
    case 14:
      boost(kKey, 2);
      break;
    default:
      break;
  }
  return w;
}

// The answers an entry asks for in order, as an operator who knows it
// would give them (the careful cases follow this plan).
std::vector<Kind> answerPlan(int entry) {
  switch (entry) {
    case 1:
      return {kKey, kKey, kKey};
    case 2:  // part, region, collection, part position, ball, u, v, pitch
      return {kChoice, kChoice, kChoice, kChoice, kSize, kReal, kReal, kReal};
    case 3:  // part, region, ball, u, v, pitch
      return {kChoice, kChoice, kSize, kReal, kReal, kReal};
    case 4:  // part, region, probe question, tool, ball, then keys
      return {kChoice, kChoice, kYesNo, kChoice, kSize, kKey, kKey, kKey};
    case 5:
    case 12:  // part, region
      return {kChoice, kChoice};
    case 6:  // tool
      return {kChoice};
    case 7:  // source part, region, tool, destination part, region
      return {kChoice, kChoice, kChoice, kChoice, kChoice};
    case 9:  // stored points: update?, then the old arm's serial
      return {kYesNo, kSerial, kSerial};
    case 13:
      return {kFileName};
    case 14:
      return {kKey};
    default:
      return {};
  }
}

std::string randomBytes(Rng& rng, std::size_t count, bool printable) {
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    text.push_back(printable ? static_cast<char>(0x20 + rng.below(0x5f))
                             : static_cast<char>(rng.below(256)));
  }
  return text;
}

// One answer, without its line end.
std::string answerText(Kind kind, Rng& rng) {
  static const char* const kBadNumbers[] = {
      "0",          "-1",          "17",         "-2147483648", "2147483648", "4294967295",
      "4294967296", "-4294967297", "18446744073709551615", "18446744073709551616",
      "99999999999999999999999999999999", "00000000000000000000000000000001", "+", "-", "-0",
      "+2",         "1e3",         "0x1f",       "2.5",        "3,",         "１"};
  static const char* const kReals[] = {
      "3",      "6",    "3.0",   "6.000", "-3",   "-6",     "0",     "-0.0",  "1e308",
      "-1e308", "1e309", "1e-320", "nan",  "inf",  "-inf",   "3e0",   "6mm",   "4.5",
      "0.001",  "5000", "4999.9", "5001",  "1e5",  "-5000",  "2147483648.5", ".5", "-.5",
      "0.0000001", "100000000000000000000000000000000000000000000"};
  static const char* const kSizes[] = {"", "3", "6", "3.0", "6.0", "  6", "3 ", "4", "-3",
                                       "0", "3mm", "6\t", "1e308", "nan", "33333333", "6.0000001",
                                       "2", "1", "0.5", "200", "5000", "-1"};
  static const char* const kYesNoAnswers[] = {"y", "n", "Y", "N", "w", "q", "W", "Q", "yes", "no",
                                       "x", "?", "1", " y", "\ty"};
  static const char* const kSerials[] = {"P080301198", "P08081234", "0", "P08-08-1234",
                                         "P080301198 ", " P080301198", "00", "P08125150",
                                         "p080301198", "P0803011980"};
  static const char* const kFileNames[] = {"dump.txt", "listing", "a b", "-x.txt", "+y",
                                           ".dot", "DUMP.TXT", "dump.txt\t", "nul", "con",
                                           "*.txt", "?", "dump.txt dump2.txt", "\xc3\xa9.txt",
                                           "..", "."};
  static const char* const kKeys[] = {"o", "p", "x", "y", "z", "a", "1", "2", "3", "4",
                                      "5", "6", "c", "s", "e", "C", "S", "E", "q", " ",
                                      "\x1b", "\t", "\x7f", "\x03", "\x04", "\x1a", "NUL"};
  switch (kind) {
    case kChoice: {
      const std::string n = std::to_string(1 + rng.below(rng.chance(80) ? 3 : 9));
      switch (rng.below(8)) {
        case 0:
          return " " + n;
        case 1:
          return "00" + n;
        case 2:
          return n + "  ";
        case 3:
          return n + " " + std::to_string(1 + rng.below(4));
        default:
          return n;
      }
    }
    case kBadNumber:
      return rng.pick(kBadNumbers);
    case kReal:
      return rng.pick(kReals);
    case kSize:
      return rng.pick(kSizes);
    case kYesNo:
      return rng.pick(kYesNoAnswers);
    case kSerial:
      if (rng.chance(20)) return randomBytes(rng, 1 + rng.below(80), true);
      return rng.pick(kSerials);
    case kFileName:
      if (rng.chance(15)) return std::string(240 + rng.below(40), 'f') + ".txt";
      return rng.pick(kFileNames);
    case kKey: {
      // Several keys typed one after the other, no line end of their own.
      std::string keys;
      const std::size_t count = 1 + rng.below(4);
      for (std::size_t i = 0; i < count; ++i) {
        const std::size_t at = rng.below(std::size(kKeys));
        keys += at + 1 == std::size(kKeys) ? std::string(1, '\0') : std::string(kKeys[at]);
      }
      return keys;
    }
    case kEmpty:
      return "";
    case kControl: {
      std::string text;
      const std::size_t count = 1 + rng.below(8);
      for (std::size_t i = 0; i < count; ++i) {
        const std::size_t c = rng.below(33);
        text.push_back(c == 32 ? '\x7f' : static_cast<char>(c));
      }
      return text;
    }
    case kRandom:
      return randomBytes(rng, 1 + rng.below(64), rng.chance(30));
    case kLong: {
      const std::size_t length = rng.chance(70) ? 1000 + rng.below(9000) : 10000 + rng.below(190000);
      switch (rng.below(5)) {
        case 0:
          return std::string(length, '9');
        case 1:
          return std::string(length, 'a');
        case 2:
          return std::string(length, ' ') + "3";
        case 3:
          return "-" + std::string(length, '1');
        default:
          return randomBytes(rng, length, true);
      }
    }
    default:
      return "";
  }
}

std::string lineEnd(Rng& rng, Kind kind) {
  if (kind == kKey) return rng.chance(80) ? "" : "\n";
  const std::size_t roll = rng.below(100);
  if (roll < 75) return "\n";
  if (roll < 90) return "\r\n";
  if (roll < 93) return "\r";
  return "";
}

// Path separators and drive colons never reach the program: a file name
// typed at the dump prompt could otherwise name a file outside the sandbox.
void keepInSandbox(std::string& text) {
  for (char& c : text) {
    if (c == '/' || c == '\\' || c == ':') c = '_';
  }
}

std::string menuChoiceText(int entry, Rng& rng) {
  const std::string n = std::to_string(entry + 1);
  switch (rng.below(6)) {
    case 0:
      return " " + n + "\n";
    case 1:
      return "0" + n + "\n";
    case 2:
      return n + "\r\n";
    default:
      return n + "\n";
  }
}

std::size_t pickScenario(int entry, Rng& rng) {
  if (rng.chance(12)) return scenarioIndex(rng.chance(50) ? "fail-open" : "fail-block");
  // clicks, clicks-long, clicks-timed, demo, calibrate-loop, test-loop, relocate-loop,
  // spar-clicks
  std::vector<unsigned> weights = {4, 2, 2, 1, 2, 2, 2, 1};
  if (entry == 2 || entry == 3) weights = {4, 1, 2, 1, 5, 1, 1, 1};
  if (entry == 4) weights = {1, 3, 1, 1, 1, 3, 1, 5};
  if (entry == 9) weights = {3, 1, 1, 1, 1, 1, 5, 1};
  return rng.weighted(weights);
}

// --- files -----------------------------------------------------------------------

std::string lowerExtension(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

bool isSettingsExtension(const std::string& ext) {
  return ext == "ini" || ext == "qini" || ext == "tini" || ext == "gini" || ext == "oldqini";
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

// The components of a path below prefix ("a/b/c" -> 3), 0 when it is not below.
std::size_t depthBelow(const std::string& path, const std::string& prefix) {
  if (!startsWith(path, prefix)) return 0;
  std::string rest = path.substr(prefix.size());
  if (!rest.empty() && rest.back() == '/') rest.pop_back();
  if (rest.empty()) return 0;
  return static_cast<std::size_t>(std::count(rest.begin(), rest.end(), '/')) + 1;
}

// A file directly in a region directory of the wizard tree
// (parts/<part>/<region>/<file>).
bool isRegionFile(const Change& change, const std::string& ext) {
  return change.path.back() != '/' && depthBelow(change.path, std::string(kWizard) + "parts/") == 3 &&
         lowerExtension(change.path) == ext;
}

bool isLegacyFile(const Change& change, const std::string& ext) {
  return change.path.back() != '/' && startsWith(change.path, kLegacy) &&
         lowerExtension(change.path) == ext;
}

// The directory of a changed path (for a directory entry: its parent).
std::string directoryOfChange(const std::string& path) {
  std::string p = path;
  if (!p.empty() && p.back() == '/') p.pop_back();
  const std::size_t slash = p.rfind('/');
  return slash == std::string::npos ? std::string() : p.substr(0, slash);
}

// Section name -> key names, read through the profile reader.
using SectionKeys = std::map<std::string, std::set<std::string>>;

std::vector<std::string> nameList(const char* section, const std::string& file,
                                  std::uint32_t size) {
  std::vector<char> buffer(size);
  const std::uint32_t n =
      platform::getProfileString(section, nullptr, "", buffer.data(), size, file.c_str());
  std::vector<std::string> names;
  for (std::uint32_t at = 0; at < n && buffer[at] != '\0';) {
    const std::string name(buffer.data() + at);
    names.push_back(name);
    at += static_cast<std::uint32_t>(name.size()) + 1;
  }
  return names;
}

// Reads every section, key and value of a settings file; empty when it
// cannot be read, with the reason in `problem`.
SectionKeys readSettings(const std::string& file, std::string& problem) {
  SectionKeys result;
  std::error_code ec;
  if (!fs::is_regular_file(file, ec)) {
    problem = "not a regular file";
    return result;
  }
  std::ifstream in(file, std::ios::binary);
  if (!in) {
    problem = "cannot be opened";
    return result;
  }
  const auto fileSize = fs::file_size(file, ec);
  // Names are parts of the text, so a buffer larger than the file holds
  // every list; a list reported as cut off means the reader went wrong.
  const std::uint32_t size = static_cast<std::uint32_t>(ec ? 1 << 20 : fileSize + 64);
  for (const std::string& section : nameList(nullptr, file, size)) {
    std::set<std::string>& keys = result[section];
    // Empty names cannot be passed back to the reader.
    if (section.empty() || section.find_first_not_of(' ') == std::string::npos) continue;
    for (const std::string& key : nameList(section.c_str(), file, size)) {
      keys.insert(key);
      if (key.empty() || key.find_first_not_of(' ') == std::string::npos) continue;
      std::vector<char> value(size);
      static const char* const kAbsent = "\x01" "absent" "\x01";
      platform::getProfileString(section.c_str(), key.c_str(), kAbsent, value.data(), size,
                                 file.c_str());
      if (std::string(value.data()) == kAbsent) {
        problem = "key " + key + " of [" + section + "] is listed but cannot be read";
      }
    }
  }
  return result;
}

void walk(const std::string& root, const std::string& prefix, Snapshot& snapshot) {
  std::error_code ec;
  if (!fs::is_directory(root, ec)) return;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string relative = prefix + fs::relative(it->path(), root, ec).generic_string();
    if (it->is_symlink(ec)) {
      snapshot[relative] = "<link>";
    } else if (it->is_directory(ec)) {
      snapshot[relative + "/"] = "";
    } else {
      snapshot[relative] = testsupport::readFile(it->path().string());
    }
  }
}

void replaceAll(std::string& text, const std::string& from, const std::string& to) {
  for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
}

// The folder beside the profile that holds files no operation may touch.
constexpr const char* kOutside = "outside";

void prepareSite(e2e::Sandbox& sandbox, const SiteVariant& site) {
  sandbox.useDemoSite();
  const std::string parts = sandbox.wizardDirectory() + "/parts";
  if (site.askSizes) {
    const std::string skin = parts + "/01_Wing/02_Skin/Skin.qini";
    std::string text = testsupport::readFile(skin);
    for (const char* key : {"USizemm=400", "VSizemm=250", "Pitchmm=2"}) {
      const std::string line = key;
      replaceAll(text, line + "\r\n", "");
      replaceAll(text, line + "\n", "");
    }
    testsupport::writeFile(skin, text);
  }
  if (site.backups) {
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(parts, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
      if (lowerExtension(it->path().generic_string()) != "qini") continue;
      fs::path backup = it->path();
      backup.replace_extension(".oldqini");
      testsupport::writeFile(backup.string(), testsupport::readFile(it->path().string()) +
                                                  "\r\n; calibrations before the arm moved\r\n");
    }
  }
  // Settings and backups outside the tree, and a directory of the tree whose
  // name, read with "\" as a separator, leads to them: no operation may
  // change them (runCase compares them before and after).
  const std::string outside = sandbox.path(kOutside);
  fs::create_directories(outside);
  testsupport::writeFile(outside + "/Victim.qini",
                         "[QuadFile1]\r\nName=Victim.quads\r\nCollectionIndex=1\r\n"
                         "[PartLocalToArmGlobal111]\r\nRotationOriginX=0\r\nRotationOriginY=0\r\n"
                         "RotationOriginZ=0\r\nRotationAngleX=0\r\nRotationAngleY=0\r\n"
                         "RotationAngleZ=0\r\nTranslationX=1\r\nTranslationY=2\r\n"
                         "TranslationZ=3\r\n");
  testsupport::writeFile(outside + "/Victim.oldqini", "[Region]\r\nName=outside backup\r\n");
  if (fs::is_directory(parts)) {
    fs::create_directories(parts + "/..\\..\\..\\..\\..\\..\\" + kOutside);
  }
  if (site.noWizardTree) fs::remove_all(sandbox.wizardDirectory());
  if (site.legacyTree) {
    fs::create_directories(sandbox.legacyDirectory());
    fs::copy(e2e::sourceDirectory() + "/examples/legacy-quads/quads", sandbox.legacyDirectory(),
             fs::copy_options::recursive | fs::copy_options::overwrite_existing);
  }
}

bool isSanitizerReport(const std::string& errorOutput) {
  for (const char* mark : {"AddressSanitizer", "LeakSanitizer", "UndefinedBehaviorSanitizer",
                           "runtime error:", "SUMMARY: "}) {
    if (errorOutput.find(mark) != std::string::npos) return true;
  }
  return false;
}

std::string tail(const std::string& text, std::size_t count) {
  return text.size() <= count ? text : "..." + text.substr(text.size() - count);
}

}  // namespace

// --- public ------------------------------------------------------------------------

std::string entryName(int entry) {
  return entry >= 0 && entry < 16 ? e2e::kMainMenuEntries[entry] : "?";
}

const std::vector<ArmScenario>& armScenarios() {
  static const std::vector<ArmScenario> list = buildScenarios();
  return list;
}

std::size_t scenarioIndex(const std::string& name) {
  const auto& list = armScenarios();
  for (std::size_t i = 0; i < list.size(); ++i) {
    if (list[i].name == name) return i;
  }
  throw std::invalid_argument("no scenario " + name);
}

std::string FuzzCase::input() const {
  std::string text;
  for (const e2e::InputStep& step : steps) text += step.input;
  return text;
}

std::string FuzzCase::describe() const {
  std::ostringstream out;
  out << "seed " << seed << ": entry " << entry + 1 << " (" << entryName(entry) << "), scenario "
      << armScenarios()[scenario].name << ", site" << (site.noWizardTree ? " -wizard" : "")
      << (site.legacyTree ? " +legacy" : "")
      << (site.askSizes ? " +ask-sizes" : "") << (site.backups ? " +backups" : "")
      << (site.ctrlHeld ? " +ctrl" : "")
      << (site == SiteVariant{} ? " as shipped" : "") << "\n";
  for (const e2e::InputStep& step : steps) {
    out << "  after " << step.delay.count() << " ms, " << step.input.size()
        << " bytes: " << e2e::visible(step.input.size() > 300 ? step.input.substr(0, 300) + "..."
                                                               : step.input)
        << "\n";
  }
  return out.str();
}

std::string startupAnswers(const ArmScenario& scenario, const SiteVariant& site) {
  std::string text;
  switch (scenario.startup) {
    case StartupPrompt::None:
      break;
    case StartupPrompt::PsiWarningKey:
      text += "k";
      break;
    case StartupPrompt::FailureQuestion:
      text += "y\n";
      break;
  }
  // The arm information is shown only when the arm opened.
  if (site.ctrlHeld && scenario.startup != StartupPrompt::FailureQuestion) text += "i";
  // The mode question comes only when both trees are there.
  return text + (site.legacyTree && !site.noWizardTree ? "w\n" : "");
}

FuzzCase generateCase(std::uint64_t seed, int entryOverride) {
  Rng rng(seed);
  FuzzCase fuzzCase;
  fuzzCase.seed = seed;
  fuzzCase.entry = entryOverride >= 0 ? entryOverride : static_cast<int>(seed % 16);
  const int entry = fuzzCase.entry;
  fuzzCase.scenario = pickScenario(entry, rng);
  fuzzCase.site.noWizardTree = rng.chance(5);
  fuzzCase.site.legacyTree = e2e::driveIsolationAvailable() && rng.chance(20);
  fuzzCase.site.askSizes = rng.chance(30);
  fuzzCase.site.backups = rng.chance(entry == 10 || entry == 11 ? 70 : 30);

  fuzzCase.site.ctrlHeld = rng.chance(10);

  std::string head = startupAnswers(armScenarios()[fuzzCase.scenario], fuzzCase.site);
  if (fuzzCase.site.legacyTree && !fuzzCase.site.noWizardTree && rng.chance(50)) {
    head[head.size() - 2] = 'q';
  }
  // Questions answered wrongly first: letters none of them takes, and no
  // digit, so that the menu still gets the entry's number first.
  if (rng.chance(25)) {
    static const char kRefused[] = "abcdefghijklmoprstuvxzABCDEFGHIJKLMOPRSTUVXZ.,;!?-+ \t";
    std::string refused;
    for (std::size_t i = 0, n = 1 + rng.below(12); i < n; ++i) {
      refused.push_back(kRefused[rng.below(sizeof kRefused - 1)]);
    }
    refused += rng.chance(50) ? "\n" : "";
    // Before the answer to the start-up question, or before the menu's.
    const StartupPrompt startup = armScenarios()[fuzzCase.scenario].startup;
    if (startup == StartupPrompt::FailureQuestion && rng.chance(50)) {
      head.insert(0, refused);
    } else {
      head += refused;
    }
  }
  head += menuChoiceText(entry, rng);

  // Careful cases answer mostly as the entry expects, so that they get far
  // into it; the others mix in anything.
  const bool careful = rng.chance(50);
  std::vector<unsigned> weights = kindWeights(entry);
  if (careful) {
    for (Kind kind : {kBadNumber, kControl, kRandom, kLong}) weights[kind] = 0;
  }
  std::vector<Kind> kinds;
  if (careful) {
    // The entry's own answers, a few more of any kind sometimes in between.
    for (Kind kind : answerPlan(entry)) {
      if (rng.chance(10)) kinds.push_back(static_cast<Kind>(rng.weighted(weights)));
      kinds.push_back(kind);
    }
  }
  std::size_t extra = rng.below(careful ? 4 : 14);
  if (rng.chance(15)) extra += rng.below(30);
  for (std::size_t i = 0; i < extra; ++i) kinds.push_back(static_cast<Kind>(rng.weighted(weights)));
  std::string body;
  for (const Kind kind : kinds) {
    std::string answer = answerText(kind, rng);
    // The region test's operator-position calibration starts with 'o'.
    if (careful && entry == 4 && kind == kKey && rng.chance(50)) answer.insert(0, "o");
    // Now and then an answer is spoilt: a stray byte, blanks around it, or
    // given twice.
    if (rng.chance(careful ? 4 : 15)) {
      switch (rng.below(4)) {
        case 0:
          answer.insert(rng.below(answer.size() + 1), 1, static_cast<char>(rng.below(256)));
          break;
        case 1:
          answer = "\t " + answer + " \t";
          break;
        case 2:
          answer += " " + answer;
          break;
        default:
          answer += randomBytes(rng, 1 + rng.below(6), false);
          break;
      }
    }
    body += answer + lineEnd(rng, kind);
  }
  const bool truncated = rng.chance(careful ? 35 : 50) && !body.empty();
  if (truncated) body.resize(rng.below(body.size()) + 1);
  if (!truncated && rng.chance(25)) body += rng.chance(50) ? "\n16\n" : " 16\n";
  keepInSandbox(body);

  // The input comes in one piece, or in pieces with pauses between them, so
  // that the program also meets an open but empty input and goes on when
  // more comes. A long pause (often before the end of the input) leaves the
  // operation time to work with the arm, which goes on pressing its buttons.
  static const int kDelays[] = {0, 0, 30, 100, 300, 600};
  std::map<std::size_t, int> cuts;  // position in body -> pause before it
  if (rng.chance(12) && body.size() > 1) {
    // Typed: a few bytes at a time, a few milliseconds apart.
    for (std::size_t at = 1 + rng.below(8); at < body.size() && cuts.size() < 300;
         at += 1 + rng.below(8)) {
      cuts[at] = static_cast<int>(rng.below(25));
    }
  } else if (rng.chance(50) && body.size() > 1) {
    const std::size_t pieces = 1 + rng.below(3);
    for (std::size_t i = 0; i < pieces; ++i) {
      cuts[1 + rng.below(body.size() - 1)] = rng.pick(kDelays);
    }
  }
  if (rng.chance(70)) {
    const std::size_t at = rng.chance(50) ? body.size() : rng.below(body.size() + 1);
    cuts[at] = 800 + static_cast<int>(rng.below(4200));
  }
  std::size_t from = 0;
  fuzzCase.steps.push_back({"", std::chrono::milliseconds(0), head});
  for (const auto& [cut, delay] : cuts) {
    fuzzCase.steps.back().input += body.substr(from, cut - from);
    from = cut;
    fuzzCase.steps.push_back({"", std::chrono::milliseconds(delay), ""});
  }
  fuzzCase.steps.back().input += body.substr(from);
  return fuzzCase;
}

Snapshot takeSnapshot(const e2e::Sandbox& sandbox) {
  Snapshot snapshot;
  walk(sandbox.profileDirectory(), "profile/", snapshot);
  walk(sandbox.path("mnt"), "mnt/", snapshot);
  return snapshot;
}

std::vector<Change> compareSnapshots(const Snapshot& before, const Snapshot& after) {
  std::vector<Change> changes;
  for (const auto& [path, content] : before) {
    const auto found = after.find(path);
    if (found == after.end()) {
      changes.push_back({path, ChangeKind::Removed});
    } else if (found->second != content) {
      changes.push_back({path, ChangeKind::Modified});
    }
  }
  for (const auto& [path, content] : after) {
    if (before.count(path) == 0) changes.push_back({path, ChangeKind::Added});
  }
  return changes;
}

bool changeAllowed(int entry, const Change& change) {
  const bool modified = change.kind == ChangeKind::Modified;
  const bool added = change.kind == ChangeKind::Added;
  const bool removed = change.kind == ChangeKind::Removed;
  const std::string armFile = std::string(kAppData) + "WinVLPosetta.ini";
  // The calibration journal gets rows from every operation that writes
  // sections or moves backups.
  const bool journal =
      (added || modified) && change.path == std::string(kAppData) + "ZorvPosetta-journal.csv";
  if (journal && (entry == 2 || entry == 3 || (entry >= 9 && entry <= 11))) return true;
  switch (entry) {
    case 2:
    case 3:  // the chosen region's settings and the quad files generated for it
      return (modified || added) && (isRegionFile(change, "qini") || isRegionFile(change, "quads") ||
                                     isLegacyFile(change, "ini") || isLegacyFile(change, "quads"));
    case 4:  // the operator-position calibration's flags
      return modified && (isRegionFile(change, "qini") || isLegacyFile(change, "ini"));
    case 7: {  // a new tool directory of a region with the tool's two files
      const std::size_t depth = depthBelow(change.path, std::string(kWizard) + "parts/");
      if (!added) return false;
      if (change.path.back() == '/') return depth == 3;
      const std::string ext = lowerExtension(change.path);
      return depth == 4 && (ext == "vl2" || ext == "ini");
    }
    case 8:  // the psi correction
      return modified && change.path == armFile;
    case 9:  // the arm's points, every region refitted, each backed up first
      return (modified && change.path == armFile) || (modified && isRegionFile(change, "qini")) ||
             ((added || modified) && isRegionFile(change, "oldqini"));
    case 10:  // the backups restored
      return ((modified || added) && isRegionFile(change, "qini")) ||
             (removed && isRegionFile(change, "oldqini"));
    case 11:  // the backups deleted
      return removed && isRegionFile(change, "oldqini");
    default:
      return false;
  }
}

int operationsStarted(const std::string& output) {
  static const std::string kHeading = "\nChoose function:\n";
  static const std::string kPrompt = "Please enter value 1..16: ";
  const std::size_t screens = e2e::countOccurrences(output, kHeading);
  if (screens == 0) return 0;
  // After the last menu: its prompt, repeated for every refused answer, and
  // then either nothing more (Exit), the end-of-input line, or an operation.
  std::size_t at = output.rfind(kHeading) + kHeading.size();
  const std::size_t prompt = output.find(kPrompt, at);
  if (prompt == std::string::npos) return static_cast<int>(screens) - 1;
  at = prompt;
  while (output.compare(at, kPrompt.size(), kPrompt) == 0) at += kPrompt.size();
  const std::string rest = output.substr(at);
  const bool idle = rest.empty() || rest == "\nConsole input ended.\n";
  return static_cast<int>(screens) - (idle ? 1 : 0);
}

std::vector<std::string> unreadableSettingsFiles(const std::string& root) {
  std::vector<std::string> problems;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string path = it->path().string();
    if (!isSettingsExtension(lowerExtension(it->path().generic_string()))) continue;
    if (it->is_directory(ec) && !it->is_symlink(ec)) {
      problems.push_back(path + ": a directory in place of a settings file");
      continue;
    }
    std::string problem;
    readSettings(path, problem);
    if (!problem.empty()) problems.push_back(path + ": " + problem);
  }
  return problems;
}

std::vector<std::string> temporaryFiles(const std::string& root) {
  std::vector<std::string> found;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    const std::string name = it->path().filename().string();
    std::string lower = name;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower.find(".tmp") != std::string::npos) found.push_back(it->path().string());
  }
  return found;
}

Verdict runCase(const FuzzCase& fuzzCase, std::chrono::milliseconds timeout) {
  e2e::Sandbox sandbox;
  prepareSite(sandbox, fuzzCase.site);
  sandbox.setArmScenario(armScenarios()[fuzzCase.scenario].text);
  if (fuzzCase.site.ctrlHeld) sandbox.setEnvironment("ZORV_TEST_CTRL_HELD", "1");
  // An editor that changes nothing and a viewer that shows nothing.
  sandbox.setEnvironment("VISUAL", "true");
  const std::string bin = sandbox.path("viewer-bin");
  fs::create_directories(bin);
  testsupport::writeFile(bin + "/xdg-open", "#!/bin/sh\nexit 0\n");
  ::chmod((bin + "/xdg-open").c_str(), 0755);
  const char* path = std::getenv("PATH");
  sandbox.setEnvironment("PATH", bin + ":" + (path != nullptr ? path : "/usr/bin:/bin"));

  const Snapshot before = takeSnapshot(sandbox);
  Snapshot outsideBefore;
  walk(sandbox.path(kOutside), std::string(kOutside) + "/", outsideBefore);
  Verdict verdict;
  verdict.run = sandbox.run(fuzzCase.steps, timeout);
  const e2e::RunResult& run = verdict.run;
  if (run.timedOut) {
    verdict.hung = true;
    verdict.problems.push_back("still running after " +
                               std::to_string(timeout.count() / 1000.0).substr(0, 5) +
                               " s: killed");
  } else if (run.exitStatus != 0 && run.exitStatus != 2) {
    verdict.crashed = true;
    verdict.problems.push_back(run.exitStatus < 0 ? "ended by a signal"
                                                  : "exit status " + std::to_string(run.exitStatus));
  }
  if (isSanitizerReport(run.errorOutput)) {
    verdict.crashed = true;
    verdict.problems.push_back("sanitizer report on standard error");
  }

  // The menu loop's last resort: an operation let an exception out. "Quad
  // mesh info" leaves a quad file it cannot read to the geometry library,
  // whose exception ends it: that one is expected.
  for (std::size_t at = run.output.find("\nOperation failed: "); at != std::string::npos;
       at = run.output.find("\nOperation failed: ", at + 1)) {
    const std::string line = run.output.substr(at + 1, run.output.find('\n', at + 1) - at - 1);
    if (line.rfind("Operation failed: Quad file ", 0) == 0) continue;
    verdict.escaped = true;
    verdict.problems.push_back(line);
  }

  verdict.operations = operationsStarted(run.output);
  const Snapshot after = takeSnapshot(sandbox);
  const std::vector<Change> changes = compareSnapshots(before, after);
  // With one operation run it is the chosen entry; with more the rest of the
  // input chose others, which may have been any.
  std::set<std::string> directories;
  for (const Change& change : changes) {
    bool allowed = false;
    if (verdict.operations == 1) {
      allowed = changeAllowed(fuzzCase.entry, change);
      if (allowed) directories.insert(directoryOfChange(change.path));
    } else if (verdict.operations > 1) {
      for (int entry = 0; entry < 16 && !allowed; ++entry) allowed = changeAllowed(entry, change);
    }
    if (!allowed) {
      verdict.corrupted = true;
      static const char* const kKinds[] = {"modified", "added", "removed"};
      verdict.problems.push_back(std::string(kKinds[static_cast<int>(change.kind)]) +
                                 " without reason: " + change.path);
    }
    // A settings file that was written keeps every section and key it had
    // (only a restored backup replaces a file wholesale).
    if (change.kind == ChangeKind::Modified && isSettingsExtension(lowerExtension(change.path)) &&
        run.output.find("Created file: ") == std::string::npos) {
      std::string problem;
      const SectionKeys now = readSettings(sandbox.path(change.path), problem);
      testsupport::TempDir scratch;
      const std::string old = scratch.path() + "/before." + lowerExtension(change.path);
      testsupport::writeFile(old, before.at(change.path));
      const SectionKeys then = readSettings(old, problem);
      for (const auto& [section, keys] : then) {
        const auto found = now.find(section);
        for (const std::string& key : keys) {
          if (found == now.end() || found->second.count(key) == 0) {
            verdict.corrupted = true;
            verdict.problems.push_back(change.path + " lost [" + section + "] " + key);
          }
        }
      }
    }
  }
  // One operation works in one directory: one region (or one new tool
  // directory of one region, or the arm's file alone).
  if (verdict.operations == 1 && fuzzCase.entry != 9 && fuzzCase.entry != 10 &&
      fuzzCase.entry != 11) {
    std::set<std::string> regions;
    for (const std::string& dir : directories) {
      regions.insert(fuzzCase.entry == 7 && depthBelow(dir, std::string(kWizard) + "parts/") == 3
                         ? directoryOfChange(dir)
                         : dir);
    }
    if (regions.size() > 1) {
      verdict.corrupted = true;
      verdict.problems.push_back("changes in " + std::to_string(regions.size()) +
                                 " directories by one operation");
    }
  }
  if (fuzzCase.entry == 7 && verdict.operations == 1) {
    for (const Change& change : changes) {
      if (change.kind != ChangeKind::Added || change.path.back() != '/') continue;
      const bool holdsFiles = std::any_of(after.begin(), after.end(), [&](const auto& entry) {
        return entry.first.size() > change.path.size() && startsWith(entry.first, change.path);
      });
      if (!holdsFiles) {
        verdict.corrupted = true;
        verdict.problems.push_back("empty tool directory left: " + change.path);
      }
    }
  }

  // Nothing outside the settings trees may change.
  Snapshot outsideAfter;
  walk(sandbox.path(kOutside), std::string(kOutside) + "/", outsideAfter);
  for (const Change& change : compareSnapshots(outsideBefore, outsideAfter)) {
    verdict.corrupted = true;
    verdict.problems.push_back("changed outside the settings tree: " + change.path);
  }

  for (const std::string& root : {sandbox.profileDirectory(), sandbox.path("mnt")}) {
    for (const std::string& problem : unreadableSettingsFiles(root)) {
      verdict.unreadable = true;
      verdict.problems.push_back("unreadable settings: " + problem);
    }
    for (const std::string& file : temporaryFiles(root)) {
      verdict.corrupted = true;
      verdict.problems.push_back("temporary file left: " + file);
    }
  }
  return verdict;
}

std::string saveFailure(const std::string& directory, const FuzzCase& fuzzCase,
                        const Verdict& verdict) {
  fs::create_directories(directory);
  const std::string stem = directory + "/seed-" + std::to_string(fuzzCase.seed);
  testsupport::writeFile(stem + ".input", fuzzCase.input());
  std::ostringstream text;
  text << fuzzCase.describe() << "\nProblems:\n";
  for (const std::string& problem : verdict.problems) text << "  " << problem << "\n";
  text << "\nExit status " << verdict.run.exitStatus << (verdict.run.timedOut ? " (killed)" : "")
       << ", operations started " << verdict.operations << "\n\nStandard error:\n"
       << verdict.run.errorOutput.substr(0, 20000) << "\n\nEnd of standard output:\n"
       << e2e::visible(tail(verdict.run.output, 6000)) << "\n";
  testsupport::writeFile(stem + ".txt", text.str());
  return stem + ".txt";
}

}  // namespace consolefuzz
