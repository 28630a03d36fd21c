#include "ffmpeg/convert/frame_conversion.hpp"

#include <array>

extern "C" {
#include <libavutil/pixdesc.h>
}

namespace korvel {
namespace {

constexpr int kHighDefinitionLines = 720;

// Area averaging: every source pixel counts, so large reductions do not alias, at a third of
// the cost of a wide bicubic; full chroma resolution and accurate rounding keep colours true.
constexpr int kScalerFlags = SWS_AREA | SWS_ACCURATE_RND | SWS_FULL_CHR_H_INT;

// The old full-range pixel formats are the same layouts with another range.
AVPixelFormat withoutRangeAlias(AVPixelFormat format) {
  switch (format) {
    case AV_PIX_FMT_YUVJ420P:
      return AV_PIX_FMT_YUV420P;
    case AV_PIX_FMT_YUVJ422P:
      return AV_PIX_FMT_YUV422P;
    case AV_PIX_FMT_YUVJ444P:
      return AV_PIX_FMT_YUV444P;
    case AV_PIX_FMT_YUVJ440P:
      return AV_PIX_FMT_YUV440P;
    case AV_PIX_FMT_YUVJ411P:
      return AV_PIX_FMT_YUV411P;
    default:
      return format;
  }
}

}  // namespace

int pictureColorMatrix(AVColorSpace tagged, int height) {
  switch (tagged) {
    case AVCOL_SPC_BT709:
      return SWS_CS_ITU709;
    case AVCOL_SPC_BT470BG:
    case AVCOL_SPC_SMPTE170M:
      return SWS_CS_ITU601;
    case AVCOL_SPC_BT2020_NCL:
    case AVCOL_SPC_BT2020_CL:
      return SWS_CS_BT2020;
    case AVCOL_SPC_FCC:
      return SWS_CS_FCC;
    case AVCOL_SPC_SMPTE240M:
      return SWS_CS_SMPTE240M;
    default:
      return height < kHighDefinitionLines ? SWS_CS_ITU601 : SWS_CS_ITU709;
  }
}

bool isFullRange(const AVFrame& frame) {
  const auto format = static_cast<AVPixelFormat>(frame.format);
  return frame.color_range == AVCOL_RANGE_JPEG || withoutRangeAlias(format) != format;
}

ScalerPtr createScaler(const AVFrame& frame, PixelSize size, AVPixelFormat output) {
  const auto format = static_cast<AVPixelFormat>(frame.format);
  ScalerPtr scaler(sws_getContext(frame.width, frame.height, withoutRangeAlias(format), size.width,
                                  size.height, output, kScalerFlags, nullptr, nullptr, nullptr));
  if (!scaler) {
    throw MediaError();
  }
  return scaler;
}

FrameImage convertToRgb(const AVFrame& frame, PixelSize size) {
  const ScalerPtr scaler = createScaler(frame, size, AV_PIX_FMT_RGB24);
  const int* sourceMatrix = sws_getCoefficients(pictureColorMatrix(frame.colorspace, frame.height));
  const int* outputMatrix = sws_getCoefficients(SWS_CS_DEFAULT);
  constexpr int kUnitBrightness = 0;
  constexpr int kUnitContrast = 1 << 16;
  constexpr int kUnitSaturation = 1 << 16;
  sws_setColorspaceDetails(scaler.get(), sourceMatrix, isFullRange(frame) ? 1 : 0, outputMatrix, 1,
                           kUnitBrightness, kUnitContrast, kUnitSaturation);

  FrameImage image;
  image.width = size.width;
  image.height = size.height;
  const int stride = size.width * 3;
  // The scaler's vector code may write a little past the last pixel of a row.
  constexpr std::size_t kScalerSlack = 64;
  image.rgb.resize(static_cast<std::size_t>(stride) * size.height + kScalerSlack);
  std::array<std::uint8_t*, 4> planes = {image.rgb.data(), nullptr, nullptr, nullptr};
  std::array<int, 4> strides = {stride, 0, 0, 0};
  const int rows = sws_scale(scaler.get(), frame.data, frame.linesize, 0, frame.height,
                             planes.data(), strides.data());
  if (rows != size.height) {
    throw MediaError();
  }
  image.rgb.resize(static_cast<std::size_t>(stride) * size.height);
  return image;
}

}  // namespace korvel
