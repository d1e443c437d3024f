// The run protocol: entries collected during a run and their text file form.
#include "protocol/UProtokoll.h"

#include <utility>
#include <vector>

#include "util/Encoding.h"

namespace belvanto {

void Protokoll::AddProtokollEintrag(const std::string& Art, const std::string& RechnungsNr,
                                    const std::string& Datum, const std::string& Lieferant,
                                    const std::string& Betrag, const std::string& MaxBetrag) {
  std::vector<std::string> felder{Art, RechnungsNr, Datum, Lieferant, Betrag, MaxBetrag};
  if (horcher_) horcher_(felder);
  ProtokollGrid.appendRow(std::move(felder));
}

void Protokoll::speichern(const std::filesystem::path& datei) const {
  // The fields run together without separator, as the bookkeeper has always
  // received them; the empty last row becomes the file's final empty line.
  std::vector<std::string> zeilen;
  zeilen.reserve(ProtokollGrid.rowCount());
  for (int zeile = 0; zeile < ProtokollGrid.rowCount(); ++zeile) {
    std::string text;
    for (int spalte = 0; spalte < ProtokollGrid.colCount(); ++spalte) {
      text += ProtokollGrid.cell(spalte, zeile);
    }
    zeilen.push_back(std::move(text));
  }
  writeCp1252Lines(datei, zeilen);
}

}  // namespace belvanto
