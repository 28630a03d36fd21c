#pragma once

#include <cstdint>
#include <vector>

namespace korvel {

// One decoded picture, upright, as tightly packed 8-bit sRGB triplets, row after row.
struct FrameImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};

}  // namespace korvel
