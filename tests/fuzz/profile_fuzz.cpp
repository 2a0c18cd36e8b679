// Fuzz target: the profile-string calls of platform/profile.h on arbitrary
// settings files.
//
// Input: the settings file's bytes first (a string in FuzzedDataProvider's
// random-length form: "\\" stands for one backslash, a backslash followed by
// any other byte ends it), then the operations, each drawn from the bytes
// that are left: reads of values, numbers, sections, name lists and key lists
// into buffers of every size (tiny ones included), writes of a key, deletions
// of a key or a section, and several edits at once.
//
// Checked, besides the absence of crashes and sanitizer reports:
//  - a read into a buffer of any size gives exactly the truncation of the
//    full result that the call's rules describe, and never writes outside it;
//  - every write succeeds and leaves a file that reads back consistently:
//    every section that was readable before (other than the one written)
//    reads the same, name and key lists change exactly by what was added or
//    deleted, a value written reads back for names and values that the rules
//    carry through a file unchanged, and the other keys of its section keep
//    their values;
//  - several edits at once leave the same bytes as the same edits written one
//    by one.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstring>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "platform/profile.h"

namespace {

constexpr std::uint32_t kFull = 1u << 18;
// Returned for a missing key by the snapshots.
constexpr const char* kMissing = "\x01missing\x01";

std::string g_trace;  // operations so far, for the report of a broken invariant

[[noreturn]] void broken(const std::string& what, const std::string& path) {
  const auto bytes = fuzz::readFile(path);
  fuzz::fail(what, "file now: " + (bytes ? "\"" + fuzz::escaped(*bytes) + "\"" : "(none)") +
                       "\noperations:\n" + g_trace);
}

bool isBlank(char c) {
  return c == ' ' || c == '\t' || c == '\v';
}
char fold(char c) {
  return c >= 'A' && c <= 'Z' ? static_cast<char>(c + ('a' - 'A')) : c;
}
std::string folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = fold(c);
  return out;
}
std::string_view trimSpaces(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return s;
}
bool hasAny(std::string_view s, std::string_view chars) {
  return s.find_first_of(chars) != std::string_view::npos;
}
bool blankAtEnds(std::string_view s) {
  return !s.empty() && (isBlank(s.front()) || isBlank(s.back()));
}

// Names and values that a file carries unchanged from a write to a read.
// Section: no ']' (the name ends there) and no line break; the file's names
// lose their blanks at both ends.
bool cleanSection(std::string_view s) {
  return !s.empty() && !blankAtEnds(s) && !hasAny(s, "]\r\n");
}
// Key: no '=' (the key ends there), no line break, not starting with ';' (a
// comment) or '[' (a header).
bool cleanKey(std::string_view k) {
  return !k.empty() && !blankAtEnds(k) && !hasAny(k, "=\r\n") && k.front() != ';' &&
         k.front() != '[';
}
// Value: no line break, and not wrapped in a pair of quotes (a read removes
// them).
bool cleanValue(std::string_view v) {
  if (hasAny(v, "\r\n") || blankAtEnds(v)) return false;
  return !(v.size() >= 2 && (v.front() == '"' || v.front() == '\'') && v.back() == v.front());
}

// Whether the lists of the file may show names that the calls do not find
// under those names: a name holding a NUL character reads as two items, and a
// character of a UTF-16 file that code page 1252 lacks reads as '?'.
bool namesInexact(std::string_view bytes) {
  if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
      const unsigned unit =
          static_cast<unsigned char>(bytes[i]) | static_cast<unsigned char>(bytes[i + 1]) << 8;
      // C1 controls that code page 1252 keeps (its undefined bytes).
      const bool kept =
          unit == 0x81 || unit == 0x8D || unit == 0x8F || unit == 0x90 || unit == 0x9D;
      if (unit == 0 || unit > 0xFF || (unit >= 0x80 && unit < 0xA0 && !kept)) return true;
    }
    return false;
  }
  return bytes.find('\0') != std::string_view::npos;
}

std::vector<std::string> splitList(std::string_view list) {
  std::vector<std::string> items;
  while (!list.empty()) {
    const std::size_t end = list.find('\0');
    items.emplace_back(list.substr(0, end));
    list.remove_prefix(end + 1);
  }
  return items;
}
std::string joinList(const std::vector<std::string>& items) {
  std::string list;
  for (const auto& item : items) {
    list += item;
    list += '\0';
  }
  return list;
}

