#include "IniFileSection.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile.h"

namespace {

// Default of getInt that marks a missing key.
constexpr int kMissingInt = -99999999;

// Buffers as the profile calls are given them: the size passed is one less
// than the buffer, which keeps a spare byte after the terminating NUL.
constexpr std::uint32_t kDoubleBuffer = 100;
constexpr std::uint32_t kStringBuffer = 1000;
constexpr std::uint32_t kProbeBuffer = 10;
constexpr std::size_t kFormatBuffer = 256;

std::uint32_t sectionLength(const std::string& fileName, const std::string& sectionName) {
  char buffer[kProbeBuffer];
  return platform::getProfileSection(sectionName.c_str(), buffer, kProbeBuffer, fileName.c_str());
}

// Whether the path names a file that can be read. A directory is none, though
// Linux opens one for reading (Windows refuses).
bool canOpenForReading(const std::string& path) {
  if (platform::pathKind(path) == platform::PathKind::Directory) return false;
  std::FILE* file = platform::openFile(path, "r");
  if (file == nullptr) return false;
  std::fclose(file);
  return true;
}

// A real as setDouble stores it: "%4.16lf" into text (kFormatBuffer bytes).
// A value that is not finite or too long for the buffer would store text that
// no reader takes for the number: it raises WriteFailed instead.
void formatReal(double value, char* text) {
  using Exception = IniFileSection::IniFileException;
  if (!std::isfinite(value)) throw new Exception("", Exception::WriteFailed);
  int length = std::snprintf(text, kFormatBuffer, "%4.16lf", value);
  if (length < 0 || static_cast<std::size_t>(length) >= kFormatBuffer) {
    throw new Exception("", Exception::WriteFailed);
  }
}

char foldCase(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

}  // namespace

IniFileSection::IniFileException::IniFileException(std::string message, IniFailureKind kind)
    : message(std::move(message)), kind(kind) {}

IniFileSection::IniFileException::~IniFileException() = default;

void* IniFileSection::IniFileException::operator new(std::size_t size) {
  return ::operator new(size);
}

void IniFileSection::IniFileException::operator delete(void* pointer) noexcept {
  ::operator delete(pointer);
}

std::string IniFileSection::IniFileException::getMessage() const {
  return message;
}

IniFileSection::IniFailureKind IniFileSection::IniFileException::getType() const {
  return kind;
}

IniFileSection::IniFileSection() = default;

IniFileSection::IniFileSection(std::string fileName, std::string sectionName,
                               bool skipExistenceCheck) {
  std::string name = std::move(fileName);
  if (!skipExistenceCheck && sectionLength(name, sectionName) < 1) {
    if (!platform::isAbsolutePath(name)) {
      // The profile calls would not look in the current directory for a bare
      // name, so the name is made absolute against it.
      name = platform::currentDirectory() + "\\" + name;
      if (sectionLength(name, sectionName) < 1 && !canOpenForReading(name)) {
        throw new IniFileException(name, FileUnavailable);
      }
    } else if (!canOpenForReading(name)) {
      throw new IniFileException(name, FileUnavailable);
    }
  }
  this->fileName = std::move(name);
  this->sectionName = std::move(sectionName);
}

IniFileSection::~IniFileSection() = default;

double IniFileSection::getDouble(const char* key) const {
  char buffer[kDoubleBuffer];
  std::uint32_t length = platform::getProfileString(sectionName.c_str(), key, "", buffer,
                                                    kDoubleBuffer - 1, fileName.c_str());
  float value = 0.0f;
  // Read through the single-precision "%f" conversion on purpose: a value
  // read back carries about seven significant digits (see the header).
  if (length < 1 || std::sscanf(buffer, "%f", &value) != 1) {  // NOLINT(cert-err34-c)
    throw new IniFileException("[" + sectionName + "] " + key, KeyUnavailable);
  }
  return static_cast<double>(value);
}

int IniFileSection::getInt(const char* key) const {
  int value = static_cast<int>(
      platform::getProfileInt(sectionName.c_str(), key, kMissingInt, fileName.c_str()));
  if (value == kMissingInt) {
    throw new IniFileException("[" + sectionName + "] " + key, KeyUnavailable);
  }
  return value;
}

std::string IniFileSection::getString(const char* key) const {
  char buffer[kStringBuffer];
  std::uint32_t length = platform::getProfileString(sectionName.c_str(), key, "", buffer,
                                                    kStringBuffer - 1, fileName.c_str());
  if (length < 1) throw new IniFileException("[" + sectionName + "] " + key, KeyUnavailable);
  return std::string(buffer, length);
}

bool IniFileSection::getBool(const char* key) const {
  std::string value = getString(key);
  return equalsIgnoreCase(value, "true") || equalsIgnoreCase(value, "yes");
}

bool IniFileSection::valueEquals(const std::string& key, const std::string& expected) const {
  return equalsIgnoreCase(getString(key.c_str()), expected);
}

void IniFileSection::setDouble(const char* key, double value) const {
  char text[kFormatBuffer];
  formatReal(value, text);
  if (!platform::writeProfileString(sectionName.c_str(), key, text, fileName.c_str())) {
    throw new IniFileException("", WriteFailed);
  }
}

void IniFileSection::setDoubles(std::span<const std::pair<const char*, double>> values) const {
  // Every value is formatted before anything is written, so that a refused
  // one leaves the file as it was.
  std::vector<std::array<char, kFormatBuffer>> texts(values.size());
  std::vector<const char*> keys(values.size());
  std::vector<const char*> strings(values.size());
  for (std::size_t i = 0; i < values.size(); ++i) {
    formatReal(values[i].second, texts[i].data());
    keys[i] = values[i].first;
    strings[i] = texts[i].data();
  }
  if (!platform::writeProfileStrings(sectionName.c_str(), keys.data(), strings.data(),
                                     values.size(), fileName.c_str())) {
    throw new IniFileException("", WriteFailed);
  }
}

void IniFileSection::setDoublesInSections(const std::string& fileName,
                                          std::span<const SectionDouble> values) {
  std::vector<SectionChange> changes;
  changes.reserve(values.size());
  for (const SectionDouble& value : values) {
    changes.push_back({SectionChange::Real, value.section, value.key, value.value, nullptr});
  }
  changeSections(fileName, changes);
}

void IniFileSection::changeSections(const std::string& fileName,
                                    std::span<const SectionChange> changes) {
  // Every value is formatted and checked before anything is written, so that
  // a refused one leaves the file as it was.
  std::vector<std::array<char, kFormatBuffer>> texts(changes.size());
  std::vector<platform::ProfileEdit> edits(changes.size());
  for (std::size_t i = 0; i < changes.size(); ++i) {
    const SectionChange& change = changes[i];
    switch (change.kind) {
      case SectionChange::Real:
        formatReal(change.value, texts[i].data());
        edits[i] = platform::ProfileEdit{change.section, change.key, texts[i].data()};
        break;
      case SectionChange::Text:
        // A line end would split the value into lines the file never had.
        if (change.text == nullptr || std::strpbrk(change.text, "\r\n") != nullptr) {
          throw new IniFileException("", WriteFailed);
        }
        edits[i] = platform::ProfileEdit{change.section, change.key, change.text};
        break;
      case SectionChange::RemoveSection:
        edits[i] = platform::ProfileEdit{change.section, nullptr, nullptr};
        break;
    }
  }
  if (!platform::writeProfileEdits(edits.data(), edits.size(), fileName.c_str())) {
    throw new IniFileException("", WriteFailed);
  }
}

void IniFileSection::setBool(const char* key, bool value) const {
  if (!platform::writeProfileString(sectionName.c_str(), key, value ? "true" : "false",
                                    fileName.c_str())) {
    throw new IniFileException("", WriteFailed);
  }
}

void IniFileSection::setBools(std::initializer_list<std::pair<const char*, bool>> values) const {
  std::vector<const char*> keys;
  std::vector<const char*> strings;
  for (const auto& [key, value] : values) {
    keys.push_back(key);
    strings.push_back(value ? "true" : "false");
  }
  if (!platform::writeProfileStrings(sectionName.c_str(), keys.data(), strings.data(),
                                     keys.size(), fileName.c_str())) {
    throw new IniFileException("", WriteFailed);
  }
}

// Texts by value: the published signature.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
bool IniFileSection::sectionExists(std::string fileName, std::string sectionName) {
  return sectionLength(fileName, sectionName) > 1;
}

bool IniFileSection::keyExists(const std::string& fileName, const std::string& sectionName,
                               const std::string& key) {
  char buffer[kProbeBuffer];
  platform::getProfileString(sectionName.c_str(), key.c_str(), "default", buffer, kProbeBuffer,
                             fileName.c_str());
  return std::strcmp(buffer, "default") != 0;
}

// Texts by value: the published signature.
// NOLINTNEXTLINE(performance-unnecessary-value-param)
void IniFileSection::deleteSection(std::string fileName, std::string sectionName) {
  platform::writeProfileString(sectionName.c_str(), nullptr, nullptr, fileName.c_str());
}

bool IniFileSection::equalsIgnoreCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (foldCase(a[i]) != foldCase(b[i])) return false;
  }
  return true;
}
