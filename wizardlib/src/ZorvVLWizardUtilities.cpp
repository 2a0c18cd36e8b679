// ZorvVLWizardUtilities: the wizard tree's names, listings of numbered
// directories, and plain file and directory operations, all through the
// platform layer's Win32 file calls.
#include <string>

#include "ZorvVLWizard.h"
#include "platform/files.h"
#include "wizard_names.h"

using wizardnames::join;

bool ZorvVLWizardUtilities::isVL3D = false;

namespace {

// The shell's delete takes the path in a 1024-byte buffer ending in two zero
// bytes, so longer paths cannot be passed.
constexpr std::size_t kMaxDeletePathLength = 1022;

}  // namespace

std::string ZorvVLWizardUtilities::getWizardDirectoryName(const std::string& baseDirectory) {
  return join(baseDirectory, isVL3D ? "vl3d_settings" : "vl2_settings");
}

bool ZorvVLWizardUtilities::getDoesWizardDirectoryExist(const std::string& baseDirectory) {
  return getDoesDirectoryExist(getWizardDirectoryName(baseDirectory));
}

void ZorvVLWizardUtilities::setIsVL3D(bool value) {
  isVL3D = value;
}

std::string ZorvVLWizardUtilities::getPartsDirectoryName() {
  return "parts";
}
std::string ZorvVLWizardUtilities::getToolsDirectoryName() {
  return "tools";
}
std::string ZorvVLWizardUtilities::getMiscellaneousDirectoryName() {
  return "misc";
}
std::string ZorvVLWizardUtilities::getObjects3DDirectoryName() {
  return "objects3d";
}
std::string ZorvVLWizardUtilities::getPosettaINIFileName() {
  return "WinVLPosetta.ini";
}

bool ZorvVLWizardUtilities::getNumericDirectories(const std::string& directory,
                                                  string_vector& list) {
  // "NN_*.*" matches every name that starts with NN and an underscore; the
  // first directory in the order the search reports wins.
  return wizardnames::listNumberedEntries(directory, "_*.*", wizardnames::EntryKind::Directory,
                                          list);
}

bool ZorvVLWizardUtilities::getParts(const std::string& wizardDirectory, string_vector& list) {
  return getNumericDirectories(join(wizardDirectory, getPartsDirectoryName()), list);
}

bool ZorvVLWizardUtilities::getRegions(const std::string& partDirectory, string_vector& list) {
  return getNumericDirectories(partDirectory, list);
}

bool ZorvVLWizardUtilities::getRegionTools(const std::string& regionDirectory,
                                           string_vector& list) {
  return getNumericDirectories(regionDirectory, list);
}

bool ZorvVLWizardUtilities::getTools(const std::string& wizardDirectory, string_vector& list) {
  return getNumericDirectories(join(wizardDirectory, getToolsDirectoryName()), list);
}

bool ZorvVLWizardUtilities::getRecursiveFullFileNames(const std::string& directory,
                                                      const std::string& extension,
                                                      string_vector& list) {
  // Subdirectories first. Links (reparse points) are not entered: they may
  // lead out of the tree or back into it.
  for (const platform::FindData& entry : platform::findAll(join(directory, "*.*"))) {
    if (!entry.isDirectory() || entry.isReparsePoint()) continue;
    if (entry.name == "." || entry.name == "..") continue;
    getRecursiveFullFileNames(join(directory, entry.name), extension, list);
  }
  // Links to files are left out too: what is found here is rewritten,
  // restored over or deleted, and a link may lead out of the tree.
  for (const platform::FindData& entry : platform::findAll(join(directory, "*." + extension))) {
    if (!entry.isDirectory() && !entry.isReparsePoint()) {
      list.strings.push_back(join(directory, entry.name));
    }
  }
  return !list.strings.empty();
}

bool ZorvVLWizardUtilities::getDoesFileExist(const std::string& path) {
  platform::DirectorySearch search;
  platform::FindData entry;
  return search.first(path, entry) && !entry.isDirectory();
}

bool ZorvVLWizardUtilities::getDoesDirectoryExist(const std::string& path) {
  platform::DirectorySearch search;
  platform::FindData entry;
  return search.first(path, entry) && entry.isDirectory();
}

bool ZorvVLWizardUtilities::makeDirectory(const std::string& path) {
  return platform::createDirectory(path);
}

bool ZorvVLWizardUtilities::copyFile(const std::string& source, const std::string& target) {
  return platform::copyFile(source, target, false);
}

bool ZorvVLWizardUtilities::deleteFile(const std::string& path) {
  return platform::deleteFile(path);
}

bool ZorvVLWizardUtilities::renameDirectory(const std::string& oldPath,
                                            const std::string& newPath) {
  return platform::moveFile(oldPath, newPath);
}

bool ZorvVLWizardUtilities::makeBlankFile(const std::string& path) {
  return platform::createBlankFile(path);
}

bool ZorvVLWizardUtilities::deleteDirectory(const std::string& path) {
  // A recursive, silent delete of the wrong path is unrecoverable: refuse
  // whatever cannot name one directory below a root, and wildcards, which
  // the shell would expand into several deletions.
  if (path.empty() || path.size() > kMaxDeletePathLength) return false;
  if (path.find_first_of("*?") != std::string::npos) return false;
  if (wizardnames::namesRootOrCurrent(path)) return false;
  return platform::deleteTree(path) == 0;
}
