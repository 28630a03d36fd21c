#include "process/run.hpp"

#include <csignal>

#include "process/crash_guard.hpp"
#include "process/exit_guard.hpp"
#include "process/failure_sink.hpp"
#include "process/memory_limit.hpp"
#include "process/watchdog.hpp"

namespace korvel {
void runTool(const CommandLine& commandLine, const MediaStage& mediaStage,
             std::chrono::nanoseconds watchdogDelay) {
  // A closed output pipe must surface as a failed write, not as a death by signal.
  std::signal(SIGPIPE, SIG_IGN);
  installCrashGuard();
  limitAddressSpace();
  try {
    Watchdog::start(watchdogDelay);
    mediaStage(commandLine, commandLine.path());
  } catch (...) {
    FailureSink::report();
  }
  endProcess(0);
}

}  // namespace korvel
