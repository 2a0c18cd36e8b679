#include "common/wildcard.h"

#include <cstdint>

#include "platform/files.h"

namespace platform::detail {

namespace {

bool isTrailingJunk(char c) {
  return c == '.' || c == ' ';
}

// Backtracking-free matcher: memo[pi * (n + 1) + ni] caches the answer for
// pattern position pi against name position ni (0 unknown, 1 no, 2 yes).
class Matcher {
 public:
  Matcher(const std::vector<WildElement>& pattern, const std::u32string& name, bool dotIsPlain)
      : pattern_(pattern),
        name_(name),
        dotIsPlain_(dotIsPlain),
        memo_((pattern.size() + 1) * (name.size() + 1), 0) {
    lastDot_ = name_.rfind(U'.');
  }

  bool run() { return match(0, 0); }

 private:
  bool match(std::size_t pi, std::size_t ni) {
    char& slot = memo_[pi * (name_.size() + 1) + ni];
    if (slot != 0) return slot == 2;
    const bool result = compute(pi, ni);
    slot = result ? 2 : 1;
    return result;
  }

  bool isDot(std::size_t ni) const { return !dotIsPlain_ && name_[ni] == U'.'; }

  bool compute(std::size_t pi, std::size_t ni) {
    const std::size_t n = name_.size();
    if (pi == pattern_.size()) return ni == n;
    const WildElement& e = pattern_[pi];
    switch (e.token) {
      case WildToken::Star:
        return match(pi + 1, ni) || (ni < n && match(pi, ni + 1));
      case WildToken::DosStar:
        if (match(pi + 1, ni)) return true;
        if (ni >= n) return false;
        if (!dotIsPlain_ && ni == lastDot_) return false;  // never takes the last dot
        return match(pi, ni + 1);
      case WildToken::DosQm:
        if (ni >= n || isDot(ni)) return match(pi + 1, ni);
        return match(pi + 1, ni + 1);
      case WildToken::DosDot:
        if (ni >= n) return match(pi + 1, ni);
        return name_[ni] == U'.' && match(pi + 1, ni + 1);
      case WildToken::Literal:
        return ni < n && upcase(name_[ni]) == e.ch && match(pi + 1, ni + 1);
    }
    return false;
  }

