// `korvel frame`: which picture comes back, its size, the decoding budget, the arguments and
// the files that have no picture to give. Expected frames follow from the fixtures' facts in
// tests/fixtures/README.md and the 1/600 s rounding of the request time.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "frame_expect.hpp"
#include "jpeg_image.hpp"
#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

// Times below are in ticks of 1/600 s, the unit request times are rounded to; 24, 25, 30 and
// 60 fps frames start on whole ticks.
const double kLargestBelowOne = std::nextafter(1.0, 0.0);

struct IndexedFixture {
  std::string_view file;
  std::int64_t durationTicks;  // ffprobe's container duration
  std::int64_t firstTick;      // where frame 0 begins on korvel's timeline
  std::int64_t ticksPerFrame;
  int frames;
};

constexpr IndexedFixture kBFrames{"indexed_h264_bframes.mp4", 1200, 0, 24, 50};
// The 0.5 s empty edit is part of the timeline: frame 0 begins at 0.5 s.
constexpr IndexedFixture kEmptyEdit{"indexed_h264_empty_edit.mp4", 1500, 300, 24, 50};
constexpr IndexedFixture kVp9{"indexed_vp9.webm", 1200, 0, 24, 50};
// A transport stream's timeline begins at its first timestamp (PTS 1.48 s).
constexpr IndexedFixture kTs{"indexed_h264.ts", 1200, 0, 24, 50};
constexpr IndexedFixture kTsWrap{"indexed_h264_pts_wrap.ts", 1200, 0, 24, 50};
// Clocks that start at 600 s: the timeline begins at the first timestamp. The FLV states no
// duration, and the library's own guess (the last tag's time) would be 601.88 s.
constexpr IndexedFixture kLateOgg{"durations/late_start_theora.ogg", 1200, 0, 24, 50};
constexpr IndexedFixture kLateFlv{"durations/late_start_h264.flv", 1200, 0, 24, 50};
// One second of video under two seconds of audio.
constexpr IndexedFixture kLongAudio{"indexed_h264_long_audio.mp4", 1200, 0, 24, 25};
// 900 frames from one keyframe at 320x240: all within the decoding budget (1953 frames).
constexpr IndexedFixture kLongGop{"long_gop_h264.mp4", 18000, 0, 20, 900};

// The frame a player shows at `tick`: the last one begun by then, else the first.
int frameShownAt(const IndexedFixture& fixture, std::int64_t tick) {
  if (tick < fixture.firstTick) {
    return 0;
  }
  const std::int64_t frame = (tick - fixture.firstTick) / fixture.ticksPerFrame;
  return static_cast<int>(std::min<std::int64_t>(frame, fixture.frames - 1));
}

struct FrameCase {
  std::string name;
  IndexedFixture fixture;
  double position;
  int expectedFrame;
};

void PrintTo(const FrameCase& frameCase, std::ostream* out) {
  *out << frameCase.fixture.file << " at " << numberArgument(frameCase.position) << " -> frame "
       << frameCase.expectedFrame;
}

// A position whose request time is `ticks` (possibly fractional) before rounding.
FrameCase at(const IndexedFixture& fixture, std::string name, double ticks) {
  const double position = ticks / static_cast<double>(fixture.durationTicks);
  return {std::move(name), fixture, position,
          frameShownAt(fixture, static_cast<std::int64_t>(std::llround(ticks)))};
}

// Times around the start of `frame`: the start itself, just under it so that rounding lands
// on it, further under so that rounding lands on the tick before, and the frame's middle.
enum Around { kStart = 1, kRoundsUp = 2, kRoundsDown = 4, kMiddle = 8, kAll = 15 };

void addAround(std::vector<FrameCase>& cases, const IndexedFixture& fixture, int frame, int which) {
  const double start = static_cast<double>(fixture.firstTick + frame * fixture.ticksPerFrame);
  const std::string n = "Frame" + std::to_string(frame);
  if ((which & kStart) != 0) {
    cases.push_back(at(fixture, n + "Start", start));
  }
  if ((which & kRoundsUp) != 0) {
    cases.push_back(at(fixture, n + "LessPoint4TickRoundsUp", start - 0.4));
  }
  if ((which & kRoundsDown) != 0) {
    cases.push_back(at(fixture, n + "LessPoint6TickRoundsDown", start - 0.6));
  }
  if ((which & kMiddle) != 0) {
    cases.push_back(
        at(fixture, n + "Middle", start + static_cast<double>(fixture.ticksPerFrame) / 2));
  }
}

