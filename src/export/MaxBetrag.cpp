// The maximum amount check, run after the DATEV files are written.
#include "export/MaxBetrag.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>

#include "util/Datum.h"
#include "util/Zahlen.h"

namespace belvanto {

namespace {

enum BuchungsSpalte { bLieferant = 0, bRechnungsNr = 1, bDatum = 2, bBetrag = 5, bSkonto = 9 };

// One leading and one trailing double quote go; the reader has already taken
// the enclosing pair.
std::string_view ohneAnfuehrung(std::string_view text) {
  if (!text.empty() && text.front() == '"') text.remove_prefix(1);
  if (!text.empty() && text.back() == '"') text.remove_suffix(1);
  return text;
}

void buchungPruefen(const TextGrid& grid, int i, Lieferanten& lieferanten, const Konfiguration& k,
                    Protokoll& protokoll) {
  const LieferantEingabe lieferant =
      lieferanten.LieferantSuchen(grid.cell(bLieferant, i), k.NummernUmsetzung);
  const auto betrag = parseDecimal(ohneAnfuehrung(grid.cell(bBetrag, i)), ',');
  const auto skonto = parseDecimal(ohneAnfuehrung(grid.cell(bSkonto, i)), ',');
  const auto datum = parseDatum(grid.cell(bDatum, i));
  const auto maximum = parseDecimal(lieferant.maxBetrag, ',');
  // Without all four values there is nothing sound to compare or report.
  if (!betrag || !skonto || !datum || !maximum) return;

  const double differenz = *betrag - *skonto;
  if (!std::isfinite(differenz)) return;
  const std::string zahlbetrag = formatGeneral(differenz, ',');
  // The comparison takes the text, as it is shown, not the raw difference.
  const auto gezeigt = parseDecimal(zahlbetrag, ',');
  if (!gezeigt || !(*gezeigt > *maximum)) return;

  protokoll.AddProtokollEintrag("Rechnungsbetrag zu hoch", lieferant.name,
                                grid.cell(bRechnungsNr, i), formatDatum(addTage(*datum, 10)),
                                "Ist: " + zahlbetrag, "Soll: " + lieferant.maxBetrag);
}

}  // namespace

void MaxBetragPruefen(const TextGrid& BuchungsGrid, Lieferanten& lieferanten,
                      const Konfiguration& konfiguration, Protokoll& protokoll,
                      Bediener& bediener) {
  const int n = BuchungsGrid.rowCount();
  for (int i = 1; i < n; ++i) {
    bediener.fortschritt(std::to_string(i), Fortschritt::reihe);
    buchungPruefen(BuchungsGrid, i, lieferanten, konfiguration, protokoll);
  }
}

}  // namespace belvanto
