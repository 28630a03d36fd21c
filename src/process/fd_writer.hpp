#pragma once

#include <cstddef>

namespace korvel {

// Writes all `size` bytes to `fd`, retrying short writes and EINTR. Returns false when the
// bytes could not all be written. Async-signal-safe.
bool writeAll(int fd, const void* data, std::size_t size) noexcept;

}  // namespace korvel
