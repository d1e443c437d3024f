// belvanto_gen: writes one synthetic settlement into a folder.
#include <cstdlib>
#include <iostream>
#include <string>

#include "Generator.h"

namespace {

void hilfe() {
  std::cerr << "usage: belvanto_gen <folder> [--lines N] [--max-lines-per-invoice K]\n"
               "         [--pdf-size BYTES] [--no-pdfs] [--statement-size BYTES] [--suppliers K]\n"
               "         [--unknown-suppliers K] [--remadv-lines N] [--seed S]\n"
               "         [--date YYYYMMDD] [--member NR] [--settlement NR]\n"
               "         [--mapping-folder DIR]\n"
               "Writes ZRBELEG/Buchungen_<date>.csv, ZRBELEG/Index_<date>.csv, one PDF per\n"
               "invoice in ZRBELEG, ZRABR/Abrechnung_<date>.pdf, optionally\n"
               "REMADV/RemADV_<date>.csv, and LieferantenUmsetzung.csv.\n";
}

long long zahl(const std::string& text) {
  std::size_t ende = 0;
  const long long wert = std::stoll(text, &ende);
  if (ende != text.size() || wert < 0) throw std::invalid_argument(text);
  return wert;
}

}  // namespace

int main(int argc, char** argv) {
  using belvanto::bench::GeneratorOptionen;
  if (argc < 2) {
    hilfe();
    return 2;
  }
  GeneratorOptionen o;
  std::string ziel;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string a = argv[i];
      auto wert = [&]() -> std::string {
        if (i + 1 >= argc) throw std::invalid_argument(a + " needs a value");
        return argv[++i];
      };
      if (a == "--lines")
        o.buchungen = static_cast<int>(zahl(wert()));
      else if (a == "--max-lines-per-invoice")
        o.maxZeilenJeRechnung = static_cast<int>(zahl(wert()));
      else if (a == "--pdf-size")
        o.pdfGroesse = zahl(wert());
      else if (a == "--no-pdfs")
        o.rechnungsPdfs = false;
      else if (a == "--statement-size")
        o.abrechnungsPdfGroesse = zahl(wert());
      else if (a == "--suppliers")
        o.lieferanten = static_cast<int>(zahl(wert()));
      else if (a == "--unknown-suppliers")
        o.unbekannteLieferanten = static_cast<int>(zahl(wert()));
      else if (a == "--remadv-lines")
        o.remadvZeilen = static_cast<int>(zahl(wert()));
      else if (a == "--seed")
        o.seed = static_cast<std::uint32_t>(zahl(wert()));
      else if (a == "--date")
        o.datum = wert();
      else if (a == "--member")
        o.mitgliedsnummer = wert();
      else if (a == "--settlement")
        o.abrechnungsnummer = wert();
      else if (a == "--mapping-folder")
        o.lieferantenOrdner = wert();
      else if (a == "--help" || a == "-h") {
        hilfe();
        return 0;
      } else if (!a.empty() && a[0] != '-' && ziel.empty())
        ziel = a;
      else
        throw std::invalid_argument("unknown argument " + a);
    }
    if (ziel.empty()) throw std::invalid_argument("no target folder");
    const auto e = belvanto::bench::abrechnungErzeugen(ziel, o);
    std::cout << e.buchungen << " booking lines, " << e.rechnungen << " invoices in " << ziel
              << "\n";
  } catch (const std::exception& f) {
    std::cerr << "belvanto_gen: " << f.what() << "\n";
    hilfe();
    return 2;
  }
  return 0;
}
