// Path model and process-wide locations.
//
// Paths are built as on Windows: components joined with a backslash, drive
// paths such as "c:\quads". The Win32 backend hands them to the API as they
// are. The POSIX backend converts them at its boundary: both '\' and '/'
// separate components, and a drive path "X:\rest" maps to "/mnt/x/rest"
// (drive letter lower-cased), so "c:\quads" is "/mnt/c/quads".
#pragma once

#include <cstdio>
#include <optional>
#include <string>

namespace platform {

// The path as the operating system takes it. Win32: unchanged. POSIX:
// separators turned into '/', a leading "X:" drive mapped to "/mnt/x".
std::string nativePath(const std::string& path);

// True for a path that does not depend on the current directory.
// Win32: a drive path ("X:\..." or "X:/..."), or a UNC / rooted path.
// POSIX: starts with '\' or '/', or is a drive path ("X:\...").
bool isAbsolutePath(const std::string& path);

// GetCurrentDirectoryA: the current directory, empty on failure. POSIX: the
// native path as getcwd reports it.
std::string currentDirectory();

// GetModuleFileNameA(NULL): full path of the running executable. POSIX: the
// target of /proc/self/exe. Empty on failure.
std::string executablePath();

// The executable's directory: executablePath() up to, not including, its last
// separator.
std::string executableDirectory();

// The host program's path as its command line names it: the first element of
// GetCommandLineW split by CommandLineToArgvW, converted from UTF-16 to UTF-8.
// POSIX: executablePath().
std::string hostProgramPath();

// getenv: the value, or nothing when the variable is not set.
std::optional<std::string> environmentVariable(const std::string& name);

// fopen on the converted path (mode as for fopen). POSIX: the path is looked
// up as the file calls of files.h look it up, so that a name differing only
// in case, or with trailing dots, finds the existing file as on Windows; a
// new file gets the name as written.
std::FILE* openFile(const std::string& path, const char* mode);

// True when the entry the path names, with every link on the way followed,
// lies in the directory (also followed) or below it: the place a write to
// the path would change. False when either does not exist. POSIX: realpath of
// both converted paths; Win32: GetFinalPathNameByHandleA of both, compared
// without regard to case.
bool finallyLiesWithin(const std::string& path, const std::string& directory);

// A new file for writing ("w", or "wb" when binary): whatever entry has the
// name (a file, or a link itself, never what it points to) is removed first,
// and the file is then created exclusively, so that nothing is ever written
// through a name that was there before (a link planted under a temporary
// name, say). nullptr when the name is a directory, the old entry cannot be
// removed or the file cannot be created.
std::FILE* createNewFile(const std::string& path, bool binary);

// The size in bytes of the file open as `file` (taken from the open file
// itself, so it describes exactly what is being read), or −1 when it cannot
// be determined. POSIX: fstat; Win32: _filelengthi64.
long long openFileSize(std::FILE* file);

}  // namespace platform
