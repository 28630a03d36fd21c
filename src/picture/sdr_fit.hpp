#pragma once

#include "picture/tone_table.hpp"

namespace korvel {

// Linear-light BT.709 RGB where 1.0 is reference white (kReferenceWhiteNits).
struct LinearRgb {
  float r = 0.0F;
  float g = 0.0F;
  float b = 0.0F;
};

// BT.709 luminance of the colour.
float luminanceOf(LinearRgb colour);

// Brings an HDR colour into the SDR range 0-1. Its largest channel goes through `tones` (whose
// target peak is reference white) and all channels are scaled alike, so hue and saturation stay
// and a bright saturated colour is not bleached, as tone-mapping luminance alone would do. A
// colour outside BT.709 is then moved straight towards the grey of its own luminance, just far
// enough for every channel to fit, so it keeps its hue instead of being clipped per channel.
LinearRgb fitIntoSdr(LinearRgb colour, const ToneTable& tones);

}  // namespace korvel
