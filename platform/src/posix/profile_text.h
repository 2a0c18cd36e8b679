// The INI text model shared by the POSIX profile-string calls: how lines,
// sections and entries are recognised, and how a write edits the text.
//
// The text is either the file's bytes (ANSI files) or its UTF-16 code units
// (files starting FF FE), so everything here is written for both char types.
// Offsets are indexes into the text; nothing is copied while searching.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <string_view>

namespace platform::profile_text {

template <class C>
using View = std::basic_string_view<C>;
inline constexpr std::size_t npos = std::string_view::npos;

template <class C>
inline bool isBlank(C c) {
  return c == C(' ') || c == C('\t') || c == C('\v');
}
template <class C>
inline bool isLineEnd(C c) {
  return c == C('\r') || c == C('\n');
}
template <class C>
inline C foldCase(C c) {
  return (c >= C('A') && c <= C('Z')) ? C(c + ('a' - 'A')) : c;
}

template <class C>
View<C> trimBlanks(View<C> s) {
  std::size_t b = 0, e = s.size();
  while (b < e && isBlank(s[b])) ++b;
  while (e > b && isBlank(s[e - 1])) --e;
  return s.substr(b, e - b);
}

// Names given by the caller lose their spaces only (a TAB stays).
template <class C>
View<C> trimSpaces(View<C> s) {
  std::size_t b = 0, e = s.size();
  while (b < e && s[b] == C(' ')) ++b;
  while (e > b && s[e - 1] == C(' ')) --e;
  return s.substr(b, e - b);
}

template <class C>
bool equalsIgnoreCase(View<C> a, View<C> b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i] != b[i] && foldCase(a[i]) != foldCase(b[i])) return false;
  }
  return true;
}

template <class C>
std::size_t findChar(View<C> t, C c, std::size_t from) {
  if constexpr (sizeof(C) == 1) {
    if (from >= t.size()) return npos;
    const void* p = std::memchr(t.data() + from, static_cast<unsigned char>(c), t.size() - from);
    return p == nullptr ? npos : static_cast<std::size_t>(static_cast<const C*>(p) - t.data());
  } else {
    return t.find(c, from);
  }
}

// End of the line content starting at pos (first CR or LF, or the end).
template <class C>
std::size_t lineEnd(View<C> t, std::size_t pos) {
  while (pos < t.size() && !isLineEnd(t[pos])) ++pos;
  return pos;
}

// Start of the line after the one whose content ends at end: CR, LF or CRLF.
template <class C>
std::size_t afterLineEnd(View<C> t, std::size_t end) {
  if (end < t.size() && t[end] == C('\r'))
    ++end;
  else if (end < t.size())
    return end + 1;
  if (end < t.size() && t[end] == C('\n') && t[end - 1] == C('\r')) ++end;
  return end;
}

enum class LineKind { Blank, Comment, Header, Entry, Bare };

struct Line {
  std::size_t begin = 0;  // first character of the line
  std::size_t end = 0;    // end of its content (before CR / LF)
  std::size_t next = 0;   // start of the following line
  LineKind kind = LineKind::Blank;
  std::size_t valueBegin = 0;  // Entry: first character of the value (after blanks)
};

template <class C>
Line readLine(View<C> t, std::size_t begin) {
  Line line;
  line.begin = begin;
  line.end = lineEnd(t, begin);
  line.next = afterLineEnd(t, line.end);
  std::size_t p = begin;
  while (p < line.end && isBlank(t[p])) ++p;
  if (p == line.end) {
    line.kind = LineKind::Blank;
  } else if (t[p] == C(';')) {
    line.kind = LineKind::Comment;
  } else if (t[p] == C('[')) {
    line.kind = LineKind::Header;
  } else {
    std::size_t eq = findChar(t.substr(0, line.end), C('='), p);
    if (eq == npos) {
      line.kind = LineKind::Bare;
    } else {
      line.kind = LineKind::Entry;
      std::size_t v = eq + 1;
      while (v < line.end && isBlank(t[v])) ++v;
      line.valueBegin = v;
    }
  }
  return line;
}

