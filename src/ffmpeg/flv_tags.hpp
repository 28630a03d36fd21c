#pragma once

#include <cstdint>
#include <optional>

namespace korvel {

// The earliest FLV tag at or after `earliest` from which tags follow one another unbroken to
// the end of the file, found by following each tag's trailing size back from the end. A
// reader started there meets only real tags, never a chance match inside a payload.
std::optional<std::int64_t> flvTagChainStart(int fd, std::int64_t earliest);

}  // namespace korvel
