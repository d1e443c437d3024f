// The supplier mapping: reading and writing "LieferantenUmsetzung.csv", and
// the search that asks the person for a supplier the mapping lacks. The search
// uses a hash index kept in step with the table, so each booking row costs one
// probe however large the mapping grows.
#include "input/ULieferanten.h"

#include <system_error>
#include <utility>

#include "util/Dateijobs.h"
#include "util/Dateisuche.h"
#include "util/Encoding.h"
#include "util/Fehler.h"
#include "util/StringLib.h"

namespace belvanto {

namespace {

constexpr int kFelder = 4;

}  // namespace

Lieferanten::Lieferanten(Bediener& bediener, std::filesystem::path programmOrdner)
    : bediener_(bediener), programmOrdner_(std::move(programmOrdner)), LieferantenGrid(kFelder, 1) {
  indexAufbauen();
}

std::filesystem::path Lieferanten::vorhandeneDatei() const {
  return resolveNoCase(programmOrdner_, kLieferantenDatei);
}

void Lieferanten::indexAufbauen() {
  zeileZuNummer_.clear();
  for (int zeile = 0; zeile < LieferantenGrid.rowCount(); ++zeile) {
    zeileZuNummer_.emplace(LieferantenGrid.cell(0, zeile), zeile);
  }
}

void Lieferanten::DateiEinlesen() {
  const auto datei = vorhandeneDatei();
  std::error_code fehler;
  if (!std::filesystem::is_regular_file(datei, fehler)) {
    throw Fehler("Die Lieferantenzuordnung \"" + datei.string() +
                 "\" wurde nicht gefunden. Sie muss neben Belvanto.ini liegen; eine leere Datei "
                 "genügt.");
  }
  const std::string bytes = readFileBytes(datei);
  // One row per line and the empty row behind them that the dialog fills.
  LieferantenGrid.clear(static_cast<int>(countLines(bytes)) + 1);
  forEachLine(bytes, [&](std::size_t z, std::string_view text) {
    auto felder = splitFields(text, kFelder - 1);
    for (int s = 0; s < kFelder; ++s) {
      LieferantenGrid.setCell(s, static_cast<int>(z), cp1252ToUtf8(felder[s]));
    }
  });
  indexAufbauen();
}

void Lieferanten::DateiSchreiben() const {
  std::string inhalt;
  for (int zeile = 0; zeile < LieferantenGrid.rowCount(); ++zeile) {
    if (LieferantenGrid.cell(0, zeile).empty()) continue;
    inhalt +=
        utf8ToCp1252(LieferantenGrid.cell(0, zeile) + ";" + LieferantenGrid.cell(1, zeile) + ";" +
                     LieferantenGrid.cell(2, zeile) + ";" + LieferantenGrid.cell(3, zeile));
    inhalt += "\r\n";
  }

  // A failure leaves the old mapping whole; the suppliers entered in this run
  // are then lost, which the person must know.
  try {
    dateiErsetzen(vorhandeneDatei(), inhalt);
  } catch (const Fehler& e) {
    throw Fehler(std::string(e.what()) + " Die neu erfassten Lieferanten sind nicht gespeichert.");
  }
}

int Lieferanten::zeileFinden(const std::string& morvenauNummer) const {
  const auto treffer = zeileZuNummer_.find(morvenauNummer);
  return treffer == zeileZuNummer_.end() ? -1 : treffer->second;
}

LieferantEingabe Lieferanten::LieferantSuchen(const std::string& morvenauNummer,
                                              bool NummernUmsetzung) {
  if (const int zeile = zeileFinden(morvenauNummer); zeile >= 0) {
    return {NummernUmsetzung ? LieferantenGrid.cell(1, zeile) : morvenauNummer,
            LieferantenGrid.cell(2, zeile), LieferantenGrid.cell(3, zeile)};
  }

  LieferantEingabe eingabe = bediener_.lieferantErfragen(morvenauNummer);
  bediener_.piep();
  const int neu = LieferantenGrid.rowCount() - 1;
  LieferantenGrid.appendRow({morvenauNummer, eingabe.nummer, eingabe.name, eingabe.maxBetrag});
  // First row wins: an earlier row of the same number stays the one found.
  zeileZuNummer_.emplace(morvenauNummer, neu);
  // The empty number belongs to the first row with an empty column 0; when
  // that was the row just filled, it is now the new empty last row.
  if (const auto leer = zeileZuNummer_.find(std::string()); leer == zeileZuNummer_.end()) {
    zeileZuNummer_.emplace(std::string(), neu + 1);
  } else if (leer->second == neu && !morvenauNummer.empty()) {
    leer->second = neu + 1;
  }
  return eingabe;
}

}  // namespace belvanto
