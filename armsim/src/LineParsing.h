// The line syntax that scenario files and scenario descriptions share: one
// statement per line, words separated by blanks, a keyword first (any case),
// "#" comments and blank lines skipped, numbers in full (no trailing text).
#pragma once

#include <functional>
#include <istream>
#include <string>
#include <vector>

namespace armsim {

std::string lowerCase(std::string text);
std::string trim(const std::string& text);
// The blank-separated words of a line.
std::vector<std::string> splitWords(const std::string& line);

// A finite real number, the whole token.
bool toReal(const std::string& token, double& value);
// A whole number within [low, high], the whole token (a sign allowed).
bool toInteger(const std::string& token, long long low, long long high, long long& value);

// Calls statement(content, problem) for every line that is neither blank nor
// a comment, with the line trimmed (and a CR before its end removed). Stops
// at the first statement that returns false: error is then "line " + number +
// ": " + problem. lineNumbers, when given, receives the number of each
// statement taken.
bool parseStatements(std::istream& in,
                     const std::function<bool(const std::string&, std::string&)>& statement,
                     std::string& error, std::vector<int>* lineNumbers = nullptr);

}  // namespace armsim
