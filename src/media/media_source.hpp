#pragma once

#include <cstdint>

#include "picture/frame_image.hpp"

namespace korvel {

// A point on the media's timeline: value / timescale seconds from its start.
struct MediaTime {
  std::int64_t value = 0;
  std::int32_t timescale = 1;
};

// The one media file a run works on. Only the commands' operations are offered; how they are
// met (containers, codecs, scaling) stays behind this interface. Failures throw MediaError.
class MediaSource {
 public:
  virtual ~MediaSource() = default;

  // Length in seconds on the timeline a player shows; NaN when the media cannot state it.
  virtual double loadDuration() = 0;

  // The picture a player shows at `time`, fitted into maxSide x maxSide without enlarging and
  // turned upright by the stream's display matrix.
  virtual FrameImage imageAt(MediaTime time, double maxSide) = 0;
};

}  // namespace korvel
