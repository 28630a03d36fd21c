#include "zimg/h273_codes.hpp"

#include <algorithm>
#include <array>

namespace korvel {
namespace {

// zimg numbers its enumerations by H.273 itself.
constexpr std::array kMatrices = {
    ZIMG_MATRIX_BT709,
    ZIMG_MATRIX_FCC,
    ZIMG_MATRIX_BT470_BG,
    ZIMG_MATRIX_ST170_M,
    ZIMG_MATRIX_ST240_M,
    ZIMG_MATRIX_YCGCO,
    ZIMG_MATRIX_BT2020_NCL,
    ZIMG_MATRIX_BT2020_CL,
    ZIMG_MATRIX_CHROMATICITY_DERIVED_NCL,
    ZIMG_MATRIX_CHROMATICITY_DERIVED_CL,
    ZIMG_MATRIX_ICTCP,
};
constexpr std::array kPrimaries = {
    ZIMG_PRIMARIES_BT709,   ZIMG_PRIMARIES_BT470_M,   ZIMG_PRIMARIES_BT470_BG,
    ZIMG_PRIMARIES_ST170_M, ZIMG_PRIMARIES_ST240_M,   ZIMG_PRIMARIES_FILM,
    ZIMG_PRIMARIES_BT2020,  ZIMG_PRIMARIES_ST428,     ZIMG_PRIMARIES_ST431_2,
    ZIMG_PRIMARIES_ST432_1, ZIMG_PRIMARIES_EBU3213_E,
};

template <typename Code, std::size_t kCount>
Code known(int code, const std::array<Code, kCount>& codes, Code otherwise) {
  const auto found = std::find_if(codes.begin(), codes.end(),
                                  [code](Code candidate) { return candidate == code; });
  return found != codes.end() ? *found : otherwise;
}

}  // namespace

zimg_matrix_coefficients_e zimgMatrix(int matrix) {
  return known(matrix, kMatrices, ZIMG_MATRIX_BT2020_NCL);
}

zimg_color_primaries_e zimgPrimaries(int primaries) {
  return known(primaries, kPrimaries, ZIMG_PRIMARIES_BT2020);
}

}  // namespace korvel
