#include "media/media_command.hpp"

#include "cli/tool_error.hpp"
#include "media/duration_gate.hpp"
#include "media/frame_command.hpp"
#include "media/info_command.hpp"
#include "media/media_asset.hpp"

namespace korvel {

void runMediaCommand(const Arguments& arguments, const SourceLocation& location) {
  MediaAsset media = MediaAsset::open(location);
  const double duration = media.loadDuration();
  if (!passesDurationGate(duration)) {
    throw ToolError(ToolError::kUnusableDuration);
  }
  const std::string_view command = arguments[1];
  if (command == "info") {
    runInfoCommand(duration);
  } else if (command == "frame") {
    runFrameCommand(arguments, media, duration);
  } else {
    throw ToolError(ToolError::kBadRequest);
  }
}

}  // namespace korvel
