#include "ffmpeg/timeline/timeline.hpp"

#include <algorithm>
#include <cmath>
#include <optional>
#include <vector>

#include "ffmpeg/timeline/container_rules.hpp"
#include "ffmpeg/timeline/packet_scan.hpp"
#include "ffmpeg/timeline/sample_index.hpp"
#include "ffmpeg/timeline/stream_clock.hpp"

namespace korvel {
namespace {

// Reading for a duration stops at this many bytes of packets or this many packets, whichever
// comes first: far more than a real file's tail or head, and an hour of MP3 frames.
constexpr std::int64_t kScanBytes = std::int64_t{64} << 20;
constexpr std::int64_t kScanPackets = 1'000'000;

// A clock whose first timestamp comes this long after its zero was joined late; leading pages
// lost to damage cost less.
constexpr std::int64_t kLateStart = kSpanTime.den;

// Below this many bytes a second no file holds media, not even a tiny frame a second with its
// container's bookkeeping: a length implying less is checked against the timestamps.
constexpr double kLeastBytesPerSecond = 32.0;

// A variable bit rate's first frames may take this many times fewer bytes a second than the
// whole (silence before music); a header that needs fewer still is measured instead.
constexpr double kRateVariation = 8.0;

// A movie header counts in its own time scale; it may round a little past the streams.
constexpr double kHeaderRounding = 0.1;

// A header longer than every stream it holds by more than this is contradicted by them; a real
// one differs by a frame or an edit.
bool contradicts(double stated, double streamsEnd) {
  return stated > 2.0 * streamsEnd + 1.0;
}

double seconds(std::int64_t microseconds) {
  return static_cast<double>(microseconds) / AV_TIME_BASE;
}

// Divided, not multiplied by the reciprocal, so that whole seconds stay whole.
double spanSeconds(std::int64_t ticks) {
  return static_cast<double>(ticks) / kSpanTime.den;
}

bool isTimedStream(const AVStream& stream) {
  return (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 &&
         stream.codecpar->codec_type != AVMEDIA_TYPE_ATTACHMENT &&
         stream.codecpar->codec_type != AVMEDIA_TYPE_DATA;
}

// Sound or pictures: subtitles and data alone are no media to play.
bool holdsMedia(const AVStream& stream) {
  const AVMediaType type = stream.codecpar->codec_type;
  return isTimedStream(stream) && (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO);
}

std::optional<double> statedDuration(const AVFormatContext& format) {
  if (format.duration == AV_NOPTS_VALUE || format.duration <= 0) {
    return std::nullopt;
  }
  return seconds(format.duration);
}

// What the streams themselves state, before any packet is read.
struct StreamSpans {
  double longest = 0.0;    // the longest stream
  double span = 0.0;       // from the earliest start to the latest end
  double latestEnd = 0.0;  // from the clock's zero
};

// Only when every timed stream states both its start and its length: otherwise the span
// cannot be known without reading.
std::optional<StreamSpans> streamSpans(const AVFormatContext& format) {
  StreamSpans spans;
  double earliestStart = std::numeric_limits<double>::infinity();
  double latestEnd = -std::numeric_limits<double>::infinity();
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    const AVStream& stream = *format.streams[i];
    if (!isTimedStream(stream)) {
      continue;
    }
    if (stream.duration == AV_NOPTS_VALUE || stream.start_time == AV_NOPTS_VALUE) {
      return std::nullopt;
    }
    const double length = static_cast<double>(stream.duration) * av_q2d(stream.time_base);
    const double start = static_cast<double>(stream.start_time) * av_q2d(stream.time_base);
    spans.longest = std::max(spans.longest, length);
    earliestStart = std::min(earliestStart, start);
    latestEnd = std::max(latestEnd, start + length);
  }
  if (!std::isfinite(latestEnd)) {
    return std::nullopt;
  }
  spans.span = latestEnd - earliestStart;
  spans.latestEnd = latestEnd;
  return spans;
}

// A header's statement, unless the streams' own spans contradict it.
std::optional<double> trustedStatement(const AVFormatContext& format) {
  const auto stated = statedDuration(format);
  const auto spans = streamSpans(format);
  if (stated && spans && spans->latestEnd > 0.0 && contradicts(*stated, spans->latestEnd)) {
    return spans->latestEnd;
  }
  return stated;
}

// The longest stream, measured both by its own duration and by the span from the earliest
// start to the latest end, as the libraries themselves combine them.
std::optional<double> streamsDuration(const AVFormatContext& format) {
  const auto spans = streamSpans(format);
  const double longest = spans ? std::max(spans->longest, spans->span) : 0.0;
  return longest > 0.0 ? std::optional(longest) : std::nullopt;
}

bool lacksParameters(const AVFormatContext& format) {
  return std::any_of(format.streams, format.streams + format.nb_streams,
                     [](const AVStream* stream) {
                       const AVCodecParameters& codec = *stream->codecpar;
                       return isTimedStream(*stream) &&
                              ((codec.codec_type == AVMEDIA_TYPE_AUDIO && codec.sample_rate <= 0) ||
                               (codec.codec_type == AVMEDIA_TYPE_VIDEO && codec.width <= 0));
                     });
}

class TimelineSearch {
 public:
  explicit TimelineSearch(Demuxer& demuxer)
      : demuxer_(demuxer),
        format_(demuxer.format()),
        rule_(containerRule(*format_.iformat)),
        budget_(kScanBytes, kScanPackets) {}

