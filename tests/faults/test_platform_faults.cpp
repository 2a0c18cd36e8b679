// Injected faults in the file calls of the platform layer and in settings
// writes through IniFileSection: a full disk, a refused rename or a file that
// vanishes after it was listed, at every call index of each operation. Every
// failure must be reported and leave the old files; a success the new ones;
// never a torn file or a temporary.
#include <cstdio>
#include <ostream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FaultSweep.h"
#include "IniFileSection.h"
#include "platform/faults.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/profile.h"
#include "test_support.h"

namespace {

using faultsweep::Outcome;
using faultsweep::Sweep;
using platform::faults::Operation;

// A settings file of a few sections, CR LF lines, with a comment.
std::string settingsText() {
  std::string text = "; part settings\r\n";
  for (int s = 1; s <= 6; ++s) {
    text += "[PartLocalToArmGlobal1" + std::to_string(s) + "1]\r\n";
    for (const char* key : {"RotationOriginX", "RotationAngleZ", "TranslationZ"}) {
      text += std::string(key) + "=" + std::to_string(s) + ".2500000000000000\r\n";
    }
  }
  return text;
}

// The same file in UTF-16LE with its byte order mark.
std::string wideSettingsText() {
  std::string bytes = "\xFF\xFE";
  for (char c : settingsText()) {
    bytes += c;
    bytes += '\0';
  }
  return bytes;
}

// A fail-or-succeed operation as an Outcome.
Outcome outcomeOf(bool succeeded) {
  return Outcome{succeeded, succeeded ? "true" : "false"};
}

// Settings writes through IniFileSection: WriteFailed is the failure.
template <typename Write>
Outcome iniOutcome(Write&& write) {
  try {
    write();
    return Outcome{true, ""};
  } catch (IniFileSection::IniFileException* e) {
    const bool writeFailed = e->getType() == IniFileSection::WriteFailed;
    delete e;
    EXPECT_TRUE(writeFailed);
    return Outcome{false, "WriteFailed"};
  }
}

struct SettingsCase {
  const char* name;
  const char* basePlan;      // "rename:1:access-denied": the file is rewritten in place
  bool fileExists;           // false: the write creates the file
  bool wide;                 // the file is UTF-16LE
  Outcome (*write)(const std::string& file);
};

const SettingsCase kSettingsCases[] = {
    {"one key", "", true, false,
     [](const std::string& f) {
       return outcomeOf(platform::writeProfileString("PartLocalToArmGlobal131", "TranslationZ",
                                                     "-7.5000000000000000", f.c_str()));
     }},
    {"one key of a new file", "", false, false,
     [](const std::string& f) {
       return outcomeOf(platform::writeProfileString("Probe", "Radius", "3", f.c_str()));
     }},
    {"a deleted section", "", true, false,
     [](const std::string& f) {
       return outcomeOf(
           platform::writeProfileString("PartLocalToArmGlobal121", nullptr, nullptr, f.c_str()));
     }},
    {"a whole section", "", true, false,
     [](const std::string& f) {
       const char* keys[] = {"RotationOriginX", "RotationAngleZ", "TranslationZ", "Extra"};
       const char* values[] = {"9", "8", "7", "6"};
       return outcomeOf(
           platform::writeProfileStrings("PartLocalToArmGlobal141", keys, values, 4, f.c_str()));
     }},
    {"several sections", "", true, false,
     [](const std::string& f) {
       const platform::ProfileEdit edits[] = {{"PartLocalToArmGlobal111", "TranslationZ", "1"},
                                              {"PartLocalToArmGlobal161", nullptr, nullptr},
                                              {"PartLocalToArmGlobal271", "TranslationZ", "2"}};
       return outcomeOf(platform::writeProfileEdits(edits, 3, f.c_str()));
     }},
    {"several sections, UTF-16", "", true, true,
     [](const std::string& f) {
       const platform::ProfileEdit edits[] = {{"PartLocalToArmGlobal111", "TranslationZ", "1"},
                                              {"PartLocalToArmGlobal271", "TranslationZ", "2"}};
       return outcomeOf(platform::writeProfileEdits(edits, 2, f.c_str()));
     }},
    {"setDouble", "", true, false,
     [](const std::string& f) {
       return iniOutcome([&] {
         IniFileSection(f, "PartLocalToArmGlobal111", true).setDouble("RotationOriginX", 1.5);
       });
     }},
    {"setDoubles", "", true, false,
     [](const std::string& f) {
       return iniOutcome([&] {
         IniFileSection(f, "PartLocalToArmGlobal151", true)
             .setDoubles({{"RotationOriginX", 1.5}, {"TranslationX", -2.0}});
       });
     }},
    {"setDoublesInSections", "", true, false,
     [](const std::string& f) {
       const IniFileSection::SectionDouble values[] = {
           {"PartLocalToArmGlobal111", "TranslationZ", 4.0},
           {"PartLocalToArmGlobal311", "TranslationZ", 5.0}};
       return iniOutcome([&] { IniFileSection::setDoublesInSections(f, values); });
     }},
    // No unnamed temporary (a file system without O_TMPFILE): a named one.
    {"named temporary", "open:1:access-denied", true, false,
     [](const std::string& f) {
       const char* keys[] = {"RotationOriginX", "TranslationZ"};
       const char* values[] = {"9", "8"};
       return outcomeOf(
           platform::writeProfileStrings("PartLocalToArmGlobal141", keys, values, 2, f.c_str()));
     }},
    {"named temporary, new file", "open:1:access-denied", false, false,
     [](const std::string& f) {
       return outcomeOf(platform::writeProfileString("Probe", "Radius", "3", f.c_str()));
     }},
    // The directory refuses the replacement: the file itself is rewritten,
    // longer (room reserved first) and shorter.
    {"in place, longer", "rename:1:access-denied", true, false,
     [](const std::string& f) {
       return outcomeOf(platform::writeProfileString("PartLocalToArmGlobal131", "Note",
                                                     std::string(300, 'x').c_str(), f.c_str()));
     }},
    {"in place, shorter", "rename:1:access-denied", true, false,
     [](const std::string& f) {
       return outcomeOf(
           platform::writeProfileString("PartLocalToArmGlobal121", nullptr, nullptr, f.c_str()));
     }},
    {"in place, UTF-16", "rename:1:access-denied", true, true,
     [](const std::string& f) {
       return outcomeOf(platform::writeProfileString("PartLocalToArmGlobal131", "TranslationZ",
                                                     "12345678901234567890", f.c_str()));
     }},
    {"in place through IniFileSection", "rename:1:access-denied", true, false,
     [](const std::string& f) {
       return iniOutcome([&] {
         IniFileSection(f, "PartLocalToArmGlobal151", true)
             .setDoubles({{"RotationOriginX", 1.5}, {"TranslationX", -2.0}});
       });
     }},
};

void PrintTo(const SettingsCase& c, std::ostream* out) {
  *out << c.name;
}

class SettingsWrite : public ::testing::TestWithParam<SettingsCase> {};

TEST_P(SettingsWrite, EveryFaultLeavesTheOldFileOrTheNewOne) {
  const SettingsCase& c = GetParam();
  testsupport::TempDir dir;
  const std::string file = dir / "part.qini";
  Sweep sweep;
  sweep.root = dir.path();
  sweep.basePlan = c.basePlan;
  sweep.prepare = [&] {
    faultsweep::putFile(dir.path(), "other.qini", settingsText());
    if (c.fileExists) {
      faultsweep::putFile(dir.path(), "part.qini", c.wide ? wideSettingsText() : settingsText());
    }
  };
  sweep.operate = [&] { return c.write(file); };
  sweep.faults = {"open::disk-full", "write::disk-full", "flush::disk-full", "flush::io-error",
                  "rename::access-denied", "rename::disk-full"};
  const faultsweep::Totals totals = faultsweep::runSweep(sweep);
  // Every write has at least an open, a write, a flush and a rename to fail.
  EXPECT_GE(totals.injected, 4);
  EXPECT_EQ(totals.torn, 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, SettingsWrite, ::testing::ValuesIn(kSettingsCases),
                         [](const ::testing::TestParamInfo<SettingsCase>& info) {
                           return faultsweep::caseName(info.param.name);
                         });

// File calls that copy, move and create.
struct FileCase {
  const char* name;
  const char* setup;  // "copy": source.bin and old.bin; "dir": a directory with files
  Outcome (*operate)(const std::string& root);
};

std::string bigContent() {
  std::string bytes(200000, '\0');
  for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + i / 251);
  return bytes;
}

const FileCase kFileCases[] = {
    {"copyFile to a new file", "copy",
     [](const std::string& r) {
       return outcomeOf(platform::copyFile(r + "/source.bin", r + "/new.bin", true));
     }},
    {"copyFile over a file", "copy",
     [](const std::string& r) {
       return outcomeOf(platform::copyFile(r + "/source.bin", r + "/old.bin", false));
     }},
    {"moveFileReplacing", "copy",
     [](const std::string& r) {
       return outcomeOf(platform::moveFileReplacing(r + "/source.bin", r + "/old.bin"));
     }},
    {"moveFile of a directory", "dir",
     [](const std::string& r) {
       return outcomeOf(platform::moveFile(r + "/tree/01_A", r + "/tree/02_A"));
     }},
    {"createDirectory", "dir",
     [](const std::string& r) { return outcomeOf(platform::createDirectory(r + "/tree/03_C")); }},
    {"createBlankFile", "dir",
     [](const std::string& r) { return outcomeOf(platform::createBlankFile(r + "/blank.txt")); }},
    {"openFile stream", "dir",
     [](const std::string& r) {
       // Written through a temporary and moved over the target, as the
       // program's own writers of whole files do.
       const std::string temporary = r + "/dump.txt.tmp";
       std::FILE* out = platform::openFile(temporary, "wb");
       if (out == nullptr) return outcomeOf(false);
       const std::string bytes = bigContent();
       bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
       ok = std::fclose(out) == 0 && ok;
       ok = ok && platform::moveFileReplacing(temporary, r + "/dump.txt");
       if (!ok) platform::deleteFile(temporary);
       return outcomeOf(ok);
     }},
};

void PrintTo(const FileCase& c, std::ostream* out) {
  *out << c.name;
}

class FileCall : public ::testing::TestWithParam<FileCase> {};

TEST_P(FileCall, EveryFaultLeavesTheOldFilesOrTheNewOnes) {
  const FileCase& c = GetParam();
  testsupport::TempDir dir;
  Sweep sweep;
  sweep.root = dir.path();
  sweep.prepare = [&] {
    if (std::string(c.setup) == "copy") {
      faultsweep::putFile(dir.path(), "source.bin", bigContent());
      faultsweep::putFile(dir.path(), "old.bin", "old content");
    } else {
      faultsweep::putFile(dir.path(), "tree/01_A/A.qini", settingsText());
      faultsweep::putFile(dir.path(), "tree/01_A/01_R/R.quads", bigContent());
      faultsweep::putFile(dir.path(), "dump.txt", "an earlier dump");
    }
  };
  sweep.operate = [&] { return c.operate(dir.path()); };
  const faultsweep::Totals totals = faultsweep::runSweep(sweep);
  EXPECT_GE(totals.injected, 1);
  EXPECT_EQ(totals.torn, 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, FileCall, ::testing::ValuesIn(kFileCases),
                         [](const ::testing::TestParamInfo<FileCase>& info) {
                           return faultsweep::caseName(info.param.name);
                         });

// A file that vanishes between the listing and the reading: the listing
// names it, the read finds nothing, the other files read as before.
TEST(VanishingFile, IsListedButCannotBeReadAndTheRestReadsAsBefore) {
  testsupport::TempDir dir;
  for (int n = 1; n <= 4; ++n) {
    testsupport::writeFile(dir / ("s" + std::to_string(n) + ".ini"),
                           "[S]\r\nValue=" + std::to_string(n) + "\r\n");
  }
  testsupport::writeFile(dir / "notes.txt", "not listed");
  for (int vanishing = 1; vanishing <= 4; ++vanishing) {
    SCOPED_TRACE(vanishing);
    ASSERT_TRUE(platform::faults::setPlan("vanish:" + std::to_string(vanishing) + ":*.ini"));
    const std::vector<platform::FindData> listed = platform::findAll(dir / "*.ini");
    EXPECT_EQ(platform::faults::firedCount(), 1u);
    platform::faults::clearPlan();
    ASSERT_EQ(listed.size(), 4u);
    for (int n = 1; n <= 4; ++n) {
      const std::string file = dir / listed[n - 1].name;
      char value[16];
      platform::getProfileString("S", "Value", "gone", value, sizeof value, file.c_str());
      EXPECT_EQ(std::string(value), n == vanishing ? "gone" : std::to_string(n));
      EXPECT_EQ(platform::fileAttributes(file) == platform::kInvalidFileAttributes,
                n == vanishing);
    }
    EXPECT_EQ(testsupport::readFile(dir / "notes.txt"), "not listed");
    testsupport::writeFile(dir / listed[vanishing - 1].name,
                           "[S]\r\nValue=" + std::to_string(vanishing) + "\r\n");
  }
}

TEST(FaultPlan, TextsAndTheirErrors) {
  struct Case {
    const char* text;
    bool valid;
  };
  const Case cases[] = {
      {"", true},
      {"write:3:disk-full", true},
      {" write:3:disk-full ; rename:1:access-denied ", true},
      {"flush:1:io-error:*.qini;vanish:2;vanish:1:*.quads;log=/tmp/x.log", true},
      {"open:1:not-found", true},
      {"write:0:disk-full", false},
      {"write:-1:disk-full", false},
      {"write:x:disk-full", false},
      {"write:3", false},
      {"write:3:full", false},
      {"erase:1:disk-full", false},
      {"vanish:1:a:b", false},
      {"write:1:disk-full:*.qini:extra", false},
      {"log=", false},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(platform::faults::setPlan(c.text, &error), c.valid) << c.text;
    EXPECT_EQ(error.empty(), c.valid) << c.text << ": " << error;
  }
  platform::faults::clearPlan();
  EXPECT_FALSE(platform::faults::planActive());
}

TEST(FaultPlan, OnlyMatchingNamesCountAndTheLogNamesEachFault) {
  testsupport::TempDir dir;
  const std::string log = dir / "faults.log";
  ASSERT_TRUE(platform::faults::setPlan("write:2:disk-full:*.qini;log=" + log));
  const std::string a = dir / "a.ini";
  const std::string q = dir / "q.qini";
  EXPECT_TRUE(platform::writeProfileString("S", "K", "1", a.c_str()));
  EXPECT_TRUE(platform::writeProfileString("S", "K", "1", q.c_str()));
  EXPECT_TRUE(platform::writeProfileString("S", "K", "2", a.c_str()));
  EXPECT_FALSE(platform::writeProfileString("S", "K", "2", q.c_str()));
  EXPECT_TRUE(platform::writeProfileString("S", "K", "3", q.c_str()));
  EXPECT_EQ(platform::faults::callCount(Operation::Write), 5u);
  EXPECT_EQ(platform::faults::firedCount(), 1u);
  platform::faults::clearPlan();
  EXPECT_EQ(testsupport::readFile(log), "write 2 disk-full " + q + "\n");
  EXPECT_EQ(testsupport::readFile(q), "[S]\r\nK=3\r\n");
}

TEST(FaultPlan, ReportsTheWin32CodeOfTheError) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "a.bin", "a");
  struct Case {
    const char* plan;
    std::uint32_t code;
  };
  const Case cases[] = {{"open:1:disk-full", platform::kErrorDiskFull},
                        {"write:1:disk-full", platform::kErrorDiskFull},
                        {"flush:1:io-error", platform::kErrorGenFailure},
                        {"open:1:access-denied", platform::kErrorAccessDenied},
                        {"open:1:not-found", platform::kErrorFileNotFound}};
  for (const Case& c : cases) {
    ASSERT_TRUE(platform::faults::setPlan(c.plan));
    EXPECT_FALSE(platform::copyFile(dir / "a.bin", dir / "b.bin", false)) << c.plan;
    EXPECT_EQ(platform::lastError(), c.code) << c.plan;
    platform::faults::clearPlan();
    EXPECT_FALSE(testsupport::exists(dir / "b.bin")) << c.plan;
  }
}

}  // namespace
