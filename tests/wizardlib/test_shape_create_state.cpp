// ZorvVLWizardShapeCreateState and the stock-object directories beside the
// host program (this test program): devices, their objects and tools, and the
// file names of the choice.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ZorvVLWizard.h"
#include "test_support.h"
#include "wizard_tree.h"

namespace {

using CreateState = ZorvVLWizardShapeCreateState;
using U = ZorvVLWizardUtilities;
using wiztest::join;
using wiztest::makeDir;
using wiztest::makeFile;
using wiztest::makeToolDefinition;
using wiztest::Names;

TEST(CompatibilityByDevice, DevicesOfferedWithAndWithoutArm) {
  EXPECT_EQ(CreateState(false).getDevices().get(), (Names{"encoder", "2dencoder"}));
  EXPECT_EQ(CreateState(true).getDevices().get(), (Names{"encoder", "arm", "2dencoder"}));
  CreateState fresh(true);
  EXPECT_EQ(fresh.getNumberOfDevices(), 3u);
  EXPECT_EQ(fresh.getNumberOfDeviceObjects(), 0u);
  EXPECT_EQ(fresh.getNumberOfDeviceTools(), 0u);
  EXPECT_EQ(fresh.getDevice(), "encoder");
  EXPECT_EQ(fresh.getObjectName(), "");
}

// The stock objects live beside the host program, here the test program in
// its own build folder: each test builds objects3d there and removes it.
class StockObjects : public ::testing::Test {
 protected:
  void SetUp() override {
    base = U::getArmStockObjectsTemplateDirectory();
    base.erase(base.size() - std::string("\\templates").size());
    ASSERT_EQ(wiztest::parentOf(base) + "\\objects3d", base);
    if (U::getDoesDirectoryExist(base)) {
      ASSERT_TRUE(U::deleteDirectory(base));
    }
    makeDir(U::getArmStockObjectsTemplateDirectory());

    makeToolDefinition(wizard, "01_Wheel", "Wheel", "encoder");
    makeToolDefinition(wizard, "02_Probe", "Probe", "arm");
    makeToolDefinition(wizard, "03_Roller", "Roller", "ARM");
  }
  void TearDown() override {
    if (U::getDoesDirectoryExist(base)) {
      EXPECT_TRUE(U::deleteDirectory(base));
    }
  }

