// The booking file reader: the quote rules line by line, then the file as a
// whole (rows, line ends, search, deletion).
#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <string>
#include <vector>

#include "input/UBuchungen.h"
#include "support/OhneRoot.h"
#include "support/TestSupport.h"
#include "util/Fehler.h"

namespace belvanto {
namespace {

using test::crlf;
using test::TempDir;
using test::writeBytes;

const std::string kKopf = "\"Lief\";\"RN\";\"Datum\";\"A\";\"MwSt\";\"B\";\"N\";\"S\";\"T\";\"Sk\"";

std::vector<std::string> zeile(const TextGrid& grid, int row) {
  std::vector<std::string> zellen;
  for (int c = 0; c < 10; ++c) zellen.push_back(grid.cell(c, row));
  return zellen;
}

// Reads a booking file of the given bytes from a fresh working folder.
TextGrid lies(const std::string& bytes) {
  TempDir w;
  writeBytes(w / "ZRBELEG" / "Buchungen_20250131.csv", bytes);
  Buchungen buchungen;
  buchungen.DateiEinlesen(w.path());
  return buchungen.BuchungsGrid;
}

struct ZeilenFall {
  const char* name;
  std::string zeile;  // Windows-1252 bytes
  std::array<const char*, 10> erwartet;
};

// Keeps the listed test names short: the case's name, not its bytes.
void PrintTo(const ZeilenFall& fall, std::ostream* os) { *os << fall.name; }

class BuchungsZeile : public testing::TestWithParam<ZeilenFall> {};

TEST_P(BuchungsZeile, GivesTheseCells) {
  const auto& fall = GetParam();
  const auto grid = lies(crlf({kKopf, fall.zeile}));
  ASSERT_EQ(grid.rowCount(), 2);
  std::vector<std::string> erwartet(fall.erwartet.begin(), fall.erwartet.end());
  EXPECT_EQ(zeile(grid, 1), erwartet);
  for (int c = 10; c < 14; ++c) EXPECT_EQ(grid.cell(c, 1), "");
}

INSTANTIATE_TEST_SUITE_P(
    Quotes, BuchungsZeile,
    testing::Values(
        ZeilenFall{
            "AllQuoted",
            R"("4711";"RE 12";"03.01.25";"x";"19";"-119,00";"-100,00";"-19,00";"y";"0,00")",
            {"4711", "RE 12", "03.01.25", "x", "19", "-119,00", "-100,00", "-19,00", "y", "0,00"}},
        ZeilenFall{
            "UnquotedStayButLastLosesOneChar",
            "4711;RE 12;03.01.25;x;19;-119,00;-100,00;-19,00;y;0,00",
            {"4711", "RE 12", "03.01.25", "x", "19", "-119,00", "-100,00", "-19,00", "y", "0,0"}},
        ZeilenFall{"InnerQuotesStay",
                   R"(""4711"";"a"b";"c";"d";"e";"f";"g";"h";"i";""0,00"")",
                   {"\"4711\"", "a\"b", "c", "d", "e", "f", "g", "h", "i", "\"0,00\""}},
        // The quote rule sees only `"A` and `B"`: the first loses both its
        // characters, the second keeps its quote.
        ZeilenFall{"SemicolonInsideQuotesSplitsAllTheSame",
                   R"("A;B";"1";"2";"3";"4";"5";"6";"7";"8")",
                   {"", "B\"", "1", "2", "3", "4", "5", "6", "7", "8"}},
        ZeilenFall{"SemicolonsAfterTheNinthStayInTheLast",
                   R"("0";"1";"2";"3";"4";"5";"6";"7";"8";"9;10;11")",
                   {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9;10;11"}},
        ZeilenFall{"Windows1252BecomesUtf8",
                   "\"M\xfcller\";\"\x80 5\";\"\";\"\";\"\";\"\";\"\";\"\";\"Stra\xdf"
                   "e\";\"\xe4\xf6\"",
                   {"M\xc3\xbcller", "\xe2\x82\xac 5", "", "", "", "", "", "",
                    "Stra\xc3\x9f"
                    "e",
                    "\xc3\xa4\xc3\xb6"}},
        ZeilenFall{"LastCharacterIsAWholeCharacter",
                   "0;1;2;3;4;5;6;7;8;ab\xfc",
                   {"0", "1", "2", "3", "4", "5", "6", "7", "8", "ab"}},
        ZeilenFall{
            "EmptyFieldsWithoutQuotes", ";;;;;;;;;", {"", "", "", "", "", "", "", "", "", ""}},
        ZeilenFall{"EmptyLine", "", {"", "", "", "", "", "", "", "", "", ""}},
        ZeilenFall{"FewerFieldsFillOnlyTheLast",
                   R"("4711";"RE 12")",
                   {"4711", "", "", "", "", "", "", "", "", "RE 12"}},
        ZeilenFall{"MissingClosingQuoteLosesTheLastCharacter",
                   R"("4711;"RE 12";"03.01.25";"x";"19";"5";"6";"7";"8";"0,00)",
                   {"471", "RE 12", "03.01.25", "x", "19", "5", "6", "7", "8", "0,0"}},
        ZeilenFall{
            "LoneQuotes", R"(";";";";";";";";";")", {"", "", "", "", "", "", "", "", "", ""}}),
    [](const testing::TestParamInfo<ZeilenFall>& info) { return std::string(info.param.name); });

TEST(BuchungsDatei, HeaderAndThreeBookingsGiveFourRows) {
  TempDir w;
  std::filesystem::copy_file(test::testData("input/Buchungen_20250131.csv"),
                             (std::filesystem::create_directories(w / "ZRBELEG"),
                              w / "ZRBELEG" / "Buchungen_20250131.csv"));
  Buchungen buchungen;
  buchungen.DateiEinlesen(w.path());
  const auto& g = buchungen.BuchungsGrid;
  ASSERT_EQ(g.rowCount(), 4);
  EXPECT_EQ(g.colCount(), 14);
  EXPECT_EQ(g.cell(0, 0), "LiefNr");
  EXPECT_EQ(g.cell(9, 0), "Skonto");
  EXPECT_EQ(zeile(g, 1), (std::vector<std::string>{"4711", "RE 12", "03.01.25", "x", "19",
                                                   "-119,00", "-100,00", "-19,00", "y", "0,00"}));
  EXPECT_EQ(g.cell(8, 2), "M\xc3\xbcller & S\xc3\xb6hne");
  EXPECT_EQ(g.cell(8, 3),
            "Stra\xc3\x9f"
            "e \xe2\x82\xac");
  EXPECT_FALSE(std::filesystem::exists(w / "ZRBELEG" / "Buchungen_20250131.csv"));
}

TEST(BuchungsDatei, RowCountFollowsTheLines) {
  const std::string b = R"("1";"2";"3";"4";"5";"6";"7";"8";"9";"10")";
  struct Fall {
    const char* name;
    std::string bytes;
    int zeilen;
  } faelle[] = {
      {"empty file", "", 0},
      {"header only", crlf({kKopf}), 1},
      {"header without line end", kKopf, 1},
      {"LF line ends", kKopf + "\n" + b + "\n" + b + "\n", 3},
      {"last line without line end", kKopf + "\r\n" + b, 2},
      {"empty line in between", crlf({kKopf, "", b}), 3},
      {"byte order mark", "\xef\xbb\xbf" + crlf({kKopf, b}), 2},
  };
  for (const auto& f : faelle) {
    SCOPED_TRACE(f.name);
    const auto g = lies(f.bytes);
    EXPECT_EQ(g.rowCount(), f.zeilen);
    if (f.zeilen > 1) {
      EXPECT_EQ(g.cell(9, f.zeilen - 1), "10");
    }
  }
}

TEST(BuchungsDatei, ByteOrderMarkIsNotRecognised) {
  const auto g = lies("\xef\xbb\xbf" + crlf({kKopf}));
  EXPECT_EQ(g.cell(0, 0), "\xc3\xaf\xc2\xbb\xc2\xbf\"Lief\"");
}

TEST(BuchungsDatei, MegabyteLineIsReadWhole) {
  const std::string lang(1 << 20, 'x');
  const auto g =
      lies(crlf({kKopf, "\"" + lang + "\";\"2\";\"3\";\"4\";\"5\";\"6\";\"7\";\"8\";\"9\";\"" +
                            lang + "\""}));
  ASSERT_EQ(g.rowCount(), 2);
  EXPECT_EQ(g.cell(0, 1), lang);
  EXPECT_EQ(g.cell(9, 1), lang);
}

TEST(BuchungsDatei, EachReadingReplacesTheTable) {
  TempDir w;
  Buchungen buchungen;
  writeBytes(w / "ZRBELEG" / "Buchungen_1.csv",
             crlf({kKopf, "a;b;c;d;e;f;g;h;i;jj", "1;2;3;4;5;6;7;8;9;00"}));
  buchungen.DateiEinlesen(w.path());
  EXPECT_EQ(buchungen.BuchungsGrid.rowCount(), 3);
  writeBytes(w / "ZRBELEG" / "Buchungen_2.csv", crlf({kKopf}));
  buchungen.DateiEinlesen(w.path());
  EXPECT_EQ(buchungen.BuchungsGrid.rowCount(), 1);
  EXPECT_EQ(buchungen.BuchungsGrid.cell(0, 1), "");
}

TEST(BuchungsDatei, FirstInNameOrderIgnoringCaseAndThenTheNext) {
  TempDir w;
  writeBytes(w / "ZRBeleg" / "buchungen_20250201.CSV", crlf({"zweite"}));
  writeBytes(w / "ZRBeleg" / "Buchungen_20250131.csv", crlf({"erste"}));
  writeBytes(w / "ZRBeleg" / "Index_20250131.csv", crlf({"kein Treffer"}));
  Buchungen buchungen;
  buchungen.DateiEinlesen(w.path());
  EXPECT_EQ(buchungen.BuchungsGrid.cell(9, 0), "erst");
  EXPECT_FALSE(std::filesystem::exists(w / "ZRBeleg" / "Buchungen_20250131.csv"));
  EXPECT_TRUE(std::filesystem::exists(w / "ZRBeleg" / "buchungen_20250201.CSV"));
  buchungen.DateiEinlesen(w.path());
  EXPECT_EQ(buchungen.BuchungsGrid.cell(9, 0), "zweit");
  EXPECT_TRUE(std::filesystem::exists(w / "ZRBeleg" / "Index_20250131.csv"));
}

TEST(BuchungsDatei, NoBookingFileIsAnErrorNamingTheFolder) {
  TempDir w;
  std::filesystem::create_directories(w / "ZRBELEG");
  Buchungen buchungen;
  try {
    buchungen.DateiEinlesen(w.path());
    FAIL() << "no error";
  } catch (const Fehler& f) {
    EXPECT_NE(std::string(f.what()).find((w / "ZRBELEG").string()), std::string::npos) << f.what();
  }
}

// Runs the reader as an ordinary user and reports its error text, if any.
int liesUndMelde(const std::filesystem::path& w) {
  Buchungen buchungen;
  try {
    buchungen.DateiEinlesen(w);
  } catch (const Fehler& f) {
    std::fputs(f.what(), stderr);
    return 0;
  }
  return 1;
}

TEST(BuchungsDateiDeathTest, UnreadableFileIsAnErrorNamingIt) {
  TempDir w;
  const auto datei = w / "ZRBELEG" / "Buchungen_20250131.csv";
  writeBytes(datei, crlf({kKopf}));
  test::fuerAlleBetretbar(w.path());
  test::fuerAlleBetretbar(w / "ZRBELEG");
  std::filesystem::permissions(datei, std::filesystem::perms::none);
  EXPECT_EXIT(test::ohneSonderrechte([&] { return liesUndMelde(w.path()); }),
              testing::ExitedWithCode(0), "Buchungen_20250131.csv");
}

TEST(BuchungsDateiDeathTest, UndeletableFileStopsTheRunWithItsName) {
  TempDir w;
  const auto datei = w / "ZRBELEG" / "Buchungen_20250131.csv";
  writeBytes(datei, crlf({kKopf}));
  const auto ordner = w / "ZRBELEG";
  test::fuerAlleBetretbar(w.path());
  std::filesystem::permissions(
      ordner, std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec |
                  std::filesystem::perms::others_read | std::filesystem::perms::others_exec);
  EXPECT_EXIT(test::ohneSonderrechte([&] { return liesUndMelde(w.path()); }),
              testing::ExitedWithCode(0), "Buchungen_20250131.csv.*nicht gel.*nicht erneut");
  std::filesystem::permissions(ordner, std::filesystem::perms::owner_all);
  EXPECT_TRUE(std::filesystem::exists(datei));
}

}  // namespace
}  // namespace belvanto
