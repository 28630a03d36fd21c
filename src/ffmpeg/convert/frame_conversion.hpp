#pragma once

#include "ffmpeg/input/av_owners.hpp"
#include "picture/frame_geometry.hpp"
#include "picture/frame_image.hpp"

namespace korvel {

// The YUV-to-RGB matrix a picture was made with: as tagged, else by its height (standard
// definition below 720 lines, high definition from 720), as a swscale colour-space id.
int pictureColorMatrix(AVColorSpace tagged, int height);

// Whether a picture's samples use the full 0-255 range rather than the limited video range.
bool isFullRange(const AVFrame& frame);

// A scaler from the decoded picture to `size` in `output`, with the filter every thumbnail uses.
// Throws MediaError.
ScalerPtr createScaler(const AVFrame& frame, PixelSize size, AVPixelFormat output);

// Scales the decoded picture straight to `size` in one pass and converts it to 8-bit sRGB
// with the picture's own matrix and range. Throws MediaError.
FrameImage convertToRgb(const AVFrame& frame, PixelSize size);

}  // namespace korvel
