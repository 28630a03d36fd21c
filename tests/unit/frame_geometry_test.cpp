#include "picture/frame_geometry.hpp"

#include <gtest/gtest.h>

#include <array>
#include <tuple>

namespace korvel {
namespace {

struct FitCase {
  double width;
  double height;
  double maxSide;
  PixelSize expected;
};

TEST(FitInside, KeepsAspectNeverEnlargesNeverExceeds) {
  for (const FitCase& c : {
           FitCase{1920, 1080, 256, {256, 144}}, FitCase{1080, 1920, 256, {144, 256}},
           FitCase{100, 50, 256, {100, 50}},     // never enlarged
           FitCase{200, 100, 100.5, {100, 50}},  // fractional bound: floor
           FitCase{1000, 1000, 100.5, {100, 100}}, FitCase{3840, 2160, 1024, {1024, 576}},
           FitCase{160, 90, 100.5, {100, 56}},  // short side from the rounded long side
           FitCase{10000, 1, 64, {64, 1}},      // extreme: at least one pixel
           FitCase{1, 10000, 64, {1, 64}}, FitCase{161, 121, 256, {161, 121}},
           FitCase{720 * 32.0 / 27.0, 576, 256, {256, 173}},  // anamorphic widescreen
           FitCase{100.6, 50, 100.7, {100, 50}},              // rounding never passes the bound
       }) {
    EXPECT_EQ(fitInside(c.width, c.height, c.maxSide), c.expected)
        << c.width << "x" << c.height << " in " << c.maxSide;
  }
}

// Each orientation maps the stored corners of a 3x2 picture to known shown corners.
struct OrientationCase {
  std::array<std::int32_t, 4> abcd;  // matrix entries 0, 1, 3, 4 in 16.16
  Orientation expected;
  int shownWidth;
  std::array<int, 6> shownPixels;  // the stored pixel index at each shown position
};

class OrientationTest : public testing::TestWithParam<OrientationCase> {};

constexpr std::int32_t kOne = 1 << 16;

TEST_P(OrientationTest, MatrixGivesOrientationAndPixelsLandWhereShown) {
  const OrientationCase& c = GetParam();
  const std::array<std::int32_t, 9> matrix = {c.abcd[0], c.abcd[1], 0, c.abcd[2], c.abcd[3],
                                              0,         0,         0, 1 << 30};
  const Orientation orientation = orientationFromDisplayMatrix(matrix);
  EXPECT_EQ(orientation, c.expected);

  FrameImage stored{3, 2, {}};
  for (int i = 0; i < 6; ++i) {
    stored.rgb.insert(stored.rgb.end(), {static_cast<std::uint8_t>(i), 0, 0});
  }
  const FrameImage shown = applyOrientation(stored, orientation);
  EXPECT_EQ(shown.width, c.shownWidth);
  EXPECT_EQ(shown.width * shown.height, 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(shown.rgb[static_cast<std::size_t>(i) * 3], c.shownPixels[i]) << "position " << i;
  }
}

// Stored 3x2:  0 1 2 / 3 4 5
INSTANTIATE_TEST_SUITE_P(
    AllEight, OrientationTest,
    testing::Values(
        OrientationCase{{kOne, 0, 0, kOne}, {false, false, false}, 3, {0, 1, 2, 3, 4, 5}},
        // Quarter turn clockwise, as phones store portrait video.
        OrientationCase{{0, kOne, -kOne, 0}, {true, true, false}, 2, {3, 0, 4, 1, 5, 2}},
        OrientationCase{{-kOne, 0, 0, -kOne}, {false, true, true}, 3, {5, 4, 3, 2, 1, 0}},
        OrientationCase{{0, -kOne, kOne, 0}, {true, false, true}, 2, {2, 5, 1, 4, 0, 3}},
        OrientationCase{{-kOne, 0, 0, kOne}, {false, true, false}, 3, {2, 1, 0, 5, 4, 3}},
        OrientationCase{{kOne, 0, 0, -kOne}, {false, false, true}, 3, {3, 4, 5, 0, 1, 2}},
        OrientationCase{{0, kOne, kOne, 0}, {true, false, false}, 2, {0, 3, 1, 4, 2, 5}},
        OrientationCase{{0, -kOne, -kOne, 0}, {true, true, true}, 2, {5, 2, 4, 1, 3, 0}}));

TEST(OrientationTest, OtherAnglesSnapToTheNearestQuarterTurn) {
  // About 80 degrees clockwise: cos = 0.17, sin = 0.98.
  const std::array<std::int32_t, 9> matrix = {11380, 64540, 0, -64540, 11380, 0, 0, 0, 1 << 30};
  EXPECT_EQ(orientationFromDisplayMatrix(matrix), (Orientation{true, true, false}));
}

}  // namespace
}  // namespace korvel
