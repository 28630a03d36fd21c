#include "container/matroska_tracks.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "container/ebml_element.hpp"

namespace korvel {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A byte string as the file.
class MemoryBytes final : public ByteSource {
 public:
  explicit MemoryBytes(Bytes bytes) : bytes_(std::move(bytes)) {}

  std::int64_t size() const override { return static_cast<std::int64_t>(bytes_.size()); }

  std::size_t readAt(std::int64_t offset, std::span<std::uint8_t> into) override {
    if (offset < 0 || offset >= size()) {
      return 0;
    }
    const auto count = std::min(into.size(), bytes_.size() - static_cast<std::size_t>(offset));
    std::copy_n(bytes_.begin() + offset, count, into.begin());
    return count;
  }

 private:
  Bytes bytes_;
};

// An element: its ID as written, an 8-byte size, then its payload.
Bytes element(std::uint32_t id, const Bytes& payload) {
  Bytes bytes;
  for (int shift = 24; shift >= 0; shift -= 8) {
    if ((id >> shift) != 0) {
      bytes.push_back(static_cast<std::uint8_t>(id >> shift));
    }
  }
  bytes.push_back(0x01);  // an 8-byte size
  for (int shift = 48; shift >= 0; shift -= 8) {
    bytes.push_back(static_cast<std::uint8_t>(payload.size() >> shift));
  }
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}
Bytes unknownSize(std::uint32_t id, const Bytes& payload) {
  Bytes bytes = element(id, {});
  std::fill(bytes.end() - 7, bytes.end(), 0xFF);
  bytes.insert(bytes.end(), payload.begin(), payload.end());
  return bytes;
}
Bytes joined(const std::vector<Bytes>& parts) {
  Bytes all;
  for (const Bytes& part : parts) {
    all.insert(all.end(), part.begin(), part.end());
  }
  return all;
}
Bytes text(const std::string& value) {
  return Bytes(value.begin(), value.end());
}

const Bytes kHeader = element(0x1A45DFA3, element(0x4282, text("webm")));
const Bytes kCluster = element(0x1F43B675, element(0xE7, {0}));

Bytes track(std::uint8_t type, const std::string& codec, const Bytes& encodings = {}) {
  return element(0xAE, joined({element(0x83, {type}), element(0x86, text(codec)), encodings}));
}
// ContentEncodings holding one ContentEncoding of `fields`.
Bytes encodings(const Bytes& fields) {
  return element(0x6D80, element(0x6240, fields));
}
const Bytes kAesWithoutKeyId = encodings(element(0x5035, element(0x47E1, {5})));
const Bytes kEncryptionType = encodings(element(0x5033, {1}));
const Bytes kCompression = encodings(joined({element(0x5033, {0}), element(0x5034, {})}));

Bytes file(const std::vector<Bytes>& tracks, bool sizedSegment = true) {
  const Bytes segmentBody = joined({element(0x1654AE6B, joined(tracks)), kCluster});
  return joined({kHeader, sizedSegment ? element(0x18538067, segmentBody)
                                       : unknownSize(0x18538067, segmentBody)});
}

struct TracksCase {
  std::string name;
  Bytes bytes;
  std::vector<bool> encrypted;
};

TEST(MatroskaTracks, VideoTracksThatDeclareEncryption) {
  const Bytes plain = file({track(1, "V_VP9"), track(2, "A_OPUS", kAesWithoutKeyId)});
  Bytes cut = file({track(1, "V_VP9", kAesWithoutKeyId)});
  cut.resize(cut.size() - kCluster.size() - 20);
  const std::vector<TracksCase> cases = {
      {"ClearVideoBesideEncryptedAudio", plain, {false}},
      {"AesWithoutAKeyId", file({track(1, "V_VP9", kAesWithoutKeyId)}), {true}},
      {"EncryptionByItsType", file({track(1, "V_MPEG4/ISO/AVC", kEncryptionType)}), {true}},
      {"CompressionIsNoEncryption", file({track(1, "V_VP8", kCompression)}), {false}},
      {"InOrder",
       file({track(1, "V_VP9"), track(1, "V_VP8", kAesWithoutKeyId), track(1, "V_AV1")}),
       {false, true, false}},
      // FFmpeg makes no video stream of a video track with another kind of codec.
      {"VideoTrackOfNoVideoCodec", file({track(1, "S_TEXT/UTF8", kAesWithoutKeyId)}), {}},
      {"SegmentOfUnknownSize", file({track(1, "V_VP9", kAesWithoutKeyId)}, false), {true}},
      // Damaged or no Matroska at all: nothing, so that the library's own reading stands.
      {"NoEbmlHeader", Bytes(64, 0x42), {}},
      {"Empty", {}, {}},
      {"CutInsideTheTracks", cut, {}},
  };
  for (const TracksCase& c : cases) {
    MemoryBytes bytes(c.bytes);
    EXPECT_EQ(matroskaVideoTracksEncrypted(bytes), c.encrypted) << c.name;
  }
}

TEST(EbmlElement, IdsSizesAndLimits) {
  MemoryBytes bytes(
      joined({element(0x1A45DFA3, {1, 2}), {0x42, 0x86, 0x81, 0x01}, {0x00, 0x81}, {0xEC, 0xFF}}));
  ByteWindow window(bytes);
  const auto header = readEbmlElement(window, 0);
  ASSERT_TRUE(header);
  EXPECT_EQ(header->id, 0x1A45DFA3u);
  EXPECT_EQ(header->size, 2u);
  // A one-byte size of 1, then an unsigned of one byte.
  const auto version = readEbmlElement(window, header->end());
  ASSERT_TRUE(version);
  EXPECT_EQ(version->id, 0x4286u);
  EXPECT_EQ(readEbmlUnsigned(window, *version), 1u);
  // No length marker in the first byte: no element.
  EXPECT_FALSE(readEbmlElement(window, version->end()));
  // A size of all ones is unknown.
  const auto open = readEbmlElement(window, version->end() + 2);
  ASSERT_TRUE(open);
  EXPECT_FALSE(open->sized());
}

}  // namespace
}  // namespace korvel
