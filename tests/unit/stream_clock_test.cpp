#include "ffmpeg/timeline/stream_clock.hpp"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

namespace korvel {
namespace {

// A clock of 10-tick frames that jumps past 1000 ticks.
constexpr std::int64_t kFrame = 10;
constexpr std::int64_t kJump = 1000;

PacketTimes frame(std::int64_t pts, std::int64_t dts) {
  return PacketTimes{pts, dts, kFrame, 0, 0};
}
// Frames in order, `count` of them from `start`.
std::vector<PacketTimes> run(std::int64_t start, int count) {
  std::vector<PacketTimes> packets;
  packets.reserve(static_cast<std::size_t>(count));
  for (int i = 0; i < count; ++i) {
    packets.push_back(frame(start + i * kFrame, start + i * kFrame));
  }
  return packets;
}
std::vector<PacketTimes> joined(const std::vector<std::vector<PacketTimes>>& parts) {
  std::vector<PacketTimes> all;
  for (const auto& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}

struct ClockCase {
  std::string name;
  std::vector<PacketTimes> packets;
  std::int64_t first, opening, end, gaps, length;
  std::int64_t statedFrame = 0;
  bool settled = true;
};

// Decode times that fall, packet after packet, from `start`.
std::vector<PacketTimes> falling(std::int64_t start, int count) {
  std::vector<PacketTimes> packets;
  for (int i = 0; i < count; ++i) {
    packets.push_back(frame(start - i, start - i));
  }
  return packets;
}

TEST(StreamClock, StretchesOfTheClock) {
  const std::vector<ClockCase> cases = {
      {"InOrder", run(0, 10), 0, 0, 100, 0, 100},
      // Shown in another order than decoded: the span of what is shown.
      {"BFrames",
       {frame(20, 0), frame(50, 10), frame(30, 20), frame(40, 30), frame(60, 40)},
       20,
       20,
       70,
       0,
       50},
      // An open group of pictures cut from its start: shown before the first one decoded.
      {"LeadingPictures", {frame(30, 0), frame(10, 10), frame(20, 20)}, 10, 30, 40, 0, 30},
      // Two recordings joined, the second's clock far later or far earlier: each counts once.
      {"JumpForward", joined({run(0, 5), run(5000, 5)}), 0, 0, 5050, 4950, 100},
      {"JumpBackward", joined({run(5000, 5), run(0, 5)}), 5000, 5000, 50, -5050, 100},
      // One or two packets far off, damaged or crafted, are strays.
      {"StrayInTheMiddle", joined({run(0, 5), run(900000, 1), run(50, 5)}), 0, 0, 100, 0, 100},
      {"StrayAtTheEnd", joined({run(0, 10), run(3600000, 2)}), 0, 0, 100, 0, 100},
      {"StrayAtTheStart", joined({run(INT64_MAX / 2, 2), run(90, 14)}), 90, 90, 230, 0, 140},
      // A stream that is nothing but strays still has its last stretch, but its clock never ran.
      {"OnlyStrays", joined({run(0, 1), run(5000, 1)}), 5000, 5000, 5010, 0, 10, 0, false},
      // Decode times never go back: falling ones after the media are strays, each alone.
      {"FallingAfterTheMedia", joined({run(0, 10), falling(5000, 50)}), 0, 0, 100, 0, 100},
      {"NothingButFalling", falling(900, 50), 851, 851, 861, 0, 10, 0, false},
      // Presentation times alone (no decode time) may go back: B-frames.
      {"PresentationTimesBack",
       {PacketTimes{20, {}, kFrame, 0, 0}, PacketTimes{10, {}, kFrame, 0, 0},
        PacketTimes{30, {}, kFrame, 0, 0}},
       10,
       20,
       40,
       0,
       30},
      // Packets that do not say how long they last: one stated frame, else the usual gap.
      {"UndatedWithAStatedFrame",
       {PacketTimes{0, 0, 0, 0, 0}, PacketTimes{25, 25, 0, 0, 0}},
       0,
       0,
       35,
       0,
       35,
       kFrame},
      {"UndatedWithoutOne",
       {PacketTimes{0, 0, 0, 0, 0}, PacketTimes{25, 25, 0, 0, 0}, PacketTimes{50, 50, 0, 0, 0}},
       0,
       0,
       75,
       0,
       75},
      // An encoder's delay is never heard, even where it outlasts its packet.
      {"PrimingOverTwoPackets",
       {PacketTimes{0, 0, kFrame, 15, 0}, frame(10, 10), frame(20, 20)},
       15,
       15,
       30,
       0,
       15},
      {"PrimingBeforeZero", {PacketTimes{-5, -5, kFrame, 5, 0}, frame(5, 5)}, 0, 0, 15, 0, 15},
      // Times at the ends of the range saturate rather than overflow.
      {"LastTimeAtTheTop",
       {frame(INT64_MAX - 5, 0), frame(INT64_MAX - 1, 1)},
       INT64_MAX - 5,
       INT64_MAX - 5,
       INT64_MAX,
       0,
       5},
  };
  for (const ClockCase& c : cases) {
    StreamClock clock(c.statedFrame, kJump);
    for (const PacketTimes& packet : c.packets) {
      clock.add(packet);
    }
    const Stretches got = clock.stretches();
    EXPECT_TRUE(got.any) << c.name;
    EXPECT_EQ(got.first, c.first) << c.name;
    EXPECT_EQ(got.opening, c.opening) << c.name;
    EXPECT_EQ(got.end, c.end) << c.name;
    EXPECT_EQ(got.gaps, c.gaps) << c.name;
    EXPECT_EQ(got.length, c.length) << c.name;
    EXPECT_EQ(got.settled, c.settled) << c.name;
    // The span less the gaps is the stretches' length wherever the clock went.
    EXPECT_EQ(saturatingSub(saturatingSub(got.end, got.first), got.gaps), got.length) << c.name;
  }
}

TEST(StreamClock, SamplesHeard) {
  // 4 packets of 10, a delay of 15 at the start: 25 heard before the padding at the end.
  StreamClock clock(0, kJump);
  clock.add(PacketTimes{0, 0, kFrame, 15, 0});
  clock.add(frame(10, 10));
  clock.add(frame(20, 20));
  clock.add(PacketTimes{30, 30, kFrame, 0, 4});
  EXPECT_EQ(clock.played(), 25);
  EXPECT_EQ(clock.padding(), 4);
  // One packet that does not say how long it lasts: the samples cannot be counted.
  clock.add(PacketTimes{40, 40, 0, 0, 0});
  EXPECT_EQ(clock.played(), 0);
}

}  // namespace
}  // namespace korvel