// ---- Reads and their truncation ----------------------------------------------

enum class Call { String, Section };

struct Query {
  Call call = Call::String;
  const char* section = nullptr;
  const char* key = nullptr;
  const char* defaultValue = nullptr;
};

std::uint32_t run(const Query& q, char* buffer, std::uint32_t size, const std::string& path) {
  return q.call == Call::String
             ? platform::getProfileString(q.section, q.key, q.defaultValue, buffer, size,
                                          path.c_str())
             : platform::getProfileSection(q.section, buffer, size, path.c_str());
}

// The whole result: the characters returned, with the NUL after each item of
// a list (not the list's final NUL).
std::string fullResult(const Query& q, const std::string& path) {
  static std::vector<char> buffer(kFull);
  const std::uint32_t n = run(q, buffer.data(), kFull, path);
  if (n >= kFull - 2) broken("a result longer than the file", path);
  if (buffer[n] != '\0') broken("a result without its terminating NUL", path);
  return std::string(buffer.data(), n);
}

// A result of n characters is a list when it ends with an item's NUL; a key
// list that is empty gives the default, a string, instead.
bool isList(const Query& q, const std::string& full) {
  if (q.call == Call::Section || q.section == nullptr) return true;
  if (q.key != nullptr) return false;
  return full.empty() || full.back() == '\0';
}

// Reads into a buffer of exactly `size` bytes and compares with what the rules
// make of the full result.
void checkSizedRead(const Query& q, std::uint32_t size, const std::string& path) {
  const std::string full = fullResult(q, path);
  // One canary byte in front lets a read into a 0-byte buffer be checked too;
  // the buffer ends exactly at its last byte, where AddressSanitizer watches.
  std::unique_ptr<char[]> storage(new char[size + 1]);
  std::memset(storage.get(), '#', size + 1);
  char* buffer = storage.get() + 1;
  const std::uint32_t n = run(q, buffer, size, path);
  std::string expected;  // the bytes up to and including the final NUL(s)
  std::uint32_t expectedReturn = 0;
  if (size == 0) {
    if (storage[0] != '#') broken("a read into a 0-byte buffer wrote before it", path);
  } else if (!isList(q, full)) {
    expectedReturn = static_cast<std::uint32_t>(std::min<std::size_t>(full.size(), size - 1));
    expected = full.substr(0, expectedReturn) + '\0';
  } else if (full.empty()) {
    expected = std::string(1, '\0');
  } else if (full.size() + 1 < size) {
    expectedReturn = static_cast<std::uint32_t>(full.size());
    expected = full + '\0';
  } else if (size >= 3) {
    expectedReturn = size - 2;
    expected = full.substr(0, size - 2) + std::string(2, '\0');
  } else {
    expected = std::string(size, '\0');
  }
  if (n != expectedReturn) {
    broken("a read into " + std::to_string(size) + " bytes returned " + std::to_string(n) +
               " instead of " + std::to_string(expectedReturn) + " (full result \"" +
               fuzz::escaped(full) + "\")",
           path);
  }
  if (std::string_view(buffer, expected.size()) != expected) {
    broken("a read into " + std::to_string(size) + " bytes gave \"" +
               fuzz::escaped(std::string_view(buffer, expected.size())) + "\" instead of \"" +
               fuzz::escaped(expected) + "\"",
           path);
  }
}

// getProfileInt agrees with the string read of the same key: the default for
// a missing key, the number for a plain decimal value.
void checkInt(const char* section, const char* key, int defaultValue, const std::string& path) {
  const unsigned got = platform::getProfileInt(section, key, defaultValue, path.c_str());
  const std::string a = fullResult({Call::String, section, key, "\x02"}, path);
  const std::string b = fullResult({Call::String, section, key, "\x03"}, path);
  if (a == "\x02" && b == "\x03") {
    if (got != static_cast<unsigned>(defaultValue)) broken("getProfileInt of a missing key", path);
    return;
  }
  if (!a.empty() && a.size() <= 9 && a.find_first_not_of("0123456789") == std::string::npos &&
      got != static_cast<unsigned>(std::stoul(a))) {
    broken("getProfileInt of \"" + a + "\" gave " + std::to_string(got), path);
  }
}

