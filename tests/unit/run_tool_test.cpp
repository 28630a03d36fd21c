#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <span>
#include <stdexcept>
#include <string>

#include "process/result_writer.hpp"
#include "process/run.hpp"
#include "request/tool_error.hpp"

namespace korvel {
namespace {

using namespace std::chrono_literals;

// The whole of standard error, nothing before or after it.
constexpr const char* kFailureOnly =
    "^Video format cannot be decoded by this operating system\\.\n$";
constexpr const char* kNothing = "^$";

// "L2EubXA0" is "/a.mp4".
const Arguments kInfoArguments = {"korvel", "info", "L2EubXA0"};

class RunTool : public testing::Test {
 protected:
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(RunTool, BlockedStageIsEndedByTheWatchdogWithStatusTwo) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EXIT(runTool(
                  kInfoArguments,
                  [](const Arguments&, const SourcePath&) {
                    for (;;) {
                      pause();
                    }
                  },
                  200ms),
              testing::ExitedWithCode(2), kNothing);
  const auto elapsed = std::chrono::steady_clock::now() - start;
  EXPECT_GE(elapsed, 200ms);
  EXPECT_LT(elapsed, 3s);
}

TEST_F(RunTool, QuickStageDoesNotWaitForTheWatchdog) {
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EXIT(runTool(
                  kInfoArguments, [](const Arguments&, const SourcePath&) {}, 20s),
              testing::ExitedWithCode(0), kNothing);
  EXPECT_LT(std::chrono::steady_clock::now() - start, 5s);
}

TEST_F(RunTool, ToolErrorInStageIsTheFixedFailure) {
  EXPECT_EXIT(
      runTool(
          kInfoArguments,
          [](const Arguments&, const SourcePath&) { throw ToolError(ToolError::kEncodingFailed); },
          10s),
      testing::ExitedWithCode(1), kFailureOnly);
}

TEST_F(RunTool, AnyOtherExceptionInStageIsTheSameFailure) {
  EXPECT_EXIT(runTool(
                  kInfoArguments,
                  [](const Arguments&, const SourcePath&) {
                    throw std::runtime_error("details that must not leak");
                  },
                  10s),
              testing::ExitedWithCode(1), kFailureOnly);
  EXPECT_EXIT(runTool(
                  kInfoArguments, [](const Arguments&, const SourcePath&) { throw 42; }, 10s),
              testing::ExitedWithCode(1), kFailureOnly);
}

TEST_F(RunTool, ResultToClosedOutputIsTheFixedFailureNotADeathBySignal) {
  const auto writingStage = [](const Arguments&, const SourcePath&) {
    const std::string json = R"({"duration_ms":1})";
    writeResult(std::as_bytes(std::span(json)));
  };
  EXPECT_EXIT(
      {
        std::signal(SIGPIPE, SIG_DFL);
        int ends[2];
        if (pipe(ends) != 0) {
          _exit(99);
        }
        close(ends[0]);
        dup2(ends[1], STDOUT_FILENO);
        runTool(kInfoArguments, writingStage, 10s);
      },
      testing::ExitedWithCode(1), kFailureOnly);
}

}  // namespace
}  // namespace korvel
