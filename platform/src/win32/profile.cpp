// Profile-string calls: the Win32 functions themselves.
#include "platform/profile.h"

#include <windows.h>

#include <string>
#include <vector>

namespace platform {

std::uint32_t getProfileString(const char* section, const char* key, const char* defaultValue,
                               char* buffer, std::uint32_t size, const char* fileName) {
  return GetPrivateProfileStringA(section, key, defaultValue, buffer, size, fileName);
}

unsigned int getProfileInt(const char* section, const char* key, int defaultValue,
                           const char* fileName) {
  return GetPrivateProfileIntA(section, key, defaultValue, fileName);
}

std::uint32_t getProfileSection(const char* section, char* buffer, std::uint32_t size,
                                const char* fileName) {
  return GetPrivateProfileSectionA(section, buffer, size, fileName);
}

bool writeProfileString(const char* section, const char* key, const char* value,
                        const char* fileName) {
  return WritePrivateProfileStringA(section, key, value, fileName) != FALSE;
}

bool writeProfileStrings(const char* section, const char* const* keys, const char* const* values,
                         std::size_t count, const char* fileName) {
  if (section == nullptr) return false;
  if (count > 0 && (keys == nullptr || values == nullptr)) return false;
  std::vector<ProfileEdit> edits(count);
  for (std::size_t i = 0; i < count; ++i) edits[i] = ProfileEdit{section, keys[i], values[i]};
  return writeProfileEdits(edits.data(), count, fileName);
}

bool writeProfileEdits(const ProfileEdit* edits, std::size_t count, const char* fileName) {
  if (fileName == nullptr || *fileName == '\0') return false;
  if (count == 0) return true;
  if (edits == nullptr) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (edits[i].section == nullptr) return false;
  }
  // The profile calls look a bare file name up in the Windows directory; the
  // copy must go beside the file they would use.
  std::string target = fileName;
  if (target.find_first_of("\\/") == std::string::npos) {
    char windows[MAX_PATH];
    UINT length = GetWindowsDirectoryA(windows, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return false;
    target = std::string(windows, length) + "\\" + target;
  }
  const DWORD attributes = GetFileAttributesA(target.c_str());
  const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
  if (!exists && GetLastError() != ERROR_FILE_NOT_FOUND) return false;
  if (exists && (attributes & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    return false;
  }
  const std::string directory = target.substr(0, target.find_last_of("\\/") + 1);
  char temp[MAX_PATH];
  if (GetTempFileNameA(directory.c_str(), "ini", 0, temp) == 0) return false;  // creates it empty
  bool ok = !exists || CopyFileA(target.c_str(), temp, FALSE) != FALSE;
  for (std::size_t i = 0; ok && i < count; ++i) {
    ok = WritePrivateProfileStringA(edits[i].section, edits[i].key, edits[i].value, temp) != FALSE;
  }
  if (ok) {
    // The copy's bytes reach the disk before the move makes them the file.
    HANDLE handle =
        CreateFileA(temp, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ok = handle != INVALID_HANDLE_VALUE && FlushFileBuffers(handle) != FALSE;
    if (handle != INVALID_HANDLE_VALUE) CloseHandle(handle);
  }
  ok = ok && MoveFileExA(temp, target.c_str(),
                         MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != FALSE;
  if (!ok) DeleteFileA(temp);
  return ok;
}

}  // namespace platform
