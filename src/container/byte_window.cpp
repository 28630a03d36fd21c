#include "container/byte_window.hpp"

#include <algorithm>

namespace korvel {
namespace {

constexpr std::size_t kBlockBytes = 4096;

}  // namespace

std::span<const std::uint8_t> ByteWindow::read(std::int64_t offset, std::size_t count) {
  if (offset < 0 || offset >= size_) {
    return {};
  }
  const auto blockEnd = blockStart_ + static_cast<std::int64_t>(block_.size());
  const bool cached =
      offset >= blockStart_ && offset + static_cast<std::int64_t>(count) <= blockEnd;
  if (!cached) {
    block_.resize(std::max(count, kBlockBytes));
    block_.resize(source_.readAt(offset, block_));
    blockStart_ = offset;
  }
  const auto from = std::min(static_cast<std::size_t>(offset - blockStart_), block_.size());
  return std::span<const std::uint8_t>(block_).subspan(from, std::min(count, block_.size() - from));
}

}  // namespace korvel
