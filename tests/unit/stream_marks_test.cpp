// What the tags and side data of a stream and its decoded frame make of the picture: its HDR
// signal, a Dolby Vision layer nothing can show, encryption.

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <optional>
#include <string>

extern "C" {
#include <libavutil/dovi_meta.h>
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/pixdesc.h>
}

#include "ffmpeg/convert/hdr_signal.hpp"
#include "ffmpeg/decode/dolby_vision.hpp"
#include "ffmpeg/decode/encryption.hpp"
#include "picture/tone_curve.hpp"

namespace korvel {
namespace {

// A video stream and a decoded 8-bit frame, both tagged HDR10 and without side data.
struct TaggedStream {
  TaggedStream() {
    stream = avformat_new_stream(format.get(), nullptr);
    stream->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    stream->codecpar->color_trc = AVCOL_TRC_SMPTE2084;
    frame->format = AV_PIX_FMT_YUV420P;
    frame->color_trc = AVCOL_TRC_SMPTE2084;
    frame->color_primaries = AVCOL_PRI_BT2020;
    frame->colorspace = AVCOL_SPC_BT2020_NCL;
  }
  // Zeroed side data of type T on the stream.
  template <typename T>
  T& streamSideData(AVPacketSideDataType type) {
    std::uint8_t* data = av_stream_new_side_data(stream, type, sizeof(T));
    EXPECT_NE(data, nullptr);
    std::memset(data, 0, sizeof(T));
    return *reinterpret_cast<T*>(data);
  }
  void addLightLevel(unsigned maxCll) {
    AVFrameSideData* side = av_frame_new_side_data(frame.get(), AV_FRAME_DATA_CONTENT_LIGHT_LEVEL,
                                                   sizeof(AVContentLightMetadata));
    ASSERT_NE(side, nullptr);
    AVContentLightMetadata level{};
    level.MaxCLL = maxCll;
    std::memcpy(side->data, &level, sizeof(level));
  }
  void addMastering(int maxNits) {
    auto& mastering =
        streamSideData<AVMasteringDisplayMetadata>(AV_PKT_DATA_MASTERING_DISPLAY_METADATA);
    mastering.has_luminance = 1;
    mastering.max_luminance = AVRational{maxNits, 1};
  }
  void addDolbyVision(int profile, int compatibility) {
    auto& record = streamSideData<AVDOVIDecoderConfigurationRecord>(AV_PKT_DATA_DOVI_CONF);
    record.dv_profile = static_cast<std::uint8_t>(profile);
    record.bl_present_flag = 1;
    record.dv_bl_signal_compatibility_id = static_cast<std::uint8_t>(compatibility);
  }

