#include "picture/tone_table.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace korvel {
namespace {

TEST(ToneTable, FollowsTheCurveClosely) {
  for (const double peak : {150.0, 400.0, 1000.0, 4000.0, 10000.0}) {
    const ToneCurve curve(peak, kReferenceWhiteNits);
    const ToneTable table(curve);
    double worst = 0.0;
    for (double relative = 0.0; relative < 60.0; relative += 0.0007) {
      const double exact = curve(relative * kReferenceWhiteNits) / kReferenceWhiteNits;
      worst = std::max(worst, std::fabs(table(static_cast<float>(relative)) - exact));
    }
    // A tenth of an 8-bit step at white.
    EXPECT_LT(worst, 1e-4) << "peak " << peak;
  }
}

TEST(ToneTable, ExactBelowTheKneeAndCappedAtThePeak) {
  const ToneTable table(ToneCurve(kAssumedContentPeakNits, kReferenceWhiteNits));
  EXPECT_EQ(table(0.128F), 0.128F);
  EXPECT_EQ(table(-1.0F), 0.0F);
  EXPECT_NEAR(table(1000.0F / 203.0F), 1.0F, 1e-6F);
  EXPECT_NEAR(table(100.0F), 1.0F, 1e-6F);
}

TEST(ToneTable, RisesMonotonically) {
  const ToneTable table(ToneCurve(4000.0, kReferenceWhiteNits));
  float previous = 0.0F;
  for (float relative = 0.0F; relative < 25.0F; relative += 0.001F) {
    const float mapped = table(relative);
    EXPECT_GE(mapped, previous) << relative;
    previous = mapped;
  }
}

}  // namespace
}  // namespace korvel
