// Writes stay in the settings tree, end to end: a wizard tree laid with
// traps (names whose backslashes climb out of the tree, links to files and
// directories outside it, planted links under the names of temporary files,
// an arm configuration file that is a link to a file outside) next to an
// "outside" folder of sentinel files. Every menu operation that writes runs
// on it; afterwards no sentinel differs in bytes or permission bits and
// nothing new lies in the sandbox outside the application-data directory,
// while the ordinary parts of the tree show that each operation did its work.
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CalibrationSupport.h"
#include "E2eHarness.h"
#include "ZorvGeometry.h"

namespace {

namespace fs = std::filesystem;
using e2e::countOccurrences;
using e2e::Sandbox;

// Native file helpers: the hostile names must reach the file system as they
// are, never through the program's path conversion.
void put(const fs::path& file, const std::string& text, fs::perms mode = fs::perms(0644)) {
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << text;
  fs::permissions(file, mode);
}
std::string contentOf(const fs::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// One entry of the sandbox: kind ('d', 'f' or 'l'), permission bits, and the
// bytes of a file or the target of a link.
struct Entry {
  char kind = 'f';
  unsigned mode = 0;
  std::string content;
  bool operator==(const Entry&) const = default;
};
using Snapshot = std::map<std::string, Entry>;

// Everything below the sandbox but the application-data directory, links
// recorded as links and never followed.
Snapshot outsideSnapshot(const Sandbox& sandbox) {
  Snapshot entries;
  const fs::path skipped = sandbox.applicationDataDirectory();
  for (auto it = fs::recursive_directory_iterator(sandbox.root());
       it != fs::recursive_directory_iterator(); ++it) {
    if (it->path() == skipped) {
      it.disable_recursion_pending();
      continue;
    }
    struct stat st {};
    if (::lstat(it->path().c_str(), &st) != 0) continue;
    Entry entry{S_ISLNK(st.st_mode)   ? 'l'
                : S_ISDIR(st.st_mode) ? 'd'
                                      : 'f',
                static_cast<unsigned>(st.st_mode & 07777), ""};
    if (entry.kind == 'l') entry.content = fs::read_symlink(it->path()).string();
    if (entry.kind == 'f') entry.content = contentOf(it->path());
    entries[fs::relative(it->path(), sandbox.root()).string()] = entry;
  }
  return entries;
}

std::string differences(const Snapshot& before, const Snapshot& after) {
  std::string text;
  for (const auto& [path, entry] : before) {
    const auto it = after.find(path);
    if (it == after.end())
      text += "removed: " + path + "\n";
    else if (!(it->second == entry))
      text += "changed: " + path + "\n";
  }
  for (const auto& [path, entry] : after) {
    if (before.count(path) == 0) text += "new: " + path + "\n";
  }
  return text;
}

const std::string kCollection = "[QuadFile1]\r\nName=A.quads\r\nCollectionIndex=1\r\n";
const std::string kPointsSection =
    "[PartCalibrationPoints1]\r\nx0=0\r\ny0=0\r\nz0=0\r\nx1=120\r\ny1=0\r\nz1=10\r\n"
    "x2=30\r\ny2=80\r\nz2=0\r\n";
const std::vector<armsim::Vec3> kPoints = {{0, 0, 0}, {120, 0, 10}, {30, 80, 0}};
const std::string kIdentitySection =
    "[PartLocalToArmGlobal111]\r\nRotationOriginX=0\r\nRotationOriginY=0\r\nRotationOriginZ=0\r\n"
    "RotationAngleX=0\r\nRotationAngleY=0\r\nRotationAngleZ=0\r\nTranslationX=0\r\n"
    "TranslationY=0\r\nTranslationZ=0\r\n";
// What a relocation or a calibration would rewrite if it reached the file.
const std::string kRelocatable = kCollection + kPointsSection + kIdentitySection;

// The old arm's cell points and the new arm's, moved by a plain translation.
std::string armPointLines(const std::string& serial, double dx, double dy, double dz) {
  const double cell[3][3] = {{1200, -300, 50}, {-200, 900, 75}, {400, 300, 1100}};
  const double shift[3] = {dx, dy, dz};
  std::string text;
  for (int i = 0; i < 3; ++i) {
    for (int k = 0; k < 3; ++k) {
      text += serial + "_" + std::to_string(i) + std::to_string(k) + "=" +
              calibtest::text(cell[i][k] + shift[k]) + "\r\n";
    }
  }
  return text;
}

const std::string kConfiguration =
    std::string("[ArmPsiDeltas]\r\n") + e2e::kVirtualArmSerialNumber +
    "=0.0100000000000000\r\nOLD4711=0.0000000000000000\r\nN772=0.0000000000000000\r\n"
    "[ArmCalibrationPoints]\r\n" +
    armPointLines("OLD4711", 0, 0, 0) + armPointLines("N772", 100, -50, 25);

// A probe held 50 mm above point (10, 10) of the unplaced Web mesh, looking
// straight down at it.
const std::string kAbove = "record 10 10 50 0 180 0";
const std::string kRefused = "Failed to identify .qini or .ini file.\n";

// One run of the program: the arm's scenario, the console input, and what
// the tree must show afterwards.
struct Operation {
  const char* name;
  std::string scenario;
  std::string script;
  std::function<void(const std::string& output)> check;
};

TEST(HostileTree, NoWriteLeavesTheSettingsTree) {
  Sandbox sandbox;
  const fs::path root = sandbox.root();
  const fs::path outside = root / "outside";
  const fs::path wizard = sandbox.wizardDirectory();
  const fs::path parts = wizard / "parts";
  const fs::path main = parts / "01_Alpha/01_Main";
  const fs::path linked = parts / "01_Alpha/02_Linked";
  const fs::path side = parts / "02_Beta/01_Side";

  // The sentinels, with permission bits that a copy from one to another
  // would change. 01_Inner is a region reached through the link 03_Ext and
  // through the numbered climbing part below.
  put(outside / "Outside.qini", kRelocatable);
  put(outside / "Outside.oldqini", "[Region]\r\nName=outside backup\r\n", fs::perms(0600));
  put(outside / "Target.qini", kRelocatable, fs::perms(0640));
  put(outside / "Target.oldqini", "[Region]\r\nName=linked backup\r\n", fs::perms(0604));
  put(outside / "BackupBait.txt", "backup bait\n", fs::perms(0664));
  put(outside / "DumpBait.txt", "dump bait\n", fs::perms(0600));
  put(outside / "WinVLPosetta.ini", kConfiguration, fs::perms(0640));
  put(outside / "01_Inner/Inner.qini", kRelocatable);

  // The tree: Alpha/Main and Beta/Side are ordinary; the rest are traps.
  put(main / "Main.qini", kCollection + kPointsSection);
  put(main / "01_Probe/Probe.ini", "[Probe]\nGain=12\n");
  put(main / "01_Probe/Probe.vl2", "probe scan settings");
  put(wizard / "tools/01_Probe/Probe.tini", "[PositionCapture]\nDevice=arm\n");
  put(side / "Side.qini",
      "[Region]\r\nNumberOfPartPositions=1\r\n[QuadFile1]\r\nName=Web.quads\r\n"
      "CollectionIndex=1\r\n" +
          kIdentitySection);
  Zorv::Geometry::ThreeDimensional::QuadMesh::RectMesh mesh;
  ASSERT_TRUE(mesh.setAsPlane({100.0, 40.0}, 2.0, true, 1.0));
  mesh.save((side / "Web.quads").string());
  // Single entries whose names climb to the sandbox's "outside" when read
  // as paths, and one that names its own region again.
  fs::create_directories(parts / "..\\..\\..\\..\\..\\..\\outside");
  fs::create_directories(parts / "04_..\\..\\..\\..\\..\\..\\..\\outside");
  fs::create_directories(main / "x\\..");
  fs::create_directories(linked);
  fs::create_directory_symlink(outside, parts / "03_Ext");
  fs::create_symlink(outside / "Target.qini", linked / "Linked.qini");
  fs::create_symlink(outside / "Target.oldqini", linked / "Linked.oldqini");
  fs::create_symlink(outside / "BackupBait.txt", main / "Main.oldqini.tmp");
  fs::create_symlink(outside / "DumpBait.txt",
                     fs::path(sandbox.workingDirectory()) / "listing.txt.dump.tmp");
  sandbox.setArmConfiguration(kConfiguration);
  sandbox.setEnvironment("VISUAL", "true");

  calibtest::Description touches;
  touches.line("serial OLD-4711").imageGreen(1);
  for (const armsim::Vec3& p : kPoints) touches.touch(p);
  // Test region: 'o', then three green clicks on the Web mesh (a point, one
  // 20 mm along x, one 20 mm along y), then red.
  std::string clicks;
  for (const char* at : {"10 10", "30 10", "10 30"}) {
    const std::string record = std::string("record ") + at + " 50 0 180 0";
    clicks += record + " green x4\n" + record + " x4\n";
  }
  std::string beforeReuse;
  const std::string relocate = "10\nn\nOLD4711\n ";
  const std::string configPath =
      sandbox.profileDirectory() + "\\Application Data\\Kestrel Ward\\Velloran 2\\WinVLPosetta.ini";

  const std::vector<Operation> runs = {
      {"test region: the linked file and the linked part refused, the flags written",
       kAbove + " x12\n" + clicks + kAbove + " x12\n" + kAbove + " red x6\n" + kAbove +
           "\nend hold\n",
       "5\n1\n2\n 5\n3\n 5\n2\nn\n\no" + std::string(80, ' ') + "\n16\n",
       [&](const std::string& output) {
         EXPECT_EQ(countOccurrences(output, kRefused), 2u);
         const std::string qini = contentOf(side / "Side.qini");
         // u grows to the right as the operator sees it, v towards the
         // operator (larger v was clicked "above"): only v is flipped.
         for (const char* key : {"FlipUAxis=false", "FlipVAxis=true", "FlipNormals=false"}) {
           EXPECT_NE(qini.find(key), std::string::npos) << key << "\n" << qini;
         }
       }},
      {"calibrations: the linked file and the linked part refused, Main calibrated",
       touches.generate().text, "3\n1\n2\n 3\n3\n 4\n1\n2\n 4\n3\n 3\n1\n1\n\n 16\n",
       [&](const std::string& output) {
         EXPECT_EQ(countOccurrences(output, kRefused), 4u);
         EXPECT_EQ(
             countOccurrences(
                 output,
                 "Successfully written section [PartLocalToArmGlobal111] to file Main.qini.\n"),
             1u);
         EXPECT_NE(contentOf(main / "Main.qini").find("ArmSerial=OLD4711"), std::string::npos);
         beforeReuse = contentOf(main / "Main.qini");
       }},
      {"reuse: each real file once, the backup made afresh",
       "serial N-77-2\n" + kAbove + "\nend hold\n", relocate + "16\n",
       [&](const std::string& output) {
         EXPECT_EQ(countOccurrences(output, "Found 2 .qini files.\n"), 1u);
         EXPECT_EQ(countOccurrences(output, "Processing file: Main.qini.\n"), 1u);
         EXPECT_EQ(countOccurrences(output, "Processing file: Side.qini.\n"), 1u);
         EXPECT_NE(contentOf(main / "Main.qini").find("ArmSerial=N772"), std::string::npos);
         EXPECT_NE(contentOf(side / "Side.qini").find("ArmSerial=N772"), std::string::npos);
         EXPECT_EQ(contentOf(main / "Main.oldqini"), beforeReuse);
         EXPECT_FALSE(fs::is_symlink(main / "Main.oldqini"));
       }},
      {"reset: the real backups restored, the linked one left alone", "", "11\n 16\n",
       [&](const std::string& output) {
         EXPECT_NE(output.find("Number of .oldqini files found: 2.\n"), std::string::npos);
         EXPECT_NE(output.find("Successfully processed 2 of 2 files.\n"), std::string::npos);
         EXPECT_EQ(contentOf(main / "Main.qini"), beforeReuse);
         EXPECT_FALSE(fs::exists(main / "Main.oldqini"));
       }},
      {"reuse again, then clean", "serial N-77-2\n" + kAbove + "\nend hold\n",
       relocate + "12\n 16\n",
       [&](const std::string& output) {
         EXPECT_EQ(countOccurrences(output, "Processing file: Main.qini.\n"), 1u);
         EXPECT_NE(output.find("Number of .oldqini files found: 2.\nDeleted file: "),
                   std::string::npos);
         EXPECT_NE(output.find("Successfully processed 2 of 2 files.\n"), std::string::npos);
         EXPECT_NE(contentOf(main / "Main.qini").find("ArmSerial=N772"), std::string::npos);
         EXPECT_FALSE(fs::exists(main / "Main.oldqini"));
         EXPECT_FALSE(fs::exists(side / "Side.oldqini"));
       }},
      {"add tool to part and dump", "",
       "8\n1\n2\n 8\n1\n1\n3\n 8\n1\n1\n2\n 14\nlisting.txt\n 16\n",
       [&](const std::string& output) {
         EXPECT_EQ(countOccurrences(output, "Failed to identify source .qini or .ini file.\n"), 1u);
         EXPECT_EQ(countOccurrences(output, "Failed to identify destination .qini or .ini file.\n"),
                   1u);
         EXPECT_EQ(countOccurrences(
                       output, "Successfully added tool Probe to part Beta from part Alpha.\n"),
                   1u);
         EXPECT_EQ(contentOf(side / "01_Probe/Probe.vl2"), "probe scan settings");
         // The part list offers no climbing name; the linked part is listed, not followed.
         EXPECT_NE(
             output.find("\nChoose destination part:\n\t1: Alpha\n\t2: Beta\n\t3: Ext\nPlease"),
             std::string::npos);
         const std::string listing =
             contentOf(fs::path(sandbox.workingDirectory()) / "listing.txt");
         EXPECT_NE(listing.find("\t\t\td: 03_Ext\n"), std::string::npos) << listing;
         EXPECT_NE(listing.find("f: Main.qini\n"), std::string::npos) << listing;
         EXPECT_EQ(listing.find("Inner"), std::string::npos) << listing;
         EXPECT_EQ(listing.find('\\'), std::string::npos) << listing;
       }},
      {"arm configuration linked outside: not used, not written",
       "record 0 0 0 30 90 4 x2\nrecord 0 0 0 30 90 10 green\n", "k9\n 16\n",
       [&](const std::string& output) {
         EXPECT_EQ(countOccurrences(output, "The arm configuration file " + configPath +
                                                " leads outside the application-data directory; "
                                                "it is not used.\n"),
                   1u);
         EXPECT_EQ(countOccurrences(output, " could not be written to \""), 1u);
         EXPECT_EQ(countOccurrences(output, "recorded successfully"), 0u);
       }},
  };
  // Every scenario is written before the snapshot, so that the harness's own
  // files are part of what must stay as it was.
  for (std::size_t i = 0; i < runs.size(); ++i) {
    put(root / "scenarios" / std::to_string(i),
        runs[i].scenario.empty() ? kAbove + "\nend hold\n" : runs[i].scenario);
  }
  // Each run is compared with the sandbox as it was before it, so that a
  // difference names the run that made it.
  Snapshot before = outsideSnapshot(sandbox);
  ASSERT_EQ(before.at("outside/Target.qini").mode, 0640u);

  for (std::size_t i = 0; i < runs.size(); ++i) {
    SCOPED_TRACE(runs[i].name);
    // The last run finds the arm configuration file a link to the sentinel
    // outside the application-data directory.
    if (i + 1 == runs.size()) {
      const fs::path config = sandbox.applicationDataDirectory() + "/WinVLPosetta.ini";
      fs::remove(config);
      fs::create_symlink(outside / "WinVLPosetta.ini", config);
    }
    sandbox.setEnvironment("ZORV_ARMSIM_SCENARIO",
                           (root / "scenarios" / std::to_string(i)).string());
    const bool failedBefore = HasFailure();
    const e2e::RunResult run = sandbox.run(runs[i].script, std::chrono::seconds(60));
    ASSERT_FALSE(run.timedOut) << e2e::visible(run.output);
    EXPECT_EQ(run.exitStatus, 0);
    runs[i].check(run.output);
    if (HasFailure() && !failedBefore) std::cerr << e2e::visible(run.output) << "\n";

    Snapshot after = outsideSnapshot(sandbox);
    // The listing is expected where it was named; the link planted under its
    // temporary name is the dump's to remove.
    after.erase("work/listing.txt");
    if (after.count("work/listing.txt.dump.tmp") == 0) before.erase("work/listing.txt.dump.tmp");
    EXPECT_EQ(differences(before, after), "");
    before = after;
  }
}

}  // namespace
