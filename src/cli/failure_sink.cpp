#include "cli/failure_sink.hpp"

#include <unistd.h>

#include "cli/exit_guard.hpp"
#include "cli/fd_writer.hpp"

namespace korvel {

void FailureSink::report() noexcept {
  // Claimed before writing, so the line never goes out with another exit's status.
  claimExit();
  // Nothing can be done if standard error is gone; the status still tells the caller.
  (void)writeAll(STDERR_FILENO, kMessage.data(), kMessage.size());
  exitClaimed(kStatus);
}

}  // namespace korvel
