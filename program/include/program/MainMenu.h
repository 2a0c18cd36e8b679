// The main menu of the console program: banner, the sixteen entries, the key
// wait between operations, and the start-up helpers the entry point uses.
#pragma once

#include <string>

#include "ZorvVLWizard.h"
#include "console/ConsoleContext.h"

// Positions of the main menu entries (the number typed is the position + 1).
enum MainMenuEntry : int {
  kMenuFaroDialog = 0,
  kMenuTestArm = 1,
  kMenuCalibrateCollection = 2,
  kMenuCalibrateRegion = 3,
  kMenuTestRegion = 4,
  kMenuEditRegionData = 5,
  kMenuEditToolData = 6,
  kMenuAddToolToPart = 7,
  kMenuCalculatePsiZeroDegree = 8,
  kMenuReusePartCalibrations = 9,
  kMenuResetNewPartCalibrations = 10,
  kMenuCleanOldPartCalibrations = 11,
  kMenuQuadMeshInfo = 12,
  kMenuDumpDirectories = 13,
  kMenuHardwareConfigDialog = 14,
  kMenuExit = 15,
  kMenuEntryCount = 16,
};

// The sixteen entry texts in menu order, built afresh on each call.
string_vector mainMenuTable();

// Clears the screen and prints the program's banner.
void showBanner(PrintFunction print);

// Offers the main menu and returns the chosen entry's position (0-15).
int chooseMainMenuFunction();

// Prints "\nPlease press any key to continue.\n" and blocks until a key is
// waiting, without reading it: the key becomes the first character of the
// next console input. Throws ConsoleInputEnded when the input has ended.
void waitForAnyKey(PrintFunction print);

// The program directory from the first command-line argument: the argument
// cut before its last path separator (a backslash; on POSIX builds a slash
// too), or the whole argument when it holds none.
std::string programDirectoryFromArgument(const std::string& argument);
