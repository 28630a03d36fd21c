#include "app/info_command.hpp"

#include <span>

#include "request/tool_error.hpp"

namespace korvel {

std::int64_t durationMilliseconds(double seconds) {
  constexpr double kTwoToThe63 = 9223372036854775808.0;
  const double milliseconds = seconds * 1000.0;
  if (!(milliseconds >= 0.0 && milliseconds < kTwoToThe63)) {
    throw ToolError(ToolError::kUnusableDuration);
  }
  return static_cast<std::int64_t>(milliseconds);
}

std::string formatInfoJson(std::int64_t durationMs) {
  return "{\"duration_ms\":" + std::to_string(durationMs) + "}";
}

void runInfoCommand(double seconds, const ResultSink& sink) {
  const std::string json = formatInfoJson(durationMilliseconds(seconds));
  sink(std::as_bytes(std::span(json)));
}

}  // namespace korvel
