#pragma once

#include <cstddef>
#include <functional>
#include <span>

namespace korvel {

// Where a command puts its whole answer, once: standard output in the tool, a buffer in the
// fuzzer. Throws when the answer cannot be taken completely.
using ResultSink = std::function<void(std::span<const std::byte>)>;

}  // namespace korvel
