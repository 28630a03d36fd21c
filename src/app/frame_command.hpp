#pragma once

#include "app/result_sink.hpp"
#include "media/media_source.hpp"
#include "request/frame_request.hpp"

namespace korvel {

// duration * position seconds on the 1/600 s grid, rounded to the nearest tick.
MediaTime frameRequestTime(double duration, double position);

// Puts the JPEG of the picture at the requested fraction of the media into `sink`.
void runFrameCommand(const FrameRequest& request, MediaSource& media, double duration,
                     const ResultSink& sink);

}  // namespace korvel
