#pragma once

#include <optional>

#include "ffmpeg/input/av_owners.hpp"

namespace korvel {

// How a decoded HDR picture is to be read: its tags, falling back to the stream's where the
// bitstream states none.
struct HdrSignal {
  AVColorTransferCharacteristic transfer = AVCOL_TRC_SMPTE2084;
  AVColorPrimaries primaries = AVCOL_PRI_BT2020;
  AVColorSpace matrix = AVCOL_SPC_BT2020_NCL;
  // The brightest luminance the picture may hold, in cd/m2: the tone curve's source peak.
  double peakNits = 0.0;
};

// The picture's HDR signal when its transfer is PQ or HLG; nothing for any other picture, an
// untagged one included. Untagged primaries and matrix of a PQ or HLG picture are taken as
// BT.2020, the HDR formats' own; a picture of more than 8 bits that states a BT.2020 matrix and
// no transfer anywhere is taken as PQ. The peak of PQ content is its MaxCLL, else its mastering
// display's peak, else 1000 cd/m2; HLG pictures are rendered for a nominal 1000 cd/m2 display.
std::optional<HdrSignal> findHdrSignal(const AVFrame& frame, const AVStream& stream);

}  // namespace korvel
