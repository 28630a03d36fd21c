#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace korvel {

// One packet's times, in its stream's time base, as a stream's clock reads them.
struct PacketTimes {
  std::int64_t pts = 0;
  std::optional<std::int64_t> dts;  // the decode time, where the demuxer knows it
  std::int64_t duration = 0;        // 0 where the packet does not say how long it lasts
  std::int64_t priming = 0;         // what a decoder drops from its start (an encoder's delay)
  std::int64_t padding = 0;         // what a decoder drops from its end
};

// Timestamps come from the file: a crafted one may sit at either end of the range.
std::int64_t saturatingAdd(std::int64_t a, std::int64_t b);
std::int64_t saturatingSub(std::int64_t a, std::int64_t b);

// One stretch of a stream's clock without jumps. A packet that does not say how long it lasts
// lasts one frame of its stream, or the usual gap between the stretch's packets.
class ClockPiece {
 public:
  void add(std::int64_t shownFrom, std::int64_t pts, std::int64_t duration);

  // A stretch of one or two packets between jumps is a stray timestamp (damage, a crafted
  // packet), not a stretch of the clock.
  bool stray() const { return packets_ <= 2; }
  std::int64_t first() const { return first_; }
  std::int64_t opening() const { return opening_; }
  std::int64_t end(std::int64_t statedFrame) const;
  std::int64_t length(std::int64_t statedFrame) const;

 private:
  int packets_ = 0;
  std::int64_t opening_ = INT64_MAX;
  std::int64_t first_ = INT64_MAX;
  std::int64_t datedEnd_ = INT64_MIN;
  std::vector<std::int64_t> undated_;
};

// The stretches of a stream's clock that count, in order.
struct Stretches {
  bool any = false;
  // Whether the clock ran anywhere: false when every stretch is a stray between jumps (a tail
  // of crafted packets whose times fall), so that its times say nothing of the media's.
  bool settled = true;
  std::int64_t first = INT64_MAX;    // the earliest time shown
  std::int64_t opening = INT64_MAX;  // the first packet's time
  std::int64_t end = INT64_MIN;      // where the last stretch ends
  // From each stretch's end to the next one's start, added up: forward jumps count positive,
  // backward ones negative, so that the span less the gaps is the stretches' length.
  std::int64_t gaps = 0;
  std::int64_t length = 0;

  void count(const ClockPiece& piece, std::int64_t statedFrame);
};

// The timestamps of one stream's packets, in its time base. A clock that moves more than
// `jump` between two packets has jumped (a splice of two recordings, a crafted or damaged
// timestamp): the stretches on either side are counted apart, and a stray one counts only
// where the stream has nothing else.
class StreamClock {
 public:
  // `frame`: one frame of the stream where it states one, else 0.
  StreamClock(std::int64_t frame, std::int64_t jump) : frame_(frame), jump_(jump) {}

  void add(const PacketTimes& packet);

  Stretches stretches() const;
  // The packets' own lengths added up, less their priming; 0 when some packet does not say
  // its length.
  std::int64_t played() const { return allDated_ ? played_ : 0; }
  // What the decoder drops from the end of the last packet.
  std::int64_t padding() const { return padding_; }

 private:
  std::int64_t frame_;
  std::int64_t jump_;
  std::optional<std::int64_t> clock_;
  std::optional<std::int64_t> lastDecode_;
  bool jumped_ = false;
  std::int64_t primedUntil_ = INT64_MIN;
  ClockPiece piece_;
  Stretches closed_;
  std::int64_t played_ = 0;
  bool allDated_ = true;
  std::int64_t padding_ = 0;
};

}  // namespace korvel
