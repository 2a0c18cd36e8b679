#include "ArmPanel.h"

#include <charconv>
#include <cmath>
#include <cstdio>

#include "LiveChannel.h"
#include "platform/paths.h"

namespace armpanel {
namespace {

constexpr double kPi = 3.14159265358979323846;

// Moves and turns are kept to a micrometre and a micro-degree, so that a
// hundred steps of 0.1 land on a round number.
double rounded(double value) {
  const double r = std::round(value * 1e6) / 1e6;
  return r == 0.0 ? 0.0 : r;
}

// An angle in (−180, 180].
double wrapped(double degrees) {
  double a = std::fmod(degrees, 360.0);
  if (a <= -180.0) a += 360.0;
  if (a > 180.0) a -= 360.0;
  return rounded(a);
}

std::string number(double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  return std::string(buffer, result.ptr);
}

std::string signedStep(double value) {
  return (value >= 0.0 ? "+" : "") + number(value);
}

}  // namespace

bool operator==(const Pose& a, const Pose& b) {
  return a.x == b.x && a.y == b.y && a.z == b.z && a.phi == b.phi && a.theta == b.theta &&
         a.psi == b.psi;
}

const std::vector<std::string>& keyHelp() {
  static const std::vector<std::string> help = {
      "x X  y Y  z Z   move the probe -/+ along x, y, z (arrows: x, y; PgDn PgUp: z)",
      "t T             tilt the probe -/+ (theta)",
      "p P             turn the tilt -/+ about z (phi)",
      "w W             twist the probe -/+ about its axis (psi)",
      "[ ]             smaller / larger steps          h   back to the start pose",
      "g   green click: records a point, \"green to continue\", psi zero degree",
      "G   long green click: a click in Test region",
      "r   red click: shows an image; twice aborts a recording",
      "R   long red click: ends Test region and Test arm",
      "1 2 / 3 4       region view: arm / part position -/+",
      "l   next region                                  q   quit",
  };
  return help;
}

std::string recordLine(const Pose& pose, const std::string& button, int records) {
  std::string line = "record " + number(pose.x) + " " + number(pose.y) + " " + number(pose.z) +
                     " " + number(pose.phi) + " " + number(pose.theta) + " " + number(pose.psi);
  if (!button.empty()) line += " " + button;
  if (!button.empty() && records > 1) line += " x" + std::to_string(records);
  return line;
}

PanelState::PanelState(const Pose& start) : start_(start), pose_(start) {}

bool PanelState::key(int key) {
  const double mm = kSteps[step_].mm;
  const double degrees = kSteps[step_].degrees;
  switch (key) {
    case 'x':
    case kKeyLeft:
      move(-mm, 0, 0, "x");
      return true;
    case 'X':
    case kKeyRight:
      move(mm, 0, 0, "x");
      return true;
    case 'y':
    case kKeyDown:
      move(0, -mm, 0, "y");
      return true;
    case 'Y':
    case kKeyUp:
      move(0, mm, 0, "y");
      return true;
    case 'z':
    case kKeyPageDown:
      move(0, 0, -mm, "z");
      return true;
    case 'Z':
    case kKeyPageUp:
      move(0, 0, mm, "z");
      return true;
    case 't':
      turn(0, -degrees, 0, "theta");
      return true;
    case 'T':
      turn(0, degrees, 0, "theta");
      return true;
    case 'p':
      turn(-degrees, 0, 0, "phi");
      return true;
    case 'P':
      turn(degrees, 0, 0, "phi");
      return true;
    case 'w':
      turn(0, 0, -degrees, "psi");
      return true;
    case 'W':
      turn(0, 0, degrees, "psi");
      return true;
    case '[':
      if (step_ > 0) --step_;
      lastAction_ = "step " + number(kSteps[step_].mm) + " mm, " + number(kSteps[step_].degrees) +
                    " deg";
      return true;
    case ']':
      if (step_ + 1 < kStepCount) ++step_;
      lastAction_ = "step " + number(kSteps[step_].mm) + " mm, " + number(kSteps[step_].degrees) +
                    " deg";
      return true;
    case 'h':
      pose_ = start_;
      sendPose();
      lastAction_ = "back to the start pose";
      return true;
    case 'g':
      click("green", kClickRecords, "green click");
      return true;
    case 'G':
      click("green", kLongClickRecords, "long green click");
      return true;
    case 'r':
      click("red", kClickRecords, "red click");
      return true;
    case 'R':
      click("red", kLongClickRecords, "long red click");
      return true;
    case '1':
      if (armPosition_ > 0) --armPosition_;
      lastAction_ = "region view: arm position " + std::to_string(armPosition_ + 1);
      return true;
    case '2':
      ++armPosition_;
      lastAction_ = "region view: arm position " + std::to_string(armPosition_ + 1);
      return true;
    case '3':
      if (partPosition_ > 0) --partPosition_;
      lastAction_ = "region view: part position " + std::to_string(partPosition_ + 1);
      return true;
    case '4':
      ++partPosition_;
      lastAction_ = "region view: part position " + std::to_string(partPosition_ + 1);
      return true;
    case 'l':
      ++regionRequests_;
      lastAction_ = "next region";
      return true;
    case 'q':
      quit_ = true;
      lastAction_ = "quit";
      return true;
    default:
      return false;
  }
}

std::vector<std::string> PanelState::takeLines() {
  std::vector<std::string> lines;
  lines.swap(lines_);
  return lines;
}

void PanelState::axis(double& x, double& y, double& z) const {
  const double phi = pose_.phi * kPi / 180.0;
  const double theta = pose_.theta * kPi / 180.0;
  x = std::sin(theta) * std::sin(phi);
  y = -std::sin(theta) * std::cos(phi);
  z = std::cos(theta);
}

void PanelState::move(double dx, double dy, double dz, const char* what) {
  pose_.x = rounded(pose_.x + dx);
  pose_.y = rounded(pose_.y + dy);
  pose_.z = rounded(pose_.z + dz);
  sendPose();
  lastAction_ = std::string("moved ") + what + " " + signedStep(dx + dy + dz) + " mm";
}

void PanelState::turn(double dphi, double dtheta, double dpsi, const char* what) {
  pose_.phi = wrapped(pose_.phi + dphi);
  // theta stays within 0..180: beyond, the same axis has other phi and psi.
  pose_.theta = rounded(std::fmin(180.0, std::fmax(0.0, pose_.theta + dtheta)));
  pose_.psi = wrapped(pose_.psi + dpsi);
  sendPose();
  lastAction_ = std::string("turned ") + what + " " + signedStep(dphi + dtheta + dpsi) + " deg";
}

void PanelState::click(const char* button, int records, const char* what) {
  lines_.push_back(recordLine(pose_, button, records));
  buttonRecords_ += static_cast<std::uint64_t>(records);
  lastAction_ = what;
}

void PanelState::sendPose() {
  lines_.push_back(recordLine(pose_));
}

ChannelWriter::ChannelWriter(std::string path) : path_(std::move(path)) {}

bool ChannelWriter::start(const Pose& pose) {
  std::FILE* file = platform::openFile(path_, "wb");
  if (file == nullptr) return false;
  const std::string line = "# virtual arm panel\n" + recordLine(pose) + "\n";
  const bool complete = std::fwrite(line.data(), 1, line.size(), file) == line.size();
  return std::fclose(file) == 0 && complete;
}

bool ChannelWriter::append(const std::vector<std::string>& lines) {
  if (lines.empty()) return true;
  std::FILE* file = platform::openFile(path_, "ab");
  if (file == nullptr) return false;
  bool complete = true;
  for (const std::string& text : lines) {
    const std::string line = text + "\n";
    // One line per write, flushed at once: the arm never reads half a click
    // it would hold back, and sees each move as soon as it is made.
    complete = complete && std::fwrite(line.data(), 1, line.size(), file) == line.size() &&
               std::fflush(file) == 0;
  }
  return std::fclose(file) == 0 && complete;
}

bool lastChannelPose(const std::string& path, Pose& pose) {
  armsim::LiveChannelReader reader(path);
  bool found = false;
  for (const std::string& line : reader.poll()) {
    std::vector<armsim::Record> records;
    std::string problem;
    if (!armsim::parseLiveLine(line, records, problem) || records.empty()) continue;
    const armsim::Record& r = records.back();
    pose = Pose{r.x, r.y, r.z, r.phi, r.theta, r.psi};
    found = true;
  }
  return found;
}

}  // namespace armpanel
