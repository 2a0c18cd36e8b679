// Writes that are interrupted or cannot be done must never damage a settings
// file: a writer process killed at random points leaves the old or the new
// file, and refused writes leave the old file as it was.
#include <grp.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <iostream>
#include <ostream>
#include <random>
#include <string>

#include "platform/profile.h"
#include "test_support.h"

using testsupport::TempDir;
namespace fs = std::filesystem;

namespace {

// A settings file of some size, so that a write takes long enough to be hit.
// The counter sits in the middle, with text before and after it.
std::string settingsWithCounter(const std::string& counter) {
  std::string text = "; part settings\r\n";
  for (int s = 0; s < 200; ++s) {
    text += "[PartLocalToArmGlobal" + std::to_string(s) + "]\r\n";
    for (const char* key : {"RotationOriginX", "RotationOriginY", "TranslationZ"}) {
      text += std::string(key) + "=" + std::to_string(s) + ".5000000000000000\r\n";
    }
    if (s == 100) text += "Counter=" + counter + "\r\n";
  }
  return text;
}

void sleepMicroseconds(long us) {
  timespec ts{us / 1000000, (us % 1000000) * 1000};
  nanosleep(&ts, nullptr);
}

TEST(ProfileFaults, KilledWriterLeavesOldOrNewFile) {
  TempDir dir;
  const std::string file = dir / "part.qini";
  testsupport::writeFile(file, settingsWithCounter("0"));
  // The kill comes at a random point within a few writes' time, however
  // long a write (with its flushes to disk) takes on this machine, so that
  // writes both complete and get interrupted.
  long writeMicroseconds = 0;
  for (int i = 0; i < 3; ++i) {
    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(
        platform::writeProfileString("PartLocalToArmGlobal100", "Counter", "0", file.c_str()));
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - before);
    writeMicroseconds = std::max(writeMicroseconds, static_cast<long>(took.count()));
  }
  std::mt19937 random(12345);
  std::uniform_int_distribution<long> delay(0, std::clamp(4 * writeMicroseconds, 12000L, 200000L));
  unsigned long last = 0;
  int interrupted = 0;
  for (int round = 0; round < 150; ++round) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Counts up from the stored value, each step one complete write.
      char buf[32];
      platform::getProfileString("PartLocalToArmGlobal100", "Counter", "0", buf, sizeof buf,
                                 file.c_str());
      for (unsigned long n = std::stoul(buf) + 1;; ++n) {
        if (!platform::writeProfileString("PartLocalToArmGlobal100", "Counter",
                                          std::to_string(n).c_str(), file.c_str())) {
          _exit(1);
        }
      }
    }
    sleepMicroseconds(delay(random));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer failed in round " << round;
    ++interrupted;

    char buf[32];
    ASSERT_GT(platform::getProfileString("PartLocalToArmGlobal100", "Counter", "", buf, sizeof buf,
                                         file.c_str()),
              0u)
        << "round " << round;
    const unsigned long value = std::stoul(buf);
    EXPECT_GE(value, last);
    last = value;
    // Exactly the file some complete write produced, byte for byte.
    ASSERT_EQ(testsupport::readFile(file), settingsWithCounter(buf)) << "round " << round;
  }
  EXPECT_EQ(interrupted, 150);
  std::cout << "writes completed: " << last << " in " << interrupted
            << " interrupted runs (one write took up to " << writeMicroseconds << " us)\n";
  // The next write clears what killed writers left behind.
  ASSERT_TRUE(platform::writeProfileString("PartLocalToArmGlobal100", "Counter",
                                           std::to_string(last + 1).c_str(), file.c_str()));
  int others = 0;
  for (const auto& entry : fs::directory_iterator(dir.path())) {
    if (entry.path().filename() != "part.qini") ++others;
  }
  EXPECT_EQ(others, 0) << "temporary files left in the directory";
  EXPECT_GT(last, 0u) << "the writer never completed a write";
}

// The nine keys of a transform section; calibration n stores "n.i" in key i,
// so that a value read back tells which calibration wrote it.
constexpr const char* kTransformKeys[9] = {"RotationOriginX", "RotationOriginY", "RotationOriginZ",
                                           "RotationAngleX",  "RotationAngleY",  "RotationAngleZ",
                                           "TranslationX",    "TranslationY",    "TranslationZ"};

std::string transformValue(unsigned long calibration, int key) {
  return std::to_string(calibration) + "." + std::to_string(key) + "000000000000000";
}

