#pragma once

#include <cstdint>
#include <optional>

#include "ffmpeg/av_owners.hpp"

namespace korvel {

// The opened container.
class Demuxer {
 public:
  // Opens the container read through `io` (which must outlive it). Only the accepted container
  // formats pass, and the demuxer may not open any other file, URL or device. Throws MediaError.
  explicit Demuxer(AVIOContext* io);

  AVFormatContext& format() const { return *format_; }

  // Where reading stood after the header was read: the data begins there or a little before.
  std::int64_t dataStart() const { return dataStart_; }

  // Puts the reading back at the start of the data, as after opening.
  void rewind();

  // Reads packets until every stream is known, at most once: FFmpeg frees per-stream state at
  // the end of that pass which a second pass on the same context would use. False on failure.
  bool findStreamInfo();

 private:
  FormatContextPtr format_;
  std::int64_t dataStart_ = 0;
  std::optional<bool> streamsLearned_;
};

// Reads the next packet into `packet`. A demuxer may fail on one damaged piece of the file (a
// lost Ogg page, a broken cluster) and read on after it, as a player does; false at the end of
// the file, or after errors without a packet between them.
bool readPacket(AVFormatContext& format, AVPacket& packet);

// Moves the reading to byte `position` of the file, the demuxer's state reset as after a seek
// by time. False when the container cannot be read from a byte offset.
bool seekToByte(AVFormatContext& format, std::int64_t position);

}  // namespace korvel
