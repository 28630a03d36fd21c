#include "process/memory_limit.hpp"

#include <malloc.h>
#include <sys/resource.h>

namespace korvel {

void limitMemory() {
  // One arena: each thread's own would map 64 MiB of address space, and glibc trims one by
  // first reading a kernel file (/proc/sys/vm/overcommit_memory), an open that the file's
  // bytes, through the decoders' threads, would decide.
  mallopt(M_ARENA_MAX, 1);
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
