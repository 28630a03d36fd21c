#pragma once

#include <cstddef>
#include <span>

namespace korvel {

// Puts a command's whole result on standard output. A result that cannot be written
// completely is a failure (std::system_error), never a silent success.
void writeResult(std::span<const std::byte> bytes);

}  // namespace korvel
