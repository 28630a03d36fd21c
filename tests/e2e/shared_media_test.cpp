// `korvel info` over the shared media collection, read in place, against the expected figures
// in shared_media_durations.tsv (made by make_shared_media_durations.sh from two second
// opinions, ffprobe and mediainfo, and the files' own timestamps where those two disagree).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "korvel_expect.hpp"
#include "korvel_process.hpp"
#include "shared_media.hpp"

namespace korvel::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDurationTable = "shared_media_durations.tsv";

struct ReferenceDuration {
  std::string file;
  std::optional<double> seconds;  // none when korvel must fail
};

std::vector<ReferenceDuration> loadDurationTable() {
  std::vector<ReferenceDuration> rows;
  for (const auto& fields : readReferenceTable(kDurationTable)) {
    ReferenceDuration row{fields[0], std::nullopt};
    if (!fields[1].empty()) {
      const double seconds = std::strtod(fields[1].c_str(), nullptr);
      if (seconds > 0.0) {
        row.seconds = seconds;
      }
    }
    rows.push_back(row);
  }
  return rows;
}

void PrintTo(const ReferenceDuration& row, std::ostream* out) {
  *out << row.file << " (" << (row.seconds ? std::to_string(*row.seconds) + " s" : "none") << ")";
}

class SharedMedia : public SharedMediaTest<ReferenceDuration> {};

TEST_P(SharedMedia, InfoMatchesReferenceDuration) {
  ASSERT_TRUE(fs::is_regular_file(file())) << file() << " is listed but missing";
  const ProcessResult result = runKorvel({"info", encodePath(file())});
  if (!GetParam().seconds) {
    expectFailure(result);
    return;
  }
  const auto durationMs = expectInfoDuration(result);
  ASSERT_TRUE(durationMs.has_value());
  const double referenceMs = *GetParam().seconds * 1000.0;
  EXPECT_LE(std::fabs(static_cast<double>(*durationMs) - referenceMs), 1.0)
      << "info said " << *durationMs << " ms, expected " << referenceMs << " ms";
}

TEST(SharedMediaTable, IsPresent) {
  EXPECT_FALSE(loadDurationTable().empty())
      << referenceTable(kDurationTable) << " is missing or empty";
}

INSTANTIATE_TEST_SUITE_P(Shared, SharedMedia, ::testing::ValuesIn(loadDurationTable()),
                         NameByFile());

}  // namespace
}  // namespace korvel::e2e
