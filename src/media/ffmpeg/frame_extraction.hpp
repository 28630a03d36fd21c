#pragma once

#include "media/ffmpeg/av_owners.hpp"
#include "media/media_asset.hpp"

namespace korvel {

// The picture a player shows at `time`, scaled into maxSide x maxSide and, when asked,
// turned upright. Throws MediaError when no video stream decodes.
FrameImage extractFrame(AVFormatContext& format, MediaTime time, double maxSide, bool upright);

}  // namespace korvel
