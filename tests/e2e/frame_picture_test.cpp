// `korvel frame` gives the picture a viewer expects on the fixtures of tests/fixtures/picture
// (see make_picture_fixtures.sh and tests/fixtures/README.md): untagged 10-bit video read as
// SDR, encrypted video refused, and the picture area the stream shows.

#include <gtest/gtest.h>

#include <array>
#include <filesystem>
#include <string>
#include <string_view>

#include "frame_expect.hpp"
#include "jpeg_image.hpp"
#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

std::filesystem::path picture(std::string_view file) {
  return fixturePath("picture/" + std::string(file));
}

// --- colour of 10-bit SDR ---------------------------------------------------------------------

// Four quarters: red, green, blue, grey. Read as HDR, grey comes out near 254 and green as
// (1, 233, 133); read with the other SD/HD matrix, green is 26 to 29 off.
constexpr std::array<std::array<int, 3>, 4> kPatches{
    {{200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {180, 180, 180}}};
constexpr double kPatchTolerance = 8;

class TenBitSdrColour : public ::testing::TestWithParam<std::string_view> {};

TEST_P(TenBitSdrColour, PatchesMatchSource) {
  const auto image = expectThumbnail(runFrame(picture(GetParam()), "0.5", "256"), 256, 144);
  ASSERT_TRUE(image.has_value());
  for (int patch = 0; patch < 4; ++patch) {
    const MeanRgb got = image->mean(patch * 64 + 16, 36, patch * 64 + 48, 108);
    const std::array<int, 3>& expected = kPatches[patch];
    const auto where = ::testing::Message()
                       << "patch " << patch << ": got " << got.r << "," << got.g << "," << got.b;
    EXPECT_NEAR(got.r, expected[0], kPatchTolerance) << where;
    EXPECT_NEAR(got.g, expected[1], kPatchTolerance) << where;
    EXPECT_NEAR(got.b, expected[2], kPatchTolerance) << where;
  }
}

INSTANTIATE_TEST_SUITE_P(Frame, TenBitSdrColour,
                         ::testing::Values("untagged_10bit_hevc_720p.mp4",
                                           "untagged_10bit_vp9.webm", "bt709_10bit_hevc.mp4"),
                         [](const auto& info) { return parameterName(info.param); });

// --- encrypted video --------------------------------------------------------------------------

TEST(FrameEncrypted, FailsThoughItsSamplesDecode) {
  expectFailure(runFrame(picture("cenc_clear_samples.mp4"), "0.5", "256"));
}

TEST(FrameEncrypted, InfoStillAnswers) {
  expectJson(runKorvel({"info", encodePath(picture("cenc_clear_samples.mp4"))}), 1000);
}

// --- the picture area shown -------------------------------------------------------------------

TEST(FrameCropping, ShowsOnlyThePictureArea) {
  // Coded 368x240, shown 360x240 of grey; the 4 coded columns either side are red.
  const auto image = expectThumbnail(runFrame(picture("cropped_h264.mp4"), "0", "256"), 256, 171);
  ASSERT_TRUE(image.has_value());
  for (const int x : {0, image->width() - 2}) {
    const MeanRgb edge = image->mean(x, 0, x + 2, image->height());
    EXPECT_NEAR(edge.r, edge.g, 12.0)
        << "column " << x << ": " << edge.r << "," << edge.g << "," << edge.b;
  }
}

}  // namespace
}  // namespace korvel::e2e
