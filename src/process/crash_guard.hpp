#pragma once

namespace korvel {

// Turns a fault anywhere in the process (a crash inside a media library included) into the
// ordinary failure: the fixed line and status 1, never a death by signal. Off in sanitizer
// builds, which report through these signals themselves.
void installCrashGuard();

}  // namespace korvel
