#include "process/watchdog.hpp"

#include <time.h>

#include <cerrno>

#include "process/exit_guard.hpp"
#include "process/guard_thread.hpp"

namespace korvel {
namespace {

timespec monotonicDeadline(std::chrono::nanoseconds delay) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const auto total =
      std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec) + delay;
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(total);
  return timespec{static_cast<time_t>(seconds.count()),
                  static_cast<long>((total - seconds).count())};
}

}  // namespace

void Watchdog::start(std::chrono::nanoseconds delay) {
  // An absolute deadline, so that interrupted sleeps never stretch the delay.
  const timespec deadline = monotonicDeadline(delay);
  startGuardThread([deadline] {
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
    endProcess(kStatus);
  });
}

}  // namespace korvel
