// Sleep, timeGetTime and Beep on POSIX.

#include "platform/time.h"

#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

namespace platform {

void sleepMs(std::uint32_t milliseconds) {
  timespec remaining{static_cast<time_t>(milliseconds / 1000),
                     static_cast<long>(milliseconds % 1000) * 1000000L};
  // An interrupting signal must not shorten the sleep.
  while (nanosleep(&remaining, &remaining) != 0 && errno == EINTR) {
  }
}

std::uint32_t tickMs() {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto ms = static_cast<std::uint64_t>(now.tv_sec) * 1000u +
                  static_cast<std::uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<std::uint32_t>(ms);  // wraps at 2^32 like timeGetTime
}

void beep(std::uint32_t frequencyHz, std::uint32_t durationMs) {
  (void)frequencyHz;  // the terminal bell has one pitch
  if (isatty(STDOUT_FILENO) == 1) std::cout << '\a' << std::flush;
  // Callers pace their loops by the tone's length.
  sleepMs(durationMs);
}

}  // namespace platform
