// The run protocol: the findings of one run that the bookkeeper must look at,
// as a six-column table that always ends with one empty row.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "basis/ProtokollTabelle.h"
#include "util/TextGrid.h"

namespace belvanto {

class Protokoll : public ProtokollTabelle {
 public:
  // Hears every entry as its six fields, as it is added (the run log).
  using Horcher = std::function<void(const std::vector<std::string>& felder)>;

  Protokoll() : ProtokollGrid(6, 1) {}
  void beiEintrag(Horcher horcher) { horcher_ = std::move(horcher); }

  void AddProtokollEintrag(const std::string& Art, const std::string& RechnungsNr,
                           const std::string& Datum, const std::string& Lieferant,
                           const std::string& Betrag, const std::string& MaxBetrag);
  const TextGrid& grid() const override { return ProtokollGrid; }

  // Every row, the empty last one included, as the six fields run together,
  // Windows-1252, CR LF. Throws Fehler naming the file.
  void speichern(const std::filesystem::path& datei) const override;

 private:
  TextGrid ProtokollGrid;
  Horcher horcher_;
};

}  // namespace belvanto
