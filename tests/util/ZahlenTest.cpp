// Number texts: parsing with either decimal separator, the general format with
// 15 significant digits, and rounding halves to even.
#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

#include "util/Zahlen.h"

namespace belvanto {
namespace {

TEST(ParseDecimal, Accepted) {
  const struct {
    std::string_view text;
    char sep;
    double wert;
  } faelle[] = {
      {"115,43", ',', 115.43},  {"-3,57", ',', -3.57}, {"+1", ',', 1},
      {" 1200,00 ", ',', 1200}, {"\t7\t", ',', 7},     {"100.10", '.', 100.10},
      {",5", ',', 0.5},         {"5,", ',', 5},        {"1E3", ',', 1000},
      {"2,5e-5", ',', 2.5e-5},  {"1e+2", '.', 100},    {"-0", ',', 0},
      {"0000012", ',', 12},     {"1E-400", ',', 0},
  };
  for (const auto& f : faelle) {
    const auto wert = parseDecimal(f.text, f.sep);
    ASSERT_TRUE(wert.has_value()) << f.text;
    EXPECT_EQ(*wert, f.wert) << f.text;
  }
}

TEST(ParseDecimal, Refused) {
  const struct {
    std::string_view text;
    char sep;
  } faelle[] = {
      {"", ','},    {" ", ','},        {"-", ','},       {"+", ','},     {",", ','},   {"1.5", ','},
      {"1,5", '.'}, {"1.000,50", ','}, {"1,2,3", ','},   {"inf", ','},   {"nan", ','}, {"INF", '.'},
      {"1E", ','},  {"1E+", ','},      {"E5", ','},      {"0x10", ','},  {"1 2", ','}, {"12a", ','},
      {"--1", ','}, {"1E400", ','},    {"\"1,5\"", ','}, {"1,5\r", ','},
  };
  for (const auto& f : faelle) EXPECT_FALSE(parseDecimal(f.text, f.sep).has_value()) << f.text;
}

TEST(ParseDecimal, ExtendedPrecisionKeepsMoreDigits) {
  const auto wert = parseDecimalExtended("0,1", ',');
  ASSERT_TRUE(wert.has_value());
  EXPECT_NE(*wert, static_cast<long double>(0.1));
  EXPECT_EQ(*wert, 0.1L);
  EXPECT_FALSE(parseDecimalExtended("x", ',').has_value());
}

TEST(FormatGeneral, Table) {
  const struct {
    double wert;
    char sep;
    std::string_view text;
  } faelle[] = {
      {0.1 + 0.2, '.', "0.3"},
      {1.0 / 3, '.', "0.333333333333333"},
      {1200, ',', "1200"},
      {119.0 - 3.57, ',', "115,43"},
      {1020.0 - 20.40, ',', "999,6"},
      {0, ',', "0"},
      {-0.0, ',', "0"},
      {-12.5, '.', "-12.5"},
      {1e-17, '.', "1E-17"},
      {2.5e-5, '.', "2.5E-5"},
      {2.5e-5, ',', "2,5E-5"},
      {0.0001, '.', "0.0001"},
      {0.00012345, '.', "0.00012345"},
      {1e15, '.', "1E15"},
      {999999999999999, '.', "999999999999999"},
      {123456789012345678.0, '.', "1.23456789012346E17"},
      {-1.5e20, '.', "-1.5E20"},
      {9.999999999999999e14, '.', "1E15"},
      {5e-324, '.', "4.94065645841247E-324"},
      {1.7976931348623157e308, '.', "1.79769313486232E308"},
  };
  for (const auto& f : faelle) EXPECT_EQ(formatGeneral(f.wert, f.sep), f.text) << f.text;
}

TEST(FormatGeneral, IgnoresProcessLocale) {
  const char* vorher = std::setlocale(LC_NUMERIC, nullptr);
  const std::string alt = vorher ? vorher : "C";
  if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) GTEST_SKIP() << "no German locale";
  EXPECT_EQ(formatGeneral(12.5, '.'), "12.5");
  EXPECT_EQ(parseDecimal("12.5", '.'), 12.5);
  EXPECT_EQ(parseDecimal("12,5", ','), 12.5);
  std::setlocale(LC_NUMERIC, alt.c_str());
}

TEST(RoundHalfEven, Table) {
  const struct {
    double wert, erwartet;
  } faelle[] = {{2.5, 2}, {3.5, 4}, {-2.5, -2}, {-3.5, -4}, {0.5, 0},      {1.5, 2},
                {2.4, 2}, {2.6, 3}, {-2.6, -3}, {0, 0},     {1e300, 1e300}};
  for (const auto& f : faelle) {
    EXPECT_EQ(roundHalfEven(f.wert), f.erwartet) << f.wert;
    EXPECT_EQ(roundHalfEven(static_cast<long double>(f.wert)), static_cast<long double>(f.erwartet))
        << f.wert;
  }
  EXPECT_TRUE(std::isnan(roundHalfEven(std::numeric_limits<double>::quiet_NaN())));
}

}  // namespace
}  // namespace belvanto
