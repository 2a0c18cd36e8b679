// Win32 file calls: thin wrappers of the real API. The error of each call is
// kept per thread at once, before anything else can overwrite GetLastError.
#include "platform/files.h"

#include <windows.h>
// shellapi.h needs the types of windows.h.
#include <shellapi.h>

#include <string>
#include <vector>

namespace platform {

namespace {

thread_local std::uint32_t tLastError = kErrorSuccess;

void captureError() {
  tLastError = GetLastError();
}

bool isSeparator(char c) {
  return c == '\\' || c == '/';
}

// A whole drive or share ("X:\", "\\server\share", also when reached through
// ".." or written without the separator), or a wildcard directly in one:
// never handed to the shell. The path is made full first, as the shell does.
bool isRootPath(const std::string& path) {
  const DWORD needed = GetFullPathNameA(path.c_str(), 0, nullptr, nullptr);
  if (needed == 0) return true;
  std::vector<char> buffer(needed + 1);
  const DWORD n =
      GetFullPathNameA(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (n == 0 || n >= buffer.size()) return true;
  std::string full(buffer.data(), n);
  while (!full.empty() && isSeparator(full.back())) full.pop_back();
  std::size_t depth = 0;  // components below the drive or share
  std::size_t start = 0;
  if (full.size() >= 2 && full[1] == ':') {
    start = 2;
  } else if (full.size() >= 2 && isSeparator(full[0]) && isSeparator(full[1])) {
    // \\server\share: the first two components are the root.
    std::size_t seen = 0;
    start = 2;
    while (start < full.size() && seen < 2) {
      if (isSeparator(full[start])) ++seen;
      if (seen < 2) ++start;
    }
  }
  const std::string rest = start < full.size() ? full.substr(start) : std::string();
  std::string last;
  for (char c : rest) {
    if (isSeparator(c)) {
      if (!last.empty()) ++depth;
      last.clear();
    } else {
      last += c;
    }
  }
  if (!last.empty()) ++depth;
  if (depth == 0) return true;
  return depth == 1 && last.find_first_of("*?") != std::string::npos;
}

}  // namespace

std::uint32_t lastError() {
  return tLastError;
}

std::uint32_t fileAttributes(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  captureError();
  return attributes;
}

bool createDirectory(const std::string& path) {
  const BOOL ok = CreateDirectoryA(path.c_str(), nullptr);
  captureError();
  return ok != FALSE;
}

namespace {

// The volume and index of an existing entry (a link itself, not its target).
bool fileIdentity(const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
  HANDLE handle = CreateFileA(path.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  const BOOL ok = GetFileInformationByHandle(handle, &info);
  CloseHandle(handle);
  return ok != FALSE;
}

bool sameEntry(const std::string& a, const std::string& b) {
  BY_HANDLE_FILE_INFORMATION x{};
  BY_HANDLE_FILE_INFORMATION y{};
  return fileIdentity(a, x) && fileIdentity(b, y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber &&
         x.nFileIndexHigh == y.nFileIndexHigh && x.nFileIndexLow == y.nFileIndexLow;
}

// A name beside target for the copy that will replace it.
std::string replacementName(const std::string& target) {
  static volatile LONG counter = 0;
  return target + ".copy" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(InterlockedIncrement(&counter)) + ".tmp";
}

}  // namespace

bool copyFile(const std::string& source, const std::string& target, bool failIfExists) {
  const DWORD existing = failIfExists ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(target.c_str());
  // An existing file or link (even one to a file elsewhere, or a hard link
  // shared with one) is replaced as an entry of its directory: the copy is
  // made beside it and moved over it, never written through it. A directory,
  // a read-only file and the source itself go to CopyFileA, which refuses
  // them as Windows always has.
  if (existing != INVALID_FILE_ATTRIBUTES && (existing & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
      (existing & FILE_ATTRIBUTE_READONLY) == 0 && !sameEntry(source, target)) {
    const std::string temporary = replacementName(target);
    if (CopyFileA(source.c_str(), temporary.c_str(), TRUE) == FALSE) {
      captureError();
      return false;
    }
    if (MoveFileExA(temporary.c_str(), target.c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) == FALSE) {
      captureError();
      DeleteFileA(temporary.c_str());
      return false;
    }
    tLastError = kErrorSuccess;
    return true;
  }
  const BOOL ok = CopyFileA(source.c_str(), target.c_str(), failIfExists ? TRUE : FALSE);
  captureError();
  return ok != FALSE;
}

bool moveFile(const std::string& source, const std::string& target) {
  const BOOL ok = MoveFileA(source.c_str(), target.c_str());
  captureError();
  return ok != FALSE;
}

bool moveFileReplacing(const std::string& source, const std::string& target) {
  const BOOL ok = MoveFileExA(source.c_str(), target.c_str(),
                              MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH);
  captureError();
  return ok != FALSE;
}

bool deleteFile(const std::string& path) {
  const BOOL ok = DeleteFileA(path.c_str());
  captureError();
  return ok != FALSE;
}

bool createBlankFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  captureError();  // 183 when an existing file was truncated
  if (file == INVALID_HANDLE_VALUE) return false;
  CloseHandle(file);
  return true;
}

int deleteTree(const std::string& path) {
  // An empty list or a whole drive is never handed to the shell.
  if (path.empty()) return kShellErrorInvalidFiles;
  if (isRootPath(path)) return static_cast<int>(kErrorAccessDenied);
  // The shell takes a list of paths, each ending in a zero byte, the list in
  // a second one.
  std::vector<char> from(path.begin(), path.end());
  from.push_back('\0');
  from.push_back('\0');
  SHFILEOPSTRUCTA operation{};
  operation.hwnd = nullptr;
  operation.wFunc = FO_DELETE;
  operation.pFrom = from.data();
  operation.pTo = nullptr;
  operation.fFlags = static_cast<FILEOP_FLAGS>(FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI);
  return SHFileOperationA(&operation);
}

struct DirectorySearch::State {
  HANDLE handle = INVALID_HANDLE_VALUE;
};

DirectorySearch::DirectorySearch() = default;

DirectorySearch::~DirectorySearch() {
  close();
}

void DirectorySearch::close() {
  if (state_ && state_->handle != INVALID_HANDLE_VALUE) FindClose(state_->handle);
  state_.reset();
}

bool DirectorySearch::first(const std::string& pattern, FindData& entry) {
  close();
  WIN32_FIND_DATAA data{};
  HANDLE handle = FindFirstFileA(pattern.c_str(), &data);
  captureError();
  if (handle == INVALID_HANDLE_VALUE) return false;
  state_ = std::make_unique<State>();
  state_->handle = handle;
  entry.name = data.cFileName;
  entry.attributes = data.dwFileAttributes;
  return true;
}

bool DirectorySearch::next(FindData& entry) {
  if (!state_ || state_->handle == INVALID_HANDLE_VALUE) {
    tLastError = kErrorInvalidHandle;
    return false;
  }
  WIN32_FIND_DATAA data{};
  const BOOL ok = FindNextFileA(state_->handle, &data);
  captureError();
  if (ok == FALSE) return false;
  entry.name = data.cFileName;
  entry.attributes = data.dwFileAttributes;
  return true;
}

}  // namespace platform
