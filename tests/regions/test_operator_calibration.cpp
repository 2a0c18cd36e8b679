// The operator-position calibration of the live region test: the flags it
// writes from the loaded values, and the clicks and files for which it
// writes nothing.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IniFileSection.h"
#include "RegionTestSupport.h"
#include "regions/RegionTest.h"

namespace {

OperatorClick click(int u, int v, const char* file = "Web", bool facing = true) {
  OperatorClick c;
  c.u = u;
  c.v = v;
  c.fileName = file;
  c.normalFacesProbe = facing;
  return c;
}

// The flags of a section as "U V N" ("-" for a key not there).
std::string flags(const std::string& path, const std::string& section) {
  std::string text;
  for (const char* key : {"FlipUAxis", "FlipVAxis", "FlipNormals"}) {
    const bool there = IniFileSection::keyExists(path, section, key);
    text += (text.empty() ? "" : " ") +
            (there ? IniFileSection(path, section, false).getString(key) : std::string("-"));
  }
  return text;
}

TEST(OperatorCalibration, VerdictAndFlagsWrittenOrNothingWritten) {
  const std::string web = "[QuadFile1]\nName=Web.quads\nCollectionIndex=1\n";
  const std::string allCorrect = "FlipUAxis correct. FlipVAxis correct. FlipNormals correct.";
  const std::string tooClose = "Clicks too close together. Press 'o' to try again.";
  struct Case {
    const char* what;
    std::string content;
    std::vector<OperatorClick> clicks;
    std::string status;
    std::string section;  // whose flags are checked
    std::string written;  // its flags afterwards
  };
  const std::vector<Case> cases = {
      {"right, above, facing", web, {click(10, 10), click(20, 11), click(9, 5)}, allCorrect,
       "QuadFile1", "true false false"},
      {"second click in the first one's column", web,
       {click(10, 10), click(10, 12), click(9, 5)}, tooClose, "QuadFile1", "- - -"},
      {"third click in the first one's row", web,
       {click(10, 10), click(20, 10), click(30, 10)}, tooClose, "QuadFile1", "- - -"},
      {"different files", web, {click(10, 10), click(20, 10, "Cap"), click(9, 5)},
       "You must select the same quad file for both points.", "QuadFile1", "- - -"},
      // The loader took position 1 from QuadFile, the search by name would
      // write QuadFile1.
      {"QuadFile and QuadFile1 both present",
       "[QuadFile]\nName=Web.quads\nCollectionIndex=1\n[QuadFile1]\nName=Web.quads\n"
       "CollectionIndex=1\n",
       {click(10, 10), click(20, 11), click(9, 5)},
       "Sections QuadFile and QuadFile1 both exist: no flags written.", "QuadFile1", "- - -"},
      {"QuadFile alone", "[QuadFile]\nName=Web.quads\nCollectionIndex=1\n",
       {click(10, 10), click(5, 11), click(9, 5)},
       "FlipUAxis changed. FlipVAxis correct. FlipNormals correct.", "QuadFile", "false false false"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PartFile part(c.content);
    RegionMeshLists lists;
    lists.positionFlipUAxis = {true};
    lists.positionFlipVAxis = {false};
    lists.positionFlipNormals = {false};
    EXPECT_EQ(calibrateOperatorPosition(part.context(), c.clicks, lists), c.status);
    EXPECT_EQ(flags(part.path(), c.section), c.written);
    // Only a calibration that writes changes the file.
    EXPECT_EQ(testsupport::readFile(part.path()) == c.content, c.written == "- - -");
  }
}

}  // namespace
