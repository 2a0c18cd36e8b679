// Fault plans: parsing, the state every copy of this layer in a process
// shares, and the consultation the backend makes at each file operation.
#include "platform/faults.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "common/faults_consult.h"
#include "platform/files.h"

namespace platform::faults {
namespace detail {

namespace {

constexpr std::size_t kMaxFaults = 32;
constexpr std::size_t kMaxPattern = 64;
constexpr std::size_t kMaxLogPath = 1024;

struct Fault {
  Operation operation = Operation::Open;
  std::uint64_t call = 0;
  int error = 0;  // errno value; 0 for vanish
  char errorName[16] = {};
  char pattern[kMaxPattern] = {};  // empty: every name
  bool fired = false;
};

struct ErrorName {
  const char* name;
  int error;
};
constexpr ErrorName kErrors[] = {
    {"disk-full", ENOSPC},
    {"access-denied", EACCES},
    {"io-error", EIO},
    {"not-found", ENOENT},
};

constexpr const char* kOperationNames[kOperationCount] = {"open", "write", "flush", "rename",
                                                          "vanish"};

}  // namespace

// One per process, reached by every copy of this layer: plain fixed-size
// members only, so that copies built from the same source agree on its layout.
struct SharedState {
  std::mutex mutex;  // plan changes, matching, the log
  std::atomic<bool> armed{false};
  std::atomic<std::uint64_t> calls[kOperationCount] = {};
  std::atomic<std::uint64_t> fired{0};
  std::size_t faultCount = 0;
  Fault faults[kMaxFaults];
  std::uint64_t matched[kMaxFaults] = {};
  char logPath[kMaxLogPath] = {};
};

std::atomic<SharedState*> gState{nullptr};
std::atomic<bool> gLooked{false};

namespace {

constexpr std::uint64_t kLayoutTag = 0x5a46000000000000ull ^ (sizeof(SharedState) << 16) ^
                                     (kMaxFaults << 8) ^ kOperationCount;

std::string trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::vector<std::string> split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(separator, from);
    parts.push_back(text.substr(from, at == std::string::npos ? std::string::npos : at - from));
    if (at == std::string::npos) return parts;
    from = at + 1;
  }
}

bool copyText(char* target, std::size_t size, const std::string& text) {
  if (text.size() >= size) return false;
  std::memcpy(target, text.c_str(), text.size() + 1);
  return true;
}

// A parsed plan, installed into the shared state only as a whole.
struct Plan {
  std::vector<Fault> faults;
  std::string logPath;
};

bool parse(const std::string& text, Plan& plan, std::string& error) {
  for (const std::string& raw : split(text, ';')) {
    const std::string item = trim(raw);
    if (item.empty()) continue;
    if (item.compare(0, 4, "log=") == 0) {
      plan.logPath = item.substr(4);
      if (plan.logPath.empty() || plan.logPath.size() >= kMaxLogPath) {
        error = "\"" + item + "\": no usable log file";
        return false;
      }
      continue;
    }
    const std::vector<std::string> fields = split(item, ':');
    Fault fault;
    int found = -1;
    for (int i = 0; i < kOperationCount; ++i) {
      if (fields[0] == kOperationNames[i]) found = i;
    }
    if (found < 0) {
      error = "\"" + item + "\": no operation " + fields[0];
      return false;
    }
    fault.operation = static_cast<Operation>(found);
    const bool vanish = fault.operation == Operation::Vanish;
    const std::size_t patternField = vanish ? 2 : 3;
    if (fields.size() < patternField || fields.size() > patternField + 1) {
      error = "\"" + item + "\": expected " +
              (vanish ? "vanish:<n>[:<pattern>]" : "<operation>:<n>:<error>[:<pattern>]");
      return false;
    }
    char* end = nullptr;
    const unsigned long long call = std::strtoull(fields[1].c_str(), &end, 10);
    if (fields[1].empty() || *end != '\0' || call == 0 || fields[1][0] == '-') {
      error = "\"" + item + "\": the call number must be 1 or more";
      return false;
    }
    fault.call = call;
    if (!vanish) {
      for (const ErrorName& e : kErrors) {
        if (fields[2] == e.name) {
          fault.error = e.error;
          copyText(fault.errorName, sizeof fault.errorName, e.name);
        }
      }
      if (fault.error == 0) {
        error = "\"" + item + "\": no error " + fields[2];
        return false;
      }
    } else {
      copyText(fault.errorName, sizeof fault.errorName, "vanished");
    }
    if (fields.size() > patternField &&
        !copyText(fault.pattern, sizeof fault.pattern, fields[patternField])) {
      error = "\"" + item + "\": pattern too long";
      return false;
    }
    if (plan.faults.size() == kMaxFaults) {
      error = "more than " + std::to_string(kMaxFaults) + " faults";
      return false;
    }
    plan.faults.push_back(fault);
  }
  return true;
}

void install(SharedState& state, const Plan& plan) {
  std::lock_guard<std::mutex> lock(state.mutex);
  state.armed.store(false, std::memory_order_release);
  for (auto& count : state.calls) count.store(0, std::memory_order_relaxed);
  state.fired.store(0, std::memory_order_relaxed);
  state.faultCount = plan.faults.size();
  for (std::size_t i = 0; i < plan.faults.size(); ++i) {
    state.faults[i] = plan.faults[i];
    state.matched[i] = 0;
  }
  copyText(state.logPath, sizeof state.logPath, plan.logPath);
  state.armed.store(true, std::memory_order_release);
}

// The last component of a path, '\' or '/' separated.
std::string lastComponent(std::string_view path) {
  const std::size_t cut = path.find_last_of("\\/");
  return std::string(cut == std::string_view::npos ? path : path.substr(cut + 1));
}

// Appends one line for a fault that fired. Plain stdio, never this layer's
// own calls, so that logging is no operation of the plan.
void logFault(const SharedState& state, const Fault& fault, std::uint64_t call,
              std::string_view path) {
  if (state.logPath[0] == '\0') return;
  std::FILE* log = std::fopen(state.logPath, "a");
  if (log == nullptr) return;
  std::fprintf(log, "%s %llu %s %.*s\n", kOperationNames[static_cast<int>(fault.operation)],
               static_cast<unsigned long long>(call), fault.errorName,
               static_cast<int>(path.size()), path.data());
  std::fclose(log);
}

std::mutex& attachMutex() {
  static std::mutex mutex;
  return mutex;
}

// The process's state, made and published by this copy when no other copy
// has published one.
SharedState* joinOrCreate() {
  SharedState* state = findProcessState(kLayoutTag);
  if (state == nullptr) {
    state = new SharedState;  // lives as long as the process
    publishProcessState(state, kLayoutTag);
  }
  return state;
}

}  // namespace

