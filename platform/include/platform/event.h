// Events that one thread signals and another waits for: CreateEvent,
// SetEvent, WaitForSingleObject, CloseHandle. The handle fits in 32 bits so
// that it can travel in the 4-byte slot of the arm data block: Windows event
// handles are 32-bit significant; on Linux the handle is an eventfd descriptor.
#pragma once

#include <cstdint>

namespace platform {

using EventHandle = std::uint32_t;
inline constexpr EventHandle kNoEvent = 0;
inline constexpr std::uint32_t kWaitInfinite = 0xFFFFFFFFu;

enum class WaitResult { Signalled, TimedOut, Failed };

// CreateEvent(NULL, manualReset = false, initialState = false, NULL): an
// auto-reset event; a successful wait consumes the signal. kNoEvent on failure.
EventHandle createEvent();

// SetEvent: signals the event (signalling an already signalled event keeps one
// signal). False for an invalid handle.
bool signalEvent(EventHandle event);

// WaitForSingleObject: waits until the event is signalled (and resets it) or
// the timeout in milliseconds passes. Failed for an invalid handle.
WaitResult waitForEvent(EventHandle event, std::uint32_t timeoutMs);

// CloseHandle.
void closeEvent(EventHandle event);

}  // namespace platform
