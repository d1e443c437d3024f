// The cooperative's remittance advice files ("RemADV*.csv"): each is read,
// converted for the member's bookkeeping (dates shifted by ten days, tax keys,
// own supplier numbers, counter account and cost centre), written to W/Mail
// as Windows-1252 with CR LF, mailed when chosen, and deleted.
#pragma once

#include <functional>

#include <filesystem>
#include <string>

#include "basis/Bediener.h"
#include "basis/Konfiguration.h"
#include "input/ULieferanten.h"
#include "mail/UMailUnit.h"
#include "util/TextGrid.h"

namespace belvanto {

inline constexpr int kRemADVSpalten = 21;

class RemADV {
 public:
  RemADV(const Konfiguration& k, Lieferanten& lieferanten, Bediener& b);

  // The stage of a run: every RemADV*.csv of W/RemADV, first in name order
  // first. Throws Fehler when a file cannot be read, converted or deleted;
  // a file that fails stays where it is. `vorErsterDatei` runs once before
  // the first file, and not at all when there is none.
  void Verarbeiten(MailVersand& versand, bool mailen,
                   const std::function<void()>& vorErsterDatei = {});

  // Header line as row 0, "Konto" and "Kost" added as its columns 19 and 20.
  void DateiEinlesen(const std::filesystem::path& TempFilename);
  // Rows 1 to the last, in place. Every date is checked before any supplier
  // is looked up, so a file with an unreadable date asks nothing.
  void ZeilenUmsetzen();
  // Writes W/Mail/<Dateiname> (creating W/Mail) and returns its path;
  // MailBetreff gets column 18 of row 1, " / € " and the sum of column 3.
  std::filesystem::path AusgabeSchreiben(const std::filesystem::path& TempVerzeichnis,
                                         const std::string& Dateiname, std::string& MailBetreff);

  const TextGrid& grid() const { return RemADVGrid; }

 private:
  const Konfiguration& k_;
  Lieferanten& lieferanten_;
  Bediener& b_;
  TextGrid RemADVGrid;
  std::filesystem::path datei_;  // the file read last, for messages
};

}  // namespace belvanto
