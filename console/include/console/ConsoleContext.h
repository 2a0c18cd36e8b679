// The per-run record of the console program, passed by reference to every
// menu operation.
#pragma once

#include <cstdint>
#include <string>

// Where the settings files live in this run; detected once at start-up.
enum class DirectoryMode : std::int32_t {
  Wizard = 0,       // the scanning application's wizard directory tree
  LegacyQuads = 1,  // the legacy directory "c:\quads"
  Basic = 2,        // neither was found: nothing can be chosen
};

// Console output: takes one text by value and writes it unchanged (texts carry
// their own newlines; nothing is appended, nothing is flushed).
using PrintFunction = void (*)(std::string text);

// One per run, created zero-filled by the program entry. Members keep the
// order of the record; the initialisers give the zero-filled state.
struct ConsoleContext {
  // Index 0-15 of the menu entry being run, written by the loop.
  std::int32_t lastChoice = 0;
  // Directory mode of this run, set once at start-up.
  DirectoryMode directoryMode = DirectoryMode::Wizard;
  // Full path of the part settings file (.qini or .ini) the last operation chose.
  std::string partSettingsFile;
  // Full path of the tool settings file (.tini or .ini) the last operation chose.
  std::string toolSettingsFile;
  // The program's directory: the first command-line argument up to its last backslash.
  std::string programDirectory;
  // The ball probe size has been asked in this run.
  bool ballProbeChosen = false;
  // Half of the chosen ball probe size, in millimetres.
  double ballProbeRadius = 0.0;
  // Console output used by every operation.
  PrintFunction print = nullptr;
};
