// Fuzz target for the supplier mapping: any bytes as the mapping file, every
// supplier searched, one unknown supplier asked for, the mapping written back
// and read again.
#include <algorithm>
#include <cstdint>
#include <map>
#include <vector>

#include "fuzz_input_common.h"
#include "input/ULieferanten.h"
#include "support/StillerBediener.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace belvanto;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto& ordner = fuzz::arbeitsOrdner("lieferanten");
  const auto datei = ordner / kLieferantenDatei;
  fuzz::frisch(ordner, datei, bytes);

  test::StillerBediener bediener;
  bediener.antwort = {"N;1", "Name\xc3\xa4", "9,99"};
  Lieferanten lieferanten(bediener, ordner);
  lieferanten.DateiEinlesen();
  const auto& g = lieferanten.grid();
  const auto zeilen = splitLines(bytes);
  fuzz::pruefe(g.rowCount() == static_cast<int>(zeilen.size()) + 1);
  fuzz::zellenGueltig(g);

  // Every number in the file is found, in its first row, without a question.
  std::map<std::string, int> erste;
  for (int r = 0; r < g.rowCount(); ++r) erste.emplace(g.cell(0, r), r);
  for (const auto& [nummer, zeile] : erste) {
    const auto e = lieferanten.LieferantSuchen(nummer, true);
    fuzz::pruefe(e.nummer == g.cell(1, zeile) && e.name == g.cell(2, zeile) &&
                 e.maxBetrag == g.cell(3, zeile));
  }
  fuzz::pruefe(bediener.fragen == 0);

  const std::string neu = "\x01neu";
  if (erste.count(neu) != 0) return 0;
  lieferanten.LieferantSuchen(neu, true);
  fuzz::pruefe(bediener.fragen == 1);
  fuzz::pruefe(lieferanten.LieferantSuchen(neu, false).name == "Name\xc3\xa4");
  // The empty number: the first row with an empty column 0, which may now be
  // the new empty last row.
  int leer = 0;
  while (!g.cell(0, leer).empty()) ++leer;
  fuzz::pruefe(lieferanten.LieferantSuchen("", true).nummer == g.cell(1, leer));
  fuzz::pruefe(bediener.fragen == 1);

  // Written back: the lines with a number in file order, then the new one; a
  // line with all its separators comes back byte for byte.
  lieferanten.DateiSchreiben();
  std::vector<std::string> erwartet;
  for (const auto& z : zeilen) {
    // Column 0 is empty when the line starts with ";" or has none at all.
    if (z.find(';') != std::string::npos && z[0] != ';') erwartet.push_back(z);
  }
  erwartet.push_back("\x01neu;N;1;Name\xe4;9,99");
  const auto geschrieben = readFileBytes(datei);
  const auto zurueck = splitLines(geschrieben);
  fuzz::pruefe(zurueck.size() == erwartet.size());
  fuzz::pruefe(geschrieben.size() >= 2 && geschrieben.substr(geschrieben.size() - 2) == "\r\n");
  for (std::size_t k = 0; k < erwartet.size(); ++k) {
    if (std::count(erwartet[k].begin(), erwartet[k].end(), ';') >= 3) {
      fuzz::pruefe(zurueck[k] == erwartet[k]);
    }
  }
  lieferanten.DateiEinlesen();
  fuzz::pruefe(g.rowCount() == static_cast<int>(erwartet.size()) + 1);
  return 0;
}
