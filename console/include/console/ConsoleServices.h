// Console and file-system services shared by every operation of the console
// program: output, the numbered choice from a list, number texts, paths of the
// application-data directory, file tests, and the text editor.
//
// All console input goes through std::cin after platform::console::install()
// (the program entry does that first): formatted reads take whole lines, the
// key calls of platform/console.h see only keys not yet taken by a line.
//
// End of console input: once the console has gone (end of file on a pipe, a
// hung-up terminal) no prompt may ask again. The helpers below throw
// ConsoleInputEnded instead of retrying; the menu loop catches it, closes the
// arm and ends the program. Operations that read std::cin themselves call
// readFromConsole() (or check with throwIfConsoleInputEnded() after a failed
// read) and must let ConsoleInputEnded pass through: it deliberately does not
// derive from std::exception, so catch (const std::exception&) does not take it.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "ZorvVLWizard.h"
#include "console/ConsoleContext.h"

// Thrown when console input has ended; ends the program after the arm is closed.
class ConsoleInputEnded {
 public:
  const char* what() const noexcept { return "console input ended"; }
};

// Exit status of the program when it ended because console input ended
// (every other path returns 0).
inline constexpr int kExitStatusInputEnded = 2;

// Writes the text to standard output unchanged.
void printToConsole(std::string text);

// Numbered choice from a list: the empty text for an empty list (nothing
// printed); for one entry prints "Chosen <title> <entry>.\n" and returns it
// without reading; otherwise shows the list once and repeats the prompt
// "Please enter value 1..<count>: " until a number in range is read.
std::string chooseFromList(const std::string& title, const string_vector& list);

// twoDigitNumber of the 1-based position of the first entry equal to name
// (count + 1 when it is not in the list).
std::string positionLabel(const std::string& name, const string_vector& list);

// $ALLUSERSPROFILE + "\Application Data\Kestrel Ward\Velloran 2" (the variable
// counts as empty when it is not set).
std::string getApplicationDataDirectory();

// True when the path exists and is a directory.
bool isDirectory(const std::string& path);
// True when the path exists and is not a directory.
bool isFile(const std::string& path);
// Creates one directory level; true on success.
bool createDirectory(const std::string& path);
// Copies a file, replacing an existing target; true on success.
bool copyFileOverwrite(const std::string& source, const std::string& target);

// Longest command line "notepad.exe " + path that openInNotepad accepts.
inline constexpr std::size_t kMaxEditorCommandLine = 255;
// Opens the file in the text editor and waits until the editor is closed.
// Returns at once when the editor cannot be started or when the command line
// "notepad.exe " + path would be longer than kMaxEditorCommandLine characters
// (the path is rejected, never cut). The result tells whether the editor ran.
bool openInNotepad(const std::string& path);

// Decimal text as a default-formatted output stream writes the value (reals
// with six significant digits).
std::string numberToText(long long value);
std::string numberToText(int value);
std::string numberToText(unsigned value);
std::string numberToText(unsigned long value);
std::string numberToText(unsigned long long value);
std::string numberToText(long value);
std::string numberToText(double value);
// numberToText with a leading "0" for 0-9: "00".."09", "10", "11", ...
std::string twoDigitNumber(unsigned long long value);
// The decimal number at the start of the text, leading blanks skipped (0 when
// there is none).
std::uint32_t textToNumber(const std::string& text);

// --- console input helpers -------------------------------------------------

// True once console input has ended (end of file on standard input).
bool consoleInputEnded();
// Throws ConsoleInputEnded when console input has ended.
void throwIfConsoleInputEnded();

// One formatted read from std::cin. On success returns true. On failure: throws
// ConsoleInputEnded when the input has ended; otherwise clears the error state,
// discards one character and returns false (the caller asks again).
bool readFromConsole(unsigned& value);
bool readFromConsole(int& value);
bool readFromConsole(double& value);
bool readFromConsole(char& value);        // blanks skipped
bool readFromConsole(std::string& word);  // one whitespace-delimited word

// Yes/no style question: prints the question through print, reads one
// character (blanks skipped) and repeats both until the character is one of
// accepted (exact, so pass "ynYN" to accept either case). Returns it.
char askForCharacter(PrintFunction print, const std::string& question, std::string_view accepted);

// Waits for one key and takes it (_getch); throws ConsoleInputEnded when the
// input has ended.
int takeKey();
