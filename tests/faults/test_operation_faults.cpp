// Injected faults in the program's own operations, in process: the
// calibration's transform sections, the extension to arm positions, the
// relocation with its backups, the restore and clean-up of the backups, quad
// file saves and generation, the loading of a region whose files vanish
// after the walk listed them, directory dumps and "Add tool to part". Each
// fault at each call index must end with the operation's own message and
// leave every file wholly old or wholly new.
#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FaultSweep.h"
#include "IniFileSection.h"
#include "ScriptedConsole.h"
#include "ZorvGeometry.h"
#include "ZorvVLWizard.h"
#include "platform/faults.h"
#include "console/ConsoleContext.h"
#include "partcalibration/Extension.h"
#include "partcalibration/Relocation.h"
#include "partmodel/TransformSections.h"
#include "regions/QuadGeneration.h"
#include "regions/RegionSettings.h"
#include "test_support.h"
#include "wizardops/SettingsOperations.h"
#include "wizardops/SettingsSelection.h"

namespace {

using faultsweep::Outcome;
using faultsweep::SweepRun;
using faultsweep::Snapshot;
using faultsweep::Sweep;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Vector;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh;
using Zorv::Geometry::ThreeDimensional::QuadMesh::RectMeshGroups;

std::string gPrinted;
void capture(std::string text) {
  gPrinted += text;
}

// Runs an operation with a context printing into the outcome, std::cout
// captured too and the console answering `input`.
template <typename Operation>
Outcome runWithConsole(const std::string& input, Operation&& operation) {
  gPrinted.clear();
  ScriptedConsole console(input);
  Outcome outcome;
  try {
    outcome.succeeded = operation();
  } catch (IniFileSection::IniFileException* e) {
    gPrinted += "[IniFileException " + std::to_string(e->getType()) + "]";
    delete e;
  } catch (const std::exception& e) {
    gPrinted += std::string("[exception ") + e.what() + "]";
  }
  outcome.text = console.output() + gPrinted;
  return outcome;
}

ConsoleContext contextFor(const std::string& partSettingsFile) {
  ConsoleContext context{};
  context.print = capture;
  context.partSettingsFile = partSettingsFile;
  context.directoryMode = DirectoryMode::Wizard;
  return context;
}

bool contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// ---- Settings text -----------------------------------------------------------

const char* const kTransformKeys[9] = {"RotationOriginX", "RotationOriginY", "RotationOriginZ",
                                       "RotationAngleX",  "RotationAngleY",  "RotationAngleZ",
                                       "TranslationX",    "TranslationY",    "TranslationZ"};

std::string transformSection(const std::string& name, std::vector<double> values) {
  std::string text = "[" + name + "]\r\n";
  for (int k = 0; k < 9; ++k) {
    text += std::string(kTransformKeys[k]) + "=" + std::to_string(values[k]) + "\r\n";
  }
  return text;
}

std::string pointsSection(const std::string& name) {
  return "[" + name + "]\r\nx0=0\r\ny0=0\r\nz0=0\r\nx1=100\r\ny1=0\r\nz1=0\r\nx2=0\r\ny2=80\r\nz2=5\r\n";
}

std::string quadFileSections(int collections) {
  std::string text;
  for (int c = 1; c <= collections; ++c) {
    text += "[QuadFile" + std::to_string(c) + "]\r\nName=Q" + std::to_string(c) +
            ".quads\r\nCollectionIndex=" + std::to_string(c) + "\r\n";
  }
  return text;
}

// The blocks of an INI text by section name ("" for the lines before the
// first header), each with its header and lines.
std::map<std::string, std::string> sectionsOf(const std::string& text) {
  std::map<std::string, std::string> blocks;
  std::string current;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line[0] == '[') current = line.substr(1, line.find(']') - 1);
    blocks[current] += line + "\n";
  }
  return blocks;
}

