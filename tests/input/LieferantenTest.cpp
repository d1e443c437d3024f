// The supplier mapping: reading, the search with its dialog, writing back.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "input/ULieferanten.h"
#include "support/OhneRoot.h"
#include "support/SkriptBediener.h"
#include "support/TestSupport.h"
#include "util/Fehler.h"

namespace belvanto {

// Found by argument lookup, so they live beside the type.
static bool operator==(const LieferantEingabe& a, const LieferantEingabe& b) {
  return a.nummer == b.nummer && a.name == b.name && a.maxBetrag == b.maxBetrag;
}
static void PrintTo(const LieferantEingabe& e, std::ostream* os) {
  *os << "{" << e.nummer << " | " << e.name << " | " << e.maxBetrag << "}";
}

namespace {

namespace fs = std::filesystem;
using test::crlf;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

class LieferantenTest : public testing::Test {
 protected:
  void lies(const std::string& bytes) {
    writeBytes(ordner / kLieferantenDatei, bytes);
    lieferanten.DateiEinlesen();
  }

  TempDir ordner;
  test::SkriptBediener bediener;
  Lieferanten lieferanten{bediener, ordner.path()};
};

TEST_F(LieferantenTest, ReadsFourColumnsWithoutHeaderAndKeepsAnEmptyLastRow) {
  lies("4711;70001;M\xfcller & S\xf6hne;500,00\r\n0815;70002;Name;mit;Semikolon\n1;2\r\n");
  const auto& g = lieferanten.grid();
  ASSERT_EQ(g.rowCount(), 4);
  EXPECT_EQ(g.colCount(), 4);
  EXPECT_EQ(g.cell(0, 0), "4711");
  EXPECT_EQ(g.cell(2, 0), "M\xc3\xbcller & S\xc3\xb6hne");
  EXPECT_EQ(g.cell(2, 1), "Name");
  EXPECT_EQ(g.cell(3, 1), "mit;Semikolon");
  EXPECT_EQ(g.cell(0, 2), "1");
  EXPECT_EQ(g.cell(1, 2), "");
  EXPECT_EQ(g.cell(3, 2), "2");
  for (int c = 0; c < 4; ++c) EXPECT_EQ(g.cell(c, 3), "");
  EXPECT_TRUE(fs::exists(ordner / kLieferantenDatei));
}

TEST_F(LieferantenTest, EmptyFileIsEnoughAndMissingFileIsAnErrorNamingIt) {
  lies("");
  EXPECT_EQ(lieferanten.grid().rowCount(), 1);
  fs::remove(ordner / kLieferantenDatei);
  try {
    lieferanten.DateiEinlesen();
    FAIL() << "no error";
  } catch (const Fehler& f) {
    EXPECT_NE(std::string(f.what()).find((ordner / kLieferantenDatei).string()), std::string::npos)
        << f.what();
  }
}

TEST_F(LieferantenTest, FileIsFoundAndWrittenBackWhateverItsCase) {
  writeBytes(ordner / "lieferantenumsetzung.CSV", crlf({"1;2;3;4"}));
  lieferanten.DateiEinlesen();
  EXPECT_EQ(lieferanten.grid().cell(3, 0), "4");
  lieferanten.DateiSchreiben();
  EXPECT_EQ(readBytes(ordner / "lieferantenumsetzung.CSV"), crlf({"1;2;3;4"}));
  EXPECT_FALSE(fs::exists(ordner / kLieferantenDatei));
}

TEST_F(LieferantenTest, FoundSupplierFollowsNummernUmsetzung) {
  fs::copy_file(test::testData("input/LieferantenUmsetzung.csv"), ordner / kLieferantenDatei);
  lieferanten.DateiEinlesen();
  struct Fall {
    std::string nummer;
    bool umsetzung;
    LieferantEingabe erwartet;
  } faelle[] = {
      {"4711", true, {"70001", "M\xc3\xbcller & S\xc3\xb6hne", "500,00"}},
      {"4711", false, {"4711", "M\xc3\xbcller & S\xc3\xb6hne", "500,00"}},  // first of two
      {"0999", true, {"70003", "Caf\xc3\xa9 \xc3\x96lm\xc3\xbchle", "250,50"}},
      {"0999", false, {"0999", "Caf\xc3\xa9 \xc3\x96lm\xc3\xbchle", "250,50"}},
      {"", true, {"", "", ""}},  // the empty last row
      {"", false, {"", "", ""}},
  };
  for (const auto& f : faelle) {
    EXPECT_EQ(lieferanten.LieferantSuchen(f.nummer, f.umsetzung), f.erwartet)
        << f.nummer << " " << f.umsetzung;
  }
  EXPECT_TRUE(bediener.ereignisse.empty());
}

TEST_F(LieferantenTest, UnmappedSupplierIsAskedOnceThenFound) {
  lies(crlf({"1;2;3;4"}));
  bediener.lieferantAntworten.push_back({"70009", "Neu GmbH", "100,00"});
  EXPECT_EQ(lieferanten.LieferantSuchen("5555", false),
            (LieferantEingabe{"70009", "Neu GmbH", "100,00"}));
  EXPECT_EQ(bediener.ereignisse, (std::vector<std::string>{"lieferant: 5555", "piep"}));
  EXPECT_EQ(lieferanten.LieferantSuchen("5555", false),
            (LieferantEingabe{"5555", "Neu GmbH", "100,00"}));
  EXPECT_EQ(lieferanten.LieferantSuchen("5555", true),
            (LieferantEingabe{"70009", "Neu GmbH", "100,00"}));
  EXPECT_EQ(bediener.ereignisse.size(), 2u);
  const auto& g = lieferanten.grid();
  ASSERT_EQ(g.rowCount(), 3);
  EXPECT_EQ(g.cell(0, 1), "5555");
  EXPECT_EQ(g.cell(0, 2), "");
}

TEST_F(LieferantenTest, EmptyNumberStillMatchesTheEmptyLastRowAfterAdditions) {
  lies("");
  bediener.lieferantAntworten.push_back({"1", "A", "1,00"});
  bediener.lieferantAntworten.push_back({"2", "B", "2,00"});
  lieferanten.LieferantSuchen("10", true);
  EXPECT_EQ(lieferanten.LieferantSuchen("", true), (LieferantEingabe{"", "", ""}));
  lieferanten.LieferantSuchen("20", true);
  EXPECT_EQ(lieferanten.LieferantSuchen("", false), (LieferantEingabe{"", "", ""}));
  EXPECT_EQ(bediener.piepse, 2);
  EXPECT_EQ(lieferanten.grid().rowCount(), 3);
}

TEST_F(LieferantenTest, EmptyNumberMatchesAnEarlierRowWithEmptyColumn0First) {
  lies(crlf({"1;2;3;4", ";eigene;Name;9,99"}));
  EXPECT_EQ(lieferanten.LieferantSuchen("", true), (LieferantEingabe{"eigene", "Name", "9,99"}));
}

TEST_F(LieferantenTest, LookupIsCaseSensitiveAndWholeText) {
  lies(crlf({"A1;x;y;z"}));
  for (const char* andere : {"a1", "A", "A1 ", " A1"}) {
    bediener.lieferantAntworten.push_back({"n", "m", "1"});
    lieferanten.LieferantSuchen(andere, true);
  }
  EXPECT_EQ(bediener.piepse, 4);
}

TEST_F(LieferantenTest, RunWithTwoUnmappedSuppliersWritesSevenLinesNewOnesLast) {
  fs::copy_file(test::testData("input/LieferantenUmsetzung.csv"), ordner / kLieferantenDatei);
  lieferanten.DateiEinlesen();
  bediener.lieferantAntworten.push_back({"71111", "Neu;Semikolon KG", "2000,00"});
  bediener.lieferantAntworten.push_back({"72222", "Zweiter Neu", "2000,00"});
  lieferanten.LieferantSuchen("5555", true);
  lieferanten.LieferantSuchen("4711", true);
  lieferanten.LieferantSuchen("6666", true);
  lieferanten.LieferantSuchen("5555", true);
  EXPECT_EQ(bediener.ereignisse,
            (std::vector<std::string>{"lieferant: 5555", "piep", "lieferant: 6666", "piep"}));
  lieferanten.DateiSchreiben();
  EXPECT_EQ(readBytes(ordner / kLieferantenDatei),
            readBytes(test::testData("input/LieferantenUmsetzung_erwartet.csv")));

  // Read again, the name ends at the typed ";" and the rest goes to column 3.
  lieferanten.DateiEinlesen();
  EXPECT_EQ(lieferanten.LieferantSuchen("5555", true),
            (LieferantEingabe{"71111", "Neu", "Semikolon KG;2000,00"}));
}

TEST_F(LieferantenTest, WritingSkipsRowsWithEmptyNumberAndConvertsTo1252) {
  lies("\r\n;a;b;c\r\nx;\xe4;\x80;\r\n");
  bediener.lieferantAntworten.push_back(
      {"\xc5\x82"
       "1",
       "\xe2\x9c\x93", ""});  // not in 1252
  lieferanten.LieferantSuchen("n", true);
  lieferanten.DateiSchreiben();
  EXPECT_EQ(readBytes(ordner / kLieferantenDatei), crlf({"x;\xe4;\x80;", "n;l1;?;"}));
  EXPECT_FALSE(fs::exists(ordner / (std::string(kLieferantenDatei) + ".neu")));
}

TEST_F(LieferantenTest, UnwritableMappingIsAnErrorNamingItAndLeavesNothingBehind) {
  lies(crlf({"1;2;3;4"}));
  fs::remove(ordner / kLieferantenDatei);
  fs::create_directory(ordner / kLieferantenDatei);  // a folder in the file's place
  try {
    lieferanten.DateiSchreiben();
    FAIL() << "no error";
  } catch (const Fehler& f) {
    EXPECT_NE(std::string(f.what()).find(kLieferantenDatei), std::string::npos) << f.what();
  }
  EXPECT_TRUE(fs::is_directory(ordner / kLieferantenDatei));
  EXPECT_EQ(std::distance(fs::directory_iterator(ordner.path()), fs::directory_iterator()), 1);
}

TEST_F(LieferantenTest, UnwritableFolderKeepsTheOldMappingWhole) {
  lies(crlf({"1;2;3;4"}));
  bediener.lieferantAntworten.push_back({"5", "6", "7"});
  lieferanten.LieferantSuchen("neu", true);
  test::fuerAlleBetretbar(ordner.path());
  fs::permissions(ordner.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
  EXPECT_EXIT(test::ohneSonderrechte([&] {
                try {
                  lieferanten.DateiSchreiben();
                } catch (const Fehler& f) {
                  std::fputs(f.what(), stderr);
                  return 0;
                }
                return 1;
              }),
              testing::ExitedWithCode(0), "LieferantenUmsetzung.csv");
  fs::permissions(ordner.path(), fs::perms::owner_all);
  EXPECT_EQ(readBytes(ordner / kLieferantenDatei), crlf({"1;2;3;4"}));
}

TEST_F(LieferantenTest, WritableFileInAReadOnlyFolderIsWrittenInPlace) {
  lies(crlf({"1;2;3;4"}));
  bediener.lieferantAntworten.push_back({"5", "6", "7"});
  lieferanten.LieferantSuchen("neu", true);
  test::fuerAlleBetretbar(ordner.path());
  fs::permissions(ordner / kLieferantenDatei, fs::perms::all);
  fs::permissions(ordner.path(), fs::perms::owner_read | fs::perms::owner_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
  EXPECT_EXIT(test::ohneSonderrechte([&] {
                lieferanten.DateiSchreiben();
                return 0;
              }),
              testing::ExitedWithCode(0), "");
  fs::permissions(ordner.path(), fs::perms::owner_all);
  EXPECT_EQ(readBytes(ordner / kLieferantenDatei), crlf({"1;2;3;4", "neu;5;6;7"}));
}

TEST_F(LieferantenTest, WritingThroughALinkKeepsTheLink) {
  writeBytes(ordner / "echt.csv", crlf({"1;2;3;4"}));
  fs::create_symlink("echt.csv", ordner / kLieferantenDatei);
  lieferanten.DateiEinlesen();
  bediener.lieferantAntworten.push_back({"5", "6", "7"});
  lieferanten.LieferantSuchen("neu", true);
  lieferanten.DateiSchreiben();
  EXPECT_TRUE(fs::is_symlink(ordner / kLieferantenDatei));
  EXPECT_EQ(readBytes(ordner / "echt.csv"), crlf({"1;2;3;4", "neu;5;6;7"}));
}

}  // namespace
}  // namespace belvanto
