// The two-layer console input shared by the POSIX backend and the Win32
// backend when standard input is a pipe or a file.
//
// Layer 1 is the line buffer of formatted reads: the stream buffer installed
// under std::cin, refilled one whole line at a time. Layer 2 is the device:
// a queue of keys read ahead by the key calls, then the terminal or pipe.
// Formatted reads drain layer 2 only up to and including the next end of
// line; the key calls never look at layer 1.
#pragma once

#include <cstddef>
#include <deque>
#include <mutex>
#include <streambuf>
#include <string>

namespace platform::console::detail {

// The terminal, pipe or file behind standard input.
class InputDevice {
 public:
  virtual ~InputDevice() = default;

  // One byte for a key call (terminal: non-canonical, no echo), waiting for
  // it. 0..255, or -1 when the input has ended.
  virtual int readKeyByte() = 0;

  // True when readKeyByte() would return at once (a byte or the end).
  virtual bool keyByteReady() = 0;

  // Reads the rest of a line for a formatted read (terminal: canonical with
  // echo) and appends it to `line`, up to and including the end of line and
  // never beyond it. False when the input ended before the end of line.
  virtual bool readLineRest(std::string& line) = 0;

  // A formatted read has taken keys from the read-ahead queue: a terminal
  // shows them now, as the console does when its line read takes them.
  virtual void echoKeys(const std::string& keys) { (void)keys; }
};

// The device layer (read-ahead queue + device) and the end-of-input state.
class ConsoleInput {
 public:
  explicit ConsoleInput(InputDevice& device) : device_(device) {}

  bool keyWaiting();
  bool waitForKey();
  int getKey();
  // Appends the next line (with its end of line when there is one). False
  // when nothing at all could be read because the input has ended.
  bool readLine(std::string& line);
  bool deviceEnded();

 private:
  InputDevice& device_;
  std::mutex mutex_;
  std::deque<unsigned char> queue_;
  bool ended_ = false;
};

// The stream buffer installed under std::cin: holds at most one line.
class LineStreamBuf : public std::streambuf {
 public:
  explicit LineStreamBuf(ConsoleInput& input) : input_(input) {}

  // std::cin.sync(): drops what is left of the current line.
  void discard();
  // True when the line buffer holds nothing more.
  bool empty() const { return gptr() == egptr(); }

 protected:
  int_type underflow() override;
  int sync() override;
  std::streamsize showmanyc() override;

 private:
  ConsoleInput& input_;
  std::string line_;
};

}  // namespace platform::console::detail
