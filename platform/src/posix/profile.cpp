// Profile-string calls on POSIX, behaving as the Win32 calls do on the same
// file (see platform/profile.h and profile_text.h for the text rules).
//
// Every call reads the whole file afresh. A write builds the new text from the
// old one by editing only the affected lines, writes it to a temporary file in
// the same directory, flushes it to disk and renames it over the original, so
// that readers (and a crash) only ever see the old or the new file. Where that
// cannot be done without changing the file's owner or group, or where the
// directory cannot be written but the file can, the file itself is rewritten
// and flushed, as Windows always does.
#include "platform/profile.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/paths.h"
#include "posix/fd_io.h"
#include "posix/path_lookup.h"
#include "posix/profile_text.h"

namespace platform {
namespace {

namespace pt = profile_text;

// ---- Code page 1252 <-> UTF-16, for files starting FF FE ----------------

constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char16_t toWide(char c) {
  unsigned char u = static_cast<unsigned char>(c);
  return (u >= 0x80 && u < 0xA0) ? kCp1252High[u - 0x80] : char16_t(u);
}

char toAnsi(char16_t w) {
  if (w < 0x80 || (w >= 0xA0 && w <= 0xFF)) return static_cast<char>(w);
  for (int i = 0; i < 32; ++i) {
    if (kCp1252High[i] == w) return static_cast<char>(0x80 + i);
  }
  return '?';
}

std::u16string widen(std::string_view s) {
  std::u16string out;
  out.reserve(s.size());
  for (char c : s) out += toWide(c);
  return out;
}

std::string narrow(std::u16string_view s) {
  std::string out;
  out.reserve(s.size());
  for (char16_t w : s) out += toAnsi(w);
  return out;
}

// ---- Reading -------------------------------------------------------------

// Grows but never shrinks: the file is read on every call, so its buffer is
// kept between calls of the same thread. The data is 64-byte aligned: the
// kernel copies into a misaligned buffer several times more slowly.
struct ReadBuffer {
  std::unique_ptr<char[]> storage;
  char* data = nullptr;
  std::size_t capacity = 0;
  void reserve(std::size_t n) {
    if (n <= capacity) return;
    std::size_t grown = capacity * 2 > n ? capacity * 2 : n;
    storage.reset(new char[grown + kAlignment]);
    const auto address = reinterpret_cast<std::uintptr_t>(storage.get());
    data = storage.get() + (kAlignment - address % kAlignment) % kAlignment;
    capacity = grown;
  }
  static constexpr std::size_t kAlignment = 64;
};

// The file's content as the calls see it.
struct Content {
  bool exists = false;
  bool utf16 = false;
  std::size_t rawSize = 0;
  std::string_view ansi;  // the bytes of an ANSI file
  std::u16string wide;    // the code units of a UTF-16LE file, without BOM
  std::string oddByte;    // the last byte of a UTF-16LE file of odd length
};

bool readWhole(int fd, ReadBuffer& buffer, std::size_t& size) {
  struct stat st;
  if (fstat(fd, &st) != 0 || S_ISDIR(st.st_mode)) return false;
  std::size_t expected = st.st_size > 0 ? static_cast<std::size_t>(st.st_size) : 0;
  buffer.reserve(expected + 1);
  size = 0;
  while (true) {
    if (size == buffer.capacity) {
      // The file grew while being read: keep what we have and go on.
      ReadBuffer bigger;
      bigger.reserve(buffer.capacity * 2);
      std::memcpy(bigger.data, buffer.data, size);
      buffer = std::move(bigger);
    }
    ssize_t n = ::read(fd, buffer.data + size, buffer.capacity - size);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (n == 0) return true;
    size += static_cast<std::size_t>(n);
  }
}

// Loads the file; a file that is missing or cannot be read is an empty,
// non-existing one.
Content load(const std::string& native) {
  thread_local ReadBuffer buffer;
  Content c;
  int fd = ::open(native.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return c;
  std::size_t size = 0;
  bool ok = readWhole(fd, buffer, size);
  ::close(fd);
  if (!ok) return c;
  c.exists = true;
  c.rawSize = size;
  const char* bytes = buffer.data;
  if (size >= 2 && static_cast<unsigned char>(bytes[0]) == 0xFF &&
      static_cast<unsigned char>(bytes[1]) == 0xFE) {
    c.utf16 = true;
    c.wide.reserve((size - 2) / 2);
    for (std::size_t i = 2; i + 1 < size; i += 2) {
      c.wide += char16_t(static_cast<unsigned char>(bytes[i]) |
                         (static_cast<unsigned char>(bytes[i + 1]) << 8));
    }
    // No code unit, but part of the file: a write puts it back at the end.
    if (size % 2 == 1) c.oddByte.assign(1, bytes[size - 1]);
  } else {
    c.ansi = std::string_view(bytes, size);
  }
  return c;
}

// Windows finds a file whatever the case of its name, as the other file calls
// of this layer do.
std::string nativeName(const char* fileName) {
  return posix::resolveNativePath(fileName);
}

// ---- Results into the caller's buffer --------------------------------------

// One string: min(length, size - 1) characters and a NUL; size > 0.
std::uint32_t putString(std::string_view s, char* buffer, std::uint32_t size) {
  std::size_t n = s.size() < size - 1 ? s.size() : size - 1;
  if (n > 0) std::memcpy(buffer, s.data(), n);
  buffer[n] = '\0';
  return static_cast<std::uint32_t>(n);
}

// A list: each string followed by NUL, then one more NUL (list holds the
// strings with their NULs). size > 0.
std::uint32_t putList(const std::string& list, char* buffer, std::uint32_t size) {
  if (list.empty()) {
    buffer[0] = '\0';
    return 0;
  }
  std::size_t total = list.size() + 1;
  if (total < size) {
    std::memcpy(buffer, list.data(), list.size());
    buffer[list.size()] = '\0';
    return static_cast<std::uint32_t>(list.size());
  }
  if (size < 3) {
    buffer[0] = '\0';
    if (size == 2) buffer[1] = '\0';
    return 0;
  }
  std::size_t n = size - 2;
  std::memcpy(buffer, list.data(), n);
  buffer[n] = '\0';
  buffer[n + 1] = '\0';
  return static_cast<std::uint32_t>(n);
}

template <class C>
std::string toAnsiString(pt::View<C> s) {
  if constexpr (sizeof(C) == 1) {
    return std::string(s);
  } else {
    return narrow(s);
  }
}

template <class C>
void appendItem(std::string& list, pt::View<C> s) {
  list += toAnsiString(s);
  list += '\0';
}

template <class C>
std::string sectionNames(pt::View<C> t) {
  std::string list;
  std::size_t from = 0;
  while (true) {
    std::size_t bracket = pt::nextHeader(t, from);
    if (bracket == pt::npos) return list;
    std::size_t end = pt::lineEnd(t, bracket);
    appendItem(list, pt::headerName(t, bracket, end));
    from = end;
  }
}

template <class C>
std::string keyNames(pt::View<C> t, pt::View<C> section) {
  std::string list;
  pt::SectionPos pos = pt::findSection(t, section);
  if (!pos.found()) return list;
  pt::forEachBodyLine(t, pos.bodyBegin, [&](const pt::Line& line) {
    if (line.kind == pt::LineKind::Entry) appendItem(list, pt::entryKey(t, line));
    return true;
  });
  return list;
}

template <class C>
std::string sectionLines(pt::View<C> t, pt::View<C> section) {
  std::string list;
  pt::SectionPos pos = pt::findSection(t, section);
  if (!pos.found()) return list;
  pt::forEachBodyLine(t, pos.bodyBegin, [&](const pt::Line& line) {
    if (line.kind == pt::LineKind::Entry) {
      list += toAnsiString(pt::entryKey(t, line));
      list += '=';
      appendItem(list, pt::entryValue(t, line));
    } else if (line.kind == pt::LineKind::Bare) {
      appendItem(list, pt::lineText(t, line));
    }
    return true;
  });
  return list;
}

// The value of section/key (quotes removed), or false when there is none.
template <class C>
bool lookup(pt::View<C> t, pt::View<C> section, pt::View<C> key, pt::View<C>& value) {
  pt::SectionPos pos = pt::findSection(t, section);
  pt::Line entry;
  if (!pos.found() || !pt::findEntry(t, pos, key, entry)) return false;
  value = pt::unquote(pt::entryValue(t, entry));
  return true;
}

// The value of section/key as ANSI text; false when missing.
bool lookupValue(const Content& c, const char* section, const char* key, std::string& storage,
                 std::string_view& value) {
  std::string_view s = pt::trimSpaces<char>(section);
  std::string_view k = pt::trimSpaces<char>(key);
  if (!c.utf16) return lookup<char>(c.ansi, s, k, value);
  std::u16string ws = widen(s), wk = widen(k);
  std::u16string_view wv;
  if (!lookup<char16_t>(c.wide, ws, wk, wv)) return false;
  storage = narrow(wv);
  value = storage;
  return true;
}

// A default as the string call returns it: trailing spaces removed.
std::string_view trimmedDefault(const char* defaultValue) {
  std::string_view d = defaultValue == nullptr ? std::string_view() : defaultValue;
  while (!d.empty() && d.back() == ' ') d.remove_suffix(1);
  return d;
}

// GetPrivateProfileIntA's conversion (RtlUnicodeStringToInteger, base 0):
// blanks skipped, an optional sign, "0x" / "0o" / "0b" prefixes, digits up to
// the first that does not belong to the base, all modulo 2^32.
unsigned int parseInteger(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && static_cast<unsigned char>(s[i]) <= ' ') ++i;
  bool negative = false;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
    negative = s[i] == '-';
    ++i;
  }
  unsigned base = 10;
  if (i + 1 < s.size() && s[i] == '0') {
    if (s[i + 1] == 'x')
      base = 16;
    else if (s[i + 1] == 'o')
      base = 8;
    else if (s[i + 1] == 'b')
      base = 2;
    if (base != 10) i += 2;
  }
  std::uint32_t total = 0;
  for (; i < s.size(); ++i) {
    char ch = s[i];
    unsigned digit;
    if (ch >= '0' && ch <= '9')
      digit = static_cast<unsigned>(ch - '0');
    else if (ch >= 'a' && ch <= 'z')
      digit = static_cast<unsigned>(ch - 'a' + 10);
    else if (ch >= 'A' && ch <= 'Z')
      digit = static_cast<unsigned>(ch - 'A' + 10);
    else
      break;
    if (digit >= base) break;
    total = total * base + digit;
  }
  return negative ? 0u - total : total;
}

// ---- Writing -------------------------------------------------------------

using faults::Operation;
using posix::flushToDisk;
using posix::injectedError;
using posix::writeAll;

// open(2) of a file to write, or the failure a fault plan gives it; name is
// the settings file the write is for.
int openToWrite(const std::string& name, const char* path, int flags, mode_t mode) {
  if (const int injected = injectedError(Operation::Open, name)) {
    errno = injected;
    return -1;
  }
  return ::open(path, flags, mode);
}

// A name for a temporary beside target that no other writer uses.
std::string temporaryName(const std::string& directory, const std::string& base) {
  static std::atomic<unsigned> counter{0};
  return directory + "." + base + ".tmp" + std::to_string(::getpid()) + "-" +
         std::to_string(counter.fetch_add(1));
}

// Removes temporaries of base that writers killed between naming their
// temporary and renaming it left behind: names made by temporaryName whose
// process is gone.
void removeStaleTemporaries(const std::string& directory, const std::string& base) {
  DIR* dir = ::opendir(directory.empty() ? "." : directory.c_str());
  if (dir == nullptr) return;
  const std::string prefix = "." + base + ".tmp";
  while (const dirent* entry = ::readdir(dir)) {
    std::string_view name(entry->d_name);
    if (name.size() <= prefix.size() || name.compare(0, prefix.size(), prefix) != 0) continue;
    std::string_view rest = name.substr(prefix.size());
    std::size_t dash = rest.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash + 1 == rest.size()) continue;
    if (rest.find_first_not_of("0123456789-") != std::string_view::npos) continue;
    long pid = std::strtol(std::string(rest.substr(0, dash)).c_str(), nullptr, 10);
    if (pid <= 0 || pid == ::getpid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH) {
      ::unlink((directory + std::string(name)).c_str());
    }
  }
  ::closedir(dir);
}

