#include "picture/jpeg_encoder.hpp"

#include <turbojpeg.h>

#include <cmath>
#include <memory>

namespace korvel {
namespace {

struct TurboJpegDeleter {
  void operator()(void* handle) const { tjDestroy(handle); }
};
struct TurboJpegBufferDeleter {
  void operator()(unsigned char* buffer) const { tjFree(buffer); }
};

}  // namespace

std::optional<std::vector<std::uint8_t>> encodeJpeg(const FrameImage& image, double quality) {
  const std::size_t expectedBytes = static_cast<std::size_t>(image.width) * image.height * 3;
  if (image.width <= 0 || image.height <= 0 || image.rgb.size() != expectedBytes) {
    return std::nullopt;
  }
  const std::unique_ptr<void, TurboJpegDeleter> encoder(tjInitCompress());
  if (!encoder) {
    return std::nullopt;
  }
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  // Baseline, 4:2:0, no metadata: the pixels are already upright, so no orientation tag.
  const int status =
      tjCompress2(encoder.get(), image.rgb.data(), image.width, 0, image.height, TJPF_RGB, &buffer,
                  &size, TJSAMP_420, static_cast<int>(std::lround(quality * 100.0)), 0);
  const std::unique_ptr<unsigned char, TurboJpegBufferDeleter> owned(buffer);
  if (status != 0 || !owned) {
    return std::nullopt;
  }
  return std::vector<std::uint8_t>(owned.get(), owned.get() + size);
}

}  // namespace korvel
