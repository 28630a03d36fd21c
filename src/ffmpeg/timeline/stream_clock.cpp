#include "ffmpeg/timeline/stream_clock.hpp"

#include <algorithm>

namespace korvel {
namespace {

// The usual gap between the timestamps, the median so that uneven timing does not skew it.
std::int64_t typicalGap(std::vector<std::int64_t> times) {
  std::sort(times.begin(), times.end());
  std::vector<std::int64_t> gaps;
  for (std::size_t i = 1; i < times.size(); ++i) {
    if (times[i] > times[i - 1]) {
      std::int64_t gap = 0;
      gaps.push_back(__builtin_sub_overflow(times[i], times[i - 1], &gap) ? INT64_MAX : gap);
    }
  }
  if (gaps.empty()) {
    return 0;
  }
  const auto middle = gaps.begin() + static_cast<std::ptrdiff_t>(gaps.size() / 2);
  std::nth_element(gaps.begin(), middle, gaps.end());
  return *middle;
}

}  // namespace

std::int64_t saturatingAdd(std::int64_t a, std::int64_t b) {
  std::int64_t sum = 0;
  if (__builtin_add_overflow(a, b, &sum)) {
    return b > 0 ? INT64_MAX : INT64_MIN;
  }
  return sum;
}

std::int64_t saturatingSub(std::int64_t a, std::int64_t b) {
  std::int64_t difference = 0;
  if (__builtin_sub_overflow(a, b, &difference)) {
    return b < 0 ? INT64_MAX : INT64_MIN;
  }
  return difference;
}

void ClockPiece::add(std::int64_t shownFrom, std::int64_t pts, std::int64_t duration) {
  if (packets_++ == 0) {
    opening_ = shownFrom;
  }
  first_ = std::min(first_, shownFrom);
  if (duration > 0) {
    datedEnd_ = std::max(datedEnd_, saturatingAdd(pts, duration));
  } else {
    undated_.push_back(pts);
  }
}

std::int64_t ClockPiece::end(std::int64_t statedFrame) const {
  if (undated_.empty()) {
    return datedEnd_;
  }
  const std::int64_t frame = statedFrame > 0 ? statedFrame : typicalGap(undated_);
  const std::int64_t last = *std::max_element(undated_.begin(), undated_.end());
  return std::max(datedEnd_, saturatingAdd(last, frame));
}

std::int64_t ClockPiece::length(std::int64_t statedFrame) const {
  std::int64_t length = 0;
  const std::int64_t last = end(statedFrame);
  return first_ < last && !__builtin_sub_overflow(last, first_, &length) ? length : 0;
}

void Stretches::count(const ClockPiece& piece, std::int64_t statedFrame) {
  if (any) {
    gaps = saturatingAdd(gaps, saturatingAdd(piece.first(), -end));
  } else {
    first = piece.first();
    opening = piece.opening();
  }
  any = true;
  end = piece.end(statedFrame);
  length = saturatingAdd(length, piece.length(statedFrame));
}

void StreamClock::add(const PacketTimes& packet) {
  // Decode times run on without jumps, and never back; a jump ends the stretch so far.
  // (Presentation times, where no decode time is known, may go back for B-frames.)
  const std::int64_t now = packet.dts.value_or(packet.pts);
  const bool goesBack = packet.dts && lastDecode_ && *packet.dts < *lastDecode_;
  if (clock_ &&
      (goesBack || now < saturatingAdd(*clock_, -jump_) || now > saturatingAdd(*clock_, jump_))) {
    if (!piece_.stray()) {
      closed_.count(piece_, frame_);
    }
    piece_ = ClockPiece{};
    jumped_ = true;
  }
  clock_ = now;
  lastDecode_ = packet.dts;
  // Priming may outlast its packet (an MP3 encoder's delay over two short frames).
  if (packet.priming > 0) {
    primedUntil_ = std::max(primedUntil_, saturatingAdd(packet.pts, packet.priming));
  }
  piece_.add(std::max(packet.pts, primedUntil_), packet.pts, packet.duration);
  if (packet.duration > 0) {
    played_ = saturatingAdd(played_, saturatingAdd(packet.duration, -packet.priming));
  } else {
    allDated_ = false;
  }
  padding_ = packet.padding;
}

Stretches StreamClock::stretches() const {
  // Every stretch closed that is no stray, and the last one unless it is a stray after real
  // ones.
  Stretches all = closed_;
  if (!all.any || !piece_.stray()) {
    all.count(piece_, frame_);
  }
  all.settled = !jumped_ || closed_.any || !piece_.stray();
  return all;
}

}  // namespace korvel
