#pragma once

#include <cstdint>
#include <optional>

#include "ffmpeg/input/av_owners.hpp"
#include "ffmpeg/input/file_io.hpp"

namespace korvel {

// What a demuxer has built so far, looked at between its reads.
struct BuildWatch {
  const AVFormatContext* format = nullptr;
  FileReading& reading;
};

// The opened container.
class Demuxer {
 public:
  // Opens the container read through `io`, which reads `reading` (both must outlive it). Only
  // the accepted container formats pass, the demuxer may not open any other file, URL or
  // device, and its reading stops once it has built more than any real file needs (index
  // entries, programs). Throws MediaError.
  Demuxer(AVIOContext* io, FileReading& reading);
  Demuxer(const Demuxer&) = delete;
  Demuxer& operator=(const Demuxer&) = delete;

  AVFormatContext& format() const { return *format_; }

  // Where reading stood after the header was read: the data begins there or a little before.
  std::int64_t dataStart() const { return dataStart_; }

  // Puts the reading back at the start of the data, as after opening.
  void rewind();

  // Reads packets until every stream is known, at most once: FFmpeg frees per-stream state at
  // the end of that pass which a second pass on the same context would use. False on failure;
  // throws MediaError when the libraries run out of memory.
  bool findStreamInfo();

 private:
  BuildWatch watch_;
  FormatContextPtr format_;
  std::int64_t dataStart_ = 0;
  std::optional<bool> streamsLearned_;
};

// Reads the next packet into `packet`. A demuxer may fail on one damaged piece of the file (a
// lost Ogg page, a broken cluster) and read on after it, as a player does; false at the end of
// the file, or after errors without a packet between them. Throws MediaError when the demuxer
// runs out of memory.
bool readPacket(AVFormatContext& format, AVPacket& packet);

// Moves the reading to byte `position` of the file, the demuxer's state reset as after a seek
// by time. False when the container cannot be read from a byte offset.
bool seekToByte(AVFormatContext& format, std::int64_t position);

}  // namespace korvel
