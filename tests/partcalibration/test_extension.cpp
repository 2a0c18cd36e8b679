// Extension of calibrations to arm positions and their copy to part
// positions, compared key by key with what the steps must write.
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IniFileSection.h"
#include "RegionTestSupport.h"
#include "partcalibration/Extension.h"

namespace {

const char* const kKeys[9] = {"RotationOriginX", "RotationOriginY", "RotationOriginZ",
                              "RotationAngleX",  "RotationAngleY",  "RotationAngleZ",
                              "TranslationX",    "TranslationY",    "TranslationZ"};
using Values = std::vector<double>;  // the nine keys in order

std::string section(const std::string& name, const Values& v) {
  std::string s = "[" + name + "]\n";
  for (int i = 0; i < 9; ++i) s += std::string(kKeys[i]) + "=" + std::to_string(v[i]) + "\n";
  return s;
}

std::string quads(int collections) {
  std::string s;
  for (int c = 1; c <= collections; ++c) {
    s += "[QuadFile" + std::to_string(c) + "]\nName=Q" + std::to_string(c) + ".quads\nCollectionIndex=" +
         std::to_string(c) + "\n";
  }
  return s;
}

Values read(const std::string& file, const std::string& name) {
  Values v(9, 0.0);
  const IniFileSection keys(file, name, false);
  for (int i = 0; i < 9; ++i) v[i] = keys.getDouble(kKeys[i]);
  return v;
}

void expectValues(const std::string& file, const std::string& name, const Values& expected) {
  ASSERT_TRUE(IniFileSection::sectionExists(file, name)) << name;
  const Values actual = read(file, name);
  for (int i = 0; i < 9; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-4) << name << " " << kKeys[i];
}

std::string written(const std::string& name) {
  return "Successfully written section [" + name + "] to file Part.qini.\n";
}

const std::string kBanner = "Extending calibrations to all available arm positions.\n";

TEST(ExtendToAllArmPositions, FollowsTheMostWidelyCalibratedCollection) {
  struct Case {
    const char* what;
    std::string content;
    std::string messages;
    std::map<std::string, Values> expected;
  };
  const Values a1 = {1, 2, 3, 10, 20, 30, 100, 200, 300};
  const Values a2 = {1, 2, 3, 10, 20, 30, 150, 180, 290};   // collection 1 moved by (50, -20, -10)
  const Values a3 = {1, 2, 3, 10, 20, 30, 150, 380, 295};   // then by (0, 200, 5)
  const Values b1 = {-5, 0, 5, 0, 0, -90, 7, 8, 9};
  const Values c2 = {1, 2, 3, 10, 20, 30, 400, 400, 400};   // a second collection at 2 positions
  std::vector<Case> cases = {
      {"one arm position each: banner only", quads(2) + section("PartLocalToArmGlobal111", a1) +
                                                 section("PartLocalToArmGlobal121", b1),
       kBanner, {}},
      {"collection 2 follows collection 1's steps",
       quads(2) + section("PartLocalToArmGlobal111", a1) + section("PartLocalToArmGlobal211", a2) +
           section("PartLocalToArmGlobal311", a3) + section("PartLocalToArmGlobal121", b1),
       kBanner + written("PartLocalToArmGlobal221") + written("PartLocalToArmGlobal321"),
       {{"PartLocalToArmGlobal221", {-5, 0, 5, 0, 0, -90, 57, -12, -1}},
        {"PartLocalToArmGlobal321", {-5, 0, 5, 0, 0, -90, 57, 188, 4}}}},
      {"ties: the first collection is the reference; uncalibrated ones are skipped",
       quads(4) + section("PartLocalToArmGlobal111", a1) + section("PartLocalToArmGlobal211", a2) +
           section("PartLocalToArmGlobal121", a1) + section("PartLocalToArmGlobal221", c2) +
           section("PartLocalToArmGlobal141", b1),
       kBanner + written("PartLocalToArmGlobal241"),
       {{"PartLocalToArmGlobal241", {-5, 0, 5, 0, 0, -90, 57, -12, -1}}}},
      {"a missing reference key stops the step",
       quads(2) + section("PartLocalToArmGlobal111", a1) + "[PartLocalToArmGlobal211]\nRotationAngleX=1\n" +
           section("PartLocalToArmGlobal121", b1),
       kBanner + "Section PartLocalToArmGlobal211 has invalid syntax. Missing RotationAngleY key.\n"
                 "Section PartLocalToArmGlobal211 has invalid syntax. Missing RotationAngleZ key.\n"
                 "Retrieve fail from section PartLocalToArmGlobal211 of {file}.\n",
       {}},
      {"collections with a gap", "[QuadFile1]\nName=A\nCollectionIndex=2\n",
       kBanner + "Collection retrieve fail from {file}.\n", {}},
  };
  for (const Case& c : cases) {
    PartFile part(c.content);
    ScriptedConsole console("");
    const bool ok = extendToAllArmPositions(part.context());
    std::string messages = c.messages;
    if (const auto at = messages.find("{file}"); at != std::string::npos) messages.replace(at, 6, part.path());
    EXPECT_EQ(console.output(), messages) << c.what;
    EXPECT_EQ(ok, messages.find("fail") == std::string::npos) << c.what;
    for (const auto& [name, values] : c.expected) expectValues(part.path(), name, values);
    if (c.expected.empty() && ok) {
      EXPECT_EQ(testsupport::readFile(part.path()), c.content) << c.what << ": nothing written";
    }
  }
}

TEST(CopyToAllPartPositions, FixedCollectionAtEveryPartPositionOfEveryArmPosition) {
  const Values arm1 = {0, 0, 0, 0, 0, 45, 10, 20, 30};
  const Values arm2 = {0, 0, 0, 0, 0, 45, -90, 20, 30};
  const std::string content = quads(2) + "[Region]\nNumberOfPartPositions=3\n[PartCalibrationPoints1]\nx0=0\n"
                              "[PartCalibrationPoints2]\np0=1\np1=1\np2=2\n" +
                              section("PartLocalToArmGlobal122", arm1) + section("PartLocalToArmGlobal222", arm2);
  PartFile part(content);
  ScriptedConsole console("");
  EXPECT_TRUE(copyToAllPartPositions(part.context(), 1, 1));
  EXPECT_EQ(console.output(), "");
  for (int q = 1; q <= 3; ++q) {
    expectValues(part.path(), "PartLocalToArmGlobal12" + std::to_string(q), arm1);
    expectValues(part.path(), "PartLocalToArmGlobal22" + std::to_string(q), arm2);
  }
  EXPECT_FALSE(IniFileSection::sectionExists(part.path(), "PartLocalToArmGlobal124"));

  PartFile missing(quads(1) + "[PartCalibrationPoints1]\np0=1\np1=2\np2=2\n" + section("PartLocalToArmGlobal111", arm1));
  ScriptedConsole second("");
  EXPECT_FALSE(copyToAllPartPositions(missing.context(), 0, 0));
  EXPECT_NE(second.output().find("Missing section PartLocalToArmGlobal211.\n"), std::string::npos)
      << second.output();
}

TEST(CountCalibratedArmPositions, CountsUpwardWhileTheSectionsExist) {
  PartFile part(quads(2) + "[PartLocalToArmGlobal111]\na=1\n[PartLocalToArmGlobal211]\na=1\n"
                "[PartLocalToArmGlobal411]\na=1\n[PartLocalToArmGlobal221]\na=1\n");
  int count = -1;
  EXPECT_TRUE(countCalibratedArmPositions(part.path(), 0, count));
  EXPECT_EQ(count, 2);
  EXPECT_TRUE(countCalibratedArmPositions(part.path(), 1, count));
  EXPECT_EQ(count, 0);
}

}  // namespace
