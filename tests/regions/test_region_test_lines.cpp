// The result lines of the live region test: exact formats, blank forms, and
// the cut to 80 characters; the array probe's settings.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "RegionTestSupport.h"
#include "regions/RegionTest.h"

namespace {

RegionTestHit hitAt(int u, int v, double distance, double angle) {
  RegionTestHit hit;
  hit.valid = true;
  hit.u = u;
  hit.v = v;
  hit.distance = distance;
  hit.angleDegrees = angle;
  return hit;
}

RegionTestHit failedCall() {
  RegionTestHit hit;
  hit.failed = true;
  // What an earlier pass left must not show.
  hit.valid = true;
  return hit;
}

TEST(RegionTestLines, FormatsOfEveryProbeAndResult) {
  struct Case {
    const char* name;
    bool ultrasonic;
    ArrayElement element;
    RegionTestHit hit;
    std::string line;
  };
  const std::string pointBlank =
      "\r(u,v)=(______,______). Distance: ______mm. Angle: ______ deg.     ";
  const std::string arrayBlank =
      "(u,v)=(______,______). Distance: ______mm. Angle: ______deg." + std::string(12, ' ');
  const Case cases[] = {
      {"point hit", false, ArrayElement::Centre, hitAt(12, 345, 48.5, 20.0),
       "\r(u,v)=(000012,000345). Distance: 0048.5mm. Angle: 020.00 deg.     "},
      {"point hit, rounding", false, ArrayElement::Centre, hitAt(0, 7, 1234.56, 179.996),
       "\r(u,v)=(000000,000007). Distance: 1234.6mm. Angle: 180.00 deg.     "},
      {"point hit, negative offset", false, ArrayElement::Centre, hitAt(-5, 2, 3.04, 0.005),
       "\r(u,v)=(-00005,000002). Distance: 0003.0mm. Angle: 000.01 deg.     "},
      {"point hit, wider numbers", false, ArrayElement::Centre, hitAt(1234567, 89, 123456.7, 90.0),
       "\r(u,v)=(1234567,000089). Distance: 123456.7mm. Angle: 090.00 deg.     "},
      // Numbers this wide push the line beyond the 80th character.
      {"point hit, cut", false, ArrayElement::Centre, hitAt(-1234567890, 1234567890, 1.0e14, 90.0),
       "\r(u,v)=(-1234567890,1234567890). Distance: 100000000000000.0mm. Angle: 090.00 de"},
      {"point miss", false, ArrayElement::Start, RegionTestHit{}, pointBlank},
      {"point failed call", false, ArrayElement::End, failedCall(),
       "\rFailed." + std::string(56, ' ')},
      {"centre hit", true, ArrayElement::Centre, hitAt(20, 10, 12.3, 15.0),
       "\rCentre: (u,v)=(000020,000010). Distance: 0012.3mm. Angle: 015.00 deg." +
           std::string(10, ' ')},
      {"start hit", true, ArrayElement::Start, hitAt(7, 10, 12.3, 15.0),
       "\rStart: (u,v)=(000007,000010). Distance: 0012.3mm. Angle: 015.00 deg." +
           std::string(11, ' ')},
      {"end hit", true, ArrayElement::End, hitAt(33, 10, 12.3, 15.0),
       "\rEnd: (u,v)=(000033,000010). Distance: 0012.3mm. Angle: 015.00 deg." +
           std::string(13, ' ')},
      // The blank form of the centre element is one character too long.
      {"centre miss", true, ArrayElement::Centre, RegionTestHit{},
       ("\rCentre: " + arrayBlank).substr(0, 80)},
      {"start miss", true, ArrayElement::Start, RegionTestHit{}, "\rStart: " + arrayBlank},
      {"end failed call", true, ArrayElement::End, failedCall(), "\rEnd: " + arrayBlank},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string line = regionTestResultLine(c.ultrasonic, c.element, c.hit);
    EXPECT_EQ(line, c.line);
    EXPECT_LE(line.size(), kRegionTestLineWidth);
    EXPECT_EQ(line.front(), '\r');
  }
}

TEST(ArrayProbeSettings, APitchThatIsNotFiniteKeepsItsValue) {
  struct Case {
    const char* what;
    std::string probeSection;
    int count;
    double pitch;
  };
  const std::vector<Case> cases = {
      {"both read", "NumberOfElements=32\nElementPitch=0.5\n", 32, 0.5},
      {"pitch nan", "NumberOfElements=64\nElementPitch=nan\n", 64, 0.8},
      {"pitch inf", "NumberOfElements=64\nElementPitch=inf\n", 64, 0.8},
      {"pitch -inf", "NumberOfElements=64\nElementPitch=-INF\n", 64, 0.8},
      {"pitch beyond single precision", "NumberOfElements=64\nElementPitch=1e39\n", 64, 0.8},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    PartFile tool("[Probe]\n" + c.probeSection, "Tool.tini");
    tool.context().toolSettingsFile = tool.path();
    RegionTestProbe settings;
    readArrayProbe(tool.context(), settings);
    EXPECT_EQ(settings.elementCount, c.count);
    EXPECT_EQ(settings.elementPitch, c.pitch);
  }
}

}  // namespace
