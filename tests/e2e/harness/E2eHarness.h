// End-to-end harness: runs the real ZorvPosetta program in a sandbox and
// captures what it writes.
//
// Linux only (the program is started with fork/exec and fed through a pipe).
//
// A Sandbox is a fresh temporary directory holding
//   profile/   the ALLUSERSPROFILE of the run; the application-data directory
//              is profile/Application Data/Kestrel Ward/Velloran 2 and the
//              wizard tree lives in its vl2_settings;
//   work/      the program's working directory.
// Console input is a script written to the program's standard input through a
// pipe, then the pipe is closed: the program sees it as typed keys (a key
// waiting at "Please press any key to continue." stays unread for the next
// prompt) and meets end of input when the script is used up. Standard output
// and standard error are captured byte for byte. A run that outlives its
// timeout is killed and reported as such.
//
// Drives: the program maps "c:\quads" to /mnt/c/quads. When the system
// allows a private mount namespace (root, or unprivileged user namespaces),
// each run sees the sandbox's mnt/ directory as /mnt, so a test controls the
// legacy directory (legacyDirectory()) and a legacy directory of the machine
// never leaks into a test. driveIsolationAvailable() tells whether that works;
// tests that need a legacy directory skip without it.
//
// The arm: the program starts the (virtual) arm first. Each sandbox writes an
// arm configuration file "WinVLPosetta.ini" with a stored psi correction for
// the virtual arm (see setArmConfiguration), so that the start-up does not stop
// at the missing-psi warning; armStartupTranscript() is what a quiet, healthy
// arm start-up prints, and tests put it in front of their expected
// transcripts. The virtual arm opens only with a named scenario: each sandbox
// names kRestingArmScenario (a healthy arm at rest). Tests that want another
// arm behaviour give the virtual arm a scenario with setArmScenario() and
// write their own configuration.
#pragma once

#include <chrono>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "test_support.h"

namespace e2e {

// Directory of the program under test: $ZORV_BIN_DIR, else the directory of
// the running test program (both live in <build>/bin).
std::string binaryDirectory();

// The source tree: $ZORV_SOURCE_DIR, else the one this harness was built from.
std::string sourceDirectory();

// True when runs can be given their own /mnt (see above).
bool driveIsolationAvailable();

// What the program prints before the directory-mode lines when the arm starts
// normally, without Ctrl held and with a stored psi correction.
std::string armStartupTranscript();

// Serial number key under which the virtual arm's psi correction is stored in
// "ArmPsiDeltas" by default: the virtual arm's default serial text
// "P08-08-1234" reduced to letters and digits.
extern const char* const kVirtualArmSerialNumber;

// The scenario every sandbox starts with: the virtual arm's default identity
// and one resting record (400, 0, 200 mm; 0, 90, 0 degrees; no button)
// written again each time the program takes it.
extern const char* const kRestingArmScenario;

// The banner, the main menu and its prompt, as the program prints them each
// time round the loop (the screen clear prints nothing into a pipe).
std::string mainMenuScreen();
// The sixteen main menu entries, in the menu's order (entry n at index n - 1).
extern const char* const kMainMenuEntries[16];
// "\nPlease press any key to continue.\n".
std::string keyPrompt();
// The banner alone.
std::string bannerText();

// Builds files and directories below root from a compact description, one
// entry per line (blank lines and lines starting with '#' are ignored):
//   some/dir/            a directory (every missing level is created)
//   some/file.txt        an empty file
//   some/file.ini = text a file holding text, where \n stands for a line
//                        break, \r for a carriage return, \t for a tab and
//                        \\ for a backslash
// Paths use '/' and are relative to root.
void buildTree(const std::string& root, const std::string& description);

// One piece of console input that waits for the program: it is written once
// the output holds `awaited` (searched from where the previous step's awaited
// text ended; at once when empty) and `delay` has passed since.
struct InputStep {
  std::string awaited;
  std::chrono::milliseconds delay{0};
  std::string input;
};

struct RunResult {
  std::string output;       // standard output, byte for byte
  std::string errorOutput;  // standard error
  int exitStatus = -1;      // exit status, -1 when killed by a signal
  bool timedOut = false;    // killed because the timeout passed
};

class Sandbox {
 public:
  Sandbox();
  ~Sandbox();
  Sandbox(const Sandbox&) = delete;
  Sandbox& operator=(const Sandbox&) = delete;

  // Native paths ('/'-separated), without trailing separator.
  const std::string& root() const { return root_; }
  std::string profileDirectory() const;
  std::string applicationDataDirectory() const;
  // The application-data directory as the program names it in its messages
  // (the profile, then the rest joined with backslashes).
  std::string applicationDataDirectoryAsShown() const;
  std::string wizardDirectory() const;
  std::string workingDirectory() const;
  // The directory the program sees as /mnt/c/quads ("c:\quads").
  std::string legacyDirectory() const;
  // root() + "/" + relative.
  std::string path(const std::string& relative) const;

  // Builds the wizard tree (below wizardDirectory(), created even for an
  // empty description).
  void buildWizardTree(const std::string& description);
  // Builds the legacy directory tree below legacyDirectory() (created even
  // for an empty description).
  void buildLegacyTree(const std::string& description);
  // Copies the bundled demo site (examples/demo-site) into the profile: its
  // wizard tree, arm configuration file and images.
  void useDemoSite();
  // Replaces the arm configuration file in the application-data directory
  // (an empty text removes it).
  void setArmConfiguration(const std::string& content);
  // Writes the virtual arm's scenario text to a file in the sandbox and
  // points the arm's scenario variable (ZORV_ARMSIM_SCENARIO) at it.
  void setArmScenario(const std::string& scenarioText);
  // Extra environment variable for the run (e.g. the virtual arm's scenario,
  // VISUAL); an existing one of the same name is replaced.
  void setEnvironment(const std::string& name, const std::string& value);
  // Removes a variable from the run's environment (ALLUSERSPROFILE too).
  void unsetEnvironment(const std::string& name);

  // Runs the program with the script as console input.
  RunResult run(const std::string& script,
                std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;
  // Runs the program with console input written in steps. The input stays
  // open, and empty once a step is used up, until the last step is written:
  // then it is closed. A step whose text never comes holds the input open
  // until the timeout.
  RunResult run(const std::vector<InputStep>& steps,
                std::chrono::milliseconds timeout = std::chrono::seconds(20)) const;

 private:
  testsupport::TempDir directory_;
  std::string root_;
  std::map<std::string, std::string> environment_;
  std::vector<std::string> unset_;
};

// Whole-file helpers on native paths.
using testsupport::readFile;
using testsupport::writeFile;
bool fileExists(const std::string& path);
bool directoryExists(const std::string& path);
// Names in a directory, sorted (empty when it does not exist).
std::vector<std::string> directoryEntries(const std::string& path);

// The text with control characters made visible (\r, \n, \t, \xNN), for
// failure messages.
std::string visible(const std::string& text);

// Compares a captured transcript with the expected one; on a mismatch the
// message names the first differing line and shows both lines made visible.
::testing::AssertionResult transcriptsMatch(const std::string& expected, const std::string& actual);

// Number of non-overlapping occurrences of needle in text.
std::size_t countOccurrences(const std::string& text, const std::string& needle);

}  // namespace e2e
