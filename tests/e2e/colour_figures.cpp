#include "colour_figures.hpp"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <numbers>

namespace korvel::e2e {

double luma(const MeanRgb& colour) {
  return 0.2126 * colour.r + 0.7152 * colour.g + 0.0722 * colour.b;
}

double meanLuma(const JpegImage& image, int x0, int y0, int x1, int y1) {
  return luma(image.mean(x0, y0, x1, y1));
}

LumaFigures lumaFigures(const JpegImage& image) {
  double sum = 0.0;
  double squares = 0.0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) {
      const auto [r, g, b] = image.pixel(x, y);
      const double value =
          luma({static_cast<double>(r), static_cast<double>(g), static_cast<double>(b)});
      sum += value;
      squares += value * value;
    }
  }
  const double count = static_cast<double>(image.width()) * image.height();
  const double mean = sum / count;
  return {mean, std::sqrt(std::max(squares / count - mean * mean, 0.0))};
}

double oklabHue(const std::array<double, 3>& linearRgb) {
  const auto [r, g, b] = linearRgb;
  const double l = std::cbrt(0.4122214708 * r + 0.5363325363 * g + 0.0514459929 * b);
  const double m = std::cbrt(0.2119034982 * r + 0.6806995451 * g + 0.1073969566 * b);
  const double s = std::cbrt(0.0883024619 * r + 0.2817188376 * g + 0.6299787005 * b);
  const double a = 1.9779984951 * l - 2.4285922050 * m + 0.4505937099 * s;
  const double bb = 0.0259040371 * l + 0.7827717662 * m - 0.8086757660 * s;
  return std::atan2(bb, a) * 180.0 / std::numbers::pi;
}

double linearFromSrgb(double code) {
  const double v = code / 255.0;
  return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
}

}  // namespace korvel::e2e
