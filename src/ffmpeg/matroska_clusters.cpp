#include "ffmpeg/matroska_clusters.hpp"

#include <bit>

#include "ffmpeg/file_bytes.hpp"

namespace korvel {
namespace {

constexpr std::uint32_t kEbmlHeaderId = 0x1A45DFA3;
constexpr std::uint32_t kSegmentId = 0x18538067;
constexpr std::uint32_t kClusterId = 0x1F43B675;
constexpr std::uint64_t kUnknownSize = ~std::uint64_t{0};

// A live recording has one element per block; a crafted file may hold millions of tiny ones.
constexpr int kMostElements = 1'000'000;

struct Element {
  std::uint32_t id = 0;
  std::int64_t body = 0;   // where its payload starts
  std::uint64_t size = 0;  // kUnknownSize when the writer did not know it
};

// An EBML variable-length number: the count of leading zero bits gives its length.
std::optional<std::uint64_t> readVint(ByteCursor& cursor, int longest, bool keepMarker,
                                      int& length) {
  const auto first = static_cast<std::uint8_t>(cursor.read(1));
  if (!cursor.ok() || first == 0) {
    return std::nullopt;
  }
  length = std::countl_zero(first) + 1;
  if (length > longest) {
    return std::nullopt;
  }
  std::uint64_t value = keepMarker ? first : first & (0xFFu >> length);
  bool allOnes = (first & (0xFFu >> length)) == (0xFFu >> length);
  for (int i = 1; i < length; ++i) {
    const auto byte = static_cast<std::uint8_t>(cursor.read(1));
    value = (value << 8) | byte;
    allOnes = allOnes && byte == 0xFF;
  }
  if (!cursor.ok()) {
    return std::nullopt;
  }
  return !keepMarker && allOnes ? kUnknownSize : value;
}

std::optional<Element> readElement(FileBytes& file, std::int64_t at) {
  ByteCursor cursor(file.read(at, 12));
  int idLength = 0;
  int sizeLength = 0;
  const auto id = readVint(cursor, 4, true, idLength);
  const auto size = id ? readVint(cursor, 8, false, sizeLength) : std::nullopt;
  if (!size) {
    return std::nullopt;
  }
  return Element{static_cast<std::uint32_t>(*id), at + idLength + sizeLength, *size};
}

// IDs of four bytes are the top-level elements (and the EBML header); an unknown-size cluster
// ends where one of them begins.
bool isTopLevel(std::uint32_t id) {
  return id > 0xFFFFFF;
}

class ClusterWalk {
 public:
  ClusterWalk(int fd, std::int64_t earliest) : file_(fd), earliest_(earliest) {}

  std::optional<std::int64_t> run() {
    const auto header = readElement(file_, 0);
    if (!header || header->id != kEbmlHeaderId || header->size == kUnknownSize) {
      return std::nullopt;
    }
    const auto segment = readElement(file_, header->body + static_cast<std::int64_t>(header->size));
    if (!segment || segment->id != kSegmentId) {
      return std::nullopt;
    }
    const std::int64_t end = segment->size == kUnknownSize || !fits(*segment, file_.size())
                                 ? file_.size()
                                 : segment->body + static_cast<std::int64_t>(segment->size);
    walkSegment(segment->body, end);
    return found_;
  }

 private:
  bool fits(const Element& element, std::int64_t end) const {
    return element.size != kUnknownSize &&
           element.size <= static_cast<std::uint64_t>(end - element.body);
  }

  void walkSegment(std::int64_t at, std::int64_t end) {
    while (at < end && ++elements_ <= kMostElements) {
      const auto element = readElement(file_, at);
      if (!element) {
        return;
      }
      if (element->id == kClusterId) {
        found_ = at;
        if (at >= earliest_) {
          return;
        }
      }
      if (fits(*element, end)) {
        at = element->body + static_cast<std::int64_t>(element->size);
      } else if (element->id == kClusterId && element->size == kUnknownSize) {
        at = clusterEnd(element->body, end);
      } else {
        return;  // cut short, or unknown size where only a cluster may have one
      }
    }
  }

  // Where an unknown-size cluster ends: at the next top-level element, or the end.
  std::int64_t clusterEnd(std::int64_t at, std::int64_t end) {
    while (at < end && ++elements_ <= kMostElements) {
      const auto child = readElement(file_, at);
      if (!child || isTopLevel(child->id) || !fits(*child, end)) {
        return child && isTopLevel(child->id) ? at : end;
      }
      at = child->body + static_cast<std::int64_t>(child->size);
    }
    return end;
  }

  FileBytes file_;
  std::int64_t earliest_;
  std::optional<std::int64_t> found_;
  int elements_ = 0;
};

}  // namespace

std::optional<std::int64_t> matroskaClusterStart(int fd, std::int64_t earliest) {
  return ClusterWalk(fd, earliest).run();
}

}  // namespace korvel
