#pragma once

#include <cstdint>

#include "ffmpeg/input/av_owners.hpp"

namespace korvel {

// Leaves in `packet` the stream's sync packet at or before `target` (in the stream's time
// base), else the stream's first packet; false when the stream yields no packet at all.
bool seekToSync(AVFormatContext& format, const AVStream& stream, std::int64_t target,
                AVPacket& packet);

}  // namespace korvel
