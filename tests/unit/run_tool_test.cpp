#include "process/run.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "process/result_writer.hpp"
#include "request/tool_error.hpp"

namespace korvel {
namespace {

using namespace std::chrono_literals;

// The whole of standard error, nothing before or after it.
constexpr const char* kFailureOnly =
    "^Video format cannot be decoded by this operating system\\.\n$";
constexpr const char* kNothing = "^$";

// "L2EubXA0" is "/a.mp4".
const CommandLine kInfoCommand({"korvel", "info", "L2EubXA0"});

[[noreturn]] void run(const std::function<void()>& stage, std::chrono::nanoseconds watchdog,
                      std::chrono::nanoseconds mostCpu = 20s) {
  // The run, not its caller, keeps a closed output from killing the process.
  std::signal(SIGPIPE, SIG_DFL);
  runTool(
      kInfoCommand, [&](const CommandLine&, const SourcePath&) { stage(); }, watchdog, mostCpu);
}

// Keeps a processor busy until the process ends.
[[noreturn]] void spin() {
  volatile unsigned long turns = 0;
  for (;;) {
    turns = turns + 1;
  }
}

int recurseForever(int depth);
// Called through a volatile pointer so that the compiler neither sees nor removes the loop.
int (*volatile recurse)(int) = recurseForever;
int recurseForever(int depth) {
  volatile char padding[1024] = {};
  return recurse(depth + padding[depth % 1024]) + 1;
}

struct FailingStage {
  std::string name;
  std::function<void()> stage;
};

class RunTool : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(RunTool, EveryFailureInTheStageIsTheFixedLine) {
  std::vector<FailingStage> stages = {
      {"tool error", [] { throw ToolError(ToolError::kEncodingFailed); }},
      {"other exception", [] { throw std::runtime_error("details that must not leak"); }},
      {"non-exception", [] { throw 42; }},
      {"result to a closed output",
       [] {
         int ends[2];
         if (pipe(ends) != 0 || close(ends[0]) != 0 || dup2(ends[1], STDOUT_FILENO) < 0) {
           _exit(99);
         }
         const std::string json = R"({"duration_ms":1})";
         writeResult(std::as_bytes(std::span(json)));
       }},
  };
#ifndef KORVEL_SANITIZED  // sanitizer builds report faults themselves
  for (const int signal : {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT}) {
    stages.push_back({strsignal(signal), [signal] { raise(signal); }});
    stages.push_back({std::string(strsignal(signal)) + " on another thread",
                      [signal] { std::thread([signal] { raise(signal); }).join(); }});
  }
  stages.push_back({"stack overflow", [] { recurseForever(0); }});
#endif
  for (const FailingStage& s : stages) {
    EXPECT_EXIT(run(s.stage, 10s), testing::ExitedWithCode(1), kFailureOnly) << s.name;
  }
}

TEST_F(RunTool, BlockedStageIsEndedByTheWatchdogWithStatusTwo) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EXIT(run(
                  [] {
                    for (;;)
                      pause();
                  },
                  200ms),
              testing::ExitedWithCode(2), kNothing);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 200ms);
  EXPECT_LT(elapsed, 3s);
}

TEST_F(RunTool, BusyStageIsEndedByTheWorkBoundAsAFailure) {
  // Two threads: the bound counts the processor time of all of them.
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EXIT(run(
                  [] {
                    std::thread(spin).detach();
                    spin();
                  },
                  20s, 400ms),
              testing::ExitedWithCode(1), kFailureOnly);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
}

TEST_F(RunTool, QuickStageDoesNotWaitForTheWatchdog) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EXIT(run([] {}, 20s), testing::ExitedWithCode(0), kNothing);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

}  // namespace
}  // namespace korvel
