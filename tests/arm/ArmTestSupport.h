// Helpers shared by the arm tests: the virtual arm's scenario, the process
// environment, console output captured from the operations, and a console
// input that neither ends nor holds keys.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "arm/ArmConnection.h"
#include "console/ConsoleContext.h"
#include "test_support.h"

namespace armtest {

// Name of the variable through which the virtual arm finds its scenario.
inline constexpr const char* kScenarioVariable = "ZORV_ARMSIM_SCENARIO";

void setEnvironment(const std::string& name, const std::string& value);
void unsetEnvironment(const std::string& name);

// Standard input becomes a pipe that stays open and empty for the rest of the
// test program, so that the arm's waits never find the console input ended
// (ctest may hand the program a closed or empty input).
void keepConsoleInputOpen();
// Writes keys into that console input, as if typed; false when it failed.
bool typeOnConsole(const std::string& keys);

// Everything printed through capturePrint since the last takeCaptured().
void capturePrint(std::string text);
std::string takeCaptured();

// Writes a scenario file into the directory (with a "log" line naming
// commandLog) and names it in the environment.
void useScenario(const testsupport::TempDir& dir, const std::string& body);
// Path of the command log useScenario names.
std::string commandLogPath(const testsupport::TempDir& dir);
// The command numbers the virtual arm logged, in order.
std::vector<int> loggedCommands(const testsupport::TempDir& dir);

// A console context that prints into the capture.
ConsoleContext capturingContext();

// Sets ALLUSERSPROFILE to dir/profile and creates the application-data
// directory below it; returns that directory.
std::string useApplicationData(const testsupport::TempDir& dir);

}  // namespace armtest
