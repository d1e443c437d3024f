// Fuzz target for the booking file reader: any bytes as "Buchungen*.csv".
#include <algorithm>
#include <cstdint>

#include "fuzz_input_common.h"
#include "input/UBuchungen.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace belvanto;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto& w = fuzz::arbeitsOrdner("buchungen");
  const auto datei = w / "ZRBELEG" / "Buchungen_1.csv";
  fuzz::frisch(w, datei, bytes);

  Buchungen buchungen;
  buchungen.DateiEinlesen(w);
  const auto& g = buchungen.BuchungsGrid;
  const auto zeilen = splitLines(bytes);
  // Exactly one row per line, every cell valid UTF-8, columns 10 to 13 empty,
  // and the file gone.
  fuzz::pruefe(g.rowCount() == static_cast<int>(zeilen.size()));
  fuzz::zellenGueltig(g);
  for (int r = 0; r < g.rowCount(); ++r) {
    for (int c = 10; c < 14; ++c) fuzz::pruefe(g.cell(c, r).empty());
    // Unquoted, the fields lose no character but the very last.
    const auto& zeile = zeilen[static_cast<std::size_t>(r)];
    if (zeile.find('"') == std::string::npos && !zeile.empty()) {
      std::string zusammen;
      for (int c = 0; c < 10; ++c) zusammen += g.cell(c, r) + (c < 9 ? ";" : "");
      // An empty last field has no character to lose.
      std::size_t neunter = std::string::npos;
      for (int k = 0, pos = -1; k < 9 && (pos = static_cast<int>(zeile.find(';', pos + 1))) >= 0;
           ++k) {
        neunter = static_cast<std::size_t>(pos);
      }
      const bool leer = neunter == zeile.size() - 1;
      const auto erwartet = cp1252ToUtf8(leer ? zeile : zeile.substr(0, zeile.size() - 1));
      if (std::count(zeile.begin(), zeile.end(), ';') >= 9) fuzz::pruefe(zusammen == erwartet);
    }
  }
  fuzz::pruefe(!std::filesystem::exists(datei));
  return 0;
}
