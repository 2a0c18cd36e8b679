// CreateEvent, SetEvent, WaitForSingleObject, CloseHandle. Kernel handles
// have 32 significant bits: truncating is safe, and widening sign-extends.

#include "platform/event.h"

#include <windows.h>

#include <cstdint>

namespace platform {
namespace {

HANDLE toHandle(EventHandle event) {
  return reinterpret_cast<HANDLE>(static_cast<std::intptr_t>(static_cast<std::int32_t>(event)));
}

}  // namespace

EventHandle createEvent() {
  const HANDLE handle = CreateEventA(nullptr, FALSE, FALSE, nullptr);
  if (handle == nullptr) return kNoEvent;
  return static_cast<EventHandle>(reinterpret_cast<std::uintptr_t>(handle));
}

bool signalEvent(EventHandle event) {
  if (event == kNoEvent) return false;
  return SetEvent(toHandle(event)) != 0;
}

WaitResult waitForEvent(EventHandle event, std::uint32_t timeoutMs) {
  if (event == kNoEvent) return WaitResult::Failed;
  switch (WaitForSingleObject(toHandle(event), timeoutMs)) {
    case WAIT_OBJECT_0:
      return WaitResult::Signalled;
    case WAIT_TIMEOUT:
      return WaitResult::TimedOut;
    default:
      return WaitResult::Failed;
  }
}

void closeEvent(EventHandle event) {
  if (event != kNoEvent) CloseHandle(toHandle(event));
}

}  // namespace platform
