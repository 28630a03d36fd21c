#include "cli/run.hpp"

#include <csignal>

#include "cli/crash_guard.hpp"
#include "cli/exit_guard.hpp"
#include "cli/failure_sink.hpp"
#include "cli/memory_limit.hpp"
#include "cli/tool_error.hpp"
#include "cli/watchdog.hpp"

namespace korvel {
namespace {

constexpr std::size_t kMinimumArguments = 3;
constexpr std::size_t kPathArgument = 2;

}  // namespace

void runTool(const Arguments& arguments, const MediaStage& mediaStage,
             std::chrono::nanoseconds watchdogDelay) {
  // A closed output pipe must surface as a failed write, not as a death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  installCrashGuard();
  limitAddressSpace();
  try {
    Watchdog::start(watchdogDelay);
    if (arguments.size() < kMinimumArguments) {
      throw ToolError(ToolError::kBadInvocation);
    }
    const SourceLocation location = decodeSourcePath(arguments[kPathArgument]);
    mediaStage(arguments, location);
  } catch (...) {
    FailureSink::report();
  }
  endProcess(0);
}

}  // namespace korvel
