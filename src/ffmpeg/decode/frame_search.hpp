#pragma once

#include <cstdint>

#include "ffmpeg/input/av_owners.hpp"

namespace korvel {

// Decodes the frame a player shows at `target` (in the stream's time base): the last frame
// presented at or before it, the first frame when it precedes them all, the last decoded one
// when the stream ends first. Only clean pictures count (see CleanPictures): before the first
// of them, the first one after the target is the answer. Seeks to the sync frame at or before
// the target and decodes forward within a bounded budget. Throws MediaError when no clean
// frame decodes.
FramePtr decodeFrameAt(AVFormatContext& format, const AVStream& stream, AVCodecContext& decoder,
                       std::int64_t target);

}  // namespace korvel
