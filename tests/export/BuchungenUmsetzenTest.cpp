// The booking conversion with the real index and mapping readers on small
// files: one output row per booking, each column as the conversion rules give.
#include <gtest/gtest.h>

#include <map>

#include "export/BuchungenUmsetzen.h"
#include "export/ExportTestHilfe.h"
#include "input/ULieferanten.h"
#include "input/URechnungsIndex.h"
#include "util/Fehler.h"

namespace belvanto::test {
namespace {

struct Buchung {
  std::string lieferant = "70001";
  std::string rechnungsNr = "RE-1";
  std::string datum = "18.01.25";
  std::string steuer = "19,00";
  std::string betrag = "100,00";
  std::string skonto = "0,00";
};

class BuchungenUmsetzenTest : public ::testing::Test {
 protected:
  BuchungenUmsetzenTest() {
    u.lieferanten({"70001;10001;Müller & Söhne;5000", "70002;10002;Müller && Co;100",
                   "70003;10003;Meier;50"});
    u.index({indexZeile("ABCD4711.pdf", "RE-1", "ABRUF-9", "15.03.2025"),
             indexZeile("ABCD0002.pdf", "RE-2", "ANDERS", "16.03.2025")});
    u.pdf("ABCD4711.pdf");
    u.pdf("ABCD0002.pdf");
  }

  TextGrid umsetzen(const std::vector<Buchung>& buchungen) {
    TextGrid grid(14, 1);
    grid.appendRow({"LiefNr", "RechnungsNr", "Datum", "Text", "MwSt", "Betrag", "Netto", "Steuer",
                    "Info", "Skonto"});
    for (const auto& b : buchungen) {
      grid.appendRow(
          {b.lieferant, b.rechnungsNr, b.datum, "x", b.steuer, b.betrag, "", "", "y", b.skonto});
    }
    grid.setRowCount(grid.rowCount() - 1);  // as the reader leaves it: no empty last row

    RechnungsIndex index;
    index.DateiEinlesen(u.arbeit);
    Lieferanten lieferanten(u.bediener, u.programm);
    lieferanten.DateiEinlesen();
    TextGrid aus(kAusgabeSpalten, 1);
    aus.appendRow({"alt", "alt"});  // left over from an earlier booking file
    BuchungenUmsetzen(grid, index, lieferanten, u.konfiguration, u.bediener, aus);
    return aus;
  }

