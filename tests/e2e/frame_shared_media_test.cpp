// `korvel frame FILE 0.5 256` over the shared media collection, read in place, against the
// sizes in shared_media_frames.tsv (made from ffprobe's figures by make_shared_media_frames.sh).

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "frame_expect.hpp"
#include "korvel_expect.hpp"
#include "korvel_process.hpp"
#include "shared_media.hpp"

namespace korvel::e2e {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kFrameTable = "shared_media_frames.tsv";

struct ReferenceFrame {
  std::string file;
  std::optional<std::pair<int, int>> size;  // none: korvel must fail
};

std::vector<ReferenceFrame> loadFrameTable() {
  std::vector<ReferenceFrame> rows;
  for (const auto& fields : readReferenceTable(kFrameTable)) {
    ReferenceFrame row{fields[0], std::nullopt};
    int width = 0;
    int height = 0;
    if (std::sscanf(fields[1].c_str(), "%dx%d", &width, &height) == 2) {
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

class SharedMediaFrame : public SharedMediaTest<ReferenceFrame> {};

TEST_P(SharedMediaFrame, MatchesReferenceSize) {
  ASSERT_TRUE(fs::is_regular_file(file())) << file() << " is listed but missing";
  const ProcessResult result = runFrame(file(), "0.5", "256");
  if (!GetParam().size) {
    expectFailure(result);
    return;
  }
  expectThumbnail(result, GetParam().size->first, GetParam().size->second);
}

TEST(SharedMediaFrameTable, IsPresent) {
  EXPECT_FALSE(loadFrameTable().empty()) << referenceTable(kFrameTable) << " is missing or empty";
}

INSTANTIATE_TEST_SUITE_P(Shared, SharedMediaFrame, ::testing::ValuesIn(loadFrameTable()),
                         NameByFile());

}  // namespace
}  // namespace korvel::e2e
