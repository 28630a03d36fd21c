// The whole media path on arbitrary bytes, as korvel meets them: a file opened by its path,
// its duration, then one picture and its JPEG. Failing is the normal outcome; only a crash,
// a sanitizer report, a leak, a hang or a broken invariant is a finding.

#include <sys/mman.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "app/media_command.hpp"
#include "ffmpeg/media_file.hpp"
#include "request/strict_double.hpp"
#include "request/tool_error.hpp"

namespace {

constexpr std::array<std::string_view, 3> kPositions = {"0", "0.5", "0.99"};
constexpr std::array<std::string_view, 2> kSides = {"64", "256"};

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

// What a caller relies on: a JPEG of a picture inside the square.
void checkJpeg(std::span<const std::byte> jpeg, double side) {
  const std::unique_ptr<void, decltype(&tjDestroy)> decoder(tjInitDecompress(), tjDestroy);
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colourspace = 0;
  const auto* bytes = reinterpret_cast<const unsigned char*>(jpeg.data());
  const bool fits = decoder &&
                    tjDecompressHeader3(decoder.get(), bytes, jpeg.size(), &width, &height,
                                        &subsampling, &colourspace) == 0 &&
                    width >= 1 && height >= 1 && width <= side && height <= side;
  if (!fits) {
    std::abort();
  }
}

// The last byte picks the request, so each input replays the same one. The request takes
// korvel's own path from the opened file on, its answer caught by the sink.
void exercise(const std::string& path, std::uint8_t selector) {
  const std::string_view position = kPositions[selector % kPositions.size()];
  const std::string_view side = kSides[selector / kPositions.size() % kSides.size()];
  const korvel::CommandLine commandLine({"korvel", "frame", "", position, side});
  const std::unique_ptr<korvel::MediaSource> media = korvel::openMediaFile(path);
  try {
    korvel::runMediaCommand(commandLine, *media, [side](std::span<const std::byte> jpeg) {
      checkJpeg(jpeg, korvel::parseStrictDouble(side).value());
    });
  } catch (const korvel::ToolError& error) {
    if (error.code() == korvel::ToolError::kEncodingFailed) {
      std::abort();  // a well-formed picture always encodes
    }
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