SharedState* attach() {
  std::lock_guard<std::mutex> lock(attachMutex());
  SharedState* state = gState.load(std::memory_order_acquire);
  if (state != nullptr || gLooked.load(std::memory_order_relaxed)) return state;
  const char* text = std::getenv("ZORV_TEST_FAULTS");
  if (text != nullptr) {
    state = findProcessState(kLayoutTag);
    if (state == nullptr) {
      state = joinOrCreate();
      Plan plan;
      std::string error;
      if (!parse(text, plan, error)) {
        std::fprintf(stderr, "ZORV_TEST_FAULTS: %s; no faults injected\n", error.c_str());
        plan = Plan{};
      }
      install(*state, plan);
    }
    gState.store(state, std::memory_order_release);
  }
  gLooked.store(true, std::memory_order_relaxed);
  return state;
}

bool armed(const SharedState& state) {
  return state.armed.load(std::memory_order_acquire);
}

int consult(SharedState& state, Operation operation, std::string_view path) {
  if (!state.armed.load(std::memory_order_acquire)) return 0;
  const auto index = static_cast<int>(operation);
  state.calls[index].fetch_add(1, std::memory_order_relaxed);
  std::lock_guard<std::mutex> lock(state.mutex);
  if (state.faultCount == 0) return 0;
  const std::string name = lastComponent(path);
  int error = 0;
  for (std::size_t i = 0; i < state.faultCount; ++i) {
    const Fault& fault = state.faults[i];
    if (fault.operation != operation) continue;
    if (fault.pattern[0] != '\0' && !wildcardMatch(fault.pattern, name)) continue;
    if (++state.matched[i] != fault.call || error != 0) continue;
    error = operation == Operation::Vanish ? ENOENT : fault.error;
    state.faults[i].fired = true;
    state.fired.fetch_add(1, std::memory_order_relaxed);
    logFault(state, fault, state.matched[i], path);
  }
  return error;
}

}  // namespace detail

namespace {

detail::SharedState* stateForInterface() {
  detail::SharedState* state = detail::gState.load(std::memory_order_acquire);
  if (state != nullptr) return state;
  std::lock_guard<std::mutex> lock(detail::attachMutex());
  state = detail::gState.load(std::memory_order_acquire);
  if (state == nullptr) {
    state = detail::joinOrCreate();
    detail::gState.store(state, std::memory_order_release);
  }
  return state;
}

}  // namespace

const char* operationName(Operation operation) {
  return detail::kOperationNames[static_cast<int>(operation)];
}

bool setPlan(const std::string& text, std::string* error) {
  detail::Plan plan;
  std::string reason;
  if (!detail::parse(text, plan, reason)) {
    if (error != nullptr) *error = reason;
    return false;
  }
  detail::install(*stateForInterface(), plan);
  return true;
}

void clearPlan() {
  detail::SharedState* state = detail::gState.load(std::memory_order_acquire);
  if (state != nullptr) state->armed.store(false, std::memory_order_release);
}

std::uint64_t callCount(Operation operation) {
  const detail::SharedState* state = detail::gState.load(std::memory_order_acquire);
  return state == nullptr ? 0 : state->calls[static_cast<int>(operation)].load();
}

std::uint64_t firedCount() {
  const detail::SharedState* state = detail::gState.load(std::memory_order_acquire);
  return state == nullptr ? 0 : state->fired.load();
}

bool faultFired(std::size_t index) {
  detail::SharedState* state = detail::gState.load(std::memory_order_acquire);
  if (state == nullptr) return false;
  std::lock_guard<std::mutex> lock(state->mutex);
  return index < state->faultCount && state->faults[index].fired;
}

bool planActive() {
  const detail::SharedState* state = detail::gState.load(std::memory_order_acquire);
  return state != nullptr && detail::armed(*state);
}

}  // namespace platform::faults
