#include "app/media_command.hpp"

#include "app/duration_gate.hpp"
#include "app/frame_command.hpp"
#include "app/info_command.hpp"
#include "request/tool_error.hpp"

namespace korvel {

void runMediaCommand(const Arguments& arguments, MediaSource& media, const ResultSink& sink) {
  const double duration = media.loadDuration();
  if (!passesDurationGate(duration)) {
    throw ToolError(ToolError::kUnusableDuration);
  }
  const std::string_view command = arguments[1];
  if (command == "info") {
    runInfoCommand(duration, sink);
  } else if (command == "frame") {
    runFrameCommand(arguments, media, duration, sink);
  } else {
    throw ToolError(ToolError::kBadRequest);
  }
}

}  // namespace korvel
