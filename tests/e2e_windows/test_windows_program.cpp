// The Windows program ZorvPosetta.exe end to end: start-up with and without
// an arm, the menu and its prompt, a selection and its key wait, a dump,
// exit and the end of console input. Console lines end in CR LF.
#include <string>

#include <gtest/gtest.h>

#include "WindowsProgramRun.h"
#include "test_support.h"

namespace {

using winrun::crlf;
using winrun::Sandbox;
using winrun::visible;

const std::string kArmStart = "Initialising arm... Hold ctrl for arm information.\n";
const std::string kWizardMode = "Detected: wizard directory.\nDirectory mode: Wizard.\n";
const std::string kBasicMode = "Directory mode: Basic.\n";
const std::string kPrompt = "Please enter value 1..16: ";
const std::string kKeyPrompt = "\nPlease press any key to continue.\n";
const std::string kInputEnded = "\nConsole input ended.\n";
const std::string kArmFailure = kArmStart + "Arm initialisation failure.\n";
const std::string kArmQuestion = "\nArm initialisation failure. Would you like to continue? (y/n): ";

std::string menu() {
  static const char* const kEntries[] = {"Faro dialog",
                                         "Test arm",
                                         "Calibrate collection",
                                         "Calibrate region",
                                         "Test region",
                                         "Edit region data",
                                         "Edit tool data",
                                         "Add tool to part",
                                         "Calculate psi zero degree",
                                         "Reuse part calibrations",
                                         "Reset new part calibrations",
                                         "Clean old part calibrations",
                                         "Quad mesh info",
                                         "Dump directories",
                                         "Hardware config dialog",
                                         "Exit"};
  std::string screen =
      "\n Orlenta Zorv Posetta\n~~~~~~~~~~~~~~~~~~~~~~~~~\n\n Alpha version\n\n\nChoose function:\n";
  int n = 1;
  for (const char* entry : kEntries) screen += "\t" + std::to_string(n++) + ": " + entry + "\n";
  return screen + kPrompt;
}

// The screen clear runs "cls", which writes a form feed into a pipe on
// Windows and nothing under Wine: form feeds are not part of the comparison.
std::string withoutFormFeeds(std::string text) {
  std::erase(text, '\f');
  return text;
}

// Compares the captured output with the expected text (written with "\n" and
// expected with "\r\n"); names the first differing line on a mismatch.
::testing::AssertionResult transcriptIs(const std::string& expectedLf, const std::string& actual) {
  const std::string expected = crlf(expectedLf);
  const std::string got = withoutFormFeeds(actual);
  if (expected == got) return ::testing::AssertionSuccess();
  std::size_t line = 1;
  std::size_t start = 0;
  std::size_t i = 0;
  while (i < expected.size() && i < got.size() && expected[i] == got[i]) {
    if (expected[i] == '\n') {
      ++line;
      start = i + 1;
    }
    ++i;
  }
  const auto lineAt = [start](const std::string& text) {
    const std::size_t end = text.find('\n', start);
    return visible(text.substr(start, end == std::string::npos ? std::string::npos
                                                               : end - start + 1));
  };
  return ::testing::AssertionFailure()
         << "transcripts differ at line " << line << "\n  expected: " << lineAt(expected)
         << "\n  actual:   " << lineAt(got) << "\n  whole output: " << visible(actual);
}

TEST(WindowsProgram, StartsShowsTheMenuRetriesThePromptAndExits) {
  Sandbox sandbox;
  sandbox.buildWizardTree("parts/");
  const std::string log = sandbox.path("arm-commands.log");
  sandbox.setArmScenario("log " + log + "\n");
  // "0" and "17" are out of range; the menu asks again for each.
  const winrun::RunResult run = sandbox.run("0\n17\n16\n");
  ASSERT_FALSE(run.timedOut) << visible(run.output);
  EXPECT_EQ(run.exitCode, 0u);
  EXPECT_TRUE(transcriptIs(kArmStart + kWizardMode + menu() + kPrompt + kPrompt, run.output));
  // The arm was opened, given its block, asked for its serial, and closed
  // last (command 2) on exit.
  const std::string commands = testsupport::readFile(log);
  EXPECT_EQ(commands.substr(0, 2), "1\n") << visible(commands);
  EXPECT_NE(commands.find("\n5\n"), std::string::npos) << visible(commands);
  EXPECT_NE(commands.find("\n3\n"), std::string::npos) << visible(commands);
  EXPECT_EQ(commands.substr(commands.size() - 3), "\n2\n") << visible(commands);
}

TEST(WindowsProgram, StartsWithoutAnArm) {
  struct Case {
    const char* script;
    unsigned long exitCode;
    std::string transcript;
  } cases[] = {
      // The technician goes on without the arm, then exits.
      {"y\n16\n", 0, kArmFailure + kArmQuestion + kBasicMode + menu()},
      // Any other answer asks again; "n" ends the program.
      {"x\nN\n", 0, kArmFailure + kArmQuestion + kArmQuestion},
      {"", 2, kArmFailure + kArmQuestion + kInputEnded},
  };
  for (const Case& c : cases) {
    Sandbox sandbox;
    sandbox.setArmScenario("fail open\n");
    const winrun::RunResult run = sandbox.run(c.script);
    ASSERT_FALSE(run.timedOut) << c.script;
    EXPECT_EQ(run.exitCode, c.exitCode) << visible(c.script);
    EXPECT_TRUE(transcriptIs(c.transcript, run.output)) << visible(c.script);
  }
}

TEST(WindowsProgram, SelectionIsFollowedByTheKeyWait) {
  const std::string failed = "Failed to identify .qini or .ini file.\n";
  struct Case {
    const char* script;
    std::string transcript;
  } cases[] = {
      // In basic mode "Edit region data" fails at once; a key goes on.
      {"6\n \n16\n", kArmStart + kBasicMode + menu() + failed + kKeyPrompt + menu()},
      // The key "x" ends the wait unread: the menu prompt reads and refuses
      // it, then reads 16.
      {"6\nx16\n", kArmStart + kBasicMode + menu() + failed + kKeyPrompt + menu() + kPrompt},
  };
  for (const Case& c : cases) {
    Sandbox sandbox;
    const winrun::RunResult run = sandbox.run(c.script);
    ASSERT_FALSE(run.timedOut) << visible(c.script);
    EXPECT_EQ(run.exitCode, 0u) << visible(c.script);
    EXPECT_TRUE(transcriptIs(c.transcript, run.output)) << visible(c.script);
  }
}

TEST(WindowsProgram, DumpWritesTheListingAndOpensItInTheEditor) {
  Sandbox sandbox;
  sandbox.buildWizardTree("parts/01_A/A.bmp\ntools/");
  const std::string namePrompt = "Please enter text file name: ";
  // An empty line asks for the name again.
  const winrun::RunResult run = sandbox.run("14\n\nlisting.txt\n16\n");
  ASSERT_FALSE(run.timedOut) << visible(run.output);
  EXPECT_EQ(run.exitCode, 0u);
  // The editor is started without the program's handles. Wine still gives it
  // the program's standard output, so the stand-in's closing line shows there
  // that the program waited for it; Windows gives it the console window.
  const std::string editorLine = "[editor: listing.txt]\n";
  std::string output = run.output;
  if (!testsupport::runningUnderWine()) {
    if (const std::size_t at = output.find(crlf(editorLine)); at != std::string::npos) {
      output.erase(at, crlf(editorLine).size());
    }
  }
  EXPECT_TRUE(transcriptIs(kArmStart + kWizardMode + menu() + namePrompt + namePrompt +
                               (testsupport::runningUnderWine() ? editorLine : "") + kKeyPrompt +
                               menu(),
                           output));
  // Written in text mode: its lines end in CR LF, as the editor expects.
  EXPECT_EQ(testsupport::readFile(sandbox.workingDirectory() + "\\listing.txt"),
            crlf("Key:\n\td: - directories. f: - files.\n\nListing:\n"
                 "\td: vl2_settings\n"
                 "\t\td: parts\n"
                 "\t\t\td: 01_A\n"
                 "\t\t\t\tf: A.bmp\n"
                 "\t\td: tools\n"));
  EXPECT_EQ(testsupport::readFile(sandbox.editorRecordFile()), "listing.txt\n");
}

TEST(WindowsProgram, EndOfInputEndsTheProgram) {
  struct Case {
    const char* name;
    const char* script;
    std::string transcript;
  } cases[] = {
      {"nothing typed", "", kArmStart + kBasicMode + menu()},
      {"unfinished retries", "0\n17", kArmStart + kBasicMode + menu() + kPrompt + kPrompt},
      {"at the key wait", "6\n",
       kArmStart + kBasicMode + menu() + "Failed to identify .qini or .ini file.\n" + kKeyPrompt},
  };
  for (const Case& c : cases) {
    Sandbox sandbox;
    const winrun::RunResult run = sandbox.run(c.script);
    ASSERT_FALSE(run.timedOut) << c.name;
    EXPECT_EQ(run.exitCode, 2u) << c.name;
    EXPECT_TRUE(transcriptIs(c.transcript + kInputEnded, run.output)) << c.name;
  }
}

}  // namespace
