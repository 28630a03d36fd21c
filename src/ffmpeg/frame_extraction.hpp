#pragma once

#include <cstdint>

#include "ffmpeg/input/demuxer.hpp"
#include "media/media_source.hpp"

namespace korvel {

// The picture a player shows at `time` on the timeline that begins at `start` (microseconds on
// the streams' clock), scaled into maxSide x maxSide and turned upright. Throws MediaError when
// no video stream decodes.
FrameImage extractFrame(Demuxer& demuxer, MediaTime time, std::int64_t start, double maxSide);

}  // namespace korvel
