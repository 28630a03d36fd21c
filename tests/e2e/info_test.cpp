// `korvel info` on the committed fixtures; their facts are in tests/fixtures/README.md.

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <iterator>
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

// Files whose header says "unknown", states nothing, or only lets the bit rate be guessed
// (tests/fixtures/durations): their true length, counted from their own samples and frames,
// within one frame or audio packet.
struct TrueLength {
  std::string_view fixture;
  std::int64_t durationMs;
  std::int64_t toleranceMs;
};

void PrintTo(const TrueLength& known, std::ostream* out) {
  *out << known.fixture << " (" << known.durationMs << " ms)";
}

class InfoTrueLength : public ::testing::TestWithParam<TrueLength> {};

TEST_P(InfoTrueLength, CountsTheMediaNotTheHeader) {
  const std::string fixture = "durations/" + std::string(GetParam().fixture);
  const auto durationMs = expectInfoDuration(runKorvel({"info", encodePath(fixturePath(fixture))}));
  ASSERT_TRUE(durationMs.has_value());
  EXPECT_LE(std::llabs(*durationMs - GetParam().durationMs), GetParam().toleranceMs)
      << "info said " << *durationMs << " ms";
}

INSTANTIATE_TEST_SUITE_P(
    Info, InfoTrueLength,
    ::testing::Values(
        // Headers all ones; the last audio sample lasts 768 of 1024 ticks (2.0213 s).
        TrueLength{"fragmented_unknown_duration.mp4", 2021, 21},
        TrueLength{"plain_unknown_duration.mp4", 2000, 21},
        // PCM: the data size over the block size is exact.
        TrueLength{"pcm_u8_piped.wav", 997, 0}, TrueLength{"truncated.wav", 1810, 0},
        // 174 frames of 1152 samples at 44.1 kHz (4.049 s); one frame is 26 ms.
        TrueLength{"cbr_no_xing.mp3", 4048, 26}, TrueLength{"cbr_no_xing_id3.mp3", 4048, 26},
        TrueLength{"cbr_xing.mp3", 4048, 26}, TrueLength{"vbr_no_xing.mp3", 4048, 26},
        TrueLength{"vbr_xing.mp3", 4048, 26},
        // 131 frames of 1024 samples at 22.05 kHz; the bit rate of its silent start says 60 s.
        TrueLength{"adts.aac", 6083, 46}, TrueLength{"flac_piped.flac", 4000, 0},
        // Clocks that start at 600 s; the FLV header states no duration.
        TrueLength{"late_start_theora.ogg", 2000, 40}, TrueLength{"late_start_h264.flv", 2000, 40}),
    [](const auto& info) { return parameterName(info.param.fixture); });

// Longer than is read packet by packet (64 MiB): frames at the start, middle and end of a
// constant bit rate share one size, so the estimate from the bit rate is exact (to the
// padding of the joined pieces); for a variable one it is a guess, and fails.
TEST(Info, LongMp3IsMeasuredOnlyWhenItsBitRateIsConstant) {
  constexpr int kPieces = 5000;  // 81 MB and 116 MB
  constexpr double kPieceMs = 4048.979;
  const TemporaryDirectory directory;
  const auto join = [&](std::string_view name) {
    std::ifstream in(fixturePath("durations/" + std::string(name)), std::ios::binary);
    const std::string piece((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto joined = directory.path() / name;
    std::ofstream out(joined, std::ios::binary);
    for (int i = 0; i < kPieces; ++i) {
      out << piece;
    }
    return joined;
  };
  const auto durationMs =
      expectInfoDuration(runKorvel({"info", encodePath(join("cbr_no_xing.mp3"))}));
  ASSERT_TRUE(durationMs.has_value());
  EXPECT_NEAR(static_cast<double>(*durationMs), kPieces * kPieceMs, kPieces * kPieceMs * 1e-5);
  expectFailure(runKorvel({"info", encodePath(join("vbr_no_xing.mp3"))}));
}

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