  FormatContextPtr format{avformat_alloc_context()};
  FramePtr frame{av_frame_alloc()};
  AVStream* stream = nullptr;
};

constexpr auto kPq = AVCOL_TRC_SMPTE2084;
constexpr auto kUntagged = AVCOL_TRC_UNSPECIFIED;
constexpr auto k8Bit = AV_PIX_FMT_YUV420P;
constexpr auto k10Bit = AV_PIX_FMT_YUV420P10LE;

// The frame's depth, transfer and matrix, the stream's transfer, its metadata, and the signal
// read from them (none: SDR).
struct SignalCase {
  AVPixelFormat format;
  AVColorTransferCharacteristic frameTransfer;
  AVColorSpace matrix;
  AVColorTransferCharacteristic streamTransfer;
  int masteringNits;
  unsigned maxCll;
  std::optional<AVColorTransferCharacteristic> transfer;
  double peakNits;
};

TEST(HdrSignal, ReadFromTagsThenMetadata) {
  constexpr auto kBt2020 = AVCOL_SPC_BT2020_NCL;
  constexpr double kAssumed = kAssumedContentPeakNits;
  for (const SignalCase& c : {
           SignalCase{k8Bit, kPq, kBt2020, kPq, 0, 0, kPq, kAssumed},
           SignalCase{k8Bit, kPq, kBt2020, kPq, 4000, 0, kPq, 4000},   // mastering display
           SignalCase{k8Bit, kPq, kBt2020, kPq, 4000, 650, kPq, 650},  // MaxCLL first
           // HLG is rendered for the nominal display whatever its metadata says.
           SignalCase{k8Bit, AVCOL_TRC_ARIB_STD_B67, kBt2020, kPq, 0, 4000, AVCOL_TRC_ARIB_STD_B67,
                      kAssumed},
           SignalCase{k8Bit, AVCOL_TRC_BT709, kBt2020, kPq, 0, 0, {}, 0},
           SignalCase{k8Bit, kUntagged, kBt2020, kUntagged, 0, 0, {}, 0},
           // A deep BT.2020 picture with no transfer anywhere is HDR10 that lost its tags.
           SignalCase{k10Bit, kUntagged, kBt2020, kUntagged, 0, 0, kPq, kAssumed},
           SignalCase{k10Bit, kUntagged, AVCOL_SPC_BT709, kUntagged, 0, 0, {}, 0},
           SignalCase{k10Bit, kUntagged, AVCOL_SPC_UNSPECIFIED, kUntagged, 0, 0, {}, 0},
           SignalCase{k10Bit, AVCOL_TRC_BT2020_10, kBt2020, kUntagged, 0, 0, {}, 0},
       }) {
    TaggedStream s;
    s.frame->format = c.format;
    s.frame->color_trc = c.frameTransfer;
    s.frame->colorspace = c.matrix;
    s.stream->codecpar->color_trc = c.streamTransfer;
    if (c.masteringNits != 0) {
      s.addMastering(c.masteringNits);
    }
    if (c.maxCll != 0) {
      s.addLightLevel(c.maxCll);
    }
    const std::optional<HdrSignal> signal = findHdrSignal(*s.frame, *s.stream);
    const std::string name = std::string(av_get_pix_fmt_name(c.format)) + " " +
                             av_color_transfer_name(c.frameTransfer) + " " +
                             av_color_space_name(c.matrix);
    ASSERT_EQ(signal.has_value(), c.transfer.has_value()) << name;
    if (signal) {
      EXPECT_EQ(signal->transfer, *c.transfer) << name;
      EXPECT_DOUBLE_EQ(signal->peakNits, c.peakNits) << name;
    }
  }
}

TEST(HdrSignal, UntaggedFrameFollowsTheStreamThenBt2020) {
  TaggedStream s;
  s.frame->color_trc = AVCOL_TRC_UNSPECIFIED;
  s.frame->color_primaries = AVCOL_PRI_UNSPECIFIED;
  s.frame->colorspace = AVCOL_SPC_UNSPECIFIED;
  s.stream->codecpar->color_primaries = AVCOL_PRI_SMPTE432;
  const auto signal = findHdrSignal(*s.frame, *s.stream);
  ASSERT_TRUE(signal);
  EXPECT_EQ(signal->transfer, AVCOL_TRC_SMPTE2084);
  EXPECT_EQ(signal->primaries, AVCOL_PRI_SMPTE432);
  EXPECT_EQ(signal->matrix, AVCOL_SPC_BT2020_NCL);
}

// Profile 5 has no base layer a plain decoder can show; 8.1 (HDR10) and 8.4 (HLG) have.
TEST(DolbyVision, OnlyAStreamWithoutCompatibleBaseLayerIsRefused) {
  for (const auto& [profile, compatibility, refused] :
       {std::tuple{0, 0, false}, {5, 0, true}, {8, 1, false}, {8, 4, false}}) {
    TaggedStream s;
    if (profile != 0) {
      s.addDolbyVision(profile, compatibility);
    }
    EXPECT_EQ(lacksCompatibleBaseLayer(*s.stream), refused) << profile << "." << compatibility;
  }
}

// The end-to-end fixture covers MP4's per-sample marks; these are the stream-wide marks that
// FFmpeg exposes for other files: an MP4 with pssh and an encrypted Matroska track.
TEST(StreamEncryption, MarkedByProtectionDataOrAMatroskaKeyId) {
  TaggedStream plain;
  EXPECT_FALSE(isEncrypted(*plain.stream));
  TaggedStream pssh;
  pssh.streamSideData<std::array<std::uint8_t, 16>>(AV_PKT_DATA_ENCRYPTION_INIT_INFO);
  EXPECT_TRUE(isEncrypted(*pssh.stream));
  TaggedStream keyId;
  ASSERT_GE(av_dict_set(&keyId.stream->metadata, "enc_key_id", "ASNFZ4mrze8BI0VniavN7w==", 0), 0);
  EXPECT_TRUE(isEncrypted(*keyId.stream));
}

}  // namespace
}  // namespace korvel
