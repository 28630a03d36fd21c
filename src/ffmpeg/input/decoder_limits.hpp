#pragma once

#include <cstdint>

namespace korvel {

// Pictures up to 8K; a header claiming more is refused before anything is allocated. Holds for
// every decoder the libraries open, their own stream probing included.
inline constexpr std::int64_t kLargestPicturePixels = std::int64_t{8192} * 8192;

// More streams than any real recording or broadcast carries; each costs the probing a decoder.
inline constexpr int kMostStreams = 100;

}  // namespace korvel
