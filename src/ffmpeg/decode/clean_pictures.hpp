#pragma once

#include "ffmpeg/input/av_owners.hpp"

namespace korvel {

// Tells the pictures a decoder makes with all their references from those it makes without:
// decoding that starts between sync frames gives grey, smeared pictures first, and the
// decoders pass them on. Only the decoder's word counts, never the container's key flag,
// which a file may set on every block. Pictures are clean from the first one the decoder
// marks a key frame or codes intra; with H.264, which marks every picture corrupt until it has
// decoded a recovery point (an IDR, even one an edit list hides, or a completed gradual
// refresh), from the first one it does not mark. A picture with damage the decoder reports is
// never clean, and the pictures after it, which may refer to it, are clean again only from a
// key frame, an intra picture, or one that H.264 stops marking corrupt after marking those
// before it so.
class CleanPictures {
 public:
  // `marksRecovery`: the decoder marks the pictures before its recovery point corrupt (H.264).
  explicit CleanPictures(bool marksRecovery) : marksRecovery_(marksRecovery) {}

  // Every frame the decoder gives, in order.
  bool isClean(const AVFrame& frame);

  // The decoder was flushed: what it held is gone.
  void restart();

  // Whether the clean pictures have begun: every later one without damage is clean.
  bool begun() const { return clean_; }

 private:
  bool startsAfresh(const AVFrame& frame) const;

  bool marksRecovery_;
  bool afterDamage_ = false;
  bool markedCorrupt_ = false;  // since the damage
  bool clean_ = false;
};

}  // namespace korvel
