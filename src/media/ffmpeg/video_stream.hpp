#pragma once

#include "media/ffmpeg/demuxer.hpp"

namespace korvel {

// The stream a player would show: a real video stream (not cover art) with an accepted
// decoder, the default one first, then the largest. Throws MediaError when there is none.
AVStream& chooseVideoStream(Demuxer& demuxer);

// A decoder for the stream, using both cores. Its frames keep their coded size, with the
// picture area in their crop fields. Throws MediaError.
CodecContextPtr openVideoDecoder(const AVStream& stream);

// Narrows a decoded frame to the picture area the stream shows. Throws MediaError.
void cropToPictureArea(AVFrame& frame);

}  // namespace korvel
