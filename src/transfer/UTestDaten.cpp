// The data check. Ticks are only ever set, never cleared: the window shows
// what any check of this program run has found, the result what this one did.
#include "transfer/UTestDaten.h"

#include "util/StringLib.h"

namespace belvanto {

DatenTest::DatenTest(Bediener& bediener, std::filesystem::path hostKeys,
                     int32_t zeitlimitSekunden)
    : bediener_(bediener), hostKeys_(std::move(hostKeys)), zeitlimit_(zeitlimitSekunden) {}

bool DatenTest::TestListingCallback(const fxp_names* names) {
  TestDateiListe.clear();
  for (int32_t i = 0; i < names->nnames; ++i) TestDateiListe.emplace_back(names->names[i].filename);
  return true;
}

bool DatenTest::DateiGefunden(const std::string& fragment) const {
  const std::string gesucht = foldCase(fragment);
  for (const auto& name : TestDateiListe)
    if (foldCase(name).find(gesucht) != std::string::npos) return true;
  return false;
}

bool DatenTest::pruefen(const char* fragment, DatenKasten kasten) {
  if (!DateiGefunden(fragment)) return false;
  bediener_.testFensterAnhaken(kasten);
  return true;
}

void DatenTest::ordnerLesen(const std::string& ordner) {
  TestDateiListe.clear();
  ordnerListen(*TestSFTP, ordner, zeitlimit_);
}

bool DatenTest::TestDaten(const std::string& UserName, const std::string& Password,
                          const std::string& HostName, bool MitRemADV, bool FensterZeigen) {
  TestSFTP.reset();
  TestSFTP = neueSitzung({HostName, UserName, Password, hostKeys_, zeitlimit_}, bediener_);
  hostKeysPruefen(hostKeys_);
  TestSFTP->OnListing = [this](const fxp_names* names) { return TestListingCallback(names); };

  bool Result = true;
  try {
    TestSFTP->Connect();
  } catch (const std::exception&) {
    Result = false;
    bediener_.piep();
    bediener_.meldung("Verbindung zum Server gestört !");
  }
  if (Result) {
    Trennen trennen(*TestSFTP);
    bediener_.testFensterZeigen();
    bediener_.testFensterSchritt("Test auf Daten");

    bediener_.testFensterSchritt("Test auf Daten / ZRBeleg");
    ordnerLesen("../ZRBELEG");
    Result &= pruefen("pdf", DatenKasten::ZRBelegPDF);
    Result &= pruefen("index", DatenKasten::ZRBelegCSVIndex);
    Result &= pruefen("buchungen", DatenKasten::ZRBelegCSVBuchung);

    bediener_.testFensterSchritt("Test auf Daten / ZRAbrechnung");
    ordnerLesen("../ZRABR");
    Result &= pruefen("index", DatenKasten::ZRAbrechnungCSV);
    Result &= pruefen("pdf", DatenKasten::ZRAbrechnungPDF);

    TestDateiListe.clear();
    if (MitRemADV) {
      bediener_.testFensterSchritt("Test auf Daten / RemADV");
      ordnerLesen("../REMADV");
      Result &= pruefen("csv", DatenKasten::RemADV);
    }
  }
  if (Result && !FensterZeigen) bediener_.testFensterSchliessen();
  TestDateiListe.clear();
  if (!Result) {
    bediener_.testFensterSchritt("Test auf Daten / Keine Daten !");
    bediener_.piep();
  }
  return Result;
}

}  // namespace belvanto
