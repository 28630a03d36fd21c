#include "media/ffmpeg/matroska_tail.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <map>

namespace korvel {
namespace {

constexpr std::uint32_t kClusterId = 0x1F43B675;
constexpr std::uint32_t kTimestampId = 0xE7;
constexpr std::uint32_t kSimpleBlockId = 0xA3;
constexpr std::uint32_t kBlockGroupId = 0xA0;
constexpr std::uint32_t kBlockId = 0xA1;
constexpr std::uint32_t kBlockDurationId = 0x9B;
constexpr std::uint64_t kUnknownSize = ~std::uint64_t{0};

// Windows read from the end of the file, widening until a cluster is found. The last bound
// caps the reading for a file whose clusters are enormous or missing.
constexpr std::array<std::int64_t, 3> kTailWindows = {1 << 20, 8 << 20, 64 << 20};

class EbmlReader {
 public:
  explicit EbmlReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  bool atEnd() const { return position_ >= bytes_.size(); }
  std::size_t remaining() const { return bytes_.size() - position_; }
  std::span<const std::uint8_t> take(std::size_t count) {
    const auto taken = bytes_.subspan(position_, count);
    position_ += count;
    return taken;
  }

  // An element ID keeps its length marker; up to 4 bytes.
  std::optional<std::uint32_t> readId() {
    const auto length = vintLength(4);
    if (!length) {
      return std::nullopt;
    }
    std::uint32_t id = 0;
    for (const std::uint8_t byte : take(*length)) {
      id = (id << 8) | byte;
    }
    return id;
  }

  // A size or number drops its marker; all value bits set means "unknown".
  std::optional<std::uint64_t> readVint() {
    const auto length = vintLength(8);
    if (!length) {
      return std::nullopt;
    }
    const auto bytes = take(*length);
    std::uint64_t value = bytes[0] & (0xFFu >> *length);
    bool allOnes = value == (0xFFu >> *length);
    for (std::size_t i = 1; i < bytes.size(); ++i) {
      value = (value << 8) | bytes[i];
      allOnes = allOnes && bytes[i] == 0xFF;
    }
    return allOnes ? kUnknownSize : value;
  }

