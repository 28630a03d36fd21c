// The whole media path on arbitrary bytes, as korvel meets them: a file opened by its path,
// its duration, then one picture and its JPEG. Failing is the normal outcome; only a crash,
// a sanitizer report, a leak, a hang or a broken invariant is a finding.

#include <sys/mman.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "media/duration_gate.hpp"
#include "media/frame_command.hpp"
#include "media/media_asset.hpp"

namespace {

constexpr std::array kPositions = {0.0, 0.5, 0.99};
constexpr std::array kSides = {64.0, 256.0};
constexpr double kJpegQuality = 0.85;

// One memory file for the whole run, reopened through /proc like any path korvel is given.
int memoryFile() {
  static const int fd = memfd_create("korvel-fuzz-media", MFD_CLOEXEC);
  if (fd < 0) {
    std::abort();
  }
  return fd;
}

void holdInput(const std::uint8_t* data, std::size_t size) {
  const int fd = memoryFile();
  if (ftruncate(fd, 0) != 0) {
    std::abort();
  }
  std::size_t written = 0;
  while (written < size) {
    const ssize_t count = pwrite(fd, data + written, size - written, static_cast<off_t>(written));
    if (count <= 0) {
      std::abort();
    }
    written += static_cast<std::size_t>(count);
  }
}

// What a caller relies on: a picture inside the square, with exactly its pixels.
void checkImage(const korvel::FrameImage& image, double side) {
  const bool fits = image.width >= 1 && image.height >= 1 && image.width <= side &&
                    image.height <= side &&
                    image.rgb.size() == static_cast<std::size_t>(image.width) * image.height * 3;
  if (!fits) {
    std::abort();
  }
}

// The last byte picks the request, so each input replays the same one.
void exercise(const std::string& path, std::uint8_t selector) {
  korvel::MediaAsset media = korvel::MediaAsset::open(korvel::SourceLocation{path});
  const double duration = media.loadDuration();
  if (!korvel::passesDurationGate(duration)) {
    return;
  }
  const double position = kPositions[selector % kPositions.size()];
  const double side = kSides[selector / kPositions.size() % kSides.size()];
  const korvel::FrameImage image =
      media.imageAt(korvel::frameRequestTime(duration, position), side, true);
  checkImage(image, side);
  if (!korvel::encodeJpeg(image, kJpegQuality)) {
    std::abort();  // a well-formed picture always encodes
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  holdInput(data, size);
  const std::string path = "/proc/self/fd/" + std::to_string(memoryFile());
  try {
    exercise(path, size > 0 ? data[size - 1] : 0);
  } catch (...) {
  }
  return 0;
}
