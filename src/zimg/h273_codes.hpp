#pragma once

#include <zimg.h>

namespace korvel {

// zimg's names for the H.273 code points of a picture's matrix and primaries; code points zimg
// does not know are read as BT.2020.
zimg_matrix_coefficients_e zimgMatrix(int matrix);
zimg_color_primaries_e zimgPrimaries(int primaries);

}  // namespace korvel
