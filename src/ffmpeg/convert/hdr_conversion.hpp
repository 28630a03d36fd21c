#pragma once

#include "ffmpeg/convert/hdr_signal.hpp"
#include "ffmpeg/input/av_owners.hpp"
#include "picture/frame_geometry.hpp"
#include "picture/frame_image.hpp"

namespace korvel {

// The SDR sRGB picture a viewer expects of an HDR one: scaled to `size` first, still in its own
// encoding at 16 bits, then linearised, its highlights tone-mapped, its gamut fitted into
// BT.709 and sRGB-encoded. Throws MediaError.
FrameImage convertHdrToRgb(const AVFrame& frame, PixelSize size, const HdrSignal& signal);

}  // namespace korvel
