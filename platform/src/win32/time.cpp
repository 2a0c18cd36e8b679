// Sleep, timeGetTime and Beep.

#include "platform/time.h"

#include <windows.h>
// After windows.h, which it needs.
#include <mmsystem.h>

namespace platform {

void sleepMs(std::uint32_t milliseconds) {
  Sleep(milliseconds);
}

std::uint32_t tickMs() {
  return timeGetTime();
}

void beep(std::uint32_t frequencyHz, std::uint32_t durationMs) {
  // Beep fails for frequencies outside 37..32767 Hz and on machines without a
  // sound device; the caller still expects the pause.
  if (!Beep(frequencyHz, durationMs)) Sleep(durationMs);
}

}  // namespace platform