std::vector<FrameCase> frameCases() {
  std::vector<FrameCase> cases;
  for (const auto& fixture : {kBFrames, kEmptyEdit, kVp9, kTs, kTsWrap, kLateOgg, kLateFlv}) {
    cases.push_back({"Zero", fixture, 0.0, 0});
    cases.push_back({"LargestBelowOne", fixture, kLargestBelowOne, fixture.frames - 1});
    addAround(cases, fixture, 1, kAll);
    // Frame 25 is the second keyframe: frame 24 needs the first GOP decoded to its end.
    addAround(cases, fixture, 25, kStart | kRoundsDown);
    addAround(cases, fixture, 26, kStart | kMiddle);
    addAround(cases, fixture, fixture.frames - 1, kStart | kRoundsDown);
  }
  // The PTS clock wraps between frames 25 and 26.
  addAround(cases, kTsWrap, 27, kStart);
  addAround(cases, kTsWrap, 40, kMiddle);
  cases.push_back(at(kEmptyEdit, "InsideEmptyEdit", 150));
  cases.push_back(at(kEmptyEdit, "JustBeforeFirstFrame", 299.4));
  cases.push_back(at(kLongAudio, "LastFrameStart", 576));
  cases.push_back(at(kLongAudio, "VideoEnd", 600));
  cases.push_back(at(kLongAudio, "PastVideoEnd", 900));
  cases.push_back({"LargestBelowOne", kLongAudio, kLargestBelowOne, kLongAudio.frames - 1});
  addAround(cases, kLongGop, 600, kStart | kRoundsDown);
  cases.push_back({"LargestBelowOne", kLongGop, kLargestBelowOne, kLongGop.frames - 1});
  return cases;
}

class FrameSelection : public ::testing::TestWithParam<FrameCase> {};

TEST_P(FrameSelection, ShowsExpectedFrame) {
  const FrameCase& frameCase = GetParam();
  const auto image = expectThumbnail(
      runFrame(fixturePath(frameCase.fixture.file), numberArgument(frameCase.position), "256"), 256,
      192);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(readGridIndex(*image), frameCase.expectedFrame);
}

INSTANTIATE_TEST_SUITE_P(Frame, FrameSelection, ::testing::ValuesIn(frameCases()),
                         [](const auto& info) {
                           return parameterName(info.param.fixture.file) + "_" + info.param.name;
                         });

// --- the decoding budget ----------------------------------------------------------------------

// 150 million luma pixels after the keyframe: 72 frames of 1920x1080 (149.3 million). The
// fixture has no B-frames, so showing frame n means decoding all of frames 1..n; past the
// budget korvel returns the latest frame it decoded.
constexpr IndexedFixture kLongGop1080{"long_gop_h264_1080p.mp4", 3000, 0, 20, 150};
constexpr int kBudgetFrames = 72;

std::optional<int> indexAt(const IndexedFixture& fixture, int frame) {
  const double position = static_cast<double>(frame * fixture.ticksPerFrame) /
                          static_cast<double>(fixture.durationTicks);
  const auto image = expectThumbnail(
      runFrame(fixturePath(fixture.file), numberArgument(position), "256"), 256, 144);
  return image ? readGridIndex(*image) : std::nullopt;
}

TEST(FrameDecodingBudget, FramesWithinBudgetAreExact) {
  EXPECT_EQ(indexAt(kLongGop1080, 0), 0);
  EXPECT_EQ(indexAt(kLongGop1080, 70), 70);
}

TEST(FrameDecodingBudget, FarFrameGivesLatestDecodedFrame) {
  constexpr int kRequested = 140;
  const auto index = indexAt(kLongGop1080, kRequested);
  ASSERT_TRUE(index.has_value()) << "no readable frame index";
  // The sync frame, then as many whole frames as fit in the budget.
  EXPECT_EQ(*index, kBudgetFrames);
}

