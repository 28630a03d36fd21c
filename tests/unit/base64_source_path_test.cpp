#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "request/base64.hpp"
#include "request/source_path.hpp"
#include "request/tool_error.hpp"

namespace korvel {
namespace {

using namespace std::string_view_literals;
using Encoded = std::pair<std::string_view, std::string_view>;

// RFC 4648's vectors cover every input length modulo 3: no padding, "==" and "=".
TEST(Base64, DecodesKnownVectorsAndEveryCharacter) {
  for (const auto& [decoded, encoded] :
       {Encoded{"", ""}, Encoded{"f", "Zg=="}, Encoded{"fo", "Zm8="}, Encoded{"foo", "Zm9v"},
        Encoded{"foob", "Zm9vYg=="}, Encoded{"fooba", "Zm9vYmE="}, Encoded{"foobar", "Zm9vYmFy"},
        Encoded{"/a/b c.mp4", "L2EvYiBjLm1wNA=="}, Encoded{"\xfb\xff", "+/8="}}) {
    EXPECT_EQ(decodeBase64Strict(encoded), std::string(decoded)) << encoded;
  }
  // Each of the 64 characters in the last place of "AAA?" stands for its own six bits.
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t value = 0; value < kAlphabet.size(); ++value) {
    EXPECT_EQ(decodeBase64Strict(std::string("AAA") + kAlphabet[value]),
              std::string({'\0', '\0', static_cast<char>(value)}))
        << kAlphabet[value];
  }
}

// Any byte but zero is kept as it is, and a relative path is not made absolute.
TEST(SourcePath, BytesAreThePath) {
  for (const auto& [path, encoded] :
       {Encoded{"\xE9", "6Q=="}, Encoded{"clips/../a.mkv", "Y2xpcHMvLi4vYS5ta3Y="},
        Encoded{"a.mkv", "YS5ta3Y="}, Encoded{"", ""}}) {
    EXPECT_EQ(decodeSourcePath(encoded).path, path) << encoded;
  }
}

bool isBadInvocation(std::string_view text) {
  try {
    (void)decodeSourcePath(text);
  } catch (const ToolError& error) {
    return error.code() == ToolError::kBadInvocation;
  }
  return false;
}

// Missing or misplaced padding, characters outside the alphabet.
TEST(SourcePath, MalformedBase64IsBadInvocation) {
  for (const std::string_view text :
       {"Zg"sv,       "Zg="sv,          "Zm8"sv,          "Zm9vYg"sv,  "Zm9vYmE"sv,
        "A"sv,        "Zm9vY"sv,        "Zm9vYg==="sv,    "="sv,       "==="sv,
        "===="sv,     "A==="sv,         "Zg==Zg=="sv,     "Z=g="sv,    "Zm=v"sv,
        "=m9v"sv,     "Zm9v===="sv,     "Zg=A"sv,         "Zm9 "sv,    " Zm9"sv,
        "Zm\t9"sv,    "Zm9v\nYmFy"sv,   "Zm9v\r\nYg=="sv, "-_8="sv,    "Zm-v"sv,
        "Zm_v"sv,     "Zm9v\xC3\xA9"sv, "Zm9\x80"sv,      "Zm9\xFF"sv, "Zm.v"sv,
        "Zm9v*g=="sv, "Zm\0v"sv}) {
    EXPECT_EQ(decodeBase64Strict(text), std::nullopt) << text;
    EXPECT_TRUE(isBadInvocation(text)) << text;
  }
}

// Well-formed Base64 of "\0/a", "/a\0b", "/a\0" and "\0".
TEST(SourcePath, ZeroByteInThePathIsBadInvocation) {
  for (const std::string_view text : {"AC9h", "L2EAYg==", "L2EA", "AA=="}) {
    ASSERT_NE(decodeBase64Strict(text).value_or("").find('\0'), std::string::npos);
    EXPECT_TRUE(isBadInvocation(text)) << text;
  }
}

}  // namespace
}  // namespace korvel