  Timeline run() {
    Timeline timeline;
    if (rule_.origin != TimelineOrigin::kZero) {
      // Some demuxers date packets only once the streams' parameters are known (MPEG-TS audio,
      // whose frames come several to a timestamp).
      if (lacksParameters(format_)) {
        demuxer_.findStreamInfo();
        demuxer_.rewind();
      }
      head_ = readHead(demuxer_, budget_);
      demuxer_.rewind();
      if (!head_) {
        return timeline;
      }
      timeline.start = av_rescale_q(origin(head_->head), kSpanTime, AVRational{1, AV_TIME_BASE});
      origin_ = origin(head_->head);
    }
    auto seconds = length(origin_);
    if (seconds && !fileCouldHold(*seconds)) {
      seconds = remeasured(origin_);
    }
    timeline.seconds = seconds.value_or(timeline.seconds);
    return timeline;
  }

 private:
  std::int64_t origin(const TimestampSpan& head) const {
    if (rule_.origin == TimelineOrigin::kFirstTimestamp) {
      return head.opening;
    }
    return head.first <= kLateStart ? 0 : head.first;
  }

  bool fileCouldHold(double seconds) const {
    return seconds * kLeastBytesPerSecond <= static_cast<double>(avio_size(format_.pb));
  }

  // A length the file cannot hold, from a header or from a clock that jumps, is measured again
  // from the timestamps: at the end where the container allows it, else packet by packet from
  // the start, the stretches between clock jumps added up. Still too long, it is no answer.
  std::optional<double> remeasured(std::int64_t start) {
    if (rule_.length == LengthRule::kStatedCheckedByTail) {
      if (const auto tail = tailLength(start); tail && fileCouldHold(*tail)) {
        return tail;
      }
    }
    demuxer_.rewind();
    const auto span = wholeSpan(format_, budget_);
    demuxer_.rewind();
    if (!span || span->continuous <= 0 || !fileCouldHold(spanSeconds(span->continuous))) {
      return std::nullopt;
    }
    return spanSeconds(span->continuous);
  }

  std::optional<double> length(std::int64_t start) {
    switch (rule_.length) {
      case LengthRule::kSampleIndex:
      case LengthRule::kSampleIndexElseTail:
        return indexLength(start);
      case LengthRule::kStatedCheckedByTail:
        return checkedLength(start);
      case LengthRule::kTimestamps:
        return tailLength(start);
      case LengthRule::kLibrary:
        return libraryLength();
      case LengthRule::kStatedElsePackets:
        return packetsLength();
      case LengthRule::kStatedElsePcm:
        return pcmLength();
    }
    return std::nullopt;
  }

  // The header, else the streams' own statements, else what the library's probing of the
  // packets finds, unless that is only a guess from the bit rate.
  std::optional<double> libraryLength() {
    if (const auto stated = trustedStatement(format_)) {
      return stated;
    }
    if (const auto streams = streamsDuration(format_)) {
      return streams;
    }
    return probedLength();
  }

