#pragma once

#include <array>
#include <cstdint>

#include "picture/frame_image.hpp"

namespace korvel {

struct PixelSize {
  int width = 0;
  int height = 0;

  bool operator==(const PixelSize&) const = default;
};

// Fits a picture whose display shape is width x height into maxSide x maxSide: aspect kept,
// never enlarged, no side above maxSide, each side at least one pixel.
PixelSize fitInside(double width, double height, double maxSide);

// One of the eight ways a stored picture is turned to be shown: each output pixel (x', y')
// takes the stored pixel at (x, y) with
//   no swap: x' = negateX ? W-1-x : x,  y' = negateY ? H-1-y : y
//   swap:    x' = negateX ? H-1-y : y,  y' = negateY ? W-1-x : x
struct Orientation {
  bool swapAxes = false;
  bool negateX = false;
  bool negateY = false;

  bool operator==(const Orientation&) const = default;
};

// The orientation nearest to a display matrix (9 entries, row-major, the 2x2 part in 16.16
// fixed point, mapping stored (x, y) to shown (a*x + c*y, b*x + d*y)).
Orientation orientationFromDisplayMatrix(const std::array<std::int32_t, 9>& matrix);

// The picture as it is to be shown.
FrameImage applyOrientation(const FrameImage& stored, Orientation orientation);

}  // namespace korvel
