// Banner, main menu and the key wait of the console program.
#include "program/MainMenu.h"

#include <iostream>

#include "console/ConsoleServices.h"
#include "platform/console.h"

string_vector mainMenuTable() {
  string_vector table;
  for (const char* text :
       {"Faro dialog", "Test arm", "Calibrate collection", "Calibrate region", "Test region",
        "Edit region data", "Edit tool data", "Add tool to part", "Calculate psi zero degree",
        "Reuse part calibrations", "Reset new part calibrations", "Clean old part calibrations",
        "Quad mesh info", "Dump directories", "Hardware config dialog", "Exit"}) {
    table.strings.push_back(text);
  }
  return table;
}

void showBanner(PrintFunction print) {
  std::cout.flush();
  platform::console::clearScreen();
  print("\n");
  print(" Orlenta Zorv Posetta\n");
  print("~~~~~~~~~~~~~~~~~~~~~~~~~\n\n");
  print(" Alpha version\n\n");
}

int chooseMainMenuFunction() {
  const string_vector table = mainMenuTable();
  const std::string choice = chooseFromList("function", table);
  for (std::size_t i = 0; i < table.strings.size(); ++i) {
    if (table.strings[i] == choice) return static_cast<int>(i);
  }
  return kMenuExit;  // not reached: the chooser returns one of the entries
}

void waitForAnyKey(PrintFunction print) {
  print("\nPlease press any key to continue.\n");
  std::cout.flush();
  if (!platform::console::waitForKey()) throw ConsoleInputEnded{};
}

std::string programDirectoryFromArgument(const std::string& argument) {
#ifdef _WIN32
  const std::size_t cut = argument.find_last_of('\\');
#else
  const std::size_t cut = argument.find_last_of("\\/");
#endif
  return cut == std::string::npos ? argument : argument.substr(0, cut);
}
