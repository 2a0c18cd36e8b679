// The library's single entry, with the name and shape of the vendor's.
#include <cstdint>

#include "VirtualArm.h"

#ifdef _WIN32
#define ARMSIM_EXPORT __declspec(dllexport)
#else
#define ARMSIM_EXPORT __attribute__((visibility("default")))
#endif

namespace {

armsim::VirtualArm& theArm() {
  static armsim::VirtualArm arm;
  return arm;
}

}  // namespace

extern "C" ARMSIM_EXPORT std::int32_t CmmSpecific(void* packet) {
  return theArm().command(packet);
}
