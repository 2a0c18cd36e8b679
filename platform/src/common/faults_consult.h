// The backend's side of fault injection (platform/faults.h): where a file
// operation asks whether it is to fail.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>

#include "platform/faults.h"

namespace platform::faults::detail {

struct SharedState;

// This copy's view of the process's plan: null until the first consultation
// found ZORV_TEST_FAULTS set, or a plan was set through the interface.
extern std::atomic<SharedState*> gState;
// Whether the environment has been looked at.
extern std::atomic<bool> gLooked;

SharedState* attach();
int consult(SharedState& state, Operation operation, std::string_view path);
bool armed(const SharedState& state);

// The errno value the operation on the path is to fail with, 0 to go on. Each
// call is one call of the operation.
inline int injectedError(Operation operation, std::string_view path) {
  SharedState* state = gState.load(std::memory_order_acquire);
  if (state == nullptr) {
    if (gLooked.load(std::memory_order_relaxed)) return 0;
    state = attach();
    if (state == nullptr) return 0;
  }
  return consult(*state, operation, path);
}

// Whether a plan is set that a caller must give its operations to (for the
// streams of openFile, which then go through a counting wrapper).
inline bool planInForce() {
  SharedState* state = gState.load(std::memory_order_acquire);
  if (state == nullptr) {
    if (gLooked.load(std::memory_order_relaxed)) return false;
    state = attach();
    if (state == nullptr) return false;
  }
  return armed(*state);
}

// Backend: the state another copy of this layer in the process has published,
// or null; publish makes this copy's state the process's.
SharedState* findProcessState(std::uint64_t layoutTag);
void publishProcessState(SharedState* state, std::uint64_t layoutTag);

}  // namespace platform::faults::detail
