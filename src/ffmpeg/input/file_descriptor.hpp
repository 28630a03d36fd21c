#pragma once

#include <string>

namespace korvel {

// Owns one open file descriptor.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) noexcept : fd_(fd) {}
  FileDescriptor(FileDescriptor&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  FileDescriptor& operator=(FileDescriptor&& other) noexcept;
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor();

  int get() const noexcept { return fd_; }

 private:
  int fd_;
};

// Opens `path` read-only and insists on a regular file with content, so that a FIFO, device,
// socket, directory or kernel file fails at once instead of blocking, streaming forever or
// being acted on by an open or a read: anything but a regular file is refused before it is
// opened. Throws MediaError.
FileDescriptor openRegularFile(const std::string& path);

}  // namespace korvel
