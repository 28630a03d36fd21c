#include "request/base64.hpp"

#include <array>
#include <cstdint>

namespace korvel {
namespace {

constexpr std::uint8_t kInvalid = 0xFF;

constexpr std::array<std::uint8_t, 256> makeDecodeTable() {
  std::array<std::uint8_t, 256> table{};
  table.fill(kInvalid);
  constexpr std::string_view alphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t i = 0; i < alphabet.size(); ++i) {
    table[static_cast<unsigned char>(alphabet[i])] = static_cast<std::uint8_t>(i);
  }
  return table;
}

constexpr auto kDecodeTable = makeDecodeTable();

std::size_t paddingLength(std::string_view text) {
  if (text.ends_with("==")) {
    return 2;
  }
  return text.ends_with('=') ? 1 : 0;
}

}  // namespace

std::optional<std::string> decodeBase64Strict(std::string_view text) {
  if (text.size() % 4 != 0) {
    return std::nullopt;
  }
  const std::size_t padding = paddingLength(text);
  const std::string_view data = text.substr(0, text.size() - padding);

  std::string decoded;
  decoded.reserve(text.size() / 4 * 3);
  std::uint32_t bits = 0;
  int bitCount = 0;
  for (const char c : data) {
    const std::uint8_t value = kDecodeTable[static_cast<unsigned char>(c)];
    if (value == kInvalid) {
      return std::nullopt;  // includes a '=' anywhere but the end
    }
    bits = (bits << 6) | value;
    bitCount += 6;
    if (bitCount >= 8) {
      bitCount -= 8;
      decoded.push_back(static_cast<char>((bits >> bitCount) & 0xFF));
    }
  }
  return decoded;
}

}  // namespace korvel
