#include "ffmpeg/decode/decoder_threads.hpp"

#include <sched.h>

#include <algorithm>

#include "ffmpeg/input/decoder_limits.hpp"

namespace korvel {
namespace {

// Past four threads a thumbnail's few frames decode no sooner.
constexpr int kMostThreads = 4;

// The pixels all frame threads' pictures may take together: 8K HEVC on two threads peaks at
// 280 MB, well under the memory cap, on four it would come close.
constexpr std::int64_t kPixelsInFlight = 80'000'000;

int usableProcessors() {
  cpu_set_t set;
  CPU_ZERO(&set);
  if (sched_getaffinity(0, sizeof set, &set) != 0) {
    return 1;
  }
  return std::max(1, CPU_COUNT(&set));
}

}  // namespace

int decoderThreads(std::int64_t pixels) {
  // A stream that does not say its size may be of the largest.
  const std::int64_t perThread = pixels > 0 ? pixels : kLargestPicturePixels;
  const auto fitting =
      static_cast<int>(std::clamp<std::int64_t>(kPixelsInFlight / perThread, 1, kMostThreads));
  return std::min(usableProcessors(), fitting);
}

}  // namespace korvel
