// Waiting for the arm without outliving the console: the loops that wait for
// records or buttons look at the console input now and then and end with
// ConsoleInputEnded once it has gone.
#pragma once

#include <cstdint>

#include "arm/ArmConnection.h"

namespace armwaits {

// How often a waiting loop looks at the console input, and the slice of one
// wait for the record event.
inline constexpr std::uint32_t kInputCheckIntervalMs = 200;
inline constexpr std::uint32_t kEventWaitSliceMs = 100;

// Throws ConsoleInputEnded when the console input is found ended; looks at
// most every kInputCheckIntervalMs, so it may be called on every pass of a
// spinning loop. A key that is waiting is left for its reader.
class InputWatch {
 public:
  InputWatch();
  void check();

 private:
  std::uint32_t lastCheck_;
};

// Waits for the block's event, without time limit but in slices so that the
// end of the console input ends the wait (ConsoleInputEnded). True when the
// event was signalled, false when the wait failed.
bool waitForRecordEvent(ArmConnection& arm, InputWatch& watch);

}  // namespace armwaits