// ---- What a file shows through the calls -----------------------------------

struct SectionView {
  std::string keyList;  // the key list (full result)
  std::string lines;    // getProfileSection
  // key as the calls compare it (spaces trimmed, folded) -> value (kMissing
  // when absent)
  std::map<std::string, std::string> values;
};

struct Snapshot {
  std::string names;  // the section name list
  // name as the calls compare it (spaces trimmed, folded) -> view
  std::map<std::string, SectionView> sections;
  bool inexact = false;  // see namesInexact
};

constexpr std::size_t kSnapshotLimit = 24;

SectionView viewSection(const std::string& name, const std::string& path) {
  SectionView view;
  view.keyList = fullResult({Call::String, name.c_str(), nullptr, ""}, path);
  view.lines = fullResult({Call::Section, name.c_str()}, path);
  std::size_t count = 0;
  for (const auto& key : splitList(view.keyList)) {
    const std::string id = folded(trimSpaces(key));
    if (key.empty() || view.values.count(id) != 0) continue;
    if (++count > kSnapshotLimit) break;
    view.values[id] = fullResult({Call::String, name.c_str(), key.c_str(), kMissing}, path);
  }
  return view;
}

Snapshot snapshot(const std::string& path) {
  Snapshot s;
  const auto bytes = fuzz::readFile(path);
  s.inexact = bytes && namesInexact(*bytes);
  s.names = fullResult({Call::String, nullptr, nullptr, ""}, path);
  for (const auto& name : splitList(s.names)) {
    // The calls trim the spaces of the names they are given.
    const std::string id = folded(trimSpaces(name));
    if (s.sections.count(id) != 0) continue;
    if (s.sections.size() >= kSnapshotLimit) break;
    // The section "[]" is asked for as " ": "" is never passed.
    s.sections[id] = viewSection(name.empty() ? std::string(" ") : name, path);
  }
  return s;
}

bool sameView(const SectionView& a, const SectionView& b) {
  return a.keyList == b.keyList && a.lines == b.lines && a.values == b.values;
}

// Every section of `before` other than `except` (folded) reads the same.
void checkOthersUnchanged(const Snapshot& before, const Snapshot& after, const std::string& except,
                          const std::string& path) {
  for (const auto& [name, view] : before.sections) {
    if (name == except) continue;
    const auto it = after.sections.find(name);
    if (it == after.sections.end()) {
      // The snapshot keeps a limited number of sections: look it up directly.
      if (!sameView(view, viewSection(name, path))) {
        broken("section \"" + fuzz::escaped(name) + "\" changed", path);
      }
    } else if (!sameView(view, it->second)) {
      broken("section \"" + fuzz::escaped(name) + "\" changed", path);
    }
  }
}

// The list without its first item equal (ignoring case) to `name`.
std::string withoutFirst(const std::string& list, std::string_view name) {
  auto items = splitList(list);
  for (auto it = items.begin(); it != items.end(); ++it) {
    if (folded(*it) == folded(name)) {
      items.erase(it);
      break;
    }
  }
  return joinList(items);
}
bool listHas(const std::string& list, std::string_view name) {
  for (const auto& item : splitList(list)) {
    if (folded(item) == folded(name)) return true;
  }
  return false;
}

// ---- Writes ------------------------------------------------------------------

struct Edit {
  std::string section;
  std::string key;
  std::string value;
  bool hasKey = true;
  bool hasValue = true;
  platform::ProfileEdit raw() const {
    return {section.c_str(), hasKey ? key.c_str() : nullptr,
            hasKey && hasValue ? value.c_str() : nullptr};
  }
};

std::string describe(const Edit& e) {
  std::string s = "(\"" + fuzz::escaped(e.section) + "\", ";
  s += e.hasKey ? "\"" + fuzz::escaped(e.key) + "\"" : std::string("null");
  s += ", ";
  s += e.hasKey && e.hasValue ? "\"" + fuzz::escaped(e.value) + "\"" : std::string("null");
  return s + ")";
}

