#pragma once

#include "media/ffmpeg/demuxer.hpp"

namespace korvel {

// The media's length in seconds, or NaN when it cannot be known without guessing from the
// bit rate. Cheap sources first: the container's own statement, then the streams', and only
// then reading timestamps.
double containerDuration(Demuxer& demuxer);

}  // namespace korvel
