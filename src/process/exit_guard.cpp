#include "process/exit_guard.hpp"

#include <unistd.h>

#include <atomic>

namespace korvel {
namespace {

// The one piece of process-wide state: whoever sets it first decides the exit status.
std::atomic<bool> exitTaken{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the guard is used from signal handlers");

}  // namespace

void claimExit() noexcept {
  if (exitTaken.exchange(true)) {
    for (;;) {
      pause();
    }
  }
}

void exitImmediately(int status) noexcept {
  // _exit, not exit: decoder threads may still be running, so no static destructor or
  // atexit handler may run underneath them.
  _exit(status);
}

void endProcess(int status) noexcept {
  claimExit();
  exitImmediately(status);
}

}  // namespace korvel
