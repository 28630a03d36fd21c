#include <gtest/gtest.h>

#include "ffmpeg/convert/frame_conversion.hpp"

namespace korvel {
namespace {

TEST(PictureColorMatrix, TaggedMatrixWins) {
  EXPECT_EQ(pictureColorMatrix(AVCOL_SPC_BT709, 480), SWS_CS_ITU709);
  EXPECT_EQ(pictureColorMatrix(AVCOL_SPC_SMPTE170M, 1080), SWS_CS_ITU601);
  EXPECT_EQ(pictureColorMatrix(AVCOL_SPC_BT470BG, 1080), SWS_CS_ITU601);
  EXPECT_EQ(pictureColorMatrix(AVCOL_SPC_BT2020_NCL, 480), SWS_CS_BT2020);
}

TEST(PictureColorMatrix, UntaggedFollowsHeight) {
  EXPECT_EQ(pictureColorMatrix(AVCOL_SPC_UNSPECIFIED, 576), SWS_CS_ITU601);
  EXPECT_EQ(pictureColorMatrix(AVCOL_SPC_UNSPECIFIED, 719), SWS_CS_ITU601);
  EXPECT_EQ(pictureColorMatrix(AVCOL_SPC_UNSPECIFIED, 720), SWS_CS_ITU709);
  EXPECT_EQ(pictureColorMatrix(AVCOL_SPC_RESERVED, 2160), SWS_CS_ITU709);
}

TEST(PictureRange, FullWhenTaggedOrAnOldFullRangeFormat) {
  AVFrame frame{};
  frame.format = AV_PIX_FMT_YUV420P;
  frame.color_range = AVCOL_RANGE_MPEG;
  EXPECT_FALSE(isFullRange(frame));
  frame.color_range = AVCOL_RANGE_UNSPECIFIED;
  EXPECT_FALSE(isFullRange(frame));
  frame.color_range = AVCOL_RANGE_JPEG;
  EXPECT_TRUE(isFullRange(frame));
  frame.color_range = AVCOL_RANGE_UNSPECIFIED;
  frame.format = AV_PIX_FMT_YUVJ420P;
  EXPECT_TRUE(isFullRange(frame));
}

}  // namespace
}  // namespace korvel
