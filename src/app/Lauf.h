// One conversion run, from clearing the old working folders to showing the
// protocol: the stages in their fixed order, on the data of the working folder.
#pragma once

#include <functional>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include "app/LaufbuchBediener.h"
#include "app/Laufjournal.h"
#include "basis/Konfiguration.h"
#include "basis/Laufbuch.h"
#include "files/Arbeitsordner.h"
#include "input/UBuchungen.h"
#include "input/ULieferanten.h"
#include "input/URechnungsIndex.h"
#include "mail/UMailUnit.h"
#include "mail/URemADV.h"
#include "protocol/UProtokoll.h"
#include "transfer/Download.h"
#include "transfer/UTestDaten.h"
#include "util/TextGrid.h"

namespace belvanto {

class Bediener;

// The main window's check boxes. Each step reads its box when it comes to run:
// window messages are let through during the long stages, and a box changed
// then counts for the steps that follow.
enum class Haken { mitDownload, belegeMailen, mitRemADV, remAdvMailen };
using HakenLesen = std::function<bool(Haken)>;

class Lauf {
 public:
  Lauf(Konfiguration& konfiguration, Bediener& bediener, HakenLesen haken);

  // The run without the Start button's own first and last step. Unexpected
  // errors leave as Fehler; what was written until then stays. The run log
  // "Belvanto.log" beside the INI records it from start to end.
  void ausfuehren();

  // The data check with the server of the INI and the "mit RemADV" box; with
  // `FensterZeigen` its window stays open. True when everything is there.
  // Recorded in the run log as a test of its own.
  bool TestDaten(bool FensterZeigen);

  bool erfolgreich() const { return erfolgreich_; }
  int verschobeneBelege() const { return verschobeneBelege_; }
  int abrechnungsBelege() const { return abrechnungsBelege_; }
  Protokoll& protokoll() { return protokoll_; }

 private:
  void stufen();
  void fortsetzen(const OffenerLauf& offen);
  void sichern();
  std::string laufBeginn();
  std::string laufEnde() const;
  bool datenPruefen(bool FensterZeigen);
  bool datenHolen();
  bool backupOrdnerVorhanden();
  void buchungsdateienVerarbeiten();
  void buchungsdateiUmsetzen(const std::string& buchungsDatei);
  void lieferantenLesen();
  void abschliessen();
  void windowsNamenMelden(const std::filesystem::path& archiv, const Archiveintraege& eintraege);

  Konfiguration& k_;
  // First, so that every part below hands the person's answers to the log.
  Laufbuch laufbuch_;
  LaufbuchBediener bediener_;
  HakenLesen haken_;
  Buchungen buchungen_;
  RechnungsIndex index_;
  Lieferanten lieferanten_;
  bool lieferantenGelesen_ = false;
  MailVersand mail_;
  RemADV remadv_;
  Protokoll protokoll_;
  TextGrid AusgabeGrid;
  DatenTest datenTest_;
  Download download_;
  Laufjournal journal_;
  std::string beginn_;

  bool erfolgreich_ = false;
  int verschobeneBelege_ = 0;
  int abrechnungsBelege_ = 0;
  std::string abrechnungsDatum_;
  // The backup this run wrote; the document archives take the PDFs' data from it.
  Backup backup_;
  // Why the closing stages were skipped, for the log's last line.
  std::string ohneAbschluss_;
  // Document folders being deleted in the background; waited for at the end.
  std::vector<std::jthread> aufraeumen_;
};

}  // namespace belvanto
