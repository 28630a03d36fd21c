// `korvel info` on the committed fixtures; their facts are in tests/fixtures/README.md.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

struct KnownDuration {
  std::string_view fixture;
  std::int64_t durationMs;
};

void PrintTo(const KnownDuration& known, std::ostream* out) {
  *out << known.fixture << " (" << known.durationMs << " ms)";
}

class InfoOnFixture : public ::testing::TestWithParam<KnownDuration> {};

TEST_P(InfoOnFixture, PrintsExactDuration) {
  expectJson(runKorvel({"info", encodePath(fixturePath(GetParam().fixture))}),
             GetParam().durationMs);
}

INSTANTIATE_TEST_SUITE_P(
    Info, InfoOnFixture,
    ::testing::Values(
        KnownDuration{"info_1500ms.mp4", 1500}, KnownDuration{"info_1500ms.mkv", 1500},
        KnownDuration{"indexed_h264_bframes.mp4", 2000},
        // 0.5 s empty edit before 2 s of media.
        KnownDuration{"indexed_h264_empty_edit.mp4", 2500}, KnownDuration{"indexed_vp9.webm", 2000},
        KnownDuration{"indexed_h264.ts", 2000}, KnownDuration{"indexed_h264_pts_wrap.ts", 2000},
        KnownDuration{"long_gop_h264.mp4", 30000}, KnownDuration{"audio_1250ms.wav", 1250},
        KnownDuration{"audio_1000ms.flac", 1000}, KnownDuration{"corners.mp4", 1000},
        KnownDuration{"corners_rotate_cw90.mp4", 1000},
        KnownDuration{"corners_rotate_180.mp4", 1000},
        KnownDuration{"corners_rotate_ccw90.mp4", 1000}, KnownDuration{"corners_hflip.mp4", 1000},
        KnownDuration{"corners_transpose.mp4", 1000}, KnownDuration{"anamorphic_sar2.mp4", 1000},
        KnownDuration{"bars_bt709_limited.mp4", 1000}, KnownDuration{"bars_bt709_full.mp4", 1000},
        KnownDuration{"bars_bt601_limited.mp4", 1000}, KnownDuration{"bars_bt601_full.mp4", 1000},
        KnownDuration{"bars_untagged.mp4", 1000},
        // Cover art has no time of its own.
        KnownDuration{"cover_attachment.mkv", 1000}, KnownDuration{"cover_attached_pic.mp4", 1000},
        // Proves the indirection tests' canary would be readable if followed.
        KnownDuration{"indirection_canary.ts", 1000}),
    [](const auto& info) { return parameterName(info.param.fixture); });

// Opens and may parse, but has no usable duration or is no accepted media.
class InfoRejects : public ::testing::TestWithParam<std::string_view> {};

TEST_P(InfoRejects, Fails) {
  expectFailure(runKorvel({"info", encodePath(fixturePath(GetParam()))}));
}

INSTANTIATE_TEST_SUITE_P(Info, InfoRejects,
                         ::testing::Values("zero_duration.mp4", "header_only.wav", "not_media.txt",
                                           "still.png", "still.jpg", "playlist.m3u8",
                                           "concat.ffconcat", "session.sdp"),
                         [](const auto& info) { return parameterName(info.param); });

// Written to a pipe: no duration in the header; 60 frames at 25 fps, so 2400 ms long.
TEST(Info, LiveWebmGetsItsLengthFromTheLastTimestamps) {
  constexpr std::int64_t kTrueMs = 2400;
  const auto durationMs =
      expectInfoDuration(runKorvel({"info", encodePath(fixturePath("live_vp9_no_duration.webm"))}));
  ASSERT_TRUE(durationMs.has_value());
  // The last frame's own length counts, as a player's seek bar shows it.
  EXPECT_LE(std::llabs(*durationMs - kTrueMs), 1) << "info said " << *durationMs << " ms";
}

}  // namespace
}  // namespace korvel::e2e
