#pragma once

#include "picture/frame_image.hpp"
#include "picture/hdr_encoding.hpp"
#include "zimg/plane_image.hpp"

namespace korvel {

// The SDR sRGB picture of an HDR one already at its final size and still in its own encoding
// (16-bit samples read as `encoding` says): linearised, its highlights tone-mapped from the
// encoding's peak, its gamut fitted into BT.709 and sRGB-encoded. Throws MediaError.
FrameImage hdrToSdr(const PlaneImage& encoded, const HdrEncoding& encoding);

}  // namespace korvel