// Key of an entry line, trimmed.
template <class C>
View<C> entryKey(View<C> t, const Line& line) {
  View<C> content = t.substr(line.begin, line.end - line.begin);
  return trimBlanks(content.substr(0, content.find(C('='))));
}
// Value of an entry line, trimmed.
template <class C>
View<C> entryValue(View<C> t, const Line& line) {
  return trimBlanks(t.substr(line.valueBegin, line.end - line.valueBegin));
}
// Trimmed content of any line.
template <class C>
View<C> lineText(View<C> t, const Line& line) {
  return trimBlanks(t.substr(line.begin, line.end - line.begin));
}

// The next section header at or after from: the offset of its '[' (the first
// non-blank character of its line), or npos.
template <class C>
std::size_t nextHeader(View<C> t, std::size_t from) {
  while (true) {
    std::size_t p = findChar(t, C('['), from);
    if (p == npos) return npos;
    std::size_t q = p;
    while (q > 0 && isBlank(t[q - 1])) --q;
    if (q == 0 || isLineEnd(t[q - 1])) return p;
    from = p + 1;
  }
}

// Name of the header whose '[' is at bracket: up to the first ']' or the end
// of the line, trimmed.
template <class C>
View<C> headerName(View<C> t, std::size_t bracket, std::size_t end) {
  View<C> rest = t.substr(bracket + 1, end - bracket - 1);
  std::size_t close = rest.find(C(']'));
  if (close != npos) rest = rest.substr(0, close);
  return trimBlanks(rest);
}

struct SectionPos {
  std::size_t headerBegin = npos;  // start of the header line; npos: not found
  std::size_t bodyBegin = 0;       // start of the line after the header
  bool found() const { return headerBegin != npos; }
};

// Whether the header whose '[' is at bracket has the name: compared in place,
// without isolating the header's name first. Only valid for a name that
// could be a header name at all (see canNameSection).
template <class C>
bool headerMatches(View<C> t, std::size_t bracket, View<C> name) {
  std::size_t p = bracket + 1;
  const std::size_t n = t.size();
  while (p < n && isBlank(t[p])) ++p;
  if (n - p < name.size()) return false;
  for (std::size_t i = 0; i < name.size(); ++i, ++p) {
    if (t[p] != name[i] && foldCase(t[p]) != foldCase(name[i])) return false;
  }
  while (p < n && isBlank(t[p])) ++p;
  return p == n || t[p] == C(']') || isLineEnd(t[p]);
}

// A header name never holds ']' or a line end and never starts or ends with
// a blank, so a name that does can match no section.
template <class C>
bool canNameSection(View<C> name) {
  for (C c : name) {
    if (c == C(']') || isLineEnd(c)) return false;
  }
  return name.empty() || (!isBlank(name.front()) && !isBlank(name.back()));
}

// The first section of the name (already trimmed of spaces).
template <class C>
SectionPos findSection(View<C> t, View<C> name) {
  SectionPos pos;
  if (!canNameSection(name)) return pos;
  std::size_t from = 0;
  while (true) {
    std::size_t bracket = nextHeader(t, from);
    if (bracket == npos) return pos;
    if (headerMatches(t, bracket, name)) {
      std::size_t begin = bracket;
      while (begin > 0 && isBlank(t[begin - 1])) --begin;
      pos.headerBegin = begin;
      pos.bodyBegin = afterLineEnd(t, lineEnd(t, bracket));
      return pos;
    }
    from = bracket + 1;
  }
}

// Calls f(line) for every line of the section body until the next header or
// the end of the text, or until f returns false.
template <class C, class F>
void forEachBodyLine(View<C> t, std::size_t bodyBegin, F f) {
  std::size_t pos = bodyBegin;
  while (pos < t.size()) {
    Line line = readLine(t, pos);
    if (line.kind == LineKind::Header) return;
    if (!f(line)) return;
    pos = line.next;
  }
}

