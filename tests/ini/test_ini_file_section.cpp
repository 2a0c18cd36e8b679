// IniFileSection on top of the profile-string calls: number formats, missing
// values, existence tests and the constructor's file-name handling.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <filesystem>
#include <iterator>
#include <limits>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>

#include "IniFileSection.h"
#include "platform/paths.h"
#include "test_support.h"

using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

using Exception = IniFileSection::IniFileException;

// Names each parameterised case after its row.
struct ById {
  template <class P>
  std::string operator()(const ::testing::TestParamInfo<P>& info) const {
    return info.param.id;
  }
};

class IniFileSectionTest : public ::testing::Test {
 protected:
  std::string path() const { return dir_ / "part.qini"; }
  void write(const std::string& content) const { testsupport::writeFile(path(), content); }
  std::string read() const { return testsupport::readFile(path()); }
  IniFileSection section(const char* name = "S") const {
    return IniFileSection(path(), name, true);
  }

  // Runs f, which must throw; returns the exception (owned here).
  template <class F>
  std::unique_ptr<Exception> thrown(F f) {
    try {
      f();
    } catch (Exception* e) {
      return std::unique_ptr<Exception>(e);
    }
    ADD_FAILURE() << "no IniFileException";
    return nullptr;
  }

  TempDir dir_;
};

TEST_F(IniFileSectionTest, EmptyMissingOrNonNumericValuesAreUnavailable) {
  write("[S]\r\nempty=\r\nword=abc\r\nquoted=\"\"\r\n");
  IniFileSection s = section();
  for (const char* key : {"empty", "missing", "quoted"}) {
    auto e = thrown([&] { s.getString(key); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->getType(), IniFileSection::KeyUnavailable);
    EXPECT_EQ(e->getMessage(), std::string("[S] ") + key);
    EXPECT_TRUE(thrown([&] { s.getDouble(key); }));
  }
  auto e = thrown([&] { s.getDouble("word"); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->getType(), Exception::KeyUnavailable);
  EXPECT_EQ(e->getMessage(), "[S] word");
}

TEST_F(IniFileSectionTest, RealsAreWrittenWithSixteenDecimalsAndReadAsSinglePrecision) {
  IniFileSection s = section("PartLocalToArmGlobal111");
  s.setDouble("Three", 3.0);
  s.setDouble("Third", 1.0 / 3.0);
  s.setDouble("Negative", -1234.5);
  EXPECT_EQ(read(),
            "[PartLocalToArmGlobal111]\r\nThree=3.0000000000000000\r\n"
            "Third=0.3333333333333333\r\nNegative=-1234.5000000000000000\r\n");
  EXPECT_EQ(s.getDouble("Three"), 3.0);
  EXPECT_EQ(s.getDouble("Third"), static_cast<double>(1.0f / 3.0f));
  EXPECT_NE(s.getDouble("Third"), 1.0 / 3.0);
  EXPECT_EQ(s.getDouble("Negative"), -1234.5);
}

TEST_F(IniFileSectionTest, SetDoubleRefusesValuesItCannotStore) {
  write("[S]\r\nx=1.0000000000000000\r\n");
  IniFileSection s = section();
  for (double bad :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), 1e300, -1e240}) {
    auto e = thrown([&] { s.setDouble("x", bad); });
    ASSERT_TRUE(e) << bad;
    EXPECT_EQ(e->getType(), IniFileSection::WriteFailed);
    EXPECT_EQ(e->getMessage(), "");
  }
  EXPECT_EQ(read(), "[S]\r\nx=1.0000000000000000\r\n");
  // 201 digits, a point and sixteen decimals still fit the buffer.
  s.setDouble("x", 1e200);
  const std::string stored = read();
  EXPECT_EQ(stored.substr(0, 7), "[S]\r\nx=");
  EXPECT_GT(stored.size(), 200u + 17u);
}

TEST_F(IniFileSectionTest, BooleansAcceptTrueAndYesInAnyCase) {
  write("[S]\r\na=true\r\nb=TRUE\r\nc=Yes\r\nd=yEs\r\ne=1\r\nf=on\r\ng=false\r\nh=no\r\n");
  IniFileSection s = section();
  for (const char* key : {"a", "b", "c", "d"}) EXPECT_TRUE(s.getBool(key)) << key;
  for (const char* key : {"e", "f", "g", "h"}) EXPECT_FALSE(s.getBool(key)) << key;
  EXPECT_TRUE(thrown([&] { s.getBool("missing"); }));
  s.setBool("a", false);
  s.setBool("new", true);
  EXPECT_FALSE(s.getBool("a"));
  EXPECT_TRUE(s.getBool("new"));
  EXPECT_TRUE(s.valueEquals("g", "FaLsE"));
  EXPECT_FALSE(s.valueEquals("g", "false "));
}

