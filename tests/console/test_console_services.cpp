// Console services: number texts, list choice, path tests, the editor call.
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IniFileSection.h"
#include "ScriptedConsole.h"
#include "console/ConsoleServices.h"
#include "program/MainMenu.h"
#include "console/OperationGuard.h"
#include "test_support.h"

namespace {

string_vector listOf(std::vector<std::string> entries) {
  string_vector list;
  for (const auto& entry : entries) list.strings.push_back(entry);
  return list;
}

using testsupport::setEnvironment;

// Restores an environment variable when the test ends.
class SavedVariable {
 public:
  explicit SavedVariable(const char* name) : name_(name) {
    const char* value = std::getenv(name);
    had_ = value != nullptr;
    if (had_) value_ = value;
  }
  ~SavedVariable() { setEnvironment(name_, had_ ? value_.c_str() : nullptr); }

 private:
  const char* name_;
  bool had_ = false;
  std::string value_;
};

TEST(NumberTexts, TwoDigitNumbers) {
  const std::pair<unsigned long long, const char*> cases[] = {
      {0, "00"}, {1, "01"}, {9, "09"}, {10, "10"}, {11, "11"}, {99, "99"}, {100, "100"}};
  for (const auto& [value, text] : cases) EXPECT_EQ(twoDigitNumber(value), text) << value;
}

TEST(NumberTexts, NumberToTextWritesLikeADefaultStream) {
  EXPECT_EQ(numberToText(0), "0");
  EXPECT_EQ(numberToText(-42), "-42");
  EXPECT_EQ(numberToText(4294967295u), "4294967295");
  EXPECT_EQ(numberToText(2.5), "2.5");
  EXPECT_EQ(numberToText(1.0 / 3.0), "0.333333");
  EXPECT_EQ(numberToText(123456789.0), "1.23457e+08");
  EXPECT_EQ(numberToText(-0.000012345), "-1.2345e-05");
  EXPECT_EQ(numberToText(90.0), "90");
}

TEST(NumberTexts, TextToNumberReadsTheLeadingNumber) {
  const std::pair<const char*, std::uint32_t> cases[] = {
      {"7", 7}, {"12", 12}, {"  42", 42}, {"\t5 apples", 5}, {"3rd", 3}, {"", 0}, {"x1", 0}};
  for (const auto& [text, value] : cases) EXPECT_EQ(textToNumber(text), value) << text;
}

TEST(PositionLabel, FirstMatchOrOnePastTheEnd) {
  const string_vector list = listOf({"Roller", "Probe", "Probe", "Wheel"});
  EXPECT_EQ(positionLabel("Roller", list), "01");
  EXPECT_EQ(positionLabel("Probe", list), "02");
  EXPECT_EQ(positionLabel("Wheel", list), "04");
  EXPECT_EQ(positionLabel("probe", list), "05");  // case-sensitive
  EXPECT_EQ(positionLabel("Other", string_vector()), "01");
  string_vector ten;
  for (int i = 1; i <= 10; ++i) {
    std::string name = "P";
    name += std::to_string(i);
    ten.strings.push_back(name);
  }
  EXPECT_EQ(positionLabel("P10", ten), "10");
}

TEST(ChooseFromList, RepeatsThePromptUntilAValidNumber) {
  ScriptedConsole console("0\n4\n2\n");
  EXPECT_EQ(chooseFromList("part", listOf({"Wing", "Tail", "Nose"})), "Tail");
  EXPECT_EQ(console.output(),
            "\nChoose part:\n\t1: Wing\n\t2: Tail\n\t3: Nose\n"
            "Please enter value 1..3: Please enter value 1..3: Please enter value 1..3: ");
}

TEST(ChooseFromList, TextAnswersDiscardOneCharacterPerPrompt) {
  ScriptedConsole console("ab\n3\nrest");
  EXPECT_EQ(chooseFromList("tool", listOf({"A", "B", "C"})), "C");
  const std::string prompt = "Please enter value 1..3: ";
  const std::string out = console.output();
  EXPECT_EQ(out.substr(out.size() - 3 * prompt.size()), prompt + prompt + prompt);
  EXPECT_EQ(console.unread(), "\nrest");
}

TEST(ChooseFromList, OneEntryIsChosenWithoutReading) {
  ScriptedConsole console("5\n");
  EXPECT_EQ(chooseFromList("part", listOf({"Wing"})), "Wing");
  EXPECT_EQ(console.output(), "Chosen part Wing.\n");
  EXPECT_EQ(console.unread(), "5\n");
}

TEST(ChooseFromList, EmptyListGivesEmptyTextSilently) {
  ScriptedConsole console("1\n");
  EXPECT_EQ(chooseFromList("part", string_vector()), "");
  EXPECT_EQ(console.output(), "");
  EXPECT_EQ(console.unread(), "1\n");
}

TEST(ChooseFromList, EndOfInputStopsThePrompt) {
  ScriptedConsole console("0\n9");
  EXPECT_THROW(chooseFromList("part", listOf({"A", "B"})), ConsoleInputEnded);
  // "0" and "9" are refused; the third prompt meets the end and stops.
  const std::string prompt = "Please enter value 1..2: ";
  EXPECT_EQ(console.output(), "\nChoose part:\n\t1: A\n\t2: B\n" + prompt + prompt + prompt);
}

TEST(AskForCharacter, RepeatsQuestionUntilAnAcceptedLetter) {
  ScriptedConsole console("x\n  Y\n");
  EXPECT_EQ(askForCharacter(printToConsole, "Continue? (y/n): ", "ynYN"), 'Y');
  EXPECT_EQ(console.output(), "Continue? (y/n): Continue? (y/n): ");
}

TEST(AskForCharacter, EndOfInputThrows) {
  ScriptedConsole console("x\n");
  EXPECT_THROW(askForCharacter(printToConsole, "Continue? (y/n): ", "yn"), ConsoleInputEnded);
}

TEST(ReadFromConsole, FailedReadDiscardsOneCharacter) {
  ScriptedConsole console("x7\n");
  unsigned value = 0;
  EXPECT_FALSE(readFromConsole(value));
  EXPECT_TRUE(readFromConsole(value));
  EXPECT_EQ(value, 7u);
  EXPECT_THROW(readFromConsole(value), ConsoleInputEnded);
}

TEST(MainMenu, TableHasSixteenEntriesEndingWithExit) {
  const string_vector table = mainMenuTable();
  ASSERT_EQ(table.strings.size(), static_cast<std::size_t>(kMenuEntryCount));
  EXPECT_EQ(table.strings[kMenuFaroDialog], "Faro dialog");
  EXPECT_EQ(table.strings[kMenuEditRegionData], "Edit region data");
  EXPECT_EQ(table.strings[kMenuDumpDirectories], "Dump directories");
  EXPECT_EQ(table.strings[kMenuExit], "Exit");
}

TEST(MainMenu, ChoiceIsThePositionOfTheEntry) {
  ScriptedConsole console("17\n14\n");
  EXPECT_EQ(chooseMainMenuFunction(), kMenuDumpDirectories);
  const std::string out = console.output();
  EXPECT_EQ(out.rfind("\t16: Exit\nPlease enter value 1..16: Please enter value 1..16: "),
            out.size() - std::string("\t16: Exit\nPlease enter value 1..16: ").size() -
                std::string("Please enter value 1..16: ").size());
}

TEST(MainMenu, ProgramDirectoryIsCutAtTheLastSeparator) {
  EXPECT_EQ(programDirectoryFromArgument("C:\\Program Files\\Zorv\\ZorvPosetta.exe"),
            "C:\\Program Files\\Zorv");
  EXPECT_EQ(programDirectoryFromArgument("ZorvPosetta.exe"), "ZorvPosetta.exe");
  EXPECT_EQ(programDirectoryFromArgument(""), "");
  EXPECT_EQ(programDirectoryFromArgument("\\ZorvPosetta.exe"), "");
}

TEST(ApplicationData, FollowsAllUsersProfile) {
  SavedVariable saved("ALLUSERSPROFILE");
  setEnvironment("ALLUSERSPROFILE", "C:\\ProgramData");
  EXPECT_EQ(getApplicationDataDirectory(),
            "C:\\ProgramData\\Application Data\\Kestrel Ward\\Velloran 2");
#ifndef _WIN32
  // Windows has no way to keep an empty variable; unset covers both there.
  setEnvironment("ALLUSERSPROFILE", nullptr);
  EXPECT_EQ(getApplicationDataDirectory(), "\\Application Data\\Kestrel Ward\\Velloran 2");
#endif
}

TEST(FileServices, FilesAndDirectoriesAreTold) {
  testsupport::TempDir dir;
  const std::string file = dir / "a.ini";
  const std::string sub = dir / "sub";
  testsupport::writeFile(file, "[S]\n");
  EXPECT_TRUE(isFile(file));
  EXPECT_FALSE(isDirectory(file));
  EXPECT_FALSE(isFile(dir.path()));
  EXPECT_TRUE(isDirectory(dir.path()));
  EXPECT_FALSE(isFile(dir / "missing"));
  EXPECT_FALSE(isDirectory(dir / "missing"));

  EXPECT_TRUE(createDirectory(sub));
  EXPECT_TRUE(isDirectory(sub));
  EXPECT_FALSE(createDirectory(sub)) << "exists already";
  EXPECT_FALSE(createDirectory(dir / "no\\such"));

  const std::string copy = dir / "sub/b.ini";
  EXPECT_TRUE(copyFileOverwrite(file, copy));
  testsupport::writeFile(file, "[T]\n");
  EXPECT_TRUE(copyFileOverwrite(file, copy));
  EXPECT_EQ(testsupport::readFile(copy), "[T]\n");
  EXPECT_FALSE(copyFileOverwrite(dir / "missing.ini", copy));
}

// "notepad.exe " + path must fit in 255 characters; the two paths below give
// command lines of exactly 255 and 256 characters.
struct EditorPaths {
  std::string fits;
  std::string tooLong;
};

EditorPaths editorPaths(const testsupport::TempDir& dir) {
  const std::string prefix = dir.path() + "/";
  const std::size_t room = kMaxEditorCommandLine - std::string("notepad.exe ").size();
  EditorPaths paths;
  if (prefix.size() + 5 >= room) return paths;
  paths.fits = prefix + std::string(room - prefix.size() - 4, 'a') + ".ini";
  paths.tooLong = prefix + std::string(room - prefix.size() - 3, 'b') + ".ini";
  return paths;
}

TEST(OpenInNotepad, RefusesCommandLinesLongerThan255Characters) {
  testsupport::TempDir dir;
  const EditorPaths paths = editorPaths(dir);
  ASSERT_FALSE(paths.fits.empty()) << "temporary directory path too long for this test";
  ASSERT_EQ(("notepad.exe " + paths.fits).size(), 255u);
  ASSERT_EQ(("notepad.exe " + paths.tooLong).size(), 256u);
  // Refused before anything is started, so this is safe on every platform.
  EXPECT_FALSE(openInNotepad(paths.tooLong));
}

TEST(OpenInNotepad, StartsTheEditorWithTheFileAndWaits) {
#ifdef _WIN32
  GTEST_SKIP() << "starting Notepad is not tested on Windows";
#else
  const char* bin = std::getenv("ZORV_BIN_DIR");
  if (bin == nullptr) GTEST_SKIP() << "ZORV_BIN_DIR not set";
  testsupport::TempDir dir;
  const EditorPaths paths = editorPaths(dir);
  ASSERT_FALSE(paths.fits.empty());
  SavedVariable visual("VISUAL");
  SavedVariable record("ZORV_EDITOR_RECORD");
  const std::string recordFile = dir.path() + "/record.txt";
  setEnvironment("VISUAL", (std::string(bin) + "/zorv_recording_editor").c_str());
  setEnvironment("ZORV_EDITOR_RECORD", recordFile.c_str());
  EXPECT_FALSE(openInNotepad(paths.tooLong));
  EXPECT_FALSE(testsupport::exists(recordFile)) << "the editor ran for a refused path";
  EXPECT_TRUE(openInNotepad(paths.fits));
  // The record is complete when the call returns: the call waited.
  EXPECT_EQ(testsupport::readFile(recordFile), paths.fits + "\n");
#endif
}

void capturePrint(std::string text) {
  std::cout << text;
}

// No exception leaves a menu operation: each kind becomes one line and the
// operation counts as failed; only the end of console input passes.
TEST(OperationGuard, TurnsExceptionsIntoOneLine) {
  ConsoleContext context{};
  context.print = capturePrint;
  struct Case {
    const char* name;
    std::function<bool()> operation;
    bool result;
    std::string line;
  } cases[] = {
      {"success", [] { return true; }, true, ""},
      {"failure", [] { return false; }, false, ""},
      {"settings file error",
       []() -> bool {
         throw new IniFileSection::IniFileException("[Probe] ElementPitch",
                                                    IniFileSection::KeyUnavailable);
       },
       false, "\nOperation failed: settings file error ([Probe] ElementPitch).\n"},
      {"write failure without detail",
       []() -> bool {
         throw new IniFileSection::IniFileException("", IniFileSection::WriteFailed);
       },
       false, "\nOperation failed: settings file error.\n"},
      {"standard exception", []() -> bool { throw std::runtime_error("mesh too large"); }, false,
       "\nOperation failed: mesh too large.\n"},
      {"anything else", []() -> bool { throw 42; }, false,
       "\nOperation failed: unexpected error.\n"},
  };
  for (const Case& c : cases) {
    ScriptedConsole console("");
    EXPECT_EQ(runOperationGuarded(context, c.operation), c.result) << c.name;
    EXPECT_EQ(console.output(), c.line) << c.name;
  }
  ScriptedConsole console("");
  EXPECT_THROW(runOperationGuarded(context, []() -> bool { throw ConsoleInputEnded{}; }),
               ConsoleInputEnded);
  EXPECT_EQ(console.output(), "");
}

}  // namespace
