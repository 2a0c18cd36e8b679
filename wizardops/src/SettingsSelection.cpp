// Directory-mode detection and the choice of settings files from the wizard
// tree or the legacy directory.
#include "wizardops/SettingsSelection.h"

#include <iostream>

#include "console/ConsoleServices.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace {

bool isDotEntry(const std::string& name) {
  return name == "." || name == "..";
}

// The sub-directories of dir ("...\"), in the order the file system reports them.
string_vector listSubdirectories(const std::string& dir) {
  string_vector result;
  for (const platform::FindData& entry : platform::findAll(dir + "*.*")) {
    if (entry.isDirectory() && !isDotEntry(entry.name)) result.strings.push_back(entry.name);
  }
  return result;
}

// Whether a walk goes into the entry: a sub-directory, but never a link to a
// directory, which may lead out of the tree or back into it (two links to "."
// would make a walk branch twice at every level).
bool isWalkedDirectory(const platform::FindData& entry) {
  return entry.isDirectory() && !entry.isReparsePoint() && !isDotEntry(entry.name);
}

// Appends the names of the ".ini" files below dir ("...\"), depth first, each
// sub-directory searched where it is met; the name is cut at its last ".ini".
void listIniNames(const std::string& dir, string_vector& names) {
  for (const platform::FindData& entry : platform::findAll(dir + "*.*")) {
    if (entry.isDirectory()) {
      if (isWalkedDirectory(entry)) listIniNames(dir + entry.name + "\\", names);
      continue;
    }
    const std::size_t at = entry.name.rfind(".ini");
    if (at != std::string::npos) names.strings.push_back(entry.name.substr(0, at));
  }
}

// Full path of the file named exactly name + ".ini" in dir ("...\") or below
// it; the first one found wins. Empty when there is none.
std::string findIniFile(const std::string& dir, const std::string& name) {
  const std::string fileName = name + ".ini";
  for (const platform::FindData& entry : platform::findAll(dir + name + "*.ini")) {
    if (entry.name == fileName) return dir + entry.name;
  }
  for (const platform::FindData& entry : platform::findAll(dir + "*.*")) {
    if (!isWalkedDirectory(entry)) continue;
    std::string found = findIniFile(dir + entry.name + "\\", name);
    if (!found.empty()) return found;
  }
  return std::string();
}

// Everything before the last backslash (the whole path when it holds none).
std::string directoryOf(const std::string& path) {
  const std::size_t cut = path.find_last_of('\\');
  return cut == std::string::npos ? path : path.substr(0, cut);
}

// The library tool's .tini file for a tool name.
std::string libraryToolFile(const std::string& wizardDirectory, const std::string& tool) {
  string_vector library;
  ZorvVLWizardUtilities::getTools(wizardDirectory, library);
  return wizardDirectory + "\\" + ZorvVLWizardUtilities::getToolsDirectoryName() + "\\" +
         entryNumber(tool, library) + "_" + tool + "\\" + tool + ".tini";
}

}  // namespace

SettingsRoots defaultSettingsRoots() {
  return SettingsRoots{ZorvVLWizardUtilities::getWizardDirectoryName(getApplicationDataDirectory()),
                       kLegacyQuadsDirectory};
}

DirectoryMode detectDirectoryMode() {
  return detectDirectoryMode(defaultSettingsRoots());
}

DirectoryMode detectDirectoryMode(const SettingsRoots& roots) {
  const bool wizard = !roots.wizardDirectory.empty() && isDirectory(roots.wizardDirectory);
  const bool legacy = isDirectory(roots.legacyDirectory);
  if (wizard) std::cout << "Detected: wizard directory.\n";
  if (legacy) std::cout << "Delected: Legacy .quads directory.\n";
  if (wizard && legacy) {
    const char answer = askForCharacter(
        printToConsole, "Please enter directory mode (w for wizard, q for quads): ", "wq");
    return answer == 'w' ? DirectoryMode::Wizard : DirectoryMode::LegacyQuads;
  }
  if (wizard) return DirectoryMode::Wizard;
  if (legacy) return DirectoryMode::LegacyQuads;
  return DirectoryMode::Basic;
}

