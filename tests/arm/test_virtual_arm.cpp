// The virtual arm library driven through CmmSpecific as the program drives
// it: packets and results, scenario playback into the data block, the event,
// and the command log.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ArmTestSupport.h"
#include "arm/ArmConnection.h"
#include "arm/ArmDataBlock.h"
#include "platform/dynlib.h"
#include "platform/event.h"
#include "platform/time.h"

namespace {

using Clock = std::chrono::steady_clock;

// Guards a wait that should end quickly from hanging the test program.
constexpr auto kHangGuard = std::chrono::seconds(20);

struct Taken {
  ArmRecord record;
  std::uint32_t sequence = 0;
};

class VirtualArmTest : public ::testing::Test {
 protected:
  void SetUp() override { armtest::unsetEnvironment(armtest::kScenarioVariable); }

  void TearDown() override {
    if (entry_ != nullptr) sendWord(2);
    if (library_ != nullptr) platform::freeLibrary(library_);
    armtest::unsetEnvironment(armtest::kScenarioVariable);
  }

  void load() {
    library_ = platform::loadLibrary("FaroArmUsbWrapper.dll");
    ASSERT_NE(library_, nullptr) << "the virtual arm library is not beside the test program";
    entry_ = reinterpret_cast<CmmSpecificFunction>(platform::findSymbol(library_, "CmmSpecific"));
    ASSERT_NE(entry_, nullptr);
  }

  std::int32_t sendWord(std::int32_t command) {
    std::int32_t word = command;
    return entry_(&word);
  }

  std::int32_t open() {
    alignas(8) unsigned char packet[268] = {};
    const std::int32_t command = 1;
    std::memcpy(packet, &command, sizeof command);
    return entry_(packet);
  }

  std::int32_t registerBlock(std::uint32_t marker = kArmDataBlockMarker) {
    std::memset(static_cast<void*>(block_.get()), 0, sizeof(ArmDataBlock));
    block_->command = 5;
    block_->marker = marker;
    sendWord(24);
    return entry_(block_.get());
  }

  // Opens the arm and registers the block, as the start-up does.
  void start() {
    ASSERT_NO_FATAL_FAILURE(load());
    ASSERT_NE(open(), 0);
    ASSERT_NE(registerBlock(), 0);
  }

  std::int32_t identify(std::string& serial, std::uint32_t& firmware) {
    alignas(8) unsigned char packet[76] = {};
    const std::int32_t command = 3;
    std::memcpy(packet, &command, sizeof command);
    const std::int32_t result = entry_(packet);
    serial.assign(reinterpret_cast<const char*>(packet + 4));
    std::memcpy(&firmware, packet + 68, sizeof firmware);
    return result;
  }

  std::uint32_t sequence() {
    return std::atomic_ref<std::uint32_t>(*reinterpret_cast<std::uint32_t*>(block_->reserved64))
        .load(std::memory_order_relaxed);
  }

  // Takes the next record the way the button loops do: waits for the
  // fresh-record flag, reads, clears the flag.
  bool takeByFlag(Taken& taken) {
    const auto deadline = Clock::now() + kHangGuard;
    while (Clock::now() < deadline) {
      if (armblock::hasFreshRecord(*block_)) {
        taken.record = armblock::readRecord(*block_);
        taken.sequence = sequence();
        armblock::clearFreshRecord(*block_);
        return true;
      }
      std::this_thread::yield();
    }
    return false;
  }

  // Takes the next record the way the live screens do: waits for the event
  // and reads right after it, leaving the flag alone.
  bool takeByEvent(Taken& taken) {
    const platform::EventHandle event = armblock::eventHandle(*block_);
    if (platform::waitForEvent(event, 20000) != platform::WaitResult::Signalled) return false;
    taken.record = armblock::readRecord(*block_);
    taken.sequence = sequence();
    return true;
  }