  std::string base;
  testsupport::TempDir temp;
  const std::string wizard = join(temp.path(), "vl2_settings");
  unsigned long previous = 12345;
};

TEST_F(StockObjects, DirectoriesBesideTheHostProgram) {
  EXPECT_EQ(U::getArmStockObjectsTemplateDirectory(), join(base, "templates"));
  EXPECT_EQ(U::getArmStockObjectsCalibrationDirectory(), join(base, "calibration"));
  EXPECT_EQ(U::getArmStockObjectsDevicesDirectory(), join(base, "devices"));
  // The test program sits in the directory above objects3d.
  EXPECT_TRUE(U::getDoesDirectoryExist(wiztest::parentOf(base)));
  EXPECT_TRUE(U::getDoesDirectoryExist(U::getArmStockObjectsTemplateDirectory()));
}

TEST_F(StockObjects, ArmObjectsAreTheNumberedTemplates) {
  string_vector list;
  EXPECT_FALSE(U::getCompatibleObjects("arm", list));
  EXPECT_TRUE(list.strings.empty());  // no placeholder

  const std::string dir = U::getArmStockObjectsTemplateDirectory();
  makeFile(join(dir, "01_Block.qini"));
  makeFile(join(dir, "02_Plate.qini"));
  makeFile(join(dir, "04_Cone.qini"));
  makeFile(join(dir, "Plate_part.bmp"));
  EXPECT_TRUE(U::getCompatibleObjects("ARM", list));
  EXPECT_EQ(list.get(), (Names{"Block", "Plate"}));
}

TEST_F(StockObjects, EncoderChoice) {
  CreateState state(true);
  ASSERT_TRUE(state.init(temp.path()));
  ASSERT_TRUE(state.setDeviceIndex(0, previous));
  EXPECT_EQ(previous, 0u);
  EXPECT_EQ(state.getDevice(), "encoder");
  EXPECT_EQ(state.getObjects().get(), (Names{"stripe", "radius"}));
  EXPECT_EQ(state.getTools().get(), (Names{"Wheel"}));
  ASSERT_TRUE(state.setObjectIndex(1, previous));
  EXPECT_EQ(previous, 0u);
  EXPECT_EQ(state.getObject(), "radius");
  EXPECT_FALSE(state.setObjectIndex(2, previous));
  EXPECT_EQ(state.getObject(), "radius");
  EXPECT_TRUE(state.setObjectName("Fuselage"));
  EXPECT_EQ(state.getObjectName(), "Fuselage");

  std::string name;
  EXPECT_TRUE(state.getObjectTemplatePartImageFileName(name));
  EXPECT_EQ(name, "radius_part.bmp");
  EXPECT_TRUE(state.getObjectTemplateScanImageFileName(name));
  EXPECT_EQ(name, "radius_scan.bmp");
  EXPECT_EQ(state.getObjectImageFileName(),
            join(U::getArmStockObjectsTemplateDirectory(), "radius_part.bmp"));
  EXPECT_EQ(state.getDeviceImageFileName(),
            join(U::getArmStockObjectsDevicesDirectory(), "01_encoder.bmp"));
  EXPECT_EQ(state.getToolImageFileName(), join(wizard, "tools\\01_Wheel\\Wheel.bmp"));
}

TEST_F(StockObjects, DeviceWithoutToolsIsStillChosen) {
  CreateState state(true);
  ASSERT_TRUE(state.init(temp.path()));
  EXPECT_FALSE(state.setDeviceIndex(2, previous));
  EXPECT_EQ(state.getDevice(), "2dencoder");
  EXPECT_EQ(state.getObjects().get(), (Names{"plane"}));
  EXPECT_TRUE(state.getTools().strings.empty());
  EXPECT_EQ(state.getDeviceImageFileName(),
            join(U::getArmStockObjectsDevicesDirectory(), "03_2dencoder.bmp"));
  EXPECT_FALSE(state.setDeviceIndex(3, previous));
  EXPECT_EQ(previous, 0u);
  EXPECT_EQ(state.getDevice(), "2dencoder");
}

TEST_F(StockObjects, ArmWithoutTemplatesKeepsTheDevice) {
  CreateState state(true);
  ASSERT_TRUE(state.init(temp.path()));
  ASSERT_TRUE(state.setDeviceIndex(0, previous));
  previous = 12345;
  EXPECT_FALSE(state.setDeviceIndex(1, previous));
  EXPECT_EQ(previous, 0u);  // written before the failure
  EXPECT_EQ(state.getDevice(), "encoder");
  EXPECT_EQ(state.getNumberOfDeviceObjects(), 0u);
}

TEST_F(StockObjects, ArmTemplateAndCalibrationFiles) {
  const std::string calibration = U::getArmStockObjectsCalibrationDirectory();
  makeFile(join(U::getArmStockObjectsTemplateDirectory(), "01_Block.qini"));
  makeFile(join(U::getArmStockObjectsTemplateDirectory(), "02_Plate.qini"));
  makeFile(join(calibration, "02_Plate.ini"));
  makeFile(join(calibration, "02_Plate.quads"));

  CreateState state(true);
  ASSERT_TRUE(state.init(temp.path()));
  ASSERT_TRUE(state.setDeviceIndex(1, previous));
  EXPECT_EQ(state.getObjects().get(), (Names{"Block", "Plate"}));
  EXPECT_EQ(state.getTools().get(), (Names{"Probe", "Roller"}));
  ASSERT_TRUE(state.setObjectIndex(1, previous));
  ASSERT_TRUE(state.setToolIndex(1, previous));

  std::string name;
  EXPECT_TRUE(state.getObjectTemplateQINIFileName(name));
  EXPECT_EQ(name, "02_Plate.qini");
  EXPECT_TRUE(state.getObjectCalibrationINIFileName(name));
  EXPECT_EQ(name, "02_Plate.ini");
  EXPECT_TRUE(state.getObjectCalibrationQuadsFileName(name));
  EXPECT_EQ(name, "02_Plate.quads");
  EXPECT_EQ(state.getObjectImageFileName(),
            join(U::getArmStockObjectsTemplateDirectory(), "Plate_part.bmp"));
  // Numbered by the tool's place in the library, not in the device's list.
  EXPECT_EQ(state.getToolImageFileName(), join(wizard, "tools\\03_Roller\\Roller.bmp"));

  ASSERT_TRUE(state.setObjectIndex(0, previous));
  name = "unchanged";
  EXPECT_FALSE(state.getObjectCalibrationINIFileName(name));
  EXPECT_EQ(name, "unchanged");

  CreateState copy(state);
  CreateState assigned(false);
  assigned = state;
  for (const CreateState* s : {&copy, &assigned}) {
    EXPECT_EQ(s->getDevices().get(), (Names{"encoder", "arm", "2dencoder"}));
    EXPECT_EQ(s->getObject(), "Block");
    EXPECT_EQ(s->getTool(), "Roller");
    EXPECT_EQ(s->getToolImageFileName(), state.getToolImageFileName());
  }
}

TEST_F(StockObjects, IndexesOutsideChangedListsGiveEmptyNames) {
  CreateState state(true);
  ASSERT_TRUE(state.init(temp.path()));
  // Nothing chosen yet: the object and tool lists are empty.
  EXPECT_EQ(state.getObject(), "");
  EXPECT_EQ(state.getTool(), "");
  EXPECT_EQ(state.getObjectImageFileName(), "");
  EXPECT_EQ(state.getToolImageFileName(), "");
  std::string name = "unchanged";
  EXPECT_FALSE(state.getObjectTemplateQINIFileName(name));
  EXPECT_EQ(name, "");
  EXPECT_FALSE(state.getObjectTemplatePartImageFileName(name));
  EXPECT_FALSE(state.setToolIndex(0, previous));

  // The encoder's second object stays selected when the device changes to
  // one with a single object.
  ASSERT_TRUE(state.setDeviceIndex(0, previous));
  ASSERT_TRUE(state.setObjectIndex(1, previous));
  EXPECT_FALSE(state.setDeviceIndex(2, previous));
  EXPECT_EQ(state.getNumberOfDeviceObjects(), 1u);
  EXPECT_EQ(state.getObject(), "");
  EXPECT_FALSE(state.getObjectTemplateScanImageFileName(name));
  EXPECT_EQ(name, "");
}

}  // namespace
