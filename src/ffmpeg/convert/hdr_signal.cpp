#include "ffmpeg/convert/hdr_signal.hpp"

#include <algorithm>

extern "C" {
#include <libavutil/mastering_display_metadata.h>
#include <libavutil/pixdesc.h>
}

#include "picture/tone_curve.hpp"

namespace korvel {
namespace {

constexpr double kLargestPeakNits = 10000.0;

template <typename Tag>
Tag tagOrFallback(Tag frameTag, Tag streamTag, Tag unspecified, Tag fallback) {
  if (frameTag != unspecified) {
    return frameTag;
  }
  return streamTag != unspecified ? streamTag : fallback;
}

// Side data of the frame, else of the stream; null when neither carries it.
const std::uint8_t* findMetadata(const AVFrame& frame, AVFrameSideDataType frameType,
                                 const AVStream& stream, AVPacketSideDataType streamType,
                                 std::size_t wanted) {
  const AVFrameSideData* side = av_frame_get_side_data(&frame, frameType);
  if (side != nullptr && side->size >= wanted) {
    return side->data;
  }
  std::size_t size = 0;
  const std::uint8_t* data = av_stream_get_side_data(&stream, streamType, &size);
  return data != nullptr && size >= wanted ? data : nullptr;
}

double maxContentLightLevel(const AVFrame& frame, const AVStream& stream) {
  const auto* level = reinterpret_cast<const AVContentLightMetadata*>(
      findMetadata(frame, AV_FRAME_DATA_CONTENT_LIGHT_LEVEL, stream,
                   AV_PKT_DATA_CONTENT_LIGHT_LEVEL, sizeof(AVContentLightMetadata)));
  return level != nullptr ? level->MaxCLL : 0.0;
}

double masteringPeak(const AVFrame& frame, const AVStream& stream) {
  const auto* mastering = reinterpret_cast<const AVMasteringDisplayMetadata*>(
      findMetadata(frame, AV_FRAME_DATA_MASTERING_DISPLAY_METADATA, stream,
                   AV_PKT_DATA_MASTERING_DISPLAY_METADATA, sizeof(AVMasteringDisplayMetadata)));
  if (mastering == nullptr || mastering->has_luminance == 0 || mastering->max_luminance.den <= 0) {
    return 0.0;
  }
  return av_q2d(mastering->max_luminance);
}

double pqContentPeak(const AVFrame& frame, const AVStream& stream) {
  double peak = maxContentLightLevel(frame, stream);
  if (!(peak > 0.0)) {
    peak = masteringPeak(frame, stream);
  }
  return peak > 0.0 ? std::min(peak, kLargestPeakNits) : kAssumedContentPeakNits;
}

// HDR10 whose container lost its colour tags keeps only the matrix in its bitstream (VP9, for
// one). SDR BT.2020 video states its transfer, so a deep picture stating a BT.2020 matrix and no
// transfer is PQ; one stating no matrix either is plain SDR, as most 10-bit encodes are.
bool isUntaggedPq(const AVFrame& frame, AVColorSpace matrix) {
  const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
  const bool deep = layout != nullptr && layout->comp[0].depth > 8;
  return deep && (matrix == AVCOL_SPC_BT2020_NCL || matrix == AVCOL_SPC_BT2020_CL);
}

}  // namespace

std::optional<HdrSignal> findHdrSignal(const AVFrame& frame, const AVStream& stream) {
  const AVCodecParameters& codec = *stream.codecpar;
  const AVColorSpace statedMatrix = tagOrFallback(frame.colorspace, codec.color_space,
                                                  AVCOL_SPC_UNSPECIFIED, AVCOL_SPC_UNSPECIFIED);
  HdrSignal signal;
  signal.transfer =
      tagOrFallback(frame.color_trc, codec.color_trc, AVCOL_TRC_UNSPECIFIED, AVCOL_TRC_UNSPECIFIED);
  if (signal.transfer == AVCOL_TRC_UNSPECIFIED && isUntaggedPq(frame, statedMatrix)) {
    signal.transfer = AVCOL_TRC_SMPTE2084;
  }
  if (signal.transfer != AVCOL_TRC_SMPTE2084 && signal.transfer != AVCOL_TRC_ARIB_STD_B67) {
    return std::nullopt;
  }
  signal.matrix = statedMatrix != AVCOL_SPC_UNSPECIFIED ? statedMatrix : AVCOL_SPC_BT2020_NCL;
  signal.primaries = tagOrFallback(frame.color_primaries, codec.color_primaries,
                                   AVCOL_PRI_UNSPECIFIED, AVCOL_PRI_BT2020);
  signal.peakNits = signal.transfer == AVCOL_TRC_SMPTE2084 ? pqContentPeak(frame, stream)
                                                           : kAssumedContentPeakNits;
  return signal;
}

}  // namespace korvel
