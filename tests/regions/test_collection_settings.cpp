// Collection list, part and arm positions, fixed collections and the names of
// the numbered sections, on settings files.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RegionTestSupport.h"
#include "partmodel/CollectionSettings.h"

namespace {

std::string quad(const std::string& section, const std::string& name, int index) {
  return "[" + section + "]\nName=" + name + "\nCollectionIndex=" + std::to_string(index) + "\n";
}

TEST(CollectionList, GroupsLabelsPerCollectionAndRefusesGapsAndRanges) {
  struct Case {
    const char* what;
    std::string content;
    bool ok;
    std::vector<std::string> entries;
  };
  const std::vector<Case> cases = {
      {"plain first section, then QuadFile2", quad("QuadFile", "A.quads", 1) + quad("QuadFile2", "B.quads", 2),
       true, {"\n\t\tA", "\n\t\tB"}},
      {"QuadFile1 wins over the plain name", quad("QuadFile", "P.quads", 1) + quad("QuadFile1", "A.quads", 1),
       true, {"\n\t\tA"}},
      {"same collection joins labels in section order",
       quad("QuadFile1", "A.x.quads", 1) + quad("QuadFile2", "B.quads", 1) + quad("QuadFile3", "C", 2),
       true, {"\n\t\tA.x\n\t\tB", "\n\t\tC"}},
      {"collection 2 missing", quad("QuadFile1", "A.quads", 1) + quad("QuadFile2", "C.quads", 3), false, {}},
      {"index 0", quad("QuadFile1", "A.quads", 0), false, {}},
      {"index 100", quad("QuadFile1", "A.quads", 100), false, {}},
      {"no quad-file section", "[Region]\nNumberOfPartPositions=2\n", false, {}},
      {"a section without CollectionIndex", "[QuadFile1]\nName=A.quads\n", false, {}},
      {"list ends at the first missing position", quad("QuadFile1", "A.quads", 1) + quad("QuadFile3", "B.quads", 2),
       true, {"\n\t\tA"}},
  };
  for (const Case& c : cases) {
    PartFile part(c.content);
    string_vector list;
    EXPECT_EQ(readCollectionList(part.path(), list), c.ok) << c.what;
    if (c.ok) {
      EXPECT_EQ(std::vector<std::string>(list.strings.begin(), list.strings.end()), c.entries) << c.what;
      EXPECT_EQ(findCollectionIndex(c.entries.back(), list), c.entries.size() - 1) << c.what;
      EXPECT_EQ(findCollectionIndex("\n\t\tZ", list), c.entries.size()) << c.what;
    }
  }
}

TEST(CollectionSettings, PartPositionsArmPositionsAndFixedCollections) {
  struct Case {
    const char* what;
    std::string content;
    bool partOk;
    int parts;
    int arms;
    std::vector<bool> fixed;  // collections 1, 2, 3
  };
  const std::vector<Case> cases = {
      {"nothing set", "[Other]\na=1\n", true, 1, 1, {false, false, false}},
      {"three part positions, p2 in collection 2, collection 1 fixed",
       "[Region]\nNumberOfPartPositions=3\n[Collection1]\nMoveable=false\n"
       "[PartCalibrationPoints]\nx0=1\n[PartCalibrationPoints2]\np0=1\np1=2\np2=4\n",
       true, 3, 4, {true, false, false}},
      {"plain PartCalibrationPoints wins over PartCalibrationPoints1",
       "[PartCalibrationPoints]\np2=2\n[PartCalibrationPoints1]\np2=9\n[Collection2]\nMoveable=NO\n"
       "[Collection3]\nOther=1\n",
       true, 1, 2, {false, true, false}},
      {"Moveable yes in any case", "[Collection1]\nMoveable=YES\n[Collection2]\nMoveable=True\n", true, 1, 1,
       {false, false, false}},
      {"zero part positions is refused", "[Region]\nNumberOfPartPositions=0\n", false, 0, 1, {false, false, false}},
  };
  for (const Case& c : cases) {
    PartFile part(c.content);
    int parts = 0;
    EXPECT_EQ(readNumberOfPartPositions(part.path(), parts), c.partOk) << c.what;
    if (c.partOk) {
      EXPECT_EQ(parts, c.parts) << c.what;
    }
    int arms = 0;
    EXPECT_TRUE(readNumberOfArmPositions(part.path(), arms));
    EXPECT_EQ(arms, c.arms) << c.what;
    for (int i = 0; i < 3; ++i) {
      bool fixed = !c.fixed[i];
      EXPECT_TRUE(readCollectionFixed(part.path(), i, fixed));
      EXPECT_EQ(fixed, c.fixed[i]) << c.what << ", collection " << i + 1;
    }
  }
  int parts = 0;
  EXPECT_FALSE(readNumberOfPartPositions(testsupport::TempDir().path() + "\\missing.qini", parts));
}

TEST(SectionNames, FormsFallbacksAndAmbiguity) {
  EXPECT_EQ(partTransformSectionName(12, 1, 3), "PartLocalToArmGlobal1213");
  EXPECT_EQ(partTransformSectionName(1, 2, 1), "PartLocalToArmGlobal121");
  EXPECT_EQ(olderPartTransformSectionName(7), "PartLocalToArmGlobal7");
  EXPECT_TRUE(olderPartTransformNameIsUsable(99));
  EXPECT_FALSE(olderPartTransformNameIsUsable(111));  // reads as PartLocalToArmGlobal111

  PartFile numbered("[QuadFile]\nName=A\n[QuadFile1]\nName=B\n[PartCalibrationPoints1]\nx0=1\n");
  EXPECT_EQ(quadFileSectionName(numbered.path(), 1), "QuadFile1");
  EXPECT_EQ(quadFileSectionName(numbered.path(), 2), "QuadFile2");
  EXPECT_EQ(partCalibrationPointsSectionName(numbered.path(), 1), "PartCalibrationPoints1");
  PartFile plain("[QuadFile]\nName=A\n[PartCalibrationPoints]\nx0=1\n");
  EXPECT_EQ(quadFileSectionName(plain.path(), 1), "QuadFile");
  EXPECT_EQ(partCalibrationPointsSectionName(plain.path(), 1), "PartCalibrationPoints");
  EXPECT_EQ(partCalibrationPointsSectionName(plain.path(), 2), "PartCalibrationPoints2");

  struct Case {
    int a, c, p;
    TransformNameLimits limits;
    bool unambiguous;
  };
  const std::vector<Case> cases = {
      {1, 2, 1, {16, 9, 9}, true},      // single digits never clash
      {1, 11, 1, {11, 11, 1}, false},   // 1111 is also (11, 1, 1)
      {11, 1, 1, {11, 11, 1}, false},
      {1, 11, 1, {1, 11, 1}, true},     // one arm position: (11, 1, 1) cannot exist
      {11, 1, 1, {1, 11, 1}, false},    // the region test's arm position 11 would read (1, 11, 1)
      {11, 1, 1, {16, 1, 1}, true},     // one collection: only (11, 1, 1) fits
      {1, 1, 11, {1, 11, 11}, false},   // 1111 is also (1, 11, 1)
      {2, 10, 1, {16, 10, 1}, true},    // 2101: (21, 0, 1) and (2, 1, 01) have zeros
      {12, 3, 4, {16, 3, 4}, true},
      {1, 23, 4, {16, 23, 4}, false},   // 1234 is also (12, 3, 4)
  };
  for (const Case& c : cases) {
    EXPECT_EQ(partTransformNameIsUnambiguous(c.a, c.c, c.p, c.limits), c.unambiguous)
        << c.a << "," << c.c << "," << c.p;
  }

  std::string eleven;
  for (int i = 1; i <= 11; ++i) {
    eleven += quad("QuadFile" + std::to_string(i), "Q" + std::to_string(i), i);
  }
  PartFile big(eleven + "[Region]\nNumberOfPartPositions=2\n[PartCalibrationPoints3]\np0=1\np1=1\np2=12\n");
  const TransformNameLimits limits = transformNameLimits(big.path());
  EXPECT_EQ(limits.collections, 11);
  EXPECT_EQ(limits.partPositions, 2);
  EXPECT_EQ(limits.armPositions, 12);
}

}  // namespace
