// Writer of the DATEV document transfer. Pass 1 writes document.xml (one
// document block per PDF) and repairs the rows on the way; pass 2 writes one
// ledger file per run of rows with the same invoice number. Both files are
// UTF-8 throughout with every value escaped for XML; line ends are CR LF.
#include "export/DatevExport.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <unordered_map>

#include "export/AusgabeSpalten.h"
#include "export/ExportText.h"
#include "util/Dezimal.h"
#include "util/Dateijobs.h"
#include "util/Dateisuche.h"
#include "util/Datum.h"
#include "util/Fehler.h"
#include "util/StringLib.h"
#include "util/Zahlen.h"

namespace belvanto {

namespace fs = std::filesystem;

namespace {

constexpr const char* kDokumentDatei = "document.xml";

// The Belege folder with names matched regardless of letter case, as the
// Windows file system does: a later name that differs only in case replaces
// the earlier file. The folder is listed once; names written since are kept
// here, so many thousand files cost no repeated listing.
class Belegordner {
 public:
  explicit Belegordner(fs::path ordner) : ordner_(std::move(ordner)) {
    for (const auto& datei : findFiles(ordner_, "*")) {
      namen_.try_emplace(foldCase(datei.filename().string()), datei.filename().string());
    }
  }

  const fs::path& ordner() const { return ordner_; }

  fs::path pfad(const std::string& name) {
    return ordner_ / namen_.try_emplace(foldCase(name), name).first->second;
  }

