// Calendar arithmetic on plain day numbers (days since 1970-01-01 in the
// proleptic Gregorian calendar) and the fixed date texts of the program.
#include "util/Datum.h"

#include <cstdio>
#include <ctime>

namespace belvanto {

namespace {

bool istSchaltjahr(int j) {
  return (j % 4 == 0 && j % 100 != 0) || j % 400 == 0;
}

int tageImMonat(int jahr, int monat) {
  static constexpr int kTage[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return monat == 2 && istSchaltjahr(jahr) ? 29 : kTage[monat - 1];
}

long long tagNummer(const Datum& d) {
  const long long j = d.jahr - (d.monat <= 2 ? 1 : 0);
  const long long era = (j >= 0 ? j : j - 399) / 400;
  const long long jahrDerEra = j - era * 400;
  const long long tagDesJahres = (153 * (d.monat + (d.monat > 2 ? -3 : 9)) + 2) / 5 + d.tag - 1;
  const long long tagDerEra = jahrDerEra * 365 + jahrDerEra / 4 - jahrDerEra / 100 + tagDesJahres;
  return era * 146097 + tagDerEra - 719468;
}

Datum ausTagNummer(long long z) {
  z += 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const long long tagDerEra = z - era * 146097;
  const long long jahrDerEra =
      (tagDerEra - tagDerEra / 1460 + tagDerEra / 36524 - tagDerEra / 146096) / 365;
  const long long tagDesJahres = tagDerEra - (365 * jahrDerEra + jahrDerEra / 4 - jahrDerEra / 100);
  const long long mp = (5 * tagDesJahres + 2) / 153;
  Datum d;
  d.tag = static_cast<int>(tagDesJahres - (153 * mp + 2) / 5 + 1);
  d.monat = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  d.jahr = static_cast<int>(jahrDerEra + era * 400 + (d.monat <= 2 ? 1 : 0));
  return d;
}

// One run of 1..maxZiffern digits; `anzahl` receives how many there were.
bool liesZahl(std::string_view& text, int maxZiffern, int& wert, int& anzahl) {
  wert = 0;
  anzahl = 0;
  while (!text.empty() && text.front() >= '0' && text.front() <= '9') {
    if (++anzahl > maxZiffern) return false;
    wert = wert * 10 + (text.front() - '0');
    text.remove_prefix(1);
  }
  return anzahl > 0;
}

bool liesPunkt(std::string_view& text) {
  if (text.empty() || text.front() != '.') return false;
  text.remove_prefix(1);
  return true;
}

std::string zweistellig(int n) {
  char puffer[16];
  std::snprintf(puffer, sizeof puffer, "%02d", n);
  return puffer;
}

std::string vierstellig(int n) {
  char puffer[16];
  std::snprintf(puffer, sizeof puffer, "%04d", n);
  return puffer;
}

}  // namespace

std::optional<Datum> parseDatum(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  Datum d;
  int ziffern = 0;
  if (!liesZahl(text, 2, d.tag, ziffern) || !liesPunkt(text)) return std::nullopt;
  if (!liesZahl(text, 2, d.monat, ziffern) || !liesPunkt(text)) return std::nullopt;
  if (!liesZahl(text, 4, d.jahr, ziffern) || !text.empty()) return std::nullopt;
  if (ziffern == 2) {
    d.jahr += 2000;
  } else if (ziffern != 4 || d.jahr == 0) {
    return std::nullopt;
  }
  if (d.monat < 1 || d.monat > 12) return std::nullopt;
  if (d.tag < 1 || d.tag > tageImMonat(d.jahr, d.monat)) return std::nullopt;
  return d;
}

Datum addTage(Datum datum, int tage) {
  return ausTagNummer(tagNummer(datum) + tage);
}

std::string formatDatum(const Datum& d) {
  return zweistellig(d.tag) + "." + zweistellig(d.monat) + "." + vierstellig(d.jahr);
}

std::string formatIsoDatum(const Datum& d) {
  return vierstellig(d.jahr) + "-" + zweistellig(d.monat) + "-" + zweistellig(d.tag);
}

std::string formatArchivDatum(const Datum& d) {
  return zweistellig(d.tag) + "-" + zweistellig(d.monat) + "-" + zweistellig(d.jahr % 100);
}

std::string formatIsoZeitpunkt(const Zeitpunkt& z) {
  return formatIsoDatum(z.datum) + "T" + zweistellig(z.stunde) + ":" + zweistellig(z.minute) + ":" +
         zweistellig(z.sekunde);
}

Zeitpunkt jetzt() {
  const std::time_t t = std::time(nullptr);
  std::tm lokal{};
  localtime_r(&t, &lokal);
  Zeitpunkt z;
  z.datum = {lokal.tm_year + 1900, lokal.tm_mon + 1, lokal.tm_mday};
  z.stunde = lokal.tm_hour;
  z.minute = lokal.tm_min;
  z.sekunde = lokal.tm_sec;
  return z;
}

}  // namespace belvanto
