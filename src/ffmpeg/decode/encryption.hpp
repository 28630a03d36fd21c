#pragma once

#include "container/byte_source.hpp"
#include "ffmpeg/input/av_owners.hpp"

namespace korvel {

// Whether the stream declares its samples encrypted: an MP4 track's protection system data
// (pssh), or a Matroska track's encryption key id. Encrypted pictures decode, if at all, to
// noise or grey, so they are never shown.
bool isEncrypted(const AVStream& stream);

// Whether the demuxer marks the packet as an encrypted sample (CENC), which it does for every
// protected MP4 track, with or without pssh.
bool isEncrypted(const AVPacket& packet);

// Marks the streams of a Matroska file (read through `file`) whose track declares encryption as
// FFmpeg marks those that name a key id: FFmpeg ignores an encryption without one and passes
// the ciphertext on as if it were clear.
void markDeclaredEncryption(AVFormatContext& format, ByteSource& file);

}  // namespace korvel
