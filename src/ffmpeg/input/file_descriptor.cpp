#include "ffmpeg/input/file_descriptor.hpp"

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
  // Looked at before it is opened: opening a device may act on it (a tape rewinds, a modem's
  // line rises), whatever reading it would do.
  struct stat named {};
  if (stat(path.c_str(), &named) != 0 || !S_ISREG(named.st_mode)) {
    throw MediaError();
  }
  // Non-blocking so that opening a FIFO never waits for a writer; no controlling terminal.
  FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (file.get() < 0) {
    throw MediaError();
  }
  struct stat status {};
  // What was opened is what was looked at, not something the path was changed to meanwhile.
  // A regular file of size 0 is empty, or a kernel file (procfs, sysfs) that a read would act
  // on, such as taking a message off the kernel's log.
  if (fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode) ||
      status.st_dev != named.st_dev || status.st_ino != named.st_ino || status.st_size == 0) {
    throw MediaError();
  }
  return file;
}

}  // namespace korvel
