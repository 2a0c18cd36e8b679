// Path lookup of the POSIX backend: turns a Windows-style path into the
// native path of the entry Windows would find, and tells the callers enough
// about what is missing to report the error code Windows would report.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace platform::posix {

enum class ParentState {
  Ok,            // every directory above the leaf exists
  Missing,       // a directory above the leaf is missing
  NotDirectory,  // a component above the leaf is a file
};

struct LookupResult {
  std::uint32_t error = 0;  // non-zero: the path cannot be looked up at all (3, 123)
  ParentState parent = ParentState::Ok;
  bool parentIsLastDirectory = false;  // for NotDirectory: it is the leaf's own parent
  std::string directory;               // native directory holding the leaf ("/" at the top)
  std::string leaf;        // the leaf as named (trailing dots/spaces gone); empty for "/"
  std::string actualLeaf;  // the leaf as stored on disk, when it exists
  bool exists = false;
  bool trailingSeparator = false;
  struct stat st {};  // lstat of the existing leaf

  // The native path of the existing entry (exists must be true).
  std::string existingPath() const;
  // The native path under which a new entry of the given name is made.
  std::string createPath() const;
  bool isDirectory() const { return exists && S_ISDIR(st.st_mode); }
  bool isSymlink() const { return exists && S_ISLNK(st.st_mode); }
};

// Looks a path up the way the Windows path rules do: '\' and '/' separate,
// "X:" maps to /mnt/x, a relative path starts at the current directory, "."
// and ".." are resolved by name, a single trailing dot of a directory name
// and the trailing dots and spaces of the last name are dropped, and a
// component whose exact name is absent is matched without regard to case.
LookupResult lookupPath(const std::string& path);

// Native path for opening an existing entry or creating a new one, with the
// case corrected where the entry or its directories exist under another case.
std::string resolveNativePath(const std::string& path);

// True when the native path, every link followed (realpath), is the native
// directory (also followed) or lies below it; false when either is missing.
bool nativeLiesWithin(const std::string& path, const std::string& directory);

// True for "/" and for emulated drive roots such as "/mnt/c".
bool isNativeRoot(const std::string& nativeDirectory);

// Win32 attribute bits of an entry given its lstat data and native path.
std::uint32_t attributesOf(const struct stat& lst, const std::string& nativePath);

// Whether a regular file counts as read-only (no write bit at all).
bool isReadOnlyMode(mode_t mode);

// The Win32 error code Windows reports for the situation an errno describes.
std::uint32_t win32ErrorFromErrno(int err);

}  // namespace platform::posix
