#pragma once

#include <cmath>

namespace korvel {

// Only a finite, positive duration reaches a command; NaN fails both tests.
inline bool passesDurationGate(double seconds) {
  return std::isfinite(seconds) && seconds > 0.0;
}

}  // namespace korvel
