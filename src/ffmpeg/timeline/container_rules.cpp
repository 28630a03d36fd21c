#include "ffmpeg/timeline/container_rules.hpp"

#include <array>

namespace korvel {
namespace {

using enum TimelineOrigin;
using enum LengthRule;
using enum Padding;

// Every accepted container, by FFmpeg's demuxer name.
constexpr std::array kRules = {
    ContainerRule{"mov", kZero, kSampleIndex},
    ContainerRule{"matroska", kZero, kStatedCheckedByTail},
    // Frame counts and send times from zero: a muxer that starts late writes the gap as time
    // (empty frames, a preroll), as MP4 writes an empty edit.
    ContainerRule{"avi", kZero, kSampleIndexElseTail},
    // The header's play time counts from zero across all streams; the library adds the first
    // video frame's time to it once more.
    ContainerRule{"asf", kZero, kTimestamps},
    // The library's own estimate from the ends leaves out the last packets' lengths.
    ContainerRule{"mpegts", kFirstTimestamp, kTimestamps},
    ContainerRule{"mpeg", kFirstTimestamp, kTimestamps},
    // Granule positions are absolute, and the last one is where the streams end.
    ContainerRule{"ogg", kZeroUnlessLate, kTimestamps, kOffDuration},
    // Tag times run on the recorder's clock; a header's duration counts from its zero, and
    // counts a composition delay in too.
    ContainerRule{"flv", kFirstTimestamp, kTimestamps},
    ContainerRule{"mp3", kZero, kStatedElsePackets},
    ContainerRule{"aac", kZero, kStatedElsePackets},
    ContainerRule{"flac", kZero, kStatedElsePackets},
    ContainerRule{"amr", kZero, kStatedElsePackets},
    ContainerRule{"wav", kZero, kStatedElsePcm},
    ContainerRule{"aiff", kZero, kStatedElsePcm},
    ContainerRule{"caf", kZero, kStatedElsePcm},
};

constexpr ContainerRule kOther{"", kZero, kLibrary};

// FFmpeg names a demuxer by the list of formats it reads: "mov,mp4,m4a,3gp,3g2,mj2".
std::string_view firstName(const char* names) {
  const std::string_view all(names);
  return all.substr(0, all.find(','));
}

}  // namespace

const ContainerRule& containerRule(const AVInputFormat& format) {
  const std::string_view name = firstName(format.name);
  for (const ContainerRule& rule : kRules) {
    if (rule.demuxer == name) {
      return rule;
    }
  }
  return kOther;
}

}  // namespace korvel