// --- sizes ------------------------------------------------------------------------------------

struct SizeCase {
  std::string name;
  std::string_view file;
  std::string size;
  int width;
  int height;
};

void PrintTo(const SizeCase& sizeCase, std::ostream* out) {
  *out << sizeCase.file << " in " << sizeCase.size << " -> " << sizeCase.width << "x"
       << sizeCase.height;
}

class FrameSize : public ::testing::TestWithParam<SizeCase> {};

TEST_P(FrameSize, FitsBox) {
  const SizeCase& sizeCase = GetParam();
  expectThumbnail(runFrame(fixturePath(sizeCase.file), "0", sizeCase.size), sizeCase.width,
                  sizeCase.height);
}

INSTANTIATE_TEST_SUITE_P(
    Frame, FrameSize,
    ::testing::Values(
        // 320x240
        SizeCase{"NeverEnlarged", "indexed_h264_bframes.mp4", "1024", 320, 240},
        SizeCase{"ExactFit", "indexed_h264_bframes.mp4", "320", 320, 240},
        SizeCase{"Smallest", "indexed_h264_bframes.mp4", "64", 64, 48},
        SizeCase{"FractionalBoxFloors", "indexed_h264_bframes.mp4", "100.5", 100, 75},
        SizeCase{"ExponentNotation", "indexed_h264_bframes.mp4", "6.4e1", 64, 48},
        // 1920x1080: 150 * 1080 / 1920 = 84.375, 90 * 1080 / 1920 = 50.625
        SizeCase{"ShortSideRoundsDown", "long_gop_h264_1080p.mp4", "150", 150, 84},
        SizeCase{"ShortSideRoundsUp", "long_gop_h264_1080p.mp4", "90", 90, 51},
        SizeCase{"FullHdLargest", "long_gop_h264_1080p.mp4", "1024", 1024, 576},
        // Displayed 320x120 (SAR 2:1): 200 * 120 / 320 = 75
        SizeCase{"AnamorphicNative", "anamorphic_sar2.mp4", "1024", 320, 120},
        SizeCase{"AnamorphicScaled", "anamorphic_sar2.mp4", "256", 256, 96},
        SizeCase{"AnamorphicFractional", "anamorphic_sar2.mp4", "200.9", 200, 75}),
    [](const auto& info) { return info.param.name; });

// --- arguments --------------------------------------------------------------------------------

struct ArgumentCase {
  std::string name;
  std::vector<std::string> tail;  // the entries after the path
};

void PrintTo(const ArgumentCase& argumentCase, std::ostream* out) {
  *out << argumentCase.name;
}

class FrameArgumentRejected : public ::testing::TestWithParam<ArgumentCase> {};

TEST_P(FrameArgumentRejected, Fails) {
  std::vector<std::string> arguments{"frame", encodePath(fixturePath(kBFrames.file))};
  arguments.insert(arguments.end(), GetParam().tail.begin(), GetParam().tail.end());
  expectFailure(runKorvel(arguments));
}

INSTANTIATE_TEST_SUITE_P(
    Frame, FrameArgumentRejected,
    ::testing::Values(
        ArgumentCase{"FourEntries", {"0.5"}}, ArgumentCase{"SixEntries", {"0.5", "256", "256"}},
        ArgumentCase{"PositionWord", {"half", "256"}}, ArgumentCase{"PositionEmpty", {"", "256"}},
        ArgumentCase{"PositionTrailingText", {"0.5x", "256"}},
        ArgumentCase{"PositionLeadingSpace", {" 0.5", "256"}},
        ArgumentCase{"PositionDecimalComma", {"0,5", "256"}},
        ArgumentCase{"PositionOne", {"1", "256"}},
        ArgumentCase{"PositionOneInExponentForm", {"1e0", "256"}},
        ArgumentCase{"PositionAboveOne", {"1.5", "256"}},
        ArgumentCase{"PositionNegative", {"-0.1", "256"}},
        ArgumentCase{"PositionSmallestNegative", {"-4.9e-324", "256"}},
        ArgumentCase{"PositionNaN", {"NaN", "256"}},
        ArgumentCase{"PositionInfinity", {"inf", "256"}}, ArgumentCase{"SizeWord", {"0.5", "big"}},
        ArgumentCase{"SizeEmpty", {"0.5", ""}}, ArgumentCase{"SizeTrailingText", {"0.5", "256px"}},
        ArgumentCase{"SizeJustUnder64", {"0.5", "63.999"}},
        ArgumentCase{"SizeJustOver1024", {"0.5", "1024.001"}},
        ArgumentCase{"SizeZero", {"0.5", "0"}}, ArgumentCase{"SizeNegative", {"0.5", "-256"}},
        ArgumentCase{"SizeNaN", {"0.5", "nan"}}, ArgumentCase{"SizeInfinity", {"0.5", "infinity"}},
        ArgumentCase{"BothBad", {"1", "63"}}),
    [](const auto& info) { return info.param.name; });

