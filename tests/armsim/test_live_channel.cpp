// The virtual arm's live channel without the arm: what the block holds as
// moves and clicks arrive and the program takes records, the channel file
// read as it grows, channel lines, and the status file.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "LiveChannel.h"
#include "test_support.h"

namespace {

using armsim::LiveChannelReader;
using armsim::LiveCounts;
using armsim::LivePlayback;
using armsim::Record;

Record pose(double x, bool green = false, bool red = false) {
  Record r;
  r.x = x;
  r.y = 2 * x;
  r.z = 3 * x;
  r.phi = 10;
  r.theta = 90;
  r.psi = -5;
  r.green = green;
  r.red = red;
  return r;
}

// What the block holds, as x plus the buttons ("12", "12 green", "7 red").
std::string shown(const Record& r) {
  std::string text = std::to_string(static_cast<int>(r.x));
  if (r.green) text += " green";
  if (r.red) text += " red";
  return text;
}

// Drives a playback as the arm's writer loop does: write() puts next() into
// the block, take() is the program taking it.
struct Block {
  explicit Block(const Record& start) : playback(start) {}
  std::string write(std::uint32_t now) {
    playback.written(now);
    inBlock = playback.next();
    return shown(inBlock);
  }
  std::string take(std::uint32_t now) {
    playback.taken();
    return write(now);
  }
  LivePlayback playback;
  Record inBlock;
};

TEST(LivePlayback, MovesReplaceAnUntakenRestingRecordAtOnce) {
  Block block(pose(1, true));
  // Nothing written yet: the first record goes in at once, buttons up.
  EXPECT_TRUE(block.playback.replaceUntaken(0));
  EXPECT_EQ(block.write(0), "1");
  EXPECT_FALSE(block.playback.replaceUntaken(5000));
  // Two moves before anybody reads: only the latest pose matters.
  block.playback.receive({pose(2), pose(3)});
  EXPECT_TRUE(block.playback.replaceUntaken(5001));
  EXPECT_EQ(block.write(5001), "3");
  EXPECT_FALSE(block.playback.replaceUntaken(5002));
  // Taken records are written again while the probe stays.
  EXPECT_EQ(block.take(5003), "3");
  EXPECT_EQ(block.take(5004), "3");
  EXPECT_EQ(block.playback.counts(), (LiveCounts{2, 0, 0}));
}

TEST(LivePlayback, AClickStaysUntilTakenThenThePoseComesBack) {
  Block block(pose(1));
  block.write(0);
  // A click, then the probe moves on before the program read anything.
  block.playback.receive({pose(4, true), pose(5)});
  EXPECT_TRUE(block.playback.replaceUntaken(10));
  EXPECT_EQ(block.write(10), "4 green");
  // The press is not replaced while it waits, moves or not.
  block.playback.receive({pose(6)});
  EXPECT_FALSE(block.playback.replaceUntaken(900));
  // One take: the click is over, the latest pose follows, buttons up.
  EXPECT_EQ(block.take(950), "6");
  EXPECT_EQ(block.take(960), "6");
  EXPECT_EQ(block.playback.counts(), (LiveCounts{2, 1, 0}));
}

TEST(LivePlayback, ALongClickHoldsItsButtonForItsRecordsAndClicksQueue) {
  Block block(pose(1));
  block.write(0);
  std::vector<Record> clicks(4, pose(2, true));
  clicks.push_back(pose(3, false, true));
  block.playback.receive(clicks);
  ASSERT_TRUE(block.playback.replaceUntaken(1));
  std::vector<std::string> seen = {block.write(1)};
  for (int take = 0; take < 6; ++take) seen.push_back(block.take(2 + take));
  EXPECT_EQ(seen, (std::vector<std::string>{"2 green", "2 green", "2 green", "2 green", "3 red",
                                            "3", "3"}));
  EXPECT_EQ(block.playback.counts(), (LiveCounts{6, 5, 0}));
}

TEST(LivePlayback, ClicksNobodyTakesAreDroppedAfterTheirPatience) {
  Block block(pose(1));
  block.write(0);
  block.playback.receive({pose(2, true), pose(2, true), pose(3, false, true), pose(7)});
  ASSERT_TRUE(block.playback.replaceUntaken(100));
  EXPECT_EQ(block.write(100), "2 green");
  EXPECT_FALSE(block.playback.replaceUntaken(100 + armsim::kLivePressPatienceMs - 1));
  // The patience is over: the click and the one queued behind it go.
  EXPECT_TRUE(block.playback.replaceUntaken(100 + armsim::kLivePressPatienceMs));
  EXPECT_EQ(block.write(100 + armsim::kLivePressPatienceMs), "7");
  EXPECT_EQ(block.playback.counts(), (LiveCounts{0, 0, 3}));
  // The patience counts from when each button record went into the block,
  // across the wrap of the millisecond tick.
  const std::uint32_t late = 0xFFFFFF00u;
  block.playback.receive({pose(8, true), pose(8, true)});
  ASSERT_TRUE(block.playback.replaceUntaken(late));
  EXPECT_EQ(block.write(late), "8 green");
  EXPECT_EQ(block.take(late + 500), "8 green");
  EXPECT_FALSE(block.playback.replaceUntaken(late + 500 + armsim::kLivePressPatienceMs - 1));
  EXPECT_TRUE(block.playback.replaceUntaken(late + 500 + armsim::kLivePressPatienceMs));
  EXPECT_EQ(block.playback.counts(), (LiveCounts{1, 1, 4}));
}

TEST(LivePlayback, OldChannelLinesGiveThePoseAndNoClick) {
  Block block(pose(1));
  block.playback.catchUp({pose(2), pose(3, true)});
  EXPECT_EQ(block.write(0), "3");
  EXPECT_EQ(block.take(1), "3");
  block.playback.catchUp({});
  EXPECT_EQ(block.take(2), "3");
  // Taking before anything was written counts nothing.
  LivePlayback fresh(pose(1));
  fresh.taken();
  EXPECT_EQ(fresh.counts(), (LiveCounts{0, 0, 0}));
}

TEST(LiveChannel, LinesReadAsRecords) {
  struct Case {
    const char* line;
    bool ok;
    std::size_t records;
    bool green;
    bool red;
  };
  const Case cases[] = {
      {"record 1 2 3 4 5 6", true, 1, false, false},
      {"RECORD 1 2 3 4 5 6 green", true, 1, true, false},
      {"record 1 2 3 4 5 6 red x4", true, 4, false, true},
      {"  ", true, 0, false, false},
      {"# a comment", true, 0, false, false},
      {"record 1 2 3", false, 0, false, false},
      {"record 1 2 3 4 5 6 blue", false, 0, false, false},
      {"serial P08-99-0000", false, 0, false, false},
      {"move 1 2 3 4 5 6 10", false, 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    std::vector<Record> records;
    std::string problem;
    EXPECT_EQ(armsim::parseLiveLine(c.line, records, problem), c.ok) << problem;
    ASSERT_EQ(records.size(), c.records);
    for (const Record& r : records) {
      EXPECT_EQ(r.x, 1.0);
      EXPECT_EQ(r.psi, 6.0);
      EXPECT_EQ(r.green, c.green);
      EXPECT_EQ(r.red, c.red);
    }
  }
}

TEST(LiveChannel, TheReaderTakesCompleteLinesAsTheFileGrows) {
  testsupport::TempDir dir;
  const std::string path = dir / "live.txt";
  LiveChannelReader reader(path);
  EXPECT_TRUE(reader.poll().empty());  // not there yet

  testsupport::writeFile(path, "record 1 2 3 4 5 6\r\nrecord 7");
  EXPECT_EQ(reader.poll(), std::vector<std::string>{"record 1 2 3 4 5 6"});
  EXPECT_TRUE(reader.poll().empty());
  // The unfinished line is read whole once its end comes.
  testsupport::writeFile(path, "record 1 2 3 4 5 6\r\nrecord 7 8 9 0 90 0\n\nrecord 1 1 1 1 1 1\n");
  EXPECT_EQ(reader.poll(), (std::vector<std::string>{"record 7 8 9 0 90 0", "",
                                                     "record 1 1 1 1 1 1"}));
  // A file started afresh (shorter than what was read) is read from its start.
  testsupport::writeFile(path, "record 5 5 5 0 0 0\n");
  EXPECT_EQ(reader.poll(), std::vector<std::string>{"record 5 5 5 0 0 0"});
}

TEST(LiveChannel, StatusFileRoundTrip) {
  testsupport::TempDir dir;
  const std::string channel = dir / "live.txt";
  LiveCounts counts;
  EXPECT_FALSE(armsim::readLiveStatus(channel, counts));
  ASSERT_TRUE(armsim::writeLiveStatus(channel, LiveCounts{12345678901ull, 7, 2}));
  EXPECT_EQ(testsupport::readFile(armsim::liveStatusPath(channel)),
            "records 12345678901\npresses 7\ndropped 2\n");
  ASSERT_TRUE(armsim::readLiveStatus(channel, counts));
  EXPECT_EQ(counts, (LiveCounts{12345678901ull, 7, 2}));
  // Rewritten in place of the old one; no temporary left behind.
  ASSERT_TRUE(armsim::writeLiveStatus(channel, LiveCounts{1, 0, 0}));
  ASSERT_TRUE(armsim::readLiveStatus(channel, counts));
  EXPECT_EQ(counts, (LiveCounts{1, 0, 0}));
  EXPECT_FALSE(testsupport::exists(armsim::liveStatusPath(channel) + ".new"));
  // Half a status is not read.
  EXPECT_FALSE(armsim::parseLiveStatus("records 3\npresses 1\n", counts));
  EXPECT_FALSE(armsim::parseLiveStatus("records 3\npresses 1\nlost 0\n", counts));
  EXPECT_EQ(counts, (LiveCounts{1, 0, 0}));
}

}  // namespace
