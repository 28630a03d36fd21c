#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <thread>

#include "process/run.hpp"

namespace korvel {
namespace {

using namespace std::chrono_literals;

constexpr const char* kFailureOnly =
    "^Video format cannot be decoded by this operating system\\.\n$";
const Arguments kInfoArguments = {"korvel", "info", "L2EubXA0"};

class CrashGuard : public testing::TestWithParam<int> {
 protected:
  void SetUp() override {
#ifdef KORVEL_SANITIZED
    GTEST_SKIP() << "sanitizer builds report faults themselves";
#endif
    GTEST_FLAG_SET(death_test_style, "threadsafe");
  }
};

TEST_P(CrashGuard, FaultInTheRunBecomesTheFailureLine) {
  const int signal = GetParam();
  EXPECT_EXIT(
      runTool(
          kInfoArguments, [signal](const Arguments&, const SourcePath&) { raise(signal); }, 10s),
      testing::ExitedWithCode(1), kFailureOnly);
}

TEST_P(CrashGuard, FaultOnAnotherThreadBecomesTheFailureLine) {
  const int signal = GetParam();
  EXPECT_EXIT(runTool(
                  kInfoArguments,
                  [signal](const Arguments&, const SourcePath&) {
                    std::thread([signal] { raise(signal); }).join();
                  },
                  10s),
              testing::ExitedWithCode(1), kFailureOnly);
}

INSTANTIATE_TEST_SUITE_P(Signals, CrashGuard,
                         testing::Values(SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT));

int recurseForever(int depth);
// Called through a volatile pointer so that the compiler neither sees nor removes the loop.
int (*volatile recurse)(int) = recurseForever;

int recurseForever(int depth) {
  volatile char padding[1024] = {};
  return recurse(depth + padding[depth % 1024]) + 1;
}

TEST(CrashGuardOverflow, StackOverflowBecomesTheFailureLine) {
#ifdef KORVEL_SANITIZED
  GTEST_SKIP() << "sanitizer builds report faults themselves";
#endif
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      runTool(
          kInfoArguments, [](const Arguments&, const SourcePath&) { recurseForever(0); }, 10s),
      testing::ExitedWithCode(1), kFailureOnly);
}

}  // namespace
}  // namespace korvel
