// Where the copies of this layer in one process find the process's fault
// plan (platform/faults.h): its address in an environment variable, stamped
// with the process id so that a program started from this one (which inherits
// the environment but not the memory) makes its own.
#include <unistd.h>

#include <cinttypes>
#include <cstdio>
#include <cstdlib>

#include "common/faults_consult.h"

namespace platform::faults::detail {

namespace {
constexpr const char* kStateVariable = "ZORV_TEST_FAULTS_STATE";
}

SharedState* findProcessState(std::uint64_t layoutTag) {
  const char* text = std::getenv(kStateVariable);
  if (text == nullptr) return nullptr;
  long long pid = 0;
  std::uint64_t tag = 0;
  std::uintptr_t address = 0;
  if (std::sscanf(text, "%lld:%" SCNx64 ":%" SCNxPTR, &pid, &tag, &address) != 3) return nullptr;
  if (pid != static_cast<long long>(::getpid()) || tag != layoutTag || address == 0) {
    return nullptr;
  }
  return reinterpret_cast<SharedState*>(address);
}

void publishProcessState(SharedState* state, std::uint64_t layoutTag) {
  char text[96];
  std::snprintf(text, sizeof text, "%lld:%" PRIx64 ":%" PRIxPTR,
                static_cast<long long>(::getpid()), layoutTag,
                reinterpret_cast<std::uintptr_t>(state));
  ::setenv(kStateVariable, text, 1);
}

}  // namespace platform::faults::detail
