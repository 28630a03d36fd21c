#include "ffmpeg/decode/video_stream.hpp"

#include <algorithm>
#include <optional>
#include <tuple>

#include "ffmpeg/decode/decoder_threads.hpp"
#include "ffmpeg/decode/dolby_vision.hpp"
#include "ffmpeg/decode/encryption.hpp"
#include "ffmpeg/input/accepted_media.hpp"
#include "ffmpeg/input/decoder_limits.hpp"
#include "ffmpeg/input/demuxer.hpp"

namespace korvel {
namespace {

bool isAcceptedVideo(const AVStream& stream) {
  const AVCodecParameters& codec = *stream.codecpar;
  return codec.codec_type == AVMEDIA_TYPE_VIDEO &&
         (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 &&
         std::find(kAcceptedVideoCodecs.begin(), kAcceptedVideoCodecs.end(),
                   avcodec_get_name(codec.codec_id)) != kAcceptedVideoCodecs.end();
}

// Where a stream plays, in seconds on the container's clock.
struct Span {
  double start = 0.0;
  double end = 0.0;
};

std::optional<Span> statedSpan(const AVStream& stream) {
  if (stream.duration == AV_NOPTS_VALUE || stream.duration <= 0) {
    return std::nullopt;
  }
  const double unit = av_q2d(stream.time_base);
  const std::int64_t start = stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
  return Span{static_cast<double>(start) * unit,
              static_cast<double>(start + stream.duration) * unit};
}

// Below this many frames a second a track holds stills (a motion photo's top shots), not
// motion; a real video's frame rate is well above it.
constexpr double kLeastMovingFrameRate = 4.0;

// A track that says how many frames it holds over how long, and shows fewer than a moving
// picture does; one that does not say is taken to move.
bool holdsStills(const AVStream& stream, const std::optional<Span>& span) {
  if (!span || stream.nb_frames <= 0 || span->end <= span->start) {
    return false;
  }
  return static_cast<double>(stream.nb_frames) / (span->end - span->start) < kLeastMovingFrameRate;
}

// A side track (the still of a motion photo, a preview) may be the larger picture or even the
// default; the stream that plays through the file comes first: one that spans most of the time
// the video streams span, then one that plays at the time asked for, then one that moves rather
// than holding a few stills. Then the default stream, then the larger picture. A stream whose
// container states no span is taken to play throughout.
class StreamRanking {
 public:
  StreamRanking(const AVFormatContext& format, const StreamTimestamp& timestampOf)
      : timestampOf_(timestampOf) {
    for (unsigned i = 0; i < format.nb_streams; ++i) {
      const std::optional<Span> span = statedSpan(*format.streams[i]);
      if (isAcceptedVideo(*format.streams[i]) && span) {
        extent_ =
            extent_ ? Span{std::min(extent_->start, span->start), std::max(extent_->end, span->end)}
                    : *span;
      }
    }
  }

  bool isPreferred(const AVStream& candidate, const AVStream& chosen) const {
    return rank(candidate) > rank(chosen);
  }

 private:
  using Rank = std::tuple<bool, bool, bool, bool, std::int64_t>;

  Rank rank(const AVStream& stream) const {
    const std::optional<Span> span = statedSpan(stream);
    bool spansMost = true;
    bool playsAtTime = true;
    if (span && extent_) {
      spansMost = span->end - span->start > (extent_->end - extent_->start) / 2;
      const double time = static_cast<double>(timestampOf_(stream)) * av_q2d(stream.time_base);
      playsAtTime = span->start <= time && time < span->end;
    }
    const bool isDefault = (stream.disposition & AV_DISPOSITION_DEFAULT) != 0;
    const std::int64_t area =
        static_cast<std::int64_t>(stream.codecpar->width) * stream.codecpar->height;
    return {spansMost, playsAtTime, !holdsStills(stream, span), isDefault, area};
  }

  const StreamTimestamp& timestampOf_;
  std::optional<Span> extent_;
};

AVStream* findVideoStream(AVFormatContext& format, const StreamTimestamp& timestampOf) {
  const StreamRanking ranking(format, timestampOf);
  AVStream* chosen = nullptr;
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    AVStream* stream = format.streams[i];
    if (isAcceptedVideo(*stream) && (chosen == nullptr || ranking.isPreferred(*stream, *chosen))) {
      chosen = stream;
    }
  }
  return chosen;
}

}  // namespace

AVStream& chooseVideoStream(Demuxer& demuxer, const StreamTimestamp& timestampOf) {
  AVFormatContext& format = demuxer.format();
  AVStream* stream = findVideoStream(format, timestampOf);
  // Some containers only announce their streams in their packets.
  if (stream == nullptr && (format.ctx_flags & AVFMTCTX_NOHEADER) != 0 &&
      demuxer.findStreamInfo()) {
    stream = findVideoStream(format, timestampOf);
  }
  if (stream == nullptr) {
    throw MediaError();
  }
  return *stream;
}

CodecContextPtr openVideoDecoder(const AVStream& stream) {
  if (lacksCompatibleBaseLayer(stream) || isEncrypted(stream)) {
    throw MediaError();
  }
  const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
  if (decoder == nullptr) {
    throw MediaError();
  }
  CodecContextPtr context(avcodec_alloc_context3(decoder));
  if (!context) {
    throw MediaError();
  }
  int status = avcodec_parameters_to_context(context.get(), stream.codecpar);
  if (status < 0) {
    throw MediaError();
  }
  context->pkt_timebase = stream.time_base;
  context->max_pixels = kLargestPicturePixels;
  // FFmpeg 5.1's H.264 and MPEG-4 decoders report the damage they conceal on a frame only once
  // the thread that decoded it is done, and a frame thread that shows the frame (reordered)
  // may copy it before: on frame threads the same damaged file would give different pictures
  // from run to run. Their slice threads report no damage at all.
  const bool reportsDamageLate =
      decoder->id == AV_CODEC_ID_H264 || decoder->id == AV_CODEC_ID_MPEG4;
  context->thread_count =
      reportsDamageLate
          ? 1
          : decoderThreads(static_cast<std::int64_t>(context->width) * context->height);
  context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  // An open-GOP sync frame is a clean picture; without this it is held back until a later
  // instantaneous refresh, which a seek may never reach. The pictures this lets through that
  // lack their references are screened out by the search (CleanPictures).
  context->flags2 |= AV_CODEC_FLAG2_SHOW_ALL;
  // Damage the decoder can detect, reported on the frame (decode_error_flags) that it conceals:
  // such a picture is no answer, nor are those after it until a fresh start (CleanPictures).
  context->err_recognition = AV_EF_CRCCHECK | AV_EF_BITSTREAM | AV_EF_BUFFER;
  // The decoder's own cropping keeps the planes aligned, so it drops a left offset that would
  // break the alignment (Theora picture areas, H.264 cropping windows): korvel crops exactly.
  context->apply_cropping = 0;
  AVDictionary* rawOptions = nullptr;
  // dav1d decodes one frame at a time, its threads working within it: frames in flight would
  // each hold a picture, and the frames it skips are chosen when they come out, not when their
  // packets go in.
  av_dict_set_int(&rawOptions, "max_frame_delay", 1, 0);
  DictionaryPtr options(rawOptions);
  rawOptions = options.release();
  status = avcodec_open2(context.get(), decoder, &rawOptions);
  options.reset(rawOptions);
  if (status < 0) {
    throw MediaError();
  }
  return context;
}

void cropToPictureArea(AVFrame& frame) {
  // The scaler reads unaligned planes correctly, if a little slower.
  if (av_frame_apply_cropping(&frame, AV_FRAME_CROP_UNALIGNED) < 0) {
    throw MediaError();
  }
}

}  // namespace korvel
