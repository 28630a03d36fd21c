#include "request/command_line.hpp"

#include "request/tool_error.hpp"

namespace korvel {
namespace {

constexpr std::size_t kLeastArguments = 3;
constexpr std::size_t kFrameArguments = 5;

}  // namespace

SourcePath CommandLine::path() const {
  if (arguments_.size() < kLeastArguments) {
    throw ToolError(ToolError::kBadInvocation);
  }
  return decodeSourcePath(arguments_[2]);
}

CommandLine::Command CommandLine::command() const {
  // Whole, case-sensitive words: "Info" and "info " are other words.
  if (arguments_.size() >= kLeastArguments) {
    if (arguments_[1] == "info") {
      return Command::kInfo;
    }
    if (arguments_[1] == "frame") {
      return Command::kFrame;
    }
  }
  throw ToolError(ToolError::kBadRequest);
}

FrameRequest CommandLine::frameRequest() const {
  if (arguments_.size() != kFrameArguments) {
    throw ToolError(ToolError::kBadRequest);
  }
  return parseFrameRequest(arguments_[3], arguments_[4]);
}

}  // namespace korvel
