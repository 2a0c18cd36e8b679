// zorv-arm-panel: drive the virtual arm's probe from a terminal.
//
//   zorv-arm-panel --channel <file> [--wizard <dir>] [--region <settings file>]
//                  [--pose <x> <y> <z> <phi> <theta> <psi>] [--ball 3|6]
//
// Keys move, tilt and twist the probe and click its buttons; each change is
// appended to the channel that the virtual arm follows (scenario line
// "live <file>"). The screen shows the probe, what the program did with the
// arm's records, and the quad under the probe's axis for one region: the one
// named with --region, else the first part settings file below --wizard ('l'
// goes to the next one). The region is loaded again whenever its settings
// file changes, so a calibration made meanwhile shows at once.
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "ArmPanel.h"
#include "LiveChannel.h"
#include "RegionView.h"
#include "platform/console.h"
#include "platform/paths.h"
#include "platform/time.h"

namespace {

using armpanel::Pose;

constexpr const char* kUsage =
    "usage: zorv-arm-panel --channel <file> [--wizard <dir>] [--region <settings file>]\n"
    "                      [--pose <x> <y> <z> <phi> <theta> <psi>] [--ball 3|6]\n"
    "Drives the virtual arm's probe from the keyboard through the live channel <file>\n"
    "(a scenario line \"live <file>\" makes the arm follow it). Without --pose the probe\n"
    "starts where the channel's last line left it.\n";

struct Options {
  std::string channel;
  std::string wizard;
  std::string region;
  bool poseGiven = false;
  Pose pose;
  double ballSize = 3.0;
};

bool toNumber(const std::string& text, double& value) {
  char* end = nullptr;
  value = std::strtod(text.c_str(), &end);
  return !text.empty() && end == text.c_str() + text.size();
}

bool parseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const std::string option = argv[i];
    const auto value = [&](std::string& out) {
      if (i + 1 >= argc) return false;
      out = argv[++i];
      return true;
    };
    if (option == "--channel") {
      if (!value(options.channel)) return false;
    } else if (option == "--wizard") {
      if (!value(options.wizard)) return false;
    } else if (option == "--region") {
      if (!value(options.region)) return false;
    } else if (option == "--ball") {
      std::string size;
      if (!value(size) || !toNumber(size, options.ballSize) ||
          (options.ballSize != 3.0 && options.ballSize != 6.0)) {
        return false;
      }
    } else if (option == "--pose") {
      double* fields[6] = {&options.pose.x,   &options.pose.y,     &options.pose.z,
                           &options.pose.phi, &options.pose.theta, &options.pose.psi};
      for (double* field : fields) {
        if (i + 1 >= argc || !toNumber(argv[i + 1], *field)) return false;
        ++i;
      }
      options.poseGiven = true;
    } else {
      return false;
    }
  }
  return !options.channel.empty();
}

// One key, arrows and page keys folded into the panel's special keys.
int readKey() {
  const int key = platform::console::getKey();
  // _getch gives those keys of the Windows console as 0 or 0xE0 and a scan
  // code; a terminal sends an escape sequence (below).
  if ((key == 0 || key == 0xE0) && platform::console::keyWaiting()) {
    switch (platform::console::getKey()) {
      case 72:
        return armpanel::kKeyUp;
      case 80:
        return armpanel::kKeyDown;
      case 77:
        return armpanel::kKeyRight;
      case 75:
        return armpanel::kKeyLeft;
      case 73:
        return armpanel::kKeyPageUp;
      case 81:
        return armpanel::kKeyPageDown;
      default:
        return 0;
    }
  }
  if (key != 27) return key;
  // An escape sequence arrives at once; a lone Escape does nothing.
  platform::sleepMs(5);
  if (!platform::console::keyWaiting()) return 0;
  if (platform::console::getKey() != '[' || !platform::console::keyWaiting()) return 0;
  switch (platform::console::getKey()) {
    case 'A':
      return armpanel::kKeyUp;
    case 'B':
      return armpanel::kKeyDown;
    case 'C':
      return armpanel::kKeyRight;
    case 'D':
      return armpanel::kKeyLeft;
    case '5':
      if (platform::console::keyWaiting()) platform::console::getKey();
      return armpanel::kKeyPageUp;
    case '6':
      if (platform::console::keyWaiting()) platform::console::getKey();
      return armpanel::kKeyPageDown;
    default:
      return 0;
  }
}

std::string fixed(double value, int decimals) {
  // No "-0.000" for what rounds to zero.
  if (std::fabs(value) < 0.5 * std::pow(10.0, -decimals)) value = 0.0;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, value);
  return text;
}

// What the program did with the arm, from the arm's status file.
class ArmWatch {
 public:
  explicit ArmWatch(std::string channel) : channel_(std::move(channel)) {}

  void update(std::uint64_t buttonRecordsSent) {
    armsim::LiveCounts counts;
    const std::uint32_t now = platform::tickMs();
    if (!armsim::readLiveStatus(channel_, counts)) return;
    if (!following_ || counts.records < counts_.records) {
      // A new arm session: clicks sent before it are not its business.
      sentBase_ = buttonRecordsSent;
      following_ = true;
    }
    if (counts.records != counts_.records) lastTakeMs_ = now;
    counts_ = counts;
    reading_ = now - lastTakeMs_ < 600;
    sent_ = buttonRecordsSent - sentBase_;
  }

  std::string line() const {
    if (!following_) {
      return "not following the channel yet: start the program with a scenario "
             "holding \"live\"";
    }
    const std::uint64_t handled = counts_.presses + counts_.dropped;
    const std::uint64_t waiting = sent_ > handled ? sent_ - handled : 0;
    return std::string(reading_ ? "the program is reading the arm" : "the program is not reading") +
           "; button records taken " + std::to_string(counts_.presses) + ", dropped " +
           std::to_string(counts_.dropped) + ", waiting " + std::to_string(waiting);
  }

