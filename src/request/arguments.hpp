#pragma once

#include <string_view>
#include <vector>

namespace korvel {

// The argument vector as the process received it; entry 0 is the program's name and every
// count includes it.
using Arguments = std::vector<std::string_view>;

}  // namespace korvel
