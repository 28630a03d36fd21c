#include "ffmpeg/convert/hdr_conversion.hpp"

#include <array>
#include <cstdint>

extern "C" {
#include <libavutil/pixdesc.h>
}

#include "ffmpeg/convert/frame_conversion.hpp"
#include "zimg/hdr_to_sdr.hpp"

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
    throw MediaError();
  }
  return scaled;
}

// FFmpeg's colour tags are H.273 code points.
HdrEncoding encodingOf(const AVFrame& frame, const HdrSignal& signal, bool rgb) {
  HdrEncoding encoding;
  encoding.transfer = signal.transfer == AVCOL_TRC_SMPTE2084 ? HdrEncoding::Transfer::kPq
                                                             : HdrEncoding::Transfer::kHlg;
  encoding.primaries = static_cast<int>(signal.primaries);
  encoding.matrix = static_cast<int>(signal.matrix);
  encoding.rgb = rgb;
  encoding.fullRange = rgb ? frame.color_range != AVCOL_RANGE_MPEG : isFullRange(frame);
  encoding.peakNits = signal.peakNits;
  return encoding;
}

}  // namespace

FrameImage convertHdrToRgb(const AVFrame& frame, PixelSize size, const HdrSignal& signal) {
  const bool rgb = isRgbFamily(frame);
  return hdrToSdr(scaleKeepingEncoding(frame, size, rgb), encodingOf(frame, signal, rgb));
}

}  // namespace korvel
