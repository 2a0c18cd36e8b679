// A consumer of the wizard library built as C++17, as the scanning
// application may be: it includes the library's header alone and links the
// library alone. Lists are copied, moved and swapped with their allocator,
// allocators rebind to other types and back and stay with the library, and
// the settings reader's exception is caught by type and deleted.
#include "ZorvVLWizard.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

static_assert(__cplusplus == 201703L, "this consumer is built as C++17");

namespace {

namespace fs = std::filesystem;

using Names = std::vector<std::string>;
using Traits = std::allocator_traits<string_allocator>;

// Rebinding to another type and back gives string_allocator again.
static_assert(std::is_same_v<Traits::rebind_alloc<std::string>, string_allocator>);
static_assert(std::is_same_v<Traits::rebind_alloc<int>, library_allocator<int>>);
static_assert(
    std::is_same_v<std::allocator_traits<library_allocator<int>>::rebind_alloc<std::string>,
                   string_allocator>);
static_assert(std::is_same_v<std::allocator_traits<library_allocator<int>>::rebind_alloc<double>,
                             library_allocator<double>>);
static_assert(Traits::is_always_equal::value);
static_assert(Traits::propagate_on_container_copy_assignment::value);
static_assert(Traits::propagate_on_container_move_assignment::value);
static_assert(Traits::propagate_on_container_swap::value);

TEST(Cxx17Consumer, ListsAreCopiedMovedAndSwapped) {
  string_vector devices;
  ASSERT_TRUE(ZorvVLWizardUtilities::getPositionDevices(devices));
  const Names expected = {"arm", "encoder", "2dencoder", "rip"};

  // Copy assignment of the lists themselves (it compares the allocators).
  string_vector copy(7);
  copy.strings = devices.strings;
  EXPECT_EQ(copy.get(), expected);
  copy.strings.push_back(std::string(100, 'x'));
  EXPECT_EQ(devices.get(), expected);

  string_vector moved;
  moved.strings = std::move(copy.strings);
  EXPECT_EQ(moved.strings.size(), 5u);
  EXPECT_EQ(moved.strings.back(), std::string(100, 'x'));

  string_vector other(2);
  other.strings.swap(moved.strings);
  EXPECT_EQ(other.strings.size(), 5u);
  EXPECT_EQ(moved.strings.size(), 2u);
  using std::swap;
  swap(other.strings, moved.strings);
  EXPECT_EQ(moved.strings.size(), 5u);

  string_vector assigned;
  assigned = devices;
  EXPECT_EQ(assigned.get(), expected);

  EXPECT_TRUE(devices.strings.get_allocator() == copy.strings.get_allocator());
  EXPECT_FALSE(devices.strings.get_allocator() != copy.strings.get_allocator());
}

struct alignas(64) Wide {
  double value = 0.0;
};

TEST(Cxx17Consumer, ReboundAllocatorsAllocateInTheLibrary) {
  const string_allocator strings;
  const library_allocator<int> ints(strings);
  const string_allocator back(ints);
  EXPECT_TRUE(strings == ints);
  EXPECT_TRUE(ints == strings);
  EXPECT_FALSE(strings != ints);
  EXPECT_FALSE(ints != strings);
  EXPECT_TRUE(back == strings);
  EXPECT_TRUE(ints == library_allocator<double>(ints));

  // Node-based containers rebind to their nodes.
  std::list<std::string, string_allocator> names = {"a", "b", std::string(60, 'c')};
  std::list<std::string, string_allocator> namesCopy;
  namesCopy = names;
  namesCopy.push_front("z");
  EXPECT_EQ(names.size(), 3u);
  EXPECT_EQ(namesCopy.size(), 4u);
  EXPECT_EQ(namesCopy.back(), std::string(60, 'c'));

  std::map<int, std::string, std::less<int>, library_allocator<std::pair<const int, std::string>>>
      numbered;
  for (int i = 0; i < 100; ++i) numbered[i] = std::to_string(i);
  auto numberedCopy = numbered;
  numberedCopy.erase(5);
  EXPECT_EQ(numbered.size(), 100u);
  EXPECT_EQ(numberedCopy.size(), 99u);
  EXPECT_EQ(numberedCopy.at(99), "99");

  // Over-aligned elements keep their alignment.
  std::vector<Wide, library_allocator<Wide>> wide(3);
  wide.resize(1000);
  EXPECT_EQ(reinterpret_cast<std::uintptr_t>(wide.data()) % 64, 0u);
  EXPECT_THROW(library_allocator<Wide>().allocate(library_allocator<Wide>().max_size() + 1),
               std::bad_array_new_length);
}

// A wizard tree whose part 01_Wing, region 01_Spar has the tool Probe, whose
// library tool is tools\01_Probe; returns the base directory.
class Cxx17ConsumerTree : public ::testing::Test {
 protected:
  void SetUp() override {
    base = fs::temp_directory_path() /
           ("zorv-cxx17-consumer-" + std::to_string(reinterpret_cast<std::uintptr_t>(this)));
    fs::remove_all(base);
    fs::create_directories(base / "vl2_settings/parts/01_Wing/01_Spar/01_Probe");
    fs::create_directories(base / "vl2_settings/tools/01_Probe");
    write(base / "vl2_settings/tools/01_Probe/Probe.tini", "[PositionCapture]\r\nDevice=Arm\r\n");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(base, ignored);
  }

  static void write(const fs::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out << text;
  }

  fs::path base;
  ZorvVLWizardShapeSelectState state;
};

TEST_F(Cxx17ConsumerTree, CatchesTheSettingsReadersExceptionAndDeletesIt) {
  const fs::path gains = base / "vl2_settings/tools/01_Probe/Probe.gini";
  write(gains, "[GlobalGain]\r\ndB=loud\r\n");
  ASSERT_TRUE(state.init(base.string()));
  ASSERT_EQ(state.getTool(), "Probe");

  bool caught = false;
  try {
    ZorvVLWizardShapeSelectState::GainState read;
    state.getGainState(read);
  } catch (IniFileSection::IniFileException* e) {
    caught = true;
    EXPECT_EQ(e->getType(), IniFileSection::KeyUnavailable);
    EXPECT_EQ(e->getType(), IniFileSection::IniFileException::KeyUnavailable);
    EXPECT_EQ(e->getMessage(), "[GlobalGain] dB");
    delete e;
  }
  EXPECT_TRUE(caught);

  // A gain file that cannot be written: a directory in its place.
  fs::remove(gains);
  fs::create_directories(gains);
  caught = false;
  try {
    state.setGainState(ZorvVLWizardShapeSelectState::GainState{});
  } catch (IniFileSection::IniFileException* e) {
    caught = true;
    EXPECT_EQ(e->getType(), IniFileSection::WriteFailed);
    EXPECT_EQ(e->getMessage(), "");
    delete e;
  }
  EXPECT_TRUE(caught);
}

}  // namespace
