#include "common/console_input.h"

#include "platform/console.h"

namespace platform::console::detail {

bool ConsoleInput::keyWaiting() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!queue_.empty() || ended_) return true;
  if (!device_.keyByteReady()) return false;
  // Move the waiting byte into the queue: that is the only way to tell data
  // from the end of input, and the next formatted read still sees it there.
  const int c = device_.readKeyByte();
  if (c < 0) {
    ended_ = true;
  } else {
    queue_.push_back(static_cast<unsigned char>(c));
  }
  return true;
}

bool ConsoleInput::waitForKey() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!queue_.empty()) return true;
  if (ended_) return false;
  // A blocking read of one byte into the queue waits without polling.
  const int c = device_.readKeyByte();
  if (c < 0) {
    ended_ = true;
    return false;
  }
  queue_.push_back(static_cast<unsigned char>(c));
  return true;
}

int ConsoleInput::getKey() {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!queue_.empty()) {
    const int c = queue_.front();
    queue_.pop_front();
    return c;
  }
  if (ended_) return kEndOfInput;
  const int c = device_.readKeyByte();
  if (c < 0) {
    ended_ = true;
    return kEndOfInput;
  }
  return c;
}

bool ConsoleInput::readLine(std::string& line) {
  std::lock_guard<std::mutex> lock(mutex_);
  const std::size_t start = line.size();
  // Keys read ahead come first, as far as the first end of line among them.
  std::string taken;
  bool complete = false;
  while (!queue_.empty() && !complete) {
    const char c = static_cast<char>(queue_.front());
    queue_.pop_front();
    taken.push_back(c);
    complete = c == '\n';
  }
  if (!taken.empty()) device_.echoKeys(taken);
  line += taken;
  if (!complete && !ended_) {
    if (!device_.readLineRest(line)) ended_ = true;
  }
  // Text-mode input: a carriage return before the end of line is dropped.
  if (line.size() >= start + 2 && line.back() == '\n' && line[line.size() - 2] == '\r') {
    line.erase(line.size() - 2, 1);
  }
  return line.size() > start;
}

bool ConsoleInput::deviceEnded() {
  std::lock_guard<std::mutex> lock(mutex_);
  return ended_ && queue_.empty();
}

void LineStreamBuf::discard() {
  line_.clear();
  setg(nullptr, nullptr, nullptr);
}

LineStreamBuf::int_type LineStreamBuf::underflow() {
  if (gptr() != egptr()) return traits_type::to_int_type(*gptr());
  line_.clear();
  if (!input_.readLine(line_)) {
    setg(nullptr, nullptr, nullptr);
    return traits_type::eof();
  }
  char* begin = line_.data();
  setg(begin, begin, begin + line_.size());
  return traits_type::to_int_type(*gptr());
}

int LineStreamBuf::sync() {
  discard();
  return 0;
}

std::streamsize LineStreamBuf::showmanyc() {
  // Only what the line buffer holds can be promised without blocking.
  return egptr() - gptr();
}

}  // namespace platform::console::detail
