// The program-wide operator new and delete of the geometry tests: plain
// malloc and free, with the bookkeeping of AllocationProbe.
#include "allocation_probe.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

std::atomic<std::size_t> gLimit{0};  // 0: no probe
std::atomic<std::size_t> gLargest{0};
std::atomic<std::size_t> gRefused{0};

void* allocate(std::size_t size) {
  const std::size_t limit = gLimit.load(std::memory_order_relaxed);
  if (limit != 0) {
    std::size_t largest = gLargest.load(std::memory_order_relaxed);
    while (size > largest && !gLargest.compare_exchange_weak(largest, size)) {
    }
    if (size > limit) {
      gRefused.fetch_add(1, std::memory_order_relaxed);
      throw std::bad_alloc();
    }
  }
  if (void* p = std::malloc(size == 0 ? 1 : size)) return p;
  throw std::bad_alloc();
}

}  // namespace

void* operator new(std::size_t size) {
  return allocate(size);
}
void* operator new[](std::size_t size) {
  return allocate(size);
}
void operator delete(void* p) noexcept {
  std::free(p);
}
void operator delete[](void* p) noexcept {
  std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
  std::free(p);
}
void operator delete[](void* p, std::size_t) noexcept {
  std::free(p);
}

namespace geometrytest {

AllocationProbe::AllocationProbe(std::size_t limit) {
  gLargest = 0;
  gRefused = 0;
  gLimit = limit == 0 ? 1 : limit;
}

AllocationProbe::~AllocationProbe() {
  gLimit = 0;
}

std::size_t AllocationProbe::largestRequest() const {
  return gLargest.load();
}

std::size_t AllocationProbe::refusedRequests() const {
  return gRefused.load();
}

}  // namespace geometrytest
