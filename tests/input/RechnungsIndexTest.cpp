// The invoice index: reading, the lookups with "first row wins", the value
// date by character position and the one-time rename of the invoice PDFs.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "input/URechnungsIndex.h"
#include "support/OhneRoot.h"
#include "support/TestSupport.h"
#include "util/Fehler.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;
using test::crlf;
using test::readBytes;
using test::TempDir;
using test::writeBytes;

const std::string kKopf =
    "Datei;F1;F2;F3;F4;Mitglied;RechnungsNr;F7;Abrechnung;F9;Abruf;F11;F12;Valuta;F14;F15;F16;F17;"
    "F18";

// One index line: file name, member number, invoice, settlement and call-off
// number, value date; the other fields filled with their column number.
std::string indexZeile(const std::string& datei, const std::string& mitglied,
                       const std::string& rechnung, const std::string& abrechnung,
                       const std::string& abruf = "A-1", const std::string& valuta = "15.03.2025") {
  return datei + ";1;2;3;4;" + mitglied + ";" + rechnung + ";7;" + abrechnung + ";9;" + abruf +
         ";11;12;" + valuta + ";14;15;16;17;18";
}

class RechnungsIndexTest : public testing::Test {
 protected:
  void lies(const std::string& bytes) {
    writeBytes(w / "ZRBELEG" / "Index_20250131.csv", bytes);
    index.DateiEinlesen(w.path());
  }
  fs::path beleg(const std::string& name) const { return w / "ZRBELEG" / name; }

  TempDir w;
  RechnungsIndex index;
};

TEST_F(RechnungsIndexTest, HeaderAndTwoInvoicesGiveThreeRowsAndTheFirstMemberAndCallOff) {
  std::filesystem::create_directories(w / "ZRBELEG");
  fs::copy_file(test::testData("input/Index_20250131.csv"), beleg("Index_20250131.csv"));
  index.DateiEinlesen(w.path());
  const auto& g = index.grid();
  EXPECT_EQ(g.rowCount(), 3);
  EXPECT_EQ(g.colCount(), 19);
  EXPECT_EQ(index.HoleMitgliedsNummer(), "12345");
  EXPECT_EQ(index.HoleAbrufNummer(), "A-77");
  EXPECT_EQ(index.HoleKundenNummer("R-2025/7"), "12345");
  EXPECT_EQ(index.HoleAbrechnungsNummer("R-2025/7"), "816");
  EXPECT_EQ(index.HoleValutaDatum("R-2025/7"), "2025-02-01");
  EXPECT_EQ(g.cell(18, 2), "Rest;mit;Trennern");
  EXPECT_FALSE(fs::exists(beleg("Index_20250131.csv")));
}

TEST_F(RechnungsIndexTest, HeaderOnlyFindsNothing) {
  for (const std::string& bytes : {crlf({kKopf}), std::string()}) {
    lies(bytes);
    EXPECT_EQ(index.grid().rowCount(), bytes.empty() ? 0 : 1);
    EXPECT_EQ(index.HoleMitgliedsNummer(), "");
    EXPECT_EQ(index.HoleAbrufNummer(), "");
    EXPECT_EQ(index.HoleKundenNummer("RechnungsNr"), "");
    EXPECT_EQ(index.HoleAbrechnungsNummer("RechnungsNr"), "");
    EXPECT_EQ(index.HoleValutaDatum("RechnungsNr"), "");
    EXPECT_EQ(index.HoleBildname("RechnungsNr", w.path()), "");
  }
}

TEST_F(RechnungsIndexTest, OneRowPerLineWhateverTheLineEnds) {
  const std::string z = indexZeile("A.pdf", "1", "R1", "5");
  struct Fall {
    const char* name;
    std::string bytes;
    int zeilen;
  } faelle[] = {
      {"CR LF", crlf({kKopf, z}), 2},
      {"LF", kKopf + "\n" + z + "\n", 2},
      {"no line end at the end", kKopf + "\r\n" + z, 2},
      {"empty line kept as empty row", crlf({kKopf, z, "", z}), 4},
  };
  for (const auto& f : faelle) {
    SCOPED_TRACE(f.name);
    lies(f.bytes);
    EXPECT_EQ(index.grid().rowCount(), f.zeilen);
    EXPECT_EQ(index.HoleAbrechnungsNummer("R1"), "5");
    EXPECT_EQ(index.grid().cell(18, 1), "18");
  }
}

