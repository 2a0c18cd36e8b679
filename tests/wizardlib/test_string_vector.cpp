// string_vector across the library boundary: lists filled inside the library
// are read, grown, copied and destroyed here, with the library's allocation
// functions (checked by the sanitizer build on Linux and by the separate
// runtimes of the Windows build).
//
// The library's header comes first: a caller includes it alone.
#include "ZorvVLWizard.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "test_support.h"
#include "wizard_tree.h"

namespace {

using wiztest::join;
using wiztest::Names;

TEST(StringVectorBoundary, ListFilledByLibraryIsGrownAndDestroyedByCaller) {
  auto list = std::make_unique<string_vector>();
  ASSERT_TRUE(ZorvVLWizardUtilities::getPositionDevices(*list));
  ASSERT_EQ(list->strings.size(), 4u);
  // Grow well past the library's capacity so that the caller reallocates
  // the library's block, and use strings too long for in-place storage.
  for (int i = 0; i < 200; ++i) {
    list->strings.push_back(std::string(40, 'a' + static_cast<char>(i % 26)) + std::to_string(i));
  }
  list->strings[0] += std::string(100, 'x');
  list->strings.erase(list->strings.begin() + 1);
  list->strings.resize(150);
  EXPECT_EQ(list->strings.size(), 150u);
  EXPECT_EQ(list->strings[0], "arm" + std::string(100, 'x'));
  EXPECT_EQ(list->strings[1], "2dencoder");
  EXPECT_EQ(list->strings[149].substr(0, 40), std::string(40, 'a' + static_cast<char>(146 % 26)));
  list->strings.clear();
  list->strings.shrink_to_fit();
  list.reset();
}

TEST(StringVectorBoundary, LibraryRefillsAListTheCallerFilled) {
  testsupport::TempDir temp;
  const std::string parts = join(join(temp.path(), "vl2_settings"), "parts");
  for (const char* name : {"01_A", "02_B"}) wiztest::makeDir(join(parts, name));

  string_vector list;
  for (int i = 0; i < 50; ++i) list.strings.push_back(std::string(64, 'q'));
  ASSERT_TRUE(ZorvVLWizardUtilities::getParts(join(temp.path(), "vl2_settings"), list));
  EXPECT_EQ(list.get(), (Names{"A", "B"}));

  // Long paths filled by the library, then edited by the caller.
  string_vector files;
  wiztest::makeFile(join(parts, "01_A\\" + std::string(80, 'n') + ".ini"));
  ASSERT_TRUE(ZorvVLWizardUtilities::getRecursiveFullFileNames(parts, "ini", files));
  ASSERT_EQ(files.strings.size(), 1u);
  files.strings[0].append(std::string(200, 'z'));
  files.strings.insert(files.strings.begin(), std::string(300, 'y'));
  EXPECT_EQ(files.strings[1].size(),
            join(join(parts, "01_A"), std::string(80, 'n') + ".ini").size() + 200);
}

TEST(StringVectorBoundary, ConstructorsCopiesAndStandardCopy) {
  string_vector empty;
  EXPECT_TRUE(empty.strings.empty());

  string_vector counted(3);
  EXPECT_EQ(counted.get(), (Names{"", "", ""}));

  string_vector devices;
  ZorvVLWizardUtilities::getPositionDevices(devices);
  string_vector fromVector(devices.strings);
  EXPECT_EQ(fromVector.get(), (Names{"arm", "encoder", "2dencoder", "rip"}));

  string_vector copy(devices);
  copy.strings[0] = "changed";
  EXPECT_EQ(devices.strings[0], "arm");

  string_vector assigned(7);
  assigned = copy;
  EXPECT_EQ(assigned.get(), (Names{"changed", "encoder", "2dencoder", "rip"}));
  assigned = assigned;
  EXPECT_EQ(assigned.strings.size(), 4u);

  std::vector<std::string> standard = devices.get();
  devices.strings.clear();
  EXPECT_EQ(standard, (Names{"arm", "encoder", "2dencoder", "rip"}));
}

TEST(StringVectorBoundary, AllocatorForwardsToTheLibrary) {
  string_allocator fromStandard{std::allocator<std::string>()};
  string_allocator copy(fromStandard);
  string_allocator assigned;
  assigned = copy;
  EXPECT_TRUE(assigned == fromStandard);
  EXPECT_GT(copy.max_size(), 1000u);

  std::string* block = copy.allocate(5);
  ASSERT_NE(block, nullptr);
  std::allocator_traits<string_allocator>::construct(copy, block, std::string(100, 'k'));
  EXPECT_EQ(block->size(), 100u);
  std::allocator_traits<string_allocator>::destroy(copy, block);
  // Freed by another allocator object: all of them are interchangeable.
  assigned.deallocate(block, 5);
}

}  // namespace
