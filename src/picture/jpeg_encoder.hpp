#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "picture/frame_image.hpp"

namespace korvel {

// Baseline JPEG of the picture; nothing when the encoder fails.
std::optional<std::vector<std::uint8_t>> encodeJpeg(const FrameImage& image, double quality);

}  // namespace korvel
