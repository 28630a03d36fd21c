#pragma once

// Reading korvel's JPEG output in tests: the marker layout as written, the decoded pixels,
// and the frame number an indexed fixture's block grid carries.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvel::e2e {

struct JpegComponent {
  int id = 0;
  int horizontalSampling = 0;
  int verticalSampling = 0;
  int quantTable = 0;
};

// What the markers of one JPEG stream say. `problem` is empty when the bytes are exactly one
// well-formed stream: SOI first, segments, entropy-coded scans, EOI as the last two bytes.
struct JpegLayout {
  std::string problem;
  std::vector<std::uint8_t> frameMarkers;  // SOFn second bytes, in order (0xC0: baseline)
  int width = 0;
  int height = 0;
  std::vector<JpegComponent> components;
  // 8-bit tables by destination, in natural (row-major) order; empty when not defined.
  std::array<std::vector<int>, 4> quantTables;
  int scans = 0;
};

JpegLayout inspectJpeg(std::string_view bytes);

// libjpeg's quantisation tables for `quality` (the IJG scaling of the Annex K tables, clamped
// to 1..255), natural order: index 0 luminance, 1 chrominance.
std::array<std::vector<int>, 2> standardQuantTables(int quality);

struct MeanRgb {
  double r = 0;
  double g = 0;
  double b = 0;
};

class JpegImage {
 public:
  // Decodes to 8-bit RGB; nullopt (with `error` set when given) if libjpeg-turbo refuses.
  static std::optional<JpegImage> decode(std::string_view bytes, std::string* error = nullptr);

  int width() const { return width_; }
  int height() const { return height_; }
  std::array<int, 3> pixel(int x, int y) const;
  // Mean over the half-open rectangle [x0, x1) x [y0, y1), clipped to the picture.
  MeanRgb mean(int x0, int y0, int x1, int y1) const;
  // Mean over a (2 radius + 1)-pixel square around (x, y).
  MeanRgb meanAround(int x, int y, int radius) const;

 private:
  int width_ = 0;
  int height_ = 0;
  std::vector<std::uint8_t> rgb_;
};

// The frame number carried by an indexed fixture's 4x4 grid (see tests/fixtures/README.md),
// read at the cell centres of a picture of any size; nullopt when a cell is neither black nor
// white or the marker row is wrong (a blank, grey or garbled picture).
std::optional<int> readGridIndex(const JpegImage& image);

}  // namespace korvel::e2e