// Every section of the file wholly as before or wholly as after the clean
// run; `written` lists the sections the operation reported as written, which
// must be the new ones.
void expectSectionsOldOrNew(const SweepRun& faulty, const std::string& file, const Snapshot& before,
                            const SweepRun& clean, const std::vector<std::string>& written) {
  const auto now = sectionsOf(faulty.files.count(file) ? faulty.files.at(file) : "");
  const auto old = sectionsOf(before.count(file) ? before.at(file) : "");
  const auto next = sectionsOf(clean.files.count(file) ? clean.files.at(file) : "");
  std::map<std::string, bool> names;
  for (const auto* blocks : {&now, &old, &next}) {
    for (const auto& [name, block] : *blocks) names[name] = true;
  }
  for (const auto& [name, unused] : names) {
    const auto block = [&](const std::map<std::string, std::string>& b) {
      const auto it = b.find(name);
      return it == b.end() ? std::string("(none)") : it->second;
    };
    const bool isNew = block(now) == block(next);
    if (block(now) != block(old) && !isNew) {
      ++faultsweep::tally().torn;
      ADD_FAILURE() << faulty.plan << ": section [" << name << "] of " << file << " is torn:\n"
                    << block(now);
    }
    const bool reported = std::find(written.begin(), written.end(), name) != written.end();
    if (reported) {
      EXPECT_TRUE(isNew) << faulty.plan << ": [" << name << "] reported written";
    }
  }
}

// Section names in lines "Successfully written section [S] ...".
std::vector<std::string> reportedSections(const std::string& text) {
  std::vector<std::string> names;
  const std::string mark = "Successfully written section [";
  for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1)) {
    const std::size_t begin = at + mark.size();
    names.push_back(text.substr(begin, text.find(']', begin) - begin));
  }
  return names;
}

