#pragma once

#include <string_view>

namespace korvel {

struct FrameRequest {
  double position = 0.0;  // fraction of the duration, 0 <= p < 1
  double maxSide = 0.0;   // bound of the square, 64 <= s <= 1024
};

// Parses the position, then the size, then tests the ranges as conditions that must hold (so
// NaN fails). ToolError kBadRequest on any fault.
FrameRequest parseFrameRequest(std::string_view position, std::string_view maxSide);

}  // namespace korvel
