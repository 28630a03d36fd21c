#pragma once

#include <chrono>

namespace korvel {

// Ends the process with status 2 once `delay` has passed on the monotonic clock, counted
// from the call. It runs on a thread of its own, so a run blocked anywhere is still ended,
// and it never delays an earlier exit.
class Watchdog {
 public:
  static constexpr std::chrono::nanoseconds kDelay = std::chrono::seconds(30);
  static constexpr int kStatus = 2;

  static void start(std::chrono::nanoseconds delay = kDelay);
};

}  // namespace korvel
