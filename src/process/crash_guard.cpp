#include "process/crash_guard.hpp"

#include <signal.h>
#include <sys/mman.h>

#include <array>

#include "process/failure_sink.hpp"

namespace korvel {
namespace {

[[maybe_unused]] constexpr std::array kFaultSignals = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

// Enough for the handler, which only writes and exits; a stack overflow still needs room.
[[maybe_unused]] constexpr std::size_t kAlternateStackBytes = std::size_t{64} * 1024;

[[maybe_unused]] void onFault(int) {
  FailureSink::report();
}

// The handler must run even when the fault is a stack overflow, so it gets a stack of its own.
// The mapping lives as long as the process.
[[maybe_unused]] void installAlternateStack() {
  void* memory = mmap(nullptr, kAlternateStackBytes, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (memory == MAP_FAILED) {
    return;
  }
  stack_t stack{};
  stack.ss_sp = memory;
  stack.ss_size = kAlternateStackBytes;
  sigaltstack(&stack, nullptr);
}

}  // namespace

void installCrashGuard() {
#ifndef KORVEL_SANITIZED
  installAlternateStack();
  struct sigaction action {};
  action.sa_handler = onFault;
  action.sa_flags = SA_ONSTACK;
  sigfillset(&action.sa_mask);
  for (const int signal : kFaultSignals) {
    sigaction(signal, &action, nullptr);
  }
#endif
}

}  // namespace korvel
