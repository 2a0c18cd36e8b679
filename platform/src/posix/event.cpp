// Auto-reset events on eventfd. The handle is the descriptor number.
//
// Signalling adds to the eventfd counter; a successful wait reads the counter
// back to zero, so any number of signals before a wait count as one, as with
// an auto-reset Windows event. Only eventfd descriptors are accepted, so that
// a stale handle whose number now belongs to another file fails instead of
// touching that file. Events made by another module of the same process (the
// arm library stores its event in the data block) are valid here too, as
// handles are process-wide on Windows.

#include "platform/event.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_set>

namespace platform {
namespace {

std::mutex g_mutex;
std::unordered_set<EventHandle>& liveEvents() {
  static auto* events = new std::unordered_set<EventHandle>();
  return *events;
}

// True for a descriptor of this process that is an eventfd.
bool isEventDescriptor(EventHandle event) {
  char link[64];
  const std::string path = "/proc/self/fd/" + std::to_string(event);
  const ssize_t n = readlink(path.c_str(), link, sizeof link - 1);
  if (n <= 0) return false;
  return std::string_view(link, static_cast<std::size_t>(n)) == "anon_inode:[eventfd]";
}

bool isLive(EventHandle event) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (liveEvents().count(event) != 0) return true;
  }
  return isEventDescriptor(event);
}

}  // namespace

EventHandle createEvent() {
  int fd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (fd < 0) return kNoEvent;
  if (fd == 0) {
    // Descriptor 0 would read as "no event": move it.
    const int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
    close(fd);
    if (moved < 0) return kNoEvent;
    fd = moved;
  }
  const auto handle = static_cast<EventHandle>(fd);
  std::lock_guard<std::mutex> lock(g_mutex);
  liveEvents().insert(handle);
  return handle;
}

bool signalEvent(EventHandle event) {
  if (event == kNoEvent || !isLive(event)) return false;
  const std::uint64_t one = 1;
  for (;;) {
    const ssize_t n = write(static_cast<int>(event), &one, sizeof one);
    if (n == static_cast<ssize_t>(sizeof one)) return true;
    if (n < 0 && errno == EINTR) continue;
    // EAGAIN: the counter is at its limit, so the event is signalled already.
    return n < 0 && errno == EAGAIN;
  }
}

WaitResult waitForEvent(EventHandle event, std::uint32_t timeoutMs) {
  if (event == kNoEvent || !isLive(event)) return WaitResult::Failed;
  const int fd = static_cast<int>(event);
  using Clock = std::chrono::steady_clock;
  const bool infinite = timeoutMs == kWaitInfinite;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    // Take the signal if it is there: the read resets the counter to zero.
    std::uint64_t count = 0;
    const ssize_t n = read(fd, &count, sizeof count);
    if (n == static_cast<ssize_t>(sizeof count)) return WaitResult::Signalled;
    if (n < 0 && errno != EAGAIN && errno != EINTR) return WaitResult::Failed;

    int pollTimeout = -1;
    if (!infinite) {
      const auto left =
          std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return WaitResult::TimedOut;
      pollTimeout = left > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(left);
    }
    pollfd p{fd, POLLIN, 0};
    const int ready = poll(&p, 1, pollTimeout);
    if (ready < 0 && errno != EINTR) return WaitResult::Failed;
    if (ready > 0 && (p.revents & (POLLERR | POLLNVAL)) != 0) return WaitResult::Failed;
    // Readable, interrupted or timed out: the loop reads or rechecks the time.
  }
}

void closeEvent(EventHandle event) {
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    if (liveEvents().erase(event) == 0) return;
  }
  close(static_cast<int>(event));
}

}  // namespace platform
