// Number texts independent of the process locale: the syntax is checked here,
// the digits are converted under the "C" locale, and formatting goes through
// std::to_chars, so a setlocale() elsewhere in the program changes nothing.
#include "util/Zahlen.h"

#include <locale.h>

#include <charconv>
#include <cmath>
#include <cstdlib>

namespace belvanto {

namespace {

bool istBlank(char c) {
  return c == ' ' || c == '\t';
}
bool istZiffer(char c) {
  return c >= '0' && c <= '9';
}

// The text in the form strtod expects under the "C" locale, or nothing when it
// is not a plain decimal number.
std::optional<std::string> normalisiert(std::string_view text, char separator) {
  while (!text.empty() && istBlank(text.front())) text.remove_prefix(1);
  while (!text.empty() && istBlank(text.back())) text.remove_suffix(1);
  std::string zahl;
  zahl.reserve(text.size());
  std::size_t i = 0;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) zahl += text[i++];
  std::size_t ziffern = 0;
  while (i < text.size() && istZiffer(text[i])) {
    zahl += text[i++];
    ++ziffern;
  }
  if (i < text.size() && text[i] == separator) {
    zahl += '.';
    ++i;
    while (i < text.size() && istZiffer(text[i])) {
      zahl += text[i++];
      ++ziffern;
    }
  }
  if (ziffern == 0) return std::nullopt;
  if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
    zahl += 'e';
    ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) zahl += text[i++];
    std::size_t exponentZiffern = 0;
    while (i < text.size() && istZiffer(text[i])) {
      zahl += text[i++];
      ++exponentZiffern;
    }
    if (exponentZiffern == 0) return std::nullopt;
  }
  if (i != text.size()) return std::nullopt;
  return zahl;
}

locale_t cLocale() {
  static const locale_t c = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return c;
}

template <typename T>
std::optional<T> endlich(T wert) {
  if (!std::isfinite(wert)) return std::nullopt;
  return wert;
}

template <typename T>
T halbGerade(T wert) {
  if (!std::isfinite(wert)) return wert;
  const T unten = std::floor(wert);
  const T rest = wert - unten;
  if (rest > T(0.5)) return unten + 1;
  if (rest < T(0.5)) return unten;
  return std::fmod(unten, T(2)) == 0 ? unten : unten + 1;
}

}  // namespace

std::optional<double> parseDecimal(std::string_view text, char decimalSeparator) {
  const auto zahl = normalisiert(text, decimalSeparator);
  if (!zahl) return std::nullopt;
  return endlich(strtod_l(zahl->c_str(), nullptr, cLocale()));
}

std::optional<long double> parseDecimalExtended(std::string_view text, char decimalSeparator) {
  const auto zahl = normalisiert(text, decimalSeparator);
  if (!zahl) return std::nullopt;
  return endlich(strtold_l(zahl->c_str(), nullptr, cLocale()));
}

std::string formatGeneral(double value, char decimalSeparator) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value < 0 ? "-INF" : "INF";
  if (value == 0) return "0";

  // d.dddddddddddddde±x: the 15 significant digits, correctly rounded.
  char puffer[64];
  const auto [ende, fehler] =
      std::to_chars(puffer, puffer + sizeof puffer, value, std::chars_format::scientific, 14);
  const std::string_view text(puffer, static_cast<std::size_t>(ende - puffer));
  (void)fehler;  // 64 characters always suffice

  const bool negativ = text.front() == '-';
  const auto e = text.find('e');
  std::string ziffern;
  for (const char c : text.substr(0, e)) {
    if (istZiffer(c)) ziffern += c;
  }
  while (ziffern.size() > 1 && ziffern.back() == '0') ziffern.pop_back();
  int exponent = 0;
  const auto exponentText = text.substr(e + 1);
  std::from_chars(exponentText.data() + (exponentText.front() == '+' ? 1 : 0),
                  exponentText.data() + exponentText.size(), exponent);

  std::string ergebnis = negativ ? "-" : "";
  if (exponent < -4 || exponent >= 15) {
    ergebnis += ziffern[0];
    if (ziffern.size() > 1) {
      ergebnis += decimalSeparator;
      ergebnis.append(ziffern, 1);
    }
    ergebnis += 'E';
    ergebnis += std::to_string(exponent);
  } else if (exponent < 0) {
    ergebnis += '0';
    ergebnis += decimalSeparator;
    ergebnis.append(static_cast<std::size_t>(-exponent - 1), '0');
    ergebnis += ziffern;
  } else {
    const auto ganz = static_cast<std::size_t>(exponent) + 1;
    if (ziffern.size() <= ganz) {
      ergebnis += ziffern;
      ergebnis.append(ganz - ziffern.size(), '0');
    } else {
      ergebnis.append(ziffern, 0, ganz);
      ergebnis += decimalSeparator;
      ergebnis.append(ziffern, ganz);
    }
  }
  return ergebnis;
}

double roundHalfEven(double value) {
  return halbGerade(value);
}
long double roundHalfEven(long double value) {
  return halbGerade(value);
}

}  // namespace belvanto
