// Fuzz target: the console readers of console/ConsoleServices.h over the
// two-layer console input of the platform layer (common/console_input.h).
//
// Input: byte 0 the number of operations n (at most 32), then two bytes per
// operation (which reader, and a parameter), then the console input: a byte
// stream such as a pipe delivers, ending where the input ends. std::cin reads
// it through the platform's line buffer (LineStreamBuf) over a ConsoleInput
// whose device hands out the bytes as the pipe device of the POSIX console
// does; the key calls go to the same ConsoleInput.
//
// Checked, besides the absence of crashes, hangs and sanitizer reports:
//  - every reader returns a value in its documented range or throws
//    ConsoleInputEnded, and once that was thrown every later reader throws it
//    too and the key calls report the end;
//  - a failed formatted read consumes input (the caller's retry progresses);
//  - the bytes the key calls take and the lines the formatted reads take are,
//    in the order taken, the input itself (a CR before an LF dropped from a
//    line): nothing is lost, duplicated or reordered between the two layers;
//  - a choice from a list of 0 or 1 entries reads nothing.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzSupport.h"
#include "common/console_input.h"
#include "console/ConsoleServices.h"
#include "platform/console.h"

namespace {

namespace detail = platform::console::detail;

// Standard input as a pipe delivers a script: byte by byte, then its end.
class ScriptDevice : public detail::InputDevice {
 public:
  explicit ScriptDevice(std::string_view bytes) : bytes_(bytes) {}
  int readKeyByte() override {
    return pos_ < bytes_.size() ? static_cast<unsigned char>(bytes_[pos_++]) : -1;
  }
  bool keyByteReady() override { return true; }  // a byte, or the end
  bool readLineRest(std::string& line) override {
    while (pos_ < bytes_.size()) {
      const char c = bytes_[pos_++];
      line.push_back(c);
      if (c == '\n') return true;
    }
    return false;
  }

 private:
  std::string_view bytes_;
  std::size_t pos_ = 0;
};

// What the two layers handed out, in order, compared with the input.
class TakenInput {
 public:
  explicit TakenInput(std::string_view input) : input_(input) {}
  void key(int c) {
    if (pos_ >= input_.size() || static_cast<unsigned char>(input_[pos_]) != c) {
      fuzz::fail(
          "a key call took " + std::to_string(c) + " where the input holds " +
              (pos_ < input_.size() ? std::to_string(static_cast<unsigned char>(input_[pos_]))
                                    : std::string("nothing")),
          context());
    }
    ++pos_;
  }
  void line(std::string_view got) {
    std::size_t end = input_.find('\n', pos_);
    end = end == std::string_view::npos ? input_.size() : end + 1;
    std::string expected(input_.substr(pos_, end - pos_));
    if (expected.size() >= 2 && expected.back() == '\n' && expected[expected.size() - 2] == '\r') {
      expected.erase(expected.size() - 2, 1);
    }
    if (got != expected || got.empty()) {
      fuzz::fail("a formatted read took the line \"" + fuzz::escaped(got) +
                     "\" where the input holds \"" + fuzz::escaped(expected) + "\"",
                 context());
    }
    pos_ = end;
  }
  std::string context() const {
    return "input: \"" + fuzz::escaped(input_) + "\" (" + std::to_string(pos_) + " bytes taken)";
  }

 private:
  std::string_view input_;
  std::size_t pos_ = 0;
};

// The platform's line buffer, reporting each line it takes.
class WatchedLineBuf : public detail::LineStreamBuf {
 public:
  WatchedLineBuf(detail::ConsoleInput& input, TakenInput& taken)
      : LineStreamBuf(input), taken_(taken) {}
  // Characters the stream has consumed (or the buffer discarded) so far.
  std::size_t consumed() const { return refilled_ - static_cast<std::size_t>(egptr() - gptr()); }

 protected:
  int_type underflow() override {
    const bool refill = gptr() == egptr();
    const int_type c = LineStreamBuf::underflow();
    if (refill && c != traits_type::eof()) {
      taken_.line(std::string_view(eback(), static_cast<std::size_t>(egptr() - eback())));
      refilled_ += static_cast<std::size_t>(egptr() - eback());
    }
    return c;
  }

 private:
  TakenInput& taken_;
  std::size_t refilled_ = 0;
};

class NullBuf : public std::streambuf {
 protected:
  int_type overflow(int_type c) override { return traits_type::not_eof(c); }
  std::streamsize xsputn(const char*, std::streamsize n) override { return n; }
};

void quietPrint(std::string) {}

bool isSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::size_t ops = std::min<std::size_t>(data[0] % 33, (size - 1) / 2);
  const std::uint8_t* script = data + 1;
  const std::string_view input(reinterpret_cast<const char*>(data + 1 + 2 * ops),
                               size - 1 - 2 * ops);

