// Synthetic settlements of the cooperative in its byte form (Windows-1252,
// CR LF): booking file, invoice index and invoice PDFs in ZRBELEG, a
// settlement statement in ZRABR, optionally a remittance file in REMADV, and
// the supplier mapping. Used by the benchmarks to feed the real readers.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace belvanto::bench {

struct GeneratorOptionen {
  int buchungen = 1000;           // booking lines, exactly
  int maxZeilenJeRechnung = 4;    // 1..max lines per invoice, uniform: 2.5 on average for 4
  std::size_t pdfGroesse = 1024;  // bytes per invoice PDF
  // true: PDFs as scanners write them (clear text plus a compressed image), so
  // archive timings are realistic; false: small compressible placeholders.
  bool realistischePdfs = false;
  bool rechnungsPdfs = true;  // false: the index names PDFs that are not there
  std::size_t abrechnungsPdfGroesse = 20 * 1024;
  int lieferanten = 50;
  int unbekannteLieferanten = 0;  // the last ones are left out of the mapping
  int remadvZeilen = 0;           // 0: no remittance file
  std::uint32_t seed = 1;
  std::string datum = "20250118";  // settlement date yyyymmdd, also in the file names
  std::string mitgliedsnummer = "4711";
  std::string abrechnungsnummer = "815";
  // Where LieferantenUmsetzung.csv goes; empty: the target folder itself.
  std::filesystem::path lieferantenOrdner;
};

struct GeneratorErgebnis {
  int buchungen = 0;
  int rechnungen = 0;
  std::filesystem::path buchungsDatei;
  std::filesystem::path indexDatei;
  std::filesystem::path lieferantenDatei;
};

// A PDF of about `groesse` bytes: objects and a content stream in clear text
// (about 30 %), then an already-compressed image stream. Deterministic per seed.
std::string realistischesPdf(std::size_t groesse, std::uint64_t saat);

// Writes one settlement into `ziel` (created when missing). The same options
// and seed always give the same bytes. Throws std::runtime_error when a file
// cannot be written.
GeneratorErgebnis abrechnungErzeugen(const std::filesystem::path& ziel,
                                     const GeneratorOptionen& optionen);

}  // namespace belvanto::bench
