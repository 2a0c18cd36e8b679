// Watches the allocations of this test program: a test can show that some
// code never asks for a large block, whatever the machine's memory.
#pragma once

#include <cstddef>

namespace geometrytest {

// While an AllocationProbe lives, every request of operator new (and new[])
// is recorded, and a request above `limit` bytes is refused with
// std::bad_alloc instead of being made. One probe at a time.
class AllocationProbe {
 public:
  explicit AllocationProbe(std::size_t limit);
  ~AllocationProbe();
  AllocationProbe(const AllocationProbe&) = delete;
  AllocationProbe& operator=(const AllocationProbe&) = delete;

  // The largest single request since the probe was made, refused ones
  // included.
  std::size_t largestRequest() const;
  // How many requests were refused for being above the limit.
  std::size_t refusedRequests() const;
};

}  // namespace geometrytest