TEST_F(RechnungsIndexTest, EmptyInvoiceNumberFindsNoRow) {
  // An empty line and a line without invoice number both have an empty
  // column 6; neither belongs to a booking without invoice number.
  lies(crlf({kKopf, "", indexZeile("B.pdf", "1", "", "7")}));
  EXPECT_EQ(index.HoleAbrechnungsNummer(""), "");
  EXPECT_EQ(index.HoleValutaDatum(""), "");
  EXPECT_EQ(index.HoleBildname("", w.path()), "");
}

TEST_F(RechnungsIndexTest, ShortLineLeavesTheMiddleEmptyAndPutsItsLastFieldInColumn18) {
  lies(crlf({kKopf, "a;b;c", "x;y;z;1\xe4"}));
  const auto& g = index.grid();
  EXPECT_EQ(g.cell(0, 1), "a");
  EXPECT_EQ(g.cell(1, 1), "b");
  for (int c = 2; c < 18; ++c) EXPECT_EQ(g.cell(c, 1), "") << c;
  EXPECT_EQ(g.cell(18, 1), "c");
  EXPECT_EQ(g.cell(2, 2), "z");
  EXPECT_EQ(g.cell(18, 2), "1\xc3\xa4");
}

TEST_F(RechnungsIndexTest, NoQuoteRemoval) {
  lies(crlf({kKopf, indexZeile("\"A.pdf\"", "\"1\"", "R1", "\"5\"")}));
  EXPECT_EQ(index.HoleKundenNummer("R1"), "\"1\"");
  EXPECT_EQ(index.HoleAbrechnungsNummer("R1"), "\"5\"");
}

TEST_F(RechnungsIndexTest, FirstOfTwoRowsWithTheSameInvoiceWins) {
  lies(crlf({kKopf, indexZeile("ERST0001.pdf", "1", "R1", "100", "A", "01.01.2025"),
             indexZeile("ZWEI0002.pdf", "2", "R1", "200", "B", "02.02.2026")}));
  writeBytes(beleg("ERST0001.pdf"), "1");
  writeBytes(beleg("ZWEI0002.pdf"), "2");
  EXPECT_EQ(index.HoleKundenNummer("R1"), "1");
  EXPECT_EQ(index.HoleAbrechnungsNummer("R1"), "100");
  EXPECT_EQ(index.HoleValutaDatum("R1"), "2025-01-01");
  EXPECT_EQ(index.HoleBildname("R1", w.path()), "100-0001.pdf");
  EXPECT_TRUE(fs::exists(beleg("ZWEI0002.pdf")));
}

TEST_F(RechnungsIndexTest, LookupIsCaseSensitiveAndWholeText) {
  lies(crlf({kKopf, indexZeile("A.pdf", "1", "Re-1", "5")}));
  for (const char* andere : {"re-1", "RE-1", "Re-", "Re-1 ", " Re-1"}) {
    EXPECT_EQ(index.HoleAbrechnungsNummer(andere), "") << andere;
  }
  EXPECT_EQ(index.HoleAbrechnungsNummer("Re-1"), "5");
}

TEST_F(RechnungsIndexTest, ValueDateByCharacterPosition) {
  struct Fall {
    std::string zelle;
    std::string erwartet;
  } faelle[] = {
      {"15.03.2025", "2025-03-15"},
      {"", "--"},
      {"1.3.2025", "25-.2-1."},
      {"15.03.25", "25-03-15"},
      {"15.03.2025 12:00", "2025-03-15"},
      {"\xfc"
       "1.03.2025",
       "2025-03-\xc3\xbc"
       "1"},  // one character, not two bytes
  };
  for (const auto& f : faelle) {
    lies(crlf({kKopf, indexZeile("A.pdf", "1", "R1", "5", "A", f.zelle)}));
    EXPECT_EQ(index.HoleValutaDatum("R1"), f.erwartet) << f.zelle;
  }
}

TEST_F(RechnungsIndexTest, ImageNameRenamesThePdfOnce) {
  lies(crlf({kKopf, indexZeile("ABCD4711.pdf", "1", "RE 12", "815"),
             indexZeile("EFGH0001.pdf", "1", "RE 13", "815")}));
  writeBytes(beleg("ABCD4711.pdf"), "%PDF-1");
  EXPECT_EQ(index.HoleBildname("RE 12", w.path()), "815-4711.pdf");
  EXPECT_FALSE(fs::exists(beleg("ABCD4711.pdf")));
  EXPECT_EQ(readBytes(beleg("815-4711.pdf")), "%PDF-1");
  EXPECT_EQ(index.grid().cell(0, 1), "G815-4711.pdf");

  // The second booking of the same invoice: same name, nothing moves.
  writeBytes(beleg("ABCD4711.pdf"), "neu");
  EXPECT_EQ(index.HoleBildname("RE 12", w.path()), "815-4711.pdf");
  EXPECT_EQ(readBytes(beleg("ABCD4711.pdf")), "neu");
  EXPECT_EQ(readBytes(beleg("815-4711.pdf")), "%PDF-1");
}

