#pragma once

#include "media/ffmpeg/av_owners.hpp"

namespace korvel {

// Opens the container read through `io` (which must outlive the result). Only the accepted
// container formats pass, and the demuxer may not open any other file, URL or device.
// Throws MediaError.
FormatContextPtr openDemuxer(AVIOContext* io);

// Whether the container's clock starts anywhere (broadcast streams) rather than at zero.
bool hasFreeRunningClock(const AVFormatContext& format);

}  // namespace korvel
