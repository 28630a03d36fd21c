#pragma once

namespace korvel {

// Luminance of diffuse white in HDR pictures (BT.2408); it becomes the SDR picture's white.
inline constexpr double kReferenceWhiteNits = 203.0;

// Peak luminance assumed for HDR content whose metadata does not state it, and the nominal
// display HLG pictures are rendered for (BT.2100).
inline constexpr double kAssumedContentPeakNits = 1000.0;

// The PQ curve (SMPTE ST 2084): absolute luminance in cd/m2 (0-10000) to a 0-1 signal, and back.
double pqFromNits(double nits);
double nitsFromPq(double signal);

// BT.2390's EETF with a black level of zero: luminance up to `sourcePeakNits` is compressed
// into `targetPeakNits` by a Hermite spline in the PQ domain. Luminance below the knee passes
// unchanged, the curve is continuous with slope 1 at the knee, rises monotonically, and the
// source peak lands on the target peak. Luminance beyond the source peak stays at the target
// peak. A source peak at or below the target only clips at the target peak.
class ToneCurve {
 public:
  ToneCurve(double sourcePeakNits, double targetPeakNits);

  double operator()(double nits) const;

  // Start of the compressed range, in cd/m2.
  double kneeNits() const { return kneeNits_; }
  // Where the curve reaches the target peak: the source peak, or the target when brighter.
  double peakNits() const { return nitsFromPq(sourcePeakPq_); }

 private:
  double sourcePeakPq_;
  // Target peak and knee as fractions of the source peak's PQ signal.
  double targetPeak_;
  double knee_;
  double kneeNits_;
};

}  // namespace korvel