// How a replacement by rename ended.
enum class Replaced {
  Done,
  Failed,   // nothing changed: the write cannot be done
  InPlace,  // nothing changed: the file must be rewritten where it is instead
};

// Errors that say the directory may not be written (or an entry in it may
// not be replaced) by this user.
bool refusedByDirectory(int err) {
  return err == EACCES || err == EPERM;
}

// Fills a new temporary: the original's owner, group and mode, the bytes,
// fsync. Only a privileged process may give a file to another user, or to a
// group it is not in: InPlace when the owner or group cannot be kept so.
Replaced fillTemporary(int fd, const struct stat* original, const std::string& bytes,
                       const std::string& target) {
  if (original != nullptr) {
    struct stat made;
    if (::fstat(fd, &made) != 0) return Replaced::Failed;
    if ((made.st_uid != original->st_uid || made.st_gid != original->st_gid) &&
        ::fchown(fd, original->st_uid, original->st_gid) != 0) {
      return Replaced::InPlace;
    }
    if (::fchmod(fd, original->st_mode & 07777) != 0) return Replaced::Failed;
  }
  return writeAll(fd, bytes.data(), bytes.size(), target) && flushToDisk(fd, target) == 0
             ? Replaced::Done
             : Replaced::Failed;
}

// Replaces (or creates) the file at target with bytes: temporary file in the
// same directory, fsync, rename. The original's permissions, owner and group
// are kept. Unless Done, the original is untouched and the temporary removed;
// InPlace (only for an existing file) when the directory refuses the
// temporary or the rename, or the temporary cannot have the original's owner
// or group.
//
// Where the file system allows it the temporary is written unnamed
// (O_TMPFILE) and only given a name just before the rename, so that a writer
// killed while writing leaves nothing behind in the directory.
Replaced replaceFile(const std::string& target, const struct stat* original,
                     const std::string& bytes) {
  const Replaced refused = original != nullptr ? Replaced::InPlace : Replaced::Failed;
  std::size_t slash = target.rfind('/');
  std::string directory = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
  std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
  const std::string dirPath = directory.empty() ? std::string(".") : directory;
  std::string temp;
#ifdef O_TMPFILE
  int unnamed = openToWrite(target, dirPath.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666);
  if (unnamed >= 0) {
    const Replaced filled = fillTemporary(unnamed, original, bytes, target);
    if (filled != Replaced::Done) {
      ::close(unnamed);
      return filled == Replaced::InPlace ? refused : Replaced::Failed;
    }
    const std::string self = "/proc/self/fd/" + std::to_string(unnamed);
    bool linked = false;
    for (int attempt = 0; attempt < 100 && !linked; ++attempt) {
      temp = temporaryName(directory, base);
      linked = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0;
      if (!linked && errno != EEXIST) break;
    }
    ::close(unnamed);
    if (!linked) temp.clear();  // no /proc, say: write a named temporary instead
  }
#endif
  if (temp.empty()) {
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      temp = temporaryName(directory, base);
      fd = openToWrite(target, temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd < 0 && errno != EEXIST) return refusedByDirectory(errno) ? refused : Replaced::Failed;
    }
    if (fd < 0) return Replaced::Failed;
    Replaced filled = fillTemporary(fd, original, bytes, target);
    if (::close(fd) != 0) filled = Replaced::Failed;
    if (filled != Replaced::Done) {
      ::unlink(temp.c_str());
      return filled == Replaced::InPlace ? refused : Replaced::Failed;
    }
  }
  const int injected = injectedError(Operation::Rename, target);
  if (injected != 0 || ::rename(temp.c_str(), target.c_str()) != 0) {
    // A sticky directory lets only the file's owner replace it.
    const int err = injected != 0 ? injected : errno;
    ::unlink(temp.c_str());
    return refusedByDirectory(err) ? refused : Replaced::Failed;
  }
  removeStaleTemporaries(directory, base);
  // Make the rename itself durable.
  int dir = ::open(dirPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return Replaced::Done;
}

