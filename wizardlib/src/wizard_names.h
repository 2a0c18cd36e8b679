// Helpers shared by the library's classes: numbered-entry names, path pieces
// and list look-ups. Internal to the library (hidden visibility).
#pragma once

#include <cstdint>
#include <string>

#include "ZorvVLWizard.h"

namespace wizardnames {

// The number of a numbered entry as it is written on disk: "01" to "09", then
// plain decimal ("10", "11", ...).
std::string numberText(std::uint64_t number);

// The prefix of the entry at list position `position` (from 0): numberText of
// position + 1 followed by "_". Computed in 64 bits so that the void index
// gives the same text on every system.
std::string entryPrefix(unsigned long position);

// What a numbered listing collects: the first directory or the first file
// found for each number.
enum class EntryKind { Directory, File };

// Fills `list` with the numbered entries of `directory`: for n = 1, 2, ... it
// searches numberText(n) + patternTail ("_*.*", "_*.bmp", ...) and takes the
// first match of the wanted kind, in the order the search reports, as its
// name without the number and underscore (and, for files, cut at its last
// "."). The listing ends at the first number without a match. An empty result
// becomes the single placeholder "missing" and gives false.
bool listNumberedEntries(const std::string& directory, const std::string& patternTail,
                         EntryKind kind, string_vector& list);

// directory + "\" + name.
std::string join(const std::string& directory, const std::string& name);

// A name found on disk without its leading number and the underscore after
// it ("03_Probe" -> "Probe", "123_x" -> "x"); other names are kept whole.
std::string stripEntryNumber(const std::string& entryName);

// Both '\' and '/' separate path components.
bool isSeparator(char c);
// The path up to its last separator (empty when there is none).
std::string parentOf(const std::string& path);
// The path after its last separator (the whole path when there is none).
std::string lastComponent(const std::string& path);

// Position of the first entry equal to `name` (exact, case-sensitive); the
// list's size when there is none.
unsigned long positionOf(const string_vector& list, const std::string& name);

// The entry at `index`, or an empty text when the index lies outside the list.
std::string entryAt(const string_vector& list, unsigned long index);

// ASCII comparison ignoring case.
bool equalsIgnoreCase(const std::string& a, const std::string& b);

// True when the path, with "." and ".." resolved lexically, names a root, a
// drive root, a share root, or (for a relative path) the current directory or
// one of its ancestors.
bool namesRootOrCurrent(const std::string& path);

// True when the name can only stay one component below the directory it is
// joined to: not empty, not "." or "..", and without separators (possible on
// POSIX file systems for '\'), a drive colon, wildcards or other characters
// Windows refuses in a name.
bool isPlainEntryName(const std::string& name);

}  // namespace wizardnames
