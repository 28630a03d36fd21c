#pragma once

#include <cstdint>
#include <vector>

#include "container/byte_source.hpp"

namespace korvel {

// For each video track of a Matroska file, in order, whether its content encoding declares
// encryption, whatever it says of a key; read from the track entries before the first cluster.
// FFmpeg makes a video stream of each of these tracks, in the same order. Empty when the file
// is no Matroska file or its tracks cannot be read.
std::vector<bool> matroskaVideoTracksEncrypted(ByteSource& source);

}  // namespace korvel
