#include "zimg/hdr_to_sdr.hpp"

#include <cstdint>

#include "picture/sdr_fit.hpp"
#include "picture/tone_curve.hpp"
#include "picture/tone_table.hpp"

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

FrameImage hdrToSdr(const PlaneImage& encoded, const zimg_image_format& encoding,
                    CurvePrecision decoding, double peakNits) {
  const PixelSize size = encoded.size();
  const zimg_image_format linearFormat = bt709Format(size, ZIMG_PIXEL_FLOAT, ZIMG_TRANSFER_LINEAR);
  PlaneImage linear(size, sizeof(float));
  ColourGraph(encoding, linearFormat, kReferenceWhiteNits, decoding).run(encoded, linear);
  fitPlanesIntoSdr(linear, ToneTable(ToneCurve(peakNits, kReferenceWhiteNits)));
  PlaneImage srgb(size, sizeof(std::uint8_t));
  ColourGraph(linearFormat, bt709Format(size, ZIMG_PIXEL_BYTE, ZIMG_TRANSFER_IEC_61966_2_1),
              kReferenceWhiteNits, CurvePrecision::kTabled)
      .run(linear, srgb);
  return interleave(srgb);
}

}  // namespace korvel