// Writes the whole buffer at the offset, whatever a fault plan says: for
// putting back the old text, into room that is already there.
bool writeBackAt(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::pwrite(fd, bytes.data() + done, bytes.size() - done,
                               static_cast<off_t>(done));
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    done += static_cast<std::size_t>(n);
  }
  return true;
}

// Rewrites the existing file itself with bytes and flushes it to disk, as
// Windows does. Room for a longer text is reserved first, so that a full disk
// refuses the write before anything has changed; the text is then written
// from the start and the rest of the old one cut off. When writing or
// flushing fails after all, the old text (oldBytes) is put back into the room
// it had, so that the failed write leaves the file as it was.
bool updateInPlace(const std::string& target, const std::string& bytes,
                   const std::string& oldBytes) {
  const int fd = openToWrite(target, target.c_str(), O_WRONLY | O_CLOEXEC, 0);
  if (fd < 0) return false;
  struct stat st;
  bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  const auto oldSize = ok ? st.st_size : off_t(0);
  const auto newSize = static_cast<off_t>(bytes.size());
  if (ok && newSize > oldSize) {
    const int injected = injectedError(Operation::Write, target);
    if (injected != 0 || ::posix_fallocate(fd, 0, newSize) != 0) {
      // Whatever the reservation added goes again; the text is untouched.
      const bool restored = ::ftruncate(fd, oldSize) == 0;
      (void)restored;
      ok = false;
    }
  }
  if (ok && (!writeAll(fd, bytes.data(), bytes.size(), target) ||
             ::ftruncate(fd, newSize) != 0 || flushToDisk(fd, target) != 0)) {
    const bool restored = writeBackAt(fd, oldBytes) &&
                          ::ftruncate(fd, static_cast<off_t>(oldBytes.size())) == 0 &&
                          ::fsync(fd) == 0;
    (void)restored;
    ok = false;
  }
  return (::close(fd) == 0) && ok;
}

