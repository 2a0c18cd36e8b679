// The text editor and the default viewer.
//
// On POSIX the editor comes from $VISUAL / $EDITOR, so a test names "cp" with
// a source file as its editor: the "edited" file then holds the source's text,
// which shows the program, its arguments and the file name it received.
// Notepad and the Windows default viewer are interactive programs, so on
// Windows only what happens before anything starts is checked.

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>

#include "platform/process.h"
#include "test_support.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>
#endif

namespace {

#ifdef _WIN32

TEST(Editor, CommandLineLongerThanItsBufferIsRefused) {
  // "notepad.exe " + path must fit in 255 characters; nothing is started.
  EXPECT_FALSE(platform::runEditorAndWait("c:\\" + std::string(250, 'a') + ".txt"));
}

#else

// Sets or removes an environment variable for one test, restoring it after.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    if (value == nullptr) {
      unsetenv(name);
    } else {
      setenv(name, value, 1);
    }
  }
  ~ScopedVariable() {
    if (old_) {
      setenv(name_.c_str(), old_->c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }

 private:
  std::string name_;
  std::optional<std::string> old_;
};

TEST(Editor, VisualThenEditorStartedWithoutShell) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "visual.txt", "from VISUAL");
  testsupport::writeFile(dir / "editor.txt", "from EDITOR");
  const std::string copyVisual = "cp " + (dir / "visual.txt");
  const std::string copyEditor = "cp  \t" + (dir / "editor.txt") + " ";
  struct Case {
    const char* visual;
    const char* editor;
    const char* expected;
  };
  const Case cases[] = {
      {copyVisual.c_str(), copyEditor.c_str(), "from VISUAL"},
      {nullptr, copyEditor.c_str(), "from EDITOR"},
      {"", copyEditor.c_str(), "from EDITOR"},  // an empty VISUAL names no editor
  };
  // Blanks, quotes and shell syntax in the name reach the editor unchanged.
  const std::string target = dir / "my notes; echo 'x' $(true) `y`.txt";
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string("VISUAL=") + (c.visual ? c.visual : "(unset)"));
    ScopedVariable visual("VISUAL", c.visual);
    ScopedVariable editor("EDITOR", c.editor);
    testsupport::writeFile(target, "original");
    ASSERT_TRUE(platform::runEditorAndWait(target));
    // The call returned after the editor ended: its work is complete.
    EXPECT_EQ(testsupport::readFile(target), c.expected);
  }
}

TEST(Editor, BackslashPathConvertedForTheEditor) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "source.txt", "copied");
  std::string target = dir / "target.txt";
  for (char& ch : target) {
    if (ch == '/') ch = '\\';
  }
  ScopedVariable visual("VISUAL", ("cp " + (dir / "source.txt")).c_str());
  ASSERT_TRUE(platform::runEditorAndWait(target));
  EXPECT_EQ(testsupport::readFile(dir / "target.txt"), "copied");
}

TEST(Editor, GetsTheAbsoluteOnDiskNameThatIsNeverAnOption) {
  testsupport::TempDir dir;
  const std::string real = std::filesystem::canonical(dir.path()).string();
  std::filesystem::create_directory(real + "/sub");
  testsupport::writeFile(real + "/out.txt", "x");
  testsupport::writeFile(real + "/sub/-wing.ini", "x");
  // The editor records how many arguments it got and the first one.
  const std::string record = real + "/record.txt";
  testsupport::writeFile(real + "/editor.sh", "printf '%s %s\\n' \"$#\" \"$1\" > '" + record + "'\n");
  ScopedVariable visual("VISUAL", ("/bin/sh " + real + "/editor.sh").c_str());
  struct Case {
    const char* given;
    std::string received;
  } cases[] = {
      {"Out.txt", real + "/out.txt"},         // found without regard to case
      {"SUB\\-Wing.ini", real + "/sub/-wing.ini"},  // every component as on disk
      {"-n", real + "/-n"},                   // a new file named like an option
      {"+5", real + "/+5"},
      {"--", real + "/--"},
  };
  struct InDirectory {
    std::filesystem::path saved = std::filesystem::current_path();
    explicit InDirectory(const std::string& d) { std::filesystem::current_path(d); }
    ~InDirectory() { std::filesystem::current_path(saved); }
  } inDirectory(real);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.given);
    ASSERT_TRUE(platform::runEditorAndWait(c.given));
    EXPECT_EQ(testsupport::readFile(record), "1 " + c.received + "\n");
  }
  const std::string absolute = real + "/out.txt";
  ASSERT_TRUE(platform::runEditorAndWait(absolute));
  EXPECT_EQ(testsupport::readFile(record), "1 " + absolute + "\n");
}

TEST(Editor, MissingEditorReportsFailure) {
  ScopedVariable visual("VISUAL", "zorv-no-such-editor --wait");
  testsupport::TempDir dir;
  EXPECT_FALSE(platform::runEditorAndWait(dir / "file.txt"));
}

bool processGone(pid_t pid) {
  // A killed process that is not our child is reaped by its new parent soon.
  for (int i = 0; i < 1000; ++i) {
    if (kill(pid, 0) != 0 && errno == ESRCH) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

std::string waitForFile(const std::string& path) {
  for (int i = 0; i < 1000; ++i) {
    std::ifstream in(path);
    std::string text;
    if (in && std::getline(in, text) && !text.empty()) return text;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return "";
}

// A stand-in for xdg-open on the search path: records its argument and the
// pid of a viewer it starts in the background, then waits.
class FakeOpener {
 public:
  FakeOpener() {
    if (const char* path = std::getenv("PATH")) path_ = path;
    const std::string script = dir_ / "xdg-open";
    testsupport::writeFile(script,
                           "#!/bin/sh\n"
                           "sleep 60 &\n"
                           "echo $! > '" +
                               (dir_ / "viewer.pid") +
                               "'\n"
                               "echo \"$1\" > '" +
                               (dir_ / "argument") +
                               "'\n"
                               "wait\n");
    chmod(script.c_str(), 0755);
    setenv("PATH", (dir_.path() + ":" + path_).c_str(), 1);
  }
  ~FakeOpener() { setenv("PATH", path_.c_str(), 1); }
  std::string file(const std::string& name) const { return dir_ / name; }

 private:
  testsupport::TempDir dir_;
  std::string path_;
};

TEST(Viewer, OpensWithoutShellAndCloseEndsTheViewer) {
  FakeOpener opener;
  testsupport::TempDir dir;
  const std::string image = dir / "point 1 $(x).png";
  testsupport::writeFile(image, "image");
  const platform::ViewerHandle viewer = platform::openWithViewer(image);
  ASSERT_NE(viewer, 0u);
  EXPECT_EQ(waitForFile(opener.file("argument")), image);
  const std::string grandchild = waitForFile(opener.file("viewer.pid"));
  ASSERT_FALSE(grandchild.empty());
  platform::closeViewer(viewer);
  EXPECT_TRUE(processGone(static_cast<pid_t>(viewer)));
  // The viewer that the opener started in its place ends too.
  EXPECT_TRUE(processGone(static_cast<pid_t>(std::stol(grandchild))));
  platform::closeViewer(viewer);  // a second close is harmless
}

TEST(Viewer, NoOpenerGivesNoHandle) {
  testsupport::TempDir empty;
  ScopedVariable path("PATH", empty.path().c_str());
  EXPECT_EQ(platform::openWithViewer(empty / "file.png"), 0u);
  platform::closeViewer(0);
}

#endif

}  // namespace
