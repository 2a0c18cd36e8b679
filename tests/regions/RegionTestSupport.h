// A part settings file in a temporary directory and a context printing to the
// captured console, for the region and collection tests.
#pragma once

#include <iostream>
#include <string>

#include "ScriptedConsole.h"
#include "console/ConsoleContext.h"
#include "test_support.h"

inline void printToCapturedConsole(std::string text) {
  std::cout << text;
}

class PartFile {
 public:
  explicit PartFile(const std::string& content, const std::string& name = "Part.qini") {
    path_ = dir_.path() + "\\" + name;
    testsupport::writeFile(path_, content);
    context_.print = printToCapturedConsole;
    context_.partSettingsFile = path_;
  }
  const std::string& path() const { return path_; }
  // The directory as the settings paths name it (the part file's directory).
  std::string directory() const { return dir_.path(); }
  std::string file(const std::string& name) const { return dir_.path() + "\\" + name; }
  ConsoleContext& context() { return context_; }

 private:
  testsupport::TempDir dir_;
  std::string path_;
  ConsoleContext context_{};
};
