#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "request/strict_double.hpp"

namespace korvel {
namespace {

struct ParsedText {
  std::string_view text;
  double value;
};

class StrictDoubleAccepts : public testing::TestWithParam<ParsedText> {};

TEST_P(StrictDoubleAccepts, ExactValue) {
  const std::optional<double> parsed = parseStrictDouble(GetParam().text);
  ASSERT_TRUE(parsed.has_value()) << GetParam().text;
  EXPECT_EQ(*parsed, GetParam().value) << GetParam().text;
}

constexpr double kInf = std::numeric_limits<double>::infinity();

INSTANTIATE_TEST_SUITE_P(
    DecimalHexAndInfinity, StrictDoubleAccepts,
    testing::Values(ParsedText{"+0.5", 0.5}, ParsedText{".5", 0.5}, ParsedText{"5.", 5.0},
                    ParsedText{"1e2", 100.0}, ParsedText{"1E+2", 100.0}, ParsedText{"0x10", 16.0},
                    ParsedText{"0X1p-1", 0.5}, ParsedText{"0x1p-1", 0.5},
                    ParsedText{"0.9999999999999999", 0.9999999999999999}, ParsedText{"inf", kInf},
                    ParsedText{"INFINITY", kInf}, ParsedText{"-Inf", -kInf},
                    // Out-of-range texts are not refused: they saturate as strtod does.
                    ParsedText{"1e999", kInf}, ParsedText{"-1e999", -kInf},
                    ParsedText{"1e-999", 0.0}));

TEST(StrictDouble, MinusZeroKeepsItsSign) {
  const std::optional<double> parsed = parseStrictDouble("-0");
  ASSERT_TRUE(parsed.has_value());
  EXPECT_EQ(*parsed, 0.0);
  EXPECT_TRUE(std::signbit(*parsed));
}

TEST(StrictDouble, SubnormalTextGivesSubnormal) {
  EXPECT_EQ(parseStrictDouble("4.9406564584124654e-324"),
            std::numeric_limits<double>::denorm_min());
}

TEST(StrictDouble, NanSpellingsGiveNan) {
  for (const std::string_view text : {"nan", "NaN", "NAN", "-nan", "NaN(abc_1)", "nan()"}) {
    const std::optional<double> parsed = parseStrictDouble(text);
    ASSERT_TRUE(parsed.has_value()) << text;
    EXPECT_TRUE(std::isnan(*parsed)) << text;
  }
}

class StrictDoubleRefuses : public testing::TestWithParam<std::string_view> {};

TEST_P(StrictDoubleRefuses, WholeTextIsNotANumber) {
  EXPECT_EQ(parseStrictDouble(GetParam()), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(LeadingWhiteSpace, StrictDoubleRefuses,
                         testing::Values(" 1", "\t1", "\n1", "\v1", "\f1", "\r1", " ", "\n"));
INSTANTIATE_TEST_SUITE_P(TrailingCharacters, StrictDoubleRefuses,
                         testing::Values("1 ", "1\n", "1x", "0.5abc", "1e", "inff", "nan(",
                                         "NaN(a b)", "0x", std::string_view("1\0", 2),
                                         std::string_view("1\0002", 3)));
INSTANTIATE_TEST_SUITE_P(NotNumbers, StrictDoubleRefuses,
                         testing::Values("", "1,5", "0,5", "+", "-", ".", "e5", "abc", "--1", "+-1",
                                         "1..2", "in", "\xC2\xA0+1"));

// Restores the C locale whatever the test body does.
class CommaDecimalLocale : public testing::Test {
 protected:
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(CommaDecimalLocale, DoesNotChangeTheDecimalPoint) {
  bool set = false;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8"}) {
    if (std::setlocale(LC_ALL, name) != nullptr) {
      set = true;
      break;
    }
  }
  if (!set) {
    GTEST_SKIP() << "no locale with a comma decimal separator is installed";
  }
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  EXPECT_EQ(parseStrictDouble("0.5"), 0.5);
  EXPECT_EQ(parseStrictDouble("0,5"), std::nullopt);
}

}  // namespace
}  // namespace korvel
