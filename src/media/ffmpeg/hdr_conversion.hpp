#pragma once

#include "media/ffmpeg/av_owners.hpp"
#include "media/ffmpeg/hdr_signal.hpp"
#include "media/frame_geometry.hpp"
#include "media/media_asset.hpp"

namespace korvel {

// The SDR sRGB picture a viewer expects of an HDR one: scaled to `size` first, still in its own
// encoding at 16 bits, then linearised, its highlights tone-mapped, its gamut fitted into
// BT.709 and sRGB-encoded. Throws MediaError.
FrameImage convertHdrToRgb(const AVFrame& frame, PixelSize size, const HdrSignal& signal);

}  // namespace korvel
