// jpeg-to-png: korvel's JPEG on standard input, the same picture as PNG on standard output.
// Desktops read a thumbnailer's output as PNG only. Status 1, and nothing written, on any
// failure.

#include <png.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

// korvel's own limits: at most 1 MiB of JPEG, at most 1024 pixels a side.
constexpr std::size_t kMostInputBytes = std::size_t{1} << 20;
constexpr int kMostSide = 1024;

struct TurboJpegDeleter {
  void operator()(void* handle) const { tjDestroy(handle); }
};

bool readAll(std::vector<unsigned char>& bytes) {
  bytes.resize(kMostInputBytes + 1);
  std::size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t got = read(STDIN_FILENO, bytes.data() + filled, bytes.size() - filled);
    if (got == 0) {
      bytes.resize(filled);
      return filled > 0;
    }
    if (got < 0) {
      return false;
    }
    filled += static_cast<std::size_t>(got);
  }
  return false;
}

bool convert() {
  std::vector<unsigned char> jpeg;
  if (!readAll(jpeg)) {
    return false;
  }
  const std::unique_ptr<void, TurboJpegDeleter> decoder(tjInitDecompress());
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colourspace = 0;
  if (!decoder || tjDecompressHeader3(decoder.get(), jpeg.data(), jpeg.size(), &width, &height,
                                      &subsampling, &colourspace) != 0) {
    return false;
  }
  if (width <= 0 || height <= 0 || width > kMostSide || height > kMostSide) {
    return false;
  }
  std::vector<unsigned char> rgb(static_cast<std::size_t>(width) * height * 3);
  if (tjDecompress2(decoder.get(), jpeg.data(), jpeg.size(), rgb.data(), width, 0, height, TJPF_RGB,
                    TJFLAG_ACCURATEDCT) != 0) {
    return false;
  }
  // Encoded in memory first, so a failure writes nothing.
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  image.width = static_cast<png_uint_32>(width);
  image.height = static_cast<png_uint_32>(height);
  image.format = PNG_FORMAT_RGB;
  // The desktop reads this file once and stores its own copy: speed over size.
  image.flags = PNG_IMAGE_FLAG_FAST;
  png_alloc_size_t size = 0;
  if (!png_image_write_to_memory(&image, nullptr, &size, 0, rgb.data(), 0, nullptr)) {
    return false;
  }
  std::vector<unsigned char> png(size);
  if (!png_image_write_to_memory(&image, png.data(), &size, 0, rgb.data(), 0, nullptr)) {
    return false;
  }
  for (std::size_t written = 0; written < size;) {
    const ssize_t put = write(STDOUT_FILENO, png.data() + written, size - written);
    if (put <= 0) {
      return false;
    }
    written += static_cast<std::size_t>(put);
  }
  return true;
}

}  // namespace

int main() {
  return convert() ? EXIT_SUCCESS : EXIT_FAILURE;
}
