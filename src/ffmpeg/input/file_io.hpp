#pragma once

#include <cstdint>

#include "container/byte_source.hpp"
#include "ffmpeg/input/av_owners.hpp"

namespace korvel {

// The reading of the one file a run works on, through its already opened descriptor: every
// byte korvel reads of it, the demuxer's and its own, is read here and counted.
struct FileReading final : ByteSource {
  explicit FileReading(int descriptor) : fd(descriptor) {}

  // Far more than any request needs (the duration scans read at most 64 MiB, a picture a group
  // of frames): a bound for a file that would keep a demuxer reading, such as a sparse file
  // of zeros after a real header.
  static constexpr std::int64_t kMostBytes = std::int64_t{256} << 20;

  int fd = -1;
  std::int64_t bytesRead = 0;
  // Asked before every read; true when the reading must stop (what the demuxer built from the
  // bytes so far is already too much).
  AVIOInterruptCB stopper{};
  // Set once a read was refused because of it.
  bool stopped = false;

  bool exhausted() const { return bytesRead >= kMostBytes || stopped; }

  std::int64_t size() const override;
  std::size_t readAt(std::int64_t offset, std::span<std::uint8_t> into) override;
};

// An AVIOContext that reads `reading` (which must outlive it), so the demuxer never resolves a
// name, a URL or a protocol of its own; past the bound, or once stopped, reads fail.
IoContextPtr makeFileIo(FileReading& reading);

}  // namespace korvel
