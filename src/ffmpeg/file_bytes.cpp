#include "ffmpeg/file_bytes.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace korvel {
namespace {

constexpr std::size_t kBlockBytes = 4096;

}  // namespace

FileBytes::FileBytes(int fd) : fd_(fd) {
  struct stat status {};
  if (fstat(fd, &status) == 0) {
    size_ = status.st_size;
  }
}

std::span<const std::uint8_t> FileBytes::read(std::int64_t offset, std::size_t count) {
  if (offset < 0 || offset >= size_) {
    return {};
  }
  const auto blockEnd = blockStart_ + static_cast<std::int64_t>(block_.size());
  const bool cached =
      offset >= blockStart_ && offset + static_cast<std::int64_t>(count) <= blockEnd;
  if (!cached) {
    block_.resize(std::max(count, kBlockBytes));
    std::size_t filled = 0;
    while (filled < block_.size()) {
      const ssize_t got = pread(fd_, block_.data() + filled, block_.size() - filled,
                                static_cast<off_t>(offset + static_cast<std::int64_t>(filled)));
      if (got > 0) {
        filled += static_cast<std::size_t>(got);
      } else if (got == 0 || errno != EINTR) {
        break;
      }
    }
    block_.resize(filled);
    blockStart_ = offset;
  }
  const auto from = std::min(static_cast<std::size_t>(offset - blockStart_), block_.size());
  return std::span<const std::uint8_t>(block_).subspan(from, std::min(count, block_.size() - from));
}

}  // namespace korvel
