#pragma once

#include <algorithm>
#include <vector>

#include "picture/tone_curve.hpp"

namespace korvel {

// A tone curve sampled for use on every pixel, on light relative to reference white
// (kReferenceWhiteNits = 1.0): exact below the knee, interpolated above it between samples
// spaced evenly in the square root of light, finest where the curve bends most.
class ToneTable {
 public:
  explicit ToneTable(const ToneCurve& curve);

  float operator()(float relative) const {
    return relative < knee_ ? std::max(relative, 0.0F) : compressed(relative);
  }

 private:
  float compressed(float relative) const;

  float knee_;
  float rootStart_;
  float rootStep_;
  std::vector<float> samples_;
};

}  // namespace korvel
