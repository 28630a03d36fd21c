#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "container/byte_source.hpp"

namespace korvel {

// Ranges of a ByteSource; neighbouring small reads are served from one block.
class ByteWindow {
 public:
  explicit ByteWindow(ByteSource& source) : source_(source), size_(source.size()) {}

  std::int64_t size() const { return size_; }

  // Up to `count` bytes at `offset`: fewer at the end of the file or on a read error. The span
  // is valid until the next read.
  std::span<const std::uint8_t> read(std::int64_t offset, std::size_t count);

 private:
  ByteSource& source_;
  std::int64_t size_;
  std::vector<std::uint8_t> block_;
  std::int64_t blockStart_ = 0;
};

// Big-endian fields read in order from a span; reading past its end leaves the cursor failed
// and every further read zero.
class ByteCursor {
 public:
  explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool ok() const { return ok_; }
  std::size_t remaining() const { return bytes_.size() - position_; }

  std::uint64_t read(std::size_t width) {
    if (!ok_ || width > remaining()) {
      ok_ = false;
      return 0;
    }
    std::uint64_t value = 0;
    for (std::size_t i = 0; i < width; ++i) {
      value = (value << 8) | bytes_[position_++];
    }
    return value;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
  bool ok_ = true;
};

}  // namespace korvel
