#include "ffmpeg/file_descriptor.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "media/media_error.hpp"

namespace korvel {

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) {
      close(fd_);
    }
    fd_ = other.fd_;
    other.fd_ = -1;
  }
  return *this;
}

FileDescriptor::~FileDescriptor() {
  if (fd_ >= 0) {
    close(fd_);
  }
}

FileDescriptor openRegularFile(const std::string& path) {
  // Non-blocking so that opening a FIFO never waits for a writer; no controlling terminal.
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) {
    throw MediaError();
  }
  struct stat status {};
  // A regular file of size 0 is empty, or a kernel file (procfs, sysfs) that a read would act
  // on, such as taking a message off the kernel's log.
  if (fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) || status.st_size == 0) {
    throw MediaError();
  }
  return file;
}

}  // namespace korvel