 private:
  std::string channel_;
  armsim::LiveCounts counts_;
  bool following_ = false;
  bool reading_ = false;
  std::uint32_t lastTakeMs_ = 0;
  std::uint64_t sentBase_ = 0;
  std::uint64_t sent_ = 0;
};

std::vector<std::string> screen(const Options& options, const armpanel::PanelState& state,
                                const armpanel::RegionView& view, const std::string& regionName,
                                const ArmWatch& arm) {
  const Pose& p = state.pose();
  double ax = 0, ay = 0, az = 0;
  state.axis(ax, ay, az);
  const double radius = options.ballSize / 2.0;
  std::vector<std::string> lines;
  lines.push_back(" Virtual arm panel    channel " + options.channel);
  lines.push_back("");
  lines.push_back(" Probe   x " + fixed(p.x, 1) + "  y " + fixed(p.y, 1) + "  z " + fixed(p.z, 1) +
                  " mm    phi " + fixed(p.phi, 1) + "  theta " + fixed(p.theta, 1) + "  psi " +
                  fixed(p.psi, 1) + " deg");
  lines.push_back(" Axis    (" + fixed(ax, 3) + ", " + fixed(ay, 3) + ", " + fixed(az, 3) + ")   " +
                  fixed(options.ballSize, 0) + " mm ball centre " + fixed(p.x + radius * ax, 1) +
                  " " + fixed(p.y + radius * ay, 1) + " " + fixed(p.z + radius * az, 1));
  lines.push_back(" Step    " + fixed(state.step().mm, 1) + " mm, " + fixed(state.step().degrees, 1) +
                  " deg     last: " + state.lastAction());
  lines.push_back(" Arm     " + arm.line());
  lines.push_back("");
  if (view.settingsFile().empty()) {
    lines.push_back(" Region  none (--region <settings file> or --wizard <dir>)");
  } else {
    lines.push_back(" Region  " + regionName + ", arm position " +
                    std::to_string(view.armPosition() + 1) + ", part position " +
                    std::to_string(view.partPosition() + 1));
    const armpanel::UnderProbe under = view.lookUp(p, radius);
    if (!under.loaded) {
      lines.push_back("         not loaded: " + view.message());
    } else {
      lines.push_back("         " + under.line + (under.hit ? "  File: " + under.file + "." : ""));
      lines.push_back(under.placed ? "" : "         " + view.message());
    }
  }
  lines.push_back("");
  for (const std::string& help : armpanel::keyHelp()) lines.push_back(" " + help);
  return lines;
}

void draw(const std::vector<std::string>& lines) {
  std::string text = "\x1b[H";
  for (const std::string& line : lines) text += line + "\x1b[K\r\n";
  text += "\x1b[J";
  std::cout << text << std::flush;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!parseOptions(argc, argv, options)) {
    std::cerr << kUsage;
    return 2;
  }
  platform::console::install();
  // The screen is drawn with terminal sequences.
  platform::console::enableScreenSequences();

  Pose start = options.pose;
  if (!options.poseGiven) armpanel::lastChannelPose(options.channel, start);
  armpanel::ChannelWriter writer(options.channel);
  if (!writer.start(start)) {
    std::cerr << "zorv-arm-panel: cannot write " << options.channel << "\n";
    return 1;
  }
  armpanel::PanelState state(start);

  std::vector<std::string> regions;
  if (!options.wizard.empty()) regions = armpanel::findPartSettingsFiles(options.wizard);
  std::size_t regionIndex = 0;
  if (!options.region.empty()) {
    // The named region among those of the tree, else ahead of them.
    std::size_t i = 0;
    for (; i < regions.size(); ++i) {
      std::error_code error;
      if (std::filesystem::equivalent(platform::nativePath(regions[i]),
                                      platform::nativePath(options.region), error)) {
        break;
      }
    }
    if (i == regions.size()) {
      regions.insert(regions.begin(), options.region);
      i = 0;
    }
    regionIndex = i;
  }
  armpanel::RegionView view;
  if (!regions.empty()) view.load(regions[regionIndex], 0, 0);
  int regionRequests = 0;

  ArmWatch arm(options.channel);
  std::cout << "\x1b[2J";
  std::vector<std::string> shown;
  std::uint32_t lastCheck = platform::tickMs() - 1000;
  while (!state.quitRequested()) {
    bool changed = false;
    if (platform::console::keyWaiting()) {
      const int key = readKey();
      if (key == platform::console::kEndOfInput) break;
      changed = state.key(key);
      if (!writer.append(state.takeLines())) {
        std::cerr << "zorv-arm-panel: cannot write " << options.channel << "\n";
        return 1;
      }
      if (state.regionRequests() != regionRequests && !regions.empty()) {
        regionRequests = state.regionRequests();
        regionIndex = (regionIndex + 1) % regions.size();
        view.load(regions[regionIndex], state.armPosition(), state.partPosition());
      }
      view.place(state.armPosition(), state.partPosition());
    } else {
      platform::sleepMs(30);
    }
    const std::uint32_t now = platform::tickMs();
    if (changed || now - lastCheck >= 250) {
      lastCheck = now;
      view.reloadIfChanged();
      arm.update(state.buttonRecordsSent());
    }
    const std::string name = view.settingsFile().empty()
                                 ? std::string()
                                 : armpanel::regionDisplayName(view.settingsFile());
    const std::vector<std::string> lines = screen(options, state, view, name, arm);
    if (lines != shown) {
      draw(lines);
      shown = lines;
    }
  }
  std::cout << "\r\n" << std::flush;
  return 0;
}