// The keys of the written section other than k keep their values (as far as
// the snapshots hold them).
void checkOtherKeys(const Snapshot& before, const Snapshot& after, std::string_view s,
                    std::string_view k, const Edit& e, const std::string& path) {
  const auto was = before.sections.find(folded(s));
  const auto is = after.sections.find(folded(s));
  if (was == before.sections.end() || is == after.sections.end()) return;
  for (const auto& [key, value] : was->second.values) {
    const auto now = is->second.values.find(key);
    if (key != folded(k) && (now == is->second.values.end() || now->second != value)) {
      broken("writeProfileString" + describe(e) + " changed key \"" + fuzz::escaped(key) + "\"",
             path);
    }
  }
}

// One writeProfileString call on path, checked against the snapshot taken
// before it; returns the snapshot after it.
Snapshot writeAndCheck(const Edit& e, Snapshot before, const std::string& path) {
  const auto oldBytes = fuzz::readFile(path);
  // The section's key list in full: the snapshot may not hold the section.
  const Query keyList{Call::String, e.section.c_str(), nullptr, ""};
  const std::string oldKeys = fullResult(keyList, path);
  const platform::ProfileEdit p = e.raw();
  if (!platform::writeProfileString(p.section, p.key, p.value, path.c_str())) {
    broken("writeProfileString" + describe(e) + " failed", path);
  }
  Snapshot after = snapshot(path);
  const std::string_view s = trimSpaces(e.section);
  const std::string_view k = trimSpaces(e.key);
  const bool exact = !before.inexact;  // the lists show the names the calls find
  // (A missing file becomes an empty one when nothing is to be deleted.)
  const bool fileKept = fuzz::readFile(path).value_or("") == oldBytes.value_or("");
  if (!e.hasKey) {
    // Deleting a section: its first copy goes, with its keys.
    checkOthersUnchanged(before, after, folded(s), path);
    if (!exact) return after;
    if (after.names != withoutFirst(before.names, s)) {
      broken("deleting section " + describe(e) + " left the names \"" + fuzz::escaped(after.names) +
                 "\"",
             path);
    }
    if (!listHas(after.names, s) && !fullResult({Call::Section, e.section.c_str()}, path).empty()) {
      broken("a deleted section " + describe(e) + " still has lines", path);
    }
    if (!listHas(before.names, s) && !fileKept) {
      broken("deleting a missing section " + describe(e) + " changed the file", path);
    }
    return after;
  }
  if (!e.hasValue) {
    // Deleting a key: its first entry goes.
    checkOthersUnchanged(before, after, folded(s), path);
    if (!exact) return after;
    const std::string expected = withoutFirst(oldKeys, k);
    if (fullResult(keyList, path) != expected) {
      broken("deleting key " + describe(e) + " did not remove exactly its first entry", path);
    }
    if (!listHas(expected, k) &&
        fullResult({Call::String, e.section.c_str(), e.key.c_str(), kMissing}, path) != kMissing) {
      broken("a deleted key " + describe(e) + " still reads", path);
    }
    if (!listHas(oldKeys, k) && !fileKept) {
      broken("deleting a missing key " + describe(e) + " changed the file", path);
    }
    checkOtherKeys(before, after, s, k, e, path);
    return after;
  }
  // Setting a value. A line break or a leading '[' in the key or value makes
  // new lines or headers, so only names and values of the clean kind are
  // followed through.
  if (!cleanKey(k) || !cleanValue(e.value)) return after;
  // A section name of another kind is appended as a header that may name
  // another section (one the snapshot saw only as a list item that the calls
  // did not find, when the lists are inexact).
  if (!cleanSection(s)) {
    if (exact) checkOthersUnchanged(before, after, folded(s), path);
    return after;
  }
  checkOthersUnchanged(before, after, folded(s), path);
  const std::string got =
      fullResult({Call::String, e.section.c_str(), e.key.c_str(), kMissing}, path);
  if (got != e.value) {
    broken(
        "after writeProfileString" + describe(e) + " the key reads \"" + fuzz::escaped(got) + "\"",
        path);
  }
  if (!exact) return after;
  const std::string expectedNames =
      listHas(before.names, s) ? before.names : before.names + std::string(s) + '\0';
  if (after.names != expectedNames) {
    broken("writeProfileString" + describe(e) + " left the names \"" + fuzz::escaped(after.names) +
               "\"",
           path);
  }
  const std::string expectedKeys = listHas(oldKeys, k) ? oldKeys : oldKeys + std::string(k) + '\0';
  const std::string newKeys = fullResult(keyList, path);
  if (newKeys != expectedKeys) {
    broken("writeProfileString" + describe(e) + " left the keys \"" + fuzz::escaped(newKeys) + "\"",
           path);
  }
  checkOtherKeys(before, after, s, k, e, path);
  return after;
}

