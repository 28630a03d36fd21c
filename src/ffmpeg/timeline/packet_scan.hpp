#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "ffmpeg/input/demuxer.hpp"

namespace korvel {

// What working out a duration may spend: bytes of packets read, and packets. Counts, not time,
// so that a file answers the same on any machine and under any load.
class ScanBudget {
 public:
  ScanBudget(std::int64_t bytes, std::int64_t packets);

  // Counts one packet of `bytes`; false once either limit is passed.
  bool spend(std::int64_t bytes);

 private:
  std::int64_t bytesLeft_;
  std::int64_t packetsLeft_;
};

// The unit of a TimestampSpan: every common sample rate and video clock divides it, so that
// sample counts add up exactly.
inline constexpr AVRational kSpanTime{1, 705'600'000};

// A stretch of the streams' clock, in kSpanTime.
struct TimestampSpan {
  // Whether some stream's clock ran: its times are the media's (see Stretches::settled).
  bool settled = true;
  // The earliest presentation time.
  std::int64_t first = 0;
  // The earliest of the streams' first packets' presentation times: pictures shown before a
  // stream's first one, decoded after it, lack what they refer to (an open group of pictures
  // cut from its start).
  std::int64_t opening = 0;
  // Where the latest stream's last stretch of clock ends: its latest presentation time plus
  // that packet's length.
  std::int64_t end = 0;
  // What a decoder drops from the end of that stream's last packet: some demuxers count it in
  // the packet's length, others have already taken it off.
  std::int64_t padding = 0;
  // How far that stream's clock jumped between its stretches (a splice, a damaged or crafted
  // timestamp), added up: the span less the gaps counts each stretch once.
  std::int64_t gaps = 0;
  // The longest stream's stretches between jumps of its clock, added up.
  std::int64_t continuous = 0;
  // The longest stream's packet lengths added up, less the priming a decoder drops: the
  // samples it holds, whatever its timestamps say (0 when a packet does not state its length).
  // Padding is not taken off.
  std::int64_t played = 0;
  // The bytes of the packets read.
  std::int64_t bytes = 0;
  // Where the last subtitle shown while sound or pictures play is gone, if after `end`: it
  // holds the screen past the media, and a header may count it in.
  std::int64_t captionsEnd = 0;
};

// What reading the first packets shows, from where the demuxer stands after opening.
struct HeadSpan {
  TimestampSpan head;
  // All of them, when the data is small enough to read whole in this one go.
  std::optional<TimestampSpan> whole;
};

std::optional<HeadSpan> readHead(Demuxer& demuxer, ScanBudget& budget);

// The last packets, as the library reads them from a window before the end of the file to its
// end; the window widens until it holds a timestamp.
std::optional<TimestampSpan> lastPackets(Demuxer& demuxer, ScanBudget& budget);

// The span of every packet from where the demuxer stands to the end of the file; nothing when
// the budget runs out first.
std::optional<TimestampSpan> wholeSpan(AVFormatContext& format, ScanBudget& budget);

// Reads to the end of the file with every stream discarded, so that the library indexes every
// part of it (an MP4's movie fragments) without handing out a packet. Every stream is read
// again afterwards.
void indexWholeFile(AVFormatContext& format);

// Whether frames at the start, the middle and the end of the data all have one length and one
// size, to the padding byte: a constant bit rate, for which the bit-rate estimate is exact.
bool hasConstantBitRate(AVFormatContext& format, std::int64_t dataStart, ScanBudget& budget);

}  // namespace korvel
