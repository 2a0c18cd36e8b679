// Editing settings, adding a tool to a part, and directory dumps.
#include "wizardops/SettingsOperations.h"

#include <iostream>
#include <string>

#include "console/ConsoleServices.h"
#include "platform/console.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

// Path separators: the backslash; on POSIX builds, where the platform takes
// both, the slash of a native path prefix too.
#ifdef _WIN32
constexpr const char* kSeparators = "\\";
#else
constexpr const char* kSeparators = "\\/";
#endif

// Everything before the last separator (the whole path when it holds none).
std::string directoryOf(const std::string& path) {
  const std::size_t cut = path.find_last_of(kSeparators);
  return cut == std::string::npos ? path : path.substr(0, cut);
}

// Everything after the last separator.
std::string lastComponent(const std::string& path) {
  const std::size_t cut = path.find_last_of(kSeparators);
  return cut == std::string::npos ? path : path.substr(cut + 1);
}

// A numbered entry's name: the leading number and the underscore after it
// removed, whatever the number's length.
std::string entryName(const std::string& numbered) {
  std::size_t i = 0;
  while (i < numbered.size() && numbered[i] >= '0' && numbered[i] <= '9') ++i;
  if (i < numbered.size() && numbered[i] == '_') return numbered.substr(i + 1);
  return numbered;
}

// Name of the part whose region directory this is.
std::string partNameOfRegion(const std::string& regionDirectory) {
  return entryName(lastComponent(directoryOf(regionDirectory)));
}

bool isDotEntry(const std::string& name) {
  return name == "." || name == "..";
}

// Reads one whitespace-delimited word of the current console line into word;
// an empty or blank line gives an empty word. What follows the word on its
// line stays for the next read. ConsoleInputEnded when the input has gone.
void readWordOfLine(std::string& word) {
  word.clear();
  for (;;) {
    const int c = std::cin.peek();
    if (c == std::char_traits<char>::eof()) throw ConsoleInputEnded{};
    if (c == '\n') {
      std::cin.get();
      return;
    }
    if (c != ' ' && c != '\t' && c != '\r' && c != '\v' && c != '\f') break;
    std::cin.get();
  }
  readFromConsole(word);
}

}  // namespace

bool editRegionData(ConsoleContext& context) {
  return editRegionData(context, defaultSettingsRoots());
}

bool editRegionData(ConsoleContext& context, const SettingsRoots& roots) {
  if (!chooseRegionSettingsFile(context.directoryMode, context.partSettingsFile, "part", roots)) {
    context.print("Failed to identify .qini or .ini file.\n");
    return false;
  }
  openInNotepad(context.partSettingsFile);
  return true;
}

bool editToolData(ConsoleContext& context) {
  return editToolData(context, defaultSettingsRoots());
}

bool editToolData(ConsoleContext& context, const SettingsRoots& roots) {
  if (context.directoryMode == DirectoryMode::Wizard) {
    if (!chooseLibraryToolFile(context.directoryMode, context.toolSettingsFile, roots)) {
      context.print("Failed to identify .tini or .ini file.\n");
      return false;
    }
  } else if (context.directoryMode == DirectoryMode::LegacyQuads) {
    if (!chooseRegionSettingsFile(context.directoryMode, context.partSettingsFile, "part", roots)) {
      context.print("Failed to identify .qini or .ini file.\n");
      return false;
    }
    // A legacy .ini file holds the region's and the tool's settings.
    context.toolSettingsFile = context.partSettingsFile;
  }
  // In basic mode nothing can be chosen: the tool file remembered last opens.
  openInNotepad(context.toolSettingsFile);
  return true;
}

bool addToolToPart(ConsoleContext& context) {
  return addToolToPart(context, defaultSettingsRoots());
}

