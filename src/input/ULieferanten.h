// The supplier mapping "LieferantenUmsetzung.csv" beside the program: the
// member's own number, DATEV name and maximum invoice amount per cooperative
// supplier number. Unknown suppliers are asked for through the dialog.
#pragma once

#include <filesystem>
#include <string>
#include <unordered_map>

#include "basis/Bediener.h"
#include "basis/Konfiguration.h"
#include "util/TextGrid.h"

namespace belvanto {


class Lieferanten {
 public:
  Lieferanten(Bediener& bediener, std::filesystem::path programmOrdner);

  void DateiEinlesen();
  void DateiSchreiben() const;
  LieferantEingabe LieferantSuchen(const std::string& morvenauNummer, bool NummernUmsetzung);

  const TextGrid& grid() const { return LieferantenGrid; }
  std::filesystem::path datei() const { return programmOrdner_ / kLieferantenDatei; }

 private:
  // Row of the first mapping of `morvenauNummer`, or -1.
  int zeileFinden(const std::string& morvenauNummer) const;
  void indexAufbauen();
  // The mapping file as it exists, in whatever letter case.
  std::filesystem::path vorhandeneDatei() const;

  Bediener& bediener_;
  std::filesystem::path programmOrdner_;
  TextGrid LieferantenGrid;
  // Supplier number -> first row holding it, kept up to date as rows are added.
  std::unordered_map<std::string, int> zeileZuNummer_;
};

}  // namespace belvanto
