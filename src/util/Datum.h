// Calendar dates in the texts the program reads and writes.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace belvanto {

struct Datum {
  int jahr = 0;
  int monat = 0;
  int tag = 0;
  auto operator<=>(const Datum&) const = default;
};

struct Zeitpunkt {
  Datum datum;
  int stunde = 0;
  int minute = 0;
  int sekunde = 0;
};

// dd.mm.yy (years 2000..2099) or dd.mm.yyyy; day and month may have one digit.
// nullopt for anything else and for days that do not exist.
std::optional<Datum> parseDatum(std::string_view text);
Datum addTage(Datum datum, int tage);

std::string formatDatum(const Datum& datum);         // dd.mm.yyyy
std::string formatIsoDatum(const Datum& datum);      // yyyy-mm-dd
std::string formatArchivDatum(const Datum& datum);   // dd-mm-yy
std::string formatIsoZeitpunkt(const Zeitpunkt& z);  // yyyy-mm-ddThh:mm:ss

// Local date and time from the system clock.
Zeitpunkt jetzt();
inline Datum heute() { return jetzt().datum; }

}  // namespace belvanto
