#pragma once

#include <cstdint>
#include <optional>

#include "ffmpeg/input/av_owners.hpp"

namespace korvel {

// Where a stream plays by its sample index (an MP4's sample tables and fragments as the
// library reads them), in the stream's time base.
struct IndexedSpan {
  // When its first sample is decoded: after an empty edit or a late first fragment. A
  // composition delay (B-frames shown after they are decoded) plays no part: a stream lasts
  // as long as its samples, whatever their order of presentation.
  std::int64_t firstDecode = 0;
  std::int64_t length = 0;
};

// Only samples whose data lies inside a file of `fileSize` bytes count. The stream's stated
// length stands where they bear it out: it may cut them short (an edit), but not outlast them
// by more than a sample. Nothing when no sample is present.
std::optional<IndexedSpan> indexedSpan(AVStream& stream, std::int64_t fileSize);

}  // namespace korvel
