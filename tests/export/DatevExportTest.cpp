// The DATEV writer where the golden cases cannot reach: amounts and their
// exact sums, the invoice number dialog, the refusal of unsafe or unwritable
// file names, and names that match regardless of letter case. The files
// themselves are checked byte for byte by the golden cases.
#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

#include "export/AusgabeSpalten.h"
#include "export/DatevExport.h"
#include "export/ExportTestHilfe.h"
#include "export/ExportText.h"
#include "util/Dezimal.h"
#include "util/Fehler.h"
#include "util/Zahlen.h"

namespace belvanto::test {
namespace {

namespace fs = std::filesystem;

struct Zeile {
  std::string rechnungsNr = "RE-1";
  std::string bild = "815-1";
  std::string betrag = "10.00";
};

TextGrid ausgabe(const std::vector<Zeile>& zeilen) {
  TextGrid grid(kAusgabeSpalten, 1);
  for (const auto& z : zeilen) {
    std::vector<std::string> c(kAusgabeSpalten);
    c[kWaehrung] = "EUR";
    c[kBetrag] = z.betrag;
    c[kRechnungsNr] = z.rechnungsNr;
    c[kDatum] = "2025-01-18";
    c[kBildname] = z.bild;
    grid.appendRow(std::move(c));
  }
  return grid;
}

// Regular files below `ordner`, as relative paths in name order.
std::vector<std::string> dateien(const fs::path& ordner) {
  std::vector<std::string> namen;
  for (const auto& e : fs::recursive_directory_iterator(ordner))
    if (e.is_regular_file()) namen.push_back(fs::relative(e.path(), ordner).generic_string());
  std::sort(namen.begin(), namen.end());
  return namen;
}

TEST(BetragFormatieren, ZweiNachkommastellenMindestens) {
  const std::vector<std::pair<double, std::string>> faelle{
      {50, "50.00"},       {-12.5, "-12.50"},       {119, "119.00"}, {119.5, "119.50"},
      {0.1 + 0.2, "0.30"}, {12.345, "12.345"},      {0, "0.00"},     {170, "170.00"},
      {1e-17, "1E-17.00"}, {2.5e-5, "2.5E-5"},      {0.01, "0.01"},  {-0.5, "-0.50"},
      {1e15, "1E15.00"},   {123456.78, "123456.78"}};
  for (const auto& [wert, text] : faelle) EXPECT_EQ(BetragFormatieren(wert), text) << wert;
  EXPECT_EQ(BetragFormatieren(std::numeric_limits<double>::infinity()), "");
  EXPECT_EQ(BetragFormatieren(std::numeric_limits<double>::quiet_NaN()), "");
}

// The former sum: each amount in extended precision, rounded to a double
// after every addition.
std::string alteSumme(const std::vector<std::string>& betraege) {
  double summe = 0;
  for (const auto& b : betraege) {
    summe = static_cast<double>(static_cast<long double>(summe) + *parseDecimalExtended(b, '.'));
  }
  return BetragFormatieren(summe);
}

std::vector<std::string> mal(int n, const std::string& betrag, std::string dazu) {
  std::vector<std::string> v(static_cast<std::size_t>(n), betrag);
  v.push_back(std::move(dazu));
  return v;
}

TEST(Betragssumme, ExaktUndOhneRestWieBisher) {
  struct Fall {
    std::vector<std::string> betraege;
    std::string text;
    bool rest;  // the former sum showed a rounding residue
  };
  const std::vector<Fall> faelle{
      {{"1.10", "2.20"}, "3.30", false},
      {{"100.10", "50.20", "19.70"}, "170.00", false},
      {{"1190.00", "107.00"}, "1297.00", false},
      {{"-59.50"}, "-59.50", false},
      {{"10", "20"}, "30.00", false},
      {{"+5.5", "-.5"}, "5.00", false},
      {{"0.01"}, "0.01", false},
      {{"12.345", "0.005"}, "12.35", false},
      {{"1.005", "2.0051"}, "3.0101", false},
      {{"-0.001", "0.0005"}, "-0.0005", false},
      {{"0.00001"}, "1E-5.00", false},
      {{"999999999999.99", "0.01"}, "1000000000000.00", false},
      {{"0.333333333333333333", "0.666666666666666667"}, "1.00", false},
      {{"-0.00"}, "0.00", false},
      {mal(10, "0.1", "0"), "1.00", false},
      {{"0.1", "0.2", "-0.3"}, "0.00", true},
      {{"100.10", "-100.10"}, "0.00", true},
      {{"33.33", "33.33", "33.34", "-100.00"}, "0.00", false},
      {{"-1.234", "-2.345", "3.579"}, "0.00", true},
      {mal(1000, "0.01", "-10.00"), "0.00", true},
      {mal(3, "19.99", "-59.97"), "0.00", true},
  };
  for (const auto& f : faelle) {
    Betragssumme summe;
    for (const auto& b : f.betraege) EXPECT_TRUE(summe.addieren(b)) << b;
    EXPECT_EQ(BetragFormatieren(summe.wert()), f.text) << f.betraege.front();
    EXPECT_EQ(alteSumme(f.betraege) != f.text, f.rest)
        << f.betraege.front() << ": " << alteSumme(f.betraege);
  }
}

TEST(DatevExport, RechnungsnummerKuerzen) {
  struct Fall {
    bool kuerzen;
    int stellen;
    std::string nummer;
    std::vector<std::string> antworten;
    std::vector<std::string> fragen;
    std::string ergebnis;
  };
  const std::vector<Fall> faelle{
      {true, 8, "123456789", {"23456789"}, {"123456789/8"}, "23456789"},
      {true,
       8,
       "123456789",
       {"1234567890", "23456789"},
       {"123456789/8", "1234567890/8"},
       "23456789"},
      {true, 8, "12345678", {}, {}, "12345678"},
      // Characters are counted, not bytes.
      {true, 8, "Ü1234567", {}, {}, "Ü1234567"},
      {false, 8, "123456789", {}, {}, "123456789"},
      {true, 0, "12", {""}, {"12/0"}, ""},
      // A negative limit could never be met; it counts as 0.
      {true, -1, "12", {"1", ""}, {"12/0", "1/0"}, ""},
  };
  for (const auto& f : faelle) {
    SCOPED_TRACE(f.nummer + " / " + std::to_string(f.stellen));
    ExportUmgebung u;
    u.konfiguration.RNummerKuerzen = f.kuerzen;
    u.konfiguration.AnzahlRNStellen = f.stellen;
    u.bediener.rechnungsNummerAntworten.assign(f.antworten.begin(), f.antworten.end());
    TextGrid grid = ausgabe({{f.nummer}});
    DatevExportSchreiben(grid, u.konfiguration, u.protokoll, u.bediener);
    std::vector<std::string> fragen;
    for (const auto& a : f.fragen) fragen.push_back("rechnungsnummer: " + a);
    EXPECT_EQ(u.bediener.ereignisse, fragen);
    const std::string bytes = readBytes(u.belege / "815-1.xml");
    EXPECT_NE(bytes.find("consolidatedInvoiceId=\"" + f.ergebnis + "\""), std::string::npos);
    EXPECT_NE(bytes.find("<invoiceId>" + f.ergebnis + "</invoiceId>"), std::string::npos);
    EXPECT_EQ(xmllintFehler(u.belege / "815-1.xml"), "");
  }
}

// A PDF base name that would leave Belege or replace document.xml is refused
// before anything is written or repaired; a file that cannot be written stops
// the run with its name and leaves what was written before it.
TEST(DatevExport, FehlerNennenDenNamen) {
  enum class Belege { da, verstellt, fehlt };
  struct Fall {
    std::string bild;  // of the second invoice, whose amount needs repair
    Belege belege;
    std::string imText;
    std::vector<std::string> bleiben;
    int protokoll;
  };
  const std::vector<Fall> faelle{
      {"../boese", Belege::da, "\"../boese\"", {}, 0},
      {"a/b", Belege::da, "\"a/b\"", {}, 0},
      {"x\\..\\y", Belege::da, "\"x\\..\\y\"", {}, 0},
      {"/tmp/abs", Belege::da, "\"/tmp/abs\"", {}, 0},
      {"Document", Belege::da, "\"Document\"", {}, 0},
      {"815-2", Belege::verstellt, "815-2.xml", {"Belege/815-1.xml", "Belege/document.xml"}, 1},
      // document.xml is created before the first row is looked at.
      {"815-2", Belege::fehlt, "document.xml", {}, 0},
  };
  for (const auto& f : faelle) {
    SCOPED_TRACE(f.bild);
    ExportUmgebung u;
    if (f.belege == Belege::verstellt) fs::create_directory(u.belege / "815-2.xml");
    if (f.belege == Belege::fehlt) fs::remove(u.belege);
    TextGrid grid = ausgabe({{}, {"RE-2", f.bild, "0.00"}});
    try {
      DatevExportSchreiben(grid, u.konfiguration, u.protokoll, u.bediener);
      ADD_FAILURE() << "no error";
    } catch (const Fehler& e) {
      EXPECT_NE(std::string(e.what()).find(f.imText), std::string::npos) << e.what();
    }
    EXPECT_EQ(dateien(u.arbeit), f.bleiben);
    for (const auto& n : f.bleiben) EXPECT_EQ(xmllintFehler(u.arbeit / n), "") << n;
    EXPECT_EQ(u.protokoll.anzahlEintraege(), f.protokoll);
  }
}

TEST(DatevExport, NamenOhneRuecksichtAufGrossUndKleinschreibung) {
  ExportUmgebung u;
  fs::remove(u.belege);
  const fs::path ordner = u.arbeit / "BELEGE";
  writeBytes(ordner / "Document.XML", "alt");
  writeBytes(ordner / "815-A.XML", "alt");
  TextGrid grid = ausgabe({{"RE-1", "815-a"}});
  DatevExportSchreiben(grid, u.konfiguration, u.protokoll, u.bediener);
  EXPECT_EQ(dateien(ordner), (std::vector<std::string>{"815-A.XML", "Document.XML"}));
  EXPECT_NE(readBytes(ordner / "815-A.XML").find("<LedgerImport"), std::string::npos);
  EXPECT_NE(readBytes(ordner / "Document.XML").find("<archive"), std::string::npos);
  for (const auto& n : dateien(ordner)) EXPECT_EQ(xmllintFehler(ordner / n), "") << n;
}

}  // namespace
}  // namespace belvanto::test
