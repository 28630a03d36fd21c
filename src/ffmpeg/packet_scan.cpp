#include "ffmpeg/packet_scan.hpp"

#include <algorithm>
#include <array>
#include <vector>

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include "ffmpeg/demuxer.hpp"

namespace korvel {
namespace {

constexpr AVRational kMicroseconds{1, AV_TIME_BASE};

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
constexpr std::int64_t kRateSampleTailBytes = 256 * 1024;

// Timestamps come from the file: a crafted one may sit at either end of the range.
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) {
    return b > 0 ? INT64_MAX : INT64_MIN;
  }
  return sum;
}

bool isTimed(const AVStream& stream) {
  return (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 &&
         stream.codecpar->codec_type != AVMEDIA_TYPE_ATTACHMENT &&
         stream.codecpar->codec_type != AVMEDIA_TYPE_DATA;
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

// The usual gap between the timestamps, the median so that uneven timing does not skew it.
std::int64_t typicalGap(std::vector<std::int64_t> times) {
  std::sort(times.begin(), times.end());
  std::vector<std::int64_t> gaps;
  for (std::size_t i = 1; i < times.size(); ++i) {
    if (times[i] > times[i - 1]) {
      std::int64_t gap = 0;
      gaps.push_back(__builtin_sub_overflow(times[i], times[i - 1], &gap) ? INT64_MAX : gap);
    }
  }
  if (gaps.empty()) {
    return 0;
  }
  const auto middle = gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2);
  std::nth_element(gaps.begin(), middle, gaps.end());
  return *middle;
}

// Audio a decoder drops at the start of a packet (priming, an encoder's delay), in the
// stream's time base: it is never heard, so the timeline starts after it. (Padding dropped at
// the end is not counted: some demuxers have already taken it off the packet's duration.)
std::int64_t primingOf(const AVPacket& packet, const AVStream& stream) {
  std::size_t size = 0;
  const std::uint8_t* skip = av_packet_get_side_data(&packet, AV_PKT_DATA_SKIP_SAMPLES, &size);
  const int rate = stream.codecpar->sample_rate;
  if (skip == nullptr || size < 4 || rate <= 0) {
    return 0;
  }
  return av_rescale_q(AV_RL32(skip), AVRational{1, rate}, stream.time_base);
}

// A Vorbis decoder makes no sound from a stream's first packet: it only primes the overlap
// with the next one.
bool primesOnly(const AVStream& stream, bool firstOfStream) {
  return firstOfStream && stream.codecpar->codec_id == AV_CODEC_ID_VORBIS;
}

// A stream's clock that moves this far between two packets has jumped (a splice of two
// recordings, a crafted timestamp): the stretches on either side are counted apart.
constexpr std::int64_t kClockJumpSeconds = 60;

// The span of the packets of timed streams seen so far. A packet that does not say how long
// it lasts lasts one frame of its stream, or the usual gap between its stream's packets.
class SpanTracker {
 public:
  explicit SpanTracker(const AVFormatContext& format) : format_(format) {}

  void add(const AVPacket& packet) {
    if (packet.pts == AV_NOPTS_VALUE || packet.stream_index < 0 ||
        static_cast<unsigned>(packet.stream_index) >= format_.nb_streams ||
        !isTimed(*format_.streams[packet.stream_index])) {
      return;
    }
    const auto index = static_cast<std::size_t>(packet.stream_index);
    if (streams_.size() <= index) {
      streams_.resize(index + 1);
    }
    StreamTimes& times = streams_[index];
    const AVStream& stream = *format_.streams[index];
    times.followClock(packet, av_rescale_q(kClockJumpSeconds, AVRational{1, 1}, stream.time_base));
    std::int64_t shownFrom = INT64_MAX;
    if (primesOnly(stream, !times.seen)) {
      times.primingStart = packet.pts;
    } else {
      shownFrom = saturatingAdd(packet.pts, primingOf(packet, stream));
      times.first = std::min(times.first, shownFrom);
    }
    times.seen = true;
    std::int64_t shownTo = packet.pts;
    if (packet.duration > 0) {
      shownTo = saturatingAdd(packet.pts, packet.duration);
      times.end = std::max(times.end, shownTo);
    } else {
      times.undated.push_back(packet.pts);
      shownTo = saturatingAdd(packet.pts, statedFrameTicks(stream));
    }
    times.piece.first = std::min(times.piece.first, shownFrom);
    times.piece.end = std::max(times.piece.end, shownTo);
  }

  std::optional<TimestampSpan> span() const {
    std::optional<TimestampSpan> span;
    for (std::size_t index = 0; index < streams_.size(); ++index) {
      const StreamTimes& times = streams_[index];
      if (!times.seen) {
        continue;
      }
      const AVStream& stream = *format_.streams[index];
      std::int64_t end = times.end;
      if (!times.undated.empty()) {
        const std::int64_t stated = statedFrameTicks(stream);
        const std::int64_t frame = stated > 0 ? stated : typicalGap(times.undated);
        const std::int64_t last = *std::max_element(times.undated.begin(), times.undated.end());
        end = std::max(end, saturatingAdd(last, frame));
      }
      const std::int64_t first = times.first != INT64_MAX ? times.first : times.primingStart;
      const TimestampSpan stretch{
          av_rescale_q(first, stream.time_base, kMicroseconds),
          av_rescale_q(end, stream.time_base, kMicroseconds),
          av_rescale_q(times.continuous(), stream.time_base, kMicroseconds)};
      if (!span) {
        span = stretch;
      } else {
        span->first = std::min(span->first, stretch.first);
        span->end = std::max(span->end, stretch.end);
        span->continuous = std::max(span->continuous, stretch.continuous);
      }
    }
    return span;
  }

 private:
  struct Piece {
    std::int64_t first = INT64_MAX;
    std::int64_t end = INT64_MIN;

    std::int64_t length() const {
      std::int64_t length = 0;
      return first < end && !__builtin_sub_overflow(end, first, &length) ? length : 0;
    }
  };

  struct StreamTimes {
    bool seen = false;
    std::int64_t first = INT64_MAX;
    std::int64_t primingStart = 0;
    std::int64_t end = INT64_MIN;
    std::vector<std::int64_t> undated;
    std::int64_t clock = AV_NOPTS_VALUE;
    Piece piece;
    std::int64_t earlierPieces = 0;

    // Decode times run on without jumps; a jump ends the stretch so far.
    void followClock(const AVPacket& packet, std::int64_t jump) {
      const std::int64_t now = packet.dts != AV_NOPTS_VALUE ? packet.dts : packet.pts;
      if (clock != AV_NOPTS_VALUE &&
          (now < saturatingAdd(clock, -jump) || now > saturatingAdd(clock, jump))) {
        earlierPieces = saturatingAdd(earlierPieces, piece.length());
        piece = Piece{};
      }
      clock = now;
    }

    std::int64_t continuous() const { return saturatingAdd(earlierPieces, piece.length()); }
  };

  const AVFormatContext& format_;
  std::vector<StreamTimes> streams_;
};

// Reads packets into `tracker` until the end of the file, or until `more` says stop. False
// when the budget runs out first.
template <typename More>
bool readPackets(AVFormatContext& format, ScanBudget& budget, SpanTracker& tracker, More more) {
  const PacketPtr packet = allocatePacket();
  while (more() && av_read_frame(&format, packet.get()) >= 0) {
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
  while (sizes.size() < kRateSamplePackets + 1 && av_read_frame(&format, packet.get()) >= 0) {
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

ScanBudget::ScanBudget(std::int64_t bytes, std::chrono::milliseconds time)
    : bytesLeft_(bytes), deadline_(std::chrono::steady_clock::now() + time) {}

bool ScanBudget::spend(std::int64_t bytes) {
  bytesLeft_ -= bytes;
  return bytesLeft_ >= 0 && std::chrono::steady_clock::now() < deadline_;
}

std::optional<std::int64_t> firstTimestamp(AVFormatContext& format, ScanBudget& budget) {
  SpanTracker tracker(format);
  int count = 0;
  if (!readPackets(format, budget, tracker, [&] { return count++ < kHeadPackets; })) {
    return std::nullopt;
  }
  const auto span = tracker.span();
  return span ? std::optional(span->first) : std::nullopt;
}

std::optional<std::int64_t> lastTimestampEnd(AVFormatContext& format, std::int64_t earliestStart,
                                             ScanBudget& budget, const WindowStart& windowStart) {
  const std::int64_t fileSize = avio_size(format.pb);
  if (fileSize <= 0) {
    return std::nullopt;
  }
  for (const std::int64_t window : kTailWindows) {
    const std::int64_t earliest = std::max(earliestStart, fileSize - window);
    const std::optional<std::int64_t> start = windowStart ? windowStart(earliest) : earliest;
    if (start && seekToByte(format, *start)) {
      SpanTracker tracker(format);
      if (!readPackets(format, budget, tracker, [] { return true; })) {
        return std::nullopt;
      }
      if (const auto span = tracker.span()) {
        return span->end;
      }
    }
    if (earliest <= earliestStart) {
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
