#include "LineParsing.h"

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sstream>

namespace armsim {

std::string lowerCase(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  return text.substr(begin, end - begin);
}

std::vector<std::string> splitWords(const std::string& line) {
  std::istringstream words(line);
  std::vector<std::string> tokens;
  for (std::string token; words >> token;) tokens.push_back(token);
  return tokens;
}

bool toReal(const std::string& token, double& value) {
  if (token.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtod(token.c_str(), &end);
  return errno == 0 && end == token.c_str() + token.size() && std::isfinite(value);
}

bool toInteger(const std::string& token, long long low, long long high, long long& value) {
  if (token.empty()) return false;
  char* end = nullptr;
  errno = 0;
  value = std::strtoll(token.c_str(), &end, 10);
  return errno == 0 && end == token.c_str() + token.size() && value >= low && value <= high;
}

bool parseStatements(std::istream& in,
                     const std::function<bool(const std::string&, std::string&)>& statement,
                     std::string& error, std::vector<int>* lineNumbers) {
  int number = 0;
  for (std::string line; std::getline(in, line);) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::string content = trim(line);
    if (content.empty() || content[0] == '#') continue;
    std::string problem;
    if (!statement(content, problem)) {
      error = "line " + std::to_string(number) + ": " + problem;
      return false;
    }
    if (lineNumbers != nullptr) lineNumbers->push_back(number);
  }
  return true;
}

}  // namespace armsim
