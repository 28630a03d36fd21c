#include "ffmpeg/timeline/packet_scan.hpp"

#include <algorithm>
#include <array>
#include <vector>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "ffmpeg/input/demuxer.hpp"
#include "ffmpeg/timeline/stream_clock.hpp"

namespace korvel {
namespace {

// A B-frame shown first may come several packets after the first one read.
constexpr int kHeadPackets = 64;

// Windows read from the end of the file, widening until one holds a timestamp; the largest
// bounds the reading for a file whose timestamps are missing or far apart.
constexpr std::array<std::int64_t, 3> kTailWindows = {std::int64_t{1} << 20, std::int64_t{8} << 20,
                                                      std::int64_t{64} << 20};

// Frames compared at each place of a bit-rate check; a seek into the data may land inside a
// frame, so the first ones after it are skipped.
constexpr int kRateSamplePackets = 16;
constexpr int kResyncPackets = 2;
constexpr std::int64_t kRateSampleTailBytes = std::int64_t{256} * 1024;

// Sound or pictures: subtitles come and go, and reach past the media by no frame of it.
bool holdsMedia(const AVStream& stream) {
  const AVMediaType type = stream.codecpar->codec_type;
  return (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 &&
         (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO);
}

// One frame of the stream, in its time base, where the stream states it; else 0.
std::int64_t statedFrameTicks(const AVStream& stream) {
  const AVCodecParameters& codec = *stream.codecpar;
  if (codec.codec_type == AVMEDIA_TYPE_VIDEO && stream.avg_frame_rate.num > 0 &&
      stream.avg_frame_rate.den > 0) {
    return av_rescale_q(1, av_inv_q(stream.avg_frame_rate), stream.time_base);
  }
  if (codec.codec_type == AVMEDIA_TYPE_AUDIO && codec.frame_size > 0 && codec.sample_rate > 0) {
    return av_rescale_q(codec.frame_size, AVRational{1, codec.sample_rate}, stream.time_base);
  }
  return 0;
}

// How long a packet lasts, in its stream's time base: as the demuxer says, else, for audio
// whose samples take a fixed number of bytes (PCM, ADPCM), as its bytes say; else 0.
std::int64_t lengthOf(const AVPacket& packet, const AVStream& stream) {
  if (packet.duration > 0 || stream.codecpar->codec_type != AVMEDIA_TYPE_AUDIO ||
      stream.codecpar->sample_rate <= 0) {
    return packet.duration;
  }
  const int samples = av_get_audio_frame_duration2(stream.codecpar, packet.size);
  return samples > 0
             ? av_rescale_q(samples, AVRational{1, stream.codecpar->sample_rate}, stream.time_base)
             : 0;
}

// Audio a decoder drops from a packet, in the stream's time base: at its start (priming, an
// encoder's delay) and at its end (padding). Neither is ever heard.
struct DroppedAudio {
  std::int64_t priming = 0;
  std::int64_t padding = 0;
};

DroppedAudio droppedAudioOf(const AVPacket& packet, const AVStream& stream) {
  std::size_t size = 0;
  const std::uint8_t* skip = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
  const int rate = stream.codecpar->sample_rate;
  if (skip == nullptr || size < 8 || rate <= 0) {
    return {};
  }
  const AVRational sample{1, rate};
  return {av_rescale_q(AV_RL32(skip), sample, stream.time_base),
          av_rescale_q(AV_RL32(skip + 4), sample, stream.time_base)};
}

// A stream's clock that moves this far between two packets has jumped (a splice of two
// recordings, a crafted or damaged timestamp).
constexpr std::int64_t kClockJumpSeconds = 60;

// A clock for `stream`.
StreamClock clockOf(const AVStream& stream) {
  return StreamClock(statedFrameTicks(stream),
                     av_rescale_q(kClockJumpSeconds, AVRational{1, 1}, stream.time_base));
}

// The span of the packets of sound and pictures seen so far.
class SpanTracker {
 public:
  explicit SpanTracker(const AVFormatContext& format) : format_(format) {}

  void add(const AVPacket& packet) {
    if (packet.pts == AV_NOPTS_VALUE || packet.stream_index < 0 ||
        static_cast<unsigned>(packet.stream_index) >= format_.nb_streams) {
      return;
    }
    const AVStream& stream = *format_.streams[packet.stream_index];
    if (stream.codecpar->codec_type == AVMEDIA_TYPE_SUBTITLE && packet.duration > 0) {
      captions_.emplace_back(
          av_rescale_q(packet.pts, stream.time_base, kSpanTime),
          av_rescale_q(saturatingAdd(packet.pts, packet.duration), stream.time_base, kSpanTime));
    }
    if (!holdsMedia(stream)) {
      return;
    }
    const auto index = static_cast<std::size_t>(packet.stream_index);
    if (streams_.size() <= index) {
      streams_.resize(index + 1);
    }
    if (!streams_[index]) {
      streams_[index] = clockOf(stream);
    }
    const DroppedAudio dropped = droppedAudioOf(packet, stream);
    streams_[index]->add(PacketTimes{
        packet.pts, packet.dts != AV_NOPTS_VALUE ? std::optional(packet.dts) : std::nullopt,
        lengthOf(packet, stream), dropped.priming, dropped.padding});
    bytes_ = saturatingAdd(bytes_, packet.size);
  }

  std::optional<TimestampSpan> span() const {
    std::optional<TimestampSpan> span;
    for (std::size_t index = 0; index < streams_.size(); ++index) {
      if (!streams_[index]) {
        continue;
      }
      const StreamClock& clock = *streams_[index];
      const Stretches stretches = clock.stretches();
      const AVRational base = format_.streams[index]->time_base;
      const TimestampSpan stretch{stretches.settled,
                                  av_rescale_q(stretches.first, base, kSpanTime),
                                  av_rescale_q(stretches.opening, base, kSpanTime),
                                  av_rescale_q(stretches.end, base, kSpanTime),
                                  av_rescale_q(clock.padding(), base, kSpanTime),
                                  av_rescale_q(stretches.gaps, base, kSpanTime),
                                  av_rescale_q(stretches.length, base, kSpanTime),
                                  av_rescale_q(clock.played(), base, kSpanTime),
                                  bytes_};
      if (!span) {
        span = stretch;
        continue;
      }
      span->settled = span->settled || stretch.settled;
      span->first = std::min(span->first, stretch.first);
      span->opening = std::min(span->opening, stretch.opening);
      if (stretch.end > span->end) {
        span->end = stretch.end;
        span->padding = stretch.padding;
        span->gaps = stretch.gaps;
      }
      span->continuous = std::max(span->continuous, stretch.continuous);
      span->played = std::max(span->played, stretch.played);
    }
    if (span) {
      span->captionsEnd = span->end;
      for (const auto& [shown, gone] : captions_) {
        if (shown <= span->end) {
          span->captionsEnd = std::max(span->captionsEnd, gone);
        }
      }
    }
    return span;
  }

 private:
  const AVFormatContext& format_;
  std::vector<std::optional<StreamClock>> streams_;
  std::int64_t bytes_ = 0;
  std::vector<std::pair<std::int64_t, std::int64_t>> captions_;  // shown from, to
};

// Reads packets into `tracker` until the end of the file, or until `more` says stop. False
// when the budget runs out first.
template <typename More>
bool readPackets(AVFormatContext& format, ScanBudget& budget, SpanTracker& tracker, More more) {
  const PacketPtr packet = allocatePacket();
  while (more() && readPacket(format, *packet)) {
    const bool affordable = budget.spend(packet->size);
    tracker.add(*packet);
    av_packet_unref(packet.get());
    if (!affordable) {
      return false;
    }
  }
  return true;
}

// Lengths and sizes of consecutive packets from `position`, the first `skip` left out.
std::vector<std::pair<std::int64_t, int>> packetSizes(AVFormatContext& format,
                                                      std::int64_t position, int skip,
                                                      ScanBudget& budget) {
  std::vector<std::pair<std::int64_t, int>> sizes;
  if (!seekToByte(format, position)) {
    return sizes;
  }
  const PacketPtr packet = allocatePacket();
  int read = 0;
  while (sizes.size() < kRateSamplePackets + 1 && readPacket(format, *packet)) {
    const bool affordable = budget.spend(packet->size);
    if (read++ >= skip) {
      sizes.emplace_back(packet->duration, packet->size);
    }
    av_packet_unref(packet.get());
    if (!affordable) {
      return {};
    }
  }
  return sizes;
}

}  // namespace

ScanBudget::ScanBudget(std::int64_t bytes, std::int64_t packets)
    : bytesLeft_(bytes), packetsLeft_(packets) {}

bool ScanBudget::spend(std::int64_t bytes) {
  bytesLeft_ -= bytes;
  --packetsLeft_;
  return bytesLeft_ >= 0 && packetsLeft_ >= 0;
}

std::optional<HeadSpan> readHead(Demuxer& demuxer, ScanBudget& budget) {
  AVFormatContext& format = demuxer.format();
  // Where all of the data fits in the first tail window, this one read sees it all: a second
  // read from the start after a rewind is not always the same (Ogg's first page).
  const bool whole = avio_size(format.pb) - kTailWindows.front() <= demuxer.dataStart();
  SpanTracker tracker(format);
  int count = 0;
  if (!readPackets(format, budget, tracker, [&] { return whole || count++ < kHeadPackets; })) {
    return std::nullopt;
  }
  const auto span = tracker.span();
  if (!span) {
    return std::nullopt;
  }
  return HeadSpan{*span, whole ? span : std::nullopt};
}

std::optional<TimestampSpan> lastPackets(Demuxer& demuxer, ScanBudget& budget) {
  AVFormatContext& format = demuxer.format();
  const std::int64_t fileSize = avio_size(format.pb);
  for (const std::int64_t window : kTailWindows) {
    // A window that reaches the data is read as after opening: a byte seek there could land
    // in the middle of the first cluster (Matroska) or read a header again as packets.
    const bool whole = fileSize - window <= demuxer.dataStart();
    bool placed = true;
    if (whole) {
      demuxer.rewind();
    } else {
      // The library finds its footing after a byte seek: the next tag, cluster or page.
      placed = seekToByte(format, fileSize - window);
    }
    if (placed) {
      SpanTracker tracker(format);
      if (!readPackets(format, budget, tracker, [] { return true; })) {
        return std::nullopt;
      }
      // A window of strays alone holds no timestamp of the media: a wider one may.
      if (const auto span = tracker.span(); span && span->settled) {
        return span;
      }
    }
    if (whole) {
      break;
    }
  }
  return std::nullopt;
}

std::optional<TimestampSpan> wholeSpan(AVFormatContext& format, ScanBudget& budget) {
  SpanTracker tracker(format);
  if (!readPackets(format, budget, tracker, [] { return true; })) {
    return std::nullopt;
  }
  return tracker.span();
}

void indexWholeFile(AVFormatContext& format) {
  std::vector<AVDiscard> kept;
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    kept.push_back(format.streams[i]->discard);
    format.streams[i]->discard = AVDISCARD_ALL;
  }
  const PacketPtr packet = allocatePacket();
  while (readPacket(format, *packet)) {
    av_packet_unref(packet.get());
  }
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    format.streams[i]->discard = kept[i];
  }
}

