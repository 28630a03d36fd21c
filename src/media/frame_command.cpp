#include "media/frame_command.hpp"

#include <cmath>
#include <cstdint>
#include <limits>
#include <span>

#include "cli/result_writer.hpp"
#include "cli/strict_double.hpp"
#include "cli/tool_error.hpp"

namespace korvel {
namespace {

constexpr std::size_t kFrameArgumentCount = 5;
constexpr std::int32_t kRequestTimescale = 600;
constexpr double kJpegQuality = 0.85;
constexpr std::size_t kLargestOutputBytes = 1 << 20;

double parseOrRefuse(std::string_view text) {
  const std::optional<double> value = parseStrictDouble(text);
  if (!value) {
    throw ToolError(ToolError::kBadRequest);
  }
  return *value;
}

}  // namespace

FrameRequest parseFrameArguments(const Arguments& arguments) {
  if (arguments.size() != kFrameArgumentCount) {
    throw ToolError(ToolError::kBadRequest);
  }
  const double position = parseOrRefuse(arguments[3]);
  const double maxSide = parseOrRefuse(arguments[4]);
  const bool inRange = position >= 0.0 && position < 1.0 && maxSide >= 64.0 && maxSide <= 1024.0;
  if (!inRange) {
    throw ToolError(ToolError::kBadRequest);
  }
  return FrameRequest{position, maxSide};
}

MediaTime frameRequestTime(double duration, double position) {
  const double ticks = std::round(duration * position * kRequestTimescale);
  // Only an absurd stated duration gets here; such a time lies past every frame anyway.
  constexpr double kLargestTicks = 9.2e18;
  const auto value = ticks < kLargestTicks ? static_cast<std::int64_t>(ticks)
                                           : std::numeric_limits<std::int64_t>::max();
  return MediaTime{value, kRequestTimescale};
}

void runFrameCommand(const Arguments& arguments, MediaAsset& media, double duration) {
  const FrameRequest request = parseFrameArguments(arguments);
  const FrameImage image =
      media.imageAt(frameRequestTime(duration, request.position), request.maxSide, true);
  const std::optional<std::vector<std::uint8_t>> jpeg = encodeJpeg(image, kJpegQuality);
  if (!jpeg || jpeg->empty() || jpeg->size() > kLargestOutputBytes) {
    throw ToolError(ToolError::kEncodingFailed);
  }
  writeResult(std::as_bytes(std::span(*jpeg)));
}

}  // namespace korvel
