// Exact decimal amounts.
#include "util/Dezimal.h"

#include <algorithm>
#include <cmath>
#include <optional>

#include "util/Zahlen.h"

namespace belvanto {

namespace {

struct Dezimalteile {
  bool negativ = false;
  std::string_view ganz;
  std::string_view bruch;
};

std::optional<Dezimalteile> zerlegen(std::string_view text, char trenner) {
  Dezimalteile t;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    t.negativ = text.front() == '-';
    text.remove_prefix(1);
  }
  const auto punkt = text.find(trenner);
  t.ganz = text.substr(0, punkt);
  if (punkt != std::string_view::npos) t.bruch = text.substr(punkt + 1);
  const auto nurZiffern = [](std::string_view z) {
    return std::all_of(z.begin(), z.end(), [](char c) { return c >= '0' && c <= '9'; });
  };
  if (t.ganz.empty() && t.bruch.empty()) return std::nullopt;
  if (!nurZiffern(t.ganz) || !nurZiffern(t.bruch)) return std::nullopt;
  return t;
}

// Both digit strings least significant first, at the same places.
void ziffernAddieren(std::string& summe, std::string_view zahl) {
  if (summe.size() < zahl.size()) summe.resize(zahl.size(), '0');
  int uebertrag = 0;
  for (std::size_t i = 0; i < summe.size() && (i < zahl.size() || uebertrag != 0); ++i) {
    const int d = (summe[i] - '0') + (i < zahl.size() ? zahl[i] - '0' : 0) + uebertrag;
    summe[i] = static_cast<char>('0' + d % 10);
    uebertrag = d / 10;
  }
  if (uebertrag != 0) summe += '1';
}

// a - b in place, for a >= b; both least significant first.
void ziffernAbziehen(std::string& a, std::string_view b) {
  int borgen = 0;
  for (std::size_t i = 0; i < a.size(); ++i) {
    int d = (a[i] - '0') - (i < b.size() ? b[i] - '0' : 0) - borgen;
    borgen = d < 0 ? 1 : 0;
    a[i] = static_cast<char>('0' + d + 10 * borgen);
  }
}

std::string ohneFuehrendeNullen(std::string ziffern) {
  while (!ziffern.empty() && ziffern.back() == '0') ziffern.pop_back();
  return ziffern;
}

}  // namespace

bool istDezimaltext(std::string_view text, char trenner) {
  return zerlegen(text, trenner).has_value();
}

bool Betragssumme::addieren(std::string_view betrag) {
  const auto t = zerlegen(betrag, '.');
  if (!t) return false;
  if (t->bruch.size() > stellen_) {
    const std::size_t mehr = t->bruch.size() - stellen_;
    plus_.insert(0, mehr, '0');
    minus_.insert(0, mehr, '0');
    stellen_ = t->bruch.size();
  }
  std::string zahl(stellen_ - t->bruch.size(), '0');
  zahl.append(t->bruch.rbegin(), t->bruch.rend());
  zahl.append(t->ganz.rbegin(), t->ganz.rend());
  ziffernAddieren(t->negativ ? minus_ : plus_, zahl);
  return true;
}

double Betragssumme::wert() const {
  std::string a = ohneFuehrendeNullen(plus_);
  std::string b = ohneFuehrendeNullen(minus_);
  const bool negativ = b.size() > a.size() ||
                       (b.size() == a.size() &&
                        std::lexicographical_compare(a.rbegin(), a.rend(), b.rbegin(), b.rend()));
  if (negativ) std::swap(a, b);
  ziffernAbziehen(a, b);
  if (a.size() <= stellen_) a.resize(stellen_ + 1, '0');

  // Written out and read back by the correctly rounding conversion.
  std::string text = negativ ? "-" : "";
  text.append(a.rbegin(), a.rend());
  if (stellen_ > 0) text.insert(text.size() - stellen_, 1, '.');
  const auto zahl = parseDecimal(text, '.');
  if (!zahl) return negativ ? -HUGE_VAL : HUGE_VAL;
  return *zahl;
}

}  // namespace belvanto
