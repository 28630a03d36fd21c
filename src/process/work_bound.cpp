#include "process/work_bound.hpp"

#include <time.h>

#include <cerrno>
#include <thread>

#include "process/failure_sink.hpp"
#include "process/guard_thread.hpp"

namespace korvel {
namespace {

// Where the kernel cannot put a thread to sleep on the process's CPU clock, it is read this
// often instead.
constexpr std::chrono::milliseconds kPollInterval{10};

bool reached(const timespec& bound) {
  timespec used{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &used);
  return used.tv_sec > bound.tv_sec ||
         (used.tv_sec == bound.tv_sec && used.tv_nsec >= bound.tv_nsec);
}

}  // namespace

void WorkBound::start(std::chrono::nanoseconds most) {
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(most);
  const timespec bound{static_cast<time_t>(seconds.count()),
                       static_cast<long>((most - seconds).count())};
  startGuardThread([bound] {
    while (!reached(bound)) {
      const int status = clock_nanosleep(CLOCK_PROCESS_CPUTIME_ID, TIMER_ABSTIME, &bound, nullptr);
      if (status != 0 && status != EINTR) {
        std::this_thread::sleep_for(kPollInterval);
      }
    }
    FailureSink::report();
  });
}

}  // namespace korvel
