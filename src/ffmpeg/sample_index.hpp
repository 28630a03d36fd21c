#pragma once

#include <cstdint>
#include <optional>

#include "ffmpeg/av_owners.hpp"

namespace korvel {

// How long a stream plays by its sample index (an MP4's sample tables and fragments as the
// library reads them), in the stream's time base: only samples whose data lies inside a file
// of `fileSize` bytes count. The stream's stated length stands where they bear it out: it may
// cut them short (an edit), but not outlast them by more than a sample. Nothing when no
// sample is present.
std::optional<std::int64_t> indexedLength(AVStream& stream, std::int64_t fileSize);

}  // namespace korvel
