#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace korvel {

// Strict Base64 in the standard alphabet: padding required, '=' only at the end, nothing
// outside the alphabet (no white space, no URL-safe characters). Nothing when malformed.
std::optional<std::string> decodeBase64Strict(std::string_view text);

}  // namespace korvel
