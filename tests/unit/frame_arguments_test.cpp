#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "app/frame_command.hpp"
#include "request/command_line.hpp"
#include "request/tool_error.hpp"

namespace korvel {
namespace {

CommandLine frameArguments(std::string_view position, std::string_view maxSide) {
  return CommandLine({"korvel", "frame", "L2EubXA0", position, maxSide});
}

TEST(FrameArguments, BothValuesKeptUnchanged) {
  // 0x1.fffffffffffffp-1 is nextafter(1, 0), the largest position allowed.
  for (const auto& [position, maxSide] : {std::pair{"0", "64"},
                                          {"-0", "1024"},
                                          {"0x1.fffffffffffffp-1", "100.5"},
                                          {"0.5", "0x40"},
                                          {"1e-300", "1.024e3"}}) {
    const FrameRequest request = frameArguments(position, maxSide).frameRequest();
    EXPECT_EQ(request.position, std::stod(position)) << position;
    EXPECT_EQ(std::signbit(request.position), position[0] == '-') << position;
    EXPECT_EQ(request.maxSide, std::stod(maxSide)) << maxSide;
  }
}

TEST(FrameArguments, AnythingElseIsBadRequest) {
  std::vector<CommandLine> refused = {
      CommandLine({"korvel", "frame", "L2EubXA0", "0.5"}),
      CommandLine({"korvel", "frame", "L2EubXA0", "0.5", "128", "x"}),
      frameArguments("half", "huge")};
  for (const char* position : {"1", "nan", "-nan", "-1e-300", "inf", " 0.5", "", "half"}) {
    refused.push_back(frameArguments(position, "128"));
  }
  for (const char* maxSide : {"63.999", "1024.001", "nan", "inf", "-inf", "128px", ""}) {
    refused.push_back(frameArguments("0.5", maxSide));
  }
  for (std::size_t i = 0; i < refused.size(); ++i) {
    try {
      (void)refused[i].frameRequest();
      ADD_FAILURE() << "accepted case " << i;
    } catch (const ToolError& error) {
      EXPECT_EQ(error.code(), ToolError::kBadRequest) << "case " << i;
    }
  }
}

struct TickCase {
  double duration;
  double position;
  std::int64_t ticks;
};

TEST(FrameRequestTime, RoundsToNearestSixHundredthOfASecond) {
  for (const TickCase& c : {
           TickCase{1.0, 0.5, 300},
           TickCase{10.0, 0.0, 0},
           TickCase{1.0, -0.0, 0},
           TickCase{1.0, 300.5 / 600 - 1e-9, 300},  // just below the half tick
           TickCase{1.0, 300.5 / 600 + 1e-9, 301},  // just above it
           TickCase{0.375, 0.5, 113},               // exactly 112.5 ticks: the tie rounds up
           TickCase{2.0 / 1024, 0.5, 1},            // 0.5859375 ticks
           TickCase{1.0 / 1024, 0.5, 0},            // 0.29296875 ticks
           TickCase{7200.0, std::nextafter(1.0, 0.0), 4320000},
       }) {
    const MediaTime time = frameRequestTime(c.duration, c.position);
    EXPECT_EQ(time.timescale, 600);
    EXPECT_EQ(time.value, c.ticks) << c.duration << " at " << c.position;
  }
}

TEST(FrameRequestTime, HugeDurationSaturatesInsteadOfOverflowing) {
  const std::int64_t largest = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(frameRequestTime(1e300, 0.5).value, largest);
  EXPECT_EQ(frameRequestTime(std::numeric_limits<double>::max(), 0.9).value, largest);
  EXPECT_EQ(frameRequestTime(1e300, 0.0).value, 0);
  EXPECT_GT(frameRequestTime(1.5e16, 0.5).value, 0);  // just under the cap, still positive
}

}  // namespace
}  // namespace korvel
