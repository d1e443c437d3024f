// The columns of the output grid that the booking conversion fills and the
// DATEV writer reads.
#pragma once

namespace belvanto {

inline constexpr int kAusgabeSpalten = 31;

enum Spalte {
  kWaehrung = 0,
  kBetrag = 1,
  kRechnungsNr = 2,
  kDatum = 3,
  kAbrufNr = 4,
  kLieferantName = 5,
  kLieferantKonto = 7,
  kKonto = 9,
  kBuchungstext = 11,
  kSteuersatz = 14,
  kKostenstelle = 17,
  kSkonto = 21,
  kSkontoDatum = 23,
  kSkontoProzent = 29,
  kBildname = 30,
};

}  // namespace belvanto