 private:
  fs::path ordner_;
  std::unordered_map<std::string, std::string> namen_;
};

void element(std::string& ziel, std::string_view einzug, std::string_view name,
             std::string_view wert) {
  ziel += einzug;
  ziel += '<';
  ziel += name;
  ziel += '>';
  xmlTextAnhaengen(ziel, wert);
  ziel += "</";
  ziel += name;
  ziel += ">\r\n";
}

// Base names come from the cooperative's index; a separator in one would put
// the ledger file outside "Belege", and "document" would replace document.xml.
void bildnamenPruefen(const TextGrid& grid, int letzteZeile, const fs::path& ordner) {
  for (int r = 0; r <= letzteZeile; ++r) {
    const std::string& name = grid.cell(kBildname, r);
    const bool trenner = name.find_first_of(std::string_view("/\\\0", 3)) != std::string::npos;
    if (trenner || equalsNoCase(name + ".xml", kDokumentDatei)) {
      throw Fehler("Der Belegname \"" + name + "\" ist als Dateiname in \"" + ordner.string() +
                   "\" nicht zulässig.");
    }
  }
}

void dokumentKopf(std::string& text, const std::string& zeitpunkt, const std::string& abrufNr) {
  text += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n";
  text += "<archive version=\"4.0\" generatingSystem=\"Belvanto\" xmlns:xsi=\"";
  text += kXsiNamespace;
  text += "\" xsi:schemaLocation=\"";
  text += kDocNamespace;
  text += " document_v040.xsd\" xmlns=\"";
  text += kDocNamespace;
  text += "\">\r\n";
  text += "  <header>\r\n";
  element(text, "    ", "date", zeitpunkt);
  element(text, "    ", "description", abrufNr);
  text += "  </header>\r\n";
  text += "  <content>\r\n";
}

void dokumentBlock(std::string& text, const TextGrid& grid, int r) {
  const std::string& bildname = grid.cell(kBildname, r);
  text += "    <document>\r\n";
  // The archive gives each file a name Windows can take; so does its reference.
  text += "      <extension xsi:type=\"accountsPayableLedger\" datafile=\"";
  xmlAttributAnhaengen(text, windowsName(bildname + ".xml"));
  text += "\">\r\n";
  text += "        <property value=\"";
  xmlAttributAnhaengen(text, zeichenAusschnitt(grid.cell(kDatum, r), 0, 7));
  text += "\" key=\"1\" />\r\n";
  text += "        <property value=\"mvo-Eingangsrechnung\" key=\"3\" />\r\n";
  text += "      </extension>\r\n";
  text += "      <extension xsi:type=\"File\" name=\"";
  xmlAttributAnhaengen(text, windowsName(bildname + ".pdf"));
  text += "\"/>\r\n";
  text += "    </document>\r\n";
  text += "\r\n";
}

// Pass-1 checks of one row: the zero amount repair and the invoice number
// length. Both change the grid in place for pass 2.
void zeilePruefen(TextGrid& grid, int r, const Konfiguration& k, Protokoll& protokoll,
                  Bediener& bediener) {
  if (grid.cell(kBetrag, r) == "0.00") {
    protokoll.AddProtokollEintrag("Falscher Betrag", grid.cell(kRechnungsNr, r),
                                  grid.cell(kDatum, r), grid.cell(kLieferantName, r),
                                  grid.cell(kBetrag, r), "");
    grid.setCell(kBetrag, r, "0.01");
    grid.setCell(kKonto, r, k.FirmaVolleMwSt);
  }
  if (k.RNummerKuerzen) {
    // A negative limit could never be met and the dialog would come back
    // forever; 0 is the smallest limit the person can satisfy.
    const int stellen = std::max(0, k.AnzahlRNStellen);
    while (utf8Length(grid.cell(kRechnungsNr, r)) > static_cast<std::size_t>(stellen)) {
      grid.setCell(kRechnungsNr, r,
                   bediener.rechnungsNummerAendern(grid.cell(kRechnungsNr, r), stellen));
    }
  }
}

void dokumentSchreiben(TextGrid& grid, int letzteZeile, Belegordner& ordner, const Konfiguration& k,
                       Protokoll& protokoll, Bediener& bediener) {
  const std::string zeitpunkt = formatIsoZeitpunkt(jetzt());
  // Created before the first question, so a blocked file stops the run
  // before the person has typed anything.
  const fs::path datei = ordner.pfad(kDokumentDatei);
  dateiErsetzen(datei, "", Sichern::nein);
  std::string text;
  dokumentKopf(text, zeitpunkt, grid.cell(kAbrufNr, 0));

  std::string letzterBildname;
  for (int r = 0; r <= letzteZeile; ++r) {
    zeilePruefen(grid, r, k, protokoll, bediener);
    if (grid.cell(kBildname, r) != letzterBildname) dokumentBlock(text, grid, r);
    letzterBildname = grid.cell(kBildname, r);
    bediener.fortschritt("Schreiben: " + std::to_string(r), Fortschritt::reihe);
    bediener.nachrichtenVerarbeiten();
  }
  text += "  </content>\r\n";
  text += "</archive>\r\n";
  // The folder goes into the document archive, which is synced itself.
  dateiErsetzen(datei, text, Sichern::nein);
}

void eintragAnhaengen(std::string& puffer, const TextGrid& grid, int r) {
  auto c = [&](int spalte) -> const std::string& { return grid.cell(spalte, r); };
  const bool skonto = !c(kSkonto).empty();
  constexpr std::string_view e = "      ";
  puffer += "    <accountsPayableLedger> \r\n";
  element(puffer, e, "date", c(kDatum));
  element(puffer, e, "amount", c(kBetrag));
  if (skonto) element(puffer, e, "discountAmount", c(kSkonto));
  element(puffer, e, "accountNo", c(kKonto));
  element(puffer, e, "costCategoryId", c(kKostenstelle));
  element(puffer, e, "tax", c(kSteuersatz));
  element(puffer, e, "currencyCode", c(kWaehrung));
  element(puffer, e, "invoiceId", c(kRechnungsNr));
  element(puffer, e, "bookingText", c(kBuchungstext));
  if (skonto) {
    element(puffer, e, "discountPercentage", c(kSkontoProzent));
    element(puffer, e, "discountPaymentDate", c(kSkontoDatum));
  }
  element(puffer, e, "bpAccountNo", c(kLieferantKonto));
  element(puffer, e, "supplierName", c(kLieferantName));
  puffer += "    </accountsPayableLedger>\r\n";
}

void ledgerKopf(std::string& text, const Betragssumme& summe, const TextGrid& grid, int s) {
  text += "<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n";
  text += "<LedgerImport xmlns=\"";
  text += kLedgerNamespace;
  text += "\" xmlns:xsi=\"";
  text += kXsiNamespace;
  text += "\" xsi:schemaLocation=\"";
  text += kLedgerNamespace;
  text +=
      " Belegverwaltung_online_ledger_import_v040.xsd\" version=\"4.0\" "
      "generator_info=\"Velmora\" generating_system=\"Belvanto\" xml_data=\"Kopie nur zur "
      "Verbuchung berechtigt nicht zum Vorsteuerabzug\">\r\n";
  text += "  <consolidate consolidatedAmount=\"";
  xmlAttributAnhaengen(text, BetragFormatieren(summe.wert()));
  text += "\" consolidatedDate=\"";
  xmlAttributAnhaengen(text, grid.cell(kDatum, s));
  text += "\" consolidatedInvoiceId=\"";
  xmlAttributAnhaengen(text, grid.cell(kRechnungsNr, s));
  text += "\" consolidatedCurrencyCode=\"EUR\">\r\n";
}

void ledgerDateienSchreiben(const TextGrid& grid, int letzteZeile, Belegordner& ordner,
                            Bediener& bediener) {
  // Both buffers are reused from file to file; their capacity stays.
  std::string puffer;
  std::string kopf;
  int s = 0;
  while (s <= letzteZeile) {
    puffer.clear();
    // An amount that is no decimal text adds nothing; the run has refused
    // such booking files before (BetraegePruefen).
    Betragssumme summe;
    const std::string& rechnungsNr = grid.cell(kRechnungsNr, s);
    int r = s;
    do {
      eintragAnhaengen(puffer, grid, r);
      summe.addieren(grid.cell(kBetrag, r));
      ++r;
    } while (r <= letzteZeile && grid.cell(kRechnungsNr, r) == rechnungsNr);
    puffer += "  </consolidate>\r\n";
    puffer += "</LedgerImport> \r\n";

    kopf.clear();
    ledgerKopf(kopf, summe, grid, s);
    kopf += puffer;
    dateiErsetzen(ordner.pfad(grid.cell(kBildname, s) + ".xml"), kopf, Sichern::nein);

    bediener.fortschritt("Schreiben: " + std::to_string(s), Fortschritt::reihe);
    bediener.nachrichtenVerarbeiten();
    s = r;
  }
}

}  // namespace

std::string BetragFormatieren(double betrag) {
  if (!std::isfinite(betrag)) return {};
  std::string text = formatGeneral(betrag, '.');
  const auto punkt = text.find('.');
  if (punkt == std::string::npos) {
    text += ".00";
  } else if (text.size() - punkt == 2) {
    text += '0';
  }
  return text;
}

void DatevExportSchreiben(TextGrid& AusgabeGrid, const Konfiguration& konfiguration,
                          Protokoll& protokoll, Bediener& bediener) {
  // The last row of the grid is the empty end mark.
  const int letzteZeile = AusgabeGrid.rowCount() - 2;
  Belegordner ordner(resolveNoCase(konfiguration.ArbeitsVerzeichnis, "Belege"));
  bildnamenPruefen(AusgabeGrid, letzteZeile, ordner.ordner());
  dokumentSchreiben(AusgabeGrid, letzteZeile, ordner, konfiguration, protokoll, bediener);
  ledgerDateienSchreiben(AusgabeGrid, letzteZeile, ordner, bediener);
}

}  // namespace belvanto
