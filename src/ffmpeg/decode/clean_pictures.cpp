#include "ffmpeg/decode/clean_pictures.hpp"

namespace korvel {

bool CleanPictures::isClean(const AVFrame& frame) {
  if (frame.decode_error_flags != 0) {
    clean_ = false;
    afterDamage_ = true;
    markedCorrupt_ = false;
    return false;
  }
  clean_ = clean_ || startsAfresh(frame);
  markedCorrupt_ = markedCorrupt_ || (frame.flags & AV_FRAME_FLAG_CORRUPT) != 0;
  return clean_;
}

void CleanPictures::restart() {
  afterDamage_ = false;
  markedCorrupt_ = false;
  clean_ = false;
}

bool CleanPictures::startsAfresh(const AVFrame& frame) const {
  // An intra picture needs no other; FFmpeg's H.264 decoder calls an open-GOP I frame corrupt
  // until it meets a recovery point, which a seek may never reach.
  if (frame.key_frame != 0 || frame.pict_type == AV_PICTURE_TYPE_I) {
    return true;
  }
  const bool corrupt = (frame.flags & AV_FRAME_FLAG_CORRUPT) != 0;
  // After damage the decoder still counts itself recovered: only a new recovery counts.
  return marksRecovery_ && !corrupt && (!afterDamage_ || markedCorrupt_);
}

}  // namespace korvel
