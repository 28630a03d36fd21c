#pragma once

#include <zimg.h>

#include "picture/frame_image.hpp"
#include "zimg/colour_graph.hpp"
#include "zimg/plane_image.hpp"

namespace korvel {

// The SDR sRGB picture of an HDR one already at its final size and still in its own encoding
// (`encoding`, read with `decoding` precision): linearised, its highlights tone-mapped from
// `peakNits`, its gamut fitted into BT.709 and sRGB-encoded. Throws MediaError.
FrameImage hdrToSdr(const PlaneImage& encoded, const zimg_image_format& encoding,
                    CurvePrecision decoding, double peakNits);

}  // namespace korvel