// The file's bytes as they were read.
std::string rawBytes(const Content& c) {
  if (!c.utf16) return std::string(c.ansi);
  std::string bytes = "\xFF\xFE";
  for (char16_t w : c.wide) {
    bytes += static_cast<char>(w & 0xFF);
    bytes += static_cast<char>(w >> 8);
  }
  return bytes + c.oddByte;
}

enum class Edit { Set, DeleteKey, DeleteSection };

template <class C>
bool editText(std::basic_string<C>& text, bool nonEmptyFile, Edit edit, pt::View<C> section,
              pt::View<C> key, pt::View<C> value) {
  switch (edit) {
    case Edit::Set:
      return pt::setValue(text, nonEmptyFile, section, key, value);
    case Edit::DeleteKey:
      return pt::deleteKey(text, section, key);
    case Edit::DeleteSection:
      return pt::deleteSection(text, section);
  }
  return false;
}

}  // namespace

std::uint32_t getProfileString(const char* section, const char* key, const char* defaultValue,
                               char* buffer, std::uint32_t size, const char* fileName) {
  if (buffer == nullptr || size == 0) return 0;
  Content c;
  if (fileName != nullptr && *fileName != '\0') c = load(nativeName(fileName));
  if (section == nullptr) {
    return putList(c.utf16 ? sectionNames<char16_t>(c.wide) : sectionNames<char>(c.ansi), buffer,
                   size);
  }
  if (key == nullptr) {
    std::string_view s = pt::trimSpaces<char>(section);
    std::string list = c.utf16 ? keyNames<char16_t>(c.wide, widen(s)) : keyNames<char>(c.ansi, s);
    std::string_view d = trimmedDefault(defaultValue);
    if (list.empty() && !d.empty()) return putString(d, buffer, size);
    return putList(list, buffer, size);
  }
  std::string storage;
  std::string_view value;
  if (!lookupValue(c, section, key, storage, value)) value = trimmedDefault(defaultValue);
  return putString(value, buffer, size);
}

