// The argument decoders on arbitrary text, checked against an independent reading of their
// contract: the Base64 path, the numbers, the frame request and the numbers derived from them.
// Any broken invariant aborts, which libFuzzer records as a crash.

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/frame_command.hpp"
#include "app/info_command.hpp"
#include "picture/frame_geometry.hpp"
#include "request/base64.hpp"
#include "request/command_line.hpp"
#include "request/frame_request.hpp"
#include "request/source_path.hpp"
#include "request/strict_double.hpp"
#include "request/tool_error.hpp"

namespace {

constexpr std::string_view kAlphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

void require(bool condition) {
  if (!condition) {
    std::abort();
  }
}

std::uint32_t byteAt(std::string_view bytes, std::size_t index) {
  return static_cast<unsigned char>(bytes[index]);
}

std::string encode(std::string_view bytes) {
  std::string text;
  std::size_t i = 0;
  for (; i + 3 <= bytes.size(); i += 3) {
    const std::uint32_t group =
        byteAt(bytes, i) << 16 | byteAt(bytes, i + 1) << 8 | byteAt(bytes, i + 2);
    for (const int shift : {18, 12, 6, 0}) {
      text += kAlphabet[group >> shift & 63];
    }
  }
  const std::size_t rest = bytes.size() - i;
  if (rest > 0) {
    const std::uint32_t group =
        byteAt(bytes, i) << 16 | (rest == 2 ? byteAt(bytes, i + 1) << 8 : 0);
    text += kAlphabet[group >> 18 & 63];
    text += kAlphabet[group >> 12 & 63];
    text += rest == 2 ? kAlphabet[group >> 6 & 63] : '=';
    text += '=';
  }
  return text;
}

// A second reading of strict Base64, written from the contract: groups of four alphabet
// characters, the last group may end in "=" or "==", nothing else anywhere.
std::optional<std::string> referenceDecode(std::string_view text) {
  if (text.size() % 4 != 0) {
    return std::nullopt;
  }
  std::string bytes;
  for (std::size_t group = 0; group < text.size(); group += 4) {
    const bool last = group + 4 == text.size();
    std::uint32_t bits = 0;
    int padding = 0;
    for (std::size_t k = 0; k < 4; ++k) {
      const char c = text[group + k];
      const std::size_t value = kAlphabet.find(c);
      if (c == '=' && last && k >= 2 && (k == 3 || text[group + 3] == '=')) {
        ++padding;
        bits <<= 6;
      } else if (value != std::string_view::npos && padding == 0) {
        bits = bits << 6 | static_cast<std::uint32_t>(value);
      } else {
        return std::nullopt;
      }
    }
    bytes += static_cast<char>(bits >> 16 & 0xFF);
    if (padding < 2) {
      bytes += static_cast<char>(bits >> 8 & 0xFF);
    }
    if (padding < 1) {
      bytes += static_cast<char>(bits & 0xFF);
    }
  }
  return bytes;
}

void checkBase64(std::string_view text) {
  const std::optional<std::string> decoded = korvel::decodeBase64Strict(text);
  require(decoded == referenceDecode(text));
  require(korvel::decodeBase64Strict(encode(text)) == std::string(text));
  if (decoded) {
    // Same length back; only the unused low bits of the last character may differ.
    const std::string again = encode(*decoded);
    require(again.size() == text.size());
    require(korvel::decodeBase64Strict(again) == decoded);
  }

  std::optional<std::string> path;
  try {
    path = korvel::decodeSourcePath(text).path;
  } catch (const korvel::ToolError& error) {
    require(error.code() == korvel::ToolError::kBadInvocation);
  }
  const bool usable = decoded && decoded->find('\0') == std::string::npos;
  require(path.has_value() == usable);
  require(!path || path == decoded);
}

bool isCWhiteSpace(char c) {
  return c == ' ' || (c >= '\t' && c <= '\r');
}

void checkNumber(std::string_view text) {
  const std::optional<double> value = korvel::parseStrictDouble(text);
  if (!value) {
    return;
  }
  require(!text.empty() && !isCWhiteSpace(text.front()) && !isCWhiteSpace(text.back()));
  require(text.find('\0') == std::string_view::npos);
  require(!korvel::parseStrictDouble(std::string(text) + " "));
  if (std::isnan(*value)) {
    return;
  }
  // Its exact hexadecimal spelling reads back as the same number.
  std::array<char, 64> spelled{};
  std::snprintf(spelled.data(), spelled.size(), "%a", *value);
  const std::optional<double> again = korvel::parseStrictDouble(spelled.data());
  require(again && (*again == *value) && std::signbit(*again) == std::signbit(*value));

  try {
    const std::int64_t milliseconds = korvel::durationMilliseconds(*value);
    require(milliseconds >= 0 && *value >= 0.0);
    require(korvel::formatInfoJson(milliseconds).starts_with("{\"duration_ms\":"));
  } catch (const korvel::ToolError& error) {
    require(error.code() == korvel::ToolError::kUnusableDuration);
  }
}

// Up to five NUL-separated pieces become korvel's arguments after the program's name.
std::vector<std::string_view> splitArguments(std::string_view text) {
  std::vector<std::string_view> arguments = {"korvel"};
  while (arguments.size() < 6) {
    const std::size_t end = text.find('\0');
    arguments.push_back(text.substr(0, end));
    if (end == std::string_view::npos) {
      break;
    }
    text.remove_prefix(end + 1);
  }
  return arguments;
}

void checkFrameRequest(std::string_view text) {
  const std::vector<std::string_view> arguments = splitArguments(text);
  korvel::FrameRequest request;
  try {
    request = korvel::CommandLine(arguments).frameRequest();
  } catch (const korvel::ToolError& error) {
    require(error.code() == korvel::ToolError::kBadRequest);
    return;
  }
  require(arguments.size() == 5);
  require(request.position >= 0.0 && request.position < 1.0);
  require(request.maxSide >= 64.0 && request.maxSide <= 1024.0);

  // The third piece stands for the media's duration, the second for its picture's shape.
  const std::optional<double> duration = korvel::parseStrictDouble(arguments[2]);
  if (duration && std::isfinite(*duration) && *duration > 0.0) {
    const korvel::MediaTime time = korvel::frameRequestTime(*duration, request.position);
    require(time.value >= 0 && time.timescale == 600);
  }
  const std::size_t width = 1 + std::hash<std::string_view>{}(arguments[1]) % 16384;
  const std::size_t height = 1 + std::hash<std::string_view>{}(arguments[2]) % 16384;
  const korvel::PixelSize fitted =
      korvel::fitInside(static_cast<double>(width), static_cast<double>(height), request.maxSide);
  require(fitted.width >= 1 && fitted.height >= 1 && fitted.width <= request.maxSide &&
          fitted.height <= request.maxSide);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  checkBase64(text);
  checkNumber(text);
  checkFrameRequest(text);
  return 0;
}
