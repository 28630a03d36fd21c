#include "picture/tone_curve.hpp"

#include <gtest/gtest.h>

#include <array>
#include <cmath>

namespace korvel {
namespace {

constexpr std::array kSourcePeaks = {400.0, 1000.0, 4000.0, 10000.0};

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

TEST(ToneCurve, IdentityBelowTheKnee) {
  for (const double peak : kSourcePeaks) {
    const ToneCurve curve(peak, kReferenceWhiteNits);
    EXPECT_GT(curve.kneeNits(), 0.0);
    EXPECT_LT(curve.kneeNits(), kReferenceWhiteNits);
    for (double nits = 0.0; nits < curve.kneeNits(); nits += curve.kneeNits() / 50.0) {
      EXPECT_NEAR(curve(nits), nits, 1e-9) << "peak " << peak;
    }
  }
}

TEST(ToneCurve, MidGreyIsUntouched) {
  const ToneCurve curve(kAssumedContentPeakNits, kReferenceWhiteNits);
  EXPECT_DOUBLE_EQ(curve(26.0), 26.0);
}

TEST(ToneCurve, SourcePeakLandsOnTargetPeak) {
  for (const double peak : kSourcePeaks) {
    const ToneCurve curve(peak, kReferenceWhiteNits);
    EXPECT_NEAR(curve(peak), kReferenceWhiteNits, 1e-6) << "peak " << peak;
    EXPECT_NEAR(curve(peak * 2.0), kReferenceWhiteNits, 1e-6) << "peak " << peak;
  }
}

TEST(ToneCurve, RisesMonotonicallyAndNeverPassesTheTarget) {
  for (const double peak : kSourcePeaks) {
    const ToneCurve curve(peak, kReferenceWhiteNits);
    double previous = curve(0.0);
    for (double nits = 0.5; nits <= peak; nits *= 1.01) {
      const double mapped = curve(nits);
      EXPECT_GE(mapped, previous) << "peak " << peak << " at " << nits;
      EXPECT_LE(mapped, kReferenceWhiteNits + 1e-9);
      previous = mapped;
    }
  }
}

TEST(ToneCurve, ContinuousWithSlopeOneAtTheKnee) {
  for (const double peak : kSourcePeaks) {
    const ToneCurve curve(peak, kReferenceWhiteNits);
    const double knee = curve.kneeNits();
    constexpr double kStep = 1e-3;
    EXPECT_NEAR(curve(knee + kStep), curve(knee - kStep), 3.0 * kStep) << "peak " << peak;
    const double slopeAbove = (curve(knee + 2 * kStep) - curve(knee + kStep)) / kStep;
    EXPECT_NEAR(slopeAbove, 1.0, 0.01) << "peak " << peak;
  }
}

TEST(ToneCurve, NoJumpsAnywhere) {
  const ToneCurve curve(kAssumedContentPeakNits, kReferenceWhiteNits);
  for (double nits = 1.0; nits < kAssumedContentPeakNits; nits += 0.5) {
    EXPECT_LT(curve(nits + 0.5) - curve(nits), 0.5 + 1e-9) << "at " << nits;
  }
}

TEST(ToneCurve, DiffuseWhiteKeepsMostOfItsBrightness) {
  const double white = ToneCurve(kAssumedContentPeakNits, kReferenceWhiteNits)(203.0);
  EXPECT_GT(white, 0.7 * kReferenceWhiteNits);
  EXPECT_LT(white, kReferenceWhiteNits);
  // A brighter master leaves less room: its white is compressed further.
  EXPECT_LT(ToneCurve(4000.0, kReferenceWhiteNits)(203.0), white);
}

TEST(ToneCurve, DimSourceOnlyClipsAtTheTarget) {
  const ToneCurve curve(150.0, kReferenceWhiteNits);
  EXPECT_DOUBLE_EQ(curve(120.0), 120.0);
  EXPECT_NEAR(curve(190.0), 190.0, 1e-9);
  EXPECT_NEAR(curve(500.0), kReferenceWhiteNits, 1e-6);
}

TEST(ToneCurve, NegativeLightIsBlack) {
  EXPECT_EQ(ToneCurve(1000.0, kReferenceWhiteNits)(-5.0), 0.0);
}

}  // namespace
}  // namespace korvel
