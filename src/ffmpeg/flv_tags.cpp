#include "ffmpeg/flv_tags.hpp"

#include "ffmpeg/file_bytes.hpp"

namespace korvel {
namespace {

constexpr std::int64_t kTagHeaderBytes = 11;
constexpr std::int64_t kTagSizeBytes = 4;
constexpr int kMostTags = 100'000;

bool isTagType(std::uint8_t type) {
  const int kind = type & 0x1F;  // the upper bits mark filtered (encrypted) tags
  return kind == 8 || kind == 9 || kind == 18;
}

}  // namespace

std::optional<std::int64_t> flvTagChainStart(int fd, std::int64_t earliest) {
  FileBytes file(fd);
  std::optional<std::int64_t> start;
  std::int64_t end = file.size();
  for (int tags = 0; tags < kMostTags; ++tags) {
    ByteCursor trailer(file.read(end - kTagSizeBytes, kTagSizeBytes));
    const std::int64_t tagSize = trailer.u32();
    const std::int64_t tagStart = end - kTagSizeBytes - tagSize;
    if (!trailer.ok() || tagSize < kTagHeaderBytes || tagStart < earliest) {
      break;
    }
    ByteCursor header(file.read(tagStart, kTagHeaderBytes));
    const auto type = static_cast<std::uint8_t>(header.read(1));
    const auto dataSize = static_cast<std::int64_t>(header.read(3));
    if (!header.ok() || !isTagType(type) || dataSize + kTagHeaderBytes != tagSize) {
      break;
    }
    start = tagStart;
    end = tagStart;
  }
  return start;
}

}  // namespace korvel
