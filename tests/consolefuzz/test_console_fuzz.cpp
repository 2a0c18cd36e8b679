// Console fuzzing of ZorvPosetta: random and cut-off console input to every
// main menu entry on the demo site with the virtual arm (see ConsoleFuzz.h).
//
//   ZORV_CONSOLE_FUZZ_RUNS     number of cases (default 16: each entry once)
//   ZORV_CONSOLE_FUZZ_SEED     seed of the first case (default 1); case i has
//                              seed + i, so a failing seed replays alone with
//                              RUNS=1 SEED=<seed>
//   ZORV_CONSOLE_FUZZ_TIMEOUT  seconds one run may take (default 60)
//   ZORV_CONSOLE_FUZZ_ENTRY    1..16: every case chooses that entry
//   ZORV_CONSOLE_FUZZ_OUT      where failing cases are saved (default
//                              <build>/console-fuzz-failures)
//   ZORV_CONSOLE_FUZZ_VERBOSE  1: a line for every case; 2: its output too
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <algorithm>
#include <map>
#include <sstream>
#include <vector>
#include <string>

#include <gtest/gtest.h>

#include "ConsoleFuzz.h"

namespace {

using consolefuzz::Change;
using consolefuzz::ChangeKind;
using consolefuzz::FuzzCase;
using consolefuzz::Verdict;

std::uint64_t environmentNumber(const char* name, std::uint64_t fallback) {
  const char* text = std::getenv(name);
  if (text == nullptr || *text == '\0') return fallback;
  return std::strtoull(text, nullptr, 10);
}

std::string failureDirectory() {
  if (const char* dir = std::getenv("ZORV_CONSOLE_FUZZ_OUT"); dir != nullptr && *dir != '\0') {
    return dir;
  }
  return e2e::binaryDirectory() + "/../console-fuzz-failures";
}

std::chrono::milliseconds runTimeout() {
  return std::chrono::seconds(environmentNumber("ZORV_CONSOLE_FUZZ_TIMEOUT", 60));
}

std::string problemsOf(const Verdict& verdict) {
  std::string text;
  for (const std::string& problem : verdict.problems) text += "\n  " + problem;
  return text;
}

// Texts that show how far the cases got, counted over all cases.
const char* const kMilestones[] = {
    "Entering arm testing mode",       "Ball probe of ",
    "Please enter u extents",          "saved successfully",
    "Calibration convergence",         "Successfully written section",
    "Extending calibrations",          "Loading .quads files",
    "changed.",                        "Delta psi of",
    "Processing file:",                "Created file:",
    "Deleted file:",                   "Successfully added tool",
    "Collection 1:",                   "Please enter text file name",
    "Hardware config dialog not completed",
};

TEST(ConsoleFuzz, RandomInputToEveryMenuEntry) {
  const std::uint64_t runs = environmentNumber("ZORV_CONSOLE_FUZZ_RUNS", 16);
  const std::uint64_t firstSeed = environmentNumber("ZORV_CONSOLE_FUZZ_SEED", 1);
  const int entry = static_cast<int>(environmentNumber("ZORV_CONSOLE_FUZZ_ENTRY", 0)) - 1;
  const auto timeout = runTimeout();
  const std::uint64_t verbose = environmentNumber("ZORV_CONSOLE_FUZZ_VERBOSE", 0);
  const auto started = std::chrono::steady_clock::now();

  int crashes = 0, hangs = 0, unreadable = 0, corrupted = 0, escaped = 0, failed = 0;
  std::map<int, int> statuses;
  std::map<int, int> operations;
  std::map<std::string, int> reached;
  double slowest = 0.0;
  std::uint64_t slowestSeed = 0;
  for (std::uint64_t i = 0; i < runs; ++i) {
    const FuzzCase fuzzCase = consolefuzz::generateCase(firstSeed + i, entry);
    const auto runStart = std::chrono::steady_clock::now();
    Verdict verdict;
    try {
      verdict = consolefuzz::runCase(fuzzCase, timeout);
    } catch (const std::exception& e) {
      ++failed;
      ADD_FAILURE() << "console fuzz: seed " << fuzzCase.seed << " could not be run: " << e.what();
      continue;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - runStart).count();
    if (seconds > slowest) {
      slowest = seconds;
      slowestSeed = fuzzCase.seed;
    }
    if (verbose > 0) {
      const std::string description = fuzzCase.describe();
      std::cout << description.substr(0, description.find('\n')) << ": status "
                << verdict.run.exitStatus << ", " << verdict.operations << " operations, "
                << seconds << " s\n";
      if (verbose > 1) std::cout << e2e::visible(verdict.run.output) << "\n";
    }
    for (const char* milestone : kMilestones) {
      reached[milestone] += verdict.run.output.find(milestone) != std::string::npos;
    }
    ++statuses[verdict.run.exitStatus];
    ++operations[std::min(verdict.operations, 3)];
    crashes += verdict.crashed;
    hangs += verdict.hung;
    unreadable += verdict.unreadable;
    corrupted += verdict.corrupted;
    escaped += verdict.escaped;
    if (verdict.passed()) continue;
    ++failed;
    const std::string saved = consolefuzz::saveFailure(failureDirectory(), fuzzCase, verdict);
    ADD_FAILURE() << "console fuzz: seed " << fuzzCase.seed << " failed (replay: "
                  << "scripts/console-fuzz --seed " << fuzzCase.seed << " --runs 1)"
                  << problemsOf(verdict) << "\n"
                  << fuzzCase.describe() << "saved: " << saved;
  }

  const double total =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  std::cout << "console fuzz: " << runs << " runs, seeds " << firstSeed << ".."
            << firstSeed + runs - 1 << ", " << total << " s (slowest " << slowest << " s, seed "
            << slowestSeed << ")\n";
  std::cout << "console fuzz: " << failed << " failed: " << crashes << " crashes, " << hangs
            << " hangs, " << unreadable << " with unreadable settings, " << corrupted
            << " with temporary files or changes without reason, " << escaped
            << " with an operation ended by an exception\n";
  std::cout << "console fuzz: exit statuses";
  for (const auto& [status, count] : statuses) std::cout << " " << status << ":" << count;
  std::cout << "; operations started";
  for (const auto& [count, cases] : operations) {
    std::cout << " " << count << (count == 3 ? "+" : "") << ":" << cases;
  }
  std::cout << "\nconsole fuzz: cases reaching";
  for (const char* milestone : kMilestones) {
    std::cout << " \"" << milestone << "\":" << reached[milestone];
  }
  std::cout << "\n";
}

// --- the checks themselves -------------------------------------------------------

TEST(ConsoleFuzzChecks, OperationsStartedAreCountedFromTheMenus) {
  const std::string menu = e2e::mainMenuScreen();
  const std::string prompt = "Please enter value 1..16: ";
  const std::string ended = "\nConsole input ended.\n";
  const std::string key = e2e::keyPrompt();
  struct Row {
    const char* what;
    std::string output;
    int expected;
  };
  const Row rows[] = {
      {"nothing printed", "", 0},
      {"start-up refused", "Initialising arm... Hold ctrl for arm information.\n", 0},
      {"input ended at the first menu", menu + ended, 0},
      {"refused answers, then the end", menu + prompt + prompt + ended, 0},
      {"Exit at once", menu, 0},
      {"one operation, then the end at the key", menu + "Chosen part Wing.\n" + key + ended, 1},
      {"one operation that printed nothing", menu + key + ended, 1},
      {"one operation, then Exit", menu + key + menu, 1},
      {"one operation, then the end at the menu", menu + key + menu + prompt + ended, 1},
      {"a second operation ended by the input", menu + key + menu + "\nChoose part:\n" + ended, 2},
      {"three operations", menu + key + menu + key + menu + key + ended, 3},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(consolefuzz::operationsStarted(row.output), row.expected) << row.what;
  }
}

TEST(ConsoleFuzzChecks, ChangesAreAllowedOnlyToTheOperationsThatMakeThem) {
  const std::string app = "profile/Application Data/Kestrel Ward/Velloran 2/";
  const std::string parts = app + "vl2_settings/parts/";
  const std::string skin = parts + "01_Wing/02_Skin/Skin.qini";
  const std::string skinBackup = parts + "01_Wing/02_Skin/Skin.oldqini";
  const std::string quads = parts + "01_Wing/02_Skin/SkinPanel.quads";
  const std::string arm = app + "WinVLPosetta.ini";
  const std::string tool = app + "vl2_settings/tools/01_Probe/Probe.tini";
  const std::string regionTool = parts + "01_Wing/02_Skin/01_Probe/Probe.ini";
  const std::string newTool = parts + "01_Wing/02_Skin/02_Roller/";
  const std::string legacy = "mnt/c/quads/Wing/Skin.ini";
  struct Row {
    int entry;
    std::string path;
    ChangeKind kind;
    bool allowed;
  };
  const Row rows[] = {
      {2, skin, ChangeKind::Modified, true},
      {2, quads, ChangeKind::Added, true},
      {3, quads, ChangeKind::Modified, true},
      {3, legacy, ChangeKind::Modified, true},
      {2, skin, ChangeKind::Removed, false},
      {2, arm, ChangeKind::Modified, false},
      {2, regionTool, ChangeKind::Modified, false},
      {2, tool, ChangeKind::Modified, false},
      {4, skin, ChangeKind::Modified, true},
      {4, quads, ChangeKind::Modified, false},
      {7, newTool, ChangeKind::Added, true},
      {7, newTool + "Roller.vl2", ChangeKind::Added, true},
      {7, newTool + "Roller.ini", ChangeKind::Added, true},
      {7, newTool + "Roller.ini", ChangeKind::Modified, false},
      {7, regionTool, ChangeKind::Modified, false},
      {8, arm, ChangeKind::Modified, true},
      {8, skin, ChangeKind::Modified, false},
      {9, arm, ChangeKind::Modified, true},
      {9, skin, ChangeKind::Modified, true},
      {9, skinBackup, ChangeKind::Added, true},
      {9, skinBackup, ChangeKind::Removed, false},
      {10, skin, ChangeKind::Modified, true},
      {10, skinBackup, ChangeKind::Removed, true},
      {10, arm, ChangeKind::Modified, false},
      {11, skinBackup, ChangeKind::Removed, true},
      {11, skin, ChangeKind::Modified, false},
      {0, arm, ChangeKind::Modified, false},
      {1, skin, ChangeKind::Modified, false},
      {5, skin, ChangeKind::Modified, false},
      {6, tool, ChangeKind::Modified, false},
      {12, quads, ChangeKind::Modified, false},
      {13, skin, ChangeKind::Modified, false},
      {14, arm, ChangeKind::Modified, false},
  };
  for (const Row& row : rows) {
    EXPECT_EQ(consolefuzz::changeAllowed(row.entry, Change{row.path, row.kind}), row.allowed)
        << "entry " << row.entry + 1 << ", " << row.path << ", kind "
        << static_cast<int>(row.kind);
  }
}

TEST(ConsoleFuzzChecks, SettingsFilesThatCannotBeReadAndTemporaryFilesAreFound) {
  testsupport::TempDir dir;
  const std::string root = dir.path();
  e2e::buildTree(root,
                 "good.qini = [A]\\r\\nx=1\\r\\n[B]\\r\\ny=\\r\\n\n"
                 "empty.ini\n"
                 "notes.txt = [A]\n"
                 "a/deeper.tini = [Probe]\\nTipLength=2\n"
                 "a/folder.gini/\n");
  std::filesystem::create_symlink(root + "/missing-target.ini", root + "/dangling.qini");
  const std::vector<std::string> unreadable = consolefuzz::unreadableSettingsFiles(root);
  ASSERT_EQ(unreadable.size(), 2u) << ::testing::PrintToString(unreadable);
  std::string both = unreadable[0] + "\n" + unreadable[1];
  EXPECT_NE(both.find("dangling.qini"), std::string::npos);
  EXPECT_NE(both.find("folder.gini"), std::string::npos);

  e2e::buildTree(root,
                 "b/Skin.oldqini.tmp\n"
                 "b/.Skin.qini.tmp1234-5\n"
                 "b/SkinPanel.quads.~1f.tmp\n"
                 "b/temple.ini\n");
  EXPECT_EQ(consolefuzz::temporaryFiles(root).size(), 3u);
}

TEST(ConsoleFuzzChecks, CasesAreMadeFromTheirSeedAlone) {
  for (std::uint64_t seed = 1; seed <= 200; seed += 7) {
    const FuzzCase a = consolefuzz::generateCase(seed);
    const FuzzCase b = consolefuzz::generateCase(seed);
    EXPECT_EQ(a.input(), b.input()) << seed;
    EXPECT_EQ(a.describe(), b.describe()) << seed;
    EXPECT_EQ(a.entry, static_cast<int>(seed % 16));
    EXPECT_EQ(consolefuzz::generateCase(seed, 4).entry, 4);
    // The entry's number is the first number after the start-up answers,
    // and no separator that could name a path outside the sandbox comes at
    // all.
    const std::string input = a.input();
    const std::string head =
        consolefuzz::startupAnswers(consolefuzz::armScenarios()[a.scenario], a.site);
    const std::size_t number = input.find_first_of("0123456789", head.size());
    ASSERT_NE(number, std::string::npos) << a.describe();
    EXPECT_EQ(std::stoi(input.substr(number)), a.entry + 1) << a.describe();
    EXPECT_EQ(input.find_first_of("/\\:", head.size()), std::string::npos) << a.describe();
  }
}

// Every scenario that opens the arm goes on pressing both buttons, soon
// enough for the loops that take one record every 100 ms, so that no
// operation waits on the arm for ever.
TEST(ConsoleFuzzChecks, ScenariosLoopAndPressBothButtonsOften) {
  for (const consolefuzz::ArmScenario& scenario : consolefuzz::armScenarios()) {
    if (scenario.name == "fail-open" || scenario.name == "fail-block") continue;
    std::istringstream lines(scenario.text);
    std::size_t records = 0, sinceGreen = 0, sinceRed = 0, longestWait = 0;
    bool loops = false;
    for (std::string line; std::getline(lines, line);) {
      std::istringstream words(line);
      std::vector<std::string> tokens;
      for (std::string word; words >> word;) tokens.push_back(word);
      if (tokens.empty()) continue;
      loops = loops || (tokens.size() == 2 && tokens[0] == "end" && tokens[1] == "loop");
      std::size_t count = 0;
      if (tokens[0] == "record") {
        count = tokens.back()[0] == 'x' ? std::stoul(tokens.back().substr(1)) : 1;
      } else if (tokens[0] == "move") {
        count = std::stoul(tokens[7]);
      } else {
        continue;
      }
      records += count;
      const bool green = std::find(tokens.begin(), tokens.end(), "green") != tokens.end();
      const bool red = std::find(tokens.begin(), tokens.end(), "red") != tokens.end();
      sinceGreen = green ? 0 : sinceGreen + count;
      sinceRed = red ? 0 : sinceRed + count;
      longestWait = std::max({longestWait, sinceGreen, sinceRed});
      EXPECT_LE(count, 15u) << scenario.name << ": " << line;
    }
    EXPECT_TRUE(loops) << scenario.name;
    EXPECT_GT(records, 0u) << scenario.name;
    EXPECT_LT(longestWait, 100u) << scenario.name;
  }
}

TEST(ConsoleFuzzChecks, StartUpAnswersFollowTheScenarioAndTheSite) {
  struct Row {
    const char* scenario;
    bool legacy;
    bool ctrl;
    const char* expected;
  };
  const Row rows[] = {
      {"clicks", false, false, ""},        {"clicks", true, false, "w\n"},
      {"clicks", false, true, "i"},        {"demo", false, false, "k"},
      {"relocate-loop", true, false, "kw\n"}, {"demo", true, true, "kiw\n"},
      {"fail-open", false, false, "y\n"},  {"fail-block", true, true, "y\nw\n"},
  };
  consolefuzz::SiteVariant legacyOnly;
  legacyOnly.legacyTree = true;
  legacyOnly.noWizardTree = true;
  EXPECT_EQ(consolefuzz::startupAnswers(consolefuzz::armScenarios()[0], legacyOnly), "");
  for (const Row& row : rows) {
    consolefuzz::SiteVariant site;
    site.legacyTree = row.legacy;
    site.ctrlHeld = row.ctrl;
    EXPECT_EQ(consolefuzz::startupAnswers(
                  consolefuzz::armScenarios()[consolefuzz::scenarioIndex(row.scenario)], site),
              row.expected)
        << row.scenario;
  }
}

// --- fixed inputs ---------------------------------------------------------------

// A literal's bytes, NULs included.
template <std::size_t N>
std::string bytes(const char (&text)[N]) {
  return std::string(text, N - 1);
}

// Hostile input at known places, each run judged as the fuzz cases are and
// required to get where its texts show (in order).
TEST(ConsoleFuzzFixedInputs, HostileAnswersAtKnownPlaces) {
  using std::chrono::milliseconds;
  struct Row {
    const char* what;
    int entry;  // main menu number, 1..16
    const char* scenario;
    consolefuzz::SiteVariant site;
    std::vector<e2e::InputStep> steps;
    std::vector<std::string> texts;
  };
  consolefuzz::SiteVariant shipped;
  consolefuzz::SiteVariant askSizes;
  askSizes.askSizes = true;
  consolefuzz::SiteVariant legacy;
  legacy.legacyTree = true;
  const std::string longNumber(100000, '9');
  const std::string longName(300, 'n');
  const std::vector<Row> rows = {
      {"a number of 100000 digits at a chooser, then valid choices",
       13,
       "clicks",
       shipped,
       {{"", milliseconds(0), "13\n" + longNumber + "\n1\n1\n"}},
       {"Choose part:", "Please enter value 1..2: Please enter value 1..2: ", "Collection 1: ",
        "SparCap"}},
      {"extents below zero and a pitch at its least for a generated panel",
       3,
       "calibrate-loop",
       askSizes,
       {{"", milliseconds(0), "3\n1\n2\n1\n7\n\n-5\n-5\n0.1\n"}, {"", milliseconds(2500), ""}},
       {"Please enter either 3 or 6mm.", "Ball probe of 3mm selected.",
        "Please enter u extents (mm): ", "Please enter pitch (mm): ",
        "Planar .quads file generation failure."}},
      {"a dump file name too long for any file system, after empty lines",
       14,
       "clicks",
       shipped,
       {{"", milliseconds(0), "14\n\n \r\n" + longName + "\n"}},
       {"Please enter text file name: Please enter text file name: Please enter text file name: ",
        "\nPlease press any key to continue.\n"}},
      {"keys that are no command in the region test, then its red click",
       5,
       "clicks-long",
       shipped,
       {{"", milliseconds(0), "5\n1\n1\nn\n\n"},
        {"", milliseconds(1500), bytes("\0\x1b\r\n5612349cse\x7f")},
        {"", milliseconds(2500), ""}},
       {"Loading .quads files...", "Press 'o' to calibrate operator position",
        "\nPlease press any key to continue.\n"}},
      {"the operator-position calibration with keys typed between the clicks",
       5,
       "spar-clicks",
       shipped,
       {{"", milliseconds(0), "5\n1\n1\nn\n\no"},
        {"", milliseconds(700), bytes("x\0" "5")},
        {"", milliseconds(8000), ""}},
       {"Loading .quads files...", "Click with green button on a quad file.",
        "FlipUAxis correct. FlipVAxis changed. FlipNormals correct."}},
      {"an old serial of control characters, then the stored one",
       10,
       "relocate-loop",
       shipped,
       {{"", milliseconds(0), "k10\n\n"},
        {"", milliseconds(2500), bytes("\x01\0abc\t\n") + "P080301198\n"},
        {"", milliseconds(2500), ""}},
       {"Calibration points for current arm not found.", "Existing points not found.",
        "Processing file:", "Successfully processed"}},
      {"a region whose quad file is not there yet: one line, one full stop",
       13,
       "clicks",
       shipped,
       {{"", milliseconds(0), "13\n1\n2\n"}},
       {"Collection 1: ", "SkinPanel.quads: cannot be opened.\n\nPlease press any key"}},
      {"the directory mode refused twice, answers with CR LF, then Exit",
       16,
       "clicks",
       legacy,
       {{"", milliseconds(0), "x\r\n?\r\nq\r\n16\r\n"}},
       {"Please enter directory mode (w for wizard, q for quads): "
        "Please enter directory mode (w for wizard, q for quads): "
        "Please enter directory mode (w for wizard, q for quads): ",
        "Directory mode: Legacy .quads."}},
  };
  for (const Row& row : rows) {
    if (row.site.legacyTree && !e2e::driveIsolationAvailable()) continue;
    FuzzCase fuzzCase;
    fuzzCase.entry = row.entry - 1;
    fuzzCase.scenario = consolefuzz::scenarioIndex(row.scenario);
    fuzzCase.site = row.site;
    fuzzCase.steps = row.steps;
    const Verdict verdict = consolefuzz::runCase(fuzzCase, runTimeout());
    EXPECT_TRUE(verdict.passed()) << row.what << problemsOf(verdict);
    std::size_t from = 0;
    for (const std::string& text : row.texts) {
      const std::size_t at = verdict.run.output.find(text, from);
      EXPECT_NE(at, std::string::npos)
          << row.what << ": not found: " << e2e::visible(text) << "\nafter: "
          << e2e::visible(verdict.run.output.substr(from, 2000));
      if (at != std::string::npos) from = at + text.size();
    }
  }
}

}  // namespace
