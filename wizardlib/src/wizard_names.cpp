#include "wizard_names.h"

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/files.h"

namespace wizardnames {

std::string numberText(std::uint64_t number) {
  std::string text = std::to_string(number);
  if (number < 10) text.insert(text.begin(), '0');
  return text;
}

std::string entryPrefix(unsigned long position) {
  return numberText(static_cast<std::uint64_t>(position) + 1) + "_";
}

bool listNumberedEntries(const std::string& directory, const std::string& patternTail,
                         EntryKind kind, string_vector& list) {
  list.strings.clear();
  for (std::uint64_t number = 1;; ++number) {
    const std::string prefix = numberText(number);
    bool found = false;
    platform::DirectorySearch search;
    platform::FindData entry;
    for (bool more = search.first(join(directory, prefix + patternTail), entry); more;
         more = search.next(entry)) {
      // A volume with 8.3 names may match a long name through its short
      // name; one too short to hold the prefix is not a numbered entry.
      if (entry.isDirectory() != (kind == EntryKind::Directory) ||
          entry.name.size() <= prefix.size()) {
        continue;
      }
      std::string name = entry.name.substr(prefix.size() + 1);
      if (kind == EntryKind::File) {
        const std::size_t dot = name.rfind('.');
        if (dot != std::string::npos) name.erase(dot);
      }
      list.strings.push_back(name);
      found = true;
      break;
    }
    search.close();
    if (!found) break;
  }
  if (list.strings.empty()) {
    list.strings.push_back("missing");
    return false;
  }
  return true;
}

bool isPlainEntryName(const std::string& name) {
  if (name.empty() || name == "." || name == "..") return false;
  for (char c : name) {
    if (isSeparator(c) || static_cast<unsigned char>(c) < 0x20) return false;
    if (std::string_view(":*?\"<>|").find(c) != std::string_view::npos) return false;
  }
  return true;
}

std::string join(const std::string& directory, const std::string& name) {
  return directory + "\\" + name;
}

std::string stripEntryNumber(const std::string& entryName) {
  std::size_t i = 0;
  while (i < entryName.size() && entryName[i] >= '0' && entryName[i] <= '9') ++i;
  if (i < entryName.size() && entryName[i] == '_') return entryName.substr(i + 1);
  return entryName;
}

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

static std::size_t lastSeparator(const std::string& path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    if (isSeparator(path[i - 1])) return i - 1;
  }
  return std::string::npos;
}

std::string parentOf(const std::string& path) {
  std::size_t at = lastSeparator(path);
  return at == std::string::npos ? std::string() : path.substr(0, at);
}

std::string lastComponent(const std::string& path) {
  std::size_t at = lastSeparator(path);
  return at == std::string::npos ? path : path.substr(at + 1);
}

unsigned long positionOf(const string_vector& list, const std::string& name) {
  const auto& strings = list.strings;
  for (std::size_t i = 0; i < strings.size(); ++i) {
    if (strings[i] == name) return static_cast<unsigned long>(i);
  }
  return static_cast<unsigned long>(strings.size());
}

std::string entryAt(const string_vector& list, unsigned long index) {
  if (index >= list.strings.size()) return std::string();
  return list.strings[index];
}

static char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equalsIgnoreCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

bool namesRootOrCurrent(const std::string& path) {
  std::size_t pos = 0;
  std::size_t fixedComponents = 0;  // server and share of a UNC path
  const bool drive = path.size() >= 2 && path[1] == ':' &&
                     ((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z'));
  if (drive) {
    pos = 2;  // "C:" alone counts as the drive root
  } else if (path.size() >= 2 && isSeparator(path[0]) && isSeparator(path[1])) {
    fixedComponents = 2;  // "\\server\share" is a root too
  }

  std::vector<std::string> parts;
  std::size_t depth = 0;
  while (pos <= path.size()) {
    std::size_t end = pos;
    while (end < path.size() && !isSeparator(path[end])) ++end;
    std::string component = path.substr(pos, end - pos);
    pos = end + 1;
    if (component.empty() || component == ".") continue;
    if (parts.size() < fixedComponents) {
      parts.push_back(component);
      continue;
    }
    if (component == "..") {
      // Above a root stays at the root; above the current directory a later
      // name leads to a sibling, so only the named components left count.
      if (depth > 0) --depth;
      continue;
    }
    ++depth;
  }
  if (parts.size() < fixedComponents) return true;
  return depth == 0;
}

}  // namespace wizardnames
