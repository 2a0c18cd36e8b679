// LoadLibraryA, GetProcAddress, FreeLibrary.

#include "platform/dynlib.h"

#include <windows.h>

#include <cstring>

namespace platform {

LibraryHandle loadLibrary(const std::string& name) {
  if (name.empty()) return nullptr;
  return reinterpret_cast<LibraryHandle>(LoadLibraryA(name.c_str()));
}

void* findSymbol(LibraryHandle library, const std::string& symbol) {
  if (library == nullptr) return nullptr;
  const FARPROC proc = GetProcAddress(static_cast<HMODULE>(library), symbol.c_str());
  // A function address handed on as a plain pointer, as GetProcAddress users do.
  void* address = nullptr;
  static_assert(sizeof address == sizeof proc);
  std::memcpy(&address, &proc, sizeof address);
  return address;
}

bool freeLibrary(LibraryHandle library) {
  if (library == nullptr) return false;
  return FreeLibrary(static_cast<HMODULE>(library)) != 0;
}

}  // namespace platform
