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

// Opens `path` read-only and insists on a regular file, so that a FIFO, device, socket or
// directory fails at once instead of blocking or streaming forever. Throws MediaError.
FileDescriptor openRegularFile(const std::string& path);

}  // namespace korvel
