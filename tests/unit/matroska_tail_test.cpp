#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "media/ffmpeg/matroska_tail.hpp"

namespace korvel {

bool operator==(const ClusterBlock& a, const ClusterBlock& b) {
  return a.track == b.track && a.timestamp == b.timestamp && a.duration == b.duration;
}

void PrintTo(const ClusterBlock& block, std::ostream* out) {
  *out << "{track " << block.track << ", at " << block.timestamp << ", lasts "
       << (block.duration ? std::to_string(*block.duration) : "?") << "}";
}

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) {
    out.insert(out.end(), part.begin(), part.end());
  }
  return out;
}

// An element with its size as a one or two byte vint.
Bytes element(Bytes id, const Bytes& payload) {
  const std::size_t size = payload.size();
  if (size < 0x7F) {
    id.push_back(static_cast<std::uint8_t>(0x80 | size));
  } else {
    id.push_back(static_cast<std::uint8_t>(0x40 | (size >> 8)));
    id.push_back(static_cast<std::uint8_t>(size & 0xFF));
  }
  return concat({id, payload});
}

const Bytes kClusterId = {0x1F, 0x43, 0xB6, 0x75};
const Bytes kUnknownSize = {0x01, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

Bytes timestamp(std::uint16_t value) {
  return element({0xE7}, {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
}

// Track as a one-byte vint, relative time as big-endian int16, keyframe flags, payload.
Bytes blockBody(std::uint8_t track, std::int16_t relative, const Bytes& payload) {
  const auto bits = static_cast<std::uint16_t>(relative);
  return concat({{static_cast<std::uint8_t>(0x80 | track), static_cast<std::uint8_t>(bits >> 8),
                  static_cast<std::uint8_t>(bits & 0xFF), 0x80},
                 payload});
}

Bytes simpleBlock(std::uint8_t track, std::int16_t relative, const Bytes& payload = {0xAB}) {
  return element({0xA3}, blockBody(track, relative, payload));
}

Bytes blockGroup(std::uint8_t track, std::int16_t relative, std::optional<std::uint8_t> duration) {
  Bytes group = element({0xA1}, blockBody(track, relative, {0xCD, 0xEF}));
  if (duration) {
    group = concat({group, element({0x9B}, {*duration})});
  }
  return element({0xA0}, group);
}

Bytes cluster(std::uint16_t time, const Bytes& children) {
  return element(kClusterId, concat({timestamp(time), children}));
}

std::vector<ClusterBlock> parse(const Bytes& bytes) {
  return lastClusterBlocks(bytes);
}

using Blocks = std::vector<ClusterBlock>;

TEST(MatroskaTail, SimpleBlocksAndBlockGroupsGetAbsoluteTimes) {
  const Bytes bytes = concat(
      {{0x00, 0x42},                                               // stray bytes before the cluster
       element(kClusterId, concat({element({0xBF}, {1, 2, 3, 4}),  // CRC-32
                                   timestamp(1000), simpleBlock(1, 0), simpleBlock(2, 33),
                                   simpleBlock(1, -5), element({0xEC}, {0, 0}),  // Void
                                   blockGroup(1, 40, 20), blockGroup(2, 0x7FFF, std::nullopt)}))});
  EXPECT_EQ(parse(bytes), (Blocks{{1, 1000, std::nullopt},
                                  {2, 1033, std::nullopt},
                                  {1, 995, std::nullopt},
                                  {1, 1040, 20},
                                  {2, 1000 + 0x7FFF, std::nullopt}}));
}

TEST(MatroskaTail, MultiByteVintsForTrackTimestampAndSizes) {
  const Bytes bigPayload(300, 0x11);  // forces a two-byte size
  const Bytes block = element({0xA3}, concat({{0x40, 0xC8, 0xFF, 0xFE, 0x00}, bigPayload}));
  const Bytes wideTimestamp = element({0xE7}, {0x01, 0x00, 0x00});
  EXPECT_EQ(parse(element(kClusterId, concat({wideTimestamp, block}))),
            (Blocks{{200, 65536 - 2, std::nullopt}}));
}

TEST(MatroskaTail, BlockDurationMayPrecedeTheBlock) {
  const Bytes group = element(
      {0xA0}, concat({element({0x9B}, {0x01, 0x00}), element({0xA1}, blockBody(3, 7, {}))}));
  EXPECT_EQ(parse(cluster(10, group)), (Blocks{{3, 17, 256}}));
}

TEST(MatroskaTail, UnknownSizeClusterRunsToTheNextTopLevelElement) {
  const Bytes cues = element({0x1C, 0x53, 0xBB, 0x6B}, {0xBB, 0x80});
  const Bytes open =
      concat({kClusterId, kUnknownSize, timestamp(500), simpleBlock(1, 0), blockGroup(1, 25, 25)});
  const Blocks expected{{1, 500, std::nullopt}, {1, 525, 25}};
  EXPECT_EQ(parse(open), expected);
  EXPECT_EQ(parse(concat({open, cues})), expected);
  // A block after the next level-1 element is not the cluster's, however it got there.
  const Bytes emptyTags = element({0x12, 0x54, 0xC3, 0x67}, {});
  EXPECT_EQ(parse(concat({open, emptyTags, simpleBlock(1, 900)})), expected);
}

TEST(MatroskaTail, TruncatedLastBlockIsDropped) {
  Bytes bytes = cluster(100, concat({simpleBlock(1, 0), simpleBlock(1, 40, Bytes(20, 0x55))}));
  bytes.resize(bytes.size() - 10);
  EXPECT_EQ(parse(bytes), (Blocks{{1, 100, std::nullopt}}));
}

TEST(MatroskaTail, LastClusterWins) {
  const Bytes bytes = concat({cluster(0, concat({simpleBlock(1, 0), simpleBlock(1, 40)})),
                              cluster(2000, concat({simpleBlock(2, 10), blockGroup(1, 20, 40)}))});
  EXPECT_EQ(parse(bytes), (Blocks{{2, 2010, std::nullopt}, {1, 2020, 40}}));
}

TEST(MatroskaTail, LastClusterWithoutCompleteBlockDefersToTheOneBefore) {
  Bytes bytes = concat({cluster(0, simpleBlock(1, 40)), cluster(2000, simpleBlock(1, 0))});
  bytes.resize(bytes.size() - 2);
  EXPECT_EQ(parse(bytes), (Blocks{{1, 40, std::nullopt}}));
}

TEST(MatroskaTail, ClusterIdInsideAPayloadIsIgnored) {
  // A real cluster states its timestamp before any block; these do not.
  const Bytes noTimestamp = concat({kClusterId, {0x88}, simpleBlock(9, 0)});
  const Bytes timestampTooLate = concat({kClusterId, {0x8B}, simpleBlock(9, 0), timestamp(7)});
  const Bytes garbageAfterId = concat({kClusterId, {0xFF, 0x00, 0x12}});
  for (const Bytes& fake : {noTimestamp, timestampTooLate, garbageAfterId}) {
    const Bytes bytes = cluster(
        300, concat({simpleBlock(1, 0, concat({{0x01}, fake, {0x02}})), simpleBlock(1, 20)}));
    EXPECT_EQ(parse(bytes), (Blocks{{1, 300, std::nullopt}, {1, 320, std::nullopt}}));
  }
}

TEST(MatroskaTail, NothingFoundInGarbageOrEmptyInput) {
  EXPECT_TRUE(parse({}).empty());
  EXPECT_TRUE(parse({0x00, 0xFF, 0x1F, 0x43, 0xB6}).empty());
  EXPECT_TRUE(parse(kClusterId).empty());                          // ID at the very end
  EXPECT_TRUE(parse(concat({kClusterId, {0x00, 0x00}})).empty());  // invalid size
  EXPECT_TRUE(parse(cluster(5, {})).empty());                      // no blocks at all
  EXPECT_TRUE(parse(concat({kClusterId, {0x84}, simpleBlock(1, 0)})).empty());  // no timestamp
  // Noise with cluster IDs planted in it: every candidate must be tried and refused.
  Bytes noise(4096);
  std::uint32_t state = 12345;
  for (std::uint8_t& byte : noise) {
    state = state * 1103515245u + 12345u;
    byte = static_cast<std::uint8_t>(state >> 24);
  }
  for (const std::size_t at : {100, 2000, 4090}) {
    std::copy(kClusterId.begin(), kClusterId.end(), noise.begin() + static_cast<long>(at));
  }
  EXPECT_TRUE(parse(noise).empty());
}

}  // namespace
}  // namespace korvel