// ---- Names the operations use ----------------------------------------------

const char* const kNamePool[] = {
    "S", "s",   "Section", "Key", "k",   "a b",   "x",   "Main", "[x", "x]y",      ";c",
    "=", "a=b", " s ",     "\ts", "k\t", "\"q\"", "'q'", "#h",   "",   "\xFF\xFE", "\xE9t\xE9"};
const char* const kValuePool[] = {"",    "v",    "1",          "-7",  " padded ", "\"quoted\"",
                                  "'x'", "a=b",  ";not",       "#x",  "[s]",      "two\r\nlines",
                                  "\"",  "0x1F", "4294967297", "\xE9"};

std::string pickName(FuzzedDataProvider& in, const std::string& listed) {
  switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
      return kNamePool[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kNamePool) - 1)];
    case 1: {
      const auto items = splitList(listed);
      if (!items.empty()) {
        return items[in.ConsumeIntegralInRange<std::size_t>(0, items.size() - 1)];
      }
      return "S";
    }
    default: {
      std::string s = in.ConsumeRandomLengthString(12);
      s.resize(std::strlen(s.c_str()));  // a C string
      return s;
    }
  }
}

std::string pickValue(FuzzedDataProvider& in) {
  if (in.ConsumeBool()) {
    return kValuePool[in.ConsumeIntegralInRange<std::size_t>(0, std::size(kValuePool) - 1)];
  }
  std::string s = in.ConsumeRandomLengthString(24);
  s.resize(std::strlen(s.c_str()));
  return s;
}

// Names are never "": the ANSI calls of Windows crash on such a name.
std::string nonEmpty(std::string name) {
  return name.empty() ? std::string("S") : name;
}

