// Reader of the cooperative's booking file. The quote rules are applied to the
// raw Windows-1252 bytes, where one byte is one character, and each field is
// converted to UTF-8 afterwards.
#include "input/UBuchungen.h"

#include <string>
#include <string_view>
#include <system_error>

#include "util/Dateisuche.h"
#include "util/Encoding.h"
#include "util/Fehler.h"
#include "util/StringLib.h"

namespace belvanto {

namespace {

constexpr int kFelder = 10;

// Fields 0 to 8: a field that starts with a quote loses its first and last
// character, whatever that last character is.
std::string_view ohneAnfuehrung(std::string_view feld) {
  if (feld.empty() || feld.front() != '"') return feld;
  return feld.size() < 2 ? std::string_view() : feld.substr(1, feld.size() - 2);
}

// Field 9: an opening quote goes, and the last character goes in every case,
// quoted or not.
std::string_view letztesFeld(std::string_view feld) {
  if (!feld.empty() && feld.front() == '"') feld.remove_prefix(1);
  if (!feld.empty()) feld.remove_suffix(1);
  return feld;
}

}  // namespace

void Buchungen::DateiEinlesen(const std::filesystem::path& TempVerzeichnis) {
  const auto ordner = resolveNoCase(TempVerzeichnis, "ZRBELEG");
  const auto datei = findFirstFile(ordner, "Buchungen*.csv");
  if (!datei) {
    throw Fehler("Im Ordner \"" + ordner.string() +
                 "\" wurde keine Buchungsdatei (Buchungen*.csv) gefunden.");
  }

  // The lines are taken from the file's bytes as they stand: what a line
  // costs beyond its own bytes is only the text of its cells.
  const std::string bytes = readFileBytes(*datei);
  // One row per line; the reader's trailing empty row is never created.
  BuchungsGrid.clear(static_cast<int>(countLines(bytes)));
  forEachLine(bytes, [&](std::size_t z, std::string_view text) {
    const auto felder = splitFields(text, kFelder - 1);
    const int zeile = static_cast<int>(z);
    for (int s = 0; s < kFelder - 1; ++s) {
      BuchungsGrid.setCell(s, zeile, cp1252ToUtf8(ohneAnfuehrung(felder[s])));
    }
    BuchungsGrid.setCell(kFelder - 1, zeile, cp1252ToUtf8(letztesFeld(felder[kFelder - 1])));
  });

  // A file that is already gone is fine: the run only needs it not to come back.
  std::error_code fehler;
  std::filesystem::remove(*datei, fehler);
  if (fehler) {
    throw Fehler("Die Buchungsdatei \"" + datei->string() +
                 "\" konnte nicht gelöscht werden. Der Lauf wird abgebrochen, damit sie nicht "
                 "erneut verarbeitet wird.");
  }
}

}  // namespace belvanto