TEST_F(RechnungsIndexTest, StoredNameWithGIsTakenAsAlreadyRenamed) {
  lies(crlf({kKopf, indexZeile("GABC-1.pdf", "1", "R1", "815")}));
  writeBytes(beleg("GABC-1.pdf"), "x");
  EXPECT_EQ(index.HoleBildname("R1", w.path()), "ABC-1.pdf");
  EXPECT_TRUE(fs::exists(beleg("GABC-1.pdf")));
  EXPECT_FALSE(fs::exists(beleg("ABC-1.pdf")));
}

TEST_F(RechnungsIndexTest, PdfAndFolderAreFoundWhateverTheirCase) {
  fs::create_directories(w / "ZRBeleg");
  writeBytes(w / "ZRBeleg" / "abcd4711.PDF", "x");
  writeBytes(w / "ZRBeleg" / "Index_1.csv",
             crlf({kKopf, indexZeile("ABCD4711.pdf", "1", "R1", "815")}));
  index.DateiEinlesen(w.path());
  EXPECT_EQ(index.HoleBildname("R1", w.path()), "815-4711.pdf");
  EXPECT_EQ(readBytes(w / "ZRBeleg" / "815-4711.pdf"), "x");
  EXPECT_FALSE(fs::exists(w / "ZRBeleg" / "abcd4711.PDF"));
}

TEST_F(RechnungsIndexTest, FailedRenameIsSilentAndNeverReplacesAFile) {
  lies(crlf({kKopf, indexZeile("FEHL0001.pdf", "1", "R1", "815"),
             indexZeile("ABCD0002.pdf", "1", "R2", "815"),
             indexZeile("ABCD0003.pdf", "1", "R3", "815"), indexZeile("AB", "1", "R4", "815"),
             indexZeile("", "1", "R5", "816")}));
  writeBytes(beleg("ABCD0002.pdf"), "alt");
  writeBytes(beleg("815-0002.pdf"), "schon da");
  writeBytes(beleg("ABCD0003.pdf"), "alt3");
  writeBytes(beleg("815-0003.PDF"), "schon da3");

  // Missing PDF: the new name is recorded and returned all the same.
  EXPECT_EQ(index.HoleBildname("R1", w.path()), "815-0001.pdf");
  EXPECT_EQ(index.grid().cell(0, 1), "G815-0001.pdf");
  EXPECT_FALSE(fs::exists(beleg("815-0001.pdf")));

  // Target already there, in the same or another letter case: both stay.
  EXPECT_EQ(index.HoleBildname("R2", w.path()), "815-0002.pdf");
  EXPECT_EQ(index.HoleBildname("R3", w.path()), "815-0003.pdf");
  EXPECT_EQ(readBytes(beleg("ABCD0002.pdf")), "alt");
  EXPECT_EQ(readBytes(beleg("815-0002.pdf")), "schon da");
  EXPECT_EQ(readBytes(beleg("ABCD0003.pdf")), "alt3");
  EXPECT_EQ(readBytes(beleg("815-0003.PDF")), "schon da3");

  // Names shorter than four characters and empty ones: nothing to move, and
  // the folder itself is never renamed.
  EXPECT_EQ(index.HoleBildname("R4", w.path()), "815-");
  EXPECT_EQ(index.HoleBildname("R5", w.path()), "816-");
  EXPECT_TRUE(fs::is_directory(w / "ZRBELEG"));
}

TEST_F(RechnungsIndexTest, EarlierRenamesOfTheSameReadingCount) {
  lies(crlf({kKopf, indexZeile("ABCD0001.pdf", "1", "R1", "815"),
             indexZeile("WXYZ0001.pdf", "1", "R2", "815"),
             indexZeile("ABCD0001.pdf", "1", "R3", "900")}));
  writeBytes(beleg("ABCD0001.pdf"), "a");
  writeBytes(beleg("WXYZ0001.pdf"), "w");
  EXPECT_EQ(index.HoleBildname("R1", w.path()), "815-0001.pdf");
  // The name just given is taken, and the PDF just renamed is gone.
  EXPECT_EQ(index.HoleBildname("R2", w.path()), "815-0001.pdf");
  EXPECT_EQ(index.HoleBildname("R3", w.path()), "900-0001.pdf");
  EXPECT_EQ(readBytes(beleg("815-0001.pdf")), "a");
  EXPECT_EQ(readBytes(beleg("WXYZ0001.pdf")), "w");
  EXPECT_FALSE(fs::exists(beleg("900-0001.pdf")));

  // A new reading sees the folder afresh.
  writeBytes(beleg("abcd0002.PDF"), "b");
  lies(crlf({kKopf, indexZeile("ABCD0002.pdf", "1", "R1", "815")}));
  EXPECT_EQ(index.HoleBildname("R1", w.path()), "815-0002.pdf");
  EXPECT_EQ(readBytes(beleg("815-0002.pdf")), "b");
}

