#pragma once

#include <memory>
#include <string>

#include "media/media_source.hpp"

namespace korvel {

// Opens exactly the file at `path`, read-only, through FFmpeg. Throws MediaError when it is not
// a regular file or not an accepted container.
std::unique_ptr<MediaSource> openMediaFile(const std::string& path);

}  // namespace korvel
