#pragma once

#include <optional>
#include <string_view>

namespace korvel {

// A number only when the whole text is one, read as strtod reads it in the C locale
// (decimal, hexadecimal, inf, nan); no leading or trailing white space.
std::optional<double> parseStrictDouble(std::string_view text);

}  // namespace korvel
