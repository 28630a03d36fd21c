#pragma once

// GoogleTest checks of `korvel frame` output, reported at the caller's line.

#include <filesystem>
#include <optional>
#include <source_location>
#include <string>
#include <string_view>

#include "jpeg_image.hpp"
#include "korvel_process.hpp"

namespace korvel::e2e {

// A position or size argument that reads back as exactly `value` (17 significant digits).
std::string numberArgument(double value);

// `korvel frame` on `file` with the position and size arguments as given.
ProcessResult runFrame(const std::filesystem::path& file, std::string_view position,
                       std::string_view size);

// Status 0, nothing on stderr, and stdout exactly one baseline JPEG (4:2:0, quality 85, at
// most 1 MiB) of width x height. Returns the decoded picture, or nullopt (with a failure
// recorded) when any of that does not hold.
std::optional<JpegImage> expectThumbnail(
    const ProcessResult& result, int width, int height,
    std::source_location where = std::source_location::current());

}  // namespace korvel::e2e