std::size_t countOf(const std::string& text, const std::string& part) {
  std::size_t n = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

RigidBodyFit someFit(double shift) {
  RigidBodyFit fit;
  fit.rotationOrigin = Point(10, 20, 30);
  fit.rotationAngles = Vector(0.1, -0.2, 0.3 + shift);
  fit.translation = Vector(100 + shift, -50, 7.5);
  return fit;
}

// ---- Transform sections and the extension ----------------------------------------

struct SectionCase {
  const char* name;
  Outcome (*operate)(const std::string& file);
};

const SectionCase kSectionCases[] = {
    {"one transform section",
     [](const std::string& file) {
       return runWithConsole("", [&] {
         writeTransformSection(file, "PartLocalToArmGlobal211", someFit(0), "N772");
         return true;
       });
     }},
    {"several transform sections",
     [](const std::string& file) {
       return runWithConsole("", [&] {
         writeTransformSections(file, {{"PartLocalToArmGlobal111", someFit(1), "N772"},
                                       {"PartLocalToArmGlobal121", someFit(2), "N772"},
                                       {"PartLocalToArmGlobal311", someFit(3), ""}});
         return true;
       });
     }},
    {"extension to every arm position",
     [](const std::string& file) {
       ConsoleContext context = contextFor(file);
       return runWithConsole("", [&] { return extendToAllArmPositions(context); });
     }},
    {"copy to every part position",
     [](const std::string& file) {
       ConsoleContext context = contextFor(file);
       return runWithConsole("", [&] { return copyToAllPartPositions(context, 0, 0); });
     }},
};

void PrintTo(const SectionCase& c, std::ostream* out) {
  *out << c.name;
}

class TransformWrites : public ::testing::TestWithParam<SectionCase> {};

TEST_P(TransformWrites, EverySectionIsOldOrNewAndEveryFailureIsReported) {
  testsupport::TempDir dir;
  const std::string file = dir / "Part.qini";
  Sweep sweep;
  sweep.root = dir.path();
  sweep.prepare = [&] {
    // Collection 1 calibrated at arm positions 1..3, collection 2 at 1 only:
    // the extension writes collection 2's positions 2 and 3. Three part
    // positions for the copy.
    faultsweep::putFile(
        dir.path(), "Part.qini",
        "[Region]\r\nNumberOfPartPositions=3\r\n" + quadFileSections(2) +
            pointsSection("PartCalibrationPoints1") + pointsSection("PartCalibrationPoints2") +
            transformSection("PartLocalToArmGlobal111", {1, 2, 3, 10, 20, 30, 100, 200, 300}) +
            transformSection("PartLocalToArmGlobal211", {1, 2, 3, 10, 20, 30, 150, 180, 290}) +
            transformSection("PartLocalToArmGlobal311", {1, 2, 3, 10, 20, 30, 150, 380, 295}) +
            transformSection("PartLocalToArmGlobal121", {-5, 0, 5, 0, 0, -90, 7, 8, 9}));
  };
  sweep.operate = [&] { return GetParam().operate(file); };
  sweep.judgedBySections = {"Part.qini"};
  sweep.judge = [&](const SweepRun& faulty, const Snapshot& before, const SweepRun& clean) {
    expectSectionsOldOrNew(faulty, "Part.qini", before, clean,
                           reportedSections(faulty.outcome.text));
    // A failed write is reported: by the exception, or by its line.
    const bool unchanged = faulty.files == before;
    if (!unchanged && faulty.files != clean.files) {
      EXPECT_TRUE(contains(faulty.outcome.text, "INI file write failure.\n")) << faulty.plan;
    }
    if (faulty.outcome.succeeded) {
      EXPECT_TRUE(faulty.files == clean.files) << faulty.plan << " succeeded:\n"
                                               << faulty.outcome.text;
    } else {
      EXPECT_TRUE(contains(faulty.outcome.text, "INI file write failure.\n") ||
                  contains(faulty.outcome.text, "[IniFileException 2]"))
          << faulty.plan << ": " << faulty.outcome.text;
    }
  };
  const faultsweep::Totals totals = faultsweep::runSweep(sweep);
  EXPECT_GE(totals.injected, 4);
  EXPECT_EQ(totals.torn, 0);
}

INSTANTIATE_TEST_SUITE_P(Faults, TransformWrites, ::testing::ValuesIn(kSectionCases),
                         [](const ::testing::TestParamInfo<SectionCase>& info) {
                           return faultsweep::caseName(info.param.name);
                         });

// ---- Relocation and its backups ----------------------------------------------------

// A wizard tree below root/profile with three parts' settings files, and the
// program's application-data directory pointed at it.
class WizardTree {
 public:
  explicit WizardTree(const std::string& root) : root_(root) {
    testsupport::setEnvironment("ALLUSERSPROFILE", (root + "/profile").c_str());
  }
  ~WizardTree() { testsupport::setEnvironment("ALLUSERSPROFILE", nullptr); }
  // Relative to the snapshot root.
  static std::string tree(const std::string& relative) {
    return "profile/Application Data/Kestrel Ward/Velloran 2/vl2_settings/" + relative;
  }
  std::string wizardDirectory() const { return root_ + "/" + tree(""); }
  static std::string qini(int part) {
    return "[Part]\r\nNumberOfPartPositions=1\r\n" + pointsSection("PartCalibrationPoints1") +
           transformSection("PartLocalToArmGlobal111",
                            {1, 2, 3, 10.0 * part, 20, 30, 100, 200, 300}) +
           (part == 2 ? transformSection("PartLocalToArmGlobal211", {1, 2, 3, 5, 5, 5, 0, 0, 0})
                      : std::string());
  }
  void putParts(bool backups) const {
    for (int part = 1; part <= 3; ++part) {
      const std::string dir = tree("parts/0" + std::to_string(part) + "_P" +
                                   std::to_string(part) + "/01_R/");
      faultsweep::putFile(root_, dir + "R.qini", qini(part));
      faultsweep::putFile(root_, dir + "R.quads", "not read");
      if (backups) {
        faultsweep::putFile(root_, dir + "R.oldqini", "[Part]\r\nBackup=" + std::to_string(part) +
                                                          "\r\n");
      }
    }
    faultsweep::putFile(root_, tree("tools/01_Probe/Probe.tini"), "[Probe]\r\n");
  }

 private:
  std::string root_;
};

// Names of the part settings files of a snapshot and their backups.
std::vector<std::string> namesEnding(const Snapshot& files, const std::string& extension) {
  std::vector<std::string> names;
  for (const auto& [name, bytes] : files) {
    if (name.size() > extension.size() &&
        name.compare(name.size() - extension.size(), extension.size(), extension) == 0) {
      names.push_back(name);
    }
  }
  return names;
}

std::string backupName(const std::string& qini) {
  return qini.substr(0, qini.size() - 5) + ".oldqini";
}

TEST(RelocationFaults, EveryRelocatedFileHasItsWholeBackupAndTheSummaryCountsThem) {
  testsupport::TempDir dir;
  const WizardTree tree(dir.path());
  RigidBodyFit relocation;
  relocation.rotationOrigin = Point(0, 0, 0);
  relocation.rotationAngles = Vector(0.0, 0.0, 0.5);
  relocation.translation = Vector(-800, 1300, -45);
  Sweep sweep;
  sweep.root = dir.path();
  sweep.prepare = [&] { tree.putParts(false); };
  sweep.operate = [&] {
    ConsoleContext context = contextFor("");
    return runWithConsole(
        "", [&] {
          return relocateWizardTree(context, tree.wizardDirectory(), relocation,
                                    {"OLD4711", "N772"});
        });
  };
  sweep.judge = [&](const SweepRun& faulty, const Snapshot& before, const SweepRun& clean) {
    const std::string& text = faulty.outcome.text;
    std::size_t relocated = 0;
    for (const std::string& qini : namesEnding(before, ".qini")) {
      const auto now = faulty.files.find(qini);
      if (now == faulty.files.end()) continue;  // vanished
      const bool isNew = now->second == clean.files.at(qini);
      if (!isNew) continue;
      ++relocated;
      // No file is relocated without its backup, and the backup is whole.
      const auto backup = faulty.files.find(backupName(qini));
      ASSERT_NE(backup, faulty.files.end()) << faulty.plan << ": " << qini << " has no backup";
      EXPECT_EQ(backup->second, before.at(qini)) << faulty.plan;
    }
    if (contains(text, "Failed to create backup file. Aborting...\n")) {
      EXPECT_FALSE(faulty.outcome.succeeded) << faulty.plan;
      EXPECT_FALSE(contains(text, "Successfully processed")) << faulty.plan;
    } else if (faulty.outcome.succeeded) {
      EXPECT_TRUE(contains(text, "Successfully processed " + std::to_string(relocated) + " of "))
          << faulty.plan << ": " << relocated << " files relocated, printed:\n"
          << text;
    } else {
      EXPECT_TRUE(contains(text, "No .qini files found. Aborting...\n")) << faulty.plan << text;
    }
  };
  const faultsweep::Totals totals = faultsweep::runSweep(sweep);
  EXPECT_GE(totals.injected, 12);
  EXPECT_EQ(totals.torn, 0);
}

TEST(RelocationFaults, ARestoredFileIsWholeAndItsBackupGoesOnlyOnceItIsRestored) {
  testsupport::TempDir dir;
  const WizardTree tree(dir.path());
  Sweep sweep;
  sweep.root = dir.path();
  sweep.prepare = [&] { tree.putParts(true); };
  sweep.operate = [&] {
    ConsoleContext context = contextFor("");
    return runWithConsole("", [&] { return resetNewPartCalibrations(context); });
  };
  sweep.judge = [&](const SweepRun& faulty, const Snapshot& before, const SweepRun& clean) {
    std::size_t restored = 0;
    for (const std::string& qini : namesEnding(before, ".qini")) {
      const std::string backup = backupName(qini);
      const bool isNew = faulty.files.at(qini) == clean.files.at(qini);
      const bool backupKept = faulty.files.count(backup) != 0;
      const bool backupVanished =
          std::find(faulty.vanished.begin(), faulty.vanished.end(), backup) !=
          faulty.vanished.end();
      // The backup goes only after its copy is in place.
      if (!backupKept && !backupVanished) {
        EXPECT_TRUE(isNew) << faulty.plan << ": " << qini;
      }
      if (isNew) ++restored;
    }
    EXPECT_EQ(countOf(faulty.outcome.text, "Created file: R.qini.\n"), restored) << faulty.plan;
    EXPECT_TRUE(contains(faulty.outcome.text,
                         "Successfully processed " + std::to_string(restored) + " of "))
        << faulty.plan << ":\n"
        << faulty.outcome.text;
  };
  const faultsweep::Totals totals = faultsweep::runSweep(sweep);
  EXPECT_GE(totals.injected, 9);
  EXPECT_EQ(totals.torn, 0);
}

TEST(RelocationFaults, CleaningCountsOnlyTheBackupsItDeleted) {
  testsupport::TempDir dir;
  const WizardTree tree(dir.path());
  Sweep sweep;
  sweep.root = dir.path();
  sweep.prepare = [&] { tree.putParts(true); };
  sweep.operate = [&] {
    ConsoleContext context = contextFor("");
    return runWithConsole("", [&] { return cleanOldPartCalibrations(context); });
  };
  sweep.faults = {"vanish:"};
  sweep.judge = [&](const SweepRun& faulty, const Snapshot& before, const SweepRun&) {
    const std::size_t backups = namesEnding(before, ".oldqini").size();
    const std::size_t gone = backups - namesEnding(faulty.files, ".oldqini").size();
    std::size_t vanishedBackups = 0;
    for (const std::string& name : faulty.vanished) {
      if (name.find(".oldqini") != std::string::npos) ++vanishedBackups;
    }
    EXPECT_EQ(countOf(faulty.outcome.text, "Deleted file: R.oldqini.\n"), gone - vanishedBackups)
        << faulty.plan;
  };
  const faultsweep::Totals totals = faultsweep::runSweep(sweep);
  EXPECT_GE(totals.injected, 3);
  EXPECT_EQ(totals.torn, 0);
}

// ---- Quad files ---------------------------------------------------------------------

RectMesh gridMesh() {
  std::vector<Point> vertices;
  const unsigned n = 60;
  for (unsigned v = 0; v <= n; ++v) {
    for (unsigned u = 0; u <= n; ++u) vertices.emplace_back(u * 2.0, v * 2.0, 0.01 * u * v);
  }
  RectMesh mesh;
  EXPECT_TRUE(mesh.setFromVertices(n, n, std::move(vertices)));
  return mesh;
}

TEST(QuadFileFaults, ASaveThatFailsLeavesTheEarlierFileAndSaysSo) {
  testsupport::TempDir dir;
  RectMesh plane;
  ASSERT_TRUE(plane.setAsPlane(Zorv::Geometry::TwoDimensional::Vector<double>(300, 200), 2.0, true,
                               100.0));
  const RectMesh grid = gridMesh();
  for (const RectMesh* mesh : std::vector<const RectMesh*>{&plane, &grid}) {
    Sweep sweep;
    sweep.root = dir.path();
    sweep.prepare = [&] { faultsweep::putFile(dir.path(), "R.quads", "an earlier mesh"); };
    sweep.operate = [&] {
      return runWithConsole("", [&] {
        mesh->save(dir / "R.quads");
        return true;
      });
    };
    sweep.judge = [&](const SweepRun& faulty, const Snapshot& before, const SweepRun& clean) {
      faultsweep::judgeOldOrNew(faulty, before, clean);
      if (!faulty.outcome.succeeded) {
        EXPECT_TRUE(contains(faulty.outcome.text, "[exception ")) << faulty.plan;
      }
    };
    const faultsweep::Totals totals = faultsweep::runSweep(sweep);
    EXPECT_GE(totals.injected, 4);
    EXPECT_EQ(totals.torn, 0);
  }
}

TEST(QuadFileFaults, GenerationReportsEachFailedSave) {
  testsupport::TempDir dir;
  const std::string settings = dir / "Part.qini";
  Sweep sweep;
  sweep.root = dir.path();
  sweep.prepare = [&] {
    faultsweep::putFile(dir.path(), "Part.qini",
                        "[QuadFile1]\r\nName=Plane.quads\r\nCollectionIndex=1\r\nUSizemm=400\r\n"
                        "VSizemm=250\r\nPitchmm=2\r\n");
    faultsweep::putFile(dir.path(), "Plane.quads", "an earlier mesh");
  };
  sweep.operate = [&] {
    ConsoleContext context = contextFor(settings);
    return runWithConsole("", [&] {
      return generatePlanarQuadFile(context, dir.path() + "\\Plane.quads");
    });
  };
  sweep.judge = [&](const SweepRun& faulty, const Snapshot& before, const SweepRun& clean) {
    faultsweep::judgeOldOrNew(faulty, before, clean);
    const std::string saved = "File " + dir.path() + "\\Plane.quads saved successfully.\n";
    const std::string failed = "File " + dir.path() + "\\Plane.quads save failure.\n";
    EXPECT_EQ(contains(faulty.outcome.text, saved), faulty.outcome.succeeded) << faulty.plan;
    EXPECT_EQ(contains(faulty.outcome.text, failed), !faulty.outcome.succeeded) << faulty.plan;
  };
  const faultsweep::Totals totals = faultsweep::runSweep(sweep);
  EXPECT_GE(totals.injected, 4);
  EXPECT_EQ(totals.torn, 0);
}

// A legacy region is chosen by walking its directory, which lists its quad
// files too; a file that vanishes after that fails the load with its line.
TEST(RegionFaults, AQuadFileThatVanishesAfterTheWalkFailsTheLoadWithItsLine) {
  testsupport::TempDir dir;
  RectMesh plane;
  ASSERT_TRUE(plane.setAsPlane(Zorv::Geometry::TwoDimensional::Vector<double>(30, 20), 2.0, true,
                               1.0));
  testsupport::TempDir meshDir;
  plane.save(meshDir / "mesh.quads");
  const std::string meshBytes = testsupport::readFile(meshDir / "mesh.quads");
  Sweep sweep;
  sweep.root = dir.path();
  sweep.prepare = [&] {
    faultsweep::putFile(dir.path(), "quads/Wing/Wing.ini",
                        "[QuadFile1]\r\nName=A.quads\r\nCollectionIndex=1\r\n"
                        "[QuadFile2]\r\nName=B.quads\r\nCollectionIndex=2\r\n");
    faultsweep::putFile(dir.path(), "quads/Wing/A.quads", meshBytes);
    faultsweep::putFile(dir.path(), "quads/Wing/B.quads", meshBytes);
    faultsweep::putFile(dir.path(), "quads/Wing/notes.txt", "notes");
  };
  sweep.operate = [&] {
    SettingsRoots roots{dir / "vl2_settings", dir.path() + "/quads"};
    ConsoleContext context = contextFor("");
    context.directoryMode = DirectoryMode::LegacyQuads;
    return runWithConsole("", [&] {
      if (!chooseRegionSettingsFile(DirectoryMode::LegacyQuads, context.partSettingsFile, "part",
                                    roots)) {
        capture("Failed to identify .qini or .ini file.\n");
        return false;
      }
      RectMeshGroups meshes;
      RegionMeshLists lists;
      return loadRegionMeshes(context, meshes, lists);
    });
  };
  sweep.faults = {"vanish:"};
  sweep.judge = [&](const SweepRun& faulty, const Snapshot&, const SweepRun&) {
    ASSERT_EQ(faulty.vanished.size(), 1u) << faulty.plan;
    const std::string& gone = faulty.vanished[0];
    const std::string& text = faulty.outcome.text;
    if (gone.find(".quads") != std::string::npos) {
      EXPECT_FALSE(faulty.outcome.succeeded) << faulty.plan;
      EXPECT_TRUE(contains(text, "There was a problem loading the .quads files.\n")) << text;
    } else if (gone.find(".ini") != std::string::npos) {
      EXPECT_FALSE(faulty.outcome.succeeded) << faulty.plan;
      EXPECT_TRUE(contains(text, "Failed to identify .qini or .ini file.\n")) << text;
    } else {
      EXPECT_TRUE(faulty.outcome.succeeded) << faulty.plan << ": " << text;
    }
  };
  const faultsweep::Totals totals = faultsweep::runSweep(sweep);
  EXPECT_GE(totals.injected, 4);
  EXPECT_EQ(totals.torn, 0);
}

// ---- Dumps and "Add tool to part" ------------------------------------------------------

TEST(WizardOperationFaults, ADumpIsWrittenWholeOrNotAtAll) {
  testsupport::TempDir dir;
  testsupport::setEnvironment("VISUAL", "true");  // the editor: ends at once
  const std::string workDirectory = std::filesystem::current_path().string();
  Sweep sweep;
  sweep.root = dir.path();
  sweep.prepare = [&] {
    for (int part = 1; part <= 9; ++part) {
      const std::string p = "vl2_settings/parts/0" + std::to_string(part) + "_Part" +
                            std::to_string(part) + "/";
      for (int region = 1; region <= 4; ++region) {
        faultsweep::putFile(dir.path(), p + "0" + std::to_string(region) + "_R/R.qini", "");
        faultsweep::putFile(dir.path(), p + "0" + std::to_string(region) + "_R/R.quads", "");
      }
    }
    faultsweep::putFile(dir.path(), "work/dump.txt", "an earlier dump\n");
  };
  sweep.operate = [&] {
    SettingsRoots roots{dir / "vl2_settings", dir / "quads"};
    ConsoleContext context = contextFor("");
    std::filesystem::current_path(dir / "work");
    const Outcome outcome = runWithConsole("\ndump.txt\n", [&] {
      return dumpDirectories(context, roots);
    });
    std::filesystem::current_path(workDirectory);
    return outcome;
  };
  sweep.judge = [&](const SweepRun& faulty, const Snapshot& before, const SweepRun& clean) {
    // Nothing is reported: the dump is the earlier one or the whole new one.
    EXPECT_TRUE(faulty.outcome.succeeded);
    const Snapshot kept = faultsweep::without(faulty.files, faulty.vanished);
    const std::string dump = kept.at("work/dump.txt");
    EXPECT_TRUE(dump == before.at("work/dump.txt") || dump == clean.files.at("work/dump.txt"))
        << faulty.plan << ": " << dump.size() << " bytes";
  };
  const faultsweep::Totals totals = faultsweep::runSweep(sweep);
  EXPECT_GE(totals.injected, 4);
  EXPECT_EQ(totals.torn, 0);
  testsupport::setEnvironment("VISUAL", nullptr);
}

TEST(WizardOperationFaults, AToolIsAddedWholeOrNotAtAllWithItsMessage) {
  testsupport::TempDir dir;
  Sweep sweep;
  sweep.root = dir.path();
  std::string scan(150000, 's');
  sweep.prepare = [&] {
    faultsweep::putFile(dir.path(), "vl2_settings/parts/01_A/01_R/R.qini", "[Part]\r\n");
    faultsweep::putFile(dir.path(), "vl2_settings/parts/01_A/01_R/01_Probe/Probe.ini",
                        "[Probe]\r\nGain=3\r\n");
    faultsweep::putFile(dir.path(), "vl2_settings/parts/01_A/01_R/01_Probe/Probe.vl2", scan);
    faultsweep::putFile(dir.path(), "vl2_settings/parts/02_B/01_Q/Q.qini", "[Part]\r\n");
    faultsweep::putFile(dir.path(), "vl2_settings/tools/01_Probe/Probe.tini", "[Probe]\r\n");
  };
  sweep.operate = [&] {
    SettingsRoots roots{dir / "vl2_settings", dir / "quads"};
    ConsoleContext context = contextFor("");
    return runWithConsole("1\n2\n", [&] { return addToolToPart(context, roots); });
  };
  sweep.judge = [&](const SweepRun& faulty, const Snapshot& before, const SweepRun& clean) {
    faultsweep::judgeOldOrNew(faulty, before, clean);
    const std::string& text = faulty.outcome.text;
    const char* const failures[] = {"Failed to identify source .qini or .ini file.\n",
                                    "Failed to identify source tool .ini file.\n",
                                    "Failed to identify destination .qini or .ini file.\n",
                                    "Failed to create new tool directory.\n",
                                    "Failed to copy existing settings.\n",
                                    "Failed to copy existing tool reference.\n"};
    std::size_t messages = 0;
    for (const char* failure : failures) messages += countOf(text, failure);
    EXPECT_EQ(messages, faulty.outcome.succeeded ? 0u : 1u) << faulty.plan << ":\n" << text;
  };
  const faultsweep::Totals totals = faultsweep::runSweep(sweep);
  EXPECT_GE(totals.injected, 6);
  EXPECT_EQ(totals.torn, 0);
}

}  // namespace

