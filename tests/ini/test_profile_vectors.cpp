// The profile-string calls checked against Windows behaviour, row by row.
// The same expectations hold for the POSIX emulation (Linux build) and for
// the real API (Windows build, run under Wine); rows where Wine is known to
// differ from Windows are skipped under Wine with the reason.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "platform/profile.h"
#include "test_support.h"

using namespace std::string_literals;
using testsupport::TempDir;

namespace {

constexpr char kSentinel = '\x7f';

// The file shared by many rows (the Wine conformance test's "A").
const std::string kFileA =
    "[section1]\r\nname1=val1\r\nname2=\"val2\"\r\nname3\r\nname4=a\r\n[section2]\r\n";
const std::string kSections = "[ section1 ]\r\n[section2]\r\n[section3]\r\n";
const std::string kTwoSections =
    "[SectionName]\r\nTestKey=TestValue\r\n[SectionName2]\r\nTestKey2=TestValue2\r\n";
const std::string kSec =
    "[section1]\r\nname1=val1\r\nname2=\r\nname3\r\nname4=val4\r\n[section2]\r\n"
    "[section3]\r\n=val5\r\n";

// Names each parameterised case after its vector.
struct ById {
  template <class P>
  std::string operator()(const ::testing::TestParamInfo<P>& info) const {
    return info.param.id;
  }
};

// Skips the current test under Wine when reason is set.
#define SKIP_UNDER_WINE(reason)                                   \
  do {                                                            \
    if ((reason) != nullptr && testsupport::runningUnderWine()) { \
      GTEST_SKIP() << "Wine differs from Windows: " << (reason);  \
    }                                                             \
  } while (0)

class ProfileTest : public ::testing::Test {
 protected:
  std::string path() const { return dir_ / "test.ini"; }
  // nullopt: no file.
  void prepare(const std::optional<std::string>& content) const {
    if (content) testsupport::writeFile(path(), *content);
  }
  TempDir dir_;
};

// ---- GetPrivateProfileStringA ---------------------------------------------

struct StringCase {
  const char* id;
  std::optional<std::string> file;
  const char* app;
  const char* key;
  const char* def;
  std::uint32_t n;
  std::uint32_t ret;
  std::string buf;  // bytes written, NULs included; "" means untouched
  const char* wine = nullptr;
};

void PrintTo(const StringCase& c, std::ostream* os) {
  *os << c.id;
}

class StringVectors : public ProfileTest, public ::testing::WithParamInterface<StringCase> {};

TEST_P(StringVectors, MatchesWindows) {
  const StringCase& c = GetParam();
  SKIP_UNDER_WINE(c.wine);
  prepare(c.file);
  std::vector<char> buf(c.n + 16, kSentinel);
  std::uint32_t ret =
      platform::getProfileString(c.app, c.key, c.def, buf.data(), c.n, path().c_str());
  EXPECT_EQ(ret, c.ret);
  if (c.buf.empty()) {
    EXPECT_EQ(buf[0], kSentinel) << "buffer must stay untouched";
  } else {
    EXPECT_EQ(std::string(buf.data(), c.buf.size()), c.buf);
  }
}

const char* const kSecondNul = "list truncation omits the second NUL";
const char* const kComment = "finds a key starting with ';'";
const char* const kBracket = "section name runs to the last ']' / needs a ']'";
const char* const kTabs = "trims TABs from the caller's names";

INSTANTIATE_TEST_SUITE_P(
    Values, StringVectors,
    ::testing::Values(
        StringCase{"V01", kFileA, "section1", "name1", "default", 260, 4, "val1\0"s},
        StringCase{"V02", kFileA, "section1", "NaMe1", "default", 260, 4, "val1\0"s},
        StringCase{"V03", kFileA, "section1", "name2", "default", 260, 4, "val2\0"s},
        StringCase{"V04", kFileA, "section1", "notakey", "default", 260, 7, "default\0"s},
        StringCase{"V05", kFileA, "notasection", "name1", "default", 260, 7, "default\0"s},
        StringCase{"V06", kFileA, "section2", "DoesntExist", "", 260, 0, "\0"s},
        StringCase{"V07", kFileA, "section1", "name1", "default", 0, 0, ""},
        StringCase{"V08", kFileA, "section1", "name1", "default", 4, 3, "val\0"s},
        StringCase{"V09", kFileA, "section1", "name1", "default", 5, 4, "val1\0"s},
        StringCase{"V10", kFileA, "section1", "name4", "default", 1, 0, "\0"s},
        StringCase{"V11", kFileA, "section1", "name1", "default", 2, 1, "v\0"s},
        StringCase{"V12", kFileA, "section1", "notakey", "default  ", 260, 7, "default\0"s},
        StringCase{"V13", kFileA, "section1", "notakey", "one two  ", 260, 7, "one two\0"s},
        StringCase{"V14", kFileA, "section1", "notakey", nullptr, 260, 0, "\0"s},
        StringCase{"V15", kFileA, "section1", "notakey", "   default   ", 260, 10, "   default\0"s},
        StringCase{"V16", kFileA, "section1", "notakey", "\tdef\t", 260, 5, "\tdef\t\0"s},
        StringCase{"V17", kFileA, "section1", "notakey", "default", 4, 3, "def\0"s},
        StringCase{"V19", ""s, "S", "k", "default", 100, 7, "default\0"s},
        StringCase{"V20", std::nullopt, "S", "k", "default", 100, 7, "default\0"s},
        StringCase{"V21", "[s]\r\nk=defaultXYZ\r\n"s, "s", "k", "default", 10, 9, "defaultXY\0"s},
        StringCase{"V22", "[s]\r\nk="s + std::string(2000, 'x') + "\r\n", "s", "k", "", 999, 998,
                   std::string(998, 'x') + "\0"s},
        // Lists of section and key names.
        StringCase{"V23", kFileA, nullptr, "name1", "default", 260, 18, "section1\0section2\0\0"s},
        StringCase{"V24", kFileA, nullptr, "name1", "default", 16, 14, "section1\0secti\0\0"s,
                   kSecondNul},
        StringCase{"V25", kFileA, "section1", nullptr, "default", 260, 18,
                   "name1\0name2\0name4\0\0"s},
        StringCase{"V26", kFileA, "section1", nullptr, "default", 16, 14, "name1\0name2\0na\0\0"s,
                   kSecondNul},
        StringCase{"V27", kSections, nullptr, nullptr, "", 29, 27,
                   "section1\0section2\0section3\0\0"s},
        StringCase{"V28", kSections, nullptr, nullptr, "", 28, 26,
                   "section1\0section2\0section3\0\0"s, kSecondNul},
        StringCase{"V29", kSections, nullptr, nullptr, "", 27, 25,
                   "section1\0section2\0section\0\0"s, kSecondNul},
        StringCase{"V30", kTwoSections, "SectionName", nullptr, "", 2, 0, "\0\0"s, kSecondNul},
        StringCase{"V31", kTwoSections, "SectionName", nullptr, "", 1, 0, "\0"s},
        StringCase{"V32", "[S]\r\nk=value\r\nk2=value2\r\nk=value3"s, "S", nullptr, "", 100, 7,
                   "k\0k2\0k\0\0"s},
        StringCase{"V33", "[S]\r\n;c=1\r\nbare\r\nk2=v\r\n"s, "S", nullptr, "", 100, 3, "k2\0\0"s},
        StringCase{"V34", "[S]\r\n[T]\r\n[S]\r\n"s, nullptr, nullptr, "", 100, 6, "S\0T\0S\0\0"s},
        StringCase{"V35", "[s]\r\n"s, "nosuch", nullptr, "", 10, 0, "\0"s},
        StringCase{"V37", std::nullopt, nullptr, nullptr, "", 10, 0, "\0"s},
        // Parsing.
        StringCase{"V38", "[S]\r\nk= \t\vTestValue \t\v\r\n"s, "S", "k", "default", 100, 9,
                   "TestValue\0"s},
        StringCase{"V39", "[S]\r\n \t\vTestKey \t\v=v\r\n"s, "S", "testkey", "default", 100, 1,
                   "v\0"s},
        StringCase{"V40", "[S]\r\nk=  \"   TestValue   \"  \r\n"s, "S", "k", nullptr, 100, 15,
                   "   TestValue   \0"s},
        StringCase{"V41", "[S]\r\nk=  '\"x\"'  \r\n"s, "S", "k", nullptr, 100, 3, "\"x\"\0"s},
        StringCase{"V42", "[S]\r\nk=  \"   TestValue   '  \r\n"s, "S", "k", nullptr, 100, 17,
                   "\"   TestValue   '\0"s},
        StringCase{"V43", "[S]\r\nk=\"hello\" world\r\n"s, "S", "k", nullptr, 100, 13,
                   "\"hello\" world\0"s},
        StringCase{"V44", "[S]\r\n;key=TestValue\r\n"s, "S", ";key", "default", 100, 7,
                   "default\0"s, kComment},
        StringCase{"V45", "[S]\r\n\t;TestKey=TestValue\r\n"s, "S", "TestKey", "default", 100, 7,
                   "default\0"s},
        StringCase{"V46", "[S]\r\nk=;nocomment\r\n"s, "S", "k", nullptr, 100, 10, ";nocomment\0"s},
        StringCase{"V47", "[S]\r\n#comment=v\r\n"s, "S", "#comment", nullptr, 100, 1, "v\0"s},
        StringCase{"V48", "[S]\r\nk=TestValue\r\nk=TestValue2"s, "S", "k", "default", 100, 9,
                   "TestValue\0"s},
        StringCase{"V49", "[S]\r\n[S]\r\nk=TestValue"s, "S", "k", "default", 100, 7, "default\0"s},
        StringCase{"V50", "[sec]whoops]\r\nk=v\r\n"s, "sec", "k", "default", 100, 1, "v\0"s,
                   kBracket},
        StringCase{"V51", "[sec]whoops]\r\nk=v\r\n"s, "sec]whoops", "k", "default", 100, 7,
                   "default\0"s, kBracket},
        StringCase{"V52", "[S]k=v\r\n"s, "S", "k", "default", 100, 7, "default\0"s},
        StringCase{"V53", "[S   \r\nk=v\r\n"s, "S", "k", "default", 100, 1, "v\0"s, kBracket},
        StringCase{"V54", "S]\r\nk=v\r\n"s, "S", "k", "default", 100, 7, "default\0"s},
        StringCase{"V55", "[ \tx\t ]\r\nk=v\r\n"s, "x", "k", "default", 100, 1, "v\0"s},
        StringCase{"V56", " \t[S]\r\nk=v\r\n"s, "S", "k", "default", 100, 1, "v\0"s},
        StringCase{"V59", kTwoSections, " SectionName ", "TestKey", "default", 100, 9,
                   "TestValue\0"s},
        StringCase{"V60", kTwoSections, "\tSectionName", "TestKey", "default", 100, 7, "default\0"s,
                   kTabs},
        StringCase{"V61", kTwoSections, "SectionName", "TestKey\t", "default", 100, 7, "default\0"s,
                   kTabs},
        StringCase{"V62", "[section1]\rname1=val1\rname2=\"val2\"\rname3\rname4=a\r[section2]\r"s,
                   "section1", "name1", "default", 260, 4, "val1\0"s},
        StringCase{"V63", "[Test]\nProfileInt=123\n"s, "Test", "ProfileInt", "", 100, 3, "123\0"s},
        StringCase{"V64", "\xEF\xBB\xBF"s + kTwoSections, "SectionName", "TestKey", "default", 100,
                   7, "default\0"s, "honours a UTF-8 byte-order mark"},
        StringCase{"V65", "\xEF\xBB\xBF"s + kTwoSections, "SectionName2", "TestKey2", "default",
                   100, 10, "TestValue2\0"s},
        StringCase{"F06", "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0v\0\xE9\0\xAC\x20\r\0\n\0"s, "S", "k",
                   "default", 100, 3, "v\xE9\x80\0"s}),
    ById());

// ---- GetPrivateProfileIntA ------------------------------------------------

struct IntCase {
  const char* id;
  std::optional<std::string> value;  // nullopt: no file
  int def;
  unsigned int ret;
};

void PrintTo(const IntCase& c, std::ostream* os) {
  *os << c.id;
}

class IntVectors : public ProfileTest, public ::testing::WithParamInterface<IntCase> {};

TEST_P(IntVectors, MatchesWindows) {
  const IntCase& c = GetParam();
  if (c.value) prepare("[Test]\r\nProfileInt"s + *c.value + "\r\n");
  EXPECT_EQ(platform::getProfileInt("Test", "ProfileInt", c.def, path().c_str()), c.ret);
}

INSTANTIATE_TEST_SUITE_P(
    Values, IntVectors,
    ::testing::Values(IntCase{"I01", std::nullopt, -1, 4294967295u},
                      IntCase{"I02", "=-1", 7, 4294967295u}, IntCase{"I03", "=+1", 7, 1},
                      IntCase{"I04", "=4294967296", 7, 0}, IntCase{"I05", "=4294967297", 7, 1},
                      IntCase{"I06", "=-4294967297", 7, 4294967295u},
                      IntCase{"I07", "=42A94967297", 7, 42}, IntCase{"I08", "=B4294967297", 7, 0},
                      IntCase{"I09", "=  12  ", 7, 12}, IntCase{"I10", "=\"42\"", 7, 42},
                      IntCase{"I11", "=-99999999", 7, 4194967297u}, IntCase{"I12", "=- 5", 7, 0},
                      IntCase{"I13", "=99999999999", 7, 1215752191u}, IntCase{"I14", "=", 7, 7},
                      IntCase{"I17", "", 7, 7}),
    ById());

// ---- GetPrivateProfileSectionA ----------------------------------------------

struct SectionCase {
  const char* id;
  std::string file;
  const char* app;
  std::uint32_t n;
  std::uint32_t ret;
  std::string buf;
  const char* wine = nullptr;
};

void PrintTo(const SectionCase& c, std::ostream* os) {
  *os << c.id;
}

class SectionVectors : public ProfileTest, public ::testing::WithParamInterface<SectionCase> {};

TEST_P(SectionVectors, MatchesWindows) {
  const SectionCase& c = GetParam();
  SKIP_UNDER_WINE(c.wine);
  prepare(c.file);
  std::vector<char> buf(c.n + 16, kSentinel);
  EXPECT_EQ(platform::getProfileSection(c.app, buf.data(), c.n, path().c_str()), c.ret);
  EXPECT_EQ(std::string(buf.data(), c.buf.size()), c.buf);
}

INSTANTIATE_TEST_SUITE_P(
    Values, SectionVectors,
    ::testing::Values(
        SectionCase{"S01", kSec, "section1", 100, 35, "name1=val1\0name2=\0name3\0name4=val4\0\0"s},
        SectionCase{"S02", kSec, "section2", 100, 0, "\0"s},
        SectionCase{"S03", kSec, "section3", 100, 6, "=val5\0\0"s},
        SectionCase{"S04", kSec, "section1", 24, 22, "name1=val1\0name2=\0name\0\0"s, kSecondNul},
        SectionCase{"S06",
                    "[test]\r\nkey1=foo\r\nkey2 = \"bar\"\r\nkey3 = \"\"baz\"\"\r\n"
                    "key4 =       meh         \r\n",
                    "test", 200, 42, "key1=foo\0key2=\"bar\"\0key3=\"\"baz\"\"\0key4=meh\0\0"s},
        SectionCase{"S07", "[s]\r\n;comment=x\r\n\r\n  noeq  \r\n#h=1\r\n", "s", 100, 10,
                    "noeq\0#h=1\0\0"s},
        SectionCase{"S08", "[s]\r\nab=1\r\ncd=2\r\n", "s", 11, 9, "ab=1\0cd=2\0\0"s},
        SectionCase{"S09", kSec, "nosuch", 10, 0, "\0"s},
        SectionCase{"S11", "[s]\r\na\r\n", "s", 10, 2, "a\0\0"s}),
    ById());

TEST_F(ProfileTest, SectionWithoutNameIsRejected) {
  prepare(kSec);
  char buf[100];
  EXPECT_EQ(platform::getProfileSection(nullptr, buf, sizeof buf, path().c_str()), 0u);
}

// ---- WritePrivateProfileStringA ---------------------------------------------

struct Write {
  const char* app;
  const char* key;
  const char* value;
};

struct WriteCase {
  const char* id;
  std::optional<std::string> before;  // nullopt: no file
  std::vector<Write> calls;
  bool ret;
  std::optional<std::string> after;  // nullopt: no file
  const char* wine = nullptr;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
  *os << c.id;
}

class WriteVectors : public ProfileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(WriteVectors, MatchesWindows) {
  const WriteCase& c = GetParam();
  SKIP_UNDER_WINE(c.wine);
  prepare(c.before);
  for (const Write& w : c.calls) {
    EXPECT_EQ(platform::writeProfileString(w.app, w.key, w.value, path().c_str()), c.ret)
        << (w.app ? w.app : "NULL") << " / " << (w.key ? w.key : "NULL");
  }
  ASSERT_EQ(testsupport::exists(path()), c.after.has_value());
  if (c.after) {
    EXPECT_EQ(testsupport::readFile(path()), *c.after);
  }
}

bool sameName(const char* a, const char* b) {
  return a == nullptr || b == nullptr ? a == b : std::strcmp(a, b) == 0;
}

// The same rows with each run of consecutive calls on one section made as one
// writeProfileStrings call: the file must end up the same.
TEST_P(WriteVectors, AsOneUpdatePerSection) {
  const WriteCase& c = GetParam();
  SKIP_UNDER_WINE(c.wine);
  prepare(c.before);
  for (std::size_t first = 0; first < c.calls.size();) {
    const char* app = c.calls[first].app;
    std::vector<const char*> keys, values;
    std::size_t next = first;
    for (; next < c.calls.size() && sameName(c.calls[next].app, app); ++next) {
      keys.push_back(c.calls[next].key);
      values.push_back(c.calls[next].value);
    }
    EXPECT_EQ(
        platform::writeProfileStrings(app, keys.data(), values.data(), keys.size(), path().c_str()),
        c.ret)
        << (app ? app : "NULL") << ", calls " << first << " to " << next - 1;
    first = next;
  }
  ASSERT_EQ(testsupport::exists(path()), c.after.has_value());
  if (c.after) {
    EXPECT_EQ(testsupport::readFile(path()), *c.after);
  }
}

// The same rows with all calls, whatever their sections, made as one
// writeProfileEdits call: the file must end up the same (a call without a
// section refuses the whole update, as it refuses itself).
TEST_P(WriteVectors, AsOneUpdateOfTheFile) {
  const WriteCase& c = GetParam();
  SKIP_UNDER_WINE(c.wine);
  prepare(c.before);
  std::vector<platform::ProfileEdit> edits;
  for (const Write& w : c.calls) edits.push_back({w.app, w.key, w.value});
  EXPECT_EQ(platform::writeProfileEdits(edits.data(), edits.size(), path().c_str()), c.ret);
  ASSERT_EQ(testsupport::exists(path()), c.after.has_value());
  if (c.after) {
    EXPECT_EQ(testsupport::readFile(path()), *c.after);
  }
}

const std::string kApps =
    "[App1]\r\nkey1=string1\r\nkey2=string2\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n"
    "[App3]\r\nkey5=string5\r\n";
const char* const kRewrites = "re-serialises the file on write";

INSTANTIATE_TEST_SUITE_P(
    Values, WriteVectors,
    ::testing::Values(
        WriteCase{
            "W01", std::nullopt, {{"App", "key", "string"}}, true, "[App]\r\nkey=string\r\n"s},
        WriteCase{"W02",
                  std::nullopt,
                  {{"App1", "key1", "string1"},
                   {"App1", "key2", "string2"},
                   {"App1", "key3", "string3"},
                   {"App2", "key4", "string4"},
                   {"App3", "key5", "string5"}},
                  true,
                  kApps},
        WriteCase{"W03",
                  kApps,
                  {{"App1", "key2", nullptr}},
                  true,
                  "[App1]\r\nkey1=string1\r\nkey3=string3\r\n[App2]\r\nkey4=string4\r\n"
                  "[App3]\r\nkey5=string5\r\n"s},
        WriteCase{"W04",
                  "[App1]\r\nkey1=string1\r\n"s,
                  {{"App1", "key2", nullptr}},
                  true,
                  "[App1]\r\nkey1=string1\r\n"s},
        WriteCase{"W05",
                  kApps,
                  {{"App1", nullptr, "string1"}},
                  true,
                  "[App2]\r\nkey4=string4\r\n[App3]\r\nkey5=string5\r\n"s},
        WriteCase{
            "W07", "[App3]\r\nkey5=string5\r\n"s, {{"App3", "key5", nullptr}}, true, "[App3]\r\n"s},
        WriteCase{"W08", std::nullopt, {{"App", "key", ""}}, true, "[App]\r\nkey=\r\n"s},
        WriteCase{"W09", ""s, {{nullptr, "key", "string"}}, false, ""s},
        WriteCase{"W10", std::nullopt, {{nullptr, "key", "string"}}, false, std::nullopt},
        WriteCase{"W11",
                  std::nullopt,
                  {{"App", nullptr, "string"}},
                  true,
                  ""s,
                  "does not create the file"},
        WriteCase{
            "W12", std::nullopt, {{"App", "key", nullptr}}, true, ""s, "does not create the file"},
        WriteCase{"W13",
                  "Data \0 before \0 first \0 section"s,
                  {{"section1", "key1", "string1"}},
                  true,
                  "Data \0 before \0 first \0 section\r\n[section1]\r\nkey1=string1\r\n"s,
                  kRewrites},
        WriteCase{"W14",
                  std::nullopt,
                  {{"SectionName", "TestKey", " value\t"}},
                  true,
                  "[SectionName]\r\nTestKey= value\t\r\n"s,
                  "drops leading blanks of the value"},
        WriteCase{"W15",
                  std::nullopt,
                  {{" sec ", " key ", "TestValue"}},
                  true,
                  "[sec]\r\nkey=TestValue\r\n"s,
                  "keeps trailing spaces of the names it writes"},
        WriteCase{"W17",
                  "[SectionName]\r\nTestKey=TestValue"s,
                  {{"SECTIONNAME", "TESTKEY", "TestValue2"}},
                  true,
                  "[SectionName]\r\nTestKey=TestValue2\r\n"s},
        WriteCase{"W18",
                  ""s,
                  {{"S", "z", ""}, {"S", "a", ""}, {"S", "y", ""}, {"S", "b", ""}},
                  true,
                  "[S]\r\nz=\r\na=\r\ny=\r\nb=\r\n"s},
        WriteCase{"W19",
                  "[S]\r\nb=value\r\na=value\r\n"s,
                  {{"S", "z", ""}, {"S", "b", ""}, {"S", "y", ""}, {"S", "a", ""}},
                  true,
                  "[S]\r\nb=\r\na=\r\nz=\r\ny=\r\n"s},
        WriteCase{"W20",
                  ";comment0\r\n[S]\r\n;comment1\r\nb=value\r\n;comment2\r\na=value\r\n"s,
                  {{"S", "z", ""}, {"S", ";x", ""}, {"S", "y", ""}, {"S", "a", ""}, {"S", "b", ""}},
                  true,
                  ";comment0\r\n[S]\r\n;comment1\r\nb=\r\n;comment2\r\na=\r\nz=\r\ny=\r\n;x=\r\n"s,
                  kRewrites},
        WriteCase{
            "W21",
            ""s,
            {{"S", "z", ""}, {"S", ";y", ""}, {"S", "a", ""}, {"S", ";b", ""}, {"S", ";c", ""}},
            true,
            "[S]\r\nz=\r\na=\r\n;c=\r\n;b=\r\n;y=\r\n"s,
            kRewrites},
        WriteCase{"W23",
                  "[S]\r\n;key=v\r\n"s,
                  {{"S", ";key", nullptr}},
                  true,
                  "[S]\r\n;key=v\r\n"s,
                  kComment},
        WriteCase{"W24",
                  ";comment0\r\n[S]\r\n;comment1\r\n[S2]\r\n;comment2\r\n"s,
                  {{"S", nullptr, ""}, {"S2", nullptr, ""}},
                  true,
                  ";comment0\r\n;comment1\r\n;comment2\r\n"s,
                  "deletes comments of the section"},
        WriteCase{
            "W25", std::nullopt, {{"S", "k", ";nocomment"}}, true, "[S]\r\nk=;nocomment\r\n"s},
        WriteCase{"W27",
                  "\xEF\xBB\xBF"s,
                  {{"S", "k", "v"}},
                  true,
                  "\xEF\xBB\xBF\r\n[S]\r\nk=v\r\n"s,
                  "honours a UTF-8 byte-order mark"},
        WriteCase{"W28",
                  "\xEF\xBB\xBF[S]\r\nk=1\r\n"s,
                  {{"S", "k", "2"}},
                  true,
                  "\xEF\xBB\xBF[S]\r\nk=1\r\n[S]\r\nk=2\r\n"s,
                  "honours a UTF-8 byte-order mark"},
        WriteCase{"W29",
                  "; head\r\n[A]\r\n  k1 = v1  \r\n; c1\r\n\r\n[B]\r\nb=1\r\n"s,
                  {{"A", "k2", "v2"}},
                  true,
                  "; head\r\n[A]\r\n  k1 = v1  \r\nk2=v2\r\n; c1\r\n\r\n[B]\r\nb=1\r\n"s,
                  kRewrites},
        WriteCase{"W31", "[A]\r\nk=1"s, {{"A", "j", "2"}}, true, "[A]\r\nk=1\r\nj=2\r\n"s},
        WriteCase{"W32", "[A]\r\nk=1"s, {{"B", "j", "2"}}, true, "[A]\r\nk=1\r\n[B]\r\nj=2\r\n"s},
        WriteCase{
            "W33", "[S]\r\nk=1\r\nk=2\r\n"s, {{"S", "k", "3"}}, true, "[S]\r\nk=3\r\nk=2\r\n"s},
        WriteCase{"U16",
                  "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"s,
                  {{"S", "k", "w\xE9"}, {"S", "j", "1"}},
                  true,
                  "\xFF\xFE[\0S\0]\0\r\0\n\0k\0=\0w\0\xE9\0\r\0\n\0j\0=\0\x31\0\r\0\n\0"s},
        WriteCase{"F07",
                  "\xFF\xFE"s,
                  {{"S", "k", "v"}},
                  true,
                  "\xFF\xFE\r\0\n\0[\0S\0]\0\r\0\n\0k\0=\0v\0\r\0\n\0"s,
                  "no line break before the new section"}),
    ById());

TEST_F(ProfileTest, WriteFailsWhenTheDirectoryIsMissing) {
  const std::string file = dir_ / "nodir/x.ini";
  EXPECT_FALSE(platform::writeProfileString("A", "k", "v", file.c_str()));
  EXPECT_FALSE(testsupport::exists(dir_ / "nodir"));
}

TEST_F(ProfileTest, WriteFailsOnAReadOnlyFile) {
  SKIP_UNDER_WINE("running as root, it writes files whose read-only attribute is set");
  prepare("[A]\r\nk=1\r\n"s);
  namespace fs = std::filesystem;
  fs::permissions(path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_FALSE(platform::writeProfileString("A", "k", "2", path().c_str()));
  EXPECT_EQ(testsupport::readFile(path()), "[A]\r\nk=1\r\n");
}

// Edits of several sections, back and forth, in files of every kind: one
// writeProfileEdits call leaves the bytes the calls one by one leave.
TEST_F(ProfileTest, EditsOfSeveralSectionsLeaveWhatTheCallsOneByOneLeave) {
  const std::vector<platform::ProfileEdit> edits = {
      {"PartLocalToArmGlobal111", "TranslationX", "1.5000000000000000"},
      {"PartCalibrationPoints1", "x0", "-2.0000000000000000"},
      {"partlocaltoarmglobal111", "RotationAngleZ", "90.0000000000000000"},
      {"PartLocalToArmGlobal211", "TranslationY", "7"},
      {"Region", "Obsolete", nullptr},
      {"PartLocalToArmGlobal111", "TranslationX", "2.5000000000000000"},
      {"Scratch", nullptr, nullptr}};
  const std::string starts[] = {
      "",
      "[Region]\r\nName=Top\r\nObsolete=1\r\n[PartCalibrationPoints1]\r\nx0=1\r\n"
      "[PartLocalToArmGlobal111]\r\nTranslationX=0\r\nRotationAngleZ=3\r\n"
      "[Scratch]\r\nk=v\r\n"s,
      "; LF only\n[PartLocalToArmGlobal111]\nTranslationX=0\n\n[Scratch]\n"s,
      "\xFF\xFE[\0R\0e\0g\0i\0o\0n\0]\0\r\0\n\0O\0b\0s\0o\0l\0e\0t\0e\0=\0\x31\0"s};
  for (const std::string& start : starts) {
    SCOPED_TRACE(start);
    const std::string one = dir_ / "one.ini";
    const std::string all = dir_ / "all.ini";
    testsupport::writeFile(one, start);
    testsupport::writeFile(all, start);
    for (const platform::ProfileEdit& e : edits) {
      ASSERT_TRUE(platform::writeProfileString(e.section, e.key, e.value, one.c_str()));
    }
    ASSERT_TRUE(platform::writeProfileEdits(edits.data(), edits.size(), all.c_str()));
    EXPECT_EQ(testsupport::readFile(all), testsupport::readFile(one));
    EXPECT_NE(testsupport::readFile(all), start);
  }
}

TEST_F(ProfileTest, EditsThatCannotAllBeMadeChangeNothing) {
  const std::string before = "[A]\r\nk=1\r\n";
  prepare(before);
  const platform::ProfileEdit withoutSection[] = {{"A", "k", "2"}, {nullptr, "k", "3"}};
  EXPECT_FALSE(platform::writeProfileEdits(withoutSection, 2, path().c_str()));
  EXPECT_EQ(testsupport::readFile(path()), before);
  EXPECT_TRUE(platform::writeProfileEdits(withoutSection, 0, path().c_str()));
  EXPECT_EQ(testsupport::readFile(path()), before);
  const platform::ProfileEdit both[] = {{"A", "k", "2"}, {"B", "j", "3"}};
  const std::string nowhere = dir_ / "nodir/x.ini";
  EXPECT_FALSE(platform::writeProfileEdits(both, 2, nowhere.c_str()));
  EXPECT_FALSE(testsupport::exists(dir_ / "nodir"));
  EXPECT_FALSE(platform::writeProfileEdits(both, 2, ""));
  if (testsupport::runningUnderWine()) return;  // root writes read-only files under Wine
  namespace fs = std::filesystem;
  fs::permissions(path(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  EXPECT_FALSE(platform::writeProfileEdits(both, 2, path().c_str()));
  fs::permissions(path(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(testsupport::readFile(path()), before);
  // Nothing left beside the file.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()), 1);
}

TEST_F(ProfileTest, WriteFailsWithoutAFileName) {
  EXPECT_FALSE(platform::writeProfileString("App", "key", "string", ""));
}

TEST_F(ProfileTest, EveryCallSeesTheFileAsItIsNow) {
  prepare("[Test]\nProfileInt=123\n"s);
  EXPECT_EQ(platform::getProfileInt("Test", "ProfileInt", 0, path().c_str()), 123u);
  testsupport::writeFile(path(), "[Test]\nProfileInt=124\n");
  EXPECT_EQ(platform::getProfileInt("Test", "ProfileInt", 0, path().c_str()), 124u);
  std::filesystem::remove(path());
  EXPECT_EQ(platform::getProfileInt("Test", "ProfileInt", 421, path().c_str()), 421u);
}

TEST_F(ProfileTest, DotRelativeNameResolvesAgainstTheCurrentDirectory) {
  prepare(kFileA);
  const auto saved = std::filesystem::current_path();
  std::filesystem::current_path(dir_.path());
  char buf[260];
  std::uint32_t ret =
      platform::getProfileString("section1", "name1", "default", buf, sizeof buf, ".\\test.ini");
  std::filesystem::current_path(saved);
  EXPECT_EQ(ret, 4u);
  EXPECT_STREQ(buf, "val1");
}

TEST_F(ProfileTest, FileNamesIgnoreCase) {
  testsupport::writeFile(dir_ / "Part.QINI", "[S]\r\nk=1\r\n");
  const std::string other = dir_ / "part.qini";
  EXPECT_EQ(platform::getProfileInt("S", "k", 0, other.c_str()), 1u);
  EXPECT_TRUE(platform::writeProfileString("S", "k", "2", other.c_str()));
  EXPECT_EQ(testsupport::readFile(dir_ / "Part.QINI"), "[S]\r\nk=2\r\n");
}

TEST_F(ProfileTest, ByteOrderMarkFE_FFIsNotRecognised) {
  SKIP_UNDER_WINE("reads a file starting FE FF as UTF-16BE");
  prepare("\xFE\xFF\0[\0S\0]\0\r\0\n\0k\0=\0v\0\r\0\n"s);
  char buf[100];
  EXPECT_EQ(platform::getProfileString("S", "k", "default", buf, sizeof buf, path().c_str()), 7u);
  EXPECT_STREQ(buf, "default");
}

}  // namespace
