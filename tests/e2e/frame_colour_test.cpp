// `korvel frame` converts colours with the stream's matrix and range: colour bars stored as
// BT.601 or BT.709, limited or full range, tagged or not (untagged: BT.601 below 720 lines,
// BT.709 from 720), come back as the source sRGB values.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <string>
#include <string_view>
#include <vector>

#include "frame_expect.hpp"
#include "jpeg_image.hpp"
#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

// Encoding and decoding the fixtures keeps patches within 3 of the source and JPEG at q85
// moves a flat patch by about 3 more; reading with the wrong matrix or range instead moves at
// least one patch of every file by 10 to 30 (tests/fixtures/README.md).
constexpr double kTolerance = 8;

// Bars are 40x80 in the 320x160 picture; each row of eight, left to right.
constexpr std::array<std::array<int, 3>, 8> kTopRow{{{191, 191, 191},
                                                     {191, 191, 0},
                                                     {0, 191, 191},
                                                     {0, 191, 0},
                                                     {191, 0, 191},
                                                     {191, 0, 0},
                                                     {0, 0, 191},
                                                     {0, 0, 0}}};
constexpr std::array<int, 8> kBottomRow{0, 36, 73, 109, 146, 182, 219, 255};

struct ColourCase {
  std::string_view file;
  std::string_view size;
  int width;  // of the thumbnail; the bars keep their layout at any size
  int height;
};

void PrintTo(const ColourCase& colourCase, std::ostream* out) {
  *out << colourCase.file << " in " << colourCase.size;
}

class FrameColour : public ::testing::TestWithParam<ColourCase> {};

TEST_P(FrameColour, PatchesMatchSource) {
  const ColourCase& colourCase = GetParam();
  const auto image = expectThumbnail(runFrame(fixturePath(colourCase.file), "0.5", colourCase.size),
                                     colourCase.width, colourCase.height);
  ASSERT_TRUE(image.has_value());
  const int barWidth = colourCase.width / 8;
  const int rowHeight = colourCase.height / 2;
  for (int row = 0; row < 2; ++row) {
    for (int bar = 0; bar < 8; ++bar) {
      const std::array<int, 3> expected =
          row == 0 ? kTopRow[bar]
                   : std::array<int, 3>{kBottomRow[bar], kBottomRow[bar], kBottomRow[bar]};
      // The middle half of the patch, clear of the blended edges.
      const MeanRgb got =
          image->mean(bar * barWidth + barWidth / 4, row * rowHeight + rowHeight / 4,
                      bar * barWidth + 3 * barWidth / 4, row * rowHeight + 3 * rowHeight / 4);
      const auto where = ::testing::Message()
                         << (row == 0 ? "top" : "bottom") << " patch " << bar << ": got " << got.r
                         << "," << got.g << "," << got.b << ", expected " << expected[0] << ","
                         << expected[1] << "," << expected[2];
      EXPECT_NEAR(got.r, expected[0], kTolerance) << where;
      EXPECT_NEAR(got.g, expected[1], kTolerance) << where;
      EXPECT_NEAR(got.b, expected[2], kTolerance) << where;
    }
  }
}

std::vector<ColourCase> colourCases() {
  std::vector<ColourCase> cases;
  // 320x160: as it is, and halved (scaling must not change the conversion).
  for (const std::string_view file :
       {"bars_bt709_limited.mp4", "bars_bt709_full.mp4", "bars_bt601_limited.mp4",
        "bars_bt601_full.mp4", "bars_untagged.mp4"}) {
    cases.push_back({file, "1024", 320, 160});
    cases.push_back({file, "160", 160, 80});
  }
  // 1280x720 untagged, stored as BT.709 limited.
  cases.push_back({"bars_untagged_720p.mp4", "1024", 1024, 576});
  cases.push_back({"bars_untagged_720p.mp4", "320", 320, 180});
  return cases;
}

INSTANTIATE_TEST_SUITE_P(Frame, FrameColour, ::testing::ValuesIn(colourCases()),
                         [](const auto& info) {
                           return parameterName(info.param.file) + "_In" +
                                  std::string(info.param.size);
                         });

}  // namespace
}  // namespace korvel::e2e
