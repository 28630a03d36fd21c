#pragma once

#include <cstdint>
#include <optional>

namespace korvel {

// Bounds the decoding after the sync frame: about 72 frames of 1080p or 18 of 4K, well under
// a second on one core, so a file with rare sync frames still answers quickly. Tiny pictures
// cost per frame and per packet more than per pixel, and a packet costs by its bytes too
// (inflated from a compressed track, the decoder scans them all), so those are bounded as
// well. All of these are counts, so that the same file gives the same answer on any machine;
// what a crafted stream still makes slow, the run's bound on processor time ends.
struct DecodeBudget {
  std::int64_t lumaPixels = 150'000'000;
  std::int64_t codedPixels = 2 * lumaPixels;
  int frames = 2000;
  int packets = 8000;
  // The pixels run out first on real video: 72 frames of 1080p at 200 Mb/s take 18 MiB.
  std::int64_t packetBytes = std::int64_t{64} << 20;
};

// What the choice needs to know of a decoded frame.
struct DecodedFrame {
  bool clean = false;               // see CleanPictures
  std::optional<std::int64_t> pts;  // in the stream's time base
  std::int64_t duration = 0;        // 0 when unknown
  std::int64_t shownPixels = 0;     // the picture area
  std::int64_t codedPixels = 0;     // the area the decoder worked on, at least the shown one
};

// Chooses, among the frames decoded in order, the one a player shows at `target`: the last
// clean frame presented at or before it, else the first clean one after it; once the budget
// is spent, the latest clean frame.
class FrameChoice {
 public:
  enum class Verdict {
    kDrop,         // not the answer; go on decoding
    kKeep,         // the answer so far; go on decoding
    kKeepAndStop,  // the answer
    kStop,         // not the answer, and the one kept before it is
  };

  explicit FrameChoice(std::int64_t target, DecodeBudget budget = {});

  // Every packet (of `bytes`) before it goes to the decoder: false once the packets or their
  // bytes are spent.
  bool admitsPacket(std::int64_t bytes);

  // Every frame the decoder gives, in order.
  Verdict consider(const DecodedFrame& frame);

  // Whether a frame was kept.
  bool chosen() const { return chosen_; }

 private:
  bool withinBudget(const DecodedFrame& frame);

  std::int64_t target_;
  DecodeBudget budget_;
  bool chosen_ = false;
  bool decodedAny_ = false;
  std::int64_t shownPixels_ = 0;
  std::int64_t codedPixels_ = 0;
  int framesDecoded_ = 0;
  int packetsSent_ = 0;
  std::int64_t bytesSent_ = 0;
};

}  // namespace korvel
