#pragma once

#include <chrono>
#include <functional>

#include "request/command_line.hpp"

namespace korvel {

// Does the requested media work on the file at the path and writes its result, or throws.
using MediaStage = std::function<void(const CommandLine&, const SourcePath&)>;

// One whole run: arms the watchdog and the work bound, decodes the path, hands over to the
// media stage and ends the process with 0, or 1 through the failure sink (the work bound
// included), or 2 through the watchdog.
[[noreturn]] void runTool(const CommandLine& commandLine, const MediaStage& mediaStage,
                          std::chrono::nanoseconds watchdogDelay, std::chrono::nanoseconds mostCpu);

}  // namespace korvel
