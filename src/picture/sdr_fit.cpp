#include "picture/sdr_fit.hpp"

#include <algorithm>

namespace korvel {
namespace {

// The largest share of the colour's distance from grey `y` that keeps `channel` within 0-1.
float keptShare(float channel, float y) {
  if (channel > 1.0F) {
    return (1.0F - y) / (channel - y);
  }
  if (channel < 0.0F) {
    return y / (y - channel);
  }
  return 1.0F;
}

LinearRgb desaturateIntoGamut(LinearRgb colour, float y) {
  const float share =
      std::min({keptShare(colour.r, y), keptShare(colour.g, y), keptShare(colour.b, y), 1.0F});
  const auto towardsGrey = [y, share](float channel) {
    return std::clamp(y + share * (channel - y), 0.0F, 1.0F);
  };
  return LinearRgb{towardsGrey(colour.r), towardsGrey(colour.g), towardsGrey(colour.b)};
}

}  // namespace

float luminanceOf(LinearRgb colour) {
  return 0.2126F * colour.r + 0.7152F * colour.g + 0.0722F * colour.b;
}

LinearRgb fitIntoSdr(LinearRgb colour, const ToneTable& tones) {
  const float peak = std::max({colour.r, colour.g, colour.b});
  if (!(peak > 0.0F)) {
    return LinearRgb{};
  }
  const float mappedPeak = std::min(tones(peak), 1.0F);
  const float gain = mappedPeak / peak;
  const LinearRgb scaled{colour.r * gain, colour.g * gain, colour.b * gain};
  if (std::min({scaled.r, scaled.g, scaled.b}) >= 0.0F) {
    return scaled;  // the largest channel is at most 1 already
  }
  const float y = luminanceOf(scaled);
  if (!(y > 0.0F)) {
    return LinearRgb{};
  }
  return desaturateIntoGamut(scaled, std::min(y, 1.0F));
}

}  // namespace korvel
