// The text editor and the default viewer on POSIX, started without a shell
// so that nothing in a file name is read as shell syntax.

#include "platform/process.h"

#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/paths.h"
#include "posix/path_lookup.h"
#include "posix/terminal.h"

extern char** environ;

namespace platform {
namespace {

std::vector<std::string> splitOnBlanks(const std::string& text) {
  std::vector<std::string> words;
  std::string word;
  for (char c : text) {
    if (c == ' ' || c == '\t') {
      if (!word.empty()) words.push_back(word);
      word.clear();
    } else {
      word.push_back(c);
    }
  }
  if (!word.empty()) words.push_back(word);
  return words;
}

bool onSearchPath(const std::string& program) {
  const char* path = std::getenv("PATH");
  if (path == nullptr) return false;
  std::string list = path;
  std::size_t start = 0;
  while (start <= list.size()) {
    std::size_t end = list.find(':', start);
    if (end == std::string::npos) end = list.size();
    std::string dir = list.substr(start, end - start);
    if (dir.empty()) dir = ".";
    std::string candidate = dir;
    candidate += '/';
    candidate += program;
    struct stat st;
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
        access(candidate.c_str(), X_OK) == 0) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

// $VISUAL, else $EDITOR (each a program with optional arguments separated by
// blanks), else nano when it is installed, else vi.
std::vector<std::string> editorCommand() {
  for (const char* variable : {"VISUAL", "EDITOR"}) {
    if (const char* value = std::getenv(variable)) {
      std::vector<std::string> words = splitOnBlanks(value);
      if (!words.empty()) return words;
    }
  }
  return {onSearchPath("nano") ? "nano" : "vi"};
}

// posix_spawnp of the words; the child's pid, or -1.
pid_t spawn(const std::vector<std::string>& words, bool ownProcessGroup) {
  std::vector<char*> argv;
  argv.reserve(words.size() + 1);
  for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
  argv.push_back(nullptr);
  posix_spawnattr_t attributes;
  if (posix_spawnattr_init(&attributes) != 0) return -1;
  if (ownProcessGroup) {
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
  }
  pid_t pid = -1;
  const int error = posix_spawnp(&pid, argv[0], nullptr, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  return error == 0 ? pid : -1;
}

// The file as the editor is given it: the native path of the entry the name
// finds (names are found without regard to case, as Windows finds them, so
// "Out.txt" can name out.txt, and the editor must open that file), made
// absolute, so that a name beginning with '-' or '+' can never be read as an
// option. An empty name stays empty.
std::string editorArgument(const std::string& path) {
  if (path.empty()) return path;
  std::string native = posix::resolveNativePath(path);
  if (native.empty() || native.front() != '/') native = currentDirectory() + "/" + native;
  return native;
}

void reap(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

std::mutex g_viewersMutex;
std::set<pid_t> g_viewers;  // started and not yet reaped

}  // namespace

bool runEditorAndWait(const std::string& path) {
  std::vector<std::string> command = editorCommand();
  command.push_back(editorArgument(path));
  std::cout.flush();
  // The editor gets the terminal as the user had it.
  console::detail::restoreTerminalMode();
  const pid_t pid = spawn(command, false);
  if (pid < 0) return false;
  reap(pid);
  return true;
}

ViewerHandle openWithViewer(const std::string& path) {
  // In a process group of its own, so that closing it also ends the viewer
  // that xdg-open may have started in its place.
  const pid_t pid = spawn({"xdg-open", nativePath(path)}, true);
  if (pid <= 0) return 0;
  std::lock_guard<std::mutex> lock(g_viewersMutex);
  g_viewers.insert(pid);
  return static_cast<ViewerHandle>(pid);
}

void closeViewer(ViewerHandle viewer) {
  const auto pid = static_cast<pid_t>(viewer);
  {
    std::lock_guard<std::mutex> lock(g_viewersMutex);
    // Only our own, unreaped children: a reaped pid may belong to anyone now.
    if (viewer == 0 || g_viewers.erase(pid) == 0) return;
  }
  kill(-pid, SIGTERM);
  // A short grace period, then the group is ended for sure.
  for (int i = 0; i < 50; ++i) {
    int status = 0;
    const pid_t done = waitpid(pid, &status, WNOHANG);
    if (done == pid || (done < 0 && errno != EINTR)) {
      kill(-pid, SIGKILL);
      return;
    }
    usleep(10000);
  }
  kill(-pid, SIGKILL);
  reap(pid);
}

}  // namespace platform
