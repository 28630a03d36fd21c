// `korvel info` over the shared media collection, read in place, against ffprobe's figures
// in shared_media_durations.tsv (made by make_shared_media_durations.sh).

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

namespace fs = std::filesystem;

struct ReferenceDuration {
  std::string file;
  std::optional<double> seconds;  // none when ffprobe reported none or zero
};

fs::path durationTable() {
  return (fixturePath("") / ".." / "e2e" / "shared_media_durations.tsv").lexically_normal();
}

std::vector<ReferenceDuration> loadDurationTable() {
  std::vector<ReferenceDuration> rows;
  std::ifstream input(durationTable());
  std::string line;
  std::getline(input, line);  // header
  while (std::getline(input, line)) {
    const auto tab = line.find('\t');
    if (line.empty() || tab == std::string::npos) {
      continue;
    }
    ReferenceDuration row{line.substr(0, tab), std::nullopt};
    const std::string figure = line.substr(tab + 1);
    if (!figure.empty()) {
      const double seconds = std::strtod(figure.c_str(), nullptr);
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

class SharedMedia : public ::testing::TestWithParam<ReferenceDuration> {};

TEST_P(SharedMedia, InfoMatchesReferenceDuration) {
  if (!fs::is_directory(sharedMediaDirectory())) {
    GTEST_SKIP() << sharedMediaDirectory() << " is absent";
  }
  const fs::path file = sharedMediaDirectory() / GetParam().file;
  ASSERT_TRUE(fs::is_regular_file(file)) << file << " is listed but missing";
  const ProcessResult result = runKorvel({"info", encodePath(file)});
  if (!GetParam().seconds) {
    expectFailure(result);
    return;
  }
  const auto durationMs = expectInfoDuration(result);
  ASSERT_TRUE(durationMs.has_value());
  const double referenceMs = *GetParam().seconds * 1000.0;
  EXPECT_LE(std::fabs(static_cast<double>(*durationMs) - referenceMs), 1.0)
      << "info said " << *durationMs << " ms, ffprobe " << referenceMs << " ms";
}

TEST(SharedMediaTable, IsPresent) {
  EXPECT_FALSE(loadDurationTable().empty()) << durationTable() << " is missing or empty";
}

INSTANTIATE_TEST_SUITE_P(Shared, SharedMedia, ::testing::ValuesIn(loadDurationTable()),
                         [](const auto& info) { return parameterName(info.param.file); });

}  // namespace
}  // namespace korvel::e2e
