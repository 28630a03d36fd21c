#include "picture/frame_geometry.hpp"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace korvel {
namespace {

int roundedSide(double length, double largest) {
  return static_cast<int>(std::clamp(std::round(length), 1.0, largest));
}

}  // namespace

PixelSize fitInside(double width, double height, double maxSide) {
  const double largest = std::floor(maxSide);
  const double longSide = std::max(width, height);
  const int longOut = roundedSide(longSide * std::min(1.0, maxSide / longSide), largest);
  // The short side follows the long side as it was rounded, so the shape stays closest.
  const double scale = longOut / longSide;
  return PixelSize{roundedSide(width * scale, largest), roundedSide(height * scale, largest)};
}

Orientation orientationFromDisplayMatrix(const std::array<std::int32_t, 9>& matrix) {
  const std::int64_t a = matrix[0];
  const std::int64_t b = matrix[1];
  const std::int64_t c = matrix[3];
  const std::int64_t d = matrix[4];
  // Snap any other angle to the nearest quarter turn.
  if (std::llabs(a) + std::llabs(d) >= std::llabs(b) + std::llabs(c)) {
    return Orientation{false, a < 0, d < 0};
  }
  return Orientation{true, c < 0, b < 0};
}

FrameImage applyOrientation(const FrameImage& stored, Orientation orientation) {
  if (orientation == Orientation{}) {
    return stored;
  }
  const int width = stored.width;
  const int height = stored.height;
  FrameImage shown;
  shown.width = orientation.swapAxes ? height : width;
  shown.height = orientation.swapAxes ? width : height;
  shown.rgb.resize(stored.rgb.size());
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int across = orientation.swapAxes ? y : x;
      const int down = orientation.swapAxes ? x : y;
      const int shownX = orientation.negateX ? shown.width - 1 - across : across;
      const int shownY = orientation.negateY ? shown.height - 1 - down : down;
      const auto from = (static_cast<std::size_t>(y) * width + x) * 3;
      const auto to = (static_cast<std::size_t>(shownY) * shown.width + shownX) * 3;
      std::copy_n(stored.rgb.begin() + static_cast<std::ptrdiff_t>(from), 3,
                  shown.rgb.begin() + static_cast<std::ptrdiff_t>(to));
    }
  }
  return shown;
}

}  // namespace korvel
