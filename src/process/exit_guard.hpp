#pragma once

namespace korvel {

// Claims the process's one exit. When another exit has already been claimed, the caller
// waits for it to take effect and never returns. Async-signal-safe.
void claimExit() noexcept;

// Ends the process at once; only for the holder of the claim. Async-signal-safe.
[[noreturn]] void exitImmediately(int status) noexcept;

// Claims the exit and ends the process with `status`.
[[noreturn]] void endProcess(int status) noexcept;

}  // namespace korvel