bool hasConstantBitRate(AVFormatContext& format, std::int64_t dataStart, ScanBudget& budget) {
  const std::int64_t fileSize = avio_size(format.pb);
  if (fileSize <= dataStart) {
    return false;
  }
  const std::array<std::pair<std::int64_t, int>, 3> places = {
      std::pair{dataStart, 0}, std::pair{dataStart + (fileSize - dataStart) / 2, kResyncPackets},
      std::pair{std::max(dataStart, fileSize - kRateSampleTailBytes), kResyncPackets}};
  std::vector<std::pair<std::int64_t, int>> frames;
  for (const auto& [position, skip] : places) {
    auto sizes = packetSizes(format, position, skip, budget);
    if (sizes.size() < kRateSamplePackets) {
      return false;
    }
    sizes.resize(kRateSamplePackets);  // the file's last frame may be cut short
    frames.insert(frames.end(), sizes.begin(), sizes.end());
  }
  const auto [smallest, largest] =
      std::minmax_element(frames.begin(), frames.end(),
                          [](const auto& a, const auto& b) { return a.second < b.second; });
  const bool oneLength = std::all_of(frames.begin(), frames.end(), [&](const auto& frame) {
    return frame.first > 0 && frame.first == frames.front().first;
  });
  return oneLength && largest->second - smallest->second <= 1;
}

}  // namespace korvel
