// The block the arm library keeps filling with the latest arm record.
//
// The program registers the block with command 5; from then on the library
// writes records into it from its own thread while the console thread reads
// them, without a lock. Both sides access the shared fields with relaxed
// atomic operations (std::atomic_ref), which keeps the sharing free of data
// races; a record may still change while it is being read, which the program
// accepts. The library fences after a record's fields and before its flag, so
// readRecord fences after the flag.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <type_traits>

// Word the program puts at offset 84 when it registers the block.
inline constexpr std::uint32_t kArmDataBlockMarker = 0xC1C2C3C4u;
// Command word of the block when it is registered.
inline constexpr std::int32_t kArmCommandRegisterBlock = 5;

// 24672 bytes, little-endian, the same layout on every target.
struct alignas(8) ArmDataBlock {
  std::int32_t command;                 // 0: 5 when registered (program)
  std::uint8_t freshRecord;             // 4: non-zero when a new record was written; program clears
  std::uint8_t reserved5[7];            // library's own
  std::uint8_t greenButton;             // 12: green button down when non-zero
  std::uint8_t redButton;               // 13: red button down when non-zero
  std::uint8_t reserved14[2];           // library's own
  double x;                             // 16: measuring point, mm, arm frame
  double y;                             // 24
  double z;                             // 32
  double phi;                           // 40: first orientation angle, degrees
  double theta;                         // 48: second orientation angle, degrees
  double psi;                           // 56: third orientation angle, degrees
  std::uint8_t reserved64[16];          // library's own
  std::uint32_t event;                  // 80: event signalled for each new record (4-byte handle)
  std::uint32_t marker;                 // 84: kArmDataBlockMarker (program)
  std::uint8_t reserved88[24672 - 88];  // library's own
};

static_assert(sizeof(ArmDataBlock) == 24672);
static_assert(std::is_standard_layout_v<ArmDataBlock>);
static_assert(std::is_trivially_copyable_v<ArmDataBlock>);
static_assert(offsetof(ArmDataBlock, command) == 0);
static_assert(offsetof(ArmDataBlock, freshRecord) == 4);
static_assert(offsetof(ArmDataBlock, greenButton) == 12);
static_assert(offsetof(ArmDataBlock, redButton) == 13);
static_assert(offsetof(ArmDataBlock, x) == 16);
static_assert(offsetof(ArmDataBlock, y) == 24);
static_assert(offsetof(ArmDataBlock, z) == 32);
static_assert(offsetof(ArmDataBlock, phi) == 40);
static_assert(offsetof(ArmDataBlock, theta) == 48);
static_assert(offsetof(ArmDataBlock, psi) == 56);
static_assert(offsetof(ArmDataBlock, event) == 80);
static_assert(sizeof(ArmDataBlock::event) == 4);
static_assert(offsetof(ArmDataBlock, marker) == 84);
static_assert(std::atomic_ref<double>::required_alignment <= alignof(ArmDataBlock));

// One record as read from the block.
struct ArmRecord {
  std::uint8_t greenButton = 0;
  std::uint8_t redButton = 0;
  double x = 0.0, y = 0.0, z = 0.0;          // mm
  double phi = 0.0, theta = 0.0, psi = 0.0;  // degrees
};

namespace armblock {

template <typename T>
T load(T& field) {
  return std::atomic_ref<T>(field).load(std::memory_order_relaxed);
}

template <typename T>
void store(T& field, T value) {
  std::atomic_ref<T>(field).store(value, std::memory_order_relaxed);
}

// Acquiring, so that the fields written before the flag are seen with it.
inline bool hasFreshRecord(ArmDataBlock& block) {
  return std::atomic_ref<std::uint8_t>(block.freshRecord).load(std::memory_order_acquire) != 0;
}

inline void clearFreshRecord(ArmDataBlock& block) {
  store<std::uint8_t>(block.freshRecord, 0);
}

inline std::uint32_t eventHandle(ArmDataBlock& block) {
  return load(block.event);
}

inline std::uint8_t redButton(ArmDataBlock& block) {
  return load(block.redButton);
}

// The record the block holds now.
inline ArmRecord readRecord(ArmDataBlock& block) {
  ArmRecord record;
  record.greenButton = load(block.greenButton);
  record.redButton = load(block.redButton);
  record.x = load(block.x);
  record.y = load(block.y);
  record.z = load(block.z);
  record.phi = load(block.phi);
  record.theta = load(block.theta);
  record.psi = load(block.psi);
  return record;
}

// When the library has written a new record: reads it, then clears the
// fresh-record flag, and returns true. The record is read before the flag is
// cleared so that it is the record the flag announced.
inline bool takeFreshRecord(ArmDataBlock& block, ArmRecord& record) {
  if (!hasFreshRecord(block)) return false;
  record = readRecord(block);
  clearFreshRecord(block);
  return true;
}

}  // namespace armblock
