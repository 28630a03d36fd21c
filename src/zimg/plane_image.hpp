#pragma once

#include <array>
#include <cstddef>
#include <cstdlib>
#include <memory>

#include "picture/frame_geometry.hpp"

namespace korvel {

struct AlignedFree {
  void operator()(std::byte* block) const { std::free(block); }
};

// Memory aligned and padded for SIMD code: zimg wants aligned rows, swscale writes a little
// past a row's end.
using AlignedBlock = std::unique_ptr<std::byte[], AlignedFree>;
inline constexpr std::size_t kPlaneAlignment = 64;

// At least `bytes` of zeroed memory, aligned to kPlaneAlignment. Throws MediaError.
AlignedBlock allocateAligned(std::size_t bytes);

// A picture as three planes of equal size and sample type (R, G, B or Y, U, V), every row
// aligned to kPlaneAlignment.
class PlaneImage {
 public:
  static constexpr int kPlanes = 3;

  PlaneImage(PixelSize size, std::size_t sampleBytes);

  PixelSize size() const { return size_; }
  std::ptrdiff_t stride() const { return stride_; }
  std::byte* plane(int index) { return planes_[index]; }
  const std::byte* plane(int index) const { return planes_[index]; }

  template <typename Sample>
  Sample* row(int index, int y) {
    return reinterpret_cast<Sample*>(planes_[index] + stride_ * y);
  }
  template <typename Sample>
  const Sample* row(int index, int y) const {
    return reinterpret_cast<const Sample*>(planes_[index] + stride_ * y);
  }

 private:
  std::size_t planeBytes() const;

  PixelSize size_;
  std::ptrdiff_t stride_;
  AlignedBlock block_;
  std::array<std::byte*, kPlanes> planes_{};
};

}  // namespace korvel
