#include "ffmpeg/zimg_tags.hpp"

namespace korvel {

zimg_matrix_coefficients_e zimgMatrix(AVColorSpace matrix) {
  switch (matrix) {
    case AVCOL_SPC_BT709:
      return ZIMG_MATRIX_BT709;
    case AVCOL_SPC_FCC:
      return ZIMG_MATRIX_FCC;
    case AVCOL_SPC_BT470BG:
      return ZIMG_MATRIX_BT470_BG;
    case AVCOL_SPC_SMPTE170M:
      return ZIMG_MATRIX_ST170_M;
    case AVCOL_SPC_SMPTE240M:
      return ZIMG_MATRIX_ST240_M;
    case AVCOL_SPC_YCGCO:
      return ZIMG_MATRIX_YCGCO;
    case AVCOL_SPC_BT2020_CL:
      return ZIMG_MATRIX_BT2020_CL;
    case AVCOL_SPC_CHROMA_DERIVED_NCL:
      return ZIMG_MATRIX_CHROMATICITY_DERIVED_NCL;
    case AVCOL_SPC_CHROMA_DERIVED_CL:
      return ZIMG_MATRIX_CHROMATICITY_DERIVED_CL;
    case AVCOL_SPC_ICTCP:
      return ZIMG_MATRIX_ICTCP;
    default:
      return ZIMG_MATRIX_BT2020_NCL;
  }
}

zimg_color_primaries_e zimgPrimaries(AVColorPrimaries primaries) {
  switch (primaries) {
    case AVCOL_PRI_BT709:
      return ZIMG_PRIMARIES_BT709;
    case AVCOL_PRI_BT470M:
      return ZIMG_PRIMARIES_BT470_M;
    case AVCOL_PRI_BT470BG:
      return ZIMG_PRIMARIES_BT470_BG;
    case AVCOL_PRI_SMPTE170M:
      return ZIMG_PRIMARIES_ST170_M;
    case AVCOL_PRI_SMPTE240M:
      return ZIMG_PRIMARIES_ST240_M;
    case AVCOL_PRI_FILM:
      return ZIMG_PRIMARIES_FILM;
    case AVCOL_PRI_SMPTE428:
      return ZIMG_PRIMARIES_ST428;
    case AVCOL_PRI_SMPTE431:
      return ZIMG_PRIMARIES_ST431_2;
    case AVCOL_PRI_SMPTE432:
      return ZIMG_PRIMARIES_ST432_1;
    case AVCOL_PRI_EBU3213:
      return ZIMG_PRIMARIES_EBU3213_E;
    default:
      return ZIMG_PRIMARIES_BT2020;
  }
}

}  // namespace korvel
