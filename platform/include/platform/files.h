// Files and directories: the Win32 file calls the system depends on.
//
// Every call reports failure through its result and leaves a Win32 error code
// for lastError() (the POSIX backend maps errno the way Windows would report
// the same situation). The POSIX backend reproduces Windows behaviour where
// callers depend on it: wildcard matching (DOS rules, case-insensitive, long
// names only), an NTFS-like sorted enumeration with "." and ".." first,
// read-only enforcement, MAX_PATH (260) limits, and move/copy/create rules.
//
// POSIX path lookup: '\' and '/' both separate, "X:\rest" is /mnt/x/rest, a
// relative path starts at the current directory, "." and ".." are resolved by
// name, the trailing dots and spaces of the last component are dropped, and a
// component whose exact name is absent is found without regard to case. Paths
// longer than kMaxPath characters fail with kErrorFilenameExcedRange.
// A symbolic link is described as itself: kAttributeReparsePoint, plus
// kAttributeDirectory when it points to a directory, so that recursive walks
// can skip it; read-only means a file without any write permission bit.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace platform {

// Win32 error codes used by the file calls.
enum ErrorCode : std::uint32_t {
  kErrorSuccess = 0,
  kErrorFileNotFound = 2,
  kErrorPathNotFound = 3,
  kErrorTooManyOpenFiles = 4,
  kErrorAccessDenied = 5,
  kErrorInvalidHandle = 6,
  kErrorNotSameDevice = 17,
  kErrorNoMoreFiles = 18,
  kErrorGenFailure = 31,
  kErrorSharingViolation = 32,
  kErrorFileExists = 80,
  kErrorInvalidParameter = 87,
  kErrorDiskFull = 112,
  kErrorInvalidName = 123,
  kErrorAlreadyExists = 183,
  kErrorFilenameExcedRange = 206,
  kErrorDirectory = 267,
};

// Win32 file attribute bits.
enum FileAttribute : std::uint32_t {
  kAttributeReadOnly = 0x1,
  kAttributeHidden = 0x2,
  kAttributeDirectory = 0x10,
  kAttributeArchive = 0x20,
  kAttributeNormal = 0x80,
  kAttributeReparsePoint = 0x400,
};
inline constexpr std::uint32_t kInvalidFileAttributes = 0xFFFFFFFFu;
inline constexpr std::size_t kMaxPath = 260;

// GetLastError after the last failing call of this layer on this thread.
std::uint32_t lastError();

// GetFileAttributesA: the attribute bits, or kInvalidFileAttributes.
std::uint32_t fileAttributes(const std::string& path);

enum class PathKind { Missing, File, Directory };
// fileAttributes() reduced to missing / file / directory.
PathKind pathKind(const std::string& path);

// CreateDirectoryA with default security: creates one level; fails when the
// path exists (183) or the parent is missing (3).
bool createDirectory(const std::string& path);

// CopyFileA(source, target, failIfExists): copies content, attributes and
// last-write time; with failIfExists false an existing target is replaced
// unless it is read-only (5).
// A copy that fails part way leaves no partial target. POSIX: an existing
// target file is replaced only once the copy is complete (the copy is made
// beside it and renamed over it), so a failed copy leaves it as it was.
bool copyFile(const std::string& source, const std::string& target, bool failIfExists);

// MoveFileA: renames a file or directory; fails when the target exists (183),
// except for a case-only rename of the same entry.
bool moveFile(const std::string& source, const std::string& target);

// MoveFileExA(source, target, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH):
// renames the file source to target in one step, replacing an existing target
// file, and returns once the move (and the file's data) is on disk. Fails,
// changing nothing, when source is a directory or target is a directory (5)
// or read-only (5), or when the two lie on different volumes (17). POSIX:
// source is flushed with fsync, rename(2) replaces the entry that the target
// path finds (a differently cased existing name included), then the directory
// is flushed.
bool moveFileReplacing(const std::string& source, const std::string& target);

// DeleteFileA: removes a file (not a directory, not a read-only file). A
// symbolic link is removed itself, never its target.
bool deleteFile(const std::string& path);

// CreateFileA(GENERIC_WRITE, no sharing, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL)
// followed by CloseHandle: a new empty file, or an existing one truncated.
bool createBlankFile(const std::string& path);

// SHFileOperationA(FO_DELETE, flags 0x414, no undo) on one path: removes a
// file or a directory with everything below it, permanently and silently.
// Symbolic links are removed, never followed. Returns 0 on success, else a
// non-zero shell or Win32 code (check zero / non-zero only).
// Both backends refuse an empty path and a whole drive or root ("\", "X:\",
// "/", also when reached through "..") without touching the disk; Win32 also
// refuses a wildcard directly in a drive ("X:\*"). POSIX: read-only files
// and directories go too; the path is taken literally and never expanded as a
// wildcard pattern, so a pattern that names no existing entry fails with
// kShellErrorInvalidFiles (Windows would delete the matches).
int deleteTree(const std::string& path);
inline constexpr int kShellErrorInvalidFiles = 0x7C;  // DE_INVALIDFILES

// One entry of a directory search (WIN32_FIND_DATAA reduced to what we use).
struct FindData {
  std::string name;  // cFileName, the on-disk spelling
  std::uint32_t attributes = 0;
  bool isDirectory() const { return (attributes & kAttributeDirectory) != 0; }
  bool isReparsePoint() const { return (attributes & kAttributeReparsePoint) != 0; }
};

// FindFirstFileA / FindNextFileA / FindClose. Only the last component of the
// pattern is a wildcard pattern. Entries come in NTFS order (names compared
// upper-cased, a prefix first), "." and ".." first in every directory but a
// drive or file-system root.
class DirectorySearch {
 public:
  DirectorySearch();
  ~DirectorySearch();
  DirectorySearch(const DirectorySearch&) = delete;
  DirectorySearch& operator=(const DirectorySearch&) = delete;

  // FindFirstFileA: starts a search; false (with lastError()) when nothing
  // matched or the path is invalid. Restarting closes the previous search.
  bool first(const std::string& pattern, FindData& entry);
  // FindNextFileA: false with kErrorNoMoreFiles after the last entry.
  bool next(FindData& entry);
  // FindClose; also done by the destructor.
  void close();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// All entries a search of the pattern returns, in order (empty when none).
std::vector<FindData> findAll(const std::string& pattern);

// Wildcard matching exactly as FindFirstFileA applies it to a long name
// (pattern preparation and DOS_STAR / DOS_QM / DOS_DOT rules,
// case-insensitive). Exposed for tests and for the POSIX search.
bool wildcardMatch(const std::string& pattern, const std::string& name);

}  // namespace platform