TEST_F(RechnungsIndexTest, NamesThatLeaveTheFolderRenameNothing) {
  writeBytes(w / "draussen.pdf", "x");
  writeBytes(w / "ZRBELEG" / "sub" / "ABCDdrin.pdf", "y");
  struct Fall {
    const char* gespeichert;
    const char* abrechnung;
  } faelle[] = {
      {"../draussen.pdf", "815"},   {"sub/ABCDdrin.pdf", "815"},
      {"sub\\ABCDdrin.pdf", "815"}, {"..", "815"},
      {"ABCDdrin.pdf", "../.."},    {"ABCDdrin.pdf", "a\\b"},
      {"G../draussen.pdf", "815"},
  };
  for (const auto& f : faelle) {
    SCOPED_TRACE(f.gespeichert + std::string(" / ") + f.abrechnung);
    lies(crlf({kKopf, indexZeile(f.gespeichert, "1", "R1", f.abrechnung)}));
    EXPECT_EQ(index.HoleBildname("R1", w.path()), "");
    EXPECT_EQ(index.grid().cell(0, 1), f.gespeichert);
  }
  EXPECT_EQ(readBytes(w / "draussen.pdf"), "x");
  EXPECT_EQ(readBytes(w / "ZRBELEG" / "sub" / "ABCDdrin.pdf"), "y");
  std::vector<std::string> inhalt;
  for (const auto& e : fs::recursive_directory_iterator(w.path())) {
    inhalt.push_back(fs::relative(e.path(), w.path()).generic_string());
  }
  std::sort(inhalt.begin(), inhalt.end());
  EXPECT_EQ(inhalt, (std::vector<std::string>{"ZRBELEG", "ZRBELEG/sub", "ZRBELEG/sub/ABCDdrin.pdf",
                                              "draussen.pdf"}));
}

TEST_F(RechnungsIndexTest, FirstIndexFileInNameOrderAndNoneIsAnError) {
  writeBytes(beleg("index_2.CSV"), crlf({kKopf, indexZeile("A", "zwei", "R", "1")}));
  writeBytes(beleg("Index_1.csv"), crlf({kKopf, indexZeile("A", "eins", "R", "1")}));
  index.DateiEinlesen(w.path());
  EXPECT_EQ(index.HoleMitgliedsNummer(), "eins");
  index.DateiEinlesen(w.path());
  EXPECT_EQ(index.HoleMitgliedsNummer(), "zwei");
  EXPECT_THROW(index.DateiEinlesen(w.path()), Fehler);
}

TEST_F(RechnungsIndexTest, MegabyteLineAndByteOrderMark) {
  const std::string lang(1 << 20, 'r');
  lies("\xef\xbb\xbf" + crlf({kKopf, indexZeile("A.pdf", "1", lang, "9")}));
  EXPECT_EQ(index.grid().cell(0, 0),
            "\xc3\xaf\xc2\xbb\xc2\xbf"
            "Datei");
  EXPECT_EQ(index.HoleAbrechnungsNummer(lang), "9");
}

TEST_F(RechnungsIndexTest, UndeletableIndexIsReadWithoutComplaint) {
  const auto datei = beleg("Index_1.csv");
  writeBytes(datei, crlf({kKopf, indexZeile("A", "4242", "R", "1")}));
  test::fuerAlleBetretbar(w.path());
  fs::permissions(w / "ZRBELEG", fs::perms::owner_read | fs::perms::owner_exec |
                                     fs::perms::others_read | fs::perms::others_exec);
  EXPECT_EXIT(test::ohneSonderrechte([&] {
                RechnungsIndex i;
                i.DateiEinlesen(w.path());
                return i.HoleMitgliedsNummer() == "4242" ? 0 : 1;
              }),
              testing::ExitedWithCode(0), "");
  fs::permissions(w / "ZRBELEG", fs::perms::owner_all);
  EXPECT_TRUE(fs::exists(datei));
}

}  // namespace
}  // namespace belvanto
