// "Quad mesh info" with the real program: the demo site, and a part whose
// collection 1 holds A and B and collection 2 holds C.
#include <string>

#include <gtest/gtest.h>

#include "E2eHarness.h"
#include "ZorvGeometry.h"

namespace {

using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh;
using e2e::keyPrompt;
using e2e::mainMenuScreen;
using e2e::Sandbox;
using e2e::transcriptsMatch;

const std::string kWizardStartup = "Detected: wizard directory.\nDirectory mode: Wizard.\n";

std::string prompt(int count) {
  return "Please enter value 1.." + std::to_string(count) + ": ";
}

TEST(QuadMeshInfo, DemoSiteAndTwoCollectionsListedLastToFirst) {
  Sandbox sandbox;
  sandbox.useDemoSite();
  sandbox.buildWizardTree(
      "parts/03_Test/01_Box/Box.qini = [QuadFile1]\\nName=A.quads\\nCollectionIndex=1\\n"
      "[QuadFile2]\\nName=B.quads\\nCollectionIndex=1\\n[QuadFile3]\\nName=C.quads\\nCollectionIndex=2\\n");
  const std::string box = sandbox.wizardDirectory() + "/parts/03_Test/01_Box/";
  RectMesh mesh;
  ASSERT_TRUE(mesh.setAsPlane({4.0, 2.0}, 2.0, true, 1.0));
  mesh.save(box + "A.quads");
  ASSERT_TRUE(mesh.setAsPlane({10.0, 3.0}, 0.3, true, 1.0));
  mesh.save(box + "B.quads");
  // Stretched to 3 x 1 quads of 10/3 x 3 mm.
  ASSERT_TRUE(mesh.setAsPlane({10.0, 3.0}, 3.0, false, 1.0));
  mesh.save(box + "C.quads");

  // Wing's Spar, then the test part's Box; then a part whose region cannot
  // be chosen (Bracket has one region, so no prompt), and exit.
  const e2e::RunResult run = sandbox.run("13\n1\n1\n 13\n3\n 16\n");
  ASSERT_FALSE(run.timedOut);
  EXPECT_EQ(run.exitStatus, 0);
  const std::string parts = "\nChoose part:\n\t1: Wing\n\t2: Bracket\n\t3: Test\n" + prompt(3);
  EXPECT_TRUE(transcriptsMatch(
      e2e::armStartupTranscript() + kWizardStartup + mainMenuScreen() + parts +
          "\nChoose region:\n\t1: Spar\n\t2: Skin\n" + prompt(2) +
          "\nCollection 1: \n"
          "\tSparCap\n\t\tSize (u,v) = (300, 20). Pitch = 2mm (2, 2).\n"
          "\tSparWeb\n\t\tSize (u,v) = (300, 60). Pitch = 2mm (2, 2).\n" +
          keyPrompt() + mainMenuScreen() + parts + "Chosen region Box.\n" +
          "\nCollection 1: \n"
          "\tB\n\t\tSize (u,v) = (34, 10). Pitch = 0.3mm (0.3, 0.3).\n"
          "\tA\n\t\tSize (u,v) = (2, 1). Pitch = 2mm (2, 2).\n"
          "\nCollection 2: \n"
          "\tC\n\t\tSize (u,v) = (3, 1). Pitch = 3mm (3.33333, 3).\n" +
          keyPrompt() + mainMenuScreen(),
      run.output));
}

TEST(QuadMeshInfo, RefusalsPrintOneLine) {
  Sandbox sandbox;
  sandbox.buildWizardTree(
      "parts/01_Gap/01_R/R.qini = [QuadFile1]\\nName=A.quads\\nCollectionIndex=1\\n"
      "[QuadFile2]\\nName=C.quads\\nCollectionIndex=3\\n\n"
      "parts/02_Empty/\n");
  const e2e::RunResult run = sandbox.run("13\n1\n 13\n2\n 16\n");
  const std::string parts = "\nChoose part:\n\t1: Gap\n\t2: Empty\n" + prompt(2);
  const std::string qini = "\\parts\\01_Gap\\01_R\\R.qini";
  EXPECT_NE(run.output.find(parts + "Chosen region R.\nCollection retrieve fail from "),
            std::string::npos)
      << e2e::visible(run.output);
  EXPECT_NE(run.output.find(qini + ".\n" + keyPrompt()), std::string::npos) << e2e::visible(run.output);
  EXPECT_NE(run.output.find(parts + "Chosen region missing.\nFailed to identify .qini or .ini file.\n" + keyPrompt()),
            std::string::npos)
      << e2e::visible(run.output);
}

}  // namespace
