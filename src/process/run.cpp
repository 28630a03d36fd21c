#include "process/run.hpp"

#include <csignal>

#include "process/crash_guard.hpp"
#include "process/exit_guard.hpp"
#include "process/failure_sink.hpp"
#include "process/memory_limit.hpp"
#include "process/watchdog.hpp"
#include "process/work_bound.hpp"

namespace korvel {

void runTool(const CommandLine& commandLine, const MediaStage& mediaStage,
             std::chrono::nanoseconds watchdogDelay, std::chrono::nanoseconds mostCpu) {
  // A closed output pipe must surface as a failed write, not as a death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  installCrashGuard();
  limitMemory();
  try {
    Watchdog::start(watchdogDelay);
    WorkBound::start(mostCpu);
    mediaStage(commandLine, commandLine.path());
  } catch (...) {
    FailureSink::report();
  }
  endProcess(0);
}

}  // namespace korvel
