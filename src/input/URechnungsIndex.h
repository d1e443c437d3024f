// The invoice index delivered beside the booking file: which PDF belongs to
// which invoice, the member number, settlement and call-off numbers.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "util/TextGrid.h"

namespace belvanto {

class RechnungsIndex {
 public:
  RechnungsIndex() : RechnungsIndexGrid(19, 1) {}

  // Reads the first "Index*.csv" of <TempVerzeichnis>/ZRBELEG and deletes it.
  void DateiEinlesen(const std::filesystem::path& TempVerzeichnis);

  std::string HoleMitgliedsNummer() const;
  std::string HoleAbrufNummer() const;
  std::string HoleKundenNummer(const std::string& Rechnungsnummer) const;
  std::string HoleAbrechnungsNummer(const std::string& Rechnungsnummer) const;
  std::string HoleValutaDatum(const std::string& Rechnungsnummer) const;
  // Renames the invoice's PDF once to "<settlement number>-<rest>" and returns
  // the new file name.
  std::string HoleBildname(const std::string& Rechnungsnummer,
                           const std::filesystem::path& TempVerzeichnis);

  const TextGrid& grid() const { return RechnungsIndexGrid; }

 private:
  // Row of the first data row whose invoice number is `Rechnungsnummer`, or -1.
  int zeileFinden(const std::string& Rechnungsnummer) const;

  // ZRBELEG's entries by case-folded name, listed at the first image name
  // lookup after each reading, so a lookup needs no listing of a folder of
  // thousands of PDFs. Until the next reading only these lookups rename there;
  // names that turn up later are still found when spelt exactly.
  void belegOrdnerLesen(const std::filesystem::path& TempVerzeichnis);
  std::optional<std::string> vorhandenerBeleg(const std::string& name) const;
  bool belegNameVergeben(const std::string& name) const;
  void umbenennen(const std::string& alt, const std::string& neu);

  TextGrid RechnungsIndexGrid;
  // Invoice number -> first data row holding it, built once per reading.
  std::unordered_map<std::string, int> zeileZuRechnung_;
  std::optional<std::filesystem::path> belegBasis_;
  std::filesystem::path belegOrdner_;
  std::unordered_map<std::string, std::vector<std::string>> belegNamen_;
};

}  // namespace belvanto
