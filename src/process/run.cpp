#include "process/run.hpp"

#include <csignal>

#include "process/crash_guard.hpp"
#include "process/exit_guard.hpp"
#include "process/failure_sink.hpp"
#include "process/memory_limit.hpp"
#include "process/watchdog.hpp"
#include "process/work_bound.hpp"
#include "request/tool_error.hpp"

namespace korvel {
namespace {

constexpr std::size_t kMinimumArguments = 3;
constexpr std::size_t kPathArgument = 2;

}  // namespace

void runTool(const Arguments& arguments, const MediaStage& mediaStage,
             std::chrono::nanoseconds watchdogDelay, std::chrono::nanoseconds mostCpu) {
  // A closed output pipe must surface as a failed write, not as a death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  installCrashGuard();
  limitMemory();
  try {
    Watchdog::start(watchdogDelay);
    WorkBound::start(mostCpu);
    if (arguments.size() < kMinimumArguments) {
      throw ToolError(ToolError::kBadInvocation);
    }
    const SourcePath source = decodeSourcePath(arguments[kPathArgument]);
    mediaStage(arguments, source);
  } catch (...) {
    FailureSink::report();
  }
  endProcess(0);
}

}  // namespace korvel
