#include "process/result_writer.hpp"

#include <unistd.h>

#include <cerrno>
#include <system_error>

#include "process/fd_writer.hpp"

namespace korvel {

void writeResult(std::span<const std::byte> bytes) {
  errno = 0;
  if (!writeAll(STDOUT_FILENO, bytes.data(), bytes.size())) {
    throw std::system_error(errno != 0 ? errno : EIO, std::generic_category());
  }
}

}  // namespace korvel
