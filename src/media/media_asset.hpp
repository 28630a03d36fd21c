#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "cli/source_location.hpp"

namespace korvel {

// A point on the media's timeline: value / timescale seconds from its start.
struct MediaTime {
  std::int64_t value = 0;
  std::int32_t timescale = 1;

  double seconds() const { return static_cast<double>(value) / timescale; }
};

// One decoded picture, upright, as tightly packed 8-bit sRGB triplets, row after row.
struct FrameImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

// The one media file a run works on. Only the commands' operations are offered; how they
// are met (containers, codecs, scaling) stays behind this interface.
class MediaAsset {
 public:
  // Opens exactly the file at `location`, read-only. Throws when it is not a regular file or
  // not an accepted container.
  static MediaAsset open(const SourceLocation& location);

  MediaAsset(MediaAsset&&) noexcept;
  MediaAsset& operator=(MediaAsset&&) noexcept;
  ~MediaAsset();

  // Length in seconds on the timeline a player shows; NaN when the media cannot state it.
  double loadDuration();

  // The picture a player shows at `time`, fitted into maxSide x maxSide without enlarging,
  // turned upright by the stream's display matrix when asked.
  FrameImage imageAt(MediaTime time, double maxSide, bool applyPreferredTransform);

  struct Impl;

 private:
  explicit MediaAsset(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

// Baseline JPEG of the picture; nothing when the encoder fails.
std::optional<std::vector<std::uint8_t>> encodeJpeg(const FrameImage& image, double quality);

}  // namespace korvel
