// LoadLibraryA, GetProcAddress and FreeLibrary on dlopen.
//
// Windows finds a DLL beside the program first. Here "N.dll" becomes
// "libN.so", tried in the executable's directory, then on the normal search
// path of the dynamic loader.

#include "platform/dynlib.h"

#include <dlfcn.h>

#include <cctype>

#include "platform/paths.h"

namespace platform {
namespace {

bool endsWithDll(const std::string& name) {
  if (name.size() <= 4) return false;
  std::string tail = name.substr(name.size() - 4);
  for (char& c : tail) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".dll";
}

void* open(const std::string& file) {
  return dlopen(file.c_str(), RTLD_NOW | RTLD_LOCAL);
}

}  // namespace

LibraryHandle loadLibrary(const std::string& name) {
  if (name.empty()) return nullptr;
  const bool bare = name.find_first_of("/\\") == std::string::npos;
  if (bare && endsWithDll(name)) {
    const std::string soName = "lib" + name.substr(0, name.size() - 4) + ".so";
    const std::string directory = executableDirectory();
    if (!directory.empty()) {
      if (void* handle = open(directory + "/" + soName)) return handle;
    }
    return open(soName);
  }
  // A path, or a name that is not a DLL name: as it is (paths converted).
  return open(bare ? name : nativePath(name));
}

void* findSymbol(LibraryHandle library, const std::string& symbol) {
  if (library == nullptr) return nullptr;
  return dlsym(library, symbol.c_str());
}

bool freeLibrary(LibraryHandle library) {
  if (library == nullptr) return false;
  return dlclose(library) == 0;
}

}  // namespace platform
