// A sandbox whose text editor is the recording stand-in (zorv_recording_editor,
// built beside the program): it notes each file it is started with and prints
// "[editor: <file>]" when it ends, after a short pause, so a transcript shows
// that the program waited for it.
#pragma once

#include <string>
#include <vector>

#include "E2eHarness.h"

namespace e2e {

class EditorSandbox : public Sandbox {
 public:
  EditorSandbox() {
    setEnvironment("VISUAL", binaryDirectory() + "/zorv_recording_editor");
    setEnvironment("ZORV_EDITOR_RECORD", recordFile());
  }
  std::string recordFile() const { return root() + "/editor-record.txt"; }

  // The files the editor was started with, in order.
  std::vector<std::string> editedFiles() const {
    std::vector<std::string> files;
    if (!fileExists(recordFile())) return files;
    const std::string text = readFile(recordFile());
    std::size_t start = 0;
    for (std::size_t end = text.find('\n'); end != std::string::npos;
         start = end + 1, end = text.find('\n', start)) {
      files.push_back(text.substr(start, end - start));
    }
    return files;
  }

  // The arm start-up, the directory-mode lines given and the first menu.
  std::string start(const std::string& modeLines) const {
    return armStartupTranscript() + modeLines + mainMenuScreen();
  }
};

// The line the recording editor prints when it ends.
inline std::string editorLine(const std::string& file) {
  return "[editor: " + file + "]\n";
}

}  // namespace e2e
