#include "ffmpeg/decode/decode_loop.hpp"

namespace korvel {

bool decodePacket(AVCodecContext& decoder, const AVPacket* packet, AVFrame& frame,
                  const FrameHandler& handle) {
  // A packet the decoder rejects is corrupt; the frames around it may still decode. A decoder
  // out of memory, though, drops a frame that later ones may refer to, and decodes them all
  // the same, from whatever it holds: no picture after it can be trusted.
  if (avcodec_send_packet(&decoder, packet) == AVERROR(ENOMEM)) {
    throw MediaError();
  }
  int status = 0;
  while ((status = avcodec_receive_frame(&decoder, &frame)) >= 0) {
    if (!handle(frame)) {
      return false;
    }
  }
  if (status == AVERROR(ENOMEM)) {
    throw MediaError();
  }
  return true;
}

}  // namespace korvel
