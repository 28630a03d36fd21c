#include "process/failure_sink.hpp"

#include <unistd.h>

#include "process/exit_guard.hpp"
#include "process/fd_writer.hpp"

namespace korvel {

void FailureSink::report() noexcept {
  // Claimed before writing, so the line never goes out with another exit's status.
  claimExit();
  // Nothing can be done if standard error is gone; the status still tells the caller.
  (void)writeAll(STDERR_FILENO, kMessage.data(), kMessage.size());
  exitImmediately(kStatus);
}

}  // namespace korvel
