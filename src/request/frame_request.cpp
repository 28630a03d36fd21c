#include "request/frame_request.hpp"

#include <optional>

#include "request/strict_double.hpp"
#include "request/tool_error.hpp"

namespace korvel {
namespace {

double parseOrRefuse(std::string_view text) {
  const std::optional<double> value = parseStrictDouble(text);
  if (!value) {
    throw ToolError(ToolError::kBadRequest);
  }
  return *value;
}

}  // namespace

FrameRequest parseFrameRequest(std::string_view positionText, std::string_view maxSideText) {
  const double position = parseOrRefuse(positionText);
  const double maxSide = parseOrRefuse(maxSideText);
  const bool inRange = position >= 0.0 && position < 1.0 && maxSide >= 64.0 && maxSide <= 1024.0;
  if (!inRange) {
    throw ToolError(ToolError::kBadRequest);
  }
  return FrameRequest{position, maxSide};
}

}  // namespace korvel
