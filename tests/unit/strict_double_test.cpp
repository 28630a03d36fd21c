#include "request/strict_double.hpp"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>
#include <utility>

namespace korvel {
namespace {

using namespace std::string_view_literals;

constexpr double kInf = std::numeric_limits<double>::infinity();

using Parsed = std::pair<std::string_view, double>;

// Out-of-range texts are not refused: they saturate as strtod does.
TEST(StrictDouble, AcceptsDecimalHexInfinityAndNan) {
  for (const auto& [text, value] :
       {Parsed{"+0.5", 0.5}, Parsed{".5", 0.5}, Parsed{"5.", 5.0}, Parsed{"1e2", 100.0},
        Parsed{"1E+2", 100.0}, Parsed{"0x10", 16.0}, Parsed{"0X1p-1", 0.5}, Parsed{"0x1p-1", 0.5},
        Parsed{"0.9999999999999999", 0.9999999999999999}, Parsed{"inf", kInf},
        Parsed{"INFINITY", kInf}, Parsed{"-Inf", -kInf}, Parsed{"1e999", kInf},
        Parsed{"-1e999", -kInf}, Parsed{"1e-999", 0.0},
        Parsed{"4.9406564584124654e-324", std::numeric_limits<double>::denorm_min()}}) {
    EXPECT_EQ(parseStrictDouble(text), value) << text;
  }
  EXPECT_TRUE(std::signbit(parseStrictDouble("-0").value_or(1.0)));
  for (const std::string_view text : {"nan", "NaN", "NAN", "-nan", "NaN(abc_1)", "nan()"}) {
    EXPECT_TRUE(std::isnan(parseStrictDouble(text).value_or(0.0))) << text;
  }
}

// Leading white space, trailing characters, not numbers at all.
TEST(StrictDouble, RefusesAnythingButTheWholeTextAsANumber) {
  for (const std::string_view text :
       {" 1"sv, "\t1"sv, "\n1"sv,    "\v1"sv,    "\f1"sv, "\r1"sv,  " "sv,    "\n"sv,
        "1 "sv, "1\n"sv, "1x"sv,     "0.5abc"sv, "1e"sv,  "inff"sv, "nan("sv, "NaN(a b)"sv,
        "0x"sv, "1\0"sv, "1\0002"sv, ""sv,       "1,5"sv, "0,5"sv,  "+"sv,    "-"sv,
        "."sv,  "e5"sv,  "abc"sv,    "--1"sv,    "+-1"sv, "1..2"sv, "in"sv,   "\xC2\xA0+1"sv}) {
    EXPECT_EQ(parseStrictDouble(text), std::nullopt) << text;
  }
}

// Restores the C locale whatever the test body does.
class CommaDecimalLocale : public testing::Test {
 protected:
  void TearDown() override { std::setlocale(LC_ALL, "C"); }
};

TEST_F(CommaDecimalLocale, DoesNotChangeTheDecimalPoint) {
  if (std::setlocale(LC_ALL, "de_DE.UTF-8") == nullptr) {
    GTEST_SKIP() << "scripts/install-deps.sh installs de_DE.UTF-8";
  }
  ASSERT_STREQ(std::localeconv()->decimal_point, ",");
  EXPECT_EQ(parseStrictDouble("0.5"), 0.5);
  EXPECT_EQ(parseStrictDouble("0,5"), std::nullopt);
}

}  // namespace
}  // namespace korvel
