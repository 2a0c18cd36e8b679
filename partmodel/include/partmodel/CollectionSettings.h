// The collection, part-position and calibration-point settings of a part
// settings file (".qini" or legacy ".ini"), the readers the calibration
// operations share, and the one place that forms the numbered section names.
//
// Section names concatenate 1-based decimal numbers with no separator
// ("QuadFile" + n, "PartCalibrationPoints" + c, "PartLocalToArmGlobal" + a +
// c + p). Once a number reaches 10 two triples (a, c, p) can give the same
// transform section name: arm position 1 with collection 11 and arm position
// 11 with collection 1 both give PartLocalToArmGlobal1111. The rule that keeps
// every read and write on its own triple:
//
//   A transform section name is *ambiguous for a file* when its digits can be
//   split into a different triple (a', c', p'), each without leading zeros,
//   with 1 <= a' <= the file's arm-position count (the largest "p2" of its
//   collections' calibration points),
//   1 <= c' <= its collection count and 1 <= p' <= its part-position count
//   (TransformNameLimits). An ambiguous name is never read nor written: the
//   operation refuses with one line (the live region test treats it as a
//   position without a section). The older one-number form
//   "PartLocalToArmGlobal" + a is taken only while a has at most two digits
//   (three digits could be read as a triple).
//
// Every name keeps exactly the form it always had; with fewer than ten arm
// positions, collections and part positions no name is ever ambiguous. The
// rule only refuses a name that a second triple of the same file could claim,
// e.g. (1, 11, 1) in a part with 11 collections calibrated at 11 arm positions.
#pragma once

#include <string>
#include <vector>

#include "ZorvVLWizard.h"

// Largest collection number ("CollectionIndex") of a part.
inline constexpr int kMaxCollections = 99;
// Largest arm position a calibration set can name ("p2").
inline constexpr int kMaxArmPositions = 16;
// Largest "NumberOfPartPositions" a part may have; a larger value is refused
// as unreadable.
inline constexpr int kMaxPartPositions = 99;

// Base names of the numbered sections.
inline constexpr const char* kQuadFileSection = "QuadFile";
inline constexpr const char* kPartCalibrationPointsSection = "PartCalibrationPoints";
inline constexpr const char* kPartTransformSection = "PartLocalToArmGlobal";
inline constexpr const char* kRegionSection = "Region";
inline constexpr const char* kCollectionSection = "Collection";

// Section of quad-file position n (1-based) as the collection readers find
// it: for n = 1 "QuadFile1" when it exists, else the plain "QuadFile";
// "QuadFile" + n for n >= 2. The search of a quad-file section by its "Name"
// (findQuadFileSection, used by the operator-position calibration) follows
// the same rule.
//
// Two rules for position 1, side by side:
//   collection readers, search by name:  "QuadFile1", else "QuadFile";
//   region loader (loadRegionMeshes):    "QuadFile", else "QuadFile1".
// Positions n >= 2 are "QuadFile" + n under both. The rules agree whenever a
// file holds only one of "QuadFile" and "QuadFile1"; a file that holds both
// is read from different sections, so the operator-position calibration
// writes no flags into it.
std::string quadFileSectionName(const std::string& settingsFile, int position);
// Section of the calibration points of collection c (1-based): for c = 1 the
// plain "PartCalibrationPoints" when it exists, else "PartCalibrationPoints1";
// "PartCalibrationPoints" + c for c >= 2.
std::string partCalibrationPointsSectionName(const std::string& settingsFile, int collection);

// "PartLocalToArmGlobal" + a + c + p (all 1-based), whatever the file holds.
std::string partTransformSectionName(int armPosition, int collection, int partPosition);
// "PartLocalToArmGlobal" + a, the older form of a one-collection region.
std::string olderPartTransformSectionName(int armPosition);

// The ranges within which a file's transform section names must be told apart.
struct TransformNameLimits {
  int armPositions = 1;
  int collections = 1;
  int partPositions = 1;
};
// The limits of a settings file: its collection count (the largest
// "CollectionIndex" of its quad-file sections, at least 1, at most 99), its
// "NumberOfPartPositions" (at least 1) and the largest "p2" of the
// calibration points of its collections (at least 1). What cannot be read
// counts as 1.
TransformNameLimits transformNameLimits(const std::string& settingsFile);
// True when no other triple within the limits forms the same name.
bool partTransformNameIsUnambiguous(int armPosition, int collection, int partPosition,
                                    const TransformNameLimits& limits);
// True when "PartLocalToArmGlobal" + a cannot be read as a triple (a < 100).
bool olderPartTransformNameIsUsable(int armPosition);
// The one line printed when a name is refused (ends in "\n").
std::string ambiguousSectionMessage(const std::string& sectionName,
                                    const std::string& settingsFile);

// The collection list: one entry per collection (index c - 1 for collection
// c), each the concatenation of "\n\t\t" + label for its quad files in
// section order (the label being "Name" up to its last "."). True only when
// at least one quad-file section exists, every "CollectionIndex" lies in
// 1..99 and every collection from 1 to the largest index has a quad file.
bool readCollectionList(const std::string& settingsFile, string_vector& list);
// The ".quads" files of collection c (1-based) named by the quad-file
// sections of the settings file, as full paths (directory of the settings
// file + "\" + "Name"), in section order; "CollectionIndex" is 1 when
// missing, as the region loader takes it. Read quietly: a section that cannot
// be read is left out.
std::vector<std::string> collectionQuadFiles(const std::string& settingsFile, int collection);
// "NumberOfPartPositions" of section "Region"; 1 when the key is absent.
// False only when the read itself fails (a missing file, a value below 1 or
// above kMaxPartPositions).
bool readNumberOfPartPositions(const std::string& settingsFile, int& count);
// The largest "p2" of the PartCalibrationPoints sections (visited while they
// exist), at least 1. Always true.
bool readNumberOfArmPositions(const std::string& settingsFile, int& count);
// Fixed is the negation of "Moveable" of "Collection" + (index + 1); without
// that section or key the collection is moveable. Always true.
bool readCollectionFixed(const std::string& settingsFile, int collectionIndex, bool& fixed);
// Index of the first entry equal to the chosen one (the list's size when none).
std::size_t findCollectionIndex(const std::string& chosen, const string_vector& list);