  TakenInput taken(input);
  ScriptDevice device(input);
  detail::ConsoleInput console(device);
  WatchedLineBuf lines(console, taken);
  static NullBuf nothing;
  std::streambuf* savedIn = std::cin.rdbuf(&lines);
  std::streambuf* savedOut = std::cout.rdbuf(&nothing);
  std::cin.clear();

  bool ended = false;
  std::string log;
  auto fail = [&](const std::string& what) {
    fuzz::fail(what, taken.context() + "\noperations: " + log);
  };
  for (std::size_t i = 0; i < ops; ++i) {
    const unsigned op = script[2 * i] % 12;
    const unsigned param = script[2 * i + 1];
    log += std::to_string(op) + "/" + std::to_string(param) + " ";
    const std::size_t before = lines.consumed();
    bool readOk = true;  // a formatted read that returned
    try {
      switch (op) {
        case 0: {
          unsigned v = 0;
          readOk = readFromConsole(v);
          break;
        }
        case 1: {
          int v = 0;
          readOk = readFromConsole(v);
          break;
        }
        case 2: {
          double v = 0;
          readOk = readFromConsole(v);
          break;
        }
        case 3: {
          char c = 0;
          readOk = readFromConsole(c);
          if (readOk && isSpace(c)) fail("a character read gave a blank");
          break;
        }
        case 4: {
          std::string word;
          readOk = readFromConsole(word);
          if (readOk && (word.empty() || std::any_of(word.begin(), word.end(), isSpace))) {
            fail("a word read gave \"" + fuzz::escaped(word) + "\"");
          }
          break;
        }
        case 5: {
          string_vector list;
          for (unsigned k = 0; k < param % 6; ++k)
            list.strings.push_back("entry " + std::to_string(k));
          const std::string chosen = chooseFromList("thing", list);
          const auto& entries = list.strings;
          if (entries.size() < 2) {
            if (chosen != (entries.empty() ? std::string() : entries[0])) {
              fail("a choice from " + std::to_string(entries.size()) + " entries gave \"" + chosen +
                   "\"");
            }
            if (lines.consumed() != before) fail("a choice without a question read input");
          } else if (std::find(entries.begin(), entries.end(), chosen) == entries.end()) {
            fail("a choice gave \"" + fuzz::escaped(chosen) + "\", not an entry of the list");
          }
          break;
        }
        case 6: {
          static const char* const accepted[] = {"yn", "ynYN", "0123456789", "q"};
          const std::string_view a = accepted[param % 4];
          const char c = askForCharacter(quietPrint, "Sure? ", a);
          if (a.find(c) == std::string_view::npos) fail("an answer outside the accepted ones");
          break;
        }
        case 7: {
          const int key = console.getKey();
          if (key == platform::console::kEndOfInput) {
            if (!console.deviceEnded()) fail("the end of input reported before it");
          } else if (key < 0 || key > 255 || ended) {  // the end stays
            fail("a key call gave " + std::to_string(key) + (ended ? " after the end" : ""));
          } else {
            taken.key(key);
          }
          break;
        }
        case 8:
          // On a pipe a key is always "waiting": a byte or the end. Waiting
          // for a key fails only at the end.
          if (param % 2 == 0) {
            if (!console.keyWaiting()) fail("a key test on a pipe found nothing");
          } else if (!console.waitForKey()) {
            if (!console.deviceEnded()) fail("waiting for a key failed before the end");
          } else if (ended) {
            fail("a key after the end of input");
          }
          break;
        case 9:
          std::cin.sync();  // what is left of the line goes
          break;
        case 10: {
          std::string line;
          if (!std::getline(std::cin, line)) {
            throwIfConsoleInputEnded();
            fail("a line read failed before the end of input");
          }
          if (line.find('\n') != std::string::npos) fail("a line with its end of line");
          break;
        }
        case 11:
          throwIfConsoleInputEnded();
          break;
      }
      // Key calls and sync() never throw; a choice from fewer than two
      // entries asks nothing.
      const bool reads = op < 7 ? op != 5 || param % 6 >= 2 : op >= 10;
      if (ended && reads) {
        fail("a read returned after the end of input");
      }
      if (!readOk && lines.consumed() == before) fail("a failed read consumed nothing");
    } catch (const ConsoleInputEnded&) {
      ended = true;
      if (!consoleInputEnded()) fail("ConsoleInputEnded while the input has not ended");
    }
  }
  std::cin.rdbuf(savedIn);
  std::cout.rdbuf(savedOut);
  std::cin.clear();
  return 0;
}
