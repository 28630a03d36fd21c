#include "ffmpeg/hdr_signal.hpp"

#include <gtest/gtest.h>

#include <cstring>

extern "C" {
#include <libavutil/dovi_meta.h>
#include <libavutil/mastering_display_metadata.h>
}

#include "ffmpeg/dolby_vision.hpp"
#include "picture/tone_curve.hpp"

namespace korvel {
namespace {

// A stream with HDR10 tags in its parameters, and a decoded frame, both without side data.
class HdrSignalTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(format_ && frame_);
    stream_ = avformat_new_stream(format_.get(), nullptr);
    ASSERT_NE(stream_, nullptr);
    stream_->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream_->codecpar->color_trc = AVCOL_TRC_SMPTE2084;
    frame_->color_trc = AVCOL_TRC_SMPTE2084;
    frame_->color_primaries = AVCOL_PRI_BT2020;
    frame_->colorspace = AVCOL_SPC_BT2020_NCL;
  }

  void addFrameLightLevel(unsigned maxCll) {
    AVFrameSideData* side = av_frame_new_side_data(frame_.get(), AV_FRAME_DATA_CONTENT_LIGHT_LEVEL,
                                                   sizeof(AVContentLightMetadata));
    ASSERT_NE(side, nullptr);
    AVContentLightMetadata level{};
    level.MaxCLL = maxCll;
    std::memcpy(side->data, &level, sizeof(level));
  }

  void addStreamMastering(int maxNits) {
    AVMasteringDisplayMetadata* mastering = av_mastering_display_metadata_alloc();
    ASSERT_NE(mastering, nullptr);
    mastering->has_luminance = 1;
    mastering->max_luminance = AVRational{maxNits, 1};
    ASSERT_EQ(
        av_stream_add_side_data(stream_, AV_PKT_DATA_MASTERING_DISPLAY_METADATA,
                                reinterpret_cast<std::uint8_t*>(mastering), sizeof(*mastering)),
        0);
  }

  void addDolbyVision(int profile, int compatibility) {
    std::size_t size = 0;
    AVDOVIDecoderConfigurationRecord* record = av_dovi_alloc(&size);
    ASSERT_NE(record, nullptr);
    record->dv_profile = static_cast<std::uint8_t>(profile);
    record->bl_present_flag = 1;
    record->dv_bl_signal_compatibility_id = static_cast<std::uint8_t>(compatibility);
    ASSERT_EQ(av_stream_add_side_data(stream_, AV_PKT_DATA_DOVI_CONF,
                                      reinterpret_cast<std::uint8_t*>(record), size),
              0);
  }

  struct FormatDeleter {
    void operator()(AVFormatContext* format) const { avformat_free_context(format); }
  };
  std::unique_ptr<AVFormatContext, FormatDeleter> format_{avformat_alloc_context()};
  FramePtr frame_{av_frame_alloc()};
  AVStream* stream_ = nullptr;
};

TEST_F(HdrSignalTest, SdrPicturesHaveNone) {
  frame_->color_trc = AVCOL_TRC_BT709;
  EXPECT_FALSE(findHdrSignal(*frame_, *stream_));
  frame_->color_trc = AVCOL_TRC_UNSPECIFIED;
  stream_->codecpar->color_trc = AVCOL_TRC_UNSPECIFIED;
  EXPECT_FALSE(findHdrSignal(*frame_, *stream_));
}

TEST_F(HdrSignalTest, PqWithoutMetadataAssumesThousandNits) {
  const auto signal = findHdrSignal(*frame_, *stream_);
  ASSERT_TRUE(signal);
  EXPECT_EQ(signal->transfer, AVCOL_TRC_SMPTE2084);
  EXPECT_EQ(signal->primaries, AVCOL_PRI_BT2020);
  EXPECT_EQ(signal->matrix, AVCOL_SPC_BT2020_NCL);
  EXPECT_DOUBLE_EQ(signal->peakNits, kAssumedContentPeakNits);
}

