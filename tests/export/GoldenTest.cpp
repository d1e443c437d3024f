// A whole settlement in the cooperative's byte form, read with the real
// readers, converted and written, compared byte for byte with the expected
// DATEV files in tests/data/export/golden (worked out by hand).
#include <gtest/gtest.h>

#include <regex>

#include "export/BuchungenUmsetzen.h"
#include "export/DatevExport.h"
#include "export/ExportTestHilfe.h"
#include "export/MaxBetrag.h"
#include "input/UBuchungen.h"
#include "input/ULieferanten.h"
#include "input/URechnungsIndex.h"

namespace belvanto::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> dateinamen(const fs::path& ordner) {
  std::vector<std::string> namen;
  for (const auto& e : fs::directory_iterator(ordner)) namen.push_back(e.path().filename());
  std::sort(namen.begin(), namen.end());
  return namen;
}

// The creation time in document.xml is the one value that changes per run.
std::string datumMaskieren(std::string bytes) {
  const std::regex datum(R"(\r\n    <date>\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d</date>\r\n)");
  std::smatch treffer;
  EXPECT_TRUE(std::regex_search(bytes, treffer, datum));
  if (treffer.empty()) return bytes;
  return treffer.prefix().str() + "\r\n    <date>JJJJ-MM-TTThh:mm:ss</date>\r\n" +
         treffer.suffix().str();
}

TEST(GoldenExport, AbrechnungByteGenau) {
  ExportUmgebung u;
  const fs::path eingabe = testData("export/golden/eingabe");
  const fs::path erwartet = testData("export/golden/erwartet");
  for (const char* name : {"Buchungen_20241130.csv", "Index_20241130.csv"}) {
    fs::copy_file(eingabe / "ZRBELEG" / name, u.arbeit / "ZRBELEG" / name);
  }
  fs::copy_file(eingabe / "LieferantenUmsetzung.csv", u.programm / "LieferantenUmsetzung.csv");
  for (const char* pdf :
       {"ABCD1001.pdf", "ABCD0077.pdf", "ABCD0005.pdf", "ABCDRD7.pdf", "ABCD0012.pdf"}) {
    u.pdf(pdf);
  }

  Buchungen buchungen;
  buchungen.DateiEinlesen(u.arbeit);
  RechnungsIndex index;
  index.DateiEinlesen(u.arbeit);
  Lieferanten lieferanten(u.bediener, u.programm);
  lieferanten.DateiEinlesen();
  TextGrid ausgabe(kAusgabeSpalten, 1);
  BuchungenUmsetzen(buchungen.BuchungsGrid, index, lieferanten, u.konfiguration, u.bediener,
                    ausgabe);
  DatevExportSchreiben(ausgabe, u.konfiguration, u.protokoll, u.bediener);
  MaxBetragPruefen(buchungen.BuchungsGrid, lieferanten, u.konfiguration, u.protokoll, u.bediener);

  ASSERT_EQ(dateinamen(u.belege), dateinamen(erwartet));
  for (const auto& name : dateinamen(erwartet)) {
    SCOPED_TRACE(name);
    std::string ist = readBytes(u.belege / name);
    if (name == "document.xml") ist = datumMaskieren(ist);
    EXPECT_EQ(ist, readBytes(erwartet / name));
    EXPECT_EQ(xmllintFehler(u.belege / name), "");
  }

  EXPECT_EQ(protokollZeilen(u.protokoll),
            (std::vector<std::string>{
                "Falscher Betrag|R&D<7>|2024-11-29|Obst + Gemüse <Nord>|0.00|",
                "Rechnungsbetrag zu hoch|Müller & Söhne GmbH|RE-1001|05.12.2024|Ist: "
                "1166,2|Soll: 1000",
                "Rechnungsbetrag zu hoch|Bäckerei Schäfer|B-77|07.12.2024|Ist: 100,1|Soll: 100"}));
  EXPECT_TRUE(u.bediener.ereignisse.empty());
  for (const char* pdf :
       {"815-1001.pdf", "815-0077.pdf", "815-0005.pdf", "815-RD7.pdf", "815-0012.pdf"}) {
    EXPECT_TRUE(fs::exists(u.arbeit / "ZRBELEG" / pdf)) << pdf;
  }
}

}  // namespace
}  // namespace belvanto::test
