#pragma once

#include <cstddef>

namespace korvel {

// The most memory one run may map: an input that needs more fails instead of exhausting the
// machine.
constexpr std::size_t kAddressSpaceLimitBytes = std::size_t{1} << 30;

// Caps the process's address space. Off in sanitizer builds, whose shadow memory alone is
// far larger.
void limitAddressSpace();

}  // namespace korvel
