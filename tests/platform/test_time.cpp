// Sleep, tick and beep.

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

#include "platform/time.h"
#include "test_support.h"

namespace {

using Clock = std::chrono::steady_clock;

long long elapsedMs(Clock::time_point since) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count();
}

// The tick moves forward by the time slept (counted modulo 2^32, as the
// program's loops compute differences of timeGetTime values).
TEST(Time, SleepLastsAtLeastItsTimeAndTheTickFollows) {
  for (std::uint32_t ms : {0u, 1u, 30u}) {
    SCOPED_TRACE(ms);
    const std::uint32_t tickBefore = platform::tickMs();
    const Clock::time_point before = Clock::now();
    platform::sleepMs(ms);
    const long long slept = elapsedMs(before);
    const std::uint32_t ticked = platform::tickMs() - tickBefore;
    // One millisecond of slack for the coarser Windows timer.
    EXPECT_GE(slept + 1, static_cast<long long>(ms));
    EXPECT_GE(ticked + 1, ms);
  }
}

TEST(Time, TickNeverGoesBack) {
  std::uint32_t last = platform::tickMs();
  for (int i = 0; i < 1000; ++i) {
    const std::uint32_t now = platform::tickMs();
    EXPECT_LT(now - last, 0x80000000u) << "tick went back";
    last = now;
  }
}

// The beep paces the loops that sound it, whatever the frequency and whether
// or not a tone can be played (no terminal under the test runner).
TEST(Time, BeepPausesForItsDuration) {
  if (testsupport::runningUnderWine()) {
    GTEST_SKIP() << "Wine's Beep returns at once instead of lasting the tone's duration";
  }
  for (std::uint32_t frequency : {0u, 192u, 384u}) {
    SCOPED_TRACE(frequency);
    const Clock::time_point before = Clock::now();
    platform::beep(frequency, 40);
    EXPECT_GE(elapsedMs(before) + 1, 40);
  }
}

}  // namespace
