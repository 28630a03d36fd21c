#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <string_view>

#include "app/frame_command.hpp"
#include "request/frame_request.hpp"
#include "request/tool_error.hpp"

namespace korvel {
namespace {

Arguments frameArguments(std::string_view position, std::string_view maxSide) {
  return {"korvel", "frame", "L2EubXA0", position, maxSide};
}

ToolError::Code frameErrorCode(const Arguments& arguments) {
  try {
    (void)parseFrameArguments(arguments);
  } catch (const ToolError& error) {
    return error.code();
  }
  ADD_FAILURE() << "accepted";
  return ToolError::Code{};
}

TEST(FrameArguments, CountOtherThanFiveIsBadRequest) {
  EXPECT_EQ(frameErrorCode({"korvel", "frame", "L2EubXA0", "0.5"}), ToolError::kBadRequest);
  EXPECT_EQ(frameErrorCode({"korvel", "frame", "L2EubXA0", "0.5", "128", "x"}),
            ToolError::kBadRequest);
}

TEST(FrameArguments, BadPositionFailsWhateverTheSize) {
  EXPECT_EQ(frameErrorCode(frameArguments("half", "128")), ToolError::kBadRequest);
  EXPECT_EQ(frameErrorCode(frameArguments("half", "huge")), ToolError::kBadRequest);
}

struct FrameCase {
  std::string position;
  std::string maxSide;
};

class FrameArgumentsAccepted : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameArgumentsAccepted, KeepsBothValuesUnchanged) {
  const FrameRequest request =
      parseFrameArguments(frameArguments(GetParam().position, GetParam().maxSide));
  EXPECT_EQ(request.position, std::stod(GetParam().position));
  EXPECT_EQ(std::signbit(request.position), GetParam().position.starts_with('-'));
  EXPECT_EQ(request.maxSide, std::stod(GetParam().maxSide));
}

// 0x1.fffffffffffffp-1 is nextafter(1, 0), the largest position allowed.
INSTANTIATE_TEST_SUITE_P(Bounds, FrameArgumentsAccepted,
                         testing::Values(FrameCase{"0", "64"}, FrameCase{"-0", "1024"},
                                         FrameCase{"0x1.fffffffffffffp-1", "100.5"},
                                         FrameCase{"0.5", "0x40"}, FrameCase{"1e-300", "1.024e3"}));

class FrameArgumentsRefused : public testing::TestWithParam<FrameCase> {};

TEST_P(FrameArgumentsRefused, IsBadRequest) {
  EXPECT_EQ(frameErrorCode(frameArguments(GetParam().position, GetParam().maxSide)),
            ToolError::kBadRequest);
}

INSTANTIATE_TEST_SUITE_P(Position, FrameArgumentsRefused,
                         testing::Values(FrameCase{"1", "128"}, FrameCase{"nan", "128"},
                                         FrameCase{"-nan", "128"}, FrameCase{"-1e-300", "128"},
                                         FrameCase{"inf", "128"}, FrameCase{" 0.5", "128"},
                                         FrameCase{"", "128"}));
INSTANTIATE_TEST_SUITE_P(MaxSide, FrameArgumentsRefused,
                         testing::Values(FrameCase{"0.5", "63.999"}, FrameCase{"0.5", "1024.001"},
                                         FrameCase{"0.5", "nan"}, FrameCase{"0.5", "inf"},
                                         FrameCase{"0.5", "-inf"}, FrameCase{"0.5", "128px"},
                                         FrameCase{"0.5", ""}));

struct TickCase {
  double duration;
  double position;
  std::int64_t ticks;
};

class FrameRequestTime : public testing::TestWithParam<TickCase> {};

TEST_P(FrameRequestTime, RoundsToNearestSixHundredthOfASecond) {
  const MediaTime time = frameRequestTime(GetParam().duration, GetParam().position);
  EXPECT_EQ(time.timescale, 600);
  EXPECT_EQ(time.value, GetParam().ticks);
}

INSTANTIATE_TEST_SUITE_P(
    Ticks, FrameRequestTime,
    testing::Values(TickCase{1.0, 0.5, 300}, TickCase{10.0, 0.0, 0}, TickCase{1.0, -0.0, 0},
                    TickCase{1.0, 300.5 / 600 - 1e-9, 300},  // just below the half tick
                    TickCase{1.0, 300.5 / 600 + 1e-9, 301},  // just above it
                    TickCase{0.375, 0.5, 113},     // exactly 112.5 ticks: the tie rounds up
                    TickCase{2.0 / 1024, 0.5, 1},  // 0.5859375 ticks
                    TickCase{1.0 / 1024, 0.5, 0},  // 0.29296875 ticks
                    TickCase{7200.0, std::nextafter(1.0, 0.0), 4320000}));

TEST(FrameRequestTimeLimit, HugeDurationSaturatesInsteadOfOverflowing) {
  const std::int64_t largest = std::numeric_limits<std::int64_t>::max();
  EXPECT_EQ(frameRequestTime(1e300, 0.5).value, largest);
  EXPECT_EQ(frameRequestTime(std::numeric_limits<double>::max(), 0.9).value, largest);
  EXPECT_EQ(frameRequestTime(1e300, 0.0).value, 0);
  EXPECT_GT(frameRequestTime(1.5e16, 0.5).value, 0);  // just under the cap, still positive
}

}  // namespace
}  // namespace korvel