// A settings file of some size whose section PartLocalToArmGlobal100 holds
// calibration n, between other sections.
std::string settingsWithTransform(unsigned long calibration) {
  std::string text = "; part settings\r\n";
  for (int s = 0; s < 200; ++s) {
    text += "[PartLocalToArmGlobal" + std::to_string(s) + "]\r\n";
    for (int k = 0; k < 9; ++k) {
      text += std::string(kTransformKeys[k]) + "=" +
              (s == 100 ? transformValue(calibration, k) : std::to_string(s) + ".5") + "\r\n";
    }
  }
  return text;
}

bool writeCalibration(const std::string& file, unsigned long calibration) {
  std::string texts[9];
  const char* values[9];
  for (int k = 0; k < 9; ++k) {
    texts[k] = transformValue(calibration, k);
    values[k] = texts[k].c_str();
  }
  return platform::writeProfileStrings("PartLocalToArmGlobal100", kTransformKeys, values, 9,
                                       file.c_str());
}

TEST(ProfileFaults, KilledSectionWriterLeavesOneWholeCalibration) {
  TempDir dir;
  const std::string file = dir / "part.qini";
  testsupport::writeFile(file, settingsWithTransform(0));
  long writeMicroseconds = 0;
  for (int i = 0; i < 3; ++i) {
    const auto before = std::chrono::steady_clock::now();
    ASSERT_TRUE(writeCalibration(file, 0));
    const auto took = std::chrono::duration_cast<std::chrono::microseconds>(
        std::chrono::steady_clock::now() - before);
    writeMicroseconds = std::max(writeMicroseconds, static_cast<long>(took.count()));
  }
  ASSERT_EQ(testsupport::readFile(file), settingsWithTransform(0));
  std::mt19937 random(54321);
  std::uniform_int_distribution<long> delay(0, std::clamp(4 * writeMicroseconds, 12000L, 200000L));
  unsigned long last = 0;
  for (int round = 0; round < 100; ++round) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      // Writes calibration after calibration, each one whole section.
      char buf[64];
      platform::getProfileString("PartLocalToArmGlobal100", kTransformKeys[0], "0", buf, sizeof buf,
                                 file.c_str());
      for (unsigned long n = std::stoul(buf) + 1;; ++n) {
        if (!writeCalibration(file, n)) _exit(1);
      }
    }
    sleepMicroseconds(delay(random));
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status)) << "writer failed in round " << round;

    // All nine keys come from one calibration, never from two.
    char buf[64];
    platform::getProfileString("PartLocalToArmGlobal100", kTransformKeys[0], "", buf, sizeof buf,
                               file.c_str());
    const unsigned long calibration = std::stoul(buf);
    for (int k = 0; k < 9; ++k) {
      platform::getProfileString("PartLocalToArmGlobal100", kTransformKeys[k], "", buf, sizeof buf,
                                 file.c_str());
      ASSERT_EQ(std::string(buf), transformValue(calibration, k))
          << "round " << round << ", key " << kTransformKeys[k];
    }
    EXPECT_GE(calibration, last);
    last = calibration;
    ASSERT_EQ(testsupport::readFile(file), settingsWithTransform(calibration)) << "round " << round;
  }
  std::cout << "calibrations completed: " << last << " in 100 interrupted runs (one took up to "
            << writeMicroseconds << " us)\n";
  EXPECT_GT(last, 0u) << "the writer never completed a calibration";
}

class RefusedWrites : public ::testing::Test {
 protected:
  void SetUp() override { testsupport::writeFile(file_, original_); }
  void expectUnchanged() const { EXPECT_EQ(testsupport::readFile(file_), original_); }
  // Files in the directory besides the settings file (left-over temporaries).
  int strayFiles() const {
    int n = 0;
    for (const auto& entry : fs::directory_iterator(dir_.path())) {
      if (entry.path().filename() != "part.qini") ++n;
    }
    return n;
  }
  TempDir dir_;
  const std::string file_ = dir_ / "part.qini";
  const std::string original_ = "[A]\r\nk=1\r\n";
};

TEST_F(RefusedWrites, ReadOnlyFile) {
  chmod(file_.c_str(), 0444);
  EXPECT_FALSE(platform::writeProfileString("A", "k", "2", file_.c_str()));
  EXPECT_FALSE(platform::writeProfileString("A", nullptr, nullptr, file_.c_str()));
  EXPECT_FALSE(platform::writeProfileString("B", "k", "2", file_.c_str()));
  expectUnchanged();
  EXPECT_EQ(strayFiles(), 0);
}

TEST_F(RefusedWrites, MissingDirectory) {
  const std::string missing = dir_ / "nodir/part.qini";
  EXPECT_FALSE(platform::writeProfileString("A", "k", "2", missing.c_str()));
  EXPECT_FALSE(fs::exists(dir_ / "nodir"));
}

