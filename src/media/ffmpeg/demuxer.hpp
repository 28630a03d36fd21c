#pragma once

#include <optional>

#include "media/ffmpeg/av_owners.hpp"

namespace korvel {

// The opened container.
class Demuxer {
 public:
  // Opens the container read through `io` (which must outlive it). Only the accepted container
  // formats pass, and the demuxer may not open any other file, URL or device. Throws MediaError.
  explicit Demuxer(AVIOContext* io);

  AVFormatContext& format() const { return *format_; }

  // Reads packets until every stream is known, at most once: FFmpeg frees per-stream state at
  // the end of that pass which a second pass on the same context would use. False on failure.
  bool learnStreams();

 private:
  FormatContextPtr format_;
  std::optional<bool> streamsLearned_;
};

// Whether the container's clock starts anywhere (broadcast streams) rather than at zero.
bool hasFreeRunningClock(const AVFormatContext& format);

}  // namespace korvel