bool addToolToPart(ConsoleContext& context, const SettingsRoots& roots) {
  const DirectoryMode mode = context.directoryMode;
  if (mode != DirectoryMode::Wizard) {
    context.print("This function is only supported for wizard settings structures.\n");
    return false;
  }
  if (!chooseRegionSettingsFile(mode, context.partSettingsFile, "source part", roots)) {
    context.print("Failed to identify source .qini or .ini file.\n");
    return false;
  }
  const std::string sourceSettingsFile = context.partSettingsFile;
  if (!chooseRegionToolFile(mode, sourceSettingsFile, context.toolSettingsFile, roots)) {
    context.print("Failed to identify source tool .ini file.\n");
    return false;
  }
  if (!chooseRegionSettingsFile(mode, context.partSettingsFile, "destination part", roots)) {
    context.print("Failed to identify destination .qini or .ini file.\n");
    return false;
  }
  const std::string destinationSettingsFile = context.partSettingsFile;

  // The tool's name: its .tini file name without the extension.
  const std::string toolFileName = lastComponent(context.toolSettingsFile);
  const std::string tool =
      toolFileName.substr(0, toolFileName.size() >= 5 ? toolFileName.size() - 5 : 0);

  const std::string sourceRegion = directoryOf(sourceSettingsFile);
  const std::string destinationRegion = directoryOf(destinationSettingsFile);
  string_vector sourceTools;
  string_vector destinationTools;
  ZorvVLWizardUtilities::getRegionTools(sourceRegion, sourceTools);
  ZorvVLWizardUtilities::getRegionTools(destinationRegion, destinationTools);
  for (const std::string& present : destinationTools.strings) {
    if (present == tool) {
      context.print("This tool is already available for this part.\n");
      return false;
    }
  }
  if (!destinationTools.strings.empty() && destinationTools.strings[0] == "missing") {
    destinationTools.strings.clear();
  }

  const std::string newToolDirectory =
      destinationRegion + "\\" + twoDigitNumber(destinationTools.strings.size() + 1) + "_" + tool;
  if (!createDirectory(newToolDirectory)) {
    context.print("Failed to create new tool directory.\n");
    return false;
  }
  const std::string sourceToolDirectory =
      sourceRegion + "\\" + entryNumber(tool, sourceTools) + "_" + tool;
  // A half-made tool directory would be listed as a tool of the region and
  // would stop every retry: on a failed copy it goes again.
  if (!copyFileOverwrite(sourceToolDirectory + "\\" + tool + ".vl2",
                         newToolDirectory + "\\" + tool + ".vl2")) {
    platform::deleteTree(newToolDirectory);
    context.print("Failed to copy existing settings.\n");
    return false;
  }
  if (!copyFileOverwrite(sourceToolDirectory + "\\" + tool + ".ini",
                         newToolDirectory + "\\" + tool + ".ini")) {
    platform::deleteTree(newToolDirectory);
    context.print("Failed to copy existing tool reference.\n");
    return false;
  }
  context.print("\nSuccessfully added tool " + tool + " to part " +
                partNameOfRegion(destinationRegion) + " from part " +
                partNameOfRegion(sourceRegion) + ".\n");
  return true;
}

bool dumpDirectories(ConsoleContext& context) {
  return dumpDirectories(context, defaultSettingsRoots());
}

bool dumpDirectories(ConsoleContext& context, const SettingsRoots& roots) {
  std::string fileName;
  // What is left of the line that chose this operation is no file name.
  platform::console::discardLine();
  // An empty line asks again.
  while (fileName.empty()) {
    context.print("Please enter text file name: ");
    readWordOfLine(fileName);
  }
  // The listing goes to a file beside the named one that takes its place only
  // once complete, so that a full disk leaves the earlier file (or none),
  // never half a listing. Text mode: the lines end the way the platform's
  // editor expects.
  const std::string temporary = fileName + ".dump.tmp";
  if (std::FILE* out = platform::createNewFile(temporary, false); out != nullptr) {
    std::fputs("Key:\n\td: - directories. f: - files.\n\nListing:\n", out);
    dumpDirectory(roots.wizardDirectory, "\t", out);
    const bool written = std::ferror(out) == 0;
    if (std::fclose(out) != 0 || !written || !platform::moveFileReplacing(temporary, fileName)) {
      platform::deleteFile(temporary);
    }
  }
  openInNotepad(fileName);
  return true;
}

void dumpDirectory(const std::string& path, const std::string& indent, std::FILE* out) {
  std::fputs((indent + "d: " + lastComponent(path) + "\n").c_str(), out);
  const std::vector<platform::FindData> entries = platform::findAll(path + "\\*.*");
  for (const platform::FindData& entry : entries) {
    if (!entry.isDirectory() || isDotEntry(entry.name)) continue;
    if (entry.isReparsePoint()) {
      // A link to a directory elsewhere: named, never followed, so a link
      // back up the tree cannot make the listing endless.
      std::fputs((indent + "\t" + "d: " + entry.name + "\n").c_str(), out);
      continue;
    }
    dumpDirectory(path + "\\" + entry.name, indent + "\t", out);
  }
  for (const platform::FindData& entry : entries) {
    if (entry.isDirectory()) continue;
    std::fputs((indent + "\t" + "f: " + entry.name + "\n").c_str(), out);
  }
}
