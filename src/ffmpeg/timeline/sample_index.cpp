#include "ffmpeg/timeline/sample_index.hpp"

#include <algorithm>

namespace korvel {
namespace {

bool dataInFile(const AVIndexEntry& sample, std::int64_t fileSize) {
  return sample.pos >= 0 && sample.size >= 0 && sample.pos <= fileSize - sample.size;
}

std::int64_t timestampOf(AVStream& stream, int sample) {
  return avformat_index_get_entry(&stream, sample)->timestamp;
}

// b - a, or nothing when it overflows or is negative: timestamps come from the file.
std::optional<std::int64_t> distance(std::int64_t a, std::int64_t b) {
  std::int64_t result = 0;
  if (__builtin_sub_overflow(b, a, &result) || result < 0) {
    return std::nullopt;
  }
  return result;
}

// The present samples' length, or the stated one where they bear it out.
std::optional<std::int64_t> heldLength(AVStream& stream, int count, int present) {
  const std::int64_t first = timestampOf(stream, 0);
  const std::int64_t stated = stream.duration != AV_NOPTS_VALUE ? stream.duration : 0;
  // The samples whose data is missing start where the present ones end.
  if (present < count) {
    const auto held = distance(first, timestampOf(stream, present));
    return held ? std::optional(stated > 0 ? std::min(stated, *held) : *held) : std::nullopt;
  }
  // A lone sample lasts as long as the stream says.
  if (present == 1) {
    return stated > 0 ? std::optional(stated) : std::nullopt;
  }
  // The last sample lasts about as long as the one before it.
  const auto starts = distance(first, timestampOf(stream, present - 1));
  const auto lastSample =
      distance(timestampOf(stream, present - 2), timestampOf(stream, present - 1));
  if (!starts || !lastSample || *starts > INT64_MAX - *lastSample) {
    return std::nullopt;
  }
  const std::int64_t held = *starts + *lastSample;
  return stated > 0 && stated <= held + *lastSample ? stated : held;
}

}  // namespace

std::optional<IndexedSpan> indexedSpan(AVStream& stream, std::int64_t fileSize) {
  const int count = avformat_index_get_entries_count(&stream);
  int present = 0;
  while (present < count && dataInFile(*avformat_index_get_entry(&stream, present), fileSize)) {
    ++present;
  }
  const auto length = present > 0 ? heldLength(stream, count, present) : std::nullopt;
  if (!length) {
    return std::nullopt;
  }
  return IndexedSpan{std::max<std::int64_t>(0, timestampOf(stream, 0)), *length};
}

}  // namespace korvel
