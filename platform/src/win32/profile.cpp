// Profile-string calls: the Win32 functions themselves.
#include "platform/profile.h"

#include <windows.h>

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

}  // namespace platform
