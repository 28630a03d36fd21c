#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "ffmpeg/packet_scan.hpp"

namespace korvel {

// What an MP4's duration depends on that FFmpeg does not pass on: whether a header duration
// means "unknown" (all ones), and the timing of the movie fragments.
struct Mp4Track {
  std::uint32_t id = 0;
  std::uint32_t timescale = 0;
  // The media time shown at the movie's zero, in the track's timescale (its edit list).
  std::int64_t timeOffset = 0;
  std::uint32_t defaultSampleDuration = 0;
};

struct Mp4Movie {
  bool durationUnknown = false;
  // The samples continue in movie fragments.
  bool fragmented = false;
  // The fragmented movie's whole length, when its header states a real one.
  std::optional<double> fragmentedSeconds;
  std::vector<Mp4Track> tracks;
};

// Whether the sample tables of the file `fd`, if it is an MP4, claim no more samples than it
// has bytes: every sample takes at least one, and the library sets aside room for each before
// reading any.
bool mp4SampleTablesFit(int fd);

// Reads the movie header of the file `fd`; nothing when it has none that parses.
std::optional<Mp4Movie> readMp4Movie(int fd);

// Where the presentation of the fragments ends, in microseconds from the timeline's zero,
// over the tracks whose IDs are in `tracks`: the last fragment's decode time plus its
// samples' durations and composition offsets. Nothing when the file holds no fragment or they
// cannot be read within `budget`.
std::optional<std::int64_t> mp4FragmentsEnd(int fd, const Mp4Movie& movie,
                                            const std::vector<std::uint32_t>& tracks,
                                            ScanBudget& budget);

}  // namespace korvel