// ---- The wizard library's own copy of the platform layer ----------------------------

TEST(WizardLibraryFaults, TheLibrarysFileCallsFollowTheSamePlan) {
  testsupport::TempDir dir;
  testsupport::writeFile(dir / "a.qini", "[S]\r\nK=1\r\n");
  ASSERT_TRUE(platform::faults::setPlan("open:1:disk-full"));
  EXPECT_FALSE(ZorvVLWizardUtilities::copyFile(dir / "a.qini", dir / "b.qini"));
  EXPECT_EQ(platform::faults::firedCount(), 1u);
  EXPECT_TRUE(ZorvVLWizardUtilities::copyFile(dir / "a.qini", dir / "b.qini"));
  EXPECT_EQ(platform::faults::callCount(platform::faults::Operation::Open), 2u);
  platform::faults::clearPlan();
  EXPECT_EQ(testsupport::readFile(dir / "b.qini"), "[S]\r\nK=1\r\n");
}

// Deleting a part moves the later parts down one number each: a move that
// fails stops there, and every part is still there once, whole.
TEST(WizardLibraryFaults, APartDeletionThatCannotMoveALaterPartLosesNoPart) {
  testsupport::TempDir dir;
  const std::string wizard = dir / "vl2_settings";
  Sweep sweep;
  sweep.root = dir.path();
  sweep.prepare = [&] {
    const char* const parts[] = {"01_A", "02_B", "03_C", "04_D"};
    for (const char* part : parts) {
      const std::string name = std::string(part).substr(3);
      faultsweep::putFile(dir.path(), "vl2_settings/parts/" + std::string(part) + "/01_R/R.qini",
                          "[Region]\r\nPart=" + name + "\r\n");
      faultsweep::putFile(dir.path(), "vl2_settings/parts/" + std::string(part) + "/01_R/01_S.bmp",
                          name);
    }
    faultsweep::putFile(dir.path(), "vl2_settings/parts/notes.txt", "notes");
  };
  sweep.operate = [&] {
    return runWithConsole("", [&] { return ZorvVLWizardUtilities::deletePart(wizard, 1); });
  };
  sweep.faults = {"rename::access-denied", "rename::disk-full", "vanish:"};
  sweep.judge = [&](const SweepRun& faulty, const Snapshot&, const SweepRun& clean) {
    if (faulty.outcome.succeeded) {
      EXPECT_TRUE(faulty.files == clean.files) << faulty.plan;
      return;
    }
    for (const char* part : {"A", "C", "D"}) {
      std::size_t copies = 0;
      for (const auto& [name, bytes] : faulty.files) {
        const std::string tail = "/01_R/R.qini";
        if (name.size() > tail.size() &&
            name.compare(name.size() - tail.size(), tail.size(), tail) == 0 &&
            bytes == "[Region]\r\nPart=" + std::string(part) + "\r\n") {
          ++copies;
        }
      }
      EXPECT_EQ(copies, 1u) << faulty.plan << ": part " << part;
    }
  };
  const faultsweep::Totals totals = faultsweep::runSweep(sweep);
  EXPECT_GE(totals.injected, 4);
  EXPECT_EQ(totals.torn, 0);
}
