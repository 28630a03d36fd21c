#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "media/ffmpeg/av_owners.hpp"

namespace korvel {

// One block of a Matroska cluster: its track, its time in the segment's timestamp units,
// and its stated duration when it has one.
struct ClusterBlock {
  std::uint64_t track = 0;
  std::int64_t timestamp = 0;
  std::optional<std::int64_t> duration;
};

// The blocks of the last cluster in `tail` (the end of a file) that parses, in file order.
// Empty when no cluster can be found.
std::vector<ClusterBlock> lastClusterBlocks(std::span<const std::uint8_t> tail);

// A file written live has no duration in its header: its length is where its last blocks
// end, read from a bounded window at the end of the file.
std::optional<double> matroskaTailDuration(AVFormatContext& format);

}  // namespace korvel
