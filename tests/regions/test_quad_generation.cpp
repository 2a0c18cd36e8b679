// Planar and cylinder-based generation with scripted console answers: sizes
// from the section or asked, the limits of the prompts, the section search,
// and the written file read back.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RegionTestSupport.h"
#include "ZorvGeometry.h"
#include "console/ConsoleServices.h"
#include "regions/QuadGeneration.h"

using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh;

namespace {

const std::string kU = "Please enter u extents (mm): ";
const std::string kV = "Please enter v extents (mm): ";
const std::string kPitch = "Please enter pitch (mm): ";
const std::string kTooBig = "Invalid extents: maximum value is 5000mm.\n";
const std::string kBadPitch = "Invalid pitch, must satisfy 0.1 <= pitch, mm <= 8.\n";

std::string generated(const std::string& path, unsigned u, unsigned v) {
  return "Planar .quads file generated successfully.\nQuad extents: " + std::to_string(u) + ", " +
         std::to_string(v) + ".\nFile " + path + " saved successfully.\n";
}

TEST(PlanarGeneration, SizesFromTheSectionOrAskedWithinLimits) {
  struct Case {
    const char* what;
    std::string keys;
    std::string input;
    std::string prompts;  // what is printed before the result lines
    unsigned u, v;
  };
  const std::vector<Case> cases = {
      {"every size in the section", "USizemm=400\nVSizemm=250\nPitchmm=2\n", "", "", 200, 125},
      {"5000 refused, a word asked again per character", "Pitchmm=2\n", "5000\n100\nab\n50\n",
       kU + kTooBig + kU + kV + kV + kV, 50, 25},
      {"pitch 0.09 and 8.01 refused, 8 taken", "USizemm=80\nVSizemm=16\n", "0.09\n8.01\n8\n",
       kPitch + kBadPitch + kPitch + kBadPitch + kPitch, 10, 2},
      {"pitch 0.1 taken", "USizemm=1\nVSizemm=0.5\n", "0.1\n", kPitch, 10, 5},
      {"values in the section are used as they are", "USizemm=6000\nVSizemm=10\nPitchmm=10\n", "", "",
       600, 1},
  };
  for (const Case& c : cases) {
    PartFile part("[QuadFile1]\nName=Panel.quads\n" + c.keys);
    const std::string path = part.file("Panel.quads");
    ScriptedConsole console(c.input);
    EXPECT_TRUE(generatePlanarQuadFile(part.context(), path)) << c.what;
    EXPECT_EQ(console.output(), c.prompts + generated(path, c.u, c.v)) << c.what;
    unsigned u = 0, v = 0;
    double pitch = 0, pu = 0, pv = 0;
    RectMesh::getFileHeaderItems(path, u, v, pitch, pu, pv);
    EXPECT_EQ(u, c.u) << c.what;
    EXPECT_EQ(v, c.v) << c.what;
    RectMesh loaded;
    loaded.load(path);
    EXPECT_EQ(loaded.getExtents().getdU(), c.u) << c.what;
  }
}

TEST(PlanarGeneration, FailuresAndTheEndOfInput) {
  {  // Numbered sections compare the name with its case; the plain one without.
    PartFile part("[QuadFile1]\nName=panel.quads\nUSizemm=10\nVSizemm=10\nPitchmm=1\n");
    ScriptedConsole console("");
    EXPECT_FALSE(generatePlanarQuadFile(part.context(), part.file("Panel.quads")));
    EXPECT_EQ(console.output(), "");
    EXPECT_FALSE(testsupport::exists(part.file("Panel.quads")));
  }
  {
    PartFile part("[QuadFile]\nName=PANEL.QUADS\nUSizemm=10\nVSizemm=10\nPitchmm=1\n");
    ScriptedConsole console("");
    EXPECT_TRUE(generatePlanarQuadFile(part.context(), part.file("Panel.quads")));
  }
  {  // After the plain section the search goes on at QuadFile2.
    PartFile part("[QuadFile]\nName=A.quads\n[QuadFile1]\nName=B.quads\nPitchmm=1\n"
                  "[QuadFile2]\nName=C.quads\nUSizemm=3\nVSizemm=3\nPitchmm=1\n");
    ScriptedConsole console("");
    EXPECT_FALSE(generatePlanarQuadFile(part.context(), part.file("B.quads")));
    EXPECT_TRUE(generatePlanarQuadFile(part.context(), part.file("C.quads")));
  }
  {  // Zero extents are taken at the prompt and refused by the mesh.
    PartFile part("[QuadFile1]\nName=P.quads\nVSizemm=10\nPitchmm=1\n");
    ScriptedConsole console("0\n");
    EXPECT_FALSE(generatePlanarQuadFile(part.context(), part.file("P.quads")));
    EXPECT_EQ(console.output(),
              kU + "Planar .quads file generation failure. Please check parameters and try again.\n");
  }
  {  // A directory in the file's place cannot take it.
    PartFile part("[QuadFile1]\nName=P.quads\nUSizemm=10\nVSizemm=10\nPitchmm=1\n");
    const std::string path = part.file("P.quads");
    testsupport::makeDirectories(path);
    ScriptedConsole console("");
    EXPECT_FALSE(generatePlanarQuadFile(part.context(), path));
    EXPECT_EQ(console.output(), "Planar .quads file generated successfully.\nQuad extents: 10, 10.\n"
                                "File " + path + " save failure.\n");
  }
  {  // End of input at a size prompt ends the generation; nothing is written.
    PartFile part("[QuadFile1]\nName=P.quads\n");
    ScriptedConsole console("12\n");
    EXPECT_THROW(generatePlanarQuadFile(part.context(), part.file("P.quads")), ConsoleInputEnded);
    EXPECT_EQ(console.output(), kU + kV);
    EXPECT_FALSE(testsupport::exists(part.file("P.quads")));
  }
}

TEST(QuadFileGeneration, NamesThatCouldLeaveThePartDirectoryAreRefused) {
  struct Case {
    const char* what;
    std::string name;  // "Name" of the collection's section and the path below the part directory
    bool cylinder;
  };
  const std::vector<Case> cases = {
      {"up with /", "../Out.quads", false},
      // The last part alone, "Out.quads", is the name of another section.
      {"up with \\", "..\\Out.quads", false},
      {"down with /", "x/Out.quads", false},
      {"a drive or stream colon", "C:Out.quads", false},
      {"up, cylinder-based", "../Out.quads", true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // The part settings file lies one level below the temporary directory,
    // so that a file written one level up stays inside it.
    PartFile part("");
    testsupport::makeDirectories(part.file("sub"));
    const std::string sizes = "USizemm=10\nVSizemm=10\nPitchmm=1\n";
    part.context().partSettingsFile = part.file("sub\\Part.qini");
    testsupport::writeFile(part.context().partSettingsFile,
                           "[QuadFile1]\nName=" + c.name + "\n" + sizes +
                               "[QuadFile2]\nName=Out.quads\n" + sizes);
    const std::string path = part.file("sub\\" + c.name);
    ScriptedConsole console("");
    EXPECT_FALSE(c.cylinder ? generateCylinderQuadFile(part.context(), path)
                            : generatePlanarQuadFile(part.context(), path));
    EXPECT_EQ(console.output(), "Quad file name " + c.name +
                                    " refused: a name must not contain /, \\, : or \"..\".\n");
    EXPECT_FALSE(testsupport::exists(part.file("Out.quads")));
    EXPECT_FALSE(testsupport::exists(part.file("sub\\Out.quads")));
    EXPECT_FALSE(testsupport::exists(path));
  }
}

TEST(CylinderGeneration, HalfCylinderWhateverTheSectionHolds) {
  PartFile part("[QuadFile1]\nName=Other.quads\n[QuadFile2]\nName=Tube.quads\nUSizemm=1\n");
  const std::string path = part.file("Tube.quads");
  ScriptedConsole console("");
  ASSERT_TRUE(generateCylinderQuadFile(part.context(), path));
  EXPECT_EQ(console.output(), "Cylinder-based .quads file generated successfully.\n"
                              "Quad extents: 157, 1000.\nFile " + path + " saved successfully.\n");
  unsigned u = 0, v = 0;
  double pitch = 0, pu = 0, pv = 0;
  RectMesh::getFileHeaderItems(path, u, v, pitch, pu, pv);
  EXPECT_EQ(u, 157u);
  EXPECT_EQ(v, 1000u);
  EXPECT_FALSE(generateCylinderQuadFile(part.context(), part.file("Missing.quads")));
}

}  // namespace
