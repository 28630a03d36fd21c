#include "media/ffmpeg/frame_extraction.hpp"

namespace korvel {

FrameImage extractFrame(AVFormatContext&, MediaTime, double, bool) {
  throw MediaError(AVERROR_PATCHWELCOME);
}

}  // namespace korvel
