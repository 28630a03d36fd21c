#include "ffmpeg/decode/sync_seek.hpp"

#include "ffmpeg/input/demuxer.hpp"

namespace korvel {
namespace {

// A seek may land on a sync frame shown after the target (indexes ordered by decode time) or
// between sync frames (broadcast streams); the search then steps back, doubling the step, and
// at last starts from the beginning.
constexpr int kMostRetreats = 12;

std::int64_t streamStart(const AVStream& stream) {
  return stream.start_time != AV_NOPTS_VALUE ? stream.start_time : 0;
}

// Reads to the stream's next sync packet; false when it is shown after the target, or the
// stream passes the target (or ends) without one.
bool readUntilSync(AVFormatContext& format, const AVStream& stream, std::int64_t target,
                   AVPacket& packet) {
  while (readPacket(format, packet)) {
    if (packet.stream_index == stream.index) {
      if ((packet.flags & AV_PKT_FLAG_KEY) != 0) {
        if (packet.pts == AV_NOPTS_VALUE || packet.pts <= target) {
          return true;
        }
        av_packet_unref(&packet);
        return false;
      }
      if (packet.dts != AV_NOPTS_VALUE && packet.dts > target) {
        av_packet_unref(&packet);
        return false;
      }
    }
    av_packet_unref(&packet);
  }
  return false;
}

// The stream's first packet, whatever it is: the decoder copes with what precedes the first
// sync frame, and a stream whose demuxer marks none still gets decoded.
bool readFromStart(AVFormatContext& format, const AVStream& stream, AVPacket& packet) {
  // Well before the start, since indexes may order by decode time or skip leading frames.
  const std::int64_t beforeStart =
      streamStart(stream) - av_rescale_q(10, AVRational{1, 1}, stream.time_base);
  if (av_seek_frame(&format, stream.index, beforeStart, AVSEEK_FLAG_BACKWARD) < 0) {
    av_seek_frame(&format, stream.index, beforeStart, 0);
  }
  while (readPacket(format, packet)) {
    if (packet.stream_index == stream.index) {
      return true;
    }
    av_packet_unref(&packet);
  }
  return false;
}

}  // namespace

bool seekToSync(AVFormatContext& format, const AVStream& stream, std::int64_t target,
                AVPacket& packet) {
  std::int64_t seekTo = target;
  std::int64_t step = av_rescale_q(1, AVRational{1, 1}, stream.time_base);
  for (int retreat = 0; retreat < kMostRetreats && seekTo >= streamStart(stream); ++retreat) {
    if (av_seek_frame(&format, stream.index, seekTo, AVSEEK_FLAG_BACKWARD) < 0) {
      break;
    }
    if (readUntilSync(format, stream, target, packet)) {
      return true;
    }
    seekTo -= step;
    step *= 2;
  }
  return readFromStart(format, stream, packet);
}

}  // namespace korvel
