#include "ffmpeg/input/file_io.hpp"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>

namespace korvel {
namespace {

// Large enough that a demuxer's small reads rarely reach the kernel.
constexpr int kBufferBytes = 64 * 1024;

FileReading& readingOf(void* opaque) {
  return *static_cast<FileReading*>(opaque);
}

int readFile(void* opaque, std::uint8_t* buffer, int size) {
  FileReading& reading = readingOf(opaque);
  if (reading.stopper.callback != nullptr &&
      reading.stopper.callback(reading.stopper.opaque) != 0) {
    reading.stopped = true;
  }
  if (reading.exhausted()) {
    return AVERROR(EFBIG);
  }
  for (;;) {
    const ssize_t count = read(reading.fd, buffer, static_cast<size_t>(size));
    if (count > 0) {
      reading.bytesRead += count;
      return static_cast<int>(count);
    }
    if (count == 0) {
      return AVERROR_EOF;
    }
    if (errno != EINTR) {
      return AVERROR(errno);
    }
  }
}

std::int64_t seekFile(void* opaque, std::int64_t offset, int whence) {
  const int fd = readingOf(opaque).fd;
  if (whence & AVSEEK_SIZE) {
    struct stat status {};
    return fstat(fd, &status) == 0 ? status.st_size : AVERROR(errno);
  }
  const off_t position = lseek(fd, offset, whence & ~AVSEEK_FORCE);
  return position >= 0 ? position : AVERROR(errno);
}

}  // namespace

std::int64_t FileReading::size() const {
  struct stat status {};
  return fstat(fd, &status) == 0 ? status.st_size : 0;
}

std::size_t FileReading::readAt(std::int64_t offset, std::span<std::uint8_t> into) {
  std::size_t filled = 0;
  while (filled < into.size() && !exhausted()) {
    const std::size_t wanted = std::min<std::size_t>(
        into.size() - filled, static_cast<std::size_t>(kMostBytes - bytesRead));
    const ssize_t got = pread(fd, into.data() + filled, wanted,
                              static_cast<off_t>(offset + static_cast<std::int64_t>(filled)));
    if (got > 0) {
      filled += static_cast<std::size_t>(got);
      bytesRead += got;
    } else if (got == 0 || errno != EINTR) {
      break;
    }
  }
  return filled;
}

IoContextPtr makeFileIo(FileReading& reading) {
  auto* buffer = static_cast<unsigned char*>(av_malloc(kBufferBytes));
  if (buffer == nullptr) {
    throw MediaError();
  }
  AVIOContext* io =
      avio_alloc_context(buffer, kBufferBytes, 0, &reading, readFile, nullptr, seekFile);
  if (io == nullptr) {
    av_free(buffer);
    throw MediaError();
  }
  return IoContextPtr(io);
}

}  // namespace korvel
