// The arm panel: a person drives the virtual arm's probe by keys. The panel
// keeps the probe's pose, turns keys into moves, tilts and clicks, and
// appends them to the virtual arm's live channel (see LiveChannel.h); the
// arm, playing a scenario with "live <channel>", takes them as its records.
//
// The terminal front end is zorv-arm-panel; tests drive PanelState and
// ChannelWriter directly, as the front end does.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace armpanel {

// The probe as the arm reports it: the measuring point (mm, the arm's frame)
// and the angles phi, theta, psi (degrees). Its axis is
// (sin θ sin φ, −sin θ cos φ, cos θ).
struct Pose {
  double x = 400.0, y = 0.0, z = 200.0;
  double phi = 0.0, theta = 90.0, psi = 0.0;
};

bool operator==(const Pose& a, const Pose& b);

// One step of the moves (mm) and of the turns (degrees).
struct Step {
  double mm;
  double degrees;
};
// The steps, smallest first; '[' and ']' go through them.
inline constexpr Step kSteps[] = {{0.1, 0.5}, {1.0, 1.0}, {5.0, 5.0},
                                  {10.0, 15.0}, {50.0, 45.0}, {100.0, 90.0}};
inline constexpr int kStepCount = static_cast<int>(sizeof kSteps / sizeof kSteps[0]);
inline constexpr int kDefaultStep = 3;

// Records a click holds its button for: a click takes one record (a
// calibration point, "green to continue"); a long click four, so that the
// region test's button polls, which sample every third record, see it.
inline constexpr int kClickRecords = 1;
inline constexpr int kLongClickRecords = 4;

// Keys other than characters, as the front end reports them.
enum SpecialKey : int {
  kKeyLeft = 0x1001,
  kKeyRight,
  kKeyUp,
  kKeyDown,
  kKeyPageUp,
  kKeyPageDown,
};

// The panel's help, one line per entry.
const std::vector<std::string>& keyHelp();

// The channel line of a pose, with a button held for `records` records when
// one is named ("green" or "red").
std::string recordLine(const Pose& pose, const std::string& button = "", int records = 1);

class PanelState {
 public:
  explicit PanelState(const Pose& start);

  // Applies one key (see keyHelp). False for a key that means nothing.
  bool key(int key);
  // The channel lines that the keys made since the last call.
  std::vector<std::string> takeLines();

  const Pose& pose() const { return pose_; }
  const Step& step() const { return kSteps[step_]; }
  // The probe axis, a unit vector.
  void axis(double& x, double& y, double& z) const;
  // What the last key did, for the panel's screen.
  const std::string& lastAction() const { return lastAction_; }
  // Records with a button down sent so far.
  std::uint64_t buttonRecordsSent() const { return buttonRecords_; }

  // The region view's choices: 0-based arm and part positions ('1' '2',
  // '3' '4', as in the region test) and how many times 'l' asked for the
  // next region.
  int armPosition() const { return armPosition_; }
  int partPosition() const { return partPosition_; }
  int regionRequests() const { return regionRequests_; }
  bool quitRequested() const { return quit_; }

 private:
  void move(double dx, double dy, double dz, const char* what);
  void turn(double dphi, double dtheta, double dpsi, const char* what);
  void click(const char* button, int records, const char* what);
  void sendPose();

  Pose start_;
  Pose pose_;
  int step_ = kDefaultStep;
  std::vector<std::string> lines_;
  std::string lastAction_;
  std::uint64_t buttonRecords_ = 0;
  int armPosition_ = 0;
  int partPosition_ = 0;
  int regionRequests_ = 0;
  bool quit_ = false;
};

// Appends the panel's lines to the channel file.
class ChannelWriter {
 public:
  explicit ChannelWriter(std::string path);
  // Empties the channel and writes the pose as its first line, so that the
  // arm takes it at once (an arm that follows the channel reads an emptied
  // file from its start).
  bool start(const Pose& pose);
  // Appends the lines, each in one write.
  bool append(const std::vector<std::string>& lines);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The pose of the channel's last line, to go on where a panel left off.
// False when the file is missing or holds no record line.
bool lastChannelPose(const std::string& path, Pose& pose);

}  // namespace armpanel
