// Windows directory-search name matching and NTFS name order, shared by both
// backends (the POSIX search is built on it; the Win32 backend uses it for
// wildcardMatch only, the real FindFirstFileA does its own matching).
#pragma once

#include <string>
#include <vector>

namespace platform::detail {

// One element of a prepared search pattern.
enum class WildToken : unsigned char {
  Literal,  // one character, compared without regard to case
  Star,     // '*': any run of characters, even an empty one
  DosStar,  // any run that does not take the last '.' of the name
  DosQm,    // one character other than '.'; nothing at a '.' or the end
  DosDot,   // a '.', or nothing at the end of the name
};

struct WildElement {
  WildToken token = WildToken::Literal;
  char32_t ch = 0;  // the character of a Literal, upper-cased
};

struct PreparedPattern {
  bool valid = false;       // false for an empty pattern or one holding '<', '>' or '"'
  bool matchesAll = false;  // "*" or "*.*": every name
  std::vector<WildElement> elements;
};

// Prepares the last component of a FindFirstFileA pattern the way kernel32
// does before the file system sees it: trailing dots and spaces go (when the
// last character is a dot, a final '*' becomes DosStar, so "*." and "* ." take
// names without an extension while "*. " takes every name), "*.*" becomes "*",
// '?' becomes DosQm,
// a '.' before '?' or '*' becomes DosDot and a '*' before '.' becomes DosStar.
PreparedPattern preparePattern(const std::string& component);

// Whether a prepared pattern matches a long name (UTF-8), ignoring case. The
// names "." and ".." follow the rule of directory searches: both match when
// the pattern matches "." with DosStar and DosQm allowed to take that dot.
bool matchPrepared(const PreparedPattern& pattern, const std::string& name);

// True when the text holds '*' or '?'.
bool hasWildcards(const std::string& text);

// Simple Unicode upper-casing of one code point (ASCII, Latin-1, Latin
// Extended-A, basic Greek and Cyrillic); other code points are unchanged.
char32_t upcase(char32_t c);

// UTF-8 to code points; a byte that starts no valid sequence stands for itself.
std::u32string decodeUtf8(const std::string& text);

// The order in which NTFS returns names: each UTF-16 unit upper-cased and
// compared by value, a prefix first. Names equal but for case are ordered by
// their raw bytes so that the order is total. Negative, zero or positive.
int compareNtfsOrder(const std::string& a, const std::string& b);

}  // namespace platform::detail
