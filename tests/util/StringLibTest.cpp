// Field splitting of the cooperative's lines and the case-insensitive
// comparison every name lookup relies on.
#include <gtest/gtest.h>

#include <algorithm>

#include "util/StringLib.h"

namespace belvanto {
namespace {

using Felder = std::vector<std::string>;

TEST(SplitFields, Table) {
  const struct {
    std::string_view zeile;
    int leading;
    Felder erwartet;
  } faelle[] = {
      {"a;b;c", 2, {"a", "b", "c"}},
      {"a;b;c;d;e", 2, {"a", "b", "c;d;e"}},
      {"a;b;c;", 3, {"a", "b", "c", ""}},
      {"a;b", 3, {"a", "", "", "b"}},
      {"nur", 2, {"", "", "nur"}},
      {"", 3, {"", "", "", ""}},
      {";;", 2, {"", "", ""}},
      {"a;;c", 2, {"a", "", "c"}},
      {"\"1,5\";x", 1, {"\"1,5\"", "x"}},
      {"a;b", 0, {"a;b"}},
      {"a;b", -3, {"a;b"}},
      {"ä;ö;ü", 1, {"ä", "ö;ü"}},
  };
  for (const auto& f : faelle) {
    EXPECT_EQ(splitFields(f.zeile, f.leading), f.erwartet) << f.zeile << " / " << f.leading;
  }
  EXPECT_EQ(splitFields("a,b,c", 1, ','), (Felder{"a", "b,c"}));
}

TEST(StringLib, ReplaceAllTrimStartsWith) {
  EXPECT_EQ(replaceAll("a.b.c", ".", ","), "a,b,c");
  EXPECT_EQ(replaceAll("aaa", "aa", "b"), "ba");
  EXPECT_EQ(replaceAll("abc", "", "x"), "abc");
  EXPECT_EQ(replaceAll("x", "x", "xx"), "xx");
  EXPECT_EQ(trim(" \t\r\n a b \r\n"), "a b");
  EXPECT_EQ(trim(" \t "), "");
  EXPECT_TRUE(startsWith("Buchungen.csv", "Buch"));
  EXPECT_FALSE(startsWith("Bu", "Buch"));
  EXPECT_TRUE(startsWith("x", ""));
}

TEST(StringLib, CaseFoldingCoversLatinLetters) {
  const struct {
    std::string_view a, b;
    bool gleich;
  } faelle[] = {
      {"ZRAbr", "ZRABR", true}, {"ä", "Ä", true},  {"ő", "Ő", true},  {"ł", "Ł", true},
      {"ÿ", "Ÿ", true},         {"ž", "Ž", true},  {"ĺ", "Ĺ", true},  {"ß", "SS", false},
      {"ı", "I", false},        {"İ", "i", false}, {"a", "ä", false}, {"é", "É", true},
      {"x\xff", "X\xff", true},  // invalid bytes compare as themselves
  };
  for (const auto& f : faelle) {
    EXPECT_EQ(equalsNoCase(f.a, f.b), f.gleich) << f.a << " / " << f.b;
  }
  EXPECT_EQ(foldCase("Müller-Straße"), "MÜLLER-STRAßE");
}

TEST(StringLib, LessNoCaseIsTotal) {
  std::vector<std::string> namen = {"buchungen_b.csv", "BUCHUNGEN_a.csv", "Buchungen_A.csv",
                                    "buchungen_A.csv"};
  std::sort(namen.begin(), namen.end(),
            [](const std::string& a, const std::string& b) { return lessNoCase(a, b); });
  EXPECT_EQ(namen, (std::vector<std::string>{"BUCHUNGEN_a.csv", "Buchungen_A.csv",
                                             "buchungen_A.csv", "buchungen_b.csv"}));
  EXPECT_FALSE(lessNoCase("abc", "abc"));
  EXPECT_TRUE(lessNoCase("ABC", "abc") != lessNoCase("abc", "ABC"));
}

TEST(StringLib, Utf8LengthCountsCharacters) {
  EXPECT_EQ(utf8Length(""), 0u);
  EXPECT_EQ(utf8Length("abc"), 3u);
  EXPECT_EQ(utf8Length("Müller"), 6u);
  EXPECT_EQ(utf8Length("€中😀"), 3u);
}

}  // namespace
}  // namespace belvanto
