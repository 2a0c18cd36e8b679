// Collection, part-position and calibration-point settings, and the names of
// the numbered sections.
#include "partmodel/CollectionSettings.h"

#include <algorithm>
#include <vector>

#include "IniAccess.h"
#include "IniFileSection.h"
#include "console/ConsoleServices.h"

namespace {

// The decimal number of a digit run without a leading zero, or 0 when the run
// has one or is too long to be a position.
long digitsValue(const std::string& digits) {
  if (digits.empty() || digits[0] == '0' || digits.size() > 6) return 0;
  long value = 0;
  for (char c : digits) value = value * 10 + (c - '0');
  return value;
}

}  // namespace

std::string quadFileSectionName(const std::string& settingsFile, int position) {
  const std::string numbered = kQuadFileSection + numberToText(position);
  if (position == 1 && !IniFileSection::sectionExists(settingsFile, numbered)) {
    return kQuadFileSection;
  }
  return numbered;
}

std::string partCalibrationPointsSectionName(const std::string& settingsFile, int collection) {
  if (collection == 1 && IniFileSection::sectionExists(settingsFile, kPartCalibrationPointsSection)) {
    return kPartCalibrationPointsSection;
  }
  return kPartCalibrationPointsSection + numberToText(collection);
}

std::string partTransformSectionName(int armPosition, int collection, int partPosition) {
  return kPartTransformSection + numberToText(armPosition) + numberToText(collection) +
         numberToText(partPosition);
}

std::string olderPartTransformSectionName(int armPosition) {
  return kPartTransformSection + numberToText(armPosition);
}

TransformNameLimits transformNameLimits(const std::string& settingsFile) {
  TransformNameLimits limits;
  int largestCollection = 1;
  for (int n = 1;; ++n) {
    const std::string section = quadFileSectionName(settingsFile, n);
    if (!IniFileSection::sectionExists(settingsFile, section)) break;
    iniAccessSucceeds([&] {
      const int index = IniFileSection(settingsFile, section, false).getInt("CollectionIndex");
      largestCollection = std::max(largestCollection, std::min(index, kMaxCollections));
    });
  }
  limits.collections = largestCollection;
  int partPositions = 1;
  if (readNumberOfPartPositions(settingsFile, partPositions)) {
    limits.partPositions = std::max(partPositions, 1);
  }
  // Every collection's calibration points count, not only those up to the
  // first gap: a name must be told apart from any triple the file can use.
  int armPositions = 1;
  for (int c = 1; c <= largestCollection; ++c) {
    const std::string section = partCalibrationPointsSectionName(settingsFile, c);
    if (!IniFileSection::keyExists(settingsFile, section, "p2")) continue;
    iniAccessSucceeds([&] {
      armPositions = std::max(armPositions, IniFileSection(settingsFile, section, false).getInt("p2"));
    });
  }
  limits.armPositions = armPositions;
  return limits;
}

bool partTransformNameIsUnambiguous(int armPosition, int collection, int partPosition,
                                    const TransformNameLimits& limits) {
  const std::string digits =
      numberToText(armPosition) + numberToText(collection) + numberToText(partPosition);
  for (std::size_t i = 1; i + 1 < digits.size(); ++i) {
    for (std::size_t j = i + 1; j < digits.size(); ++j) {
      const long a = digitsValue(digits.substr(0, i));
      const long c = digitsValue(digits.substr(i, j - i));
      const long p = digitsValue(digits.substr(j));
      if (a == armPosition && c == collection && p == partPosition) continue;
      if (a >= 1 && a <= limits.armPositions && c >= 1 && c <= limits.collections && p >= 1 &&
          p <= limits.partPositions) {
        return false;
      }
    }
  }
  return true;
}

bool olderPartTransformNameIsUsable(int armPosition) {
  return armPosition >= 1 && armPosition < 100;
}

