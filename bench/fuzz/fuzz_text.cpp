// Fuzz target for the text helpers: field splitting, Windows-1252 both ways,
// case folding and wildcards, dates, and number texts parsed and formatted.
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "util/Dateisuche.h"
#include "util/Datum.h"
#include "util/Encoding.h"
#include "util/Ini.h"
#include "util/StringLib.h"
#include "util/Zahlen.h"

namespace {

void pruefe(bool bedingung) {
  if (!bedingung) std::abort();
}

void felder(std::string_view text) {
  for (const int leading : {0, 1, 3, 13}) {
    const auto f = belvanto::splitFields(text, leading);
    pruefe(f.size() == static_cast<std::size_t>(leading) + 1);
    // With enough separators, joining the fields gives the line back.
    std::size_t trenner = 0;
    for (const char c : text) trenner += c == ';';
    if (trenner >= static_cast<std::size_t>(leading)) {
      std::string zusammen;
      for (std::size_t i = 0; i < f.size(); ++i) zusammen += (i ? ";" : "") + f[i];
      pruefe(zusammen == text);
    }
  }
}

void kodierung(std::string_view bytes) {
  const std::string utf8 = belvanto::cp1252ToUtf8(bytes);
  pruefe(belvanto::isValidUtf8(utf8));
  pruefe(belvanto::utf8ToCp1252(utf8) == bytes);
  const std::string zurueck = belvanto::utf8ToCp1252(bytes);
  pruefe(zurueck.size() <= bytes.size());
  pruefe(belvanto::utf8Length(bytes) <= bytes.size());
  if (belvanto::isValidUtf8(bytes)) {
    const std::string gefaltet = belvanto::foldCase(bytes);
    pruefe(belvanto::isValidUtf8(gefaltet));
    pruefe(belvanto::equalsNoCase(bytes, gefaltet));
    pruefe(belvanto::foldCase(gefaltet) == gefaltet);
  }
  pruefe(!belvanto::lessNoCase(bytes, bytes));
  pruefe(belvanto::wildcardMatch(bytes, bytes));
  std::size_t n = 0;
  for (const auto& zeile : belvanto::splitLines(bytes)) n += zeile.size() + 1;
  pruefe(n <= bytes.size() + 1);
}

void zahl(std::string_view text) {
  for (const char trenner : {',', '.'}) {
    const auto wert = belvanto::parseDecimal(text, trenner);
    if (!wert) continue;
    pruefe(std::isfinite(*wert));
    if (std::fabs(*wert) > 1e308) continue;
    pruefe(belvanto::parseDecimalExtended(text, trenner).has_value());
    const std::string formatiert = belvanto::formatGeneral(*wert, trenner);
    const auto wieder = belvanto::parseDecimal(formatiert, trenner);
    pruefe(wieder.has_value());
    pruefe(std::fabs(*wieder - *wert) <= std::fabs(*wert) * 1e-14);
    pruefe(belvanto::formatGeneral(*wieder, trenner) == formatiert);
  }
}

void bitmuster(const std::uint8_t* data, std::size_t size) {
  if (size < sizeof(double)) return;
  double wert = 0;
  std::memcpy(&wert, data, sizeof wert);
  if (!std::isfinite(wert)) return;
  const double gerundet = belvanto::roundHalfEven(wert);
  pruefe(std::fabs(gerundet - wert) <= 0.5);
  // 15 digits of a number next to the largest double round beyond it.
  if (std::fabs(wert) > 1e308) return;
  const std::string formatiert = belvanto::formatGeneral(wert, ',');
  const auto wieder = belvanto::parseDecimal(formatiert, ',');
  pruefe(wieder.has_value());
  pruefe(std::fabs(*wieder - wert) <= std::fabs(wert) * 1e-14);
}

void datum(std::string_view text) {
  const auto d = belvanto::parseDatum(text);
  if (!d) return;
  pruefe(belvanto::parseDatum(belvanto::formatDatum(*d)) == d);
  pruefe(belvanto::addTage(belvanto::addTage(*d, 10), -10) == *d);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  felder(text);
  kodierung(text);
  zahl(text);
  bitmuster(data, size);
  datum(text);
  belvanto::iniWert(text);
  std::int32_t z = 0;
  belvanto::iniZahl(text, z);
  return 0;
}
