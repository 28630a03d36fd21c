#include "zimg/hdr_to_sdr.hpp"

#include <cstdint>

#include "picture/sdr_fit.hpp"
#include "picture/tone_curve.hpp"
#include "picture/tone_table.hpp"
#include "zimg/colour_graph.hpp"
#include "zimg/h273_codes.hpp"

namespace korvel {
namespace {

zimg_image_format bt709Format(PixelSize size, zimg_pixel_type_e type,
                              zimg_transfer_characteristics_e transfer) {
  zimg_image_format format = defaultFormat(size);
  format.pixel_type = type;
  format.depth = type == ZIMG_PIXEL_BYTE ? 8 : 32;
  format.color_family = ZIMG_COLOR_RGB;
  format.matrix_coefficients = ZIMG_MATRIX_RGB;
  format.transfer_characteristics = transfer;
  format.color_primaries = ZIMG_PRIMARIES_BT709;
  format.pixel_range = ZIMG_RANGE_FULL;
  return format;
}

zimg_image_format encodedFormat(PixelSize size, const HdrEncoding& encoding) {
  zimg_image_format format = defaultFormat(size);
  format.pixel_type = ZIMG_PIXEL_WORD;
  format.depth = 16;
  format.color_family = encoding.rgb ? ZIMG_COLOR_RGB : ZIMG_COLOR_YUV;
  format.matrix_coefficients = encoding.rgb ? ZIMG_MATRIX_RGB : zimgMatrix(encoding.matrix);
  format.transfer_characteristics = encoding.transfer == HdrEncoding::Transfer::kPq
                                        ? ZIMG_TRANSFER_ST2084
                                        : ZIMG_TRANSFER_ARIB_B67;
  format.color_primaries = zimgPrimaries(encoding.primaries);
  format.pixel_range = encoding.fullRange ? ZIMG_RANGE_FULL : ZIMG_RANGE_LIMITED;
  return format;
}

void fitPlanesIntoSdr(PlaneImage& linear, const ToneTable& tones) {
  for (int y = 0; y < linear.size().height; ++y) {
    float* r = linear.row<float>(0, y);
    float* g = linear.row<float>(1, y);
    float* b = linear.row<float>(2, y);
    for (int x = 0; x < linear.size().width; ++x) {
      const LinearRgb fitted = fitIntoSdr(LinearRgb{r[x], g[x], b[x]}, tones);
      r[x] = fitted.r;
      g[x] = fitted.g;
      b[x] = fitted.b;
    }
  }
}

FrameImage interleave(const PlaneImage& planes) {
  FrameImage image;
  image.width = planes.size().width;
  image.height = planes.size().height;
  image.rgb.resize(static_cast<std::size_t>(image.width) * image.height * 3);
  auto out = image.rgb.begin();
  for (int y = 0; y < image.height; ++y) {
    const std::uint8_t* r = planes.row<std::uint8_t>(0, y);
    const std::uint8_t* g = planes.row<std::uint8_t>(1, y);
    const std::uint8_t* b = planes.row<std::uint8_t>(2, y);
    for (int x = 0; x < image.width; ++x) {
      *out++ = r[x];
      *out++ = g[x];
      *out++ = b[x];
    }
  }
  return image;
}

}  // namespace

FrameImage hdrToSdr(const PlaneImage& encoded, const HdrEncoding& encoding) {
  const PixelSize size = encoded.size();
  const zimg_image_format linearFormat = bt709Format(size, ZIMG_PIXEL_FLOAT, ZIMG_TRANSFER_LINEAR);
  PlaneImage linear(size, sizeof(float));
  // zimg's approximate HLG curve is too far off to use; its PQ table is close enough.
  const CurvePrecision decoding = encoding.transfer == HdrEncoding::Transfer::kPq
                                      ? CurvePrecision::kTabled
                                      : CurvePrecision::kExact;
  ColourGraph(encodedFormat(size, encoding), linearFormat, kReferenceWhiteNits, decoding)
      .run(encoded, linear);
  fitPlanesIntoSdr(linear, ToneTable(ToneCurve(encoding.peakNits, kReferenceWhiteNits)));
  PlaneImage srgb(size, sizeof(std::uint8_t));
  ColourGraph(linearFormat, bt709Format(size, ZIMG_PIXEL_BYTE, ZIMG_TRANSFER_IEC_61966_2_1),
              kReferenceWhiteNits, CurvePrecision::kTabled)
      .run(linear, srgb);
  return interleave(srgb);
}

}  // namespace korvel
