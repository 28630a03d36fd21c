#include "ffmpeg/decode_loop.hpp"

namespace korvel {

bool decodePacket(AVCodecContext& decoder, const AVPacket* packet, AVFrame& frame,
                  const FrameHandler& handle) {
  // A packet the decoder rejects is corrupt; the frames around it may still decode.
  (void)avcodec_send_packet(&decoder, packet);
  while (avcodec_receive_frame(&decoder, &frame) >= 0) {
    if (!handle(frame)) {
      return false;
    }
  }
  return true;
}

}  // namespace korvel
