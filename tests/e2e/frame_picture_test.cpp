// `korvel frame` gives the picture a viewer expects on the fixtures of tests/fixtures/picture
// (see make_picture_fixtures.sh and tests/fixtures/README.md): untagged 10-bit video read as
// SDR, the stream that plays through the file, only pictures decoded with their references,
// encrypted video refused, and the picture area the stream shows.

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

// --- which picture --------------------------------------------------------------------------

struct IndexCase {
  std::string name;
  std::string_view file;
  std::string position;
  int expectedFrame;
};

void PrintTo(const IndexCase& indexCase, std::ostream* out) {
  *out << indexCase.file << " at " << indexCase.position << " -> frame " << indexCase.expectedFrame;
}

class PictureChoice : public ::testing::TestWithParam<IndexCase> {};

TEST_P(PictureChoice, ShowsExpectedFrame) {
  const IndexCase& indexCase = GetParam();
  const auto image =
      expectThumbnail(runFrame(picture(indexCase.file), indexCase.position, "256"), 256, 192);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(readGridIndex(*image), indexCase.expectedFrame);
}

INSTANTIATE_TEST_SUITE_P(
    Frame, PictureChoice,
    ::testing::Values(
        // 2 s of 25 fps beside a default track of 0.48 s: the long one, where both play and
        // after; beside one of 1.2 s, the long one once the other has ended.
        IndexCase{"LongTrackWhileBothPlay", "two_tracks_short_default.mp4", "0.1", 5},
        IndexCase{"LongTrackAfterShortEnds", "two_tracks_short_default.mp4", "0.9", 45},
        IndexCase{"TrackStillPlaying", "two_tracks_long_default.mp4", "0.9", 45},
        // Cut between sync frames: the first picture decoded with its references, then the
        // frame at the time (frame n at (n - 11) / 25 s, and at (n - 8) / 25 s).
        IndexCase{"CutOpenGopStart", "ts_cut_open_gop.ts", "0", 25},
        IndexCase{"CutOpenGopBeforeIFrame", "ts_cut_open_gop.ts", "0.2", 25},
        IndexCase{"CutOpenGopAfterIFrame", "ts_cut_open_gop.ts", "0.3047", 30},
        IndexCase{"CutRefreshStart", "ts_cut_gradual_refresh.ts", "0", 43},
        IndexCase{"CutRefreshBeforeWhole", "ts_cut_gradual_refresh.ts", "0.45", 43},
        IndexCase{"CutRefreshAfterWhole", "ts_cut_gradual_refresh.ts", "0.5597", 45},
        // Frame 12 of 25 is damaged: the next whole one.
        IndexCase{"DamagedFrameSkipped", "ts_damaged_frame.ts", "0.5", 13},
        // 2 s of 25 fps; a seek lands on an I frame that is no instantaneous refresh.
        IndexCase{"OpenGopFrameAfterIFrame", "open_gop_h264.mp4", "0.33", 16},
        IndexCase{"OpenGopLastFrame", "open_gop_h264.mp4", "0.99", 49}),
    [](const auto& info) { return info.param.name; });

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
