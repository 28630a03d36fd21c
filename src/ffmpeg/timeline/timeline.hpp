#pragma once

#include <cstdint>
#include <limits>

#include "ffmpeg/input/demuxer.hpp"

namespace korvel {

// Where a file's timeline lies on its streams' clock, and how long it is.
struct Timeline {
  // Position 0, in microseconds on the streams' clock.
  std::int64_t start = 0;
  // Seconds; NaN when the media cannot state its length without a guess.
  double seconds = std::numeric_limits<double>::quiet_NaN();
};

// Finds the timeline of the container opened in `demuxer`: a header where
// it can be trusted, else the span of the media's own timestamps, cheapest way first (see
// container_rules.hpp). Leaves the demuxer at the start of its data.
Timeline findTimeline(Demuxer& demuxer);

}  // namespace korvel
