#pragma once

#include <cstdint>
#include <functional>

#include "ffmpeg/input/demuxer.hpp"

namespace korvel {

// A time of the timeline as a timestamp of the given stream.
using StreamTimestamp = std::function<std::int64_t(const AVStream&)>;

// The stream a player would show at a time: a real video stream (not cover art) with an
// accepted decoder that plays through the file and at that time, the default one first, then
// the largest. Throws MediaError when there is none.
AVStream& chooseVideoStream(Demuxer& demuxer, const StreamTimestamp& timestampOf);

// A decoder for the stream, on as many threads as help (decoderThreads). Its frames keep their
// coded size, with the picture area in their crop fields. Throws MediaError.
CodecContextPtr openVideoDecoder(const AVStream& stream);

// Narrows a decoded frame to the picture area the stream shows. Throws MediaError.
void cropToPictureArea(AVFrame& frame);

}  // namespace korvel