TEST_F(IniFileSectionTest, IntegersAsWindowsParsesThem) {
  write("[S]\r\na=42\r\nb=abc\r\nc=-99999999\r\nd=-7\r\n");
  IniFileSection s = section();
  EXPECT_EQ(s.getInt("a"), 42);
  EXPECT_EQ(s.getInt("b"), 0);
  EXPECT_EQ(s.getInt("d"), -7);
  for (const char* key : {"c", "missing"}) {
    auto e = thrown([&] { s.getInt(key); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->getType(), IniFileSection::KeyUnavailable);
  }
}

TEST_F(IniFileSectionTest, LongStringsAreCutAt998Characters) {
  write("[S]\r\nlong=" + std::string(2000, 'q') + "\r\n");
  EXPECT_EQ(section().getString("long"), std::string(998, 'q'));
}

TEST_F(IniFileSectionTest, ExistenceTests) {
  write(
      "[empty]\r\n;only a comment\r\n[one]\r\na\r\n[entry]\r\nk=default\r\nlong=defaultXYZ\r\n"
      "v=x\r\n");
  const std::string f = path();
  EXPECT_FALSE(IniFileSection::sectionExists(f, "empty"));
  EXPECT_FALSE(IniFileSection::sectionExists(f, "absent"));
  EXPECT_FALSE(IniFileSection::sectionExists(dir_ / "none.ini", "entry"));
  // A section whose only line is one character long reads back as 2.
  EXPECT_TRUE(IniFileSection::sectionExists(f, "one"));
  EXPECT_TRUE(IniFileSection::sectionExists(f, "ENTRY"));
  EXPECT_FALSE(IniFileSection::keyExists(f, "entry", "k"));  // literally "default"
  EXPECT_FALSE(IniFileSection::keyExists(f, "entry", "absent"));
  EXPECT_TRUE(IniFileSection::keyExists(f, "entry", "long"));
  EXPECT_TRUE(IniFileSection::keyExists(f, "entry", "V"));

  IniFileSection::deleteSection(f, "entry");
  EXPECT_FALSE(IniFileSection::sectionExists(f, "entry"));
  EXPECT_TRUE(IniFileSection::sectionExists(f, "one"));
}

TEST_F(IniFileSectionTest, ConstructorChecksTheFileUnlessTold) {
  write("[S]\r\nk=1\r\n");
  EXPECT_EQ(IniFileSection(path(), "S", false).fileName, path());
  // A file without the section is accepted.
  EXPECT_EQ(IniFileSection(path(), "Other", false).fileName, path());

  const std::string missing = dir_ / "missing.qini";
  auto e = thrown([&] { IniFileSection(missing, "S", false); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->getType(), IniFileSection::FileUnavailable);
  EXPECT_EQ(e->getMessage(), missing);

  IniFileSection writer(missing, "S", true);
  EXPECT_EQ(writer.fileName, missing);
  writer.setDouble("k", 2.5);
  EXPECT_EQ(testsupport::readFile(missing), "[S]\r\nk=2.5000000000000000\r\n");
}

TEST_F(IniFileSectionTest, DirectoryIsNoSettingsFile) {
  // Linux opens a directory for reading; it is still no file.
  fs::create_directory(dir_ / "sub.qini");
  const std::string directory = dir_ / "sub.qini";
  auto e = thrown([&] { IniFileSection(directory, "S", false); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->getType(), IniFileSection::FileUnavailable);
  EXPECT_EQ(e->getMessage(), directory);

  const auto saved = fs::current_path();
  fs::current_path(dir_.path());
  e = thrown([&] { IniFileSection("SUB.qini", "S", false); });
  fs::current_path(saved);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->getType(), IniFileSection::FileUnavailable);
}

TEST_F(IniFileSectionTest, RelativeNameIsMadeAbsoluteAgainstTheCurrentDirectory) {
  write("[S]\r\nk=1\r\n");
  const auto saved = fs::current_path();
  fs::current_path(dir_.path());
  const std::string cwd = platform::currentDirectory();
  std::string stored, failedPath;
  try {
    stored = IniFileSection("part.qini", "Absent", false).fileName;
    IniFileSection("gone.qini", "S", false);
  } catch (Exception* e) {
    failedPath = e->getMessage();
    delete e;
  }
  fs::current_path(saved);
  EXPECT_EQ(stored, cwd + "\\part.qini");
  EXPECT_EQ(failedPath, cwd + "\\gone.qini");
  EXPECT_EQ(IniFileSection(stored, "S", false).getInt("k"), 1);
}

TEST_F(IniFileSectionTest, FailedWriteRaisesWriteFailed) {
  IniFileSection s(dir_ / "nodir/part.qini", "S", true);
  auto e = thrown([&] { s.setBool("k", false); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->getType(), IniFileSection::WriteFailed);
  EXPECT_EQ(e->getMessage(), "");
  e = thrown([&] { s.setDouble("k", 1.0); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->getType(), IniFileSection::WriteFailed);
  EXPECT_FALSE(testsupport::exists(dir_ / "nodir"));
}

// ---- Whole transform sections -------------------------------------------

using KeyValue = std::pair<const char*, double>;

// A transform section's nine keys, in the order its writer writes them,
// with values of every shape "%4.16lf" produces.
const std::array<KeyValue, 9> kTransform{{{"RotationOriginX", 12.5},
                                          {"RotationOriginY", -3.25},
                                          {"RotationOriginZ", 1.0 / 3.0},
                                          {"RotationAngleX", 0.0},
                                          {"RotationAngleY", -0.0},
                                          {"RotationAngleZ", 1e-20},
                                          {"TranslationX", 1234567.875},
                                          {"TranslationY", 1e200},
                                          {"TranslationZ", -7.0}}};

std::string utf16(const std::string& ansi) {
  std::string out = "\xFF\xFE";
  for (char c : ansi) {
    out += c;
    out += '\0';
  }
  return out;
}

struct SectionWriteCase {
  const char* id;
  std::optional<std::string> before;  // nullopt: no file
};

void PrintTo(const SectionWriteCase& c, std::ostream* os) {
  *os << c.id;
}

class SetDoublesTest : public IniFileSectionTest,
                       public ::testing::WithParamInterface<SectionWriteCase> {
 protected:
  // Files in the directory (left-over temporaries would show here).
  int files() const {
    int n = 0;
    for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir_.path())) ++n;
    return n;
  }
};

// setDoubles leaves the bytes nine setDouble calls leave, whatever the file
// held before.
TEST_P(SetDoublesTest, LeavesWhatSuccessiveSetDoubleCallsLeave) {
  const SectionWriteCase& c = GetParam();
  const std::string single = dir_ / "single.qini";
  const std::string whole = dir_ / "whole.qini";
  if (c.before) {
    testsupport::writeFile(single, *c.before);
    testsupport::writeFile(whole, *c.before);
  }
  IniFileSection one(single, "PartLocalToArmGlobal121", true);
  for (const auto& [key, value] : kTransform) one.setDouble(key, value);
  IniFileSection all(whole, "PartLocalToArmGlobal121", true);
  all.setDoubles(kTransform);

  const std::string expected = testsupport::readFile(single);
  EXPECT_EQ(testsupport::readFile(whole), expected);
  EXPECT_NE(expected, c.before.value_or(""));
  EXPECT_EQ(all.getDouble("RotationOriginY"), -3.25);
  EXPECT_EQ(all.getDouble("TranslationZ"), -7.0);
  EXPECT_EQ(files(), 2);

  // Writing the same values again changes nothing; new values replace them
  // in place.
  all.setDoubles(kTransform);
  EXPECT_EQ(testsupport::readFile(whole), expected);
  all.setDoubles({{"TranslationY", 2.0}, {"RotationOriginX", -1.5}});
  one.setDouble("TranslationY", 2.0);
  one.setDouble("RotationOriginX", -1.5);
  EXPECT_EQ(testsupport::readFile(whole), testsupport::readFile(single));
  EXPECT_EQ(files(), 2);
}

// setBools likewise leaves the bytes successive setBool calls leave.
TEST_P(SetDoublesTest, SetBoolsLeavesWhatSuccessiveSetBoolCallsLeave) {
  const SectionWriteCase& c = GetParam();
  const std::string single = dir_ / "single.qini";
  const std::string whole = dir_ / "whole.qini";
  if (c.before) {
    testsupport::writeFile(single, *c.before);
    testsupport::writeFile(whole, *c.before);
  }
  const std::pair<const char*, bool> flags[] = {
      {"FlipUAxis", true}, {"RotationOriginX", false}, {"FlipNormals", true}};
  IniFileSection one(single, "PartLocalToArmGlobal121", true);
  for (const auto& [key, value] : flags) one.setBool(key, value);
  IniFileSection all(whole, "PartLocalToArmGlobal121", true);
  all.setBools({flags[0], flags[1], flags[2]});
  EXPECT_EQ(testsupport::readFile(whole), testsupport::readFile(single));
  EXPECT_TRUE(all.getBool("FlipNormals"));
  EXPECT_FALSE(all.getBool("RotationOriginX"));
  EXPECT_EQ(files(), 2);
}

INSTANTIATE_TEST_SUITE_P(
    StartingFiles, SetDoublesTest,
    ::testing::Values(
        SectionWriteCase{"MissingFile", std::nullopt}, SectionWriteCase{"EmptyFile", ""},
        SectionWriteCase{"WithoutTheSection",
                         "; part settings\r\n[PartLocalToArmGlobal111]\r\nTranslationX=1.0\r\n"
                         "[Probe]\r\nRadius=3"},
        SectionWriteCase{"SomeKeysInAnotherOrder",
                         "[PartLocalToArmGlobal121]\r\nTranslationZ=9\r\nRotationOriginY=2\r\n"
                         "rotationanglex=5\r\n[Next]\r\nk=1\r\n"},
        SectionWriteCase{"OtherKeysAndComments",
                         "[PARTLOCALTOARMGLOBAL121]\r\n; calibrated twice\r\nOperator=ab\r\n"
                         "  RotationOriginX = 0.5  \r\n;trailing\r\n\r\n[Next]\r\n"},
        SectionWriteCase{"LfOnly",
                         "[PartLocalToArmGlobal121]\n; calibrated twice\nOperator=ab\n"
                         "RotationOriginX=0.5\n;trailing\n\n[Next]\nk=1\n"},
        SectionWriteCase{
            "AnEarlierCalibration",
            "[PartLocalToArmGlobal121]\r\nRotationOriginX=1.0\r\nRotationOriginY=2.0\r\n"
            "RotationOriginZ=3.0\r\nRotationAngleX=4.0\r\nRotationAngleY=5.0\r\n"
            "RotationAngleZ=6.0\r\nTranslationX=7.0\r\nTranslationY=8.0\r\n"
            "TranslationZ=9.0\r\n"},
        SectionWriteCase{"Utf16", utf16("[PartLocalToArmGlobal121]\r\nRotationOriginZ=1\r\n"
                                        ";c\r\n[Next]\r\nk=1\r\n")}),
    ById());

TEST_F(IniFileSectionTest, SetDoublesRefusingOneValueWritesNothing) {
  const std::string before = "[S]\r\nRotationOriginX=1.0000000000000000\r\n";
  write(before);
  IniFileSection existing = section();
  IniFileSection missing(dir_ / "missing.qini", "S", true);
  for (double bad :
       {std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
        -std::numeric_limits<double>::infinity(), 1e300}) {
    // The refused value comes last, after eight that could be written.
    std::array<KeyValue, 9> values = kTransform;
    values[8].second = bad;
    for (const IniFileSection* s : {&existing, &missing}) {
      auto e = thrown([&] { s->setDoubles(values); });
      ASSERT_TRUE(e) << bad;
      EXPECT_EQ(e->getType(), IniFileSection::WriteFailed);
      EXPECT_EQ(e->getMessage(), "");
    }
  }
  EXPECT_EQ(read(), before);
  EXPECT_FALSE(testsupport::exists(dir_ / "missing.qini"));
}

TEST_F(IniFileSectionTest, SetDoublesThatCannotBeWrittenRaiseAndLeaveTheFile) {
  const std::string before = "[S]\r\nRotationOriginX=1.0000000000000000\r\n";
  write(before);
  fs::permissions(path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  auto e = thrown([&] { section().setDoubles(kTransform); });
  fs::permissions(path(), fs::perms::owner_write, fs::perm_options::add);
  ASSERT_TRUE(e);
  EXPECT_EQ(e->getType(), IniFileSection::WriteFailed);
  EXPECT_EQ(e->getMessage(), "");
  EXPECT_EQ(read(), before);

  IniFileSection nowhere(dir_ / "nodir/part.qini", "S", true);
  e = thrown([&] { nowhere.setDoubles(kTransform); });
  ASSERT_TRUE(e);
  EXPECT_EQ(e->getType(), IniFileSection::WriteFailed);
  EXPECT_FALSE(testsupport::exists(dir_ / "nodir"));
  // Nothing left beside the file.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);
}

TEST(IniFileSectionStatics, EqualsIgnoreCase) {
  EXPECT_TRUE(IniFileSection::equalsIgnoreCase("QuadFile", "QUADfile"));
  EXPECT_TRUE(IniFileSection::equalsIgnoreCase("", ""));
  EXPECT_FALSE(IniFileSection::equalsIgnoreCase("QuadFile", "QuadFile1"));
  EXPECT_FALSE(IniFileSection::equalsIgnoreCase("a[", "A{"));
}

}  // namespace
