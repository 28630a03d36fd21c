#pragma once

#include <string_view>

#include "ffmpeg/input/av_owners.hpp"

namespace korvel {

// Where position 0 of a file's timeline lies on its streams' clock.
enum class TimelineOrigin {
  // The clock's zero: an empty edit or a late first frame is part of the timeline.
  kZero,
  // The first timestamp: broadcast and streaming clocks start anywhere.
  kFirstTimestamp,
  // The clock's zero, unless the first timestamp comes well after it (a stream joined late);
  // time before zero is never heard (a first block, a pre-skip), and a first timestamp a
  // little after it means leading pages were lost.
  kZeroUnlessLate,
};

// How a container's length is found. A header is only a shortcut to the span of the media's
// own timestamps, taken where it can be trusted.
enum class LengthRule {
  // The header where the samples of the index (an MP4's sample tables and fragments) that are
  // present in the file bear it out; else those samples. No sample, no length.
  kSampleIndex,
  // As kSampleIndex for a file with an index (an AVI's); without one, as kStatedCheckedByTail.
  kSampleIndexElseTail,
  // The last timestamps near the end of the file, and a stated duration where it does not
  // outlast them.
  kStatedCheckedByTail,
  // The timestamps at both ends, always: what the library reports may be a guess.
  kTimestamps,
  // What the library reads: the header, else the streams' own statements, else the library's
  // probing of the packets.
  kLibrary,
  // A real header (frame count, sample count) where the file's bytes could hold it at the
  // rate its first frames show; else every frame's samples within a bound; else the bit-rate
  // estimate, only where the bit rate is shown to be constant.
  kStatedElsePackets,
  // The data size over the block size for PCM; otherwise as kStatedElsePackets.
  kStatedElsePcm,
};

// Where the demuxer counts the padding a decoder drops from a stream's last packet.
enum class Padding {
  kInDuration,   // in the packet's length: it is taken off the end
  kOffDuration,  // already off the packet's length (Ogg, to its granule)
};

struct ContainerRule {
  std::string_view demuxer;
  TimelineOrigin origin;
  LengthRule length;
  Padding padding = Padding::kInDuration;
};

// The rule of the container `format` was opened as.
const ContainerRule& containerRule(const AVInputFormat& format);

}  // namespace korvel
