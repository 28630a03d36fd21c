#include "request/frame_request.hpp"

#include <optional>

#include "request/strict_double.hpp"
#include "request/tool_error.hpp"

namespace korvel {
namespace {

constexpr std::size_t kFrameArgumentCount = 5;

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

}  // namespace korvel
