// Main menu operations on settings files: editing a region's or a tool's
// settings in the text editor, attaching a region's tool to another region,
// and writing a listing of the wizard directory tree.
//
// Each operation prints its own failure message through the context and
// returns its success flag. The chosen files are kept in the context's
// partSettingsFile and toolSettingsFile.
#pragma once

#include <cstdio>
#include <string>

#include "console/ConsoleContext.h"
#include "wizardops/SettingsSelection.h"

// "Edit region data": choose a region settings file and open it in the editor.
bool editRegionData(ConsoleContext& context);
bool editRegionData(ConsoleContext& context, const SettingsRoots& roots);

// "Edit tool data": choose a tool library file (wizard mode) or a legacy .ini
// file and open it in the editor; in basic mode the last tool file is opened.
bool editToolData(ConsoleContext& context);
bool editToolData(ConsoleContext& context, const SettingsRoots& roots);

// "Add tool to part": copies a tool that a region of one part uses into a
// region of another (or the same) part. Wizard mode only. When a settings
// file cannot be copied, the new tool directory is removed again, so the tree
// is as it was and the operation can be retried.
bool addToolToPart(ConsoleContext& context);
bool addToolToPart(ConsoleContext& context, const SettingsRoots& roots);

// "Dump directories": asks for a file name, writes the listing of the wizard
// directory into it and opens it in the editor. Always true. The file is
// replaced only by a complete listing: when the listing cannot be written
// whole (a full disk), the earlier file stays as it was, or none is made.
bool dumpDirectories(ConsoleContext& context);
bool dumpDirectories(ConsoleContext& context, const SettingsRoots& roots);

// Writes the listing of one directory: its "d: " line, then its
// sub-directories (depth first, in the file system's order; symbolic links to
// directories are listed but never followed), then its files, one tab deeper.
void dumpDirectory(const std::string& path, const std::string& indent, std::FILE* out);