TEST_F(HdrSignalTest, MasteringPeakWhenNoLightLevel) {
  addStreamMastering(4000);
  EXPECT_DOUBLE_EQ(findHdrSignal(*frame_, *stream_)->peakNits, 4000.0);
}

TEST_F(HdrSignalTest, MaxCllWinsOverMastering) {
  addStreamMastering(4000);
  addFrameLightLevel(650);
  EXPECT_DOUBLE_EQ(findHdrSignal(*frame_, *stream_)->peakNits, 650.0);
}

TEST_F(HdrSignalTest, HlgIsRenderedForTheNominalDisplay) {
  frame_->color_trc = AVCOL_TRC_ARIB_STD_B67;
  addFrameLightLevel(4000);
  const auto signal = findHdrSignal(*frame_, *stream_);
  ASSERT_TRUE(signal);
  EXPECT_EQ(signal->transfer, AVCOL_TRC_ARIB_STD_B67);
  EXPECT_DOUBLE_EQ(signal->peakNits, kAssumedContentPeakNits);
}

TEST_F(HdrSignalTest, UntaggedFrameFollowsTheStreamThenBt2020) {
  frame_->color_trc = AVCOL_TRC_UNSPECIFIED;
  frame_->color_primaries = AVCOL_PRI_UNSPECIFIED;
  frame_->colorspace = AVCOL_SPC_UNSPECIFIED;
  stream_->codecpar->color_primaries = AVCOL_PRI_SMPTE432;
  const auto signal = findHdrSignal(*frame_, *stream_);
  ASSERT_TRUE(signal);
  EXPECT_EQ(signal->transfer, AVCOL_TRC_SMPTE2084);
  EXPECT_EQ(signal->primaries, AVCOL_PRI_SMPTE432);
  EXPECT_EQ(signal->matrix, AVCOL_SPC_BT2020_NCL);
}

TEST_F(HdrSignalTest, DeepBt2020WithoutTransferIsPq) {
  frame_->format = AV_PIX_FMT_YUV420P10LE;
  frame_->color_trc = AVCOL_TRC_UNSPECIFIED;
  stream_->codecpar->color_trc = AVCOL_TRC_UNSPECIFIED;
  const auto signal = findHdrSignal(*frame_, *stream_);
  ASSERT_TRUE(signal);
  EXPECT_EQ(signal->transfer, AVCOL_TRC_SMPTE2084);
  frame_->format = AV_PIX_FMT_YUV420P;
  EXPECT_FALSE(findHdrSignal(*frame_, *stream_)) << "8-bit BT.2020 is SDR";
  frame_->format = AV_PIX_FMT_YUV420P10LE;
  frame_->colorspace = AVCOL_SPC_BT709;
  EXPECT_FALSE(findHdrSignal(*frame_, *stream_)) << "10-bit BT.709 is SDR";
  frame_->colorspace = AVCOL_SPC_UNSPECIFIED;
  EXPECT_FALSE(findHdrSignal(*frame_, *stream_)) << "untagged 10-bit is SDR";
  frame_->colorspace = AVCOL_SPC_BT2020_NCL;
  frame_->color_trc = AVCOL_TRC_BT2020_10;
  EXPECT_FALSE(findHdrSignal(*frame_, *stream_)) << "stated SDR transfer";
}

TEST_F(HdrSignalTest, DolbyVisionProfileFiveHasNoCompatibleBaseLayer) {
  addDolbyVision(5, 0);
  EXPECT_TRUE(lacksCompatibleBaseLayer(*stream_));
}

TEST_F(HdrSignalTest, PlainStreamOrDolbyVisionWithHdr10BaseLayerIsShown) {
  EXPECT_FALSE(lacksCompatibleBaseLayer(*stream_));
  addDolbyVision(8, 1);
  EXPECT_FALSE(lacksCompatibleBaseLayer(*stream_));
}

TEST_F(HdrSignalTest, DolbyVisionProfileEightWithHlgBaseLayerIsShown) {
  addDolbyVision(8, 4);
  EXPECT_FALSE(lacksCompatibleBaseLayer(*stream_));
}

}  // namespace
}  // namespace korvel
