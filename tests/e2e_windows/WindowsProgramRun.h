// Runs the Windows program ZorvPosetta.exe the way a script would: its own
// ALLUSERSPROFILE with a wizard tree, its own working directory, the virtual
// arm playing a named scenario, console input written to a pipe that is
// closed when the script is used up, and standard output captured byte for
// byte. Windows only (CreateProcess with redirected handles).
#pragma once

#include <chrono>
#include <map>
#include <string>

#include "test_support.h"

namespace winrun {

struct RunResult {
  std::string output;       // standard output, byte for byte
  std::string errorOutput;  // standard error
  unsigned long exitCode = 0;
  bool timedOut = false;  // ended by the test because the limit passed
};

// A fresh directory holding
//   profile\   the run's ALLUSERSPROFILE, with the application-data directory
//              "Application Data\Kestrel Ward\Velloran 2" and its vl2_settings;
//   work\      the program's working directory, where a stand-in notepad.exe
//              (the recording editor) notes the files it is started with.
// The arm configuration stores a psi correction for the virtual arm's default
// serial, so a healthy start-up prints only its first line.
class Sandbox {
 public:
  Sandbox();

  std::string path(const std::string& relative) const { return directory_ / relative; }
  std::string applicationDataDirectory() const;
  std::string wizardDirectory() const;
  std::string workingDirectory() const;
  std::string editorRecordFile() const { return path("editor-record.txt"); }

  // Creates the wizard directory (without it the program runs in basic mode)
  // and files below it, one entry per line: "dir/", "file" or "file = text"
  // ('/' separates; "\n" in text is a line break).
  void buildWizardTree(const std::string& description);
  // The virtual arm's scenario (always named: without one the arm refuses).
  void setArmScenario(const std::string& text);

  // Starts ZorvPosetta.exe from the directory of this test program.
  RunResult run(const std::string& script,
                std::chrono::milliseconds limit = std::chrono::seconds(60)) const;

 private:
  testsupport::TempDir directory_;
  std::map<std::string, std::string> environment_;
};

// The text with every "\n" turned into "\r\n".
std::string crlf(const std::string& text);
// The text with control characters made visible, for failure messages.
std::string visible(const std::string& text);

}  // namespace winrun
