#include "ffmpeg/input/library_settings.hpp"

#include <cstddef>

extern "C" {
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

namespace korvel {
namespace {

// No single buffer of the media libraries needs more, an 8K picture's plane included; a
// larger request comes from a lying header.
constexpr std::size_t kLargestAllocationBytes = std::size_t{256} << 20;

}  // namespace

// Standard error carries nothing but the failure line.
void configureLibraries() {
  av_log_set_level(AV_LOG_QUIET);
  av_max_alloc(kLargestAllocationBytes);
}

}  // namespace korvel
