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
  // A waiting key is left for its reader. With something waiting, waitForKey
  // returns at once and tells a key (true) from the end of input (false),
  // even while the rest of an earlier answer line is still unread.
  if (platform::console::keyWaiting() && !platform::console::waitForKey()) {
    throw ConsoleInputEnded{};
  }
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