std::string ambiguousSectionMessage(const std::string& sectionName,
                                    const std::string& settingsFile) {
  return "Section name " + sectionName + " of " + settingsFile +
         " is ambiguous: another arm position, collection and part position give the same "
         "name.\n";
}

bool readCollectionList(const std::string& settingsFile, string_vector& list) {
  list.strings.clear();
  std::vector<std::string> entries(kMaxCollections);
  int largest = 0;
  for (int n = 1;; ++n) {
    const std::string section = quadFileSectionName(settingsFile, n);
    if (!IniFileSection::sectionExists(settingsFile, section)) break;
    int index = 0;
    std::string name;
    const bool read = iniAccessSucceeds([&] {
      IniFileSection keys(settingsFile, section, false);
      index = keys.getInt("CollectionIndex");
      name = keys.getString("Name");
    });
    if (!read || index < 1 || index > kMaxCollections) return false;
    const std::size_t dot = name.rfind('.');
    entries[index - 1] += "\n\t\t" + (dot == std::string::npos ? name : name.substr(0, dot));
    largest = std::max(largest, index);
  }
  if (largest == 0) return false;
  for (int c = 0; c < largest; ++c) {
    if (entries[c].empty()) return false;
  }
  for (int c = 0; c < largest; ++c) list.strings.push_back(entries[c]);
  return true;
}

std::vector<std::string> collectionQuadFiles(const std::string& settingsFile, int collection) {
  std::vector<std::string> files;
  const std::string directory = settingsFile.substr(0, settingsFile.rfind('\\') + 1);
  for (int n = 1;; ++n) {
    const std::string section = quadFileSectionName(settingsFile, n);
    if (!IniFileSection::sectionExists(settingsFile, section)) break;
    iniAccessSucceeds([&] {
      const IniFileSection keys(settingsFile, section, false);
      const int index = IniFileSection::keyExists(settingsFile, section, "CollectionIndex")
                            ? keys.getInt("CollectionIndex")
                            : 1;
      if (index == collection) files.push_back(directory + keys.getString("Name"));
    });
  }
  return files;
}

bool readNumberOfPartPositions(const std::string& settingsFile, int& count) {
  return iniAccessSucceeds([&] {
    IniFileSection region(settingsFile, kRegionSection, false);
    int value = 1;
    if (IniFileSection::keyExists(region.fileName, kRegionSection, "NumberOfPartPositions")) {
      value = region.getInt("NumberOfPartPositions");
      // No part can be calibrated at fewer than one position, and a count
      // beyond the limit is a typing error (its lists would exhaust memory).
      if (value < 1 || value > kMaxPartPositions) throw new IniFileSection::IniFileException("", IniFileSection::KeyUnavailable);
    }
    count = value;
  });
}

bool readNumberOfArmPositions(const std::string& settingsFile, int& count) {
  int largest = 1;
  for (int c = 1;; ++c) {
    const std::string section = partCalibrationPointsSectionName(settingsFile, c);
    if (!IniFileSection::sectionExists(settingsFile, section)) break;
    if (!IniFileSection::keyExists(settingsFile, section, "p2")) continue;
    iniAccessSucceeds([&] {
      largest = std::max(largest, IniFileSection(settingsFile, section, false).getInt("p2"));
    });
  }
  count = largest;
  return true;
}

bool readCollectionFixed(const std::string& settingsFile, int collectionIndex, bool& fixed) {
  const std::string section = kCollectionSection + numberToText(collectionIndex + 1);
  bool moveable = true;
  if (IniFileSection::sectionExists(settingsFile, section) &&
      IniFileSection::keyExists(settingsFile, section, "Moveable")) {
    iniAccessSucceeds([&] { moveable = IniFileSection(settingsFile, section, false).getBool("Moveable"); });
  }
  fixed = !moveable;
  return true;
}

std::size_t findCollectionIndex(const std::string& chosen, const string_vector& list) {
  const auto& entries = list.strings;
  return static_cast<std::size_t>(std::find(entries.begin(), entries.end(), chosen) -
                                  entries.begin());
}
