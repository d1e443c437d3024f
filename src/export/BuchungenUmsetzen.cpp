// The booking conversion: one output row per booking line, in file order.
#include "export/BuchungenUmsetzen.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "export/AusgabeSpalten.h"
#include "util/Dezimal.h"
#include "util/Fehler.h"
#include "util/StringLib.h"
#include "util/Zahlen.h"

namespace belvanto {

namespace {

// Booking columns.
enum BuchungsSpalte {
  bLieferant = 0,
  bRechnungsNr = 1,
  bDatum = 2,
  bSteuer = 4,
  bBetrag = 5,
  bSkonto = 9,
};

// dd.mm.yy taken apart by position only, as the cooperative writes it.
std::string isoDatum(const std::string& datum) {
  return "20" + zeichenAusschnitt(datum, 6, 2) + "-" + zeichenAusschnitt(datum, 3, 2) + "-" +
         zeichenAusschnitt(datum, 0, 2);
}

// Credit notes never carry a discount; "0,00" is the file's word for none.
bool skontoGilt(const std::string& betrag, const std::string& skonto) {
  return skonto != "0,00" && !startsWith(betrag, "-");
}

[[noreturn]] void betragUngueltig(const std::string& datei, int zeile, const std::string& art,
                                  const std::string& wert) {
  throw Fehler("Die Buchungsdatei \"" + datei + "\" enthält in Zeile " + std::to_string(zeile + 1) +
               " den ungültigen " + art + " \"" + wert + "\".");
}

const std::string& kontoDerSteuerklasse(const std::string& steuer, const Konfiguration& k) {
  if (steuer == k.FirmaNullMwSt) return k.FirmaNullMwSt;
  if (steuer == k.FirmaHalbeMwSt) return k.FirmaHalbeMwSt;
  return k.FirmaVolleMwSt;
}

void zeileUmsetzen(const TextGrid& buchungen, int i, int r, RechnungsIndex& index,
                   Lieferanten& lieferanten, const Konfiguration& k, TextGrid& aus) {
  auto b = [&](int spalte) -> const std::string& { return buchungen.cell(spalte, i); };

  aus.setCell(kWaehrung, r, "EUR");
  aus.setCell(kBetrag, r, replaceAll(b(bBetrag), ",", "."));
  aus.setCell(kRechnungsNr, r, b(bRechnungsNr));
  aus.setCell(kDatum, r, isoDatum(b(bDatum)));
  aus.setCell(kAbrufNr, r, index.HoleAbrufNummer());
  LieferantEingabe lieferant = lieferanten.LieferantSuchen(b(bLieferant), k.NummernUmsetzung);
  aus.setCell(kLieferantName, r, replaceAll(lieferant.name, "&", "+"));
  aus.setCell(kLieferantKonto, r, std::move(lieferant.nummer));

  aus.setCell(kKonto, r, kontoDerSteuerklasse(b(bSteuer), k));
  aus.setCell(kKostenstelle, r, k.Kostenstelle);
  aus.setCell(kBuchungstext, r, "Ware");

  std::string skonto = replaceAll(b(bSkonto), ",", ".");
  if (!skonto.empty() && skonto.front() == '-') skonto.erase(0, 1);

  const std::string& rechnungsNr = aus.cell(kRechnungsNr, r);
  if (skontoGilt(b(bBetrag), b(bSkonto))) {
    aus.setCell(kSkontoDatum, r, index.HoleValutaDatum(rechnungsNr));
    aus.setCell(kSkontoProzent, r, SkontoProzent(aus.cell(kBetrag, r), skonto));
    aus.setCell(kSkonto, r, std::move(skonto));
  }

  aus.setCell(kSteuersatz, r, replaceAll(b(bSteuer), ",", "."));
  aus.setCell(kBildname, r, OhneEndung(index.HoleBildname(rechnungsNr, k.ArbeitsVerzeichnis)));
}

}  // namespace

void BetraegePruefen(const TextGrid& BuchungsGrid, const std::string& buchungsDatei) {
  for (int i = 1; i < BuchungsGrid.rowCount(); ++i) {
    const std::string& betrag = BuchungsGrid.cell(bBetrag, i);
    const std::string& skonto = BuchungsGrid.cell(bSkonto, i);
    if (!istDezimaltext(betrag, ',')) betragUngueltig(buchungsDatei, i, "Betrag", betrag);
    // An empty discount writes no discount elements.
    if (skontoGilt(betrag, skonto) && !skonto.empty() && !istDezimaltext(skonto, ','))
      betragUngueltig(buchungsDatei, i, "Skontobetrag", skonto);
  }
}

std::string SkontoProzent(const std::string& betrag, const std::string& skonto) {
  const auto a = parseDecimal(betrag, '.');
  const auto d = parseDecimal(skonto, '.');
  if (!a || !d || *a == 0.0) return {};
  // The quotient is formed in x87 extended precision and only then stored as
  // a double; that decides halves (0.12 * 100 / 1.60 is 7.4999999999999991
  // that way and 7.5 in plain double arithmetic).
  const long double genau = static_cast<long double>(*d) * 100.0L / static_cast<long double>(*a);
  const double p = roundHalfEven(static_cast<double>(genau));
  // Far beyond any real percentage; no integer text for it.
  if (!std::isfinite(p) || std::fabs(p) >= 1e15) return {};
  return std::to_string(static_cast<long long>(p)) + ".00";
}

std::string OhneEndung(const std::string& dateiname) {
  const auto punkt = dateiname.rfind('.');
  if (punkt == std::string::npos) return dateiname;
  const auto trenner = dateiname.find_last_of("\\:");
  if (trenner != std::string::npos && trenner > punkt) return dateiname;
  return dateiname.substr(0, punkt);
}

void BuchungenUmsetzen(const TextGrid& BuchungsGrid, RechnungsIndex& index,
                       Lieferanten& lieferanten, const Konfiguration& konfiguration,
                       Bediener& bediener, TextGrid& AusgabeGrid) {
  const int n = BuchungsGrid.rowCount();
  // Sized once for all rows and back to one: the grid keeps its storage, so
  // growing row by row below never moves 31 columns of 100,000 rows around.
  AusgabeGrid.clear(std::max(n, 1));
  AusgabeGrid.clear(1);
  for (int i = 1; i < n; ++i) {
    const int r = i - 1;
    const std::string nummer = std::to_string(i);
    bediener.fortschritt(nummer, Fortschritt::reihe);
    zeileUmsetzen(BuchungsGrid, i, r, index, lieferanten, konfiguration, AusgabeGrid);
    AusgabeGrid.addRow();
    bediener.fortschritt("Verarbeiten: " + nummer, Fortschritt::reihe);
  }
}

}  // namespace belvanto
