// The command line of zorv-scenario.
#include <fstream>
#include <sstream>

#include "ScenarioWriter.h"

namespace armsim {
namespace {

constexpr const char* kUsage =
    "usage: zorv-scenario [-o <scenario file>] [<description file> | -]\n"
    "Writes a virtual-arm scenario from a description of part placements, touches,\n"
    "arm moves, aims and button presses (see armsim/README.md). The description is\n"
    "read from the file, or from standard input when none or \"-\" is given; the\n"
    "scenario goes to the -o file, or to standard output.\n";

}  // namespace

int runScenarioTool(const std::vector<std::string>& arguments, std::istream& input,
                    std::ostream& output, std::ostream& errors) {
  std::string descriptionPath;
  std::string scenarioPath;
  bool descriptionNamed = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument == "-h" || argument == "--help") {
      output << kUsage;
      return 0;
    }
    if (argument == "-o") {
      if (i + 1 >= arguments.size() || !scenarioPath.empty()) {
        errors << "zorv-scenario: -o needs one file name\n" << kUsage;
        return 2;
      }
      scenarioPath = arguments[++i];
    } else if (argument.size() > 1 && argument[0] == '-') {
      errors << "zorv-scenario: unknown option " << argument << "\n" << kUsage;
      return 2;
    } else if (descriptionNamed) {
      errors << "zorv-scenario: only one description file\n" << kUsage;
      return 2;
    } else {
      descriptionNamed = true;
      descriptionPath = argument;
    }
  }

  ScenarioDescription description;
  std::string error;
  const bool fromInput = descriptionPath.empty() || descriptionPath == "-";
  const std::string source = fromInput ? "standard input" : descriptionPath;
  bool parsed = false;
  if (fromInput) {
    parsed = parseScenarioDescription(input, description, error);
  } else {
    std::ifstream file(descriptionPath, std::ios::binary);
    if (!file) {
      errors << "zorv-scenario: cannot read " << descriptionPath << "\n";
      return 1;
    }
    parsed = parseScenarioDescription(file, description, error);
  }
  GeneratedScenario scenario;
  if (!parsed || !generateScenario(description, scenario, error)) {
    errors << "zorv-scenario: " << source << ": " << error << "\n";
    return 1;
  }

  if (scenarioPath.empty()) {
    output << scenario.text;
    output.flush();
    return output ? 0 : 1;
  }
  std::ofstream file(scenarioPath, std::ios::binary | std::ios::trunc);
  file << scenario.text;
  file.close();
  if (!file) {
    errors << "zorv-scenario: cannot write " << scenarioPath << "\n";
    return 1;
  }
  return 0;
}

}  // namespace armsim
