#include "ffmpeg/frame_extraction.hpp"

#include <array>
#include <cstring>
#include <optional>
#include <type_traits>

#include "ffmpeg/convert/frame_conversion.hpp"
#include "ffmpeg/convert/hdr_conversion.hpp"
#include "ffmpeg/convert/hdr_signal.hpp"
#include "ffmpeg/decode/frame_search.hpp"
#include "ffmpeg/decode/video_stream.hpp"
#include "ffmpeg/input/demuxer.hpp"
#include "picture/frame_geometry.hpp"

namespace korvel {
namespace {

// A file may state a colour tag that FFmpeg has no name for, and FFmpeg passes the number on;
// a C++ enum cannot hold it (even loading it is undefined), so it is copied raw and becomes
// "unspecified" before anything reads it.
template <typename Tag>
void forgetUnnamedTag(Tag& tag, int count, Tag unspecified) {
  std::underlying_type_t<Tag> raw{};
  std::memcpy(&raw, &tag, sizeof tag);
  const auto value = static_cast<long long>(raw);
  if (value < 0 || value >= count) {
    std::memcpy(&tag, &unspecified, sizeof tag);
  }
}

void forgetUnnamedColourTags(AVFrame& frame, AVCodecParameters& codec) {
  forgetUnnamedTag(frame.color_primaries, AVCOL_PRI_NB, AVCOL_PRI_UNSPECIFIED);
  forgetUnnamedTag(codec.color_primaries, AVCOL_PRI_NB, AVCOL_PRI_UNSPECIFIED);
  forgetUnnamedTag(frame.color_trc, AVCOL_TRC_NB, AVCOL_TRC_UNSPECIFIED);
  forgetUnnamedTag(codec.color_trc, AVCOL_TRC_NB, AVCOL_TRC_UNSPECIFIED);
  forgetUnnamedTag(frame.colorspace, AVCOL_SPC_NB, AVCOL_SPC_UNSPECIFIED);
  forgetUnnamedTag(codec.color_space, AVCOL_SPC_NB, AVCOL_SPC_UNSPECIFIED);
  forgetUnnamedTag(frame.color_range, AVCOL_RANGE_NB, AVCOL_RANGE_UNSPECIFIED);
  forgetUnnamedTag(codec.color_range, AVCOL_RANGE_NB, AVCOL_RANGE_UNSPECIFIED);
}

// A frame is shown from its timestamp on, so a time between two ticks of a coarse time base
// (a frame count, as in Ogg and AVI) belongs to the earlier tick.
std::int64_t targetTimestamp(const AVStream& stream, MediaTime time, std::int64_t start) {
  const auto sinceStart =
      av_rescale_q_rnd(time.value, AVRational{1, time.timescale}, stream.time_base, AV_ROUND_DOWN);
  return sinceStart + av_rescale_q(start, AVRational{1, AV_TIME_BASE}, stream.time_base);
}

Orientation streamOrientation(const AVStream& stream) {
  std::size_t size = 0;
  const std::uint8_t* data = av_stream_get_side_data(&stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
  if (data == nullptr || size < sizeof(std::int32_t) * 9) {
    return Orientation{};
  }
  std::array<std::int32_t, 9> matrix{};
  std::memcpy(matrix.data(), data, sizeof(std::int32_t) * matrix.size());
  return orientationFromDisplayMatrix(matrix);
}

// The picture's shape as shown: non-square pixels widened or narrowed to square ones.
PixelSize displayShape(AVFormatContext& format, AVStream& stream, const AVFrame& frame,
                       double maxSide) {
  const AVRational aspect =
      av_guess_sample_aspect_ratio(&format, &stream, const_cast<AVFrame*>(&frame));
  const double pixelAspect = aspect.num > 0 && aspect.den > 0 ? av_q2d(aspect) : 1.0;
  return fitInside(frame.width * pixelAspect, frame.height, maxSide);
}

}  // namespace

FrameImage extractFrame(Demuxer& demuxer, MediaTime time, std::int64_t start, double maxSide) {
  AVFormatContext& format = demuxer.format();
  const StreamTimestamp timestampOf = [time, start](const AVStream& candidate) {
    return targetTimestamp(candidate, time, start);
  };
  AVStream& stream = chooseVideoStream(demuxer, timestampOf);
  // Only the chosen stream is read; the demuxer drops the others' packets.
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    format.streams[i]->discard = format.streams[i] == &stream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
  }
  const CodecContextPtr decoder = openVideoDecoder(stream);
  const FramePtr frame = decodeFrameAt(format, stream, *decoder, timestampOf(stream));
  forgetUnnamedColourTags(*frame, *stream.codecpar);
  const PixelSize size = displayShape(format, stream, *frame, maxSide);
  const std::optional<HdrSignal> hdr = findHdrSignal(*frame, stream);
  const FrameImage stored = hdr ? convertHdrToRgb(*frame, size, *hdr) : convertToRgb(*frame, size);
  return applyOrientation(stored, streamOrientation(stream));
}

}  // namespace korvel
