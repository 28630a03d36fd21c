#include "media/ffmpeg/container_duration.hpp"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <optional>

#include "media/ffmpeg/demuxer.hpp"
#include "media/ffmpeg/matroska_tail.hpp"

namespace korvel {
namespace {

constexpr double kUnknown = std::numeric_limits<double>::quiet_NaN();

bool isTimedStream(const AVStream& stream) {
  return (stream.disposition & AV_DISPOSITION_ATTACHED_PIC) == 0 &&
         stream.codecpar->codec_type != AVMEDIA_TYPE_ATTACHMENT &&
         stream.codecpar->codec_type != AVMEDIA_TYPE_DATA;
}

std::optional<double> statedDuration(const AVFormatContext& format) {
  if (format.duration == AV_NOPTS_VALUE || format.duration <= 0) {
    return std::nullopt;
  }
  return static_cast<double>(format.duration) / AV_TIME_BASE;
}

// The longest stream, measured both by its own duration and by the span from the earliest
// start to the latest end, as the libraries themselves combine them. Only when every stream
// states both its start and its length: otherwise the span cannot be known without reading.
std::optional<double> streamsDuration(const AVFormatContext& format) {
  double longest = 0.0;
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
    longest = std::max(longest, length);
    earliestStart = std::min(earliestStart, start);
    latestEnd = std::max(latestEnd, start + length);
  }
  longest = std::max(longest, latestEnd - earliestStart);
  if (!(longest > 0.0)) {
    return std::nullopt;
  }
  return longest;
}

// Probes packets; for broadcast streams the libraries then read the timestamps at both ends.
std::optional<double> probedDuration(Demuxer& demuxer) {
  const AVFormatContext& format = demuxer.format();
  if (!demuxer.learnStreams() || format.duration_estimation_method == AVFMT_DURATION_FROM_BITRATE) {
    return std::nullopt;
  }
  return statedDuration(format);
}

}  // namespace

double containerDuration(Demuxer& demuxer) {
  AVFormatContext& format = demuxer.format();
  if (const auto stated = statedDuration(format)) {
    return *stated;
  }
  if (const auto streams = streamsDuration(format)) {
    return *streams;
  }
  if (std::strncmp(format.iformat->name, "matroska", 8) == 0) {
    return matroskaTailDuration(format).value_or(kUnknown);
  }
  return probedDuration(demuxer).value_or(kUnknown);
}

}  // namespace korvel
