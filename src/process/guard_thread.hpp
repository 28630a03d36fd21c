#pragma once

#include <functional>

namespace korvel {

// Runs `body` on a detached thread of a small stack: the watchdog and the work bound only
// sleep and end the process, and every megabyte of address space they do not reserve is one
// more for the decoders under the memory cap. Throws std::system_error when no thread starts.
void startGuardThread(std::function<void()> body);

}  // namespace korvel