struct AcceptedCase {
  std::string name;
  std::string position;
  std::string size;
  int width;
  int height;
  int frame;
};

void PrintTo(const AcceptedCase& acceptedCase, std::ostream* out) {
  *out << acceptedCase.name;
}

class FrameArgumentAccepted : public ::testing::TestWithParam<AcceptedCase> {};

TEST_P(FrameArgumentAccepted, GivesFrame) {
  const AcceptedCase& accepted = GetParam();
  const auto image =
      expectThumbnail(runFrame(fixturePath(kBFrames.file), accepted.position, accepted.size),
                      accepted.width, accepted.height);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(readGridIndex(*image), accepted.frame);
}

// 320x240, 50 frames of 0.04 s over 2 s: position p shows frame floor(50 p).
INSTANTIATE_TEST_SUITE_P(
    Frame, FrameArgumentAccepted,
    ::testing::Values(AcceptedCase{"NegativeZeroIsStart", "-0", "256", 256, 192, 0},
                      AcceptedCase{"LeadingDot", ".5", "256", 256, 192, 25},
                      AcceptedCase{"Hexadecimal", "0x1p-1", "256", 256, 192, 25},
                      AcceptedCase{"Exponent", "5e-1", "256", 256, 192, 25},
                      AcceptedCase{"SmallestSize", "0.3", "64", 64, 48, 15},
                      AcceptedCase{"LargestSize", "0.3", "1024", 320, 240, 15},
                      AcceptedCase{"IntegralSizeWithFraction", "0.3", "64.0", 64, 48, 15},
                      AcceptedCase{"LargestSizeWithFraction", "0.3", "1024.000", 320, 240, 15}),
    [](const auto& info) { return info.param.name; });

// --- nothing to show --------------------------------------------------------------------------

class FrameWithoutPicture : public ::testing::TestWithParam<std::string> {};

TEST_P(FrameWithoutPicture, Fails) {
  expectFailure(runFrame(fixturePath(GetParam()), "0.5", "256"));
}

INSTANTIATE_TEST_SUITE_P(Frame, FrameWithoutPicture,
                         ::testing::Values("audio_1250ms.wav", "audio_1000ms.flac",
                                           "zero_duration.mp4", "header_only.wav", "not_media.txt",
                                           "still.png", "still.jpg"),
                         [](const auto& info) { return parameterName(info.param); });

// The cover is magenta, the video green: the thumbnail is the video.
class FrameCoverArt : public ::testing::TestWithParam<std::string> {};

TEST_P(FrameCoverArt, ShowsVideoNotCover) {
  const auto image = expectThumbnail(runFrame(fixturePath(GetParam()), "0.5", "256"), 160, 120);
  ASSERT_TRUE(image.has_value());
  const MeanRgb colour = image->mean(0, 0, image->width(), image->height());
  EXPECT_LT(colour.r, 40) << "mean " << colour.r << "," << colour.g << "," << colour.b;
  EXPECT_GT(colour.g, 215) << "mean " << colour.r << "," << colour.g << "," << colour.b;
  EXPECT_LT(colour.b, 40) << "mean " << colour.r << "," << colour.g << "," << colour.b;
}

INSTANTIATE_TEST_SUITE_P(Frame, FrameCoverArt,
                         ::testing::Values("cover_attachment.mkv", "cover_attached_pic.mp4"),
                         [](const auto& info) { return parameterName(info.param); });

}  // namespace
}  // namespace korvel::e2e
