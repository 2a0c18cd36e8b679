// Auto-reset events: CreateEvent/SetEvent/WaitForSingleObject on Windows,
// eventfd on Linux.

#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <thread>
#include <vector>

#include "platform/event.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/eventfd.h>
#include <unistd.h>
#endif

using platform::EventHandle;
using platform::WaitResult;

namespace {

// Closes the event at the end of a test.
struct Event {
  EventHandle handle = platform::createEvent();
  ~Event() { platform::closeEvent(handle); }
};

TEST(Events, CreatedUnsignalledAndDistinct) {
  Event a;
  Event b;
  ASSERT_NE(a.handle, platform::kNoEvent);
  ASSERT_NE(b.handle, platform::kNoEvent);
  EXPECT_NE(a.handle, b.handle);
  EXPECT_EQ(platform::waitForEvent(a.handle, 0), WaitResult::TimedOut);
  EXPECT_EQ(platform::waitForEvent(a.handle, 20), WaitResult::TimedOut);
}

TEST(Events, WaitConsumesTheSignal) {
  Event e;
  ASSERT_TRUE(platform::signalEvent(e.handle));
  EXPECT_EQ(platform::waitForEvent(e.handle, 0), WaitResult::Signalled);
  EXPECT_EQ(platform::waitForEvent(e.handle, 0), WaitResult::TimedOut);
}

TEST(Events, SignalsBeforeAWaitCountAsOne) {
  Event e;
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(platform::signalEvent(e.handle));
  EXPECT_EQ(platform::waitForEvent(e.handle, platform::kWaitInfinite), WaitResult::Signalled);
  EXPECT_EQ(platform::waitForEvent(e.handle, 0), WaitResult::TimedOut);
}

TEST(Events, SignalsOfOneEventDoNotReachAnother) {
  Event a;
  Event b;
  ASSERT_TRUE(platform::signalEvent(a.handle));
  EXPECT_EQ(platform::waitForEvent(b.handle, 0), WaitResult::TimedOut);
  EXPECT_EQ(platform::waitForEvent(a.handle, 0), WaitResult::Signalled);
}

TEST(Events, NoEventFails) {
  EXPECT_FALSE(platform::signalEvent(platform::kNoEvent));
  EXPECT_EQ(platform::waitForEvent(platform::kNoEvent, 0), WaitResult::Failed);
  platform::closeEvent(platform::kNoEvent);  // harmless
}

#ifndef _WIN32
// Windows may hand a closed handle's value to the next object, so this holds
// only where closed handles are tracked.
TEST(Events, ClosedEventFails) {
  const EventHandle h = platform::createEvent();
  ASSERT_NE(h, platform::kNoEvent);
  platform::closeEvent(h);
  EXPECT_FALSE(platform::signalEvent(h));
  EXPECT_EQ(platform::waitForEvent(h, 0), WaitResult::Failed);
  platform::closeEvent(h);  // a second close is harmless
}

// An event made by another module of the process (the arm library creates the
// event it stores in the data block) is waited on like our own, while a
// descriptor that is not an event is refused.
TEST(Events, EventsOfOtherModulesAreAcceptedOtherDescriptorsAreNot) {
  const int foreign = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  ASSERT_GE(foreign, 0);
  const auto handle = static_cast<EventHandle>(foreign);
  EXPECT_EQ(platform::waitForEvent(handle, 0), WaitResult::TimedOut);
  ASSERT_TRUE(platform::signalEvent(handle));
  EXPECT_EQ(platform::waitForEvent(handle, 0), WaitResult::Signalled);
  close(foreign);

  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  EXPECT_FALSE(platform::signalEvent(static_cast<EventHandle>(fds[1])));
  EXPECT_EQ(platform::waitForEvent(static_cast<EventHandle>(fds[0]), 0), WaitResult::Failed);
  close(fds[0]);
  close(fds[1]);
}
#endif

// The handle travels in a 4-byte slot of a memory block, as in the arm data
// block, and still works when read back.
TEST(Events, HandleSurvivesAFourByteSlot) {
  Event e;
  unsigned char block[96] = {};
  std::memcpy(block + 80, &e.handle, 4);
  std::uint32_t copied = 0;
  std::memcpy(&copied, block + 80, 4);
  ASSERT_TRUE(platform::signalEvent(copied));
  EXPECT_EQ(platform::waitForEvent(e.handle, 0), WaitResult::Signalled);
}

#ifdef _WIN32
// A HANDLE is 8 bytes in a 64-bit program and 4 in a 32-bit one; kernel
// handles have 32 significant bits on both, and that is what the arm data
// block's slot at offset 80 holds. An event that another module created with
// the raw API (as the arm library does), stored in those 4 bytes while so many
// handles are open that its value needs more than 16 bits, is still the same
// event in both directions, and the word after the slot stays untouched.
TEST(Events, ForeignHandleBeyondSixteenBitsSurvivesAFourByteSlot) {
  std::vector<HANDLE> handles;
  HANDLE event = nullptr;
  while (handles.size() < 200000) {
    const HANDLE h = CreateEventA(nullptr, FALSE, FALSE, nullptr);
    ASSERT_NE(h, nullptr);
    handles.push_back(h);
    if (reinterpret_cast<std::uintptr_t>(h) > 0xFFFFu) {
      event = h;
      break;
    }
  }
  ASSERT_NE(event, nullptr) << "no handle value beyond 16 bits";
  unsigned char block[96] = {};
  const std::uint32_t marker = 0xC1C2C3C4u;
  std::memcpy(block + 84, &marker, 4);
  const auto stored = static_cast<std::uint32_t>(reinterpret_cast<std::uintptr_t>(event));
  std::memcpy(block + 80, &stored, 4);

  EventHandle slot = 0;
  std::memcpy(&slot, block + 80, 4);
  ASSERT_TRUE(SetEvent(event));
  EXPECT_EQ(platform::waitForEvent(slot, 0), WaitResult::Signalled);
  EXPECT_EQ(platform::waitForEvent(slot, 0), WaitResult::TimedOut);
  ASSERT_TRUE(platform::signalEvent(slot));
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_OBJECT_0);
  std::uint32_t after = 0;
  std::memcpy(&after, block + 84, 4);
  EXPECT_EQ(after, marker);
  for (const HANDLE h : handles) CloseHandle(h);
}
#endif

