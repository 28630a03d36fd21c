#pragma once

#include <cstdint>
#include <optional>

#include "ffmpeg/av_owners.hpp"

namespace korvel {

// Tells the pictures a decoder makes with all their references from those it makes without:
// decoding that starts between sync frames gives grey, smeared pictures first, and the
// decoders pass them on (H.264 marks them as corrupt; HEVC, MPEG-2 and MPEG-4 do not say).
// Pictures are clean from the first one that starts afresh: an intra picture, or one from a
// sync point the container marks that the decoder no longer calls corrupt (gradual refresh).
// A picture with concealed damage is never clean.
class CleanPictures {
 public:
  // Every packet, before it goes to the decoder.
  void noteSent(const AVPacket& packet);

  // Every frame the decoder gives, in order.
  bool isClean(const AVFrame& frame);

  // The decoder was flushed: what it held is gone.
  void restart();

  // Whether the clean pictures have begun: every later one without damage is clean.
  bool begun() const { return clean_; }

 private:
  bool startsAfresh(const AVFrame& frame) const;

  std::optional<std::int64_t> firstSyncPts_;
  bool clean_ = false;
};

}  // namespace korvel
