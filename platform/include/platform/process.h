// Processes: the text editor and the default viewer.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

// Starts the text editor on a file and waits until it ends.
// Win32: CreateProcessA of the command line "notepad.exe " + path (no
// application name, inherited environment and directory), wait without limit,
// close both handles. POSIX: $VISUAL, else $EDITOR, else a default editor,
// started without a shell with one argument: the absolute native path of the
// file the path finds (its on-disk name, found without regard to case), so
// that no file name is taken for an option.
// False when the editor could not be started.
bool runEditorAndWait(const std::string& path);

// Opens a file with its default viewer without waiting (Win32: ShellExecuteExA
// with the "open" verb and SEE_MASK_NOCLOSEPROCESS; POSIX: xdg-open or an
// equivalent, started without a shell). Returns a handle for closeViewer, or
// 0 when nothing was started.
using ViewerHandle = std::uint64_t;
ViewerHandle openWithViewer(const std::string& path);

// Ends a viewer started by openWithViewer (TerminateProcess) and releases its
// handle. Harmless when the viewer has already ended.
void closeViewer(ViewerHandle viewer);

}  // namespace platform
