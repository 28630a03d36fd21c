#pragma once

#include "media/ffmpeg/av_owners.hpp"

namespace korvel {

// Opens the container read through `io` (which must outlive the result). Only the accepted
// container formats pass, and the demuxer may not open any other file, URL or device.
// Throws MediaError.
FormatContextPtr openDemuxer(AVIOContext* io);

// avformat_find_stream_info at most once per context, since FFmpeg frees per-stream state on
// its way out that a second call on the same context dereferences. Later calls return the
// first call's outcome.
int findStreamInfoOnce(AVFormatContext& format);

// Whether the container's clock starts anywhere (broadcast streams) rather than at zero.
bool hasFreeRunningClock(const AVFormatContext& format);

}  // namespace korvel
