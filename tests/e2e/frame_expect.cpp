#include "frame_expect.hpp"

#include <gtest/gtest.h>

#include <cstdio>
#include <sstream>

namespace korvel::e2e {
namespace {

constexpr std::size_t kMaxOutputBytes = 1 << 20;
constexpr int kQuality = 85;

std::string describeLayout(const JpegLayout& layout) {
  std::ostringstream text;
  text << layout.width << "x" << layout.height << ", SOF";
  for (const auto marker : layout.frameMarkers) {
    text << " " << std::hex << static_cast<int>(marker) << std::dec;
  }
  text << ", sampling";
  for (const auto& component : layout.components) {
    text << " " << component.horizontalSampling << "x" << component.verticalSampling << "/q"
         << component.quantTable;
  }
  text << ", " << layout.scans << " scan(s)";
  return text.str();
}

// Why the layout is not a baseline 4:2:0 YCbCr picture at quality 85, or empty.
std::string layoutProblem(const JpegLayout& layout, int width, int height) {
  if (!layout.problem.empty()) {
    return layout.problem;
  }
  if (layout.frameMarkers != std::vector<std::uint8_t>{0xC0}) {
    return "not a single baseline (SOF0) frame";
  }
  if (layout.width != width || layout.height != height) {
    return "wrong dimensions";
  }
  const auto& c = layout.components;
  if (c.size() != 3 || c[0].horizontalSampling != 2 || c[0].verticalSampling != 2 ||
      c[1].horizontalSampling != 1 || c[1].verticalSampling != 1 || c[2].horizontalSampling != 1 ||
      c[2].verticalSampling != 1) {
    return "not 4:2:0 sampling";
  }
  const auto standard = standardQuantTables(kQuality);
  for (std::size_t i = 0; i < c.size(); ++i) {
    const auto& table = layout.quantTables.at(static_cast<std::size_t>(c[i].quantTable & 3));
    if (table != standard[i == 0 ? 0 : 1]) {
      return "quantisation tables are not those of quality 85";
    }
  }
  return "";
}

}  // namespace

std::string numberArgument(double value) {
  char text[40];
  std::snprintf(text, sizeof text, "%.17g", value);
  return text;
}

ProcessResult runFrame(const std::filesystem::path& file, std::string_view position,
                       std::string_view size) {
  return runKorvel({"frame", encodePath(file), std::string(position), std::string(size)});
}

std::optional<JpegImage> expectThumbnail(const ProcessResult& result, int width, int height,
                                         std::source_location where) {
  const auto fail = [&](const std::string& what) -> std::optional<JpegImage> {
    ADD_FAILURE_AT(where.file_name(), static_cast<int>(where.line()))
        << "expected status 0, empty stderr and one " << width << "x" << height
        << " baseline 4:2:0 JPEG at quality 85 on stdout: " << what
        << "\n  run: " << describe(result);
    return std::nullopt;
  };
  if (result.exitStatus != 0 || result.killedByHarness || !result.err.empty()) {
    return fail("the run did not succeed cleanly");
  }
  if (result.out.size() > kMaxOutputBytes) {
    return fail(std::to_string(result.out.size()) + " bytes is over 1 MiB");
  }
  const JpegLayout layout = inspectJpeg(result.out);
  if (const std::string problem = layoutProblem(layout, width, height); !problem.empty()) {
    return fail(problem + " (" + describeLayout(layout) + ")");
  }
  std::string error;
  auto image = JpegImage::decode(result.out, &error);
  if (!image) {
    return fail(error);
  }
  if (image->width() != width || image->height() != height) {
    return fail("decodes to " + std::to_string(image->width()) + "x" +
                std::to_string(image->height()));
  }
  return image;
}

}  // namespace korvel::e2e
