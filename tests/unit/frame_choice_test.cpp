#include "ffmpeg/decode/frame_choice.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace korvel {
namespace {

using Verdict = FrameChoice::Verdict;

constexpr std::int64_t kTarget = 100;

DecodedFrame clean(std::int64_t pts, std::int64_t duration = 0) {
  return DecodedFrame{true, pts, duration, 100, 100};
}
DecodedFrame smeared(std::int64_t pts) {
  return DecodedFrame{false, pts, 10, 100, 100};
}

struct ChoiceCase {
  std::string name;
  std::vector<DecodedFrame> frames;
  std::vector<Verdict> verdicts;
  DecodeBudget budget = {};
};

TEST(FrameChoice, ChoosesTheFrameShownAtTheTarget) {
  DecodeBudget twoFrames;
  twoFrames.frames = 2;
  DecodeBudget threeAreas;
  threeAreas.lumaPixels = 350;  // the first frame is free
  DecodeBudget codedArea;
  codedArea.codedPixels = 150;
  const std::vector<ChoiceCase> cases = {
      {"FrameAtTheTarget",
       {clean(80, 10), clean(90, 10), clean(100, 10)},
       {Verdict::kKeep, Verdict::kKeep, Verdict::kKeepAndStop}},
      {"FrameCoveringTheTarget", {clean(95, 10)}, {Verdict::kKeepAndStop}},
      {"FrameBeforeTheTargetThenOneAfter",
       {clean(90), clean(110)},
       {Verdict::kKeep, Verdict::kStop}},
      {"OnlyFramesAfterTheTarget", {clean(120), clean(130)}, {Verdict::kKeepAndStop}},
      {"UnknownTimesGoOn",
       {clean(90), DecodedFrame{true, {}, 10, 1, 1}},
       {Verdict::kKeep, Verdict::kKeep}},
      {"SmearedFramesNeverCount",
       {smeared(90), clean(95), smeared(110), clean(120)},
       {Verdict::kDrop, Verdict::kKeep, Verdict::kDrop, Verdict::kStop}},
      {"StreamEndsFirst",
       {clean(10), clean(20), clean(30)},
       {Verdict::kKeep, Verdict::kKeep, Verdict::kKeep}},
      {"FrameBudgetReached",
       {clean(10), clean(20), clean(30), clean(40)},
       {Verdict::kKeep, Verdict::kKeep, Verdict::kKeep, Verdict::kStop},
       twoFrames},
      {"PixelBudgetReached",
       {smeared(10), clean(20), clean(30), clean(40), clean(50)},
       {Verdict::kDrop, Verdict::kKeep, Verdict::kKeep, Verdict::kKeep, Verdict::kStop},
       threeAreas},
      {"CodedAreaBudgetReached",
       {clean(10), clean(20), DecodedFrame{true, 30, 0, 1, 100}},
       {Verdict::kKeep, Verdict::kKeep, Verdict::kStop},
       codedArea},
  };
  for (const ChoiceCase& c : cases) {
    FrameChoice choice(kTarget, c.budget);
    std::vector<Verdict> verdicts;
    for (const DecodedFrame& frame : c.frames) {
      verdicts.push_back(choice.consider(frame));
      if (verdicts.back() == Verdict::kKeepAndStop || verdicts.back() == Verdict::kStop) {
        break;
      }
    }
    EXPECT_EQ(verdicts, c.verdicts) << c.name;
  }
}

TEST(FrameChoice, PacketsStopAtTheirCountOrTheirBytes) {
  DecodeBudget budget;
  budget.packets = 2;
  FrameChoice byCount(kTarget, budget);
  EXPECT_TRUE(byCount.admitsPacket(1));
  EXPECT_TRUE(byCount.admitsPacket(1));
  EXPECT_FALSE(byCount.admitsPacket(1));

  FrameChoice byBytes(kTarget);
  EXPECT_TRUE(byBytes.admitsPacket(std::int64_t{40} << 20));
  EXPECT_TRUE(byBytes.admitsPacket(std::int64_t{24} << 20));
  EXPECT_FALSE(byBytes.admitsPacket(1));
}

}  // namespace
}  // namespace korvel
