#include "media/ffmpeg/video_stream.hpp"

#include <algorithm>
#include <array>

#include "media/ffmpeg/accepted_media.hpp"
#include "media/ffmpeg/demuxer.hpp"
#include "media/ffmpeg/dolby_vision.hpp"
#include "media/ffmpeg/encryption.hpp"

namespace korvel {
namespace {

// Pictures up to 8K; a header claiming more is refused before anything is allocated.
constexpr std::int64_t kLargestPicturePixels = std::int64_t{8192} * 8192;

// Both of the machine's cores; more threads only add frames of latency to a seek.
constexpr int kDecoderThreads = 2;

bool isAcceptedVideo(const AVStream& stream) {
  const AVCodecParameters& codec = *stream.codecpar;
  return codec.codec_type == AVMEDIA_TYPE_VIDEO &&
         (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 &&
         std::find(kAcceptedVideoCodecs.begin(), kAcceptedVideoCodecs.end(),
                   avcodec_get_name(codec.codec_id)) != kAcceptedVideoCodecs.end();
}

bool isPreferred(const AVStream& candidate, const AVStream& chosen) {
  const bool candidateDefault = candidate.disposition & AV_DISPOSITION_DEFAULT;
  const bool chosenDefault = chosen.disposition & AV_DISPOSITION_DEFAULT;
  if (candidateDefault != chosenDefault) {
    return candidateDefault;
  }
  const auto area = [](const AVStream& stream) {
    return static_cast<std::int64_t>(stream.codecpar->width) * stream.codecpar->height;
  };
  return area(candidate) > area(chosen);
}

AVStream* findVideoStream(AVFormatContext& format) {
  AVStream* chosen = nullptr;
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    AVStream* stream = format.streams[i];
    if (isAcceptedVideo(*stream) && (chosen == nullptr || isPreferred(*stream, *chosen))) {
      chosen = stream;
    }
  }
  return chosen;
}

}  // namespace

AVStream& chooseVideoStream(Demuxer& demuxer) {
  AVFormatContext& format = demuxer.format();
  AVStream* stream = findVideoStream(format);
  // Some containers only announce their streams in their packets.
  if (stream == nullptr && (format.ctx_flags & AVFMTCTX_NOHEADER) != 0 && demuxer.learnStreams()) {
    stream = findVideoStream(format);
  }
  if (stream == nullptr) {
    throw MediaError(AVERROR_STREAM_NOT_FOUND);
  }
  return *stream;
}

CodecContextPtr openVideoDecoder(const AVStream& stream) {
  if (lacksCompatibleBaseLayer(stream) || isEncrypted(stream)) {
    throw MediaError(AVERROR_PATCHWELCOME);
  }
  const AVCodec* decoder = avcodec_find_decoder(stream.codecpar->codec_id);
  if (decoder == nullptr) {
    throw MediaError(AVERROR_DECODER_NOT_FOUND);
  }
  CodecContextPtr context(avcodec_alloc_context3(decoder));
  if (!context) {
    throw MediaError(AVERROR(ENOMEM));
  }
  int status = avcodec_parameters_to_context(context.get(), stream.codecpar);
  if (status < 0) {
    throw MediaError(status);
  }
  context->pkt_timebase = stream.time_base;
  context->max_pixels = kLargestPicturePixels;
  context->thread_count = kDecoderThreads;
  context->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
  // An open-GOP sync frame is a clean picture; without this it is held back until a later
  // instantaneous refresh, which a seek may never reach. The pictures this lets through that
  // lack their references are screened out by the search (CleanPictures).
  context->flags2 |= AV_CODEC_FLAG2_SHOW_ALL;
  // The decoder's own cropping keeps the planes aligned, so it drops a left offset that would
  // break the alignment (Theora picture areas, H.264 cropping windows): korvel crops exactly.
  context->apply_cropping = 0;
  status = avcodec_open2(context.get(), decoder, nullptr);
  if (status < 0) {
    throw MediaError(status);
  }
  return context;
}

void cropToPictureArea(AVFrame& frame) {
  // The scaler reads unaligned planes correctly, if a little slower.
  if (av_frame_apply_cropping(&frame, AV_FRAME_CROP_UNALIGNED) < 0) {
    throw MediaError(AVERROR_INVALIDDATA);
  }
}

}  // namespace korvel
