// Helpers of the calibration tests: scenarios made from known placements with
// the scenario tool, transform sections read back, and a recording viewer.
#pragma once

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "E2eHarness.h"
#include "IniFileSection.h"
#include "ScenarioWriter.h"
#include "ZorvGeometry.h"

namespace calibtest {

using Zorv::Geometry::ThreeDimensional::AffineMap;
using Zorv::Geometry::ThreeDimensional::LinearMap;
using Zorv::Geometry::ThreeDimensional::Point;
using Zorv::Geometry::ThreeDimensional::Utility;
using Zorv::Geometry::ThreeDimensional::Vector;

inline Point toPoint(const armsim::Vec3& v) {
  return Point(v.x, v.y, v.z);
}

// A transform section read back as the program stores it.
struct StoredTransform {
  Point origin;
  Vector anglesDeg;
  Vector translation;

  Point apply(const Point& part) const {
    LinearMap rotation;
    rotation.setRotation(0, 1, 2,
                         Vector(Utility::degToRad(anglesDeg.x), Utility::degToRad(anglesDeg.y),
                                Utility::degToRad(anglesDeg.z)));
    return origin + AffineMap(rotation, translation)(part - origin);
  }
};

// Reads the nine keys of a section (through IniFileSection, as the program
// reads them); fails the test when one is missing.
inline StoredTransform readStored(const std::string& file, const std::string& section) {
  StoredTransform stored;
  try {
    const IniFileSection keys(file, section, false);
    for (int i = 0; i < 3; ++i) {
      const std::string axis(1, "XYZ"[i]);
      stored.origin[i] = keys.getDouble(("RotationOrigin" + axis).c_str());
      stored.anglesDeg[i] = keys.getDouble(("RotationAngle" + axis).c_str());
      stored.translation[i] = keys.getDouble(("Translation" + axis).c_str());
    }
  } catch (IniFileSection::IniFileException* e) {
    ADD_FAILURE() << "cannot read " << e->getMessage();
    delete e;
  }
  return stored;
}

inline bool sectionPresent(const std::string& file, const std::string& section) {
  return IniFileSection::sectionExists(file, section);
}

// Builds a description step by step.
class Description {
 public:
  Description& placement(armsim::Vec3 anglesDeg, armsim::Vec3 translation) {
    steps_.steps.push_back(armsim::SetPlacement{{anglesDeg, translation, {}}});
    return *this;
  }
  Description& ball(double size) {
    steps_.steps.push_back(armsim::SetBall{size});
    return *this;
  }
  Description& probeAngles(double phi, double theta, double psi) {
    steps_.steps.push_back(armsim::SetProbeAngles{phi, theta, psi});
    return *this;
  }
  Description& imageGreen(int presses) {
    steps_.steps.push_back(armsim::SetImageGreen{presses});
    return *this;
  }
  Description& noise(double sigma, std::uint64_t seed) {
    steps_.steps.push_back(armsim::SetNoise{sigma, seed});
    return *this;
  }
  Description& reference(armsim::Vec3 world) {
    steps_.steps.push_back(armsim::SetReference{world});
    return *this;
  }
  Description& touch(armsim::Vec3 part) {
    steps_.steps.push_back(armsim::Touch{part});
    return *this;
  }
  Description& relocate(armsim::Vec3 offset) {
    steps_.steps.push_back(armsim::Relocate{offset, true});
    return *this;
  }
  Description& press(armsim::Button button, int presses) {
    steps_.steps.push_back(armsim::Press{button, presses, 1});
    return *this;
  }
  Description& rest(int records) {
    steps_.steps.push_back(armsim::Rest{records});
    return *this;
  }
  Description& line(const std::string& text) {
    steps_.steps.push_back(armsim::ScenarioLine{text});
    return *this;
  }
  armsim::GeneratedScenario generate() const {
    armsim::GeneratedScenario scenario;
    std::string error;
    EXPECT_TRUE(armsim::generateScenario(steps_, scenario, error)) << error;
    return scenario;
  }

 private:
  armsim::ScenarioDescription steps_;
};

// The text a default-formatted stream writes for the value.
inline std::string text(double value) {
  std::ostringstream out;
  out << value;
  return out.str();
}

// The output with the measured numbers of the accuracy lines replaced: R
// (RMS distance), E (predicted error) and D (its distance).
inline std::string normaliseAccuracy(const std::string& output) {
  static const std::regex rms("(Calibration RMS distance: )[^ \n]+ mm\\.");
  static const std::regex predicted("(Predicted error at the farthest [a-z ]+: )[^ \n]+ mm \\([^ \n]+ mm");
  return std::regex_replace(std::regex_replace(output, rms, "$1R mm."), predicted, "$1E mm (D mm");
}

// The accuracy lines as normaliseAccuracy shows them for a collection whose
// meshes cannot be read.
inline const std::string kAccuracyWithoutMesh =
    "Calibration RMS distance: R mm.\nPredicted error at the farthest calibration point: E mm (D "
    "mm from the centroid of the calibration points; no mesh of the collection could be read).\n";

// The rows of the calibration journal of the sandbox (the header first),
// each split into its fields; empty when there is no journal. Quoted fields
// are read as a spreadsheet reads them.
inline std::vector<std::vector<std::string>> readJournal(const e2e::Sandbox& sandbox) {
  const std::string path = sandbox.applicationDataDirectory() + "/ZorvPosetta-journal.csv";
  std::vector<std::vector<std::string>> rows;
  if (!e2e::fileExists(path)) return rows;
  const std::string text = e2e::readFile(path);
  std::vector<std::string> row(1);
  bool quoted = false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (quoted) {
      if (c == '"' && i + 1 < text.size() && text[i + 1] == '"') {
        row.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        row.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      row.emplace_back();
    } else if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
      rows.push_back(row);
      row.assign(1, std::string());
      ++i;
    } else {
      row.back() += c;
    }
  }
  // Every row ends in CR LF: nothing may follow the last one.
  EXPECT_TRUE(row.size() == 1 && row[0].empty()) << "a torn last row in " << path;
  return rows;
}

// The printed value after `label` up to the next blank or line end, without
// a closing full stop (the last such line of the output).
inline std::string printedValue(const std::string& output, const std::string& label) {
  const std::size_t at = output.rfind(label);
  if (at == std::string::npos) return "(not printed)";
  const std::size_t from = at + label.size();
  std::string value = output.substr(from, output.find_first_of(" \n", from) - from);
  if (!value.empty() && value.back() == '.') value.pop_back();  // the sentence's full stop
  return value;
}

// A viewer stand-in found first on PATH as xdg-open: it notes the file it
// was asked to show in viewer-record.txt, and "closed" when it is ended.
inline void useRecordingViewer(e2e::Sandbox& sandbox) {
  const std::string bin = sandbox.path("viewer-bin");
  testsupport::makeDirectories(bin);
  e2e::writeFile(bin + "/xdg-open",
                 "#!/bin/sh\ntrap 'echo closed >> \"" + sandbox.path("viewer-record.txt") +
                     "\"; exit 0' TERM\necho \"$1\" >> \"" + sandbox.path("viewer-record.txt") +
                     "\"\nsleep 60 &\nwait\n");
  ::chmod((bin + "/xdg-open").c_str(), 0755);
  const char* path = std::getenv("PATH");
  sandbox.setEnvironment("PATH", bin + ":" + (path != nullptr ? path : "/usr/bin:/bin"));
}

}  // namespace calibtest