 private:
  std::optional<std::size_t> vintLength(int longest) {
    if (atEnd() || bytes_[position_] == 0) {
      return std::nullopt;
    }
    const auto length = static_cast<std::size_t>(std::countl_zero(bytes_[position_]) + 1);
    if (length > static_cast<std::size_t>(longest) || length > remaining()) {
      return std::nullopt;
    }
    return length;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t position_ = 0;
};

std::uint64_t readUnsigned(std::span<const std::uint8_t> bytes) {
  std::uint64_t value = 0;
  for (const std::uint8_t byte : bytes) {
    value = (value << 8) | byte;
  }
  return value;
}

std::optional<ClusterBlock> parseBlock(std::span<const std::uint8_t> body,
                                       std::int64_t clusterTimestamp) {
  EbmlReader reader(body);
  const auto track = reader.readVint();
  if (!track || reader.remaining() < 3) {
    return std::nullopt;
  }
  const auto relative = reader.take(2);
  const auto offset = static_cast<std::int16_t>((relative[0] << 8) | relative[1]);
  return ClusterBlock{*track, clusterTimestamp + offset, std::nullopt};
}

std::optional<ClusterBlock> parseBlockGroup(std::span<const std::uint8_t> body,
                                            std::int64_t clusterTimestamp) {
  EbmlReader reader(body);
  std::optional<ClusterBlock> block;
  std::optional<std::int64_t> duration;
  while (!reader.atEnd()) {
    const auto id = reader.readId();
    const auto size = reader.readVint();
    if (!id || !size || *size > reader.remaining()) {
      break;
    }
    const auto child = reader.take(*size);
    if (*id == kBlockId) {
      block = parseBlock(child, clusterTimestamp);
    } else if (*id == kBlockDurationId && child.size() <= 8) {
      duration = static_cast<std::int64_t>(readUnsigned(child));
    }
  }
  if (block) {
    block->duration = duration;
  }
  return block;
}

// Parses the cluster whose ID starts `bytes`. A cluster must state its timestamp before its
// blocks; a candidate that does not is a chance match inside some payload.
std::optional<std::vector<ClusterBlock>> parseCluster(std::span<const std::uint8_t> bytes) {
  EbmlReader reader(bytes);
  if (reader.readId() != kClusterId) {
    return std::nullopt;
  }
  const auto clusterSize = reader.readVint();
  if (!clusterSize) {
    return std::nullopt;
  }
  if (*clusterSize != kUnknownSize && *clusterSize < reader.remaining()) {
    reader = EbmlReader(reader.take(*clusterSize));  // what follows belongs to another element
  }
  std::optional<std::int64_t> clusterTimestamp;
  std::vector<ClusterBlock> blocks;
  while (!reader.atEnd()) {
    const auto id = reader.readId();
    const auto size = reader.readVint();
    if (!id || !size || *size > reader.remaining()) {
      break;  // the file ends inside this element, or the cluster is over
    }
    const auto child = reader.take(*size);
    if (*id == kTimestampId && child.size() <= 8) {
      clusterTimestamp = static_cast<std::int64_t>(readUnsigned(child));
    } else if (*id == kSimpleBlockId || *id == kBlockGroupId) {
      if (!clusterTimestamp) {
        return std::nullopt;
      }
      const auto block = *id == kSimpleBlockId ? parseBlock(child, *clusterTimestamp)
                                               : parseBlockGroup(child, *clusterTimestamp);
      if (block) {
        blocks.push_back(*block);
      }
    } else if (*id > 0xFFFFFF) {
      break;  // a top-level element: an unknown-size cluster ends here
    }
  }
  if (!clusterTimestamp) {
    return std::nullopt;
  }
  return blocks;
}

std::vector<std::uint8_t> readTail(AVIOContext& io, std::int64_t fileSize, std::int64_t window) {
  const std::int64_t start = std::max<std::int64_t>(0, fileSize - window);
  std::vector<std::uint8_t> tail(static_cast<std::size_t>(fileSize - start));
  if (avio_seek(&io, start, SEEK_SET) < 0) {
    return {};
  }
  const int count = avio_read(&io, tail.data(), static_cast<int>(tail.size()));
  tail.resize(static_cast<std::size_t>(std::max(count, 0)));
  return tail;
}

// How long one block of `track` lasts when the block does not say: a video frame or an
// audio packet, where the track states its rate.
double defaultBlockSeconds(const AVFormatContext& format, std::uint64_t track) {
  for (unsigned i = 0; i < format.nb_streams; ++i) {
    const AVStream& stream = *format.streams[i];
    if (static_cast<std::uint64_t>(stream.id) != track) {
      continue;
    }
    const AVCodecParameters& codec = *stream.codecpar;
    if (codec.codec_type == AVMEDIA_TYPE_VIDEO && stream.avg_frame_rate.num > 0) {
      return av_q2d(av_inv_q(stream.avg_frame_rate));
    }
    if (codec.codec_type == AVMEDIA_TYPE_AUDIO && codec.frame_size > 0 && codec.sample_rate > 0) {
      return static_cast<double>(codec.frame_size) / codec.sample_rate;
    }
  }
  return 0.0;
}

// Otherwise a track's blocks last as long as the usual gap between them: the median, so that
// a recorder's uneven timing does not skew it.
std::int64_t typicalGap(const std::vector<ClusterBlock>& blocks, std::uint64_t track) {
  std::vector<std::int64_t> times;
  for (const ClusterBlock& block : blocks) {
    if (block.track == track) {
      times.push_back(block.timestamp);
    }
  }
  std::sort(times.begin(), times.end());
  std::vector<std::int64_t> gaps;
  for (std::size_t i = 1; i < times.size(); ++i) {
    if (times[i] > times[i - 1]) {
      gaps.push_back(times[i] - times[i - 1]);
    }
  }
  if (gaps.empty()) {
    return 0;
  }
  std::nth_element(gaps.begin(), gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2),
                   gaps.end());
  return gaps[gaps.size() / 2];
}

double blocksEnd(const AVFormatContext& format, const std::vector<ClusterBlock>& blocks) {
  // Every track of a Matroska segment shares the segment's timestamp scale.
  const double secondsPerTick = av_q2d(format.streams[0]->time_base);
  std::map<std::uint64_t, double> lastingByTrack;
  const auto unstatedLength = [&](std::uint64_t track) {
    auto [entry, isNew] = lastingByTrack.try_emplace(track, 0.0);
    if (isNew) {
      const double stated = defaultBlockSeconds(format, track);
      entry->second =
          stated > 0.0 ? stated : static_cast<double>(typicalGap(blocks, track)) * secondsPerTick;
    }
    return entry->second;
  };
  double end = 0.0;
  for (const ClusterBlock& block : blocks) {
    const double length = block.duration ? static_cast<double>(*block.duration) * secondsPerTick
                                         : unstatedLength(block.track);
    end = std::max(end, static_cast<double>(block.timestamp) * secondsPerTick + length);
  }
  return end;
}

}  // namespace

std::vector<ClusterBlock> lastClusterBlocks(std::span<const std::uint8_t> tail) {
  constexpr std::array<std::uint8_t, 4> kClusterBytes = {0x1F, 0x43, 0xB6, 0x75};
  auto searchEnd = tail.end();
  for (;;) {
    const auto found =
        std::find_end(tail.begin(), searchEnd, kClusterBytes.begin(), kClusterBytes.end());
    if (found == searchEnd) {
      return {};
    }
    const auto offset = static_cast<std::size_t>(found - tail.begin());
    if (auto blocks = parseCluster(tail.subspan(offset)); blocks && !blocks->empty()) {
      return std::move(*blocks);
    }
    searchEnd = found;
  }
}

std::optional<double> matroskaTailDuration(AVFormatContext& format) {
  const std::int64_t fileSize = avio_size(format.pb);
  if (fileSize <= 0 || format.nb_streams == 0) {
    return std::nullopt;
  }
  // The demuxer goes on reading where it was, so its position is put back afterwards.
  const std::int64_t resumeAt = avio_tell(format.pb);
  std::optional<double> end;
  for (const std::int64_t window : kTailWindows) {
    const std::vector<ClusterBlock> blocks =
        lastClusterBlocks(readTail(*format.pb, fileSize, window));
    if (!blocks.empty()) {
      end = blocksEnd(format, blocks);
      break;
    }
    if (window >= fileSize) {
      break;
    }
  }
  avio_seek(format.pb, resumeAt, SEEK_SET);
  return end > 0.0 ? end : std::nullopt;
}

}  // namespace korvel
