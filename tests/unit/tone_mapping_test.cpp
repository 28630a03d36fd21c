// HDR light brought into SDR: the PQ transfer, the tone curve, its table and the colour fit.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "picture/sdr_fit.hpp"
#include "picture/tone_curve.hpp"
#include "picture/tone_table.hpp"

namespace korvel {
namespace {

constexpr double kTarget = kReferenceWhiteNits;

TEST(PqCurve, KnownSignalsAndRoundTrip) {
  EXPECT_NEAR(pqFromNits(10000.0), 1.0, 1e-9);
  EXPECT_NEAR(pqFromNits(1000.0), 0.7518, 1e-4);
  EXPECT_NEAR(pqFromNits(203.0), 0.5806, 1e-4);
  EXPECT_NEAR(pqFromNits(100.0), 0.5081, 1e-4);
  EXPECT_LT(pqFromNits(0.0), 1e-5);
  for (const double nits : {0.01, 1.0, 26.0, 203.0, 1000.0, 4000.0}) {
    EXPECT_NEAR(nitsFromPq(pqFromNits(nits)), nits, nits * 1e-9);
  }
}

// For every source peak brighter than the target: identity below the knee, continuous with
// slope one there, rising but never faster than the light itself, the peak on the target.
TEST(ToneCurve, ShapeForEverySourcePeak) {
  for (const double peak : {400.0, 1000.0, 4000.0, 10000.0}) {
    const ToneCurve curve(peak, kTarget);
    const double knee = curve.kneeNits();
    ASSERT_GT(knee, 0.0);
    EXPECT_LT(knee, kTarget);
    for (double nits = 0.0; nits < knee; nits += knee / 50.0) {
      EXPECT_NEAR(curve(nits), nits, 1e-9) << "peak " << peak;
    }
    constexpr double kStep = 1e-3;
    EXPECT_NEAR(curve(knee + kStep), curve(knee - kStep), 3.0 * kStep) << "peak " << peak;
    EXPECT_NEAR((curve(knee + 2 * kStep) - curve(knee + kStep)) / kStep, 1.0, 0.01);
    double previous = curve(0.5);
    for (double nits = 0.5 * 1.01; nits <= peak; nits *= 1.01) {
      const double mapped = curve(nits);
      EXPECT_GE(mapped, previous) << "peak " << peak << " at " << nits;
      EXPECT_LE(mapped - previous, nits - nits / 1.01 + 1e-9) << "peak " << peak;
      previous = mapped;
    }
    EXPECT_NEAR(curve(peak), kTarget, 1e-6) << "peak " << peak;
    EXPECT_NEAR(curve(peak * 2.0), kTarget, 1e-6) << "peak " << peak;
  }
}

TEST(ToneCurve, WhiteGreyDarkAndDimSources) {
  const ToneCurve curve(kAssumedContentPeakNits, kTarget);
  EXPECT_DOUBLE_EQ(curve(26.0), 26.0);
  EXPECT_EQ(curve(-5.0), 0.0);
  const double white = curve(203.0);
  EXPECT_GT(white, 0.7 * kTarget);
  EXPECT_LT(white, kTarget);
  // A brighter master leaves less room: its white is compressed further.
  EXPECT_LT(ToneCurve(4000.0, kTarget)(203.0), white);
  // A source dimmer than the target is only clipped at the target.
  const ToneCurve dim(150.0, kTarget);
  EXPECT_DOUBLE_EQ(dim(120.0), 120.0);
  EXPECT_NEAR(dim(190.0), 190.0, 1e-9);
  EXPECT_NEAR(dim(500.0), kTarget, 1e-6);
}

TEST(ToneTable, FollowsTheCurveAndRises) {
  for (const double peak : {150.0, 400.0, 1000.0, 4000.0, 10000.0}) {
    const ToneCurve curve(peak, kTarget);
    const ToneTable table(curve);
    double worst = 0.0;
    for (double relative = 0.0; relative < 60.0; relative += 0.0007) {
      const double exact = curve(relative * kTarget) / kTarget;
      worst = std::max(worst, std::fabs(table(static_cast<float>(relative)) - exact));
    }
    // A tenth of an 8-bit step at white.
    EXPECT_LT(worst, 1e-4) << "peak " << peak;
    float previous = 0.0F;
    for (float relative = 0.0F; relative < 25.0F; relative += 0.001F) {
      EXPECT_GE(table(relative), previous) << "peak " << peak << " at " << relative;
      previous = table(relative);
    }
  }
  const ToneTable table(ToneCurve(kAssumedContentPeakNits, kTarget));
  EXPECT_EQ(table(0.128F), 0.128F);
  EXPECT_EQ(table(-1.0F), 0.0F);
  EXPECT_NEAR(table(1000.0F / 203.0F), 1.0F, 1e-6F);
  EXPECT_NEAR(table(100.0F), 1.0F, 1e-6F);
}

const ToneTable kCurve(ToneCurve(kAssumedContentPeakNits, kTarget));

// Each channel in 0-1, and the offset from its own grey pointing as the original's does (same
// hue, any saturation).
void expectFittedKeepingHue(LinearRgb original, LinearRgb fitted) {
  for (const float channel : {fitted.r, fitted.g, fitted.b}) {
    EXPECT_GE(channel, 0.0F);
    EXPECT_LE(channel, 1.0F);
  }
  const float yo = luminanceOf(original);
  const float yf = luminanceOf(fitted);
  const float ratio = (fitted.g - yf) / (original.g - yo);
  EXPECT_GT(ratio, 0.0F);
  EXPECT_NEAR(fitted.r - yf, ratio * (original.r - yo), 1e-4F);
  EXPECT_NEAR(fitted.b - yf, ratio * (original.b - yo), 1e-4F);
}

TEST(SdrFit, InGamutColoursKeepTheirRatios) {
  const LinearRgb dark{0.05F, 0.12F, 0.3F};
  const LinearRgb same = fitIntoSdr(dark, kCurve);
  EXPECT_FLOAT_EQ(same.r, dark.r);
  EXPECT_FLOAT_EQ(same.g, dark.g);
  EXPECT_FLOAT_EQ(same.b, dark.b);
  const LinearRgb bright = fitIntoSdr(LinearRgb{4.0F, 1.5F, 0.2F}, kCurve);
  expectFittedKeepingHue(LinearRgb{4.0F, 1.5F, 0.2F}, bright);
  EXPECT_GT(bright.r, 0.9F);
  EXPECT_NEAR(bright.g / bright.r, 1.5F / 4.0F, 1e-5F);
  EXPECT_NEAR(bright.b / bright.r, 0.2F / 4.0F, 1e-5F);
  for (const float level : {0.128F, 1.0F, 3.0F, 50.0F}) {
    const LinearRgb grey = fitIntoSdr(LinearRgb{level, level, level}, kCurve);
    EXPECT_TRUE(grey.r == grey.g && grey.g == grey.b && grey.r <= 1.0F) << level;
  }
  for (const LinearRgb none : {LinearRgb{}, LinearRgb{-0.1F, -0.2F, -0.3F}}) {
    const LinearRgb black = fitIntoSdr(none, kCurve);
    EXPECT_TRUE(black.r == 0.0F && black.g == 0.0F && black.b == 0.0F);
  }
}

TEST(SdrFit, OutOfGamutColourMovesTowardsItsGreyNotClipped) {
  // BT.2020's green primary at 0.35, in BT.709 terms.
  const LinearRgb green{-0.2057F, 0.3965F, -0.0352F};
  const LinearRgb fitted = fitIntoSdr(green, kCurve);
  expectFittedKeepingHue(green, fitted);
  EXPECT_NEAR(luminanceOf(fitted), luminanceOf(green), 1e-5F);
  EXPECT_FLOAT_EQ(std::min({fitted.r, fitted.g, fitted.b}), 0.0F);
  expectFittedKeepingHue(LinearRgb{-1.0F, 6.0F, 2.0F}, fitIntoSdr({-1.0F, 6.0F, 2.0F}, kCurve));
}

}  // namespace
}  // namespace korvel
