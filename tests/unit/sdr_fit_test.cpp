#include "picture/sdr_fit.hpp"

#include <gtest/gtest.h>

#include <algorithm>

namespace korvel {
namespace {

const ToneTable kCurve(ToneCurve(kAssumedContentPeakNits, kReferenceWhiteNits));

void expectInRange(LinearRgb colour) {
  for (const float channel : {colour.r, colour.g, colour.b}) {
    EXPECT_GE(channel, 0.0F);
    EXPECT_LE(channel, 1.0F);
  }
}

// Both colours' offsets from their own grey point the same way (same hue, any saturation).
void expectSameDirectionFromGrey(LinearRgb expected, LinearRgb actual) {
  const float ye = luminanceOf(expected);
  const float ya = luminanceOf(actual);
  const float ratio = (actual.g - ya) / (expected.g - ye);
  EXPECT_GT(ratio, 0.0F);
  EXPECT_NEAR(actual.r - ya, ratio * (expected.r - ye), 1e-4F);
  EXPECT_NEAR(actual.b - ya, ratio * (expected.b - ye), 1e-4F);
}

TEST(SdrFit, DarkColoursInGamutPassUnchanged) {
  const LinearRgb colour{0.05F, 0.12F, 0.3F};
  const LinearRgb fitted = fitIntoSdr(colour, kCurve);
  EXPECT_FLOAT_EQ(fitted.r, colour.r);
  EXPECT_FLOAT_EQ(fitted.g, colour.g);
  EXPECT_FLOAT_EQ(fitted.b, colour.b);
}

TEST(SdrFit, GreyStaysGrey) {
  for (const float level : {0.128F, 1.0F, 3.0F, 50.0F}) {
    const LinearRgb fitted = fitIntoSdr(LinearRgb{level, level, level}, kCurve);
    EXPECT_FLOAT_EQ(fitted.r, fitted.g);
    EXPECT_FLOAT_EQ(fitted.g, fitted.b);
    expectInRange(fitted);
  }
}

TEST(SdrFit, BrightSaturatedColourKeepsItsRatios) {
  const LinearRgb colour{4.0F, 1.5F, 0.2F};
  const LinearRgb fitted = fitIntoSdr(colour, kCurve);
  expectInRange(fitted);
  EXPECT_GT(fitted.r, 0.9F);
  EXPECT_NEAR(fitted.g / fitted.r, 1.5F / 4.0F, 1e-5F);
  EXPECT_NEAR(fitted.b / fitted.r, 0.2F / 4.0F, 1e-5F);
}

TEST(SdrFit, OutOfGamutColourMovesTowardsItsGreyNotClipped) {
  // BT.2020's green primary at 0.35, in BT.709 terms.
  const LinearRgb colour{-0.2057F, 0.3965F, -0.0352F};
  const LinearRgb fitted = fitIntoSdr(colour, kCurve);
  expectInRange(fitted);
  EXPECT_NEAR(luminanceOf(fitted), luminanceOf(colour), 1e-5F);
  EXPECT_FLOAT_EQ(std::min({fitted.r, fitted.g, fitted.b}), 0.0F);
  expectSameDirectionFromGrey(colour, fitted);
}

TEST(SdrFit, OutOfGamutHighlightFitsEveryChannel) {
  const LinearRgb colour{-1.0F, 6.0F, 2.0F};
  const LinearRgb fitted = fitIntoSdr(colour, kCurve);
  expectInRange(fitted);
  expectSameDirectionFromGrey(colour, fitted);
}

TEST(SdrFit, NoLightIsBlack) {
  for (const LinearRgb colour : {LinearRgb{}, LinearRgb{-0.1F, -0.2F, -0.3F}}) {
    const LinearRgb fitted = fitIntoSdr(colour, kCurve);
    EXPECT_EQ(fitted.r, 0.0F);
    EXPECT_EQ(fitted.g, 0.0F);
    EXPECT_EQ(fitted.b, 0.0F);
  }
}

}  // namespace
}  // namespace korvel
