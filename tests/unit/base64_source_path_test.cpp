#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "request/base64.hpp"
#include "request/source_path.hpp"
#include "request/tool_error.hpp"

namespace korvel {
namespace {

ToolError::Code sourcePathErrorCode(std::string_view text) {
  try {
    (void)decodeSourcePath(text);
  } catch (const ToolError& error) {
    return error.code();
  }
  ADD_FAILURE() << "accepted: " << text;
  return ToolError::Code{};
}

struct KnownVector {
  std::string_view decoded;
  std::string_view encoded;
};

class Base64KnownVectors : public testing::TestWithParam<KnownVector> {};

TEST_P(Base64KnownVectors, DecodesToTheOriginalBytes) {
  EXPECT_EQ(decodeBase64Strict(GetParam().encoded), std::string(GetParam().decoded));
}

// Every input length modulo 3, i.e. no padding, "==" and "=".
INSTANTIATE_TEST_SUITE_P(Rfc4648, Base64KnownVectors,
                         testing::Values(KnownVector{"", ""}, KnownVector{"f", "Zg=="},
                                         KnownVector{"fo", "Zm8="}, KnownVector{"foo", "Zm9v"},
                                         KnownVector{"foob", "Zm9vYg=="},
                                         KnownVector{"fooba", "Zm9vYmE="},
                                         KnownVector{"foobar", "Zm9vYmFy"},
                                         KnownVector{"/a/b c.mp4", "L2EvYiBjLm1wNA=="},
                                         KnownVector{"\xfb\xff", "+/8="}));

// Each of the 64 characters in the last place of "AAA?" stands for its own six bits.
TEST(Base64Alphabet, EveryCharacterHasItsValue) {
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t value = 0; value < kAlphabet.size(); ++value) {
    EXPECT_EQ(decodeBase64Strict(std::string("AAA") + kAlphabet[value]),
              std::string({'\0', '\0', static_cast<char>(value)}))
        << kAlphabet[value];
  }
}

TEST(SourcePath, NonUtf8ByteIsKeptAsIs) {
  EXPECT_EQ(decodeSourcePath("6Q==").path, "\xE9");
}

TEST(SourcePath, RelativePathIsNotMadeAbsolute) {
  EXPECT_EQ(decodeSourcePath("Y2xpcHMvLi4vYS5ta3Y=").path, "clips/../a.mkv");
  EXPECT_EQ(decodeSourcePath("YS5ta3Y=").path, "a.mkv");
}

TEST(SourcePath, EmptyTextGivesEmptyPath) {
  EXPECT_EQ(decodeSourcePath("").path, "");
}

class MalformedBase64 : public testing::TestWithParam<std::string_view> {};

TEST_P(MalformedBase64, IsRefusedByDecoderAndAsSourcePath) {
  EXPECT_EQ(decodeBase64Strict(GetParam()), std::nullopt);
  EXPECT_EQ(sourcePathErrorCode(GetParam()), ToolError::kBadInvocation);
}

INSTANTIATE_TEST_SUITE_P(MissingPadding, MalformedBase64,
                         testing::Values("Zg", "Zg=", "Zm8", "Zm9vYg", "Zm9vYmE", "A", "Zm9vY",
                                         "Zm9vYg==="));
INSTANTIATE_TEST_SUITE_P(MisplacedPadding, MalformedBase64,
                         testing::Values("=", "===", "====", "A===", "Zg==Zg==", "Z=g=", "Zm=v",
                                         "=m9v", "Zm9v====", "Zg=A"));
INSTANTIATE_TEST_SUITE_P(OutsideTheAlphabet, MalformedBase64,
                         testing::Values("Zm9 ", " Zm9", "Zm\t9", "Zm9v\nYmFy",
                                         "Zm9v\r\nYg==", "-_8=", "Zm-v", "Zm_v", "Zm9v\xC3\xA9",
                                         "Zm9\x80", "Zm9\xFF", "Zm.v",
                                         "Zm9v*g==", std::string_view("Zm\0v", 4)));

class ZeroByteInPath : public testing::TestWithParam<std::string_view> {};

// "\0/a", "/a\0b", "/a\0" and "\0": well-formed Base64 of a path holding a zero byte.
TEST_P(ZeroByteInPath, IsBadInvocation) {
  ASSERT_NE(decodeBase64Strict(GetParam()).value_or("").find('\0'), std::string::npos);
  EXPECT_EQ(sourcePathErrorCode(GetParam()), ToolError::kBadInvocation);
}

INSTANTIATE_TEST_SUITE_P(StartMiddleEnd, ZeroByteInPath,
                         testing::Values("AC9h", "L2EAYg==", "L2EA", "AA=="));

}  // namespace
}  // namespace korvel
