#pragma once

#include <functional>

#include "ffmpeg/input/av_owners.hpp"

namespace korvel {

// Takes each frame the decoder gives: true to go on, false when no more are wanted.
using FrameHandler = std::function<bool(AVFrame& frame)>;

// Sends `packet` to the decoder (nullptr: the stream's end, which drains it) and hands every
// frame it then gives to `handle`, in `frame`. False once `handle` wants no more. Throws
// MediaError when the decoder runs out of memory.
bool decodePacket(AVCodecContext& decoder, const AVPacket* packet, AVFrame& frame,
                  const FrameHandler& handle);

}  // namespace korvel
