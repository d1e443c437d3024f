// Fuzz target for the invoice index: any bytes as "Index*.csv", then every
// lookup, with the invoice PDFs the index names present in ZRBELEG. Checks
// that no rename ever touches anything outside ZRBELEG or loses a file.
#include <algorithm>
#include <cstdint>
#include <map>
#include <set>

#include "fuzz_input_common.h"
#include "input/URechnungsIndex.h"

namespace {

std::set<std::string> inhalt(const std::filesystem::path& w) {
  std::set<std::string> namen;
  for (const auto& e : std::filesystem::recursive_directory_iterator(w)) {
    namen.insert(std::filesystem::relative(e.path(), w).string());
  }
  return namen;
}

bool schlicht(const std::string& name) {
  return !name.empty() && name.size() < 200 &&
         name.find_first_of(std::string("/\\\0", 3)) == std::string::npos && name != "." &&
         name != "..";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace belvanto;
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const auto& w = fuzz::arbeitsOrdner("index");
  const auto datei = w / "ZRBELEG" / "Index_1.csv";
  fuzz::frisch(w, datei, bytes);
  { std::ofstream(w / "draussen.pdf") << "x"; }

  RechnungsIndex index;
  index.DateiEinlesen(w);
  const auto& g = index.grid();
  const auto zeilen = splitLines(bytes);
  fuzz::pruefe(g.rowCount() == static_cast<int>(zeilen.size()));
  fuzz::pruefe(!std::filesystem::exists(datei));
  fuzz::zellenGueltig(g);

  // The fields join back to the line when it has all its separators.
  std::map<std::string, int> erste;
  for (int r = 0; r < g.rowCount(); ++r) {
    const auto& zeile = zeilen[static_cast<std::size_t>(r)];
    if (std::count(zeile.begin(), zeile.end(), ';') >= 18) {
      std::string zusammen;
      for (int c = 0; c < 19; ++c) zusammen += g.cell(c, r) + (c < 18 ? ";" : "");
      fuzz::pruefe(zusammen == cp1252ToUtf8(zeile));
    }
    if (r > 0 && !g.cell(6, r).empty()) erste.emplace(g.cell(6, r), r);
    // The PDFs the index names, where the name is a plain one.
    if (r > 0 && r < 50 && schlicht(g.cell(0, r))) {
      std::ofstream(w / "ZRBELEG" / g.cell(0, r)) << r;
    }
  }

  const auto vorher = inhalt(w);
  for (const auto& [rechnung, zeile] : erste) {
    fuzz::pruefe(index.HoleAbrechnungsNummer(rechnung) == g.cell(8, zeile));
    fuzz::pruefe(index.HoleKundenNummer(rechnung) == g.cell(5, zeile));
    fuzz::pruefe(isValidUtf8(index.HoleValutaDatum(rechnung)));
    const auto name = index.HoleBildname(rechnung, w);
    fuzz::pruefe(name.find_first_of("/\\") == std::string::npos);
    fuzz::pruefe(index.HoleBildname(rechnung, w) == name);
  }
  fuzz::pruefe(index.HoleBildname("", w).empty());

  // Renames stay inside ZRBELEG and never replace a file.
  const auto nachher = inhalt(w);
  fuzz::pruefe(nachher.size() == vorher.size());
  fuzz::pruefe(nachher.count("draussen.pdf") == 1);
  for (const auto& n : nachher) fuzz::pruefe(n == "draussen.pdf" || n.rfind("ZRBELEG", 0) == 0);
  return 0;
}
