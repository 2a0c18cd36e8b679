// Path calls built on the backend's primitives, the same on every platform.
#include <cstdlib>

#include "platform/paths.h"

namespace platform {

std::string executableDirectory() {
  const std::string path = executablePath();
  const std::size_t sep = path.find_last_of("\\/");
  if (sep == std::string::npos) return {};
  if (sep == 0) return path.substr(0, 1);  // the file-system root
  return path.substr(0, sep);
}

std::optional<std::string> environmentVariable(const std::string& name) {
  const char* value = std::getenv(name.c_str());
  if (value == nullptr) return std::nullopt;
  return std::string(value);
}

}  // namespace platform
