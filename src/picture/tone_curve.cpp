#include "picture/tone_curve.hpp"

#include <algorithm>
#include <cmath>

namespace korvel {
namespace {

constexpr double kPqPeakNits = 10000.0;
constexpr double kPqM1 = 2610.0 / 16384.0;
constexpr double kPqM2 = 2523.0 / 4096.0 * 128.0;
constexpr double kPqC1 = 3424.0 / 4096.0;
constexpr double kPqC2 = 2413.0 / 4096.0 * 32.0;
constexpr double kPqC3 = 2392.0 / 4096.0 * 32.0;

// The spline from the knee (value and slope 1) to the target peak (slope 0) over the rest.
double hermite(double signal, double knee, double peak) {
  const double t = (signal - knee) / (1.0 - knee);
  const double t2 = t * t;
  const double t3 = t2 * t;
  return (2.0 * t3 - 3.0 * t2 + 1.0) * knee + (t3 - 2.0 * t2 + t) * (1.0 - knee) +
         (-2.0 * t3 + 3.0 * t2) * peak;
}

}  // namespace

double pqFromNits(double nits) {
  const double y = std::pow(std::clamp(nits / kPqPeakNits, 0.0, 1.0), kPqM1);
  return std::pow((kPqC1 + kPqC2 * y) / (1.0 + kPqC3 * y), kPqM2);
}

double nitsFromPq(double signal) {
  const double e = std::pow(std::clamp(signal, 0.0, 1.0), 1.0 / kPqM2);
  const double y = std::max(e - kPqC1, 0.0) / (kPqC2 - kPqC3 * e);
  return kPqPeakNits * std::pow(y, 1.0 / kPqM1);
}

ToneCurve::ToneCurve(double sourcePeakNits, double targetPeakNits)
    : sourcePeakPq_(pqFromNits(std::max(sourcePeakNits, targetPeakNits))),
      targetPeak_(pqFromNits(targetPeakNits) / sourcePeakPq_),
      // Below a third of the source peak's signal the knee would fall below zero.
      knee_(std::max(1.5 * targetPeak_ - 0.5, 0.0)),
      kneeNits_(nitsFromPq(knee_ * sourcePeakPq_)) {}

double ToneCurve::operator()(double nits) const {
  // Most of a picture lies below the knee; it skips the PQ round trip.
  if (nits < kneeNits_) {
    return std::max(nits, 0.0);
  }
  const double signal = std::min(pqFromNits(nits) / sourcePeakPq_, 1.0);
  const bool compressed = signal >= knee_ && knee_ < 1.0;
  const double mapped = compressed ? hermite(signal, knee_, targetPeak_) : signal;
  return nitsFromPq(mapped * sourcePeakPq_);
}

}  // namespace korvel
