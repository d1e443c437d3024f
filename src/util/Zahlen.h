// Number texts: the decimal comma of the cooperative's files, the decimal
// point of the DATEV files, and the general format with 15 significant digits.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace belvanto {

// A decimal number with `decimalSeparator`, optional sign, optional exponent
// ("E", "e"), surrounding blanks allowed; no thousands separator. nullopt for
// anything else, for infinities and NaN.
std::optional<double> parseDecimal(std::string_view text, char decimalSeparator);
std::optional<long double> parseDecimalExtended(std::string_view text, char decimalSeparator);

// General format: at most 15 significant digits, trailing zeros and a needless
// separator dropped, "-" when negative, 0 gives "0". Magnitudes from 0.0001 to
// below 1E15 are plain; others in exponent form: mantissa, "E", exponent with
// "-" when negative, no "+" and no leading zeros (2.5E-5, 1E-17, 1E15).
std::string formatGeneral(double value, char decimalSeparator);

// Rounds to the nearest whole number, halves to the even neighbour.
double roundHalfEven(double value);
long double roundHalfEven(long double value);

}  // namespace belvanto
