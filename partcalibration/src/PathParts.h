// The parts of a settings path built with backslashes.
#pragma once

#include <string>

namespace partcalibration::detail {

// Everything after the last backslash (the whole path when it holds none).
inline std::string fileNameOf(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Everything before the last backslash (empty when it holds none).
inline std::string directoryOf(const std::string& path) {
  const std::size_t slash = path.rfind('\\');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace partcalibration::detail
