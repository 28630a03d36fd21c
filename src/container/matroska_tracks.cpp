#include "container/matroska_tracks.hpp"

#include <algorithm>
#include <functional>

#include "container/ebml_element.hpp"

namespace korvel {
namespace {

constexpr std::uint32_t kEbmlHeaderId = 0x1A45DFA3;
constexpr std::uint32_t kSegmentId = 0x18538067;
constexpr std::uint32_t kTracksId = 0x1654AE6B;
constexpr std::uint32_t kClusterId = 0x1F43B675;
constexpr std::uint32_t kTrackEntryId = 0xAE;
constexpr std::uint32_t kTrackTypeId = 0x83;
constexpr std::uint32_t kCodecId = 0x86;
constexpr std::uint32_t kContentEncodingsId = 0x6D80;
constexpr std::uint32_t kContentEncodingId = 0x6240;
constexpr std::uint32_t kContentEncodingTypeId = 0x5033;
constexpr std::uint32_t kContentEncryptionId = 0x5035;
constexpr std::uint64_t kEncryptionType = 1;
constexpr std::uint64_t kVideoTrack = 1;

// Far more elements than the header of any real file holds before its first cluster.
constexpr int kMostElements = 10'000;

// Visits the children of `parent` until `visit` returns false; false when they cannot all be
// read, or one runs past its parent or the file (cut short).
bool forEachChild(ByteWindow& file, const EbmlElement& parent,
                  const std::function<bool(const EbmlElement&)>& visit) {
  const std::int64_t end = parent.sized() ? std::min(parent.end(), file.size()) : file.size();
  std::int64_t at = parent.body;
  for (int count = 0; at < end; ++count) {
    const auto child = readEbmlElement(file, at);
    if (count == kMostElements || !child || (child->sized() && child->end() > end)) {
      return false;
    }
    if (!visit(*child) || !child->sized()) {
      return true;
    }
    at = child->end();
  }
  return true;
}

bool declaresEncryption(ByteWindow& file, const EbmlElement& encodings) {
  bool encrypted = false;
  forEachChild(file, encodings, [&](const EbmlElement& encoding) {
    if (encoding.id == kContentEncodingId) {
      forEachChild(file, encoding, [&](const EbmlElement& field) {
        encrypted = encrypted || field.id == kContentEncryptionId ||
                    (field.id == kContentEncodingTypeId &&
                     readEbmlUnsigned(file, field) == kEncryptionType);
        return !encrypted;
      });
    }
    return !encrypted;
  });
  return encrypted;
}

// What a track entry says of itself: whether FFmpeg makes a video stream of it, and whether
// it declares encryption. Nothing when it cannot be read whole.
struct TrackEntry {
  bool video = false;
  bool encrypted = false;
};

std::optional<TrackEntry> readTrackEntry(ByteWindow& file, const EbmlElement& entry) {
  bool video = false;
  bool videoCodec = false;  // FFmpeg drops a video track whose codec is no V_ one
  bool declared = false;
  const bool whole = forEachChild(file, entry, [&](const EbmlElement& field) {
    if (field.id == kTrackTypeId) {
      video = readEbmlUnsigned(file, field) == kVideoTrack;
    } else if (field.id == kCodecId) {
      const auto first = file.read(field.body, 1);
      videoCodec = field.size > 0 && !first.empty() && first[0] == 'V';
    } else if (field.id == kContentEncodingsId) {
      declared = declared || declaresEncryption(file, field);
    }
    return true;
  });
  return whole ? std::optional(TrackEntry{video && videoCodec, declared}) : std::nullopt;
}

}  // namespace

std::vector<bool> matroskaVideoTracksEncrypted(ByteSource& source) {
  ByteWindow file(source);
  const auto header = readEbmlElement(file, 0);
  if (!header || header->id != kEbmlHeaderId || !header->sized()) {
    return {};
  }
  const auto segment = readEbmlElement(file, header->end());
  if (!segment || segment->id != kSegmentId) {
    return {};
  }
  std::vector<bool> encrypted;
  bool whole = true;
  const auto takeEntry = [&](const EbmlElement& element) {
    const auto entry =
        element.id == kTrackEntryId ? readTrackEntry(file, element) : std::optional(TrackEntry{});
    if (entry && entry->video) {
      encrypted.push_back(entry->encrypted);
    }
    whole = whole && entry.has_value();
    return whole;
  };
  forEachChild(file, *segment, [&](const EbmlElement& child) {
    if (child.id == kTracksId && !forEachChild(file, child, takeEntry)) {
      whole = false;
    }
    return child.id != kClusterId;  // the tracks come before the media
  });
  return whole ? encrypted : std::vector<bool>{};
}

}  // namespace korvel
