// Dynamic loading: LoadLibraryA, GetProcAddress, FreeLibrary.
#pragma once

#include <string>

namespace platform {

using LibraryHandle = void*;

// LoadLibraryA. POSIX: a name "N.dll" is looked up as "libN.so" first in the
// executable's directory, then on the normal search path; other names are
// passed to dlopen as they are. Null on failure.
LibraryHandle loadLibrary(const std::string& name);

// GetProcAddress: the symbol's address, null when missing or library is null.
void* findSymbol(LibraryHandle library, const std::string& symbol);

// FreeLibrary.
bool freeLibrary(LibraryHandle library);

}  // namespace platform
