#include "app/frame_command.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <vector>

#include "picture/jpeg_encoder.hpp"
#include "request/tool_error.hpp"

namespace korvel {
namespace {

constexpr std::int32_t kRequestTimescale = 600;
constexpr double kJpegQuality = 0.85;
constexpr std::size_t kLargestOutputBytes = 1 << 20;

// A JPEG the caller can take: not empty and not over the size cap.
std::vector<std::uint8_t> answerJpeg(const FrameImage& image) {
  std::optional<std::vector<std::uint8_t>> jpeg = encodeJpeg(image, kJpegQuality);
  if (!jpeg || jpeg->empty() || jpeg->size() > kLargestOutputBytes) {
    throw ToolError(ToolError::kEncodingFailed);
  }
  return std::move(*jpeg);
}

}  // namespace

MediaTime frameRequestTime(double duration, double position) {
  const double ticks = std::round(duration * position * kRequestTimescale);
  // Only an absurd stated duration gets here; such a time lies past every frame anyway.
  constexpr double kLargestTicks = 9.2e18;
  const auto value = ticks < kLargestTicks ? static_cast<std::int64_t>(ticks)
                                           : std::numeric_limits<std::int64_t>::max();
  return MediaTime{value, kRequestTimescale};
}

void runFrameCommand(const FrameRequest& request, MediaSource& media, double duration,
                     const ResultSink& sink) {
  const FrameImage image =
      media.imageAt(frameRequestTime(duration, request.position), request.maxSide);
  const std::vector<std::uint8_t> jpeg = answerJpeg(image);
  sink(std::as_bytes(std::span(jpeg)));
}

}  // namespace korvel
