// Playlists and other indirections fail without korvel touching what they name.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kCanary = "indirection_canary.ts";

struct Trace {
  ProcessResult result;
  std::vector<std::string> lines;
};

Trace runInfoTraced(const fs::path& strace, const fs::path& file) {
  const TemporaryDirectory directory;
  const fs::path log = directory.path() / "strace.log";
  Trace trace;
  trace.result = runKorvelUnder({strace.string(), "-f", "-qq", "-s", "4096", "-e",
                                 "trace=open,openat,connect,bind", "-o", log.string()},
                                {"info", encodePath(file)});
  std::ifstream input(log);
  for (std::string line; std::getline(input, line);) {
    trace.lines.push_back(line);
  }
  return trace;
}

std::string joined(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) {
    text += "\n  " + line;
  }
  return text;
}

// The file korvel was given is the only one under the fixtures folder it may open.
std::vector<std::string> foreignOpens(const Trace& trace, const fs::path& given) {
  const std::string fixtures = fixturePath("").string();
  std::vector<std::string> foreign;
  for (const std::string& line : trace.lines) {
    const bool opens =
        line.find("open(") != std::string::npos || line.find("openat(") != std::string::npos;
    const bool network =
        line.find("connect(") != std::string::npos || line.find("bind(") != std::string::npos;
    const bool inFixtures = line.find(fixtures) != std::string::npos;
    const bool isGiven = line.find('"' + given.string() + '"') != std::string::npos;
    if (network || line.find(kCanary) != std::string::npos || (opens && inFixtures && !isGiven)) {
      foreign.push_back(line);
    }
  }
  return foreign;
}

TEST(IndirectionTrace, TraceSeesTheCanaryWhenGivenIt) {
  const auto strace = usableStrace();
  if (!strace) {
    GTEST_SKIP() << "strace is absent or cannot trace here";
  }
  const fs::path canary = fixturePath(kCanary);
  const Trace trace = runInfoTraced(*strace, canary);
  expectJson(trace.result, 1000);
  EXPECT_NE(joined(trace.lines).find('"' + canary.string() + '"'), std::string::npos)
      << "the trace does not show the opened file:" << joined(trace.lines);
}

class Indirection : public ::testing::TestWithParam<std::string_view> {};

TEST_P(Indirection, FailsWithoutFollowingIt) {
  const fs::path file = fixturePath(GetParam());
  expectFailure(runKorvel({"info", encodePath(file)}));

  const auto strace = usableStrace();
  if (!strace) {
    GTEST_SKIP() << "strace is absent or cannot trace here";
  }
  const Trace trace = runInfoTraced(*strace, file);
  expectFailure(trace.result);
  EXPECT_TRUE(foreignOpens(trace, file).empty())
      << "opened or connected beyond the given file:" << joined(foreignOpens(trace, file));
}

INSTANTIATE_TEST_SUITE_P(Indirection, Indirection,
                         ::testing::Values("playlist.m3u8", "concat.ffconcat", "session.sdp"),
                         [](const auto& info) { return parameterName(info.param); });

}  // namespace
}  // namespace korvel::e2e
