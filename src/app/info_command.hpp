#pragma once

#include <cstdint>
#include <string>

#include "app/result_sink.hpp"

namespace korvel {

// Whole milliseconds, truncated from the double product seconds * 1000. A product of 2^63 or
// more has no value and is refused as an unusable duration.
std::int64_t durationMilliseconds(double seconds);

// The exact bytes of the info answer, e.g. {"duration_ms":1500}.
std::string formatInfoJson(std::int64_t durationMs);

// Puts the info answer for a duration that passed the gate into `sink`.
void runInfoCommand(double seconds, const ResultSink& sink);

}  // namespace korvel
