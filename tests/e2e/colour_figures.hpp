#pragma once

// Colour figures the HDR tests read from a decoded thumbnail (BT.709 primaries, sRGB codes).

#include <array>

#include "jpeg_image.hpp"

namespace korvel::e2e {

// Luma 0.2126 R' + 0.7152 G' + 0.0722 B' of a colour in code values.
double luma(const MeanRgb& colour);

// Mean luma over the half-open rectangle [x0, x1) x [y0, y1).
double meanLuma(const JpegImage& image, int x0, int y0, int x1, int y1);

struct LumaFigures {
  double mean = 0.0;
  double stddev = 0.0;
};
// Brightness and contrast: mean and standard deviation of the whole picture's luma.
LumaFigures lumaFigures(const JpegImage& image);

// Hue angle in degrees (-180 to 180] of a linear BT.709 colour in Oklab, a space where hue
// lines match what viewers see as one hue.
double oklabHue(const std::array<double, 3>& linearRgb);

// sRGB code value 0-255 to linear light 0-1.
double linearFromSrgb(double code);

}  // namespace korvel::e2e
