// `korvel frame` shows the picture upright and true to shape: the display matrix (rotations
// and mirroring) and the sample aspect ratio are applied. The corners fixtures have a coloured
// block in each corner; tests/fixtures/README.md tables where each one lands.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <tuple>

#include "frame_expect.hpp"
#include "jpeg_image.hpp"
#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

struct Colour {
  std::string_view name;
  std::array<int, 3> rgb;
};

constexpr Colour kRed{"red", {255, 0, 0}};
constexpr Colour kGreen{"green", {0, 255, 0}};
constexpr Colour kBlue{"blue", {0, 0, 255}};
constexpr Colour kWhite{"white", {255, 255, 255}};
constexpr Colour kGrey{"grey", {128, 128, 128}};
constexpr std::array<Colour, 5> kPalette{kRed, kGreen, kBlue, kWhite, kGrey};

// The palette colour nearest to `colour`, or "unclear" when none is near: the colours are far
// apart (at least 128 on some channel), so a right one lands well within 60.
std::string_view nameOf(const MeanRgb& colour) {
  for (const Colour& candidate : kPalette) {
    if (std::fabs(colour.r - candidate.rgb[0]) < 60 &&
        std::fabs(colour.g - candidate.rgb[1]) < 60 &&
        std::fabs(colour.b - candidate.rgb[2]) < 60) {
      return candidate.name;
    }
  }
  return "unclear";
}

struct OrientationCase {
  std::string_view file;
  int width;  // displayed
  int height;
  Colour topLeft;
  Colour topRight;
  Colour bottomLeft;
  Colour bottomRight;
};

void PrintTo(const OrientationCase& orientation, std::ostream* out) {
  *out << orientation.file;
}

class FrameOrientation
    : public ::testing::TestWithParam<std::tuple<OrientationCase, std::string_view>> {};

TEST_P(FrameOrientation, CornersLandWhereDisplayed) {
  const auto& [orientation, size] = GetParam();
  // Fitted into the box: 160x90 (or 90x160) as it is, or 64x36 (36x64).
  const bool scaled = std::string_view(size) == "64";
  const int width = scaled ? orientation.width * 64 / 160 : orientation.width;
  const int height = scaled ? orientation.height * 64 / 160 : orientation.height;
  const auto image =
      expectThumbnail(runFrame(fixturePath(orientation.file), "0.5", size), width, height);
  ASSERT_TRUE(image.has_value());
  // Blocks are a quarter of the long side by a third of the short side.
  const bool landscape = width > height;
  const int blockWidth = landscape ? width / 4 : width / 3;
  const int blockHeight = landscape ? height / 3 : height / 4;
  const int radius = std::max(1, std::min(blockWidth, blockHeight) / 6);
  const auto at = [&](int x, int y) { return nameOf(image->meanAround(x, y, radius)); };
  const int left = blockWidth / 2;
  const int right = width - 1 - blockWidth / 2;
  const int top = blockHeight / 2;
  const int bottom = height - 1 - blockHeight / 2;
  EXPECT_EQ(at(left, top), orientation.topLeft.name) << "top-left";
  EXPECT_EQ(at(right, top), orientation.topRight.name) << "top-right";
  EXPECT_EQ(at(left, bottom), orientation.bottomLeft.name) << "bottom-left";
  EXPECT_EQ(at(right, bottom), orientation.bottomRight.name) << "bottom-right";
  EXPECT_EQ(at(width / 2, height / 2), kGrey.name) << "centre";
}

INSTANTIATE_TEST_SUITE_P(
    Frame, FrameOrientation,
    ::testing::Combine(
        ::testing::Values(
            OrientationCase{"corners.mp4", 160, 90, kRed, kGreen, kBlue, kWhite},
            OrientationCase{"corners_rotate_cw90.mp4", 90, 160, kBlue, kRed, kWhite, kGreen},
            OrientationCase{"corners_rotate_180.mp4", 160, 90, kWhite, kBlue, kGreen, kRed},
            OrientationCase{"corners_rotate_ccw90.mp4", 90, 160, kGreen, kWhite, kRed, kBlue},
            OrientationCase{"corners_hflip.mp4", 160, 90, kGreen, kRed, kWhite, kBlue},
            OrientationCase{"corners_transpose.mp4", 90, 160, kRed, kBlue, kGreen, kWhite}),
        ::testing::Values(std::string_view("1024"), std::string_view("64"))),
    [](const auto& info) {
      return parameterName(std::get<0>(info.param).file) + "_In" +
             std::string(std::get<1>(info.param));
    });

// Coded 160x120 with 2:1 pixels, a red 40x30 block at the top-left: displayed 320x120 with
// the block 80x30.
TEST(FrameAnamorphic, RedBlockIsWidened) {
  const auto image =
      expectThumbnail(runFrame(fixturePath("anamorphic_sar2.mp4"), "0.5", "1024"), 320, 120);
  ASSERT_TRUE(image.has_value());
  EXPECT_EQ(nameOf(image->meanAround(20, 15, 3)), kRed.name);
  EXPECT_EQ(nameOf(image->meanAround(60, 15, 3)), kRed.name) << "the block should be 80 wide";
  EXPECT_EQ(nameOf(image->meanAround(100, 15, 3)), kGrey.name);
  EXPECT_EQ(nameOf(image->meanAround(40, 45, 3)), kGrey.name);
  EXPECT_EQ(nameOf(image->meanAround(300, 100, 3)), kGrey.name);
}

}  // namespace
}  // namespace korvel::e2e
