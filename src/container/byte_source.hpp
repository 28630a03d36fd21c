#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace korvel {

// The bytes of the one file a run reads, from wherever asked: the run's bounded reader, or a
// byte string in a test.
class ByteSource {
 public:
  virtual ~ByteSource() = default;

  virtual std::int64_t size() const = 0;

  // Fills `into` from `offset` on; fewer bytes at the end, on an error or past the reading's
  // bound.
  virtual std::size_t readAt(std::int64_t offset, std::span<std::uint8_t> into) = 0;
};

}  // namespace korvel
