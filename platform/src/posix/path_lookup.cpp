#include "posix/path_lookup.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "common/wildcard.h"
#include "platform/files.h"
#include "platform/paths.h"

namespace platform::posix {

namespace {

std::string join(const std::string& directory, const std::string& name) {
  if (name.empty()) return directory;
  if (directory == "/") return "/" + name;
  return directory + "/" + name;
}

bool allDots(const std::string& s) {
  return s.find_first_not_of('.') == std::string::npos;
}

// The entry of a directory whose name equals the wanted one but for case;
// when several do (possible on Linux), the first in NTFS order. Empty when
// there is none.
std::string findIgnoringCase(const std::string& directory, const std::string& name) {
  DIR* dir = opendir(directory.c_str());
  if (dir == nullptr) return {};
  std::u32string wanted = detail::decodeUtf8(name);
  for (char32_t& c : wanted) c = detail::upcase(c);
  std::string best;
  while (const dirent* ent = readdir(dir)) {
    const std::string candidate = ent->d_name;
    if (candidate == "." || candidate == "..") continue;
    std::u32string chars = detail::decodeUtf8(candidate);
    if (chars.size() != wanted.size()) continue;
    for (char32_t& c : chars) c = detail::upcase(c);
    if (chars != wanted) continue;
    if (best.empty() || detail::compareNtfsOrder(candidate, best) < 0) best = candidate;
  }
  closedir(dir);
  return best;
}

// Splits a native path into components, resolving "." and ".." by name and
// dropping the dots and spaces that Windows drops.
std::vector<std::string> normalizedComponents(const std::string& native, bool trailingSeparator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= native.size()) {
    std::size_t end = native.find('/', start);
    if (end == std::string::npos) end = native.size();
    std::string part = native.substr(start, end - start);
    start = end + 1;
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  for (std::size_t i = 0; i < parts.size(); ++i) {
    std::string& part = parts[i];
    if (allDots(part)) continue;
    if (i + 1 == parts.size() && !trailingSeparator) {
      std::string stripped = part;
      while (!stripped.empty() && (stripped.back() == '.' || stripped.back() == ' ')) {
        stripped.pop_back();
      }
      if (!stripped.empty()) part = stripped;
    } else if (part.back() == '.') {
      part.pop_back();
    }
  }
  return parts;
}

}  // namespace

std::string LookupResult::existingPath() const {
  return join(directory, actualLeaf);
}

std::string LookupResult::createPath() const {
  return join(directory, leaf);
}

LookupResult lookupPath(const std::string& path) {
  LookupResult r;
  if (path.empty()) {
    r.error = kErrorPathNotFound;
    return r;
  }
  std::string native = nativePath(path);
  r.trailingSeparator = native.size() > 1 && native.back() == '/';
  if (native.front() != '/') {
    const std::string cwd = currentDirectory();
    if (cwd.empty()) {
      r.error = kErrorPathNotFound;
      return r;
    }
    native = cwd + "/" + native;
  }
  const std::vector<std::string> parts = normalizedComponents(native, r.trailingSeparator);

  if (parts.empty()) {
    r.directory = "/";
    r.exists = lstat("/", &r.st) == 0;
    return r;
  }

  std::string full = "/";
  for (const std::string& part : parts) full = join(full, part);
  const std::size_t leafAt = full.rfind('/');
  r.leaf = parts.back();
  // The common case: the path exists exactly as named.
  if (lstat(full.c_str(), &r.st) == 0) {
    r.directory = leafAt == 0 ? "/" : full.substr(0, leafAt);
    r.actualLeaf = r.leaf;
    r.exists = true;
    return r;
  }

  std::string current = "/";
  for (std::size_t i = 0; i + 1 < parts.size(); ++i) {
    std::string candidate = join(current, parts[i]);
    struct stat st {};
    bool found = stat(candidate.c_str(), &st) == 0;
    if (!found) {
      const std::string other = findIgnoringCase(current, parts[i]);
      if (!other.empty()) {
        candidate = join(current, other);
        found = stat(candidate.c_str(), &st) == 0;
      }
    }
    if (!found) {
      r.parent = ParentState::Missing;
      r.directory = join(current, parts[i]);
      // Windows refuses wildcards anywhere but in a search's last component.
      if (detail::hasWildcards(parts[i])) r.error = kErrorInvalidName;
      return r;
    }
    if (!S_ISDIR(st.st_mode)) {
      r.parent = ParentState::NotDirectory;
      r.parentIsLastDirectory = i + 2 == parts.size();
      r.directory = candidate;
      return r;
    }
    current = candidate;
  }

  r.directory = current;
  std::string candidate = join(current, r.leaf);
  if (lstat(candidate.c_str(), &r.st) == 0) {
    r.actualLeaf = r.leaf;
    r.exists = true;
    return r;
  }
  const std::string other = findIgnoringCase(current, r.leaf);
  if (!other.empty() && lstat(join(current, other).c_str(), &r.st) == 0) {
    r.actualLeaf = other;
    r.exists = true;
  }
  return r;
}

std::string resolveNativePath(const std::string& path) {
  const LookupResult r = lookupPath(path);
  if (r.error != 0 || r.parent != ParentState::Ok) return nativePath(path);
  return r.exists ? r.existingPath() : r.createPath();
}

bool isNativeRoot(const std::string& nativeDirectory) {
  if (nativeDirectory == "/") return true;
  return nativeDirectory.size() == 6 && nativeDirectory.compare(0, 5, "/mnt/") == 0 &&
         nativeDirectory[5] >= 'a' && nativeDirectory[5] <= 'z';
}

bool isReadOnlyMode(mode_t mode) {
  return (mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

std::uint32_t attributesOf(const struct stat& lst, const std::string& nativePath) {
  if (S_ISLNK(lst.st_mode)) {
    // A link is described as itself: a reparse point, a directory when its
    // target is one, so that recursive walks can recognise and skip it.
    struct stat target {};
    const bool toDirectory = stat(nativePath.c_str(), &target) == 0 && S_ISDIR(target.st_mode);
    const std::uint32_t kind = toDirectory ? kAttributeDirectory : kAttributeArchive;
    return kAttributeReparsePoint | kind;
  }
  if (S_ISDIR(lst.st_mode)) return kAttributeDirectory;
  const std::uint32_t readOnly = isReadOnlyMode(lst.st_mode) ? kAttributeReadOnly : 0u;
  return kAttributeArchive | readOnly;
}

std::uint32_t win32ErrorFromErrno(int err) {
  switch (err) {
    case 0:
      return kErrorSuccess;
    case ENOENT:
      return kErrorFileNotFound;
    case ENOTDIR:
      return kErrorPathNotFound;
    case EEXIST:
    case ENOTEMPTY:
      return kErrorAlreadyExists;
    case EACCES:
    case EPERM:
    case EISDIR:
    case EROFS:
      return kErrorAccessDenied;
    case ENAMETOOLONG:
      return kErrorFilenameExcedRange;
    case EBUSY:
    case ETXTBSY:
      return kErrorSharingViolation;
    case ENOSPC:
    case EDQUOT:
      return kErrorDiskFull;
    case EINVAL:
      return kErrorInvalidParameter;
    case EXDEV:
      return kErrorNotSameDevice;
    case EMFILE:
    case ENFILE:
      return kErrorTooManyOpenFiles;
    default:
      return kErrorGenFailure;
  }
}

bool nativeLiesWithin(const std::string& path, const std::string& directory) {
  char* inner = realpath(path.c_str(), nullptr);
  char* outer = realpath(directory.c_str(), nullptr);
  bool within = false;
  if (inner != nullptr && outer != nullptr) {
    const std::string a = inner;
    const std::string b = outer;
    within = a == b || (a.size() > b.size() && a.compare(0, b.size(), b) == 0 &&
                        (b == "/" || a[b.size()] == '/'));
  }
  std::free(inner);
  std::free(outer);
  return within;
}

}  // namespace platform::posix
