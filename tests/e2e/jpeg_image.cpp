#include "jpeg_image.hpp"

#include <turbojpeg.h>

#include <algorithm>
#include <cstddef>
#include <memory>

namespace korvel::e2e {
namespace {

constexpr std::array<int, 64> kZigzagToNatural = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// ITU-T T.81 Annex K, tables K.1 and K.2, natural order.
constexpr std::array<int, 64> kLuminanceBase = {
    16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
    14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
    18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
    49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
constexpr std::array<int, 64> kChrominanceBase = {
    17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99, 24, 26, 56, 99, 99, 99,
    99, 99, 47, 66, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
    99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

bool isFrameMarker(std::uint8_t marker) {
  return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

int read16(std::string_view bytes, std::size_t at) {
  return (static_cast<std::uint8_t>(bytes[at]) << 8) | static_cast<std::uint8_t>(bytes[at + 1]);
}

std::uint8_t byteAt(std::string_view bytes, std::size_t at) {
  return static_cast<std::uint8_t>(bytes[at]);
}

std::string parseFrameHeader(std::string_view segment, JpegLayout& layout) {
  if (segment.size() < 6) {
    return "short frame header";
  }
  layout.height = read16(segment, 1);
  layout.width = read16(segment, 3);
  const std::size_t count = byteAt(segment, 5);
  if (segment.size() != 6 + 3 * count) {
    return "frame header length does not match its component count";
  }
  layout.components.clear();
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint8_t sampling = byteAt(segment, 7 + 3 * i);
    layout.components.push_back(
        {byteAt(segment, 6 + 3 * i), sampling >> 4, sampling & 15, byteAt(segment, 8 + 3 * i)});
  }
  return "";
}

std::string parseQuantTables(std::string_view segment, JpegLayout& layout) {
  std::size_t at = 0;
  while (at < segment.size()) {
    const std::uint8_t header = byteAt(segment, at++);
    const bool sixteenBit = (header >> 4) != 0;
    const std::size_t destination = header & 15;
    const std::size_t entrySize = sixteenBit ? 2 : 1;
    if (destination > 3 || at + 64 * entrySize > segment.size()) {
      return "malformed quantisation table";
    }
    std::vector<int> table(64);
    for (std::size_t k = 0; k < 64; ++k) {
      table[kZigzagToNatural[k]] =
          sixteenBit ? read16(segment, at + 2 * k) : byteAt(segment, at + k);
    }
    layout.quantTables[destination] = sixteenBit ? std::vector<int>{} : std::move(table);
    at += 64 * entrySize;
  }
  return "";
}

// Index of the marker that ends the entropy-coded data starting at `at`.
std::size_t skipEntropyCodedData(std::string_view bytes, std::size_t at) {
  while (at + 1 < bytes.size()) {
    if (byteAt(bytes, at) == 0xFF) {
      const std::uint8_t next = byteAt(bytes, at + 1);
      if (next != 0x00 && !(next >= 0xD0 && next <= 0xD7)) {
        return at;
      }
      at += 2;
    } else {
      ++at;
    }
  }
  return bytes.size();
}

std::string walkMarkers(std::string_view bytes, JpegLayout& layout) {
  if (bytes.size() < 4 || byteAt(bytes, 0) != 0xFF || byteAt(bytes, 1) != 0xD8) {
    return "does not start with SOI (FF D8)";
  }
  std::size_t at = 2;
  while (true) {
    if (at >= bytes.size() || byteAt(bytes, at) != 0xFF) {
      return "expected a marker at byte " + std::to_string(at);
    }
    while (at < bytes.size() && byteAt(bytes, at) == 0xFF) {
      ++at;
    }
    if (at >= bytes.size()) {
      return "ends inside a marker";
    }
    const std::uint8_t marker = byteAt(bytes, at++);
    if (marker == 0xD9) {
      if (at != bytes.size()) {
        return std::to_string(bytes.size() - at) + " bytes follow EOI";
      }
      if (layout.frameMarkers.empty() || layout.scans == 0) {
        return "EOI before any frame or scan";
      }
      return "";
    }
    if (marker == 0xD8) {
      return "a second SOI at byte " + std::to_string(at - 2);
    }
    if (marker == 0x01 || (marker >= 0xD0 && marker <= 0xD7)) {
      continue;
    }
    if (at + 2 > bytes.size()) {
      return "ends inside a segment length";
    }
    const std::size_t length = read16(bytes, at);
    if (length < 2 || at + length > bytes.size()) {
      return "segment length runs past the end";
    }
    const std::string_view segment = bytes.substr(at + 2, length - 2);
    at += length;
    std::string problem;
    if (isFrameMarker(marker)) {
      layout.frameMarkers.push_back(marker);
      problem = parseFrameHeader(segment, layout);
    } else if (marker == 0xDB) {
      problem = parseQuantTables(segment, layout);
    } else if (marker == 0xDA) {
      ++layout.scans;
      at = skipEntropyCodedData(bytes, at);
    }
    if (!problem.empty()) {
      return problem;
    }
  }
}

std::vector<int> scaledTable(const std::array<int, 64>& base, int quality) {
  const int scale = quality < 50 ? 5000 / quality : 200 - 2 * quality;
  std::vector<int> table(64);
  std::transform(base.begin(), base.end(), table.begin(),
                 [scale](int value) { return std::clamp((value * scale + 50) / 100, 1, 255); });
  return table;
}

}  // namespace

JpegLayout inspectJpeg(std::string_view bytes) {
  JpegLayout layout;
  layout.problem = walkMarkers(bytes, layout);
  return layout;
}

std::array<std::vector<int>, 2> standardQuantTables(int quality) {
  return {scaledTable(kLuminanceBase, quality), scaledTable(kChrominanceBase, quality)};
}

std::optional<JpegImage> JpegImage::decode(std::string_view bytes, std::string* error) {
  const std::unique_ptr<void, int (*)(tjhandle)> handle(tjInitDecompress(), tjDestroy);
  const auto fail = [&](const std::string& what) -> std::optional<JpegImage> {
    if (error != nullptr) {
      *error = what + ": " + tjGetErrorStr2(handle.get());
    }
    return std::nullopt;
  };
  if (!handle) {
    return fail("tjInitDecompress");
  }
  const auto* data = reinterpret_cast<const unsigned char*>(bytes.data());
  const auto size = static_cast<unsigned long>(bytes.size());
  int width = 0;
  int height = 0;
  int subsampling = 0;
  int colourspace = 0;
  if (tjDecompressHeader3(handle.get(), data, size, &width, &height, &subsampling, &colourspace) !=
      0) {
    return fail("tjDecompressHeader3");
  }
  JpegImage image;
  image.width_ = width;
  image.height_ = height;
  image.rgb_.resize(static_cast<std::size_t>(width) * static_cast<std::size_t>(height) * 3);
  if (tjDecompress2(handle.get(), data, size, image.rgb_.data(), width, 0, height, TJPF_RGB,
                    TJFLAG_ACCURATEDCT) != 0) {
    return fail("tjDecompress2");
  }
  return image;
}

std::array<int, 3> JpegImage::pixel(int x, int y) const {
  const std::size_t at = (static_cast<std::size_t>(y) * static_cast<std::size_t>(width_) +
                          static_cast<std::size_t>(x)) *
                         3;
  return {rgb_.at(at), rgb_.at(at + 1), rgb_.at(at + 2)};
}

MeanRgb JpegImage::mean(int x0, int y0, int x1, int y1) const {
  x0 = std::max(x0, 0);
  y0 = std::max(y0, 0);
  x1 = std::min(x1, width_);
  y1 = std::min(y1, height_);
  MeanRgb sum;
  int count = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x) {
      const auto [r, g, b] = pixel(x, y);
      sum.r += r;
      sum.g += g;
      sum.b += b;
      ++count;
    }
  }
  if (count > 0) {
    sum.r /= count;
    sum.g /= count;
    sum.b /= count;
  }
  return sum;
}

MeanRgb JpegImage::meanAround(int x, int y, int radius) const {
  return mean(x - radius, y - radius, x + radius + 1, y + radius + 1);
}

std::optional<int> readGridIndex(const JpegImage& image) {
  constexpr int kGrid = 4;
  constexpr std::array<int, 4> kMarkerRow = {1, 0, 1, 0};
  int index = 0;
  for (int cell = 0; cell < kGrid * kGrid; ++cell) {
    const int col = cell % kGrid;
    const int row = cell / kGrid;
    const MeanRgb colour = image.meanAround((2 * col + 1) * image.width() / (2 * kGrid),
                                            (2 * row + 1) * image.height() / (2 * kGrid), 2);
    const double grey = (colour.r + colour.g + colour.b) / 3;
    if (grey > 64 && grey < 192) {
      return std::nullopt;
    }
    const int bit = grey >= 128 ? 1 : 0;
    if (row == kGrid - 1) {
      if (bit != kMarkerRow[col]) {
        return std::nullopt;
      }
    } else {
      index |= bit << cell;
    }
  }
  return index;
}

}  // namespace korvel::e2e
