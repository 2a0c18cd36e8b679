// Profile-string (INI file) access: the four Win32 calls every settings file
// goes through, with their exact Win32 shapes and return values.
//
// The Win32 backend calls the real functions. The POSIX backend reproduces
// what Windows does with the same file, so that a settings file written on
// one system reads the same on the other:
//  - Lines end at CR, LF or CRLF. Blanks (space, TAB, VT) are trimmed from
//    lines, section names, keys and values. A line whose first non-blank
//    character is ';' is a comment; '#' and a later ';' are ordinary text.
//  - "[name]" starts a section (the name runs to the first ']'); any other
//    line with '=' is an entry; lines before the first header belong to no
//    section. Names compare case-insensitively (ASCII); the caller's section
//    and key names are trimmed of spaces only. The first section and the
//    first key of a name win.
//  - One outer pair of matching quotes is removed from a value read by
//    getProfileString / getProfileInt.
//  - A UTF-8 BOM is not recognised (its bytes start the first line); a file
//    starting FF FE is UTF-16LE, read through the ANSI code page (1252 on
//    POSIX) and kept UTF-16LE on write.
//  - A file name that is not absolute is resolved against the current
//    directory (there is no Windows directory on POSIX; Windows itself looks a
//    bare name up in the Windows directory, so callers pass full paths). Both
//    '\' and '/' separate components, and a file is found whatever the case
//    of its name, as Windows finds it.
//  - Every call reads the file afresh; nothing is cached, so a change made by
//    another process is seen by the next call.
//  - A write edits the text in place: only the changed lines change, every
//    other byte stays as it was. It is atomic: the new text goes to a
//    temporary file in the same directory, is flushed to disk and renamed over
//    the original, keeping its permissions, owner and group. Where the
//    directory cannot be written but the file can, or the owner or group
//    could not be kept so, the file itself is rewritten and flushed, as
//    Windows does (room for a longer text reserved first; when writing or
//    flushing fails after all, the old text is put back). A write that cannot be done (read-only file, a file the
//    user may not write, missing directory, a new file in an unwritable
//    directory, full disk) returns false and leaves the old file as it was.
//
// Never pass "" as a section or key name: the ANSI calls of Windows crash when
// such a name is a read-only empty string.
#pragma once

#include <cstddef>
#include <cstdint>

namespace platform {

// GetPrivateProfileStringA.
// - section and key given: the key's value (quotes removed), else the default
//   (nullptr means "") with its trailing spaces removed. Copies
//   min(length, size - 1) characters and a NUL and returns the count, so a
//   truncated value returns size - 1. size 0 returns 0 and writes nothing.
// - section nullptr: the names of all sections; key nullptr: the keys of the
//   section. Each name is followed by a NUL and the list by another. When the
//   list does not fit, the first size - 2 characters are copied followed by
//   two NULs and size - 2 is returned; otherwise the list length without its
//   final NUL. An empty list returns 0 with buffer[0] = NUL.
std::uint32_t getProfileString(const char* section, const char* key, const char* defaultValue,
                               char* buffer, std::uint32_t size, const char* fileName);

// GetPrivateProfileIntA: the default when the file, section or key is missing
// (or the value is empty); otherwise the value converted as Windows does:
// leading blanks skipped, optional sign, digits up to the first non-digit
// (0 when there are none), modulo 2^32. Returned as UINT: callers cast to int.
unsigned int getProfileInt(const char* section, const char* key, int defaultValue,
                           const char* fileName);

// GetPrivateProfileSectionA: every non-blank, non-comment line of the section
// as "key=value" (both trimmed, quotes kept) or as the bare line, each followed
// by a NUL, the list by another; truncation and return as for the lists of
// getProfileString. A missing or empty section returns 0 (so a section whose
// only line is one character long returns 2).
std::uint32_t getProfileSection(const char* section, char* buffer, std::uint32_t size,
                                const char* fileName);

// WritePrivateProfileStringA.
// - section, key and value: replaces the first matching key's value in place,
//   or adds "key=value" after the section's last entry, or appends a new
//   section "[section]\r\nkey=value\r\n" at the end of the file, creating the
//   file when its directory exists. The value is written verbatim.
// - value nullptr: deletes the key's line. key nullptr: deletes the section's
//   header and its lines (comment lines stay).
// Returns false when section is nullptr or the file cannot be written; the
// file is then unchanged.
bool writeProfileString(const char* section, const char* key, const char* value,
                        const char* fileName);

// Several writeProfileString calls on one section as one atomic update: the
// file ends up with exactly the bytes that the calls writeProfileString(
// section, keys[i], values[i], fileName) for i = 0 .. count - 1, in that
// order, would leave (keys[i] nullptr deletes the section, values[i] nullptr
// the key, as there), but it is replaced once, so that a reader or a crash
// sees either the old file or the file with every change. Returns false when
// section is nullptr or the file cannot be written; the file is then
// unchanged. count 0 changes nothing and returns true.
//
// The Win32 backend applies the calls to a copy of the file in the same
// directory (a new empty file when there is none), flushes it and moves it
// over the original; a read-only file is refused as writeProfileString
// refuses it. A copy left behind by a process killed in between is a file
// named "ini*.tmp" beside the settings file.
bool writeProfileStrings(const char* section, const char* const* keys, const char* const* values,
                         std::size_t count, const char* fileName);

// One writeProfileString call: its section, key and value.
struct ProfileEdit {
  const char* section;
  const char* key;    // nullptr deletes the section
  const char* value;  // nullptr deletes the key
};

// writeProfileStrings over any sections of the file: the file ends up with
// exactly the bytes that the calls writeProfileString(edits[i].section,
// edits[i].key, edits[i].value, fileName) for i = 0 .. count - 1, in that
// order, would leave, and it is replaced once, so that a reader or a crash
// sees either the old file or the file with every change (every section
// wholly old or wholly new). Returns false when a section is nullptr or the
// file cannot be written; the file is then unchanged. count 0 changes nothing
// and returns true. The Win32 backend works on a copy of the file as
// writeProfileStrings does.
bool writeProfileEdits(const ProfileEdit* edits, std::size_t count, const char* fileName);

}  // namespace platform
