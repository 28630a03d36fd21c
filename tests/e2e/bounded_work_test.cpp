// Crafted files (made by tests/fixtures/hostile/make_hostile.py): each ends within 5 s of CPU
// and 512 MiB, with the true answer where the media holds one, else the failure line.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "jpeg_image.hpp"
#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

namespace fs = std::filesystem;

#ifdef KORVEL_SANITIZED
constexpr std::chrono::milliseconds kMostCpu{20'000};  // the sanitizers slow everything down
#else
constexpr std::chrono::milliseconds kMostCpu{5'000};
#endif
constexpr long kMostMemoryKb = 512 * 1024;

// Either the true length, within a frame, or (when `orFailure`) the failure line.
struct Expected {
  std::optional<std::int64_t> durationMs;
  std::int64_t toleranceMs = 0;
  bool orFailure = false;
};

struct HostileCase {
  std::string_view file;
  std::string_view command;  // "info", or a frame position
  Expected expected;
};

void PrintTo(const HostileCase& hostile, std::ostream* out) {
  *out << hostile.file << " " << hostile.command;
}

// The crafted files, made once for the whole run into a folder removed at its end.
fs::path crafted(std::string_view name) {
  static const auto folder = [] {
    auto made = std::make_unique<TemporaryDirectory>();
    const auto script = fixturePath("hostile/make_hostile.py");
    const ProcessResult result = runProcess({"/usr/bin/python3", script.string(), made->path()});
    EXPECT_EQ(result.exitStatus, 0) << describe(result);
    return made;
  }();
  return folder->path() / name;
}

class BoundedWork : public ::testing::TestWithParam<HostileCase> {};

void expectBounded(const ProcessResult& result) {
  EXPECT_FALSE(result.signal.has_value()) << describe(result);
  EXPECT_NE(result.exitStatus, 2) << "ran into the watchdog";
  EXPECT_LE(result.cpuTime, kMostCpu) << describe(result);
  EXPECT_LE(result.maxRssKb, kMostMemoryKb) << describe(result);
}

ProcessResult runCommand(const fs::path& file, std::string_view command) {
  if (command == "info") {
    return runKorvel({"info", encodePath(file)});
  }
  return runKorvel({"frame", encodePath(file), std::string(command), "256"});
}

TEST_P(BoundedWork, EndsQuicklyWithTheTruthOrTheFailure) {
  const HostileCase& hostile = GetParam();
  const ProcessResult result = runCommand(crafted(hostile.file), hostile.command);
  expectBounded(result);
  const Expected& expected = hostile.expected;
  if (expected.orFailure && result.exitStatus == 1) {
    expectFailure(result);
    return;
  }
  if (!expected.durationMs) {
    if (expected.orFailure) {
      EXPECT_EQ(result.exitStatus, 0) << describe(result);
      EXPECT_TRUE(result.err.empty()) << describe(result);
    } else {
      expectFailure(result);
    }
    return;
  }
  const auto durationMs = expectInfoDuration(result);
  ASSERT_TRUE(durationMs.has_value());
  EXPECT_LE(std::llabs(*durationMs - *expected.durationMs), expected.toleranceMs)
      << "info said " << *durationMs << " ms";
}

constexpr Expected kFailure{};
constexpr Expected kAnswerOrFailure{std::nullopt, 0, true};
constexpr Expected lasts(std::int64_t ms, std::int64_t tolerance) {
  return {ms, tolerance, false};
}

INSTANTIATE_TEST_SUITE_P(Hardening, BoundedWork,
                         ::testing::Values(
                             // Work that grew with crafted structure.
                             HostileCase{"void_clusters.webm", "info", lasts(2400, 40)},
                             HostileCase{"undeclared_tracks.webm", "info", lasts(2400, 40)},
                             HostileCase{"undeclared_tracks.webm", "0.99", kAnswerOrFailure},
                             // Memory from tiny files.
                             HostileCase{"ten_million_samples.mp4", "info", kFailure},
                             HostileCase{"ts_720_streams.ts", "info", {1000, 100, true}},
                             HostileCase{"ts_1000_streams.ts", "0.5", kAnswerOrFailure},
                             HostileCase{"ts_14000x14000.ts", "info", {2000, 100, true}},
                             HostileCase{"ts_14000x14000.ts", "0.5", kAnswerOrFailure},
                             // Durations no file can hold, and timestamps from no real block.
                             HostileCase{"matroska_duration_1e13ms.mkv", "info", lasts(1500, 42)},
                             HostileCase{"flv_duration_1e12s.flv", "info", lasts(1000, 100)},
                             HostileCase{"avi_lengths_unknown.avi", "info", lasts(1000, 100)},
                             HostileCase{"mp3_xing_2g_frames.mp3", "info", lasts(4048, 26)},
                             HostileCase{"ogg_last_granule_2e62.ogg", "info", lasts(2000, 40)},
                             HostileCase{"fake_cluster_in_void_1h.webm", "info", lasts(2400, 40)},
                             HostileCase{"fake_cluster_in_void_max.webm", "info", lasts(2400, 40)},
                             HostileCase{"cluster_timestamp_max.webm", "info", kAnswerOrFailure},
                             HostileCase{"ts_splice_10h.ts", "info", lasts(2000, 100)}),
                         [](const auto& info) {
                           return parameterName(info.param.file) + "_" +
                                  parameterName(info.param.command);
                         });

// A DVB text names its character set by its first byte; which conversion modules glibc loads
// must not depend on it.
TEST(CharsetModules, NoByteOfTheFileChoosesCodeToLoad) {
  const auto strace = usableStrace();
  if (!strace) {
    GTEST_SKIP() << "strace cannot trace here";
  }
  const auto modulesLoaded = [&](std::string_view file) {
    const TemporaryDirectory directory;
    const fs::path log = directory.path() / "strace.log";
    const ProcessResult result =
        runKorvelUnder({strace->string(), "-f", "-qq", "-e", "trace=openat", "-o", log.string()},
                       {"info", encodePath(crafted(file))});
    EXPECT_EQ(result.exitStatus, 0) << describe(result);
    std::set<std::string> modules;
    std::ifstream input(log);
    for (std::string line; std::getline(input, line);) {
      if (line.find("/gconv/") != std::string::npos && line.find("ENOENT") == std::string::npos) {
        const auto open = line.find('"');
        modules.insert(line.substr(open, line.find('"', open + 1) - open));
      }
    }
    return modules;
  };
  EXPECT_EQ(modulesLoaded("ts_name_gb2312.ts"), modulesLoaded("ts_name_ucs2.ts"));
}

// 2500 tiny frames after one sync frame: the decoding stops after 2000 frames, whatever their
// size, and the latest of them is the answer.
TEST(BoundedDecoding, FrameCountBoundsTinyPictures) {
  const ProcessResult result = runCommand(crafted("tiny_frames_long_gop.mp4"), "0.99");
  expectBounded(result);
  const auto image = JpegImage::decode(result.out);
  ASSERT_TRUE(image.has_value()) << describe(result);
  EXPECT_EQ(readGridIndex(*image), 2000);
}

// 1080p pictures cropped to a 64x48 corner: the decoded area counts (up to 300 million
// pixels, 143 of these frames), not the few pixels shown.
TEST(BoundedDecoding, DecodedAreaBoundsCroppedPictures) {
  const ProcessResult result = runCommand(crafted("cropped_to_corner.mp4"), "0.99");
  expectBounded(result);
  const auto image = JpegImage::decode(result.out);
  ASSERT_TRUE(image.has_value()) << describe(result);
  EXPECT_EQ(readGridIndex(*image), 143);
}

// The largest picture korvel decodes, at a time that needs reference frames: they fit in the
// memory cap.
TEST(LargestPicture, Av1Of8192SquareDecodes) {
  const ProcessResult result = runCommand(fixturePath("av1_8192x8192.mp4"), "0.9");
  EXPECT_EQ(result.exitStatus, 0) << describe(result);
  EXPECT_FALSE(result.out.empty());
}

// A real header, then 100 GB of zeros that take no disk: reading stops long before the end.
TEST(BoundedReading, SparseFileFails) {
  const TemporaryDirectory directory;
  const fs::path sparse = directory.path() / "sparse.ts";
  {
    std::ifstream in(fixturePath("indexed_h264.ts"), std::ios::binary);
    std::string head(188 * 40, '\0');
    in.read(head.data(), static_cast<std::streamsize>(head.size()));
    std::ofstream(sparse, std::ios::binary)
        .write(head.data(), static_cast<std::streamsize>(head.size()));
  }
  fs::resize_file(sparse, std::uintmax_t{100} << 30);
  for (const std::string_view command : {"info", "0.5"}) {
    const ProcessResult result = runCommand(sparse, command);
    expectBounded(result);
    expectFailure(result);
  }
}

}  // namespace
}  // namespace korvel::e2e