  ExportUmgebung u;
};

TEST_F(BuchungenUmsetzenTest, NurKopfzeileLaesstEineLeereZeileUndFragtNichts) {
  const TextGrid aus = umsetzen({});
  ASSERT_EQ(aus.rowCount(), 1);
  for (int c = 0; c < kAusgabeSpalten; ++c) EXPECT_EQ(aus.cell(c, 0), "") << c;
  EXPECT_TRUE(u.bediener.ereignisse.empty());
  EXPECT_TRUE(u.bediener.fortschritte.empty());
  // HoleBildname was not called: the PDF keeps its delivered name.
  EXPECT_TRUE(std::filesystem::exists(u.arbeit / "ZRBELEG" / "ABCD4711.pdf"));
}

TEST_F(BuchungenUmsetzenTest, EineZeileMitAllenFestenSpalten) {
  const TextGrid aus = umsetzen({Buchung{}});
  ASSERT_EQ(aus.rowCount(), 2);
  const std::map<int, std::string> erwartet{
      {0, "EUR"},     {1, "100.00"},         {2, "RE-1"},  {3, "2025-01-18"},
      {4, "ABRUF-9"}, {5, "Müller + Söhne"}, {7, "10001"}, {9, "19,00"},
      {11, "Ware"},   {14, "19.00"},         {17, "100"},  {30, "815-4711"}};
  for (int c = 0; c < kAusgabeSpalten; ++c) {
    const auto it = erwartet.find(c);
    EXPECT_EQ(aus.cell(c, 0), it == erwartet.end() ? "" : it->second) << "column " << c;
  }
  for (int c = 0; c < kAusgabeSpalten; ++c) EXPECT_EQ(aus.cell(c, 1), "") << c;
  EXPECT_TRUE(std::filesystem::exists(u.arbeit / "ZRBELEG" / "815-4711.pdf"));
  EXPECT_EQ(u.bediener.fortschritte, (std::vector<std::string>{"1", "Verarbeiten: 1"}));
}

struct BetragsFall {
  std::string steuer, betrag, skonto;
  // Columns 1, 9, 14, 21, 23, 29.
  std::string c1, c9, c14, c21, c23, c29;
};

TEST_F(BuchungenUmsetzenTest, BetragSteuerUndSkonto) {
  const std::vector<BetragsFall> faelle{
      {"7,00", "119,00", "3,57", "119.00", "7,00", "7.00", "3.57", "2025-03-15", "3.00"},
      {"19,00", "75,00", "-1,50", "75.00", "19,00", "19.00", "1.50", "2025-03-15", "2.00"},
      // Credit notes never carry a discount.
      {"19,00", "-50,00", "-1,00", "-50.00", "19,00", "19.00", "", "", ""},
      {"19,00", "100,00", "0,00", "100.00", "19,00", "19.00", "", "", ""},
      {"19,00", "-10,00", "0,00", "-10.00", "19,00", "19.00", "", "", ""},
      // Halves go to the even neighbour.
      {"19,00", "100,00", "2,50", "100.00", "19,00", "19.00", "2.50", "2025-03-15", "2.00"},
      {"19,00", "100,00", "3,50", "100.00", "19,00", "19.00", "3.50", "2025-03-15", "4.00"},
      // Extended precision decides these: plain double arithmetic would give
      // 8, 9, 11 and 2.
      {"19,00", "1,60", "0,12", "1.60", "19,00", "19.00", "0.12", "2025-03-15", "7.00"},
      {"19,00", "6,00", "0,57", "6.00", "19,00", "19.00", "0.57", "2025-03-15", "10.00"},
      {"19,00", "10,00", "1,15", "10.00", "19,00", "19.00", "1.15", "2025-03-15", "12.00"},
      {"19,00", "6,80", "0,17", "6.80", "19,00", "19.00", "0.17", "2025-03-15", "3.00"},
      // Account by tax class: exact text, anything else is the full rate.
      {"0,00", "10,00", "0,00", "10.00", "0,00", "0.00", "", "", ""},
      {"16,00", "10,00", "0,00", "10.00", "19,00", "16.00", "", "", ""},
      {"7,0", "10,00", "0,00", "10.00", "19,00", "7.0", "", "", ""},
      // No percentage without a usable quotient; the other discount columns stay.
      {"19,00", "0,00", "1,00", "0.00", "19,00", "19.00", "1.00", "2025-03-15", ""},
      {"19,00", "abc", "1,00", "abc", "19,00", "19.00", "1.00", "2025-03-15", ""},
      {"19,00", "", "1,00", "", "19,00", "19.00", "1.00", "2025-03-15", ""},
      {"19,00", "100,00", "x", "100.00", "19,00", "19.00", "x", "2025-03-15", ""},
  };
  std::vector<Buchung> buchungen;
  for (const auto& f : faelle) {
    Buchung b;
    b.steuer = f.steuer;
    b.betrag = f.betrag;
    b.skonto = f.skonto;
    buchungen.push_back(b);
  }
  const TextGrid aus = umsetzen(buchungen);
  ASSERT_EQ(aus.rowCount(), static_cast<int>(faelle.size()) + 1);
  for (std::size_t i = 0; i < faelle.size(); ++i) {
    const auto& f = faelle[i];
    const int r = static_cast<int>(i);
    SCOPED_TRACE(f.betrag + " / " + f.skonto + " / " + f.steuer);
    EXPECT_EQ(aus.cell(1, r), f.c1);
    EXPECT_EQ(aus.cell(9, r), f.c9);
    EXPECT_EQ(aus.cell(14, r), f.c14);
    EXPECT_EQ(aus.cell(21, r), f.c21);
    EXPECT_EQ(aus.cell(23, r), f.c23);
    EXPECT_EQ(aus.cell(29, r), f.c29);
  }
}

TEST_F(BuchungenUmsetzenTest, LieferantennameUndKonto) {
  Buchung a;
  Buchung b;
  b.lieferant = "70002";
  u.konfiguration.NummernUmsetzung = false;
  const TextGrid aus = umsetzen({a, b});
  EXPECT_EQ(aus.cell(5, 0), "Müller + Söhne");
  EXPECT_EQ(aus.cell(5, 1), "Müller ++ Co");
  // Without own numbers the cooperative's number is the account.
  EXPECT_EQ(aus.cell(7, 0), "70001");
  EXPECT_EQ(aus.cell(7, 1), "70002");
}

TEST_F(BuchungenUmsetzenTest, OhneKonfigurierteSaetzeBleibtDasKontoLeer) {
  u.konfiguration.FirmaVolleMwSt = "";
  u.konfiguration.FirmaHalbeMwSt = "";
  u.konfiguration.FirmaNullMwSt = "";
  const TextGrid aus = umsetzen({Buchung{}});
  EXPECT_EQ(aus.cell(9, 0), "");
  EXPECT_EQ(aus.cell(14, 0), "19.00");
}

TEST_F(BuchungenUmsetzenTest, ZweiZeilenEinerRechnungTeilenDenBildnamen) {
  Buchung a;
  Buchung b;
  b.betrag = "20,00";
  Buchung c;
  c.rechnungsNr = "RE-2";
  const TextGrid aus = umsetzen({a, b, c});
  ASSERT_EQ(aus.rowCount(), 4);
  EXPECT_EQ(aus.cell(2, 0), "RE-1");
  EXPECT_EQ(aus.cell(2, 1), "RE-1");
  EXPECT_EQ(aus.cell(30, 0), "815-4711");
  EXPECT_EQ(aus.cell(30, 1), "815-4711");
  EXPECT_EQ(aus.cell(30, 2), "815-0002");
  // The call-off number is always that of the index's first line.
  EXPECT_EQ(aus.cell(4, 2), "ABRUF-9");
  EXPECT_FALSE(std::filesystem::exists(u.arbeit / "ZRBELEG" / "ABCD4711.pdf"));
  EXPECT_TRUE(std::filesystem::exists(u.arbeit / "ZRBELEG" / "815-4711.pdf"));
  EXPECT_EQ(u.bediener.fortschritte,
            (std::vector<std::string>{"1", "Verarbeiten: 1", "2", "Verarbeiten: 2", "3",
                                      "Verarbeiten: 3"}));
}

TEST_F(BuchungenUmsetzenTest, RechnungOhneIndexzeile) {
  Buchung b;
  b.rechnungsNr = "FEHLT-1";
  b.skonto = "1,00";
  const TextGrid aus = umsetzen({b});
  EXPECT_EQ(aus.cell(30, 0), "");
  EXPECT_EQ(aus.cell(23, 0), "");
  EXPECT_EQ(aus.cell(21, 0), "1.00");
  EXPECT_EQ(aus.cell(29, 0), "1.00");
}

TEST_F(BuchungenUmsetzenTest, DatumNachStellen) {
  const std::vector<std::pair<std::string, std::string>> faelle{{"18.01.25", "2025-01-18"},
                                                                {"25.12.24", "2024-12-25"},
                                                                {"18.01.2025", "2020-01-18"},
                                                                {"1.2.25", "20-.2-1."},
                                                                {"", "20--"},
                                                                {"Ä1.02.25", "2025-02-Ä1"}};
  std::vector<Buchung> buchungen;
  for (const auto& [datum, iso] : faelle) {
    Buchung b;
    b.datum = datum;
    buchungen.push_back(b);
  }
  const TextGrid aus = umsetzen(buchungen);
  for (std::size_t i = 0; i < faelle.size(); ++i) {
    EXPECT_EQ(aus.cell(3, static_cast<int>(i)), faelle[i].second) << faelle[i].first;
  }
}

TEST_F(BuchungenUmsetzenTest, UnbekannterLieferantWirdEinmalErfragt) {
  u.bediener.lieferantAntworten.push_back({"55555", "Neu & Co", "300"});
  Buchung a;
  a.lieferant = "80000";
  const TextGrid aus = umsetzen({a, a});
  EXPECT_EQ(u.bediener.ereignisse, (std::vector<std::string>{"lieferant: 80000", "piep"}));
  EXPECT_EQ(aus.cell(7, 0), "55555");
  EXPECT_EQ(aus.cell(5, 0), "Neu + Co");
  EXPECT_EQ(aus.cell(5, 1), "Neu + Co");
}

TEST(BetraegePruefen, NurBetraegeDieDieDatevDateienTragenKoennen) {
  struct Fall {
    std::string betrag, skonto;
    std::string fehler;  // "Betrag" or "Skontobetrag" with the refused value, empty: accepted
  };
  const std::vector<Fall> faelle{
      {"119,00", "3,57", ""},
      {"-59,50", "-1,19", ""},
      {"100", "0,0", ""},
      {"+1,5", ",5", ""},
      {"0,00", "0,00", ""},
      // No discount elements are written for these discounts.
      {"12,00", "", ""},
      {"-12,00", "abc", ""},
      {"1.234,56", "0,00", "Betrag \"1.234,56\""},
      {"", "0,00", "Betrag \"\""},
      {"viel", "0,00", "Betrag \"viel\""},
      {"1E3", "0,00", "Betrag \"1E3\""},
      {" 12,00", "0,00", "Betrag \" 12,00\""},
      {"\"12,00\"", "0,00", "Betrag \"\"12,00\"\""},
      {"-", "0,00", "Betrag \"-\""},
      {"12,00", "1.234,56", "Skontobetrag \"1.234,56\""},
      {"12,00", "-", "Skontobetrag \"-\""},
  };
  for (const auto& f : faelle) {
    const std::string zeilen[3][2]{{"Betrag", "Skonto"}, {"1,00", "0,00"}, {f.betrag, f.skonto}};
    TextGrid grid(14, 3);
    for (int r = 0; r < 3; ++r) {
      grid.setCell(5, r, zeilen[r][0]);
      grid.setCell(9, r, zeilen[r][1]);
    }
    std::string fehler;
    try {
      BetraegePruefen(grid, "Buchungen_20250118.csv");
    } catch (const Fehler& e) {
      fehler = e.what();
    }
    EXPECT_EQ(fehler, f.fehler.empty() ? ""
                                       : "Die Buchungsdatei \"Buchungen_20250118.csv\" enthält "
                                         "in Zeile 3 den ungültigen " +
                                             f.fehler + ".")
        << f.betrag << " " << f.skonto;
  }
}

TEST(SkontoProzent, NurBerechenbareWerte) {
  EXPECT_EQ(SkontoProzent("119.00", "3.57"), "3.00");
  EXPECT_EQ(SkontoProzent("0.00", "1.00"), "");
  EXPECT_EQ(SkontoProzent("-0.00", "1.00"), "");
  EXPECT_EQ(SkontoProzent("1E-300", "1"), "");
  EXPECT_EQ(SkontoProzent("100.00", ""), "");
  EXPECT_EQ(SkontoProzent("100.00", "0.4"), "0.00");
  EXPECT_EQ(SkontoProzent("100.00", "-0.4"), "0.00");
}

TEST(OhneEndung, SchneidetNurDieEndungAb) {
  const std::vector<std::pair<std::string, std::string>> faelle{
      {"815-4711.pdf", "815-4711"},
      {"a.b.pdf", "a.b"},
      {"ohne", "ohne"},
      {".pdf", ""},
      {"", ""},
      {"ordner.x\\name", "ordner.x\\name"},
      {"c.d:name", "c.d:name"},
      {"x\\y.pdf", "x\\y"},
      {"name.", "name"}};
  for (const auto& [ein, aus] : faelle) EXPECT_EQ(OhneEndung(ein), aus) << ein;
}

}  // namespace
}  // namespace belvanto::test
