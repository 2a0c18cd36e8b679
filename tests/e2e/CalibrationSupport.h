// Helpers of the calibration tests: scenarios made from known placements with
// the scenario tool, transform sections read back, and a recording viewer.
#pragma once

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
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
