#pragma once

#include "media/ffmpeg/demuxer.hpp"
#include "media/media_asset.hpp"

namespace korvel {

// The picture a player shows at `time`, scaled into maxSide x maxSide and, when asked,
// turned upright. Throws MediaError when no video stream decodes.
FrameImage extractFrame(Demuxer& demuxer, MediaTime time, double maxSide, bool upright);

}  // namespace korvel