  std::optional<double> probedLength() {
    if (!demuxer_.findStreamInfo() ||
        format_.duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) {
      return std::nullopt;
    }
    return statedDuration(format_);
  }

  // The library's guess from the bit rate, which is exact only for a constant one.
  std::optional<double> bitRateEstimate() {
    if (!demuxer_.findStreamInfo() ||
        format_.duration_estimation_method != AVFMT_DURATION_FROM_BITRATE) {
      return std::nullopt;
    }
    return statedDuration(format_);
  }

  // The header where the samples bear it out, else the samples themselves. A fragmented movie's
  // header says nothing of the fragments the library has not read yet (after a segment index it
  // reads only the first), so where the header is missing or claims more than the samples
  // indexed, the rest of the file is read and the samples counted again.
  std::optional<double> indexLength(std::int64_t start) {
    auto indexed = indexedLength();
    if (indexed.samples == 0 && rule_.length == LengthRule::kSampleIndexElseTail) {
      // No index, as in a recording cut short: the frames present, read from the start, for
      // its headers still count the frames that were to come.
      return statedWithin(remeasured(start));
    }
    const auto stated = statedDuration(format_);
    if (!stated || !indexed.longest || *stated > *indexed.longest + kHeaderRounding) {
      indexWholeFile(format_);
      demuxer_.rewind();
      indexed = indexedLength();
    }
    return statedWithin(indexed.longest);
  }

  struct IndexedLength {
    std::optional<double> longest;  // of the audio and video streams, from where each is decoded
    std::int64_t samples = 0;       // of every stream
  };

  IndexedLength indexedLength() const {
    const std::int64_t fileSize = avio_size(format_.pb);
    IndexedLength indexed;
    for (unsigned i = 0; i < format_.nb_streams; ++i) {
      AVStream& stream = *format_.streams[i];
      indexed.samples += avformat_index_get_entries_count(&stream);
      const auto span = holdsMedia(stream) ? indexedSpan(stream, fileSize) : std::nullopt;
      if (!span) {
        continue;
      }
      const double end = static_cast<double>(span->firstDecode) * av_q2d(stream.time_base) +
                         static_cast<double>(span->length) * av_q2d(stream.time_base);
      indexed.longest = std::max(indexed.longest.value_or(end), end);
    }
    return indexed;
  }

  // The header, where it does not outlast what was measured by more than its own rounding.
  std::optional<double> statedWithin(std::optional<double> measured) const {
    const auto stated = statedDuration(format_);
    if (measured && stated && *stated <= *measured + kHeaderRounding) {
      return stated;
    }
    return measured;
  }

  // The last timestamps, and a header that agrees with them; where nothing can be measured, a
  // header the file could hold.
  std::optional<double> checkedLength(std::int64_t start) {
    if (const auto measured = tailLength(start)) {
      // A subtitle shown while the media plays may hold the screen past its end.
      const double captionsEnd = spanSeconds(saturatingSub(lastPackets()->captionsEnd, start));
      const auto stated = statedDuration(format_);
      return stated && *stated <= std::max(*measured, captionsEnd) + kHeaderRounding ? stated
                                                                                     : measured;
    }
    const auto stated = statedDuration(format_);
    return stated && fileCouldHold(*stated) ? stated : std::nullopt;
  }

  // Read once.
  const std::optional<TimestampSpan>& lastPackets() {
    if (!last_) {
      if (head_ && head_->whole) {
        last_ = head_->whole;
      } else {
        last_ = korvel::lastPackets(demuxer_, budget_);
        demuxer_.rewind();
      }
    }
    return *last_;
  }

  // Where the last packets end, less what a decoder drops from the end of the last one, and
  // less the clock's jumps seen: a stretch of the clock counts once, wherever it lies.
  std::int64_t heardEnd(const TimestampSpan& last) const {
    std::int64_t end = saturatingSub(last.end, last.gaps);
    if (head_ && !head_->whole) {
      end = saturatingSub(end, head_->head.gaps);
    }
    return rule_.padding == Padding::kInDuration ? saturatingSub(end, last.padding) : end;
  }

  std::optional<double> tailLength(std::int64_t start) {
    const auto last = lastPackets();
    std::int64_t span = 0;
    if (!last || !last->settled || __builtin_sub_overflow(heardEnd(*last), start, &span) ||
        span <= 0) {
      return std::nullopt;
    }
    return spanSeconds(span);
  }

