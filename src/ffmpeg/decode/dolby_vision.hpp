#pragma once

#include "ffmpeg/input/av_owners.hpp"

namespace korvel {

// Whether the stream is Dolby Vision without a base layer that a plain decoder shows right
// (profile 5, and profile 10 signalling no compatibility): its pictures are in Dolby's own
// colour encoding and would come out green and purple. Other Dolby Vision streams carry an
// HDR10, HLG or SDR base layer, which is shown as decoded.
bool lacksCompatibleBaseLayer(const AVStream& stream);

}  // namespace korvel
