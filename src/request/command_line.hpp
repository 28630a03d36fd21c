#pragma once

#include <string_view>
#include <vector>

#include "request/frame_request.hpp"
#include "request/source_path.hpp"

namespace korvel {

// The command line, read in the order the contract checks it: the path first, before the file
// is opened; the command word and the frame's numbers only once the file's duration has passed
// its gate. Entry 0 is the program's name; every count includes it.
class CommandLine {
 public:
  enum class Command { kInfo, kFrame };

  explicit CommandLine(std::vector<std::string_view> arguments)
      : arguments_(std::move(arguments)) {}

  // Entry 2: at least three entries, strict Base64 of a path without a 0 byte. ToolError
  // kBadInvocation otherwise.
  SourcePath path() const;

  // Entry 1, exactly "info" or "frame". ToolError kBadRequest otherwise.
  Command command() const;

  // Entries 3 and 4 of exactly five. ToolError kBadRequest otherwise.
  FrameRequest frameRequest() const;

 private:
  std::vector<std::string_view> arguments_;
};

}  // namespace korvel
