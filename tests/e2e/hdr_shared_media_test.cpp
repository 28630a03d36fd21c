// `korvel frame` on the HDR videos of ../shared/media, against the brightness and contrast of
// ffmpeg's zscale + hable rendering in hdr_reference.tsv (made by make_hdr_reference.sh).
//
// The curves differ by design: hable (100 cd/m2 as 1.0) puts 26 cd/m2 grey at code 71 and
// 203 cd/m2 white at 178; korvel follows BT.2408 (grey 100, white 229), so its pictures are
// somewhat brighter, by 4-15 codes on these videos. A picture shown as SDR without conversion
// keeps its mean but loses a third or more of its contrast (0.62-0.72 of the reference); a
// broken conversion shifts the mean by far more than 20 codes.

#include <gtest/gtest.h>

#include <charconv>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "colour_figures.hpp"
#include "frame_expect.hpp"
#include "korvel_expect.hpp"
#include "korvel_process.hpp"
#include "shared_media.hpp"

namespace korvel::e2e {
namespace {

namespace fs = std::filesystem;

constexpr double kMeanTolerance = 20.0;
constexpr double kLeastContrastRatio = 0.85;
constexpr double kMostContrastRatio = 1.35;
// Flat pictures have no contrast to compare as a ratio.
constexpr double kContrastSlack = 2.0;

constexpr std::string_view kReferenceTable = "hdr_reference.tsv";

struct HdrReference {
  std::string file;
  std::string position;
  std::string size;
  int width = 0;
  int height = 0;
  double mean = 0.0;
  double stddev = 0.0;
};

// True when all of `text` is one number.
template <typename Number>
bool readNumber(const std::string& text, Number& value) {
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  return error == std::errc() && end == text.data() + text.size();
}

std::vector<HdrReference> loadReferences() {
  std::vector<HdrReference> rows;
  for (const auto& fields : readReferenceTable(kReferenceTable)) {
    if (fields.size() < 7) {
      continue;
    }
    HdrReference row{fields[0], fields[1], fields[2]};
    if (readNumber(fields[3], row.width) && readNumber(fields[4], row.height) &&
        readNumber(fields[5], row.mean) && readNumber(fields[6], row.stddev)) {
      rows.push_back(row);
    }
  }
  return rows;
}

void PrintTo(const HdrReference& row, std::ostream* out) {
  *out << row.file << " (mean " << row.mean << ", stddev " << row.stddev << ")";
}

class HdrSharedMedia : public SharedMediaTest<HdrReference> {};

TEST_P(HdrSharedMedia, BrightnessAndContrastNearReference) {
  const HdrReference& reference = GetParam();
  if (!fs::is_regular_file(file())) {
    GTEST_SKIP() << file() << " is absent";
  }
  const ProcessResult result = runFrame(file(), reference.position, reference.size);
  ASSERT_EQ(result.exitStatus, 0) << describe(result);
  const std::optional<JpegImage> picture = JpegImage::decode(result.out);
  ASSERT_TRUE(picture);
  EXPECT_NEAR(picture->width(), reference.width, 1);
  EXPECT_NEAR(picture->height(), reference.height, 1);
  const LumaFigures ours = lumaFigures(*picture);
  RecordProperty("mean", std::to_string(ours.mean));
  RecordProperty("stddev", std::to_string(ours.stddev));
  EXPECT_NEAR(ours.mean, reference.mean, kMeanTolerance);
  EXPECT_GE(ours.stddev, reference.stddev * kLeastContrastRatio - kContrastSlack);
  EXPECT_LE(ours.stddev, reference.stddev * kMostContrastRatio + kContrastSlack);
}

TEST(HdrSharedMediaTable, IsPresent) {
  EXPECT_FALSE(loadReferences().empty())
      << referenceTable(kReferenceTable) << " is missing or empty";
}

INSTANTIATE_TEST_SUITE_P(Shared, HdrSharedMedia, ::testing::ValuesIn(loadReferences()),
                         NameByFile());

}  // namespace
}  // namespace korvel::e2e
