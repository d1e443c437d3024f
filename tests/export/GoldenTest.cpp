// Whole settlements in the cooperative's byte form, one folder per case in
// tests/data/export: eingabe/ holds ZRBELEG (booking file, index, PDFs) and
// the supplier mapping for beside the program. They are read with the real
// readers, converted and written; Belege must then hold erwartet/ byte for
// byte, and lauf.txt what is left in ZRBELEG and what the person was told.
// The "golden" case was worked out by hand and also feeds the whole-run tests.
#include <gtest/gtest.h>

#include <regex>

#include "export/BuchungenUmsetzen.h"
#include "export/DatevExport.h"
#include "export/ExportTestHilfe.h"
#include "export/MaxBetrag.h"
#include "input/UBuchungen.h"
#include "input/ULieferanten.h"
#include "input/URechnungsIndex.h"
#include "util/Datum.h"

namespace belvanto::test {
namespace {

namespace fs = std::filesystem;

std::vector<std::string> dateinamen(const fs::path& ordner) {
  std::vector<std::string> namen;
  for (const auto& e : fs::directory_iterator(ordner)) namen.push_back(e.path().filename());
  std::sort(namen.begin(), namen.end());
  return namen;
}

// The creation time in document.xml is the one value that changes per run;
// it must be a time during the run.
std::string datumMaskieren(std::string bytes, const std::string& vorher,
                           const std::string& nachher) {
  const std::regex datum(R"(\r\n    <date>(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d)</date>\r\n)");
  std::smatch treffer;
  EXPECT_TRUE(std::regex_search(bytes, treffer, datum));
  if (treffer.empty()) return bytes;
  EXPECT_LE(vorher, treffer[1].str());
  EXPECT_LE(treffer[1].str(), nachher);
  return treffer.prefix().str() + "\r\n    <date>JJJJ-MM-TTThh:mm:ss</date>\r\n" +
         treffer.suffix().str();
}

class GoldenExport : public ::testing::TestWithParam<const char*> {};

TEST_P(GoldenExport, ByteGenau) {
  ExportUmgebung u;
  const fs::path fall = testData(fs::path("export") / GetParam());
  fs::copy(fall / "eingabe" / "ZRBELEG", u.arbeit / "ZRBELEG");
  fs::copy_file(fall / "eingabe" / kLieferantenDatei, u.programm / kLieferantenDatei);

  const std::string vorher = formatIsoZeitpunkt(jetzt());
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
  const std::string nachher = formatIsoZeitpunkt(jetzt());

  const fs::path erwartet = fall / "erwartet";
  ASSERT_EQ(dateinamen(u.belege), dateinamen(erwartet));
  for (const auto& name : dateinamen(erwartet)) {
    SCOPED_TRACE(name);
    std::string ist = readBytes(u.belege / name);
    if (name == "document.xml") ist = datumMaskieren(ist, vorher, nachher);
    EXPECT_EQ(ist, readBytes(erwartet / name));
    EXPECT_EQ(xmllintFehler(u.belege / name), "");
  }

  std::string lauf;
  for (const auto& name : dateinamen(u.arbeit / "ZRBELEG")) lauf += "ZRBELEG: " + name + "\n";
  for (const auto& zeile : protokollZeilen(u.protokoll)) lauf += "Protokoll: " + zeile + "\n";
  for (const auto& e : u.bediener.ereignisse) lauf += "Ereignis: " + e + "\n";
  for (const auto& f : u.bediener.fortschritte) lauf += "Fortschritt: " + f + "\n";
  lauf += "Nachrichtenrunden: " + std::to_string(u.bediener.nachrichtenRunden) + "\n";
  EXPECT_EQ(lauf, readBytes(fall / "lauf.txt"));
}

INSTANTIATE_TEST_SUITE_P(Faelle, GoldenExport,
                         ::testing::Values("golden", "eine_rechnung", "rechnungen_im_wechsel",
                                           "skonto", "nullbetrag", "keine_zahl", "zeichen",
                                           "ohne_bildnamen", "ohne_buchungen"),
                         [](const auto& info) { return std::string(info.param); });

}  // namespace
}  // namespace belvanto::test
