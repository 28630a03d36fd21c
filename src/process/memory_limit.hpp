#pragma once

#include <cstddef>

namespace korvel {

// The most memory one run may map, its libraries and thread stacks included: an 8K picture
// decodes well within it, and an input that needs more fails instead of exhausting the machine.
constexpr std::size_t kAddressSpaceLimitBytes = std::size_t{512} << 20;

// Caps the process's address space (off in sanitizer builds, whose shadow memory alone is far
// larger) and gives every thread the one malloc arena.
void limitMemory();

}  // namespace korvel
