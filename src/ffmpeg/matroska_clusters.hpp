#pragma once

#include <cstdint>
#include <optional>

namespace korvel {

// The start of a real Matroska cluster at or after `earliest` (else the last one before it),
// found by walking the segment's elements by their sizes from the start of the file. A
// reader started there meets only real blocks, never a cluster-like pattern inside a Void or
// a block's payload. Nothing when the file's structure cannot be walked.
std::optional<std::int64_t> matroskaClusterStart(int fd, std::int64_t earliest);

}  // namespace korvel