// One signal wakes exactly one of two waiters.
TEST(Events, OneSignalReleasesOneWaiter) {
  Event e;
  ASSERT_TRUE(platform::signalEvent(e.handle));
  std::atomic<int> signalled{0};
  std::atomic<int> timedOut{0};
  std::vector<std::thread> waiters;
  waiters.reserve(2);
  for (int i = 0; i < 2; ++i) {
    waiters.emplace_back([&] {
      const WaitResult r = platform::waitForEvent(e.handle, 300);
      if (r == WaitResult::Signalled) ++signalled;
      if (r == WaitResult::TimedOut) ++timedOut;
    });
  }
  for (std::thread& t : waiters) t.join();
  EXPECT_EQ(signalled.load(), 1);
  EXPECT_EQ(timedOut.load(), 1);
}

// A producer thread hands records to a consumer that waits without limit,
// as the arm library does with the console thread. The record itself is plain
// memory: the event is what orders the two threads.
TEST(Events, ThreadHandsRecordsThroughEvents) {
  Event ready;
  Event taken;
  constexpr int kRounds = 500;
  long record = 0;
  std::thread producer([&] {
    for (int i = 1; i <= kRounds; ++i) {
      record = i;
      platform::signalEvent(ready.handle);
      if (platform::waitForEvent(taken.handle, platform::kWaitInfinite) != WaitResult::Signalled) {
        return;
      }
    }
  });
  long sum = 0;
  int received = 0;
  for (int i = 1; i <= kRounds; ++i) {
    if (platform::waitForEvent(ready.handle, platform::kWaitInfinite) != WaitResult::Signalled) {
      break;
    }
    sum += record;
    ++received;
    platform::signalEvent(taken.handle);
  }
  producer.join();
  EXPECT_EQ(received, kRounds);
  EXPECT_EQ(sum, static_cast<long>(kRounds) * (kRounds + 1) / 2);
}

// A waiter blocked without limit is woken by a signal from another thread.
TEST(Events, InfiniteWaitWokenByOtherThread) {
  Event e;
  std::atomic<bool> waiting{false};
  WaitResult result = WaitResult::Failed;
  std::thread waiter([&] {
    waiting = true;
    result = platform::waitForEvent(e.handle, platform::kWaitInfinite);
  });
  while (!waiting) std::this_thread::yield();
  ASSERT_TRUE(platform::signalEvent(e.handle));
  waiter.join();
  EXPECT_EQ(result, WaitResult::Signalled);
}

}  // namespace
