#include "ArmWaits.h"

#include "console/ConsoleServices.h"
#include "platform/console.h"
#include "platform/event.h"
#include "platform/time.h"

namespace armwaits {

InputWatch::InputWatch() : lastCheck_(platform::tickMs()) {}

void InputWatch::check() {
  const std::uint32_t now = platform::tickMs();
  if (now - lastCheck_ < kInputCheckIntervalMs) return;
  lastCheck_ = now;
  // Finds an end of input without taking a waiting key.
  platform::console::keyWaiting();
  throwIfConsoleInputEnded();
}

bool waitForRecordEvent(ArmConnection& arm, InputWatch& watch) {
  const platform::EventHandle event = armblock::eventHandle(arm.dataBlock);
  for (;;) {
    switch (platform::waitForEvent(event, kEventWaitSliceMs)) {
      case platform::WaitResult::Signalled:
        return true;
      case platform::WaitResult::Failed:
        watch.check();
        return false;
      case platform::WaitResult::TimedOut:
        watch.check();
        break;
    }
  }
}

}  // namespace armwaits