// The first entry of the key in the section, if any.
template <class C>
bool findEntry(View<C> t, const SectionPos& section, View<C> key, Line& found) {
  bool hit = false;
  forEachBodyLine(t, section.bodyBegin, [&](const Line& line) {
    if (line.kind == LineKind::Entry && equalsIgnoreCase(entryKey(t, line), key)) {
      found = line;
      hit = true;
      return false;
    }
    return true;
  });
  return hit;
}

// A value as the string calls return it: one outer pair of matching quotes
// removed.
template <class C>
View<C> unquote(View<C> v) {
  if (v.size() >= 2 && (v.front() == C('"') || v.front() == C('\'')) && v.back() == v.front()) {
    return v.substr(1, v.size() - 2);
  }
  return v;
}

// ---- Edits -----------------------------------------------------------------

// Sets key = value in the first section of the name. nonEmptyFile tells
// whether the file holds any bytes at all (a file of only a byte-order mark
// does). Returns true when the text changed.
template <class C>
bool setValue(std::basic_string<C>& text, bool nonEmptyFile, View<C> section, View<C> key,
              View<C> value) {
  static constexpr C kCrLf[] = {C('\r'), C('\n'), C(0)};
  const View<C> crlf(kCrLf, 2);
  View<C> t(text);
  SectionPos pos = findSection(t, section);
  if (!pos.found()) {
    std::basic_string<C> add;
    if (nonEmptyFile && (text.empty() || text.back() != C('\n'))) add += crlf;
    add += C('[');
    add += section;
    add += C(']');
    add += crlf;
    add += key;
    add += C('=');
    add += value;
    add += crlf;
    text += add;
    return true;
  }
  Line entry;
  if (findEntry(t, pos, key, entry)) {
    // Keep the line up to the old value; the rest becomes the new value and
    // a CRLF.
    std::basic_string<C> replacement(value);
    replacement += crlf;
    View<C> old = t.substr(entry.valueBegin, entry.next - entry.valueBegin);
    if (old == View<C>(replacement)) return false;
    text.replace(entry.valueBegin, entry.next - entry.valueBegin, replacement);
    return true;
  }
  // A new entry goes after the last line of the section that is neither blank
  // nor a comment, else right after the header.
  std::size_t insertAt = pos.bodyBegin;
  bool terminated = pos.bodyBegin > 0 && isLineEnd(t[pos.bodyBegin - 1]);
  forEachBodyLine(t, pos.bodyBegin, [&](const Line& line) {
    if (line.kind == LineKind::Entry || line.kind == LineKind::Bare) {
      insertAt = line.next;
      terminated = line.next > line.end;
    }
    return true;
  });
  std::basic_string<C> add;
  if (!terminated) add += crlf;
  add += key;
  add += C('=');
  add += value;
  add += crlf;
  text.insert(insertAt, add);
  return true;
}

// Removes the line of the first entry of the key. Returns true when the text
// changed.
template <class C>
bool deleteKey(std::basic_string<C>& text, View<C> section, View<C> key) {
  View<C> t(text);
  SectionPos pos = findSection(t, section);
  Line entry;
  if (!pos.found() || !findEntry(t, pos, key, entry)) return false;
  text.erase(entry.begin, entry.next - entry.begin);
  return true;
}

// Removes the header of the first section of the name and every line of it
// except comments. Returns true when the text changed.
template <class C>
bool deleteSection(std::basic_string<C>& text, View<C> section) {
  View<C> t(text);
  SectionPos pos = findSection(t, section);
  if (!pos.found()) return false;
  std::basic_string<C> out(t.substr(0, pos.headerBegin));
  std::size_t rest = pos.bodyBegin;
  forEachBodyLine(t, pos.bodyBegin, [&](const Line& line) {
    if (line.kind == LineKind::Comment) out += t.substr(line.begin, line.next - line.begin);
    rest = line.next;
    return true;
  });
  out += t.substr(rest);
  text.swap(out);
  return true;
}

}  // namespace platform::profile_text
