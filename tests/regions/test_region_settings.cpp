// Quad-file, transform and probe position sections; loading, grouping and
// placing a region's meshes.
#include <limits>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "IniFileSection.h"
#include "RegionTestSupport.h"
#include "partmodel/CollectionSettings.h"
#include "regions/RegionSettings.h"

using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMeshGroups;
using Offset = Zorv::Geometry::TwoDimensional::Vector<int>;

namespace {

const std::string kTransform111 =
    "[PartLocalToArmGlobal111]\nRotationAngleX=0\nRotationAngleY=0\nRotationAngleZ=90\n"
    "TranslationX=100\nTranslationY=0\nTranslationZ=0\nRotationOriginX=0\nRotationOriginY=0\n"
    "RotationOriginZ=0\n";

// A 10 x 10 mm plane of 1 mm quads saved in the part's directory.
void savePlane(const PartFile& part, const std::string& name) {
  RectMesh mesh;
  ASSERT_TRUE(mesh.setAsPlane({10.0, 10.0}, 1.0, true, 1.0));
  mesh.save(part.file(name));
}

QuadFileEntry entry(const char* name, int collection, Offset offset, bool normals, bool u, bool v) {
  QuadFileEntry e;
  e.name = name;
  e.collection = collection;
  e.offset = offset;
  e.flipNormals = normals;
  e.flipUAxis = u;
  e.flipVAxis = v;
  return e;
}

TEST(QuadFileSection, KeysDefaultsAndMessages) {
  // The expected entry is built by a function: MinGW's -O3 warns about
  // aggregate-initialised entries with a string inside a table.
  struct Case {
    const char* what;
    std::string keys;
    bool ok;
    QuadFileEntry (*expected)();
    std::string messages;
  };
  static constexpr int kLowest = std::numeric_limits<int>::min();
  const std::string partialIndex =
      "Section QuadFile has partial syntax. Missing CollectionIndex key, defaulting to 0.\n";
  const std::string partialOffset =
      "Section QuadFile has partial syntax. At least one missing Offset key, defaulting to (0, 0).\n";
  const std::vector<Case> cases = {
      {"every key", "Name=A.quads\nCollectionIndex=2\nOffsetU=5\nOffsetV=-7\nFlipNormals=yes\n"
                    "FlipUAxis=YES\nFlipVAxis=true\n",
       true, [] { return entry("A.quads", 1, Offset(5, -7), true, true, true); }, ""},
      {"FlipVAxis only for the exact text", "Name=A\nCollectionIndex=1\nOffsetU=0\nOffsetV=0\n"
                                            "FlipUAxis=True\nFlipVAxis=True\nFlipNormals=no\n",
       true, [] { return entry("A", 0, Offset(0, 0), false, true, false); }, ""},
      {"FlipVAxis yes is false", "Name=A\nCollectionIndex=1\nOffsetU=1\nOffsetV=1\nFlipVAxis=yes\n",
       true, [] { return entry("A", 0, Offset(1, 1), false, false, false); }, ""},
      {"half an offset stays (0, 0)", "Name=A\nCollectionIndex=1\nOffsetU=4\n",
       true, [] { return entry("A", 0, Offset(0, 0), false, false, false); }, partialOffset},
      {"missing CollectionIndex and offsets", "Name=A\n",
       true, [] { return entry("A", 0, Offset(0, 0), false, false, false); }, partialIndex + partialOffset},
      {"missing Name fails but reads the rest", "CollectionIndex=3\nOffsetU=1\nOffsetV=2\n",
       false, [] { return entry("", 2, Offset(1, 2), false, false, false); },
       "Section QuadFile has invalid syntax. Missing Name key.\n"},
      {"the lowest index has no predecessor",
       "Name=A\nCollectionIndex=-2147483648\nOffsetU=0\nOffsetV=0\n", true,
       [] { return entry("A", kLowest, Offset(0, 0), false, false, false); }, ""},
  };
  for (const Case& c : cases) {
    PartFile part("[QuadFile]\n" + c.keys);
    ScriptedConsole console("");
    QuadFileEntry read;
    EXPECT_EQ(readQuadFileSection(part.context(), "QuadFile", read), c.ok) << c.what;
    EXPECT_EQ(console.output(), c.messages) << c.what;
    const QuadFileEntry expected = c.expected();
    EXPECT_EQ(read.name, expected.name) << c.what;
    EXPECT_EQ(read.collection, expected.collection) << c.what;
    EXPECT_EQ(read.offset, expected.offset) << c.what;
    EXPECT_EQ(read.flipNormals, expected.flipNormals) << c.what;
    EXPECT_EQ(read.flipUAxis, expected.flipUAxis) << c.what;
    EXPECT_EQ(read.flipVAxis, expected.flipVAxis) << c.what;
  }
}

TEST(TransformSection, GroupsMessagesAndQuietFlag) {
  PartFile part(kTransform111 +
                "[Partial]\nRotationAngleX=1\nRotationAngleZ=3\nTranslationX=1\nTranslationY=2\n"
                "[NoOrigin]\nRotationAngleX=0\nRotationAngleY=0\nRotationAngleZ=0\nTranslationX=1\n"
                "TranslationY=2\nTranslationZ=nan\nRotationOriginX=0\n");
  struct Case {
    const char* section;
    bool quiet;
    bool ok;
    std::string messages;
  };
  const std::string missing = "Section Absent has invalid syntax. Missing ";
  const std::vector<Case> cases = {
      {"PartLocalToArmGlobal111", false, true, ""},
      // The translation group is not read once the angles failed.
      {"Partial", false, false, "Section Partial has invalid syntax. Missing RotationAngleY key.\n"},
      {"NoOrigin", false, false, "Section NoOrigin has invalid syntax. Missing TranslationZ key.\n"},
      {"Absent", false, false,
       missing + "RotationAngleX key.\n" + missing + "RotationAngleY key.\n" + missing +
           "RotationAngleZ key.\n"},
      {"Absent", true, false, ""},
  };
  for (const Case& c : cases) {
    ScriptedConsole console("");
    SectionTransform transform;
    transform.translation = Vector(-1, -1, -1);
    EXPECT_EQ(readTransformSection(part.context(), part.path(), c.section, transform, c.quiet), c.ok)
        << c.section;
    EXPECT_EQ(console.output(), c.messages) << c.section;
    if (c.ok) {
      EXPECT_NEAR(transform.rotationAngles.z, Utility::pi / 2, 1e-7);
      EXPECT_EQ(transform.translation, Vector(100, 0, 0));
    } else {
      EXPECT_EQ(transform.translation, Vector(-1, -1, -1)) << "untouched on failure";
    }
  }
}

TEST(RegionMeshes, LoadGroupsPerCollectionAndPlacesWithFallbacks) {
  PartFile part(
      "[QuadFile]\nName=A.quads\nCollectionIndex=1\nOffsetU=0\nOffsetV=0\nFlipUAxis=yes\n"
      "[QuadFile2]\nName=C.quads\nCollectionIndex=2\nOffsetU=100\nOffsetV=0\nFlipVAxis=true\n"
      "[QuadFile3]\nName=B.quads\nCollectionIndex=1\nOffsetU=0\nOffsetV=50\nFlipNormals=true\n"
      "[QuadFile5]\nName=Never.quads\nCollectionIndex=1\n" +
      kTransform111 +
      "[PartLocalToArmGlobal121]\nRotationAngleX=0\nRotationAngleY=0\nRotationAngleZ=0\n"
      "TranslationX=0\nTranslationY=0\nTranslationZ=5\nRotationOriginX=0\nRotationOriginY=0\n"
      "RotationOriginZ=0\n");
  savePlane(part, "A.quads");
  savePlane(part, "C.quads");
  // B shares A's collection, so it must lie away from A's quads.
  RectMesh arc;
  ASSERT_TRUE(arc.setAsCylinderArc(50.0, Utility::pi, 10.0, 1.0, 1.0));
  arc.save(part.file("B.quads"));
  ScriptedConsole console("");
  RectMeshGroups master;
  RegionMeshLists lists;
  ASSERT_TRUE(loadRegionMeshes(part.context(), master, lists));
  EXPECT_EQ(console.output(), "Loading .quads files...\n");
  EXPECT_EQ(lists.collectionCount, 2);
  const std::string dir = part.directory() + "\\";
  EXPECT_EQ(lists.paths, (std::vector<std::vector<std::string>>{{dir + "A.quads", dir + "B.quads"},
                                                                {dir + "C.quads"}}));
  EXPECT_EQ(lists.offsets, (std::vector<std::vector<Offset>>{{Offset(0, 0), Offset(0, 50)},
                                                            {Offset(100, 0)}}));
  EXPECT_EQ(lists.flipUAxes, (std::vector<std::vector<bool>>{{true, false}, {false}}));
  EXPECT_EQ(lists.flipVAxes, (std::vector<std::vector<bool>>{{false, false}, {true}}));
  EXPECT_EQ(lists.flipNormals, (std::vector<std::vector<bool>>{{false, true}, {false}}));
  EXPECT_EQ(lists.names, (std::vector<std::string>{"A.quads", "C.quads", "B.quads"}));
  EXPECT_EQ(lists.positionFlipUAxis, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(lists.positionFlipNormals, (std::vector<bool>{false, false, true}));
  EXPECT_EQ(master.getCollectionCount(), 2);

  // Collection 1 turns a quarter about z and moves 100 mm along x; collection 2 rises 5 mm.
  RectMeshGroups working = master;
  ASSERT_TRUE(applyPartTransforms(part.context(), 2, 0, 0, working));
  const auto hit = working.getIntersectionStatus(Point(97.5, 0.5, 50), Vector(0, 0, -1), false);
  ASSERT_TRUE(hit.getIsValid());
  EXPECT_EQ(hit.getFileName(), "A");
  EXPECT_EQ(hit.getIndices(), Offset(9, 2)) << "u of x 0.5 flipped; v of x 2.5";
  EXPECT_NEAR(hit.getIntersectionData().getDistanceToObject(), 50.0, 1e-9);
  const auto raised = working.getIntersectionStatus(Point(3.5, 4.5, 50), Vector(0, 0, -1), false);
  ASSERT_TRUE(raised.getIsValid());
  EXPECT_EQ(raised.getFileName(), "C");
  EXPECT_NEAR(raised.getIntersectionData().getDistanceToObject(), 45.0, 1e-9);
  // The master stays unplaced; positions without sections place nothing.
  EXPECT_TRUE(master.getIntersectionStatus(Point(0.5, 0.5, 1), Vector(0, 0, -1), false).getIsValid());
  EXPECT_FALSE(applyPartTransforms(part.context(), 2, 1, 0, working));
  EXPECT_FALSE(applyPartTransforms(part.context(), 2, 0, 1, working));
  EXPECT_EQ(console.output(), "Loading .quads files...\n") << "absent sections are silent";
}

TEST(RegionMeshes, OlderTransformFormsOnlyForOneCollectionAtPartPosition1) {
  const std::string plainBody =
      "RotationAngleX=0\nRotationAngleY=0\nRotationAngleZ=0\nTranslationX=0\nTranslationY=0\n"
      "TranslationZ=0\nRotationOriginX=0\nRotationOriginY=0\nRotationOriginZ=0\n";
  struct Case {
    std::string sections;
    int collections, arm, part;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {"[PartLocalToArmGlobal111]\n[PartLocalToArmGlobal1]\n[PartLocalToArmGlobal]\n", 1, 0, 0,
       "PartLocalToArmGlobal111"},
      {"[PartLocalToArmGlobal1]\n[PartLocalToArmGlobal]\n", 1, 0, 0, "PartLocalToArmGlobal1"},
      {"[PartLocalToArmGlobal]\n", 1, 0, 0, "PartLocalToArmGlobal"},
      {"[PartLocalToArmGlobal2]\n[PartLocalToArmGlobal]\n", 1, 1, 0, "PartLocalToArmGlobal2"},
      {"[PartLocalToArmGlobal]\n", 1, 1, 0, ""},
      {"[PartLocalToArmGlobal1]\n[PartLocalToArmGlobal]\n", 2, 0, 0, ""},
      {"[PartLocalToArmGlobal1]\n[PartLocalToArmGlobal]\n", 1, 0, 1, ""},
      // Arm position 111 of one collection would be the section of (1, 1, 1).
      {"[PartLocalToArmGlobal111]\n", 1, 110, 0, ""},
  };
  for (const Case& c : cases) {
    std::string content = "[QuadFile1]\nName=A.quads\nCollectionIndex=1\n";
    // Every section named gets the full key set.
    std::string rest = c.sections;
    for (std::size_t end; (end = rest.find('\n')) != std::string::npos; rest.erase(0, end + 1)) {
      content += rest.substr(0, end + 1) + plainBody;
    }
    PartFile part(content);
    EXPECT_EQ(findPartTransformSection(part.context(), c.collections, c.arm, 1, c.part), c.expected)
        << c.sections << " arm " << c.arm << " part " << c.part;
  }

  // Eleven part positions: arm position 11's full name (1111) could also be
  // (1, 1, 11). While that section is absent the older name serves; once it
  // is there the position is refused, with the ambiguity named first.
  PartFile eleven("[Region]\nNumberOfPartPositions=11\n[QuadFile1]\nName=A.quads\n"
                  "CollectionIndex=1\n[PartLocalToArmGlobal11]\n" + plainBody);
  EXPECT_EQ(findPartTransformSection(eleven.context(), 1, 10, 1, 0), "PartLocalToArmGlobal11");
  testsupport::writeFile(eleven.path(), testsupport::readFile(eleven.path()) +
                                            "[PartLocalToArmGlobal1111]\n" + plainBody);
  EXPECT_EQ(findPartTransformSection(eleven.context(), 1, 10, 1, 0), "");
  ScriptedConsole console("");
  RectMeshGroups meshes;
  EXPECT_FALSE(applyPartTransforms(eleven.context(), 1, 10, 0, meshes));
  EXPECT_EQ(console.output(), ambiguousSectionMessage("PartLocalToArmGlobal1111", eleven.path()));
}

TEST(RegionMeshes, RefusesCollectionIndicesThatWouldMisplaceFiles) {
  struct Case {
    std::string sections;
    std::string message;
  };
  const std::vector<Case> cases = {
      {"[QuadFile1]\nName=A.quads\nCollectionIndex=0\n",
       "Section QuadFile1 of {file} has CollectionIndex 0, which must lie between 1 and 1.\n"},
      {"[QuadFile1]\nName=A.quads\nCollectionIndex=1\n[QuadFile2]\nName=A.quads\nCollectionIndex=3\n",
       "Section QuadFile2 of {file} has CollectionIndex 3, which must lie between 1 and 2.\n"},
      {"[QuadFile1]\nName=A.quads\nCollectionIndex=100\n",
       "Section QuadFile1 of {file} has CollectionIndex 100, which must lie between 1 and 1.\n"},
      {"[QuadFile1]\nName=A.quads\nCollectionIndex=3\n[QuadFile2]\nName=A.quads\nCollectionIndex=1\n"
       "[QuadFile3]\nName=A.quads\nCollectionIndex=1\n",
       "Section QuadFile1 of {file} has CollectionIndex 3, but no quad file has CollectionIndex 2.\n"},
      {"[QuadFile1]\nCollectionIndex=1\n",
       "Section QuadFile1 has invalid syntax. Missing Name key.\n"
       "Retrieve fail from section QuadFile1 of {file}.\n"},
      // Integers beyond 32 bits wrap when read; the line shows the text as
      // written, whatever the platform makes of it.
      {"[QuadFile1]\nName=A.quads\nCollectionIndex=-2147483648\n",
       "Section QuadFile1 of {file} has CollectionIndex -2147483648, which must lie between 1 and 1.\n"},
      {"[QuadFile1]\nName=A.quads\nCollectionIndex=2147483648\n",
       "Section QuadFile1 of {file} has CollectionIndex 2147483648, which must lie between 1 and 1.\n"},
      {"[QuadFile1]\nName=A.quads\nCollectionIndex=4294967295\n",
       "Section QuadFile1 of {file} has CollectionIndex 4294967295, which must lie between 1 and 1.\n"},
      // Nothing to load: QuadFile2 is never reached without position 1, and
      // a section without lines does not exist.
      {"[QuadFile2]\nName=A.quads\nCollectionIndex=1\n", "No QuadFile sections in {file}.\n"},
      {"[QuadFile]\n[QuadFile1]\n; a comment\n", "No QuadFile sections in {file}.\n"},
  };
  for (const Case& c : cases) {
    std::string sections = c.sections;
    for (std::size_t at = 0; (at = sections.find("Index=", at)) != std::string::npos; ++at) {
      sections.insert(sections.find('\n', at) + 1, "OffsetU=0\nOffsetV=0\n");
    }
    PartFile part(sections);
    savePlane(part, "A.quads");
    ScriptedConsole console("");
    RectMeshGroups meshes;
    RegionMeshLists lists;
    EXPECT_FALSE(loadRegionMeshes(part.context(), meshes, lists));
    std::string expected = c.message;
    expected.replace(expected.find("{file}"), 6, part.path());
    EXPECT_EQ(console.output(), expected);
    EXPECT_EQ(meshes.getCollectionCount(), 0);
  }
  {  // A settings file that has gone holds no region either.
    PartFile part("[QuadFile1]\nName=A.quads\nCollectionIndex=1\nOffsetU=0\nOffsetV=0\n");
    savePlane(part, "A.quads");
    part.context().partSettingsFile = part.file("Gone.qini");
    ScriptedConsole console("");
    RectMeshGroups meshes;
    RegionMeshLists lists;
    EXPECT_FALSE(loadRegionMeshes(part.context(), meshes, lists));
    EXPECT_EQ(console.output(), "No QuadFile sections in " + part.file("Gone.qini") + ".\n");
  }
  PartFile broken("[QuadFile1]\nName=Missing.quads\nCollectionIndex=1\nOffsetU=0\nOffsetV=0\n");
  ScriptedConsole console("");
  RectMeshGroups meshes;
  RegionMeshLists lists;
  EXPECT_FALSE(loadRegionMeshes(broken.context(), meshes, lists));
  EXPECT_EQ(console.output(),
            "Loading .quads files...\nThere was a problem loading the .quads files.\n"
            "Missing .quads file: " + broken.file("Missing.quads") +
                " (a planar or cylinder-based collection's is made by its calibration).\n");
}

TEST(ProbePositions, CountedFromEitherNamingAndRequestedOneReturned) {
  const std::string body = "RotationAngleX=0\nRotationAngleY=0\nRotationAngleZ=90\nTranslationY=0\n"
                           "TranslationZ=0\nTranslationX=";
  struct Case {
    std::string content;
    int requested;
    bool ok;
    int count;
    double translationX;
    std::string messages;
  };
  const std::vector<Case> cases = {
      {"[ArmLocalTipToActiveLocalCentre]\n" + body + "1\n[ArmLocalTipToActiveLocalCentre2]\n" + body + "2\n",
       1, true, 2, 2.0, ""},
      {"[ArmLocalTipToActiveLocalCentre1]\n" + body + "1\n[ArmLocalTipToActiveLocalCentre2]\n" + body + "2\n",
       0, true, 2, 1.0, ""},
      {"[ArmLocalTipToActiveLocalCentre2]\n" + body + "2\n", 0, false, 0, 0.0, ""},
      {"[ArmLocalTipToActiveLocalCentre]\n" + body + "1\n[ArmLocalTipToActiveLocalCentre2]\n" + body + "2\n",
       2, false, 2, 0.0, ""},
      {"[ArmLocalTipToActiveLocalCentre]\nRotationAngleX=0\nTranslationX=1\n", 0, false, 7, 0.0,
       "Section ArmLocalTipToActiveLocalCentre has invalid syntax. Missing RotationAngleY key.\n"
       "Section ArmLocalTipToActiveLocalCentre has invalid syntax. Missing RotationAngleZ key.\n"
       "Section ArmLocalTipToActiveLocalCentre has invalid syntax. Missing TranslationY key.\n"
       "Section ArmLocalTipToActiveLocalCentre has invalid syntax. Missing TranslationZ key.\n"
       "Retrieve fail from section ArmLocalTipToActiveLocalCentre of {file}.\n"},
  };
  for (const Case& c : cases) {
    PartFile tool(c.content, "Tool.tini");
    tool.context().toolSettingsFile = tool.path();
    ScriptedConsole console("");
    int count = 7;
    LinearMap rotation;
    Vector translation;
    EXPECT_EQ(readProbePosition(tool.context(), c.requested, count, rotation, translation), c.ok);
    EXPECT_EQ(count, c.count);
    EXPECT_EQ(translation.x, c.translationX);
    std::string expected = c.messages;
    if (const auto at = expected.find("{file}"); at != std::string::npos) {
      expected.replace(at, 6, tool.path());
    }
    EXPECT_EQ(console.output(), expected);
    if (c.ok) {
      EXPECT_NEAR(rotation(Vector(1, 0, 0)).y, 1.0, 1e-7);
    }
  }
}

// With eleven collections, arm position 1 of collection 11 ("PartLocalToArmGlobal1111") is also
// what arm position 11 of collection 1 would be called: placement refuses that name once the file
// has eleven arm positions, and places every collection while it has one. Names of three single
// digits are never refused.
TEST(RegionMeshes, PlacementRefusesNamesThatAnotherArmPositionWouldShare) {
  const std::string unrotated =
      "RotationAngleX=0\nRotationAngleY=0\nRotationAngleZ=0\nTranslationX=0\nTranslationY=0\n"
      "RotationOriginX=0\nRotationOriginY=0\nRotationOriginZ=0\n";
  std::string quadFiles;
  std::string transforms;
  for (int c = 1; c <= 11; ++c) {
    const std::string n = std::to_string(c);
    quadFiles += "[QuadFile" + n + "]\nName=P" + n + ".quads\nCollectionIndex=" + n +
                 "\nOffsetU=0\nOffsetV=0\n";
    for (int a = 1; a <= 2; ++a) {
      transforms += "[PartLocalToArmGlobal" + std::to_string(a) + n + "1]\n" + unrotated +
                    "TranslationZ=" + n + "\n";
    }
  }
  PartFile part(quadFiles + transforms);
  for (int c = 1; c <= 11; ++c) savePlane(part, "P" + std::to_string(c) + ".quads");
  ScriptedConsole console("");
  RectMeshGroups master;
  RegionMeshLists lists;
  ASSERT_TRUE(loadRegionMeshes(part.context(), master, lists));
  ASSERT_EQ(lists.collectionCount, 11);
  RectMeshGroups working = master;
  EXPECT_TRUE(applyPartTransforms(part.context(), 11, 0, 0, working));
  EXPECT_EQ(findPartTransformSection(part.context(), 11, 0, 11, 0), "PartLocalToArmGlobal1111");

  // Eleven arm positions: (11, 1, 1) is within the file's limits.
  testsupport::writeFile(part.path(), quadFiles + transforms + "[PartCalibrationPoints1]\np2=11\n");
  working = master;
  EXPECT_FALSE(applyPartTransforms(part.context(), 11, 0, 0, working));
  EXPECT_EQ(findPartTransformSection(part.context(), 11, 0, 11, 0), "");
  EXPECT_EQ(findPartTransformSection(part.context(), 11, 0, 10, 0), "PartLocalToArmGlobal1101");
  EXPECT_EQ(findPartTransformSection(part.context(), 11, 0, 3, 0), "PartLocalToArmGlobal131");
  // Arm position 2: "PartLocalToArmGlobal2111" could only be (21, 1, 1) or (2, 1, 11), both
  // beyond the limits.
  working = master;
  ASSERT_TRUE(applyPartTransforms(part.context(), 11, 1, 0, working));
  const auto hit = working.getIntersectionStatus(Point(0.5, 0.5, 50), Vector(0, 0, -1), false);
  ASSERT_TRUE(hit.getIsValid());
  EXPECT_EQ(hit.getFileName(), "P11") << "the highest collection is raised the most";
  EXPECT_NEAR(hit.getIntersectionData().getDistanceToObject(), 39.0, 1e-9);
  // The refused placement named its ambiguous section.
  EXPECT_EQ(console.output(),
            "Loading .quads files...\n" +
                ambiguousSectionMessage("PartLocalToArmGlobal1111", part.path()));
}

TEST(QuadFileSectionSearch, ExactNamesWithQuadFile1First) {
  PartFile part("[QuadFile]\nName=Same.quads\n[QuadFile1]\nName=Same.quads\n[QuadFile2]\nName=B.quads\n"
                "[QuadFile4]\nName=D.quads\n");
  int position = -1;
  EXPECT_TRUE(findQuadFileSection(part.context(), "Same.quads", position));
  EXPECT_EQ(position, 0);
  EXPECT_TRUE(findQuadFileSection(part.context(), "B.quads", position));
  EXPECT_EQ(position, 1);
  EXPECT_FALSE(findQuadFileSection(part.context(), "b.quads", position));
  EXPECT_FALSE(findQuadFileSection(part.context(), "D.quads", position));
  PartFile plain("[QuadFile]\nName=P.quads\n[QuadFile2]\nName=Q.quads\n");
  EXPECT_TRUE(findQuadFileSection(plain.context(), "Q.quads", position));
  EXPECT_EQ(position, 1);
}

}  // namespace
