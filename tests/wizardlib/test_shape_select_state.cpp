// ZorvVLWizardShapeSelectState: selection of part, scan and tool, the paths
// built from it, compatibility of the selected region, and gain round-trips.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "ZorvVLWizard.h"
#include "test_support.h"
#include "wizard_tree.h"

namespace {

using State = ZorvVLWizardShapeSelectState;
using wiztest::join;
using wiztest::makeDir;
using wiztest::makeFile;
using wiztest::makeToolDefinition;
using wiztest::Names;

// wizard\parts\01_Wing: regions 01_Spar (arm region: Spar.qini; scans A, B;
//   tools Probe, Roller) and 02_Rib (encoder region; scan C; tool Wheel)
// wizard\parts\02_Tail (permanent): region 01_Fin without scans, tool Probe
// wizard\parts\03_Bare: region 01_Empty without tools
// wizard\tools: 01_Wheel (encoder), 02_Probe (Arm), 03_Roller (arm), 04_Laser (ARM)
class SelectState : public ::testing::Test {
 protected:
  void SetUp() override {
    makeFile(join(wing, "01_Spar\\Spar.qini"), "[Collection]\r\n");
    makeFile(join(wing, "01_Spar\\01_A.bmp"));
    makeFile(join(wing, "01_Spar\\02_B.bmp"));
    makeDir(join(wing, "01_Spar\\01_Probe"));
    makeDir(join(wing, "01_Spar\\02_Roller"));
    makeFile(join(wing, "02_Rib\\01_C.bmp"));
    makeDir(join(wing, "02_Rib\\01_Wheel"));
    makeDir(join(tail, "01_Fin\\01_Probe"));
    makeFile(join(tail, "IsPermanent"));
    makeDir(join(parts, "03_Bare\\01_Empty"));
    makeToolDefinition(wizard, "01_Wheel", "Wheel", "encoder");
    makeToolDefinition(wizard, "02_Probe", "Probe", "Arm");
    makeToolDefinition(wizard, "03_Roller", "Roller", "arm");
    makeToolDefinition(wizard, "04_Laser", "Laser", "ARM");
  }

