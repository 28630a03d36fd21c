#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>

#include "app/duration_gate.hpp"
#include "app/info_command.hpp"
#include "request/tool_error.hpp"

namespace korvel {
namespace {

using Limits = std::numeric_limits<double>;

TEST(DurationGate, PositiveFiniteDurationsPass) {
  for (const double seconds :
       {1.0, 0.001, 1e300, Limits::max(), Limits::min(), Limits::denorm_min()}) {
    EXPECT_TRUE(passesDurationGate(seconds)) << seconds;
  }
}

TEST(DurationGate, ZeroNegativeInfiniteAndNanFail) {
  const double payloadNan = std::nan("0x1234");
  for (const double seconds : {0.0, -0.0, -1.0, -Limits::denorm_min(), -Limits::infinity(),
                               Limits::infinity(), Limits::quiet_NaN(), -Limits::quiet_NaN(),
                               Limits::signaling_NaN(), payloadNan, -payloadNan}) {
    EXPECT_FALSE(passesDurationGate(seconds)) << seconds;
  }
}

struct Truncation {
  double seconds;
  std::int64_t milliseconds;
};

// 2^63 / 1000 rounds up to a double whose product is exactly 2^63; the one below it is the
// largest duration that still has a value.
constexpr double kFirstTooLong = 9223372036854775808.0 / 1000.0;

TEST(DurationMilliseconds, TruncatesTheDoubleProduct) {
  for (const Truncation& c : {
           Truncation{1.5, 1500},
           Truncation{2.9999, 2999},
           Truncation{0.0005, 0},
           Truncation{0.0009999, 0},
           Truncation{0.001, 1},
           Truncation{1.005, 1004},  // 1.005 is stored just below, product 1004.99...
           Truncation{Limits::denorm_min(), 0},
           Truncation{std::nextafter(kFirstTooLong, 0.0), 9223372036854773760},
       }) {
    EXPECT_EQ(durationMilliseconds(c.seconds), c.milliseconds) << c.seconds;
  }
}

TEST(DurationMilliseconds, ProductOfTwoToThe63OrMoreIsUnusable) {
  ASSERT_EQ(kFirstTooLong * 1000.0, 9223372036854775808.0);
  for (const double seconds :
       {kFirstTooLong, std::nextafter(kFirstTooLong, Limits::infinity()), 1e300, Limits::max(),
        Limits::infinity(), Limits::quiet_NaN(), -1.0}) {
    try {
      (void)durationMilliseconds(seconds);
      ADD_FAILURE() << "accepted " << seconds;
    } catch (const ToolError& error) {
      EXPECT_EQ(error.code(), ToolError::kUnusableDuration) << seconds;
    }
  }
}

TEST(FormatInfoJson, ExactBytes) {
  EXPECT_EQ(formatInfoJson(0), R"({"duration_ms":0})");
  EXPECT_EQ(formatInfoJson(1500), R"({"duration_ms":1500})");
  EXPECT_EQ(formatInfoJson(std::numeric_limits<std::int64_t>::max()),
            R"({"duration_ms":9223372036854775807})");
}

}  // namespace
}  // namespace korvel