  const std::vector<WildElement>& pattern_;
  const std::u32string& name_;
  bool dotIsPlain_;
  std::size_t lastDot_ = std::u32string::npos;
  std::vector<char> memo_;
};

void appendUtf16(std::u16string& out, char32_t c) {
  if (c >= 0x10000 && c <= 0x10FFFF) {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  } else {
    out.push_back(static_cast<char16_t>(c));
  }
}

std::u16string ntfsKey(const std::string& name) {
  std::u16string key;
  for (char32_t c : decodeUtf8(name)) appendUtf16(key, upcase(c));
  return key;
}

}  // namespace

bool hasWildcards(const std::string& text) {
  return text.find_first_of("*?") != std::string::npos;
}

char32_t upcase(char32_t c) {
  if (c < 0x80) return (c >= U'a' && c <= U'z') ? c - 0x20 : c;
  if (c >= 0xE0 && c <= 0xFE && c != 0xF7) return c - 0x20;  // Latin-1
  if (c == 0xFF) return 0x178;
  if (c == 0xB5) return 0x39C;
  if (c >= 0x100 && c <= 0x17F) {  // Latin Extended-A: pairs, with two shifts
    if ((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) {
      return (c % 2 == 0) ? c - 1 : c;
    }
    if (c == 0x131 || c == 0x138 || c == 0x149 || c == 0x17F) return c;
    return (c % 2 == 1) ? c - 1 : c;
  }
  if (c >= 0x3B1 && c <= 0x3CB && c != 0x3C2) return c - 0x20;  // Greek
  if (c == 0x3C2) return 0x3A3;
  if (c >= 0x430 && c <= 0x44F) return c - 0x20;  // Cyrillic
  if (c >= 0x450 && c <= 0x45F) return c - 0x50;
  return c;
}

std::u32string decodeUtf8(const std::string& text) {
  std::u32string out;
  out.reserve(text.size());
  const std::size_t n = text.size();
  for (std::size_t i = 0; i < n;) {
    const auto b = static_cast<unsigned char>(text[i]);
    std::size_t len = 0;
    char32_t cp = 0;
    if (b < 0x80) {
      len = 1;
      cp = b;
    } else if (b >= 0xC2 && b <= 0xDF) {
      len = 2;
      cp = b & 0x1F;
    } else if (b >= 0xE0 && b <= 0xEF) {
      len = 3;
      cp = b & 0x0F;
    } else if (b >= 0xF0 && b <= 0xF4) {
      len = 4;
      cp = b & 0x07;
    }
    bool ok = len > 0 && i + len <= n;
    for (std::size_t k = 1; ok && k < len; ++k) {
      const auto cb = static_cast<unsigned char>(text[i + k]);
      if ((cb & 0xC0) != 0x80) ok = false;
      cp = (cp << 6) | (cb & 0x3F);
    }
    if (ok && ((len == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
               (len == 4 && (cp < 0x10000 || cp > 0x10FFFF)))) {
      ok = false;
    }
    if (!ok) {
      out.push_back(b);
      ++i;
    } else {
      out.push_back(cp);
      i += len;
    }
  }
  return out;
}

PreparedPattern preparePattern(const std::string& component) {
  PreparedPattern prepared;
  if (component.find_first_of("<>\"") != std::string::npos) return prepared;

  // Only a pattern whose very last character is a dot asks for names without
  // an extension: "*." and "* ." do, "*. " does not (it is "*").
  const bool endedInDot = !component.empty() && component.back() == '.';
  std::string text = component;
  while (!text.empty() && isTrailingJunk(text.back())) text.pop_back();
  if (text.empty()) return prepared;
  prepared.valid = true;
  if (text == "*.*" || (text == "*" && !endedInDot)) {
    prepared.matchesAll = true;
    prepared.elements.push_back({WildToken::Star, 0});
    return prepared;
  }

  const std::u32string chars = decodeUtf8(text);
  for (std::size_t i = 0; i < chars.size(); ++i) {
    const char32_t c = chars[i];
    const char32_t next = i + 1 < chars.size() ? chars[i + 1] : 0;
    WildElement e;
    if (c == U'?') {
      e.token = WildToken::DosQm;
    } else if (c == U'.' && (next == U'?' || next == U'*')) {
      e.token = WildToken::DosDot;
    } else if (c == U'*') {
      const bool last = i + 1 == chars.size();
      e.token = (next == U'.' || (last && endedInDot)) ? WildToken::DosStar : WildToken::Star;
    } else {
      e.token = WildToken::Literal;
      e.ch = upcase(c);
    }
    prepared.elements.push_back(e);
  }
  return prepared;
}

bool matchPrepared(const PreparedPattern& pattern, const std::string& name) {
  if (!pattern.valid) return false;
  if (name == "." || name == "..") {
    // "." and ".." come as a pair: both when the pattern takes "." with the
    // dot treated as an ordinary character by DosStar and DosQm.
    const std::u32string dot = U".";
    return Matcher(pattern.elements, dot, true).run();
  }
  if (pattern.matchesAll) return true;
  const std::u32string chars = decodeUtf8(name);
  return Matcher(pattern.elements, chars, false).run();
}

int compareNtfsOrder(const std::string& a, const std::string& b) {
  const std::u16string ka = ntfsKey(a);
  const std::u16string kb = ntfsKey(b);
  const int c = ka.compare(kb);
  if (c != 0) return c < 0 ? -1 : 1;
  const int raw = a.compare(b);
  return raw < 0 ? -1 : (raw > 0 ? 1 : 0);
}

}  // namespace platform::detail

namespace platform {

bool wildcardMatch(const std::string& pattern, const std::string& name) {
  const std::size_t sep = pattern.find_last_of("\\/");
  const std::string last = sep == std::string::npos ? pattern : pattern.substr(sep + 1);
  return detail::matchPrepared(detail::preparePattern(last), name);
}

}  // namespace platform
