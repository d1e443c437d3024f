// One conversion run, from clearing the old working folders to showing the
// protocol: the stages in their fixed order, on the data of the working folder.
#pragma once

#include <string>

#include "basis/Konfiguration.h"
#include "input/UBuchungen.h"
#include "input/ULieferanten.h"
#include "input/URechnungsIndex.h"
#include "protocol/UProtokoll.h"
#include "util/TextGrid.h"

namespace belvanto {

class Bediener;

// The main window's check boxes, taken when the run starts.
struct LaufOptionen {
  bool mitDownload = true;
  bool belegeMailen = true;
  bool mitRemADV = true;
  bool remAdvMailen = true;
};

class Lauf {
 public:
  Lauf(Konfiguration& konfiguration, Bediener& bediener);

  // The run without the Start button's own first and last step. Unexpected
  // errors leave as Fehler; what was written until then stays.
  void ausfuehren(const LaufOptionen& optionen);

  bool erfolgreich() const { return erfolgreich_; }
  int verschobeneBelege() const { return verschobeneBelege_; }
  int abrechnungsBelege() const { return abrechnungsBelege_; }
  const std::string& abrechnungsDatum() const { return abrechnungsDatum_; }
  Protokoll& protokoll() { return protokoll_; }

 private:
  bool datenHolen(const LaufOptionen& optionen);
  void buchungsdateienVerarbeiten(const LaufOptionen& optionen);
  void buchungsdateiUmsetzen();
  void abschliessen();

  Konfiguration& k_;
  Bediener& bediener_;
  Buchungen buchungen_;
  RechnungsIndex index_;
  Lieferanten lieferanten_;
  Protokoll protokoll_;
  TextGrid AusgabeGrid;

  bool erfolgreich_ = false;
  int verschobeneBelege_ = 0;
  int abrechnungsBelege_ = 0;
  std::string abrechnungsDatum_;
};

}  // namespace belvanto