std::uint32_t pickSize(FuzzedDataProvider& in, const Query& q, const std::string& path) {
  switch (in.ConsumeIntegralInRange(0, 2)) {
    case 0:
      return in.ConsumeIntegralInRange<std::uint32_t>(0, 4);
    case 1: {
      // Around the full length, where the truncation rules change.
      const auto full = static_cast<std::uint32_t>(fullResult(q, path).size());
      const auto delta = in.ConsumeIntegralInRange<std::uint32_t>(0, 4);
      return full + 2 >= delta ? full + 2 - delta : 0;
    }
    default:
      return in.ConsumeIntegralInRange<std::uint32_t>(0, 300);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const std::string file = fuzz::scratchDirectory() + "/settings.ini";
  static const std::string replay = fuzz::scratchDirectory() + "/replay.ini";
  FuzzedDataProvider in(data, size);
  const std::string initial = in.ConsumeRandomLengthString(4096);
  g_trace.clear();
  if (initial.empty() && in.ConsumeBool()) {
    fuzz::removeFile(file);
    g_trace += "(no file)\n";
  } else {
    fuzz::writeFile(file, initial);
  }

  Snapshot current = snapshot(file);
  for (int step = 0; step < 16 && in.remaining_bytes() > 0; ++step) {
    const int op = in.ConsumeIntegralInRange(0, 9);
    switch (op) {
      case 0:  // a value
      case 1: {
        const std::string s = nonEmpty(pickName(in, current.names));
        const std::string k = nonEmpty(pickName(in, current.sections.count(folded(s))
                                                        ? current.sections[folded(s)].keyList
                                                        : std::string()));
        const std::string d = pickValue(in);
        const bool nullDefault = in.ConsumeBool();
        const Query q{Call::String, s.c_str(), k.c_str(), nullDefault ? nullptr : d.c_str()};
        const std::uint32_t n = pickSize(in, q, file);
        g_trace += "read \"" + fuzz::escaped(s) + "\" \"" + fuzz::escaped(k) + "\" into " +
                   std::to_string(n) + "\n";
        checkSizedRead(q, n, file);
        if (op == 1) checkInt(s.c_str(), k.c_str(), in.ConsumeIntegral<int>(), file);
        break;
      }
      case 2:  // a name list, a key list or a section's lines
      case 3: {
        const int what = in.ConsumeIntegralInRange(0, 2);
        const std::string s = nonEmpty(pickName(in, current.names));
        const std::string d = pickValue(in);
        Query q;
        if (what == 0) q = {Call::String, nullptr, nullptr, ""};
        if (what == 1) q = {Call::String, s.c_str(), nullptr, d.c_str()};
        if (what == 2) q = {Call::Section, s.c_str()};
        const std::uint32_t n = pickSize(in, q, file);
        g_trace += "list " + std::to_string(what) + " \"" + fuzz::escaped(s) + "\" into " +
                   std::to_string(n) + "\n";
        checkSizedRead(q, n, file);
        break;
      }
      case 4:  // one key
      case 5:
      case 6: {  // deletions
        Edit e;
        e.section = nonEmpty(pickName(in, current.names));
        e.key = nonEmpty(pickName(in, current.sections.count(folded(trimSpaces(e.section)))
                                          ? current.sections[folded(trimSpaces(e.section))].keyList
                                          : std::string()));
        e.value = pickValue(in);
        e.hasKey = op != 6;
        e.hasValue = op != 5;
        g_trace += "write " + describe(e) + "\n";
        current = writeAndCheck(e, std::move(current), file);
        break;
      }
      case 7:  // several edits at once, in one section or in several
      case 8: {
        const std::size_t count = in.ConsumeIntegralInRange<std::size_t>(0, 4);
        std::vector<Edit> edits(count);
        const std::string common = nonEmpty(pickName(in, current.names));
        for (auto& e : edits) {
          e.section = op == 7 ? common : nonEmpty(pickName(in, current.names));
          e.key =
              nonEmpty(pickName(in, current.sections.count(folded(trimSpaces(e.section)))
                                        ? current.sections[folded(trimSpaces(e.section))].keyList
                                        : std::string()));
          e.value = pickValue(in);
          const int kind = in.ConsumeIntegralInRange(0, 7);
          e.hasKey = kind != 0;
          e.hasValue = kind != 1;
          g_trace += (op == 7 ? "batched write " : "batched edit ") + describe(e) + "\n";
        }
        // The same edits one by one, on a copy, each checked.
        const auto old = fuzz::readFile(file);
        if (old) {
          fuzz::writeFile(replay, *old);
        } else {
          fuzz::removeFile(replay);
        }
        Snapshot replayed = current;
        for (const auto& e : edits) replayed = writeAndCheck(e, std::move(replayed), replay);
        bool ok;
        if (op == 7) {
          std::vector<const char*> keys, values;
          for (const auto& e : edits) {
            keys.push_back(e.raw().key);
            values.push_back(e.raw().value);
          }
          ok = platform::writeProfileStrings(common.c_str(), keys.data(), values.data(), count,
                                             file.c_str());
        } else {
          std::vector<platform::ProfileEdit> raw;
          for (const auto& e : edits) raw.push_back(e.raw());
          ok = platform::writeProfileEdits(raw.data(), count, file.c_str());
        }
        if (!ok) broken("a batch of edits failed", file);
        if (fuzz::readFile(file) != fuzz::readFile(replay)) {
          broken("a batch of edits left other bytes than the same edits one by one (those: \"" +
                     fuzz::escaped(fuzz::readFile(replay).value_or("(none)")) + "\")",
                 file);
        }
        current = snapshot(file);
        break;
      }
      case 9: {  // a write without a section is refused and changes nothing
        const auto old = fuzz::readFile(file);
        g_trace += "write without section\n";
        const platform::ProfileEdit edits[2] = {{"S", "k", "v"}, {nullptr, "k", "v"}};
        if (platform::writeProfileString(nullptr, "k", "v", file.c_str()) ||
            platform::writeProfileEdits(edits, 2, file.c_str()) || fuzz::readFile(file) != old) {
          broken("a write without a section was not refused", file);
        }
        break;
      }
    }
  }
  return 0;
}
