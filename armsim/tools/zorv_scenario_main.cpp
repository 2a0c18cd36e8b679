// zorv-scenario: writes a virtual-arm scenario from a description.
#include <iostream>
#include <string>
#include <vector>

#include "ScenarioWriter.h"

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  return armsim::runScenarioTool(arguments, std::cin, std::cout, std::cerr);
}
