#pragma once

#include <zimg.h>

#include "ffmpeg/av_owners.hpp"

namespace korvel {

// zimg's names for FFmpeg's colour tags; tags zimg does not know are read as BT.2020.
zimg_matrix_coefficients_e zimgMatrix(AVColorSpace matrix);
zimg_color_primaries_e zimgPrimaries(AVColorPrimaries primaries);

}  // namespace korvel