TEST_F(RefusedWrites, DiskFull) {
  // A file-size limit makes the temporary's write fail as a full disk would.
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64, 64};
    setrlimit(RLIMIT_FSIZE, &limit);
    const std::string big(1000, 'x');
    _exit(platform::writeProfileString("A", "k", big.c_str(), file_.c_str()) ? 1 : 0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0) << "the write was reported as done";
  expectUnchanged();
  EXPECT_EQ(strayFiles(), 0);
}

TEST_F(RefusedWrites, DirectoryInPlaceOfTheFile) {
  const std::string directory = dir_ / "sub.ini";
  fs::create_directory(directory);
  EXPECT_FALSE(platform::writeProfileString("A", "k", "2", directory.c_str()));
  EXPECT_TRUE(fs::is_directory(directory));
}

TEST_F(RefusedWrites, SuccessfulWriteKeepsModeAndLinks) {
  chmod(file_.c_str(), 0640);
  const std::string link = dir_ / "link.qini";
  fs::create_symlink(file_, link);
  EXPECT_TRUE(platform::writeProfileString("A", "k", "2", link.c_str()));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(testsupport::readFile(file_), "[A]\r\nk=2\r\n");
  struct stat st;
  ASSERT_EQ(stat(file_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

// ---------------------------------------------------------------------------
// Who may write: the writer runs as an unprivileged user (nobody when the
// tests run as root, else the current user). A write keeps the file's owner,
// group and mode; a file the writer may not write is refused whatever the
// directory allows; where the directory cannot be written but the file can,
// the file is updated in place.

struct Writer {
  uid_t uid;
  gid_t gid;
  bool dropsPrivileges;
};

Writer unprivilegedWriter() {
  if (geteuid() == 0) return {65534, 65534, true};
  return {getuid(), getgid(), false};
}

// Runs f as the writer in a child process; its result (0..255).
int runAs(const Writer& writer, const std::function<int()>& f) {
  pid_t child = fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (writer.dropsPrivileges &&
        (setgroups(0, nullptr) != 0 || setgid(writer.gid) != 0 || setuid(writer.uid) != 0)) {
      _exit(255);
    }
    _exit(f());
  }
  int status = 0;
  waitpid(child, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

constexpr uid_t kOtherUser = 1234;
constexpr gid_t kOtherGroup = 4321;

struct AccessRow {
  const char* label;
  bool needsRoot;  // the file belongs to another user or group
  mode_t directoryMode;
  bool fileExists;
  bool otherOwner;  // owned by kOtherUser instead of the writer
  bool otherGroup;  // group kOtherGroup, which the writer is not in
  mode_t fileMode;
  bool written;
};

const AccessRow kAccessRows[] = {
    {"OwnFileWritableDirectory", false, 0777, true, false, false, 0640, true},
    {"OtherUsersFileWritableByAll", true, 0777, true, true, true, 0666, true},
    {"OwnFileInAGroupTheWriterIsNotIn", true, 0777, true, false, true, 0664, true},
    {"OtherUsersFileNotWritable", true, 0777, true, true, true, 0644, false},
    {"OtherUsersFileWritableByGroupOnly", true, 0777, true, true, true, 0664, false},
    {"ReadOnlyOwnFile", false, 0777, true, false, false, 0444, false},
    {"UnwritableDirectoryWritableFile", false, 0555, true, false, false, 0640, true},
    {"UnwritableDirectoryOtherUsersFile", true, 0555, true, true, true, 0666, true},
    {"UnwritableDirectoryReadOnlyFile", false, 0555, true, false, false, 0444, false},
    {"UnwritableDirectoryMissingFile", false, 0555, false, false, false, 0, false},
};

void PrintTo(const AccessRow& row, std::ostream* os) {
  *os << row.label;
}

class WriteAccess : public ::testing::TestWithParam<AccessRow> {};

TEST_P(WriteAccess, KeepsOwnerGroupAndModeAndRefusesWhatTheWriterMayNotWrite) {
  const AccessRow& row = GetParam();
  const Writer writer = unprivilegedWriter();
  if (row.needsRoot && !writer.dropsPrivileges) {
    GTEST_SKIP() << "files of other users can only be made by root";
  }
  TempDir dir;
  const std::string file = dir / "part.qini";
  // The write shrinks the file (a key goes), then grows it again.
  const std::string original = "[A]\r\nk=1\r\nlong=" + std::string(40, 'x') + "\r\n";
  const std::string expected = "[A]\r\nk=22\r\n";
  const uid_t owner = row.otherOwner ? kOtherUser : writer.uid;
  const gid_t group = row.otherGroup ? kOtherGroup : writer.gid;
  if (row.fileExists) {
    testsupport::writeFile(file, original);
    ASSERT_EQ(chown(file.c_str(), owner, group), 0);
    ASSERT_EQ(chmod(file.c_str(), row.fileMode), 0);
  }
  ASSERT_EQ(chmod(dir.path().c_str(), row.directoryMode), 0);

  const int results = runAs(writer, [&] {
    const bool shrunk = platform::writeProfileString("A", "long", nullptr, file.c_str());
    const bool grown = platform::writeProfileString("A", "k", "22", file.c_str());
    return (shrunk ? 1 : 0) | (grown ? 2 : 0);
  });
  chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(results, row.written ? 3 : 0);

  int entries = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator(dir.path())) ++entries;
  EXPECT_EQ(entries, row.fileExists ? 1 : 0) << "left-over temporaries";
  if (!row.fileExists) return;
  EXPECT_EQ(testsupport::readFile(file), row.written ? expected : original);
  struct stat st;
  ASSERT_EQ(stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_uid, owner);
  EXPECT_EQ(st.st_gid, group);
  EXPECT_EQ(st.st_mode & 07777, row.fileMode);
}

INSTANTIATE_TEST_SUITE_P(Rows, WriteAccess, ::testing::ValuesIn(kAccessRows),
                         [](const ::testing::TestParamInfo<AccessRow>& info) {
                           return std::string(info.param.label);
                         });

TEST(InPlaceWrite, FullDiskLeavesTheFileAsItWas) {
  // The file is rewritten in place (its directory cannot be written); a
  // file-size limit makes the longer text fail as a full disk would, and it
  // must fail before any byte of the old text is overwritten.
  const Writer writer = unprivilegedWriter();
  TempDir dir;
  const std::string file = dir / "part.qini";
  const std::string original = "[A]\r\nk=1\r\n";
  testsupport::writeFile(file, original);
  ASSERT_EQ(chown(file.c_str(), writer.uid, writer.gid), 0);
  ASSERT_EQ(chmod(dir.path().c_str(), 0555), 0);
  const int written = runAs(writer, [&] {
    signal(SIGXFSZ, SIG_IGN);
    rlimit limit{64, 64};
    setrlimit(RLIMIT_FSIZE, &limit);
    const std::string big(1000, 'x');
    return platform::writeProfileString("A", "k", big.c_str(), file.c_str()) ? 1 : 0;
  });
  chmod(dir.path().c_str(), 0755);
  EXPECT_EQ(written, 0) << "the write was reported as done";
  EXPECT_EQ(testsupport::readFile(file), original);
}

// ---------------------------------------------------------------------------
// A UTF-16LE file of an odd number of bytes: its last byte is no code unit,
// but it is part of the file and stays after every kind of write.

std::string utf16File(const std::string& text, const std::string& tail) {
  std::string bytes = "\xFF\xFE";
  for (char c : text) {
    bytes += c;
    bytes += '\0';
  }
  return bytes + tail;
}

struct OddWriteRow {
  const char* label;
  const char* key;    // nullptr: delete the section
  const char* value;  // nullptr: delete the key
  const char* section;
  const char* expected;
  const char* readBack;  // [A] k afterwards
};

const OddWriteRow kOddWrites[] = {
    {"ReplaceValue", "k", "22", "A", "[A]\r\nk=22\r\n[B]\r\nm=2\r\n", "22"},
    {"AddKey", "n", "3", "A", "[A]\r\nk=1\r\nn=3\r\n[B]\r\nm=2\r\n", "1"},
    {"AddSection", "z", "9", "C", "[A]\r\nk=1\r\n[B]\r\nm=2\r\n[C]\r\nz=9\r\n", "1"},
    {"DeleteKey", "m", nullptr, "B", "[A]\r\nk=1\r\n[B]\r\n", "1"},
    {"DeleteSection", nullptr, nullptr, "A", "[B]\r\nm=2\r\n", "none"},
};

TEST(OddLengthUtf16File, KeepsItsLastByteOnEveryWrite) {
  for (const OddWriteRow& row : kOddWrites) {
    SCOPED_TRACE(row.label);
    TempDir dir;
    const std::string file = dir / "part.qini";
    testsupport::writeFile(file, utf16File("[A]\r\nk=1\r\n[B]\r\nm=2\r\n", "Z"));
    ASSERT_TRUE(platform::writeProfileString(row.section, row.key, row.value, file.c_str()));
    EXPECT_EQ(testsupport::readFile(file), utf16File(row.expected, "Z"));
    char value[16];
    platform::getProfileString("A", "k", "none", value, sizeof value, file.c_str());
    EXPECT_EQ(std::string(value), row.readBack);
  }
}

}  // namespace
