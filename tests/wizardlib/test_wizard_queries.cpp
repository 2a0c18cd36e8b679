// ZorvVLWizardUtilities: numbered files, scans, compatibility by device,
// settings-file identification and part deletion.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ZorvVLWizard.h"
#include "test_support.h"
#include "wizard_tree.h"

namespace {

using U = ZorvVLWizardUtilities;
using wiztest::join;
using wiztest::makeDir;
using wiztest::makeFile;
using wiztest::makeToolDefinition;
using wiztest::Names;

TEST(NumberingAndGaps, NumericFilesStopAtTheFirstGapAndLoseTheirExtension) {
  testsupport::TempDir temp;
  const std::string region = temp.path();
  for (const char* name : {"01_Top.bmp", "02_Side.bmp", "04_Back.bmp", "03_Other.txt"}) {
    makeFile(join(region, name));
  }
  string_vector list;
  EXPECT_TRUE(U::getRegionScans(region, list));
  EXPECT_EQ(list.get(), (Names{"Top", "Side"}));

  // Cut at the last dot only; directories are skipped.
  testsupport::TempDir other;
  makeFile(join(other.path(), "01_a.b.bmp"));
  makeDir(join(other.path(), "02_dir.bmp"));
  EXPECT_TRUE(U::getNumericFiles(other.path(), "bmp", list));
  EXPECT_EQ(list.get(), (Names{"a.b"}));

  testsupport::TempDir empty;
  EXPECT_FALSE(U::getNumericFiles(empty.path(), "bmp", list));
  EXPECT_EQ(list.get(), (Names{"missing"}));
}

TEST(FirstMatchByNumber, NumericFileFindsAnyNumber) {
  testsupport::TempDir temp;
  makeFile(join(temp.path(), "02_Plate.qini"));
  makeFile(join(temp.path(), "01_Block.qini"));
  std::string name = "unchanged";
  EXPECT_TRUE(U::getNumericFile(temp.path(), "Plate", "qini", name));
  EXPECT_EQ(name, "02_Plate.qini");
  EXPECT_TRUE(U::getNumericFile(temp.path(), "plate", "QINI", name));
  EXPECT_EQ(name, "02_Plate.qini");  // the on-disk spelling

  name = "unchanged";
  EXPECT_FALSE(U::getNumericFile(temp.path(), "Plat", "qini", name));
  EXPECT_FALSE(U::getNumericFile(temp.path(), "Plate", "ini", name));
  EXPECT_EQ(name, "unchanged");

  // A directory matching the pattern counts as a match but names no file.
  makeDir(join(temp.path(), "03_Cone.qini"));
  EXPECT_TRUE(U::getNumericFile(temp.path(), "Cone", "qini", name));
  EXPECT_EQ(name, "unchanged");
}

TEST(Placeholders, ScansOfAPartStayParallelToTheirRegions) {
  testsupport::TempDir temp;
  const std::string part = temp.path();
  makeFile(join(part, "01_Spar\\01_A.bmp"));
  makeFile(join(part, "01_Spar\\02_B.bmp"));
  makeDir(join(part, "02_Rib"));
  makeFile(join(part, "03_Skin\\01_C.bmp"));

  string_vector regions, scans;
  regions.strings = {"stale"};
  EXPECT_TRUE(U::getScans(part, regions, scans));
  EXPECT_EQ(regions.get(), (Names{"Spar", "Spar", "Rib", "Skin"}));
  EXPECT_EQ(scans.get(), (Names{"A", "B", "missing", "C"}));

  testsupport::TempDir noRegions;
  EXPECT_FALSE(U::getScans(noRegions.path(), regions, scans));
  EXPECT_TRUE(regions.strings.empty());
  EXPECT_TRUE(scans.strings.empty());
}

TEST(Placeholders, FilesListsEveryMatchOrThePlaceholder) {
  testsupport::TempDir temp;
  makeFile(join(temp.path(), "a.ini"));
  makeFile(join(temp.path(), "b.c.ini"));
  makeFile(join(temp.path(), "d.qini"));
  makeDir(join(temp.path(), "e.ini"));
  string_vector list;
  EXPECT_TRUE(U::getFiles(temp.path(), "ini", list));
  EXPECT_EQ(list.get(), (Names{"a", "b.c"}));
  EXPECT_FALSE(U::getFiles(temp.path(), "bmp", list));
  EXPECT_EQ(list.get(), (Names{"missing"}));
}

TEST(CompatibilityByDevice, PositionDevicesAndSimpleStockObjects) {
  string_vector list;
  EXPECT_TRUE(U::getPositionDevices(list));
  EXPECT_EQ(list.get(), (Names{"arm", "encoder", "2dencoder", "rip"}));

  struct Case {
    const char* device;
    bool result;
    Names objects;
  };
  for (const Case& c : std::vector<Case>{{"encoder", true, {"stripe", "radius"}},
                                         {"ENCODER", true, {"stripe", "radius"}},
                                         {"2dencoder", true, {"plane"}},
                                         {"Rip", true, {"plane"}},
                                         {"laser", false, {}},
                                         {"", false, {}}}) {
    SCOPED_TRACE(c.device);
    list.strings = {"stale"};
    EXPECT_EQ(U::getCompatibleObjects(c.device, list), c.result);
    EXPECT_EQ(list.get(), c.objects);
  }
}

TEST(CompatibilityByDevice, ToolsMatchTheirDefinitionsDeviceIgnoringCase) {
  testsupport::TempDir temp;
  const std::string wizard = join(temp.path(), "vl2_settings");
  makeToolDefinition(wizard, "01_Probe", "Probe", "arm");
  makeToolDefinition(wizard, "02_Wheel", "Wheel", "Encoder");
  // Without the section, without a definition, or with an empty value the
  // tool is not compatible and the search goes on.
  makeFile(join(wizard, "tools\\03_Broken\\Broken.tini"), "[Other]\r\nDevice=arm\r\n");
  makeDir(join(wizard, "tools\\04_Bare"));
  makeToolDefinition(wizard, "05_Roller", "Roller", "ARM");
  makeToolDefinition(wizard, "06_Empty", "Empty", "");

  string_vector list;
  EXPECT_TRUE(U::getCompatibleTools(wizard, "Arm", list));
  EXPECT_EQ(list.get(), (Names{"Probe", "Roller"}));
  EXPECT_TRUE(U::getCompatibleTools(wizard, "encoder", list));
  EXPECT_EQ(list.get(), (Names{"Wheel"}));
  EXPECT_FALSE(U::getCompatibleTools(wizard, "rip", list));
  EXPECT_TRUE(list.strings.empty());
  EXPECT_FALSE(U::getCompatibleTools(join(temp.path(), "none"), "arm", list));
  EXPECT_TRUE(list.strings.empty());
}

// getINIFileNames on {wizard}\parts\01_P\02_R\01_Probe\Probe.ini.
class SettingsFileNames : public ::testing::Test {
 protected:
  testsupport::TempDir temp;
  const std::string wizard = join(temp.path(), "vl2_settings");
  const std::string region = join(wizard, "parts\\01_P\\02_R");
  const std::string settings = join(region, "01_Probe\\Probe.ini");
  std::string qini = "unset", tini = "unset";
};

TEST_F(SettingsFileNames, ArmRegionWithLibraryTool) {
  makeFile(settings);
  makeFile(join(region, "R.qini"));
  makeDir(join(wizard, "tools\\01_Probes"));
  makeDir(join(wizard, "tools\\03_Probe"));
  EXPECT_TRUE(U::getINIFileNames(settings, qini, tini));
  EXPECT_EQ(qini, join(region, "R.qini"));
  EXPECT_EQ(tini, join(wizard, "tools\\03_Probe\\Probe.tini"));
}

TEST_F(SettingsFileNames, LibraryToolMatchedIgnoringCase) {
  makeFile(settings);
  makeFile(join(region, "R.qini"));
  makeDir(join(wizard, "tools\\02_PROBE"));
  EXPECT_TRUE(U::getINIFileNames(settings, qini, tini));
  EXPECT_EQ(tini, join(wizard, "tools\\02_PROBE\\Probe.tini"));
}

TEST_F(SettingsFileNames, WithoutLibraryToolTheToolFileIsBare) {
  makeFile(settings);
  makeFile(join(region, "R.qini"));
  makeFile(join(wizard, "tools\\03_Probe"));  // a file, not a tool directory
  EXPECT_TRUE(U::getINIFileNames(settings, qini, tini));
  EXPECT_EQ(qini, join(region, "R.qini"));
  EXPECT_EQ(tini, ".tini");
}

TEST_F(SettingsFileNames, EncoderRegionNeedsTheToolDirectoryToMatch) {
  makeFile(settings);
  makeDir(join(wizard, "tools\\03_Probe"));
  EXPECT_TRUE(U::getINIFileNames(settings, qini, tini));
  EXPECT_EQ(qini, "");
  EXPECT_EQ(tini, join(wizard, "tools\\03_Probe\\Probe.tini"));

  const std::string foreign = join(region, "01_Probe\\Other.ini");
  EXPECT_TRUE(U::getINIFileNames(foreign, qini, tini));
  EXPECT_EQ(qini, foreign);
  EXPECT_EQ(tini, foreign);
}

TEST_F(SettingsFileNames, ShortPathsAreReturnedUnchanged) {
  for (const char* path : {"C:\\x\\Probe.ini", "Probe.ini", "", "a\\b.i"}) {
    SCOPED_TRACE(path);
    EXPECT_TRUE(U::getINIFileNames(path, qini, tini));
    EXPECT_EQ(qini, path);
    EXPECT_EQ(tini, path);
  }
}

class PartDeletion : public ::testing::Test {
 protected:
  void makeParts(const std::vector<std::string>& entries) {
    for (const std::string& entry : entries) {
      makeFile(join(join(parts, entry), "01_Region\\marker.txt"), entry);
    }
  }
  Names listed() {
    string_vector list;
    U::getParts(wizard, list);
    return list.get();
  }