unsigned int getProfileInt(const char* section, const char* key, int defaultValue,
                           const char* fileName) {
  const unsigned int fallback = static_cast<unsigned int>(defaultValue);
  if (section == nullptr || key == nullptr || fileName == nullptr || *fileName == '\0') {
    return fallback;
  }
  Content c = load(nativeName(fileName));
  std::string storage;
  std::string_view value;
  if (!lookupValue(c, section, key, storage, value) || value.empty()) return fallback;
  return parseInteger(value);
}

std::uint32_t getProfileSection(const char* section, char* buffer, std::uint32_t size,
                                const char* fileName) {
  if (section == nullptr || buffer == nullptr || size == 0) return 0;
  Content c;
  if (fileName != nullptr && *fileName != '\0') c = load(nativeName(fileName));
  std::string_view s = pt::trimSpaces<char>(section);
  return putList(c.utf16 ? sectionLines<char16_t>(c.wide, widen(s)) : sectionLines<char>(c.ansi, s),
                 buffer, size);
}

bool writeProfileString(const char* section, const char* key, const char* value,
                        const char* fileName) {
  return writeProfileStrings(section, &key, &value, 1, fileName);
}

bool writeProfileStrings(const char* section, const char* const* keys, const char* const* values,
                         std::size_t count, const char* fileName) {
  if (section == nullptr) return false;
  if (count > 0 && (keys == nullptr || values == nullptr)) return false;
  std::vector<ProfileEdit> edits(count);
  for (std::size_t i = 0; i < count; ++i) edits[i] = ProfileEdit{section, keys[i], values[i]};
  return writeProfileEdits(edits.data(), count, fileName);
}

