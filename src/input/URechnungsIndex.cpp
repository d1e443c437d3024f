// Reader of the invoice index and the lookups on it. Lookups by invoice number
// go through a hash index built once per reading, so a settlement of many
// thousand bookings costs one probe per lookup instead of a walk per lookup.
#include "input/URechnungsIndex.h"


#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <string_view>
#include <system_error>

#include "util/Dateijobs.h"
#include "util/Dateisuche.h"
#include "util/Encoding.h"
#include "util/Fehler.h"
#include "util/StringLib.h"

namespace belvanto {

namespace {

constexpr int kFelder = 19;
constexpr int kSpalteBildname = 0;
constexpr int kSpalteMitglied = 5;
constexpr int kSpalteRechnung = 6;
constexpr int kSpalteAbrechnung = 8;
constexpr int kSpalteAbruf = 10;
constexpr int kSpalteValuta = 13;

// A name from the index must stay a plain file name inside ZRBELEG: no folder
// part, no way up, nothing the system would cut short.
bool istSchlichterDateiname(std::string_view name) {
  return name.find_first_of(std::string_view("/\\\0", 3)) == std::string_view::npos &&
         name != "." && name != "..";
}

}  // namespace

void RechnungsIndex::DateiEinlesen(const std::filesystem::path& TempVerzeichnis) {
  const auto ordner = resolveNoCase(TempVerzeichnis, "ZRBELEG");
  const auto datei = findFirstFile(ordner, "Index*.csv");
  if (!datei) {
    throw Fehler("Im Ordner \"" + ordner.string() +
                 "\" wurde keine Rechnungs-Indexdatei (Index*.csv) gefunden.");
  }

  belegBasis_.reset();
  const std::string bytes = readFileBytes(*datei);
  // One row per line and no empty row behind them, so that no lookup can
  // land on a row that came from no line of the file.
  RechnungsIndexGrid.clear(static_cast<int>(countLines(bytes)));
  zeileZuRechnung_.clear();
  forEachLine(bytes, [&](std::size_t z, std::string_view text) {
    const auto felder = splitFields(text, kFelder - 1);
    const int zeile = static_cast<int>(z);
    for (int s = 0; s < kFelder; ++s) RechnungsIndexGrid.setCell(s, zeile, cp1252ToUtf8(felder[s]));
    const auto& rechnung = RechnungsIndexGrid.cell(kSpalteRechnung, zeile);
    // Row 0 is the header; an empty invoice number identifies no invoice.
    if (zeile > 0 && !rechnung.empty()) zeileZuRechnung_.emplace(rechnung, zeile);
  });

  // A failed deletion is not reported: the booking file's deletion is what
  // advances the run.
  std::error_code fehler;
  std::filesystem::remove(*datei, fehler);
}

int RechnungsIndex::zeileFinden(const std::string& Rechnungsnummer) const {
  if (Rechnungsnummer.empty()) return -1;
  const auto treffer = zeileZuRechnung_.find(Rechnungsnummer);
  return treffer == zeileZuRechnung_.end() ? -1 : treffer->second;
}

std::string RechnungsIndex::HoleMitgliedsNummer() const {
  return RechnungsIndexGrid.cell(kSpalteMitglied, 1);
}

std::string RechnungsIndex::HoleAbrufNummer() const {
  return RechnungsIndexGrid.cell(kSpalteAbruf, 1);
}

std::string RechnungsIndex::HoleKundenNummer(const std::string& Rechnungsnummer) const {
  const int zeile = zeileFinden(Rechnungsnummer);
  return zeile < 0 ? std::string() : RechnungsIndexGrid.cell(kSpalteMitglied, zeile);
}

std::string RechnungsIndex::HoleAbrechnungsNummer(const std::string& Rechnungsnummer) const {
  const int zeile = zeileFinden(Rechnungsnummer);
  return zeile < 0 ? std::string() : RechnungsIndexGrid.cell(kSpalteAbrechnung, zeile);
}

std::string RechnungsIndex::HoleValutaDatum(const std::string& Rechnungsnummer) const {
  const int zeile = zeileFinden(Rechnungsnummer);
  if (zeile < 0) return {};
  // By character position only: DD.MM.YYYY becomes YYYY-MM-DD, and an empty
  // cell gives "--".
  const auto& datum = RechnungsIndexGrid.cell(kSpalteValuta, zeile);
  return zeichenAusschnitt(datum, 6, 4) + "-" + zeichenAusschnitt(datum, 3, 2) + "-" +
         zeichenAusschnitt(datum, 0, 2);
}

std::string RechnungsIndex::HoleBildname(const std::string& Rechnungsnummer,
                                         const std::filesystem::path& TempVerzeichnis) {
  const int zeile = zeileFinden(Rechnungsnummer);
  if (zeile < 0) return {};
  if (belegBasis_ != TempVerzeichnis) belegOrdnerLesen(TempVerzeichnis);

  const std::string gespeichert = RechnungsIndexGrid.cell(kSpalteBildname, zeile);
  if (startsWith(gespeichert, "G")) {
    std::string name = gespeichert.substr(1);
    return istSchlichterDateiname(name) ? name : std::string();
  }

  const std::string neuerName = HoleAbrechnungsNummer(Rechnungsnummer) + "-" +
                                zeichenAusschnitt(gespeichert, 4, gespeichert.size());
  // The name goes on into file names of the document archive; one that could
  // point outside its folder is treated like an invoice without a PDF.
  if (!istSchlichterDateiname(gespeichert) || !istSchlichterDateiname(neuerName)) return {};

  if (!gespeichert.empty()) umbenennen(gespeichert, neuerName);
  // A failed rename is not reported: the new name is recorded all the same.
  RechnungsIndexGrid.setCell(kSpalteBildname, zeile, "G" + neuerName);
  return neuerName;
}

void RechnungsIndex::belegOrdnerLesen(const std::filesystem::path& TempVerzeichnis) {
  belegBasis_ = TempVerzeichnis;
  belegOrdner_ = resolveNoCase(TempVerzeichnis, "ZRBELEG");
  belegNamen_.clear();
  std::error_code fehler;
  // Listed in name order, so each spelling list comes out sorted.
  for (const auto& name : ordnerNamen(belegOrdner_, Eintraege::alle, fehler))
    belegNamen_[foldCase(name)].push_back(name);
}

// The entry a name denotes: the exact name first, then the first of its
// spellings in case-insensitive order.
std::optional<std::string> RechnungsIndex::vorhandenerBeleg(const std::string& name) const {
  const auto eintrag = belegNamen_.find(foldCase(name));
  if (eintrag != belegNamen_.end()) {
    const auto& namen = eintrag->second;
    return std::find(namen.begin(), namen.end(), name) != namen.end() ? name : namen.front();
  }
  // Not listed: the folder may have changed since it was read.
  std::error_code fehler;
  if (std::filesystem::exists(std::filesystem::symlink_status(belegOrdner_ / name, fehler))) {
    return name;
  }
  return std::nullopt;
}

bool RechnungsIndex::belegNameVergeben(const std::string& name) const {
  std::error_code fehler;
  return belegNamen_.count(foldCase(name)) != 0 ||
         std::filesystem::exists(std::filesystem::symlink_status(belegOrdner_ / name, fehler));
}

// Renames a PDF of ZRBELEG without ever replacing an existing entry; a name
// taken in any letter case counts as taken, as on the cooperative's systems.
// Failures are silent.
void RechnungsIndex::umbenennen(const std::string& alt, const std::string& neu) {
  const auto altName = vorhandenerBeleg(alt);
  if (!altName || belegNameVergeben(neu)) return;
  const auto altPfad = belegOrdner_ / *altName;
  const auto neuPfad = belegOrdner_ / neu;
  if (!verschiebenOhneErsetzen(altPfad, neuPfad)) return;
  if (const auto eintrag = belegNamen_.find(foldCase(*altName)); eintrag != belegNamen_.end()) {
    auto& namen = eintrag->second;
    if (const auto pos = std::find(namen.begin(), namen.end(), *altName); pos != namen.end()) {
      namen.erase(pos);
    }
    if (namen.empty()) belegNamen_.erase(eintrag);
  }
  belegNamen_[foldCase(neu)].push_back(neu);
}

}  // namespace belvanto
