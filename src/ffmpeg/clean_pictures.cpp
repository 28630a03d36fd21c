#include "ffmpeg/clean_pictures.hpp"

namespace korvel {

void CleanPictures::noteSent(const AVPacket& packet) {
  if ((packet.flags & AV_PKT_FLAG_KEY) != 0 && !firstSyncPts_) {
    firstSyncPts_ = packet.pts;
  }
}

bool CleanPictures::isClean(const AVFrame& frame) {
  if (frame.decode_error_flags != 0) {
    return false;
  }
  clean_ = clean_ || startsAfresh(frame);
  return clean_;
}

void CleanPictures::restart() {
  firstSyncPts_.reset();
  clean_ = false;
}

bool CleanPictures::startsAfresh(const AVFrame& frame) const {
  // An intra picture needs no other; FFmpeg's H.264 decoder calls an open-GOP I frame corrupt
  // until it meets a recovery point, which a seek may never reach.
  if (frame.key_frame != 0 || frame.pict_type == AV_PICTURE_TYPE_I) {
    return true;
  }
  // Pictures shown before the sync frame are the leading pictures of an open GOP.
  const std::int64_t pts = frame.best_effort_timestamp;
  return firstSyncPts_ && *firstSyncPts_ != AV_NOPTS_VALUE && pts != AV_NOPTS_VALUE &&
         pts >= *firstSyncPts_ && (frame.flags & AV_FRAME_FLAG_CORRUPT) == 0;
}

}  // namespace korvel