bool writeProfileEdits(const ProfileEdit* edits, std::size_t count, const char* fileName) {
  if (fileName == nullptr || *fileName == '\0') return false;
  if (count > 0 && edits == nullptr) return false;
  for (std::size_t i = 0; i < count; ++i) {
    if (edits[i].section == nullptr) return false;
  }
  std::string target = nativeName(fileName);
  // A symbolic link stays a link: the file it points to is replaced.
  struct stat st;
  bool exists = ::lstat(target.c_str(), &st) == 0;
  if (exists && S_ISLNK(st.st_mode)) {
    char* resolved = ::realpath(target.c_str(), nullptr);
    if (resolved != nullptr) {
      target = resolved;
      std::free(resolved);
    }
    exists = ::stat(target.c_str(), &st) == 0;
  }
  if (exists && !S_ISREG(st.st_mode)) return false;
  // No write permission bit at all is the read-only attribute; it holds for
  // every user, root too, as on Windows.
  if (exists && (st.st_mode & 0222) == 0) return false;
  // Otherwise the user's own right to write the file decides, whatever the
  // directory allows: replacing a file is no way to change one the user may
  // not write.
  if (exists && ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0) return false;

  Content c = load(target);
  if (exists && !c.exists) return false;  // present but unreadable
  // Every edit is applied to the text in memory, each one seeing the text the
  // one before left, exactly as successive calls would see the file; the
  // result is written once.
  auto sectionOf = [&](std::size_t i) { return pt::trimSpaces<char>(edits[i].section); };
  auto editOf = [&](std::size_t i) {
    return edits[i].key == nullptr     ? Edit::DeleteSection
           : edits[i].value == nullptr ? Edit::DeleteKey
                                       : Edit::Set;
  };
  auto keyOf = [&](std::size_t i) {
    return edits[i].key == nullptr ? std::string_view() : pt::trimSpaces<char>(edits[i].key);
  };
  auto valueOf = [&](std::size_t i) {
    return edits[i].value == nullptr ? std::string_view() : std::string_view(edits[i].value);
  };
  std::string bytes;
  bool changed = false;
  if (c.utf16) {
    std::u16string text = c.wide;
    for (std::size_t i = 0; i < count; ++i) {
      std::u16string ws = widen(sectionOf(i)), wk = widen(keyOf(i)), wv = widen(valueOf(i));
      changed = editText<char16_t>(text, true, editOf(i), ws, wk, wv) || changed;
    }
    bytes.reserve(2 + text.size() * 2);
    bytes += "\xFF\xFE";
    for (char16_t w : text) {
      bytes += static_cast<char>(w & 0xFF);
      bytes += static_cast<char>(w >> 8);
    }
    bytes += c.oddByte;
  } else {
    bytes.assign(c.ansi);
    for (std::size_t i = 0; i < count; ++i) {
      changed =
          editText<char>(bytes, !bytes.empty(), editOf(i), sectionOf(i), keyOf(i), valueOf(i)) ||
          changed;
    }
  }
  if (c.exists && !changed) return true;
  if (!c.exists && count == 0) return true;
  if (!c.exists) return replaceFile(target, nullptr, bytes) == Replaced::Done;
  switch (replaceFile(target, &st, bytes)) {
    case Replaced::Done:
      return true;
    case Replaced::InPlace:
      return updateInPlace(target, bytes, rawBytes(c));
    case Replaced::Failed:
      break;
  }
  return false;
}

}  // namespace platform