  testsupport::TempDir temp;
  const std::string wizard = join(temp.path(), "vl2_settings");
  const std::string parts = join(wizard, "parts");
  const std::string tools = join(wizard, "tools");
  const std::string wing = join(parts, "01_Wing");
  const std::string tail = join(parts, "02_Tail");
  const std::string spar = join(wing, "01_Spar");
  const std::string rib = join(wing, "02_Rib");
  State state;
  unsigned long previous = 12345;
};

TEST_F(SelectState, InitSelectsTheFirstPartScanRegionAndTool) {
  ASSERT_TRUE(state.init(temp.path()));
  EXPECT_EQ(state.getWizardDirectory(), wizard);
  EXPECT_EQ(state.getParts().get(), (Names{"Wing", "Tail", "Bare"}));
  EXPECT_EQ(state.getPartScans().get(), (Names{"A", "B", "C"}));
  EXPECT_EQ(state.getRegionTools().get(), (Names{"Probe", "Roller"}));
  EXPECT_EQ(state.getTools().get(), (Names{"Wheel", "Probe", "Roller", "Laser"}));
  EXPECT_EQ(state.getNumberOfParts(), 3u);
  EXPECT_EQ(state.getNumberOfPartScans(), 3u);
  EXPECT_EQ(state.getNumberOfRegionTools(), 2u);
  EXPECT_EQ(state.getPart(), "Wing");
  EXPECT_EQ(state.getRegion(), "Spar");
  EXPECT_EQ(state.getTool(), "Probe");
  EXPECT_FALSE(state.getIsPartVoid());
  EXPECT_FALSE(state.getIsScanVoid());
  EXPECT_FALSE(state.getIsToolVoid());
  EXPECT_TRUE(state.getDoesPartExist("Tail"));
  EXPECT_FALSE(state.getDoesPartExist("tail"));
  EXPECT_FALSE(state.getIsPartPermanent());
}

TEST_F(SelectState, PathsOfTheSelection) {
  ASSERT_TRUE(state.init(temp.path()));
  // The region tool is number 01 in the region, the library tool number 02.
  EXPECT_EQ(state.getFullPartDirectory(), wing);
  EXPECT_EQ(state.getFullRegionDirectory(), spar);
  EXPECT_EQ(state.getFullToolDirectory(), join(tools, "02_Probe"));
  EXPECT_EQ(state.getLogicalLocalSettingsDirectoryName(), join(spar, "01_Probe"));
  EXPECT_EQ(state.getSelectedToolINIFileName(), join(spar, "01_Probe\\Probe.ini"));
  EXPECT_EQ(state.getLocalSettingsFileName(), join(spar, "01_Probe\\Probe.vl2"));
  EXPECT_EQ(state.getMasterSettingsFileName(), join(tools, "02_Probe\\Probe.vl2"));
  EXPECT_EQ(state.getGainConfigINIFileName(), join(tools, "02_Probe\\Probe.gini"));
  EXPECT_EQ(state.getQuadsINIFileName(), join(spar, "Spar.qini"));
  EXPECT_EQ(state.getPartImageFileName(), join(wing, "Wing.bmp"));
  EXPECT_EQ(state.getScanImageFileName(), join(spar, "01_A.bmp"));
  EXPECT_EQ(state.getToolImageFileName(), join(tools, "02_Probe\\Probe.bmp"));
  EXPECT_EQ(state.getMissingImageFileName(), join(wizard, "misc\\missing.bmp"));

  ASSERT_TRUE(state.setToolIndex(1, previous));
  EXPECT_EQ(previous, 0u);
  EXPECT_EQ(state.getTool(), "Roller");
  EXPECT_EQ(state.getLocalSettingsFileName(), join(spar, "02_Roller\\Roller.vl2"));
  EXPECT_EQ(state.getMasterSettingsFileName(), join(tools, "03_Roller\\Roller.vl2"));
}

TEST_F(SelectState, SettingsFilePrefersLocalThenMaster) {
  ASSERT_TRUE(state.init(temp.path()));
  const std::string local = join(spar, "01_Probe\\Probe.vl2");
  const std::string master = join(tools, "02_Probe\\Probe.vl2");
  bool usedMaster = true;
  EXPECT_EQ(state.getSettingsFileName(&usedMaster), local);
  EXPECT_FALSE(usedMaster);

  makeFile(master);
  EXPECT_EQ(state.getSettingsFileName(&usedMaster), master);
  EXPECT_TRUE(usedMaster);
  EXPECT_EQ(state.getSettingsFileName(nullptr), master);

  makeFile(local);
  EXPECT_EQ(state.getSettingsFileName(&usedMaster), local);
  EXPECT_FALSE(usedMaster);
}

TEST_F(SelectState, PartSelectionVoidsTheScanOnlyWhenThePartChanges) {
  ASSERT_TRUE(state.init(temp.path()));
  EXPECT_FALSE(state.setPartIndex(3, previous));  // one past the last part
  EXPECT_EQ(previous, 12345u);
  EXPECT_EQ(state.getPart(), "Wing");
  EXPECT_FALSE(state.getIsScanVoid());

  EXPECT_TRUE(state.setPartIndex(0, previous));
  EXPECT_EQ(previous, 0u);
  EXPECT_FALSE(state.getIsScanVoid());

  // Tail's only region has no scans: its "missing" scan keeps the result true.
  EXPECT_TRUE(state.setPartIndex(1, previous));
  EXPECT_EQ(previous, 0u);
  EXPECT_EQ(state.getPart(), "Tail");
  EXPECT_TRUE(state.getIsScanVoid());
  EXPECT_EQ(state.getPartScans().get(), (Names{"missing"}));
  EXPECT_TRUE(state.getIsPartPermanent());
  EXPECT_EQ(state.getFullPartDirectory(), tail);

  // Bare has a region but neither scans nor tools.
  EXPECT_TRUE(state.setPartIndex(2, previous));
  EXPECT_EQ(previous, 1u);
}

TEST_F(SelectState, ScanSelectionFollowsTheScansRegion) {
  ASSERT_TRUE(state.init(temp.path()));
  ASSERT_TRUE(state.setScanIndex(2, previous));
  EXPECT_EQ(previous, 0u);
  EXPECT_EQ(state.getRegion(), "Rib");
  EXPECT_EQ(state.getFullRegionDirectory(), rib);
  EXPECT_EQ(state.getScanImageFileName(), join(rib, "01_C.bmp"));
  EXPECT_TRUE(state.getIsToolVoid());  // a different scan voids the tool
  EXPECT_EQ(state.getTool(), "");

  ASSERT_TRUE(state.setToolIndex(0, previous));
  EXPECT_EQ(state.getTool(), "Wheel");
  EXPECT_EQ(state.getFullToolDirectory(), join(tools, "01_Wheel"));
  ASSERT_TRUE(state.setScanIndex(2, previous));  // same scan again keeps the tool
  EXPECT_EQ(state.getTool(), "Wheel");

  ASSERT_TRUE(state.setScanIndex(1, previous));
  EXPECT_EQ(previous, 2u);
  EXPECT_EQ(state.getRegion(), "Spar");
  EXPECT_EQ(state.getScanImageFileName(), join(spar, "02_B.bmp"));
  EXPECT_FALSE(state.setScanIndex(3, previous));
  EXPECT_EQ(previous, 2u);
}

TEST_F(SelectState, UnknownToolAndRegionWithoutScans) {
  ASSERT_TRUE(state.init(temp.path()));
  // A region tool that the library lacks: the index is one past the library.
  makeDir(join(spar, "03_Ghost"));
  EXPECT_FALSE(state.setToolIndex(2, previous));
  EXPECT_EQ(state.getTool(), "Ghost");
  EXPECT_EQ(state.getFullToolDirectory(), join(tools, "05_Ghost"));
  EXPECT_FALSE(state.setToolIndex(3, previous));

  // Tail's placeholder scan has no image to select.
  ASSERT_TRUE(state.setPartIndex(1, previous));
  EXPECT_FALSE(state.setScanIndex(0, previous));
}

TEST_F(SelectState, VoidIndexes) {
  EXPECT_EQ(State::getVoidIndexID(), 4294967295UL);
  ASSERT_TRUE(state.init(temp.path()));
  state.setToolVoid();
  EXPECT_TRUE(state.getIsToolVoid());
  EXPECT_EQ(state.getTool(), "");
  state.setScanVoid();
  EXPECT_TRUE(state.getIsScanVoid());
  state.setPartVoid();
  EXPECT_TRUE(state.getIsPartVoid());
  EXPECT_EQ(state.getPart(), "");
}

TEST_F(SelectState, InitFailsOnVoidOrStaleSelection) {
  State voidPart;
  voidPart.setPartVoid();
  EXPECT_FALSE(voidPart.init(temp.path()));

  State voidScan;
  voidScan.setScanVoid();
  EXPECT_FALSE(voidScan.init(temp.path()));

  // Selected in a bigger tree, re-initialised after parts went away.
  State stale;
  ASSERT_TRUE(stale.init(temp.path()));
  ASSERT_TRUE(stale.setPartIndex(2, previous));
  ASSERT_TRUE(ZorvVLWizardUtilities::deletePart(wizard, 2));
  EXPECT_FALSE(stale.init(temp.path()));

  // The first region has no tools.
  testsupport::TempDir other;
  makeDir(join(other.path(), "vl2_settings\\parts\\01_P\\01_R"));
  makeDir(join(other.path(), "vl2_settings\\tools\\01_T"));
  State noTools;
  EXPECT_FALSE(noTools.init(other.path()));

  State noWizard;
  EXPECT_FALSE(noWizard.init(join(temp.path(), "none")));
  EXPECT_EQ(noWizard.getParts().get(), (Names{"missing"}));
}

TEST_F(SelectState, CopiesCarryTheWholeSelection) {
  ASSERT_TRUE(state.init(temp.path()));
  ASSERT_TRUE(state.setToolIndex(1, previous));
  State copy(state);
  State assigned;
  assigned = state;
  for (const State* s : {&copy, &assigned}) {
    EXPECT_EQ(s->getTool(), "Roller");
    EXPECT_EQ(s->getLocalSettingsFileName(), state.getLocalSettingsFileName());
    EXPECT_EQ(s->getGainConfigINIFileName(), state.getGainConfigINIFileName());
    EXPECT_EQ(s->getParts().get(), state.getParts().get());
  }
  ASSERT_TRUE(state.setScanIndex(2, previous));
  EXPECT_EQ(copy.getRegion(), "Spar");
}

TEST_F(SelectState, RegionCompatibleAndAvailableTools) {
  ASSERT_TRUE(state.init(temp.path()));
  // Spar has its .qini file: an arm region.
  EXPECT_EQ(state.getRegionCompatibleTools().get(), (Names{"Probe", "Roller", "Laser"}));
  EXPECT_EQ(state.getRegionAvailableTools().get(), (Names{"Laser"}));

  ASSERT_TRUE(state.setScanIndex(2, previous));  // Rib: an encoder region
  ASSERT_TRUE(state.setToolIndex(0, previous));
  EXPECT_EQ(state.getRegionCompatibleTools().get(), (Names{"Wheel"}));
  EXPECT_TRUE(state.getRegionAvailableTools().strings.empty());
}

TEST_F(SelectState, FullToolFileNameFromNames) {
  ASSERT_TRUE(state.init(temp.path()));
  std::string path = "unset";
  EXPECT_TRUE(state.getFullToolFilename("Wing", "Rib", "Wheel", path));
  EXPECT_EQ(path, join(rib, "01_Wheel\\Wheel.ini"));
  EXPECT_TRUE(state.getFullToolFilename("Tail", "Fin", "Probe", path));
  EXPECT_EQ(path, join(tail, "01_Fin\\01_Probe\\Probe.ini"));
  // A name missing from its list numbers one past the end.
  EXPECT_TRUE(state.getFullToolFilename("Wing", "Spar", "Laser", path));
  EXPECT_EQ(path, join(spar, "03_Laser\\Laser.ini"));

  EXPECT_FALSE(state.getFullToolFilename("Bare", "Empty", "Probe", path));
  EXPECT_EQ(path, "");
  path = "unset";
  EXPECT_FALSE(state.getFullToolFilename("Nope", "Spar", "Probe", path));
  EXPECT_EQ(path, "");
}

class GainRoundTrip : public SelectState {
 protected:
  void SetUp() override {
    SelectState::SetUp();
    ASSERT_TRUE(state.init(temp.path()));
    gini = join(tools, "02_Probe\\Probe.gini");
  }
  std::string gini;
};

TEST_F(GainRoundTrip, WrittenKeysAndAscendingReadBack) {
  State::GainState written;
  written.globalGain = 12.5;
  written.apertureGains = {1.0, 2.0};
  written.apertureNumbers = {3, 0};
  state.setGainState(written);
  const std::string text = testsupport::readFile(gini);
  EXPECT_NE(text.find("[GlobalGain]"), std::string::npos);
  EXPECT_NE(text.find("dB=12.5000000000000000"), std::string::npos);
  EXPECT_NE(text.find("[ApertureGains]"), std::string::npos);
  EXPECT_NE(text.find("dB3=1.0000000000000000"), std::string::npos);
  EXPECT_NE(text.find("dB0=2.0000000000000000"), std::string::npos);

  State::GainState read;
  ASSERT_TRUE(state.getGainState(read));
  EXPECT_DOUBLE_EQ(read.globalGain, 12.5);
  EXPECT_EQ(read.apertureNumbers, (std::vector<std::uint32_t>{0, 3}));
  EXPECT_EQ(read.apertureGains, (std::vector<double>{2.0, 1.0}));
}

TEST_F(GainRoundTrip, OlderKeysStayAndHighNumbersAreNotReadBack) {
  makeFile(gini, "[GlobalGain]\r\ndB=1\r\n[ApertureGains]\r\ndB5=7.25\r\n");
  State::GainState written;
  written.globalGain = -3.0;
  written.apertureGains = {4.5, 9.0};
  written.apertureNumbers = {128, 2};
  state.setGainState(written);
  EXPECT_NE(testsupport::readFile(gini).find("dB128=4.5"), std::string::npos);

  State::GainState read;
  read.apertureGains = {99.0};
  read.apertureNumbers = {99};
  ASSERT_TRUE(state.getGainState(read));
  EXPECT_DOUBLE_EQ(read.globalGain, -3.0);
  EXPECT_EQ(read.apertureNumbers, (std::vector<std::uint32_t>{2, 5}));
  EXPECT_EQ(read.apertureGains, (std::vector<double>{9.0, 7.25}));
}

TEST_F(GainRoundTrip, ValuesComeBackInSinglePrecision) {
  State::GainState written;
  written.globalGain = 0.1;
  state.setGainState(written);
  State::GainState read;
  ASSERT_TRUE(state.getGainState(read));
  EXPECT_EQ(read.globalGain, static_cast<double>(0.1f));
  EXPECT_TRUE(read.apertureGains.empty());
}

TEST_F(GainRoundTrip, UnpairedEntriesAreNotWritten) {
  State::GainState written;
  written.globalGain = 1.0;
  written.apertureGains = {1.0, 2.0, 3.0};
  written.apertureNumbers = {7};
  state.setGainState(written);
  State::GainState read;
  ASSERT_TRUE(state.getGainState(read));
  EXPECT_EQ(read.apertureNumbers, (std::vector<std::uint32_t>{7}));
  EXPECT_EQ(read.apertureGains, (std::vector<double>{1.0}));
}

// The settings reader's exception leaves the selection state as a pointer the
// caller catches by its type, reads and deletes.
TEST_F(GainRoundTrip, SettingsFailuresReachTheCallerAsTheReadersException) {
  using Exception = IniFileSection::IniFileException;
  struct Case {
    const char* name;
    std::function<void()> prepare;
    std::function<void()> call;
    IniFileSection::IniFailureKind kind;
    std::string message;
  };
  const Case cases[] = {
      {"gain that is no number", [&] { makeFile(gini, "[GlobalGain]\r\ndB=loud\r\n"); },
       [&] {
         State::GainState read;
         state.getGainState(read);
       },
       Exception::KeyUnavailable, "[GlobalGain] dB"},
      {"aperture gain that is no number",
       [&] { makeFile(gini, "[GlobalGain]\r\ndB=1\r\n[ApertureGains]\r\ndB3=\r\n"); },
       [&] {
         State::GainState read;
         state.getGainState(read);
       },
       Exception::KeyUnavailable, "[ApertureGains] dB3"},
      {"gain file that cannot be written",
       [&] {
         ASSERT_TRUE(ZorvVLWizardUtilities::deleteFile(gini));
         makeDir(gini);
       },
       [&] { state.setGainState(State::GainState{}); }, Exception::WriteFailed, ""},
      {"tool device that cannot be read",
       [&] {
         ASSERT_TRUE(ZorvVLWizardUtilities::deleteDirectory(gini));
         makeFile(join(tools, "03_Roller\\Roller.tini"), "[PositionCapture]\r\nDevice=\r\n");
       },
       [&] { state.getRegionCompatibleTools(); }, Exception::KeyUnavailable,
       "[PositionCapture] Device"},
      {"the same for the available tools", [] {}, [&] { state.getRegionAvailableTools(); },
       Exception::KeyUnavailable, "[PositionCapture] Device"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    c.prepare();
    bool caught = false;
    try {
      c.call();
    } catch (Exception* e) {
      caught = true;
      EXPECT_EQ(e->getType(), c.kind);
      EXPECT_EQ(e->getMessage(), c.message);
      delete e;
    }
    EXPECT_TRUE(caught);
  }
}

TEST_F(GainRoundTrip, EachToolHasItsOwnFileAndAMissingOneReadsFalse) {
  State::GainState read;
  read.globalGain = 42.0;
  EXPECT_FALSE(state.getGainState(read));
  EXPECT_EQ(read.globalGain, 42.0);

  State::GainState written;
  written.globalGain = 6.0;
  state.setGainState(written);
  ASSERT_TRUE(state.setToolIndex(1, previous));  // Roller
  EXPECT_FALSE(state.getGainState(read));
  EXPECT_TRUE(testsupport::exists(gini));
  EXPECT_FALSE(testsupport::exists(join(tools, "03_Roller\\Roller.gini")));
}

}  // namespace
