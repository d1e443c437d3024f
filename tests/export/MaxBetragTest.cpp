// The maximum amount check: which bookings give a protocol row, and what the
// row reads.
#include <gtest/gtest.h>

#include "export/ExportTestHilfe.h"
#include "export/MaxBetrag.h"
#include "input/ULieferanten.h"

namespace belvanto::test {
namespace {

struct PruefFall {
  std::string lieferant, rechnungsNr, datum, betrag, skonto;
  std::string erwartet;  // protocol row as "a|b|c|d|e|f", empty: none
};

class MaxBetragTest : public ::testing::Test {
 protected:
  MaxBetragTest() {
    u.lieferanten(
        {"1;11;Eins & Co;1000", "2;22;Zwei;100", "3;33;Drei;", "4;44;Vier;abc", "5;55;Fünf;99,5"});
  }

  TextGrid pruefen(const std::vector<PruefFall>& faelle) {
    TextGrid grid(14, 1);
    grid.appendRow({"LiefNr", "RechnungsNr", "Datum", "Text", "MwSt", "Betrag", "Netto", "Steuer",
                    "Info", "Skonto"});
    for (const auto& f : faelle) {
      grid.appendRow(
          {f.lieferant, f.rechnungsNr, f.datum, "x", "19,00", f.betrag, "", "", "y", f.skonto});
    }
    grid.setRowCount(grid.rowCount() - 1);
    Lieferanten lieferanten(u.bediener, u.programm);
    lieferanten.DateiEinlesen();
    MaxBetragPruefen(grid, lieferanten, u.konfiguration, u.protokoll, u.bediener);
    return grid;
  }

  ExportUmgebung u;
};

TEST_F(MaxBetragTest, ProtokollzeilenJeBuchung) {
  const std::string art = "Rechnungsbetrag zu hoch|";
  const std::vector<PruefFall> faelle{
      {"1", "R1", "10.01.25", "1200,00", "0,00",
       art + "Eins & Co|R1|20.01.2025|Ist: 1200|Soll: 1000"},
      {"1", "R2", "10.01.25", "1000,00", "0,00", ""},
      {"1", "R3", "10.01.25", "1020,00", "20,40", ""},
      {"2", "R4", "10.01.25", "119,00", "3,57", art + "Zwei|R4|20.01.2025|Ist: 115,43|Soll: 100"},
      {"2", "R5", "25.12.24", "100,01", "0,00", art + "Zwei|R5|04.01.2025|Ist: 100,01|Soll: 100"},
      {"2", "R6", "10.01.25", "-500,00", "0,00", ""},
      {"5", "R7", "28.02.24", "99,51", "0,00", art + "Fünf|R7|09.03.2024|Ist: 99,51|Soll: 99,5"},
      {"5", "R8", "10.01.25", "99,50", "0,00", ""},
      // One enclosing quote of amount and discount is left out.
      {"2", "R9", "10.01.25", "\"150,00\"", "\"0,00\"",
       art + "Zwei|R9|20.01.2025|Ist: 150|Soll: 100"},
      // No comparison without a maximum, an amount, a discount or a date.
      {"3", "S1", "10.01.25", "5000,00", "0,00", ""},
      {"4", "S2", "10.01.25", "5000,00", "0,00", ""},
      {"2", "S3", "10.01.25", "viel", "0,00", ""},
      {"2", "S4", "10.01.25", "5000,00", "", ""},
      {"2", "S5", "", "5000,00", "0,00", ""},
      {"2", "S6", "31.02.25", "5000,00", "0,00", ""},
      // A difference beyond the double range has no amount text.
      {"2", "S7", "10.01.25", "1E308", "-1E308", ""},
  };
  const TextGrid grid = pruefen(faelle);

  std::vector<std::string> erwartet;
  for (const auto& f : faelle) {
    if (!f.erwartet.empty()) erwartet.push_back(f.erwartet);
  }
  EXPECT_EQ(protokollZeilen(u.protokoll), erwartet);
  // A check leaves its input as it found it.
  EXPECT_EQ(grid.cell(5, 9), "\"150,00\"");
  EXPECT_EQ(grid.cell(9, 9), "\"0,00\"");
  EXPECT_TRUE(u.bediener.ereignisse.empty());
  ASSERT_EQ(u.bediener.fortschritte.size(), faelle.size());
  EXPECT_EQ(u.bediener.fortschritte.front(), "1");
  EXPECT_EQ(u.bediener.fortschritte.back(), std::to_string(faelle.size()));
}

TEST_F(MaxBetragTest, JedeZeileEinerRechnungFuerSich) {
  pruefen(
      {{"2", "R1", "10.01.25", "60,00", "0,00", ""}, {"2", "R1", "10.01.25", "60,00", "0,00", ""}});
  EXPECT_EQ(u.protokoll.anzahlEintraege(), 0);
}

TEST_F(MaxBetragTest, NurKopfzeile) {
  pruefen({});
  EXPECT_EQ(u.protokoll.anzahlEintraege(), 0);
  EXPECT_TRUE(u.bediener.fortschritte.empty());
}

}  // namespace
}  // namespace belvanto::test
