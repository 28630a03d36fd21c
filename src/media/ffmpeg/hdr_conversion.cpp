#include "media/ffmpeg/hdr_conversion.hpp"

#include <array>
#include <cstdint>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "media/ffmpeg/colour_graph.hpp"
#include "media/ffmpeg/frame_conversion.hpp"
#include "media/ffmpeg/plane_image.hpp"
#include "media/ffmpeg/zimg_tags.hpp"
#include "media/sdr_fit.hpp"
#include "media/tone_curve.hpp"
#include "media/tone_table.hpp"

namespace korvel {
namespace {

bool isRgbFamily(const AVFrame& frame) {
  const AVPixFmtDescriptor* layout = av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame.format));
  return layout != nullptr && (layout->flags & AV_PIX_FMT_FLAG_RGB) != 0;
}

// The picture at `size`, 16 bits a sample, its samples' meaning unchanged: swscale only
// resamples, since neither side's range or matrix is given to it.
PlaneImage scaleKeepingEncoding(const AVFrame& frame, PixelSize size, bool rgb) {
  const ScalerPtr scaler =
      createScaler(frame, size, rgb ? AV_PIX_FMT_GBRP16 : AV_PIX_FMT_YUV444P16);
  PlaneImage scaled(size, sizeof(std::uint16_t));
  // GBRP stores green first; its planes are handed over so they land as R, G, B.
  const std::array<int, 3> order = rgb ? std::array{1, 2, 0} : std::array{0, 1, 2};
  std::array<std::uint8_t*, 4> planes{};
  std::array<int, 4> strides{};
  for (int index = 0; index < PlaneImage::kPlanes; ++index) {
    planes[index] = reinterpret_cast<std::uint8_t*>(scaled.plane(order[index]));
    strides[index] = static_cast<int>(scaled.stride());
  }
  const int rows = sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height,
                             planes.data(), strides.data());
  if (rows != size.height) {
    throw MediaError(AVERROR(EINVAL));
  }
  return scaled;
}

zimg_image_format encodedFormat(const AVFrame& frame, PixelSize size, const HdrSignal& signal,
                                bool rgb) {
  zimg_image_format format = defaultFormat(size);
  format.pixel_type = ZIMG_PIXEL_WORD;
  format.depth = 16;
  format.color_family = rgb ? ZIMG_COLOR_RGB : ZIMG_COLOR_YUV;
  format.matrix_coefficients = rgb ? ZIMG_MATRIX_RGB : zimgMatrix(signal.matrix);
  format.transfer_characteristics =
      signal.transfer == AVCOL_TRC_SMPTE2084 ? ZIMG_TRANSFER_ST2084 : ZIMG_TRANSFER_ARIB_B67;
  format.color_primaries = zimgPrimaries(signal.primaries);
  const bool fullRange = rgb ? frame.color_range != AVCOL_RANGE_MPEG : isFullRange(frame);
  format.pixel_range = fullRange ? ZIMG_RANGE_FULL : ZIMG_RANGE_LIMITED;
  return format;
}

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

FrameImage convertHdrToRgb(const AVFrame& frame, PixelSize size, const HdrSignal& signal) {
  const bool rgb = isRgbFamily(frame);
  const PlaneImage encoded = scaleKeepingEncoding(frame, size, rgb);
  const zimg_image_format linearFormat = bt709Format(size, ZIMG_PIXEL_FLOAT, ZIMG_TRANSFER_LINEAR);
  const CurvePrecision decoding =
      signal.transfer == AVCOL_TRC_SMPTE2084 ? CurvePrecision::kTabled : CurvePrecision::kExact;
  PlaneImage linear(size, sizeof(float));
  ColourGraph(encodedFormat(frame, size, signal, rgb), linearFormat, kReferenceWhiteNits, decoding)
      .run(encoded, linear);
  fitPlanesIntoSdr(linear, ToneTable(ToneCurve(signal.peakNits, kReferenceWhiteNits)));
  PlaneImage srgb(size, sizeof(std::uint8_t));
  ColourGraph(linearFormat, bt709Format(size, ZIMG_PIXEL_BYTE, ZIMG_TRANSFER_IEC_61966_2_1),
              kReferenceWhiteNits, CurvePrecision::kTabled)
      .run(linear, srgb);
  return interleave(srgb);
}

}  // namespace korvel