  // A stream without a clock of its own: its parser makes the timestamps up, and only the
  // frames' own sample counts are the truth.
  std::optional<double> packetsLength() {
    if (const auto stated = statedTicks()) {
      return heardOf(*stated);
    }
    return framesLength();
  }

  // Every frame's samples added up, within the budget; past it, the bit-rate estimate where the
  // bit rate is shown to be constant.
  std::optional<double> framesLength() {
    // The parser needs the stream's parameters to date the frames.
    demuxer_.findStreamInfo();
    demuxer_.rewind();
    const auto span = wholeSpan(format_, budget_);
    demuxer_.rewind();
    if (span) {
      const std::int64_t heard = saturatingSub(span->played, span->padding);
      return heard > 0 ? std::optional(spanSeconds(heard)) : std::nullopt;
    }
    ScanBudget sampling(kScanBytes, kScanPackets);
    const bool constant = hasConstantBitRate(format_, demuxer_.dataStart(), sampling);
    demuxer_.rewind();
    return constant ? bitRateEstimate() : std::nullopt;
  }

  // Whether the file's bytes could hold `seconds` of frames at the rate the first frames show,
  // give or take what a variable bit rate varies by.
  bool bytesCouldHold(std::int64_t ticks, const TimestampSpan& first) const {
    if (first.played <= 0 || first.bytes <= 0) {
      return false;
    }
    const double bytesPerTick =
        static_cast<double>(first.bytes) / static_cast<double>(first.played);
    return static_cast<double>(ticks) * bytesPerTick <=
           kRateVariation * static_cast<double>(avio_size(format_.pb));
  }

  // A real header's count of the samples (Xing, STREAMINFO), in kSpanTime: the longest stream's
  // own, since the container's is rounded to microseconds.
  std::optional<std::int64_t> statedTicks() const {
    std::optional<std::int64_t> longest;
    for (unsigned i = 0; i < format_.nb_streams; ++i) {
      const AVStream& stream = *format_.streams[i];
      if (isTimedStream(stream) && stream.duration != AV_NOPTS_VALUE && stream.duration > 0) {
        const std::int64_t ticks = av_rescale_q(stream.duration, stream.time_base, kSpanTime);
        longest = std::max(longest.value_or(ticks), ticks);
      }
    }
    if (!longest && format_.duration != AV_NOPTS_VALUE && format_.duration > 0) {
      longest = av_rescale_q(format_.duration, AVRational{1, AV_TIME_BASE}, kSpanTime);
    }
    return longest;
  }

  // A header counts every frame in full from the clock's zero; a decoder drops an encoder's
  // delay from the first and its padding from the last (as an MP3's LAME tag tells them).
  std::optional<double> heardOf(std::int64_t stated) {
    head_ = readHead(demuxer_, budget_);
    demuxer_.rewind();
    if (!head_ || !bytesCouldHold(stated, head_->head)) {
      head_.reset();
      return framesLength();
    }
    if (head_->head.first <= 0) {
      return spanSeconds(stated);
    }
    const auto last = lastPackets();
    const std::int64_t heard =
        saturatingSub(saturatingSub(stated, head_->head.first), last ? last->padding : 0);
    return heard > 0 ? std::optional(spanSeconds(heard)) : std::nullopt;
  }

  std::optional<double> pcmLength() {
    if (const auto known = libraryLength()) {
      return known;
    }
    // Every block of PCM holds the same time, so the data size over the block size is exact.
    const bool pcm = std::all_of(
        format_.streams, format_.streams + format_.nb_streams, [](const AVStream* stream) {
          return av_get_exact_bits_per_sample(stream->codecpar->codec_id) > 0;
        });
    return pcm ? bitRateEstimate() : packetsLength();
  }

  Demuxer& demuxer_;
  AVFormatContext& format_;
  const ContainerRule& rule_;
  ScanBudget budget_;
  std::optional<HeadSpan> head_;
  std::optional<std::optional<TimestampSpan>> last_;
  // Position 0 of the timeline, in kSpanTime.
  std::int64_t origin_ = 0;
};

}  // namespace

Timeline findTimeline(Demuxer& demuxer) {
  return TimelineSearch(demuxer).run();
}

}  // namespace korvel
