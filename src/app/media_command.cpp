#include "app/media_command.hpp"

#include "app/duration_gate.hpp"
#include "app/frame_command.hpp"
#include "app/info_command.hpp"
#include "request/tool_error.hpp"

namespace korvel {

void runMediaCommand(const CommandLine& commandLine, MediaSource& media, const ResultSink& sink) {
  const double duration = media.loadDuration();
  if (!passesDurationGate(duration)) {
    throw ToolError(ToolError::kUnusableDuration);
  }
  switch (commandLine.command()) {
    case CommandLine::Command::kInfo:
      runInfoCommand(duration, sink);
      break;
    case CommandLine::Command::kFrame:
      runFrameCommand(commandLine.frameRequest(), media, duration, sink);
      break;
  }
}

}  // namespace korvel
