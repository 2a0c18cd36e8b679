// The Win32 backend never consults a fault plan (platform/faults.h): each
// copy of this layer keeps the plan set through its interface to itself.
#include "common/faults_consult.h"

namespace platform::faults::detail {

SharedState* findProcessState(std::uint64_t) {
  return nullptr;
}

void publishProcessState(SharedState*, std::uint64_t) {}

}  // namespace platform::faults::detail
