// Date texts and day arithmetic.
#include <gtest/gtest.h>

#include "util/Datum.h"

namespace belvanto {
namespace {

TEST(ParseDatum, Accepted) {
  const struct {
    std::string_view text;
    Datum datum;
  } faelle[] = {
      {"25.12.24", {2024, 12, 25}}, {"1.2.24", {2024, 2, 1}},      {"01.02.2024", {2024, 2, 1}},
      {"29.02.24", {2024, 2, 29}},  {"29.02.2000", {2000, 2, 29}}, {"31.12.99", {2099, 12, 31}},
      {"01.01.00", {2000, 1, 1}},   {"31.01.2025", {2025, 1, 31}}, {" 5.6.25 ", {2025, 6, 5}},
  };
  for (const auto& f : faelle) {
    const auto d = parseDatum(f.text);
    ASSERT_TRUE(d.has_value()) << f.text;
    EXPECT_EQ(*d, f.datum) << f.text;
  }
}

TEST(ParseDatum, Refused) {
  for (const std::string_view text :
       {"",         "29.02.23", "29.02.1900", "30.02.24", "31.04.24",   "00.01.24", "01.00.24",
        "01.13.24", "32.01.24", "1.1.2",      "1.1.202",  "1.1.20245",  "001.1.24", "1.1",
        "1-1-24",   "1.1.24x",  "a.b.cc",     "1..24",    "01.01.0000", "-1.1.24"}) {
    EXPECT_FALSE(parseDatum(text).has_value()) << text;
  }
}

TEST(Datum, AddTage) {
  const struct {
    Datum von;
    int tage;
    Datum bis;
  } faelle[] = {
      {{2024, 12, 25}, 10, {2025, 1, 4}}, {{2024, 2, 25}, 10, {2024, 3, 6}},
      {{2023, 2, 25}, 10, {2023, 3, 7}},  {{2024, 1, 31}, 1, {2024, 2, 1}},
      {{2024, 3, 1}, -1, {2024, 2, 29}},  {{2024, 1, 1}, 366, {2025, 1, 1}},
      {{2024, 5, 5}, 0, {2024, 5, 5}},    {{2099, 12, 31}, 1, {2100, 1, 1}},
  };
  for (const auto& f : faelle) EXPECT_EQ(addTage(f.von, f.tage), f.bis) << f.tage;
}

TEST(Datum, Texts) {
  const Datum d{2025, 1, 4};
  EXPECT_EQ(formatDatum(d), "04.01.2025");
  EXPECT_EQ(formatIsoDatum(d), "2025-01-04");
  EXPECT_EQ(formatArchivDatum(d), "04-01-25");
  EXPECT_EQ(formatIsoZeitpunkt({d, 7, 5, 9}), "2025-01-04T07:05:09");
}

TEST(Datum, JetztIsAPlausibleLocalTime) {
  const auto z = jetzt();
  EXPECT_GE(z.datum.jahr, 2024);
  EXPECT_TRUE(parseDatum(formatDatum(z.datum)).has_value());
  EXPECT_LT(z.stunde, 24);
  EXPECT_EQ(heute().jahr, z.datum.jahr);
}

}  // namespace
}  // namespace belvanto