  testsupport::TempDir dir_;
  platform::LibraryHandle library_ = nullptr;
  CmmSpecificFunction entry_ = nullptr;
  std::unique_ptr<ArmDataBlock> block_ = std::make_unique<ArmDataBlock>();
};

TEST_F(VirtualArmTest, WithoutANamedScenarioTheArmDoesNotOpen) {
  // Neither without the variable nor with it empty; the dialogs still answer
  // (closed at once), as the program's dialogs need only the library.
  for (const bool setEmpty : {false, true}) {
    SCOPED_TRACE(setEmpty ? "empty variable" : "no variable");
    if (setEmpty) armtest::setEnvironment(armtest::kScenarioVariable, "");
    ASSERT_NO_FATAL_FAILURE(load());
    EXPECT_EQ(open(), 0);
    EXPECT_EQ(registerBlock(), 0);
    std::string serial;
    std::uint32_t firmware = 0;
    EXPECT_EQ(identify(serial, firmware), 0);
    EXPECT_EQ(serial, "");
    EXPECT_EQ(firmware, 0u);
    alignas(8) unsigned char packet[544] = {};
    const std::int32_t command = 18;
    std::memcpy(packet, &command, sizeof command);
    EXPECT_EQ(entry_(packet), 1);
    // Named afterwards, the next command 1 opens it.
    armtest::useScenario(dir_, "");
    EXPECT_NE(open(), 0);
    armtest::unsetEnvironment(armtest::kScenarioVariable);
    sendWord(2);
    platform::freeLibrary(library_);
    library_ = nullptr;
    entry_ = nullptr;
  }
}

TEST_F(VirtualArmTest, TheRestingScenarioPlaysAHealthyArmAtRest) {
  armtest::useScenario(dir_, "record 400 0 200 0 90 0\nend hold\n");
  ASSERT_NO_FATAL_FAILURE(start());
  std::string serial;
  std::uint32_t firmware = 0;
  EXPECT_EQ(identify(serial, firmware), 1);
  EXPECT_EQ(serial, "P08-08-1234");
  EXPECT_EQ(firmware, 4027u);
  EXPECT_NE(armblock::eventHandle(*block_), 0u);
  // The resting record is written again each time it is taken.
  Taken first, second, third;
  ASSERT_TRUE(takeByFlag(first));
  ASSERT_TRUE(takeByFlag(second));
  ASSERT_TRUE(takeByFlag(third));
  EXPECT_EQ(third.sequence, first.sequence + 2);
  EXPECT_EQ(first.record.x, 400.0);
  EXPECT_EQ(first.record.z, 200.0);
  EXPECT_EQ(first.record.theta, 90.0);
  EXPECT_EQ(third.record.x, first.record.x);
  EXPECT_EQ(third.record.theta, first.record.theta);
  EXPECT_EQ(third.record.greenButton, 0);
  EXPECT_EQ(third.record.redButton, 0);
}

TEST_F(VirtualArmTest, ScenarioGivesIdentityAndEveryCommandIsLogged) {
  armtest::useScenario(dir_, "serial N12-34 567\nfirmware 4294967295\n");
  ASSERT_NO_FATAL_FAILURE(start());
  std::string serial;
  std::uint32_t firmware = 0;
  identify(serial, firmware);
  EXPECT_EQ(serial, "N12-34 567");
  EXPECT_EQ(firmware, 4294967295u);
  sendWord(15);
  sendWord(2);
  entry_ = nullptr;  // closed already
  EXPECT_EQ(armtest::loggedCommands(dir_), (std::vector<int>{1, 24, 5, 3, 15, 2}));
}

TEST_F(VirtualArmTest, InjectedFailuresAndRefusedPackets) {
  struct Case {
    const char* name;
    const char* scenario;
    std::uint32_t marker;
    bool opens;
    bool acceptsBlock;
  };
  const Case cases[] = {
      {"healthy", "", kArmDataBlockMarker, true, true},
      {"open fails", "fail open\n", kArmDataBlockMarker, false, false},
      {"block refused", "fail block\n", kArmDataBlockMarker, true, false},
      {"block without marker", "", 0u, true, false},
      {"unreadable scenario", "record 1 2 3\n", kArmDataBlockMarker, false, false},
      {"unknown keyword", "colour red\n", kArmDataBlockMarker, false, false},
      {"move beyond the largest number", "record -1e308 0 0 0 0 0\nmove 1e308 0 0 0 0 0 2\n",
       kArmDataBlockMarker, false, false},
      {"firmware negative", "firmware -1\n", kArmDataBlockMarker, false, false},
      {"firmware beyond 32 bits", "firmware 4294967296\n", kArmDataBlockMarker, false, false},
      {"settle time given", "playback deterministic 0\n", kArmDataBlockMarker, true, true},
      {"settle time no number", "playback deterministic soon\n", kArmDataBlockMarker, false, false},
      {"settle time negative", "playback deterministic -5\n", kArmDataBlockMarker, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    armtest::useScenario(dir_, c.scenario);
    ASSERT_NO_FATAL_FAILURE(load());
    EXPECT_EQ(open() != 0, c.opens);
    EXPECT_EQ(registerBlock(c.marker) != 0, c.acceptsBlock);
    sendWord(2);
    platform::freeLibrary(library_);
    library_ = nullptr;
    entry_ = nullptr;
  }
}

// "fail <command> <n>": the n-th call of any command answers 0 and does
// nothing else; the count goes on when command 1 reads the same scenario
// again.
TEST_F(VirtualArmTest, AnyCallOfAnyCommandCanBeMadeToFail) {
  struct Case {
    const char* scenario;
    std::vector<std::pair<std::int32_t, std::int32_t>> calls;  // command, answer
  };
  const Case cases[] = {
      {"fail 1 2\n", {{1, 1}, {2, 1}, {1, 0}, {5, 0}, {1, 1}, {5, 1}}},
      {"fail 24 1\n", {{1, 1}, {24, 0}, {24, 1}, {5, 1}}},
      {"fail 5 1\nfail 5 3\n", {{1, 1}, {5, 0}, {5, 1}, {5, 0}, {5, 1}}},
      {"fail 3 1\n", {{1, 1}, {5, 1}, {3, 0}, {3, 1}}},
      {"fail 15 2\ndialog 9 11\n", {{1, 1}, {9, 11}, {15, 1}, {9, 1}, {15, 0}}},
      {"fail 2 1\n", {{1, 1}, {5, 1}, {2, 0}, {2, 1}}},
      // Not a command and a call number: the scenario cannot be read.
      {"fail 3\n", {{1, 0}}},
      {"fail 3 0\n", {{1, 0}}},
      {"fail three 1\n", {{1, 0}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.scenario);
    armtest::useScenario(dir_, c.scenario);
    ASSERT_NO_FATAL_FAILURE(load());
    for (const auto& [command, answer] : c.calls) {
      SCOPED_TRACE(command);
      alignas(8) unsigned char packet[544] = {};
      std::memcpy(packet, &command, sizeof command);
      if (command == 5) {
        std::memset(static_cast<void*>(block_.get()), 0, sizeof(ArmDataBlock));
        block_->command = 5;
        block_->marker = kArmDataBlockMarker;
        EXPECT_EQ(entry_(block_.get()), answer);
      } else if (command == 3) {
        EXPECT_EQ(entry_(packet), answer);
        // A failed identification leaves the packet as it was.
        EXPECT_EQ(packet[4] == 0, answer == 0);
      } else {
        EXPECT_EQ(entry_(packet), answer);
      }
    }
    sendWord(2);
    platform::freeLibrary(library_);
    library_ = nullptr;
    entry_ = nullptr;
  }
}

TEST_F(VirtualArmTest, DialogResultsComeInOrderThenTheDialogCloses) {
  armtest::useScenario(dir_, "dialog 9 11 11 0\ndialog 18 0 0\ndialog 18 1\n");
  ASSERT_NO_FATAL_FAILURE(start());
  alignas(8) unsigned char packet[544] = {};
  auto send = [&](std::int32_t command) {
    std::memcpy(packet, &command, sizeof command);
    return entry_(packet);
  };
  EXPECT_EQ(send(9), 11);
  EXPECT_EQ(send(9), 11);
  EXPECT_EQ(send(9), 0);
  EXPECT_EQ(send(9), 1);
  EXPECT_EQ(send(18), 0);
  EXPECT_EQ(send(18), 0);
  EXPECT_EQ(send(18), 1);
  EXPECT_EQ(send(18), 1);
  EXPECT_EQ(send(11), 1);
}

const char* const kThreeRecords =
    "record 1 0 0 10 20 30\n"
    "record 2 0 0 10 20 30 green\n"
    "record 3 0 0 10 20 30 red\n"
    "end idle\n";

TEST_F(VirtualArmTest, DeterministicPlaybackWaitsUntilTheFlagIsCleared) {
  armtest::useScenario(dir_, kThreeRecords);
  ASSERT_NO_FATAL_FAILURE(start());
  std::vector<Taken> taken(3);
  for (Taken& t : taken) ASSERT_TRUE(takeByFlag(t));
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(taken[i].sequence, static_cast<std::uint32_t>(i + 1));
    EXPECT_EQ(taken[i].record.x, i + 1.0);
    EXPECT_EQ(taken[i].record.phi, 10.0);
    EXPECT_EQ(taken[i].record.theta, 20.0);
    EXPECT_EQ(taken[i].record.psi, 30.0);
    EXPECT_EQ(taken[i].record.greenButton != 0, i == 1);
    EXPECT_EQ(taken[i].record.redButton != 0, i == 2);
  }
  // Idle after the last record: nothing new arrives.
  platform::sleepMs(100);
  EXPECT_FALSE(armblock::hasFreshRecord(*block_));
  EXPECT_EQ(sequence(), 3u);
}

TEST_F(VirtualArmTest, DeterministicPlaybackWaitsUntilTheEventIsConsumed) {
  armtest::useScenario(dir_, kThreeRecords);
  ASSERT_NO_FATAL_FAILURE(start());
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    Taken t;
    ASSERT_TRUE(takeByEvent(t));
    EXPECT_EQ(t.sequence, static_cast<std::uint32_t>(i + 1));
    EXPECT_EQ(t.record.x, i + 1.0);
    EXPECT_EQ(t.record.greenButton != 0, i == 1);
    EXPECT_EQ(t.record.redButton != 0, i == 2);
  }
}

TEST_F(VirtualArmTest, RepeatsMovesAndLoop) {
  armtest::useScenario(dir_,
                       "record 0 0 0 0 0 0 x2\n"
                       "move 10 0 0 0 0 90 2 green\n"
                       "end loop\n");
  ASSERT_NO_FATAL_FAILURE(start());
  const double expectedX[] = {0, 0, 5, 10, 0, 0, 5};
  const double expectedPsi[] = {0, 0, 45, 90, 0, 0, 45};
  const bool expectedGreen[] = {false, false, true, true, false, false, true};
  for (int i = 0; i < 7; ++i) {
    SCOPED_TRACE(i);
    Taken t;
    ASSERT_TRUE(takeByFlag(t));
    EXPECT_EQ(t.record.x, expectedX[i]);
    EXPECT_EQ(t.record.psi, expectedPsi[i]);
    EXPECT_EQ(t.record.greenButton != 0, expectedGreen[i]);
  }
}

TEST_F(VirtualArmTest, TimedPlaybackWritesWhetherTakenOrNot) {
  armtest::useScenario(dir_, "playback timed 2\nrecord 1 2 3 0 0 0\nend hold\n");
  ASSERT_NO_FATAL_FAILURE(start());
  const auto deadline = Clock::now() + kHangGuard;
  while (sequence() < 5 && Clock::now() < deadline) platform::sleepMs(2);
  EXPECT_GE(sequence(), 5u);
  // The flag was never cleared, yet records kept coming.
  EXPECT_TRUE(armblock::hasFreshRecord(*block_));
}

TEST_F(VirtualArmTest, CloseStopsTheWritingAndTheArmOpensAgain) {
  armtest::useScenario(dir_, "record 1 0 0 0 0 0\nend hold\n");
  ASSERT_NO_FATAL_FAILURE(start());
  Taken t;
  ASSERT_TRUE(takeByFlag(t));
  EXPECT_NE(sendWord(2), 0);
  const std::uint32_t afterClose = sequence();
  armblock::clearFreshRecord(*block_);
  platform::sleepMs(50);
  EXPECT_EQ(sequence(), afterClose);
  EXPECT_FALSE(armblock::hasFreshRecord(*block_));

  ASSERT_NE(open(), 0);
  ASSERT_NE(registerBlock(), 0);
  ASSERT_TRUE(takeByFlag(t));
  EXPECT_EQ(t.sequence, 1u);
}

}  // namespace

int main(int argc, char** argv) {
  armtest::keepConsoleInputOpen();
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
