// Helpers of the wizard library's consumer tests: building wizard trees in a
// temporary folder. Paths are joined with a backslash, as the library joins
// them; the test-support helpers hand them to the file system.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "ZorvVLWizard.h"
#include "test_support.h"

namespace wiztest {

inline std::string join(const std::string& directory, const std::string& name) {
  return directory + "\\" + name;
}

inline std::string parentOf(const std::string& path) {
  const std::size_t at = path.find_last_of("\\/");
  return at == std::string::npos ? std::string() : path.substr(0, at);
}

// Creates the directory with every missing level above it.
inline void makeDir(const std::string& path) {
  testsupport::makeDirectories(path);
}

// Creates (or replaces) the file, creating its directory first.
inline void makeFile(const std::string& path, const std::string& content = "") {
  makeDir(parentOf(path));
  testsupport::writeFile(path, content);
}

// A library tool definition naming its positioning device.
inline void makeToolDefinition(const std::string& wizard, const std::string& entry,
                               const std::string& name, const std::string& device) {
  makeFile(join(join(join(wizard, "tools"), entry), name + ".tini"),
           "[PositionCapture]\r\nDevice=" + device + "\r\n");
}

inline std::vector<std::string> listOf(const string_vector& list) {
  return list.get();
}

using Names = std::vector<std::string>;

}  // namespace wiztest
