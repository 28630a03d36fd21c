#include "process/memory_limit.hpp"

#include <sys/resource.h>

namespace korvel {

void limitAddressSpace() {
#ifndef KORVEL_SANITIZED
  rlimit limit{};
  if (getrlimit(RLIMIT_AS, &limit) != 0) {
    return;
  }
  // Only ever lowered: a caller's tighter limit stays.
  if (limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > kAddressSpaceLimitBytes) {
    limit.rlim_cur = kAddressSpaceLimitBytes;
    setrlimit(RLIMIT_AS, &limit);
  }
#endif
}

}  // namespace korvel