  testsupport::TempDir temp;
  const std::string wizard = join(temp.path(), "vl2_settings");
  const std::string parts = join(wizard, "parts");
};

TEST_F(PartDeletion, LaterPartsMoveDownOneNumber) {
  makeParts({"01_A", "02_B", "03_C", "04_D"});
  EXPECT_TRUE(U::deletePart(wizard, 1));
  EXPECT_EQ(listed(), (Names{"A", "C", "D"}));
  EXPECT_FALSE(testsupport::exists(join(parts, "02_B")));
  EXPECT_FALSE(testsupport::exists(join(parts, "04_D")));
  // Contents travel with their part.
  EXPECT_EQ(testsupport::readFile(join(parts, "02_C\\01_Region\\marker.txt")), "03_C");
  EXPECT_EQ(testsupport::readFile(join(parts, "03_D\\01_Region\\marker.txt")), "04_D");
}

TEST_F(PartDeletion, FirstAndLastPart) {
  makeParts({"01_A", "02_B", "03_C"});
  EXPECT_TRUE(U::deletePart(wizard, 2));
  EXPECT_EQ(listed(), (Names{"A", "B"}));
  EXPECT_TRUE(U::deletePart(wizard, 0));
  EXPECT_EQ(listed(), (Names{"B"}));
  EXPECT_TRUE(U::deletePart(wizard, 0));
  EXPECT_EQ(listed(), (Names{"missing"}));
  EXPECT_TRUE(testsupport::exists(parts));
  EXPECT_FALSE(U::deletePart(wizard, 0));
}

TEST_F(PartDeletion, IndexOutsideThePartsTouchesNothing) {
  makeParts({"01_A", "02_B", "03_C"});
  makeParts({"05_E"});  // beyond the gap: not a listed part
  EXPECT_FALSE(U::deletePart(wizard, 3));
  EXPECT_FALSE(U::deletePart(wizard, 4));
  EXPECT_FALSE(U::deletePart(wizard, ZorvVLWizardShapeSelectState::getVoidIndexID()));
  EXPECT_EQ(listed(), (Names{"A", "B", "C"}));
  EXPECT_TRUE(testsupport::exists(join(parts, "05_E\\01_Region\\marker.txt")));
  EXPECT_FALSE(U::deletePart("", 0));
}

TEST_F(PartDeletion, FailedMoveStopsTheRenumbering) {
  if (testsupport::runningUnderWine()) {
    GTEST_SKIP() << "Wine lists a Unix directory in its own order, not NTFS name order";
  }
  // 02_B and 02_C share a number; the listing takes 02_B, and moving 03_C to
  // 02_C then fails because that name exists.
  makeParts({"01_A", "02_B", "02_C", "03_C"});
  EXPECT_FALSE(U::deletePart(wizard, 0));
  EXPECT_FALSE(testsupport::exists(join(parts, "01_A")));
  EXPECT_EQ(testsupport::readFile(join(parts, "01_B\\01_Region\\marker.txt")), "02_B");
  EXPECT_EQ(testsupport::readFile(join(parts, "03_C\\01_Region\\marker.txt")), "03_C");
  EXPECT_EQ(testsupport::readFile(join(parts, "02_C\\01_Region\\marker.txt")), "02_C");
}

#ifndef _WIN32
namespace fs = std::filesystem;

TEST_F(PartDeletion, LinkedPartIsUnlinkedNotFollowed) {
  makeParts({"01_A"});
  const std::string outside = join(temp.path(), "outside");
  makeFile(join(outside, "precious.txt"), "keep");
  fs::create_directory_symlink(temp.path() + "/outside", temp.path() + "/vl2_settings/parts/02_L");
  makeParts({"03_C"});
  EXPECT_EQ(listed(), (Names{"A", "L", "C"}));
  EXPECT_TRUE(U::deletePart(wizard, 1));
  EXPECT_EQ(listed(), (Names{"A", "C"}));
  EXPECT_EQ(testsupport::readFile(join(outside, "precious.txt")), "keep");
}

TEST_F(PartDeletion, RenumbersOnFileSystemsThatRefuseRenameFlags) {
  // Some file systems answer every rename flag with EINVAL; the parts must
  // still move down, without a gap.
  makeParts({"01_A", "02_B", "03_C", "04_D"});
  testsupport::setEnvironment("ZORV_TEST_RENAME_FLAGS_REFUSED", "1");
  const bool deleted = U::deletePart(wizard, 1);
  testsupport::setEnvironment("ZORV_TEST_RENAME_FLAGS_REFUSED", nullptr);
  EXPECT_TRUE(deleted);
  EXPECT_EQ(listed(), (Names{"A", "C", "D"}));
  EXPECT_EQ(testsupport::readFile(join(parts, "02_C\\01_Region\\marker.txt")), "03_C");
  EXPECT_EQ(testsupport::readFile(join(parts, "03_D\\01_Region\\marker.txt")), "04_D");
}

TEST_F(PartDeletion, NameWithSeparatorIsRefused) {
  // POSIX names may hold a backslash, which the library would read as a
  // separator: "02_x\..\..\.." would lead out of the parts directory.
  makeParts({"01_A"});
  fs::create_directory(temp.path() + "/vl2_settings/parts/02_x\\..\\..\\..");
  makeParts({"03_C"});
  EXPECT_FALSE(U::deletePart(wizard, 1));
  EXPECT_TRUE(testsupport::exists(join(parts, "01_A\\01_Region\\marker.txt")));
  EXPECT_TRUE(testsupport::exists(join(parts, "03_C\\01_Region\\marker.txt")));
  EXPECT_TRUE(testsupport::exists(wizard));
}

TEST(Placeholders, RecursiveWalkDoesNotFollowLinks) {
  testsupport::TempDir temp;
  makeFile(join(temp.path(), "tree\\a.ini"));
  makeFile(join(temp.path(), "elsewhere\\b.ini"));
  fs::create_directory_symlink(temp.path() + "/elsewhere", temp.path() + "/tree/link");
  fs::create_directory_symlink(temp.path() + "/tree", temp.path() + "/tree/loop");
  string_vector list;
  EXPECT_TRUE(U::getRecursiveFullFileNames(join(temp.path(), "tree"), "ini", list));
  EXPECT_EQ(list.get(), (Names{join(join(temp.path(), "tree"), "a.ini")}));
}
#endif

}  // namespace