void showDirectoryMode(DirectoryMode mode, PrintFunction print) {
  switch (mode) {
    case DirectoryMode::Wizard:
      print("Directory mode: Wizard.\n");
      break;
    case DirectoryMode::LegacyQuads:
      print("Directory mode: Legacy .quads.\n");
      break;
    default:
      print("Directory mode: Basic.\n");
      break;
  }
}

std::string entryNumber(const std::string& name, const string_vector& list) {
  return positionLabel(name, list);
}

namespace {

// A settings file chosen from a tree is written by the operations, and
// files are made beside it: one that is a link to a file elsewhere, or that
// lies in a directory a link leads out to, is refused, so that no write
// leaves the tree.
bool liesInItsTree(DirectoryMode mode, const std::string& path, const SettingsRoots& roots) {
  const std::string& root =
      mode == DirectoryMode::Wizard ? roots.wizardDirectory : roots.legacyDirectory;
  return platform::finallyLiesWithin(path, root) &&
         platform::finallyLiesWithin(directoryOf(path), root);
}

}  // namespace

bool chooseRegionSettingsFile(DirectoryMode mode, std::string& path, const std::string& partLabel) {
  return chooseRegionSettingsFile(mode, path, partLabel, defaultSettingsRoots());
}

bool chooseRegionSettingsFile(DirectoryMode mode, std::string& path, const std::string& partLabel,
                              const SettingsRoots& roots) {
  path.clear();
  if (mode == DirectoryMode::Wizard) {
    const std::string& wizard = roots.wizardDirectory;
    // An empty tree lists the placeholder "missing", which is offered as it is
    // and leads to a path that does not exist.
    string_vector parts;
    ZorvVLWizardUtilities::getParts(wizard, parts);
    const std::string part = chooseFromList(partLabel, parts);
    const std::string partDirectory = wizard + "\\" +
                                      ZorvVLWizardUtilities::getPartsDirectoryName() + "\\" +
                                      entryNumber(part, parts) + "_" + part;
    string_vector regions;
    ZorvVLWizardUtilities::getRegions(partDirectory, regions);
    const std::string region = chooseFromList("region", regions);
    path = partDirectory + "\\" + entryNumber(region, regions) + "_" + region + "\\" + region +
           ".qini";
  } else if (mode == DirectoryMode::LegacyQuads) {
    const std::string legacy = roots.legacyDirectory + "\\";
    const std::string directory = chooseFromList("directory", listSubdirectories(legacy));
    const std::string directoryPath = legacy + directory + "\\";
    string_vector names;
    listIniNames(directoryPath, names);
    const std::string name = chooseFromList(".ini file", names);
    path = findIniFile(directoryPath, name);
  }
  return !path.empty() && isFile(path) && liesInItsTree(mode, path, roots);
}

bool chooseRegionToolFile(DirectoryMode mode, const std::string& regionSettingsFile,
                          std::string& path) {
  return chooseRegionToolFile(mode, regionSettingsFile, path, defaultSettingsRoots());
}

bool chooseRegionToolFile(DirectoryMode mode, const std::string& regionSettingsFile,
                          std::string& path, const SettingsRoots& roots) {
  path.clear();
  if (mode == DirectoryMode::Wizard) {
    string_vector regionTools;
    ZorvVLWizardUtilities::getRegionTools(directoryOf(regionSettingsFile), regionTools);
    const std::string tool = chooseFromList("tool", regionTools);
    // The tool is picked among the region's tools, but its file is the tool
    // library's definition, numbered by its place in the library.
    path = libraryToolFile(roots.wizardDirectory, tool);
  } else if (mode == DirectoryMode::LegacyQuads) {
    // A legacy .ini file holds the tool data as well.
    path = regionSettingsFile;
  }
  return !path.empty() && isFile(path) && liesInItsTree(mode, path, roots);
}

bool chooseLibraryToolFile(DirectoryMode mode, std::string& path) {
  return chooseLibraryToolFile(mode, path, defaultSettingsRoots());
}

bool chooseLibraryToolFile(DirectoryMode mode, std::string& path, const SettingsRoots& roots) {
  path.clear();
  if (mode == DirectoryMode::Wizard) {
    string_vector tools;
    ZorvVLWizardUtilities::getTools(roots.wizardDirectory, tools);
    const std::string tool = chooseFromList("tool", tools);
    path = libraryToolFile(roots.wizardDirectory, tool);
  }
  return !path.empty() && isFile(path) && liesInItsTree(mode, path, roots);
}
