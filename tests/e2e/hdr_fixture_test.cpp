// `korvel frame` on the HDR patch fixtures of tests/fixtures/hdr (see make_hdr_fixtures.sh):
// four 64x64 patches, mid-grey (26 cd/m2), diffuse white (203 cd/m2), a highlight ramp from
// 203 to 1000 cd/m2 and BT.2020's green primary.

#include <gtest/gtest.h>

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "colour_figures.hpp"
#include "frame_expect.hpp"
#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

// Patch interiors, clear of the edges that chroma subsampling blurs.
constexpr int kTop = 12;
constexpr int kBottom = 52;
constexpr int kGreyLeft = 12;
constexpr int kWhiteLeft = 76;
constexpr int kGreenLeft = 204;
constexpr int kPatchInterior = 40;
constexpr std::array kRampColumns = {132, 148, 164, 180};

// Diffuse white is reference white, 26 cd/m2 is 0.128 of it: sRGB code 100.
constexpr double kMidGreyCode = 100.0;
// BT.2020's green primary seen in BT.709 terms, and its Oklab hue; clipping each channel
// instead would show BT.709 green, 10 degrees away.
constexpr std::array<double, 3> kBt2020GreenInBt709 = {-0.5876, 1.1329, -0.1006};
constexpr double kHueTolerance = 4.0;

JpegImage thumbnail(const std::string& fixture) {
  const ProcessResult result = runFrame(fixturePath("hdr/" + fixture), "0.5", "256");
  EXPECT_EQ(result.exitStatus, 0) << describe(result);
  const std::optional<JpegImage> picture = JpegImage::decode(result.out);
  EXPECT_TRUE(picture) << describe(result);
  return picture.value_or(JpegImage{});
}

MeanRgb patchMean(const JpegImage& picture, int left) {
  return picture.mean(left, kTop, left + kPatchInterior, kBottom);
}

double patchLuma(const JpegImage& picture, int left) {
  return luma(patchMean(picture, left));
}

std::vector<double> rampProfile(const JpegImage& picture) {
  std::vector<double> profile;
  for (const int x : kRampColumns) {
    profile.push_back(meanLuma(picture, x - 2, kTop, x + 2, kBottom));
  }
  return profile;
}

class HdrPatches : public ::testing::TestWithParam<std::string> {
 protected:
  void SetUp() override {
    picture_ = thumbnail(GetParam());
    ASSERT_EQ(picture_.width(), 256);
    ASSERT_EQ(picture_.height(), 64);
  }
  JpegImage picture_;
};

TEST_P(HdrPatches, MidGreyStaysMidGrey) {
  const MeanRgb grey = patchMean(picture_, kGreyLeft);
  for (const double channel : {grey.r, grey.g, grey.b}) {
    EXPECT_NEAR(channel, kMidGreyCode, 6.0);
  }
}

TEST_P(HdrPatches, DiffuseWhiteIsNearWhiteAndNeutral) {
  // The tone curve keeps room above white for highlights: 1000 cd/m2 content puts 203 cd/m2
  // at 0.78 of SDR white, code 229.
  const MeanRgb white = patchMean(picture_, kWhiteLeft);
  for (const double channel : {white.r, white.g, white.b}) {
    EXPECT_GE(channel, 220.0);
    EXPECT_LE(channel, 240.0);
  }
  EXPECT_NEAR(white.r, white.g, 3.0);
  EXPECT_NEAR(white.g, white.b, 3.0);
}

TEST_P(HdrPatches, HighlightRampIsNotAFlatBlock) {
  const std::vector<double> ramp = rampProfile(picture_);
  EXPECT_GT(patchLuma(picture_, kWhiteLeft), 0.0);
  for (std::size_t i = 1; i < ramp.size(); ++i) {
    EXPECT_GE(ramp[i], ramp[i - 1] - 1.0) << "column " << kRampColumns[i];
  }
  EXPECT_LE(ramp.front(), 245.0);
  EXPECT_GE(ramp.back() - ramp.front(), 10.0);
  EXPECT_GT(ramp.front(), patchLuma(picture_, kWhiteLeft));
}

TEST_P(HdrPatches, SaturatedPrimaryKeepsItsHue) {
  const MeanRgb green = patchMean(picture_, kGreenLeft);
  const std::array<double, 3> linear = {linearFromSrgb(green.r), linearFromSrgb(green.g),
                                        linearFromSrgb(green.b)};
  EXPECT_NEAR(oklabHue(linear), oklabHue(kBt2020GreenInBt709), kHueTolerance)
      << "output " << green.r << ", " << green.g << ", " << green.b;
  EXPECT_GT(green.g, 120.0) << "green stays a clear green";
}

INSTANTIATE_TEST_SUITE_P(Fixtures, HdrPatches,
                         ::testing::Values("pq_patches.mp4", "hlg_patches.mp4",
                                           "pq_patches_vp9.webm", "dolby_vision_profile8.mp4"),
                         [](const auto& info) { return parameterName(info.param); });

TEST(HdrMetadata, BrighterMasterCompressesMore) {
  // MaxCLL 4000 cd/m2 instead of the 1000 assumed without metadata.
  const JpegImage plain = thumbnail("pq_patches.mp4");
  const JpegImage mastered = thumbnail("pq_patches_mastered.mp4");
  ASSERT_EQ(mastered.width(), 256);
  EXPECT_LT(patchLuma(mastered, kWhiteLeft), patchLuma(plain, kWhiteLeft) - 10.0);
  EXPECT_NEAR(patchLuma(mastered, kGreyLeft), kMidGreyCode, 6.0);
  // 1000 cd/m2 is a quarter of the way to this master's peak: well below SDR white.
  const std::vector<double> ramp = rampProfile(mastered);
  EXPECT_LE(ramp.back(), 252.0);
  EXPECT_GE(ramp.back() - ramp.front(), 20.0);
}

TEST(HdrDolbyVision, ProfileFiveWithoutCompatibleBaseLayerFails) {
  expectFailure(runFrame(fixturePath("hdr/dolby_vision_profile5.mp4"), "0.5", "256"));
}

TEST(HdrSdrPatches, SdrPictureKeepsItsCodes) {
  // Studio codes 118 and 235 in full range; green is (0, 190, 0).
  const JpegImage picture = thumbnail("sdr_patches.mp4");
  ASSERT_EQ(picture.width(), 256);
  EXPECT_NEAR(patchLuma(picture, kGreyLeft), 119.0, 3.0);
  EXPECT_GE(patchLuma(picture, kWhiteLeft), 253.0);
  const MeanRgb green = patchMean(picture, kGreenLeft);
  EXPECT_NEAR(green.r, 0.0, 5.0);
  EXPECT_NEAR(green.g, 190.0, 5.0);
  EXPECT_NEAR(green.b, 0.0, 5.0);
}

}  // namespace
}  // namespace korvel::e2e
