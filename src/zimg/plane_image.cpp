#include "zimg/plane_image.hpp"

#include <cstring>

#include "media/media_error.hpp"

namespace korvel {
namespace {

std::size_t roundUpToAlignment(std::size_t bytes) {
  return (bytes + kPlaneAlignment - 1) / kPlaneAlignment * kPlaneAlignment;
}

}  // namespace

AlignedBlock allocateAligned(std::size_t bytes) {
  const std::size_t padded = roundUpToAlignment(bytes) + kPlaneAlignment;
  AlignedBlock block(static_cast<std::byte*>(std::aligned_alloc(kPlaneAlignment, padded)));
  if (!block) {
    throw MediaError();
  }
  std::memset(block.get(), 0, padded);
  return block;
}

PlaneImage::PlaneImage(PixelSize size, std::size_t sampleBytes)
    : size_(size),
      stride_(static_cast<std::ptrdiff_t>(roundUpToAlignment(sampleBytes * size.width))),
      block_(allocateAligned(planeBytes() * kPlanes)) {
  for (int index = 0; index < kPlanes; ++index) {
    planes_[index] = block_.get() + planeBytes() * index;
  }
}

// Each plane is followed by slack, so a row written past its end never reaches the next plane.
std::size_t PlaneImage::planeBytes() const {
  return static_cast<std::size_t>(stride_) * size_.height + kPlaneAlignment;
}

}  // namespace korvel
