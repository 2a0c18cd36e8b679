// Transform sections written together: the same bytes as one section at a
// time, or nothing at all.
#include <cmath>
#include <filesystem>
#include <iterator>
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IniFileSection.h"
#include "partmodel/TransformSections.h"
#include "test_support.h"

namespace {

using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Vector;

RigidBodyFit fit(double o, double angle, double t) {
  return RigidBodyFit{Point(o, -o / 3.0, 10.0), Vector(angle, -angle / 7.0, 2.0 * angle),
                      Vector(t, 1000.0 - t, 1.0 / 3.0)};
}

// A part settings file as the calibration leaves it: region, quad files,
// points, and transform sections with and without all nine keys.
const char* const kPart =
    "; part settings\r\n[Region]\r\nName=Top\r\n[QuadFile1]\r\nName=a.quads\r\n"
    "CollectionIndex=1\r\n[PartCalibrationPoints1]\r\nx0=1\r\ny0=2\r\nz0=3\r\n"
    "[PartLocalToArmGlobal111]\r\nRotationOriginX=0\r\nRotationOriginY=0\r\nRotationOriginZ=0\r\n"
    "RotationAngleX=1\r\nRotationAngleY=2\r\nRotationAngleZ=3\r\nTranslationX=4\r\n"
    "TranslationY=5\r\nTranslationZ=6\r\n"
    "[PartLocalToArmGlobal211]\r\n; operator 7\r\nTranslationZ=9\r\nRotationOriginX=1\r\n"
    "[partlocaltoarmglobal121]\r\nTranslationX=1\n\n[Probe]\r\nRadius=3";

TEST(WriteTransformSections, LeaveTheBytesOfOneSectionAtATime) {
  const std::vector<NamedTransform> sections = {
      {"PartLocalToArmGlobal111", fit(12.5, 0.25, 700.0), "N772"},
      {"PartLocalToArmGlobal211", fit(-3.0, -1.5, -40.125), ""},  // no stamp
      {"PartLocalToArmGlobal121", fit(0.0, 3.0, 1e6), "OLD4711"},
      {"PartLocalToArmGlobal812", fit(1.0 / 3.0, 0.0, -0.0), "N772"},  // not there yet
      {"PartLocalToArmGlobal111", fit(99.0, 0.5, 1.0), "X9"}};  // again: the last wins
  for (const std::string& start : {std::string(kPart), std::string()}) {
    SCOPED_TRACE(start);
    testsupport::TempDir dir;
    const std::string one = dir / "One.qini";
    const std::string all = dir / "All.qini";
    testsupport::writeFile(one, start);
    testsupport::writeFile(all, start);
    for (const NamedTransform& s : sections) {
      writeTransformSection(one, s.sectionName, s.fit, s.armSerial);
    }
    writeTransformSections(all, sections);
    const std::string expected = testsupport::readFile(one);
    EXPECT_EQ(testsupport::readFile(all), expected);
    EXPECT_NE(expected, start);
    EXPECT_FLOAT_EQ(IniFileSection(all, "PartLocalToArmGlobal111", false).getDouble("TranslationX"),
                    1.0f);
    // The stamp follows the nine keys and is replaced in place.
    EXPECT_EQ(readArmSerialStamp(all, "PartLocalToArmGlobal111"), "X9");
    EXPECT_EQ(readArmSerialStamp(all, "PartLocalToArmGlobal812"), "N772");
    EXPECT_EQ(readArmSerialStamp(all, "PartLocalToArmGlobal211"), "");
    EXPECT_NE(expected.find("TranslationZ=0.3333333333333333\r\nArmSerial=N772\r\n"),
              std::string::npos);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator()),
              2);
  }
}

TEST(WriteTransformSections, WriteNothingWhenOneSectionCannotBeWritten) {
  testsupport::TempDir dir;
  const std::string file = dir / "Part.qini";
  testsupport::writeFile(file, kPart);
  RigidBodyFit unwritable = fit(1.0, 0.0, 2.0);
  unwritable.translation.z = std::numeric_limits<double>::quiet_NaN();
  const std::vector<NamedTransform> sections = {{"PartLocalToArmGlobal111", fit(1.0, 0.5, 2.0), "N772"},
                                                {"PartLocalToArmGlobal211", unwritable, "N772"}};
  bool raised = false;
  try {
    writeTransformSections(file, sections);
  } catch (IniFileSection::IniFileException* e) {
    raised = e->getType() == IniFileSection::WriteFailed;
    delete e;
  }
  EXPECT_TRUE(raised);
  EXPECT_EQ(testsupport::readFile(file), kPart);

  // Nowhere to write: raised, nothing created.
  raised = false;
  try {
    writeTransformSections(dir / "nodir/Part.qini", {sections.front()});
  } catch (IniFileSection::IniFileException* e) {
    raised = e->getType() == IniFileSection::WriteFailed;
    delete e;
  }
  EXPECT_TRUE(raised);
  EXPECT_FALSE(testsupport::exists(dir / "nodir"));
}

}  // namespace
