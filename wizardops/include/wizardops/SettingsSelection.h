// Which settings file an operation works on: the directory mode detected at
// start-up, and the choice of a region settings file, a region's tool file and
// a tool library file from lists offered on the console.
//
// Every selection empties its out path first and returns true exactly when the
// out path then names an existing file that is not a directory. None prints a
// failure message: the calling operation does.
#pragma once

#include <string>

#include "ZorvVLWizard.h"
#include "console/ConsoleContext.h"

// The two places settings can live. The program uses defaultSettingsRoots();
// tests pass temporary trees.
struct SettingsRoots {
  // The wizard directory itself (e.g. "...\Velloran 2\vl2_settings").
  std::string wizardDirectory;
  // The legacy directory, without a trailing backslash ("c:\quads").
  std::string legacyDirectory;
};

// The fixed legacy directory.
inline constexpr const char* kLegacyQuadsDirectory = "c:\\quads";

// The wizard directory below the application-data directory, and "c:\quads".
SettingsRoots defaultSettingsRoots();

// Detects the directory mode: prints "Detected: ..." for each directory present
// and, when both are, asks which one to use (w or q).
DirectoryMode detectDirectoryMode();
DirectoryMode detectDirectoryMode(const SettingsRoots& roots);

// Prints "Directory mode: " and the mode's name.
void showDirectoryMode(DirectoryMode mode, PrintFunction print);

// The region settings file of a part: part (under partLabel, e.g. "part",
// "source part", "destination part") and region in wizard mode (.qini); a
// directory and an .ini name below the legacy directory in legacy quads mode.
bool chooseRegionSettingsFile(DirectoryMode mode, std::string& path, const std::string& partLabel);
bool chooseRegionSettingsFile(DirectoryMode mode, std::string& path, const std::string& partLabel,
                              const SettingsRoots& roots);

// The tool file of one of the region's tools: in wizard mode the tool
// library's .tini of a tool chosen among the region's tools; in legacy quads
// mode the region settings file itself.
bool chooseRegionToolFile(DirectoryMode mode, const std::string& regionSettingsFile,
                          std::string& path);
bool chooseRegionToolFile(DirectoryMode mode, const std::string& regionSettingsFile,
                          std::string& path, const SettingsRoots& roots);

// A .tini file of the tool library (wizard mode only).
bool chooseLibraryToolFile(DirectoryMode mode, std::string& path);
bool chooseLibraryToolFile(DirectoryMode mode, std::string& path, const SettingsRoots& roots);

// The entry number of a name in a list of numbered entries: 1-based position
// of its first occurrence as "01".."09", then "10", "11", ...
std::string entryNumber(const std::string& name, const string_vector& list);
