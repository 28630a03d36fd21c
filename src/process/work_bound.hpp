#pragma once

#include <chrono>

namespace korvel {

// Ends the run as a failure (the fixed line, status 1) once the process has used `most` of
// processor time, counted over all its threads: a file that keeps the media libraries' own
// loops busy (an index rebuilt for every entry, a picture of ten thousand scans) fails within
// seconds, long before the watchdog. It runs on a thread of its own that sleeps on the
// process's CPU clock, so it costs nothing while the run works and never delays an exit.
class WorkBound {
 public:
  // About three times what the heaviest real file takes (a frame deep into 8K HEVC).
  static constexpr std::chrono::nanoseconds kMostCpu = std::chrono::seconds(4);

  static void start(std::chrono::nanoseconds most = kMostCpu);
};

}  // namespace korvel
