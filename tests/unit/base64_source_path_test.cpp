#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

#include "request/base64.hpp"
#include "request/source_path.hpp"
#include "request/tool_error.hpp"

namespace korvel {
namespace {

// Independent encoder, so round trips do not rely on hand-written vectors alone.
std::string encodeBase64(std::string_view bytes) {
  constexpr std::string_view kAlphabet =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    unsigned group = 0;
    for (std::size_t k = 0; k < 3; ++k) {
      group = (group << 8) | (k < n ? static_cast<unsigned char>(bytes[i + k]) : 0u);
    }
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= n ? kAlphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
    }
  }
  return out;
}

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
  EXPECT_EQ(encodeBase64(GetParam().decoded), GetParam().encoded);  // the helper itself
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

TEST(SourcePath, EveryNonZeroByteRoundTripsAtEveryLengthModThree) {
  std::string allBytes;
  for (int b = 1; b <= 255; ++b) {
    allBytes += static_cast<char>(b);
  }
  for (std::size_t trim = 0; trim < 3; ++trim) {
    const std::string path = allBytes.substr(trim);
    EXPECT_EQ(decodeSourcePath(encodeBase64(path)).path, path) << "length " << path.size();
  }
}

TEST(SourcePath, NonUtf8ByteIsKeptAsIs) {
  EXPECT_EQ(decodeSourcePath("6Q==").path, "\xE9");
}

TEST(SourcePath, RelativePathIsNotMadeAbsolute) {
  EXPECT_EQ(decodeSourcePath(encodeBase64("clips/../a.mkv")).path, "clips/../a.mkv");
  EXPECT_EQ(decodeSourcePath(encodeBase64("a.mkv")).path, "a.mkv");
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

TEST_P(ZeroByteInPath, IsBadInvocation) {
  const std::string encoded = encodeBase64(GetParam());
  ASSERT_EQ(decodeBase64Strict(encoded), std::string(GetParam()));  // the Base64 itself is fine
  EXPECT_EQ(sourcePathErrorCode(encoded), ToolError::kBadInvocation);
}

INSTANTIATE_TEST_SUITE_P(StartMiddleEnd, ZeroByteInPath,
                         testing::Values(std::string_view("\0/a", 3), std::string_view("/a\0b", 4),
                                         std::string_view("/a\0", 3), std::string_view("\0", 1)));

}  // namespace
}  // namespace korvel
