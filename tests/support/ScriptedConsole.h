// Scripted console for in-process tests: std::cin reads a fixed text and
// std::cout is captured, both restored when the object goes.
#pragma once

#include <iostream>
#include <sstream>
#include <string>

class ScriptedConsole {
 public:
  explicit ScriptedConsole(const std::string& input)
      : input_(input),
        savedIn_(std::cin.rdbuf(input_.rdbuf())),
        savedOut_(std::cout.rdbuf(output_.rdbuf())) {
    std::cin.clear();
  }
  ~ScriptedConsole() {
    std::cin.rdbuf(savedIn_);
    std::cout.rdbuf(savedOut_);
    std::cin.clear();
  }
  ScriptedConsole(const ScriptedConsole&) = delete;
  ScriptedConsole& operator=(const ScriptedConsole&) = delete;

  std::string output() const { return output_.str(); }
  // What the code under test left unread.
  std::string unread() {
    std::cin.clear();
    std::string rest;
    std::getline(std::cin, rest, '\0');
    return rest;
  }

 private:
  std::istringstream input_;
  std::ostringstream output_;
  std::streambuf* savedIn_;
  std::streambuf* savedOut_;
};
