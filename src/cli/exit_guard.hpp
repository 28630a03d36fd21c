#pragma once

namespace korvel {

// Ends the process with `status` unless another exit has already begun, in which case the
// caller waits for that one to take effect and never returns. Async-signal-safe.
[[noreturn]] void endProcess(int status) noexcept;

}  // namespace korvel
