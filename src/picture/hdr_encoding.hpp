#pragma once

namespace korvel {

// How an HDR picture's samples are to be read, in the code points of ITU-T H.273, which the
// decoders' colour tags and the colour converter both use.
struct HdrEncoding {
  enum class Transfer { kPq, kHlg };

  Transfer transfer = Transfer::kPq;
  int primaries = 9;  // BT.2020
  int matrix = 9;     // BT.2020 non-constant luminance; unused for RGB samples
  bool rgb = false;
  bool fullRange = false;
  // The brightest luminance the picture may hold, in cd/m2: the tone curve's source peak.
  double peakNits = 0.0;
};

}  // namespace korvel
