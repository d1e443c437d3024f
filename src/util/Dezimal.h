// Amounts as exact decimals: the DATEV files and the remittance advice
// subject carry sums that binary floating point would spoil.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace belvanto {

// An amount the DATEV files can carry: an optional sign, digits, and at most
// one `trenner` with digits on either side or both (the lexical form of an XML
// decimal). No blanks, no thousands separator, no exponent.
bool istDezimaltext(std::string_view text, char trenner);

// The exact sum of decimal amount texts (decimal point). Binary floating point
// would leave residues such as -5.68E-15 where amounts cancel out.
class Betragssumme {
 public:
  // Adds an amount; a text that istDezimaltext refuses adds nothing and gives
  // false.
  bool addieren(std::string_view betrag);
  // The double nearest to the exact sum; infinite beyond the double range.
  double wert() const;

 private:
  // Decimal digits, least significant first, each with `stellen_` places
  // after the point: the positive and the negative amounts apart, so adding
  // needs no sign and only the end result a subtraction.
  std::string plus_;
  std::string minus_;
  std::size_t stellen_ = 0;
};

}  // namespace belvanto
