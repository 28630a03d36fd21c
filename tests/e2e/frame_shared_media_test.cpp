// `korvel frame FILE 0.5 256` over the shared media collection, read in place, against the
// sizes in shared_media_frames.tsv (made from ffprobe's figures by make_shared_media_frames.sh).

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "frame_expect.hpp"
#include "korvel_expect.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {
namespace {

namespace fs = std::filesystem;

struct ReferenceFrame {
  std::string file;
  std::optional<std::pair<int, int>> size;  // none: korvel must fail
};

fs::path frameTable() {
  return (fixturePath("") / ".." / "e2e" / "shared_media_frames.tsv").lexically_normal();
}

std::vector<ReferenceFrame> loadFrameTable() {
  std::vector<ReferenceFrame> rows;
  std::ifstream input(frameTable());
  std::string line;
  std::getline(input, line);  // header
  while (std::getline(input, line)) {
    const auto tab = line.find('\t');
    if (line.empty() || tab == std::string::npos) {
      continue;
    }
    ReferenceFrame row{line.substr(0, tab), std::nullopt};
    int width = 0;
    int height = 0;
    if (std::sscanf(line.c_str() + tab + 1, "%dx%d", &width, &height) == 2) {
      row.size = std::pair{width, height};
    }
    rows.push_back(row);
  }
  return rows;
}

void PrintTo(const ReferenceFrame& row, std::ostream* out) {
  *out << row.file << " ("
       << (row.size ? std::to_string(row.size->first) + "x" + std::to_string(row.size->second)
                    : "fail")
       << ")";
}

class SharedMediaFrame : public ::testing::TestWithParam<ReferenceFrame> {};

TEST_P(SharedMediaFrame, MatchesReferenceSize) {
  if (!fs::is_directory(sharedMediaDirectory())) {
    GTEST_SKIP() << sharedMediaDirectory() << " is absent";
  }
  const fs::path file = sharedMediaDirectory() / GetParam().file;
  ASSERT_TRUE(fs::is_regular_file(file)) << file << " is listed but missing";
  const ProcessResult result = runFrame(file, "0.5", "256");
  if (!GetParam().size) {
    expectFailure(result);
    return;
  }
  expectThumbnail(result, GetParam().size->first, GetParam().size->second);
}

TEST(SharedMediaFrameTable, IsPresent) {
  EXPECT_FALSE(loadFrameTable().empty()) << frameTable() << " is missing or empty";
}

INSTANTIATE_TEST_SUITE_P(Shared, SharedMediaFrame, ::testing::ValuesIn(loadFrameTable()),
                         [](const auto& info) { return parameterName(info.param.file); });

}  // namespace
}  // namespace korvel::e2e
