#include "app/Lauf.h"

#include <zip.h>

#include <filesystem>

#include "basis/Bediener.h"
#include "export/BuchungenUmsetzen.h"
#include "export/DatevExport.h"
#include "export/MaxBetrag.h"
#include "files/Arbeitsordner.h"
#include "files/ZipArchiv.h"
#include "mail/UMailJobs.h"
#include "util/Dateijobs.h"
#include "util/Dateisuche.h"
#include "util/Datum.h"
#include "util/Fehler.h"
#include "util/StringLib.h"

namespace belvanto {

namespace fs = std::filesystem;

namespace {

constexpr const char* kBuchungsMuster = "Buchungen*.csv";

// "Buchungen_20250118.csv" -> "20250118": the name without its first ten and
// last four characters.
std::string datumAusDateiname(const std::string& name) {
  const std::size_t anzahl = utf8Length(name);
  return anzahl <= 14 ? std::string() : zeichenAusschnitt(name, 10, anzahl - 14);
}

// The six fields of a protocol entry; blank fields at the end say nothing.
std::string protokollZeile(const std::vector<std::string>& felder) {
  std::size_t anzahl = felder.size();
  while (anzahl > 0 && trim(felder[anzahl - 1]).empty()) --anzahl;
  std::string zeile = "Protokoll:";
  for (std::size_t i = 0; i < anzahl; ++i) zeile += (i ? " | " : " ") + felder[i];
  return zeile;
}

// Read back from the written file, so the log tells what is really there.
std::string archivZeile(const fs::path& archiv) {
  std::error_code ec;
  const auto groesse = fs::file_size(archiv, ec);
  std::string zeile = "Archiv geschrieben: " + archiv.string() + ", " +
                      (ec ? "Größe nicht lesbar" : std::to_string(groesse) + " Bytes") + ", ";
  int fehler = 0;
  zip_t* zip = zip_open(archiv.c_str(), ZIP_RDONLY, &fehler);
  if (zip == nullptr) return zeile + "Einträge nicht lesbar";
  zeile += std::to_string(zip_get_num_entries(zip, 0)) + " Einträge";
  zip_discard(zip);
  return zeile;
}

std::string jaNein(bool wert) {
  return wert ? "ja" : "nein";
}

}  // namespace

Lauf::Lauf(Konfiguration& konfiguration, Bediener& bediener, HakenLesen haken)
    : k_(konfiguration),
      laufbuch_(konfiguration.programmOrdner),
      bediener_(bediener, laufbuch_),
      haken_(std::move(haken)),
      lieferanten_(bediener_, konfiguration.programmOrdner),
      mail_(bediener_, konfiguration.programmOrdner, &laufbuch_),
      remadv_(konfiguration, lieferanten_, bediener_),
      AusgabeGrid(kAusgabeSpalten, 1),
      datenTest_(bediener_, konfiguration.programmOrdner / kHostKeyName,
                 konfiguration.FtpZeitlimit),
      download_(konfiguration, bediener_, protokoll_, &laufbuch_),
      journal_(konfiguration.programmOrdner) {
  protokoll_.beiEintrag([this](const std::vector<std::string>& felder) {
    laufbuch_.schreiben(protokollZeile(felder));
  });
  // The log is a record, not a stage: when it fails, the bookkeeper learns it
  // from the protocol and the run goes on without it.
  laufbuch_.beiStoerung([this](const std::string& grund) {
    protokoll_.AddProtokollEintrag("Laufprotokoll", "Belvanto.log kann nicht geschrieben werden",
                                   "", grund, "", "");
  });
}

std::string Lauf::laufBeginn() {
  std::string zeile = "Lauf beginnt: Mitgliedsnummer " + k_.Mitgliedsnummer +
                      ", Arbeitsverzeichnis " + k_.ArbeitsVerzeichnis;
  if (haken_(Haken::mitDownload)) zeile += ", Server " + k_.FtpZugang + " als " + k_.FtpUser;
  return zeile + "; mit Download: " + jaNein(haken_(Haken::mitDownload)) +
         ", Belege mailen: " + jaNein(haken_(Haken::belegeMailen)) +
         ", mit RemADV: " + jaNein(haken_(Haken::mitRemADV)) +
         ", RemADV mailen: " + jaNein(haken_(Haken::remAdvMailen));
}

std::string Lauf::laufEnde() const {
  if (!erfolgreich_) return "Lauf endet ohne Abschluss: " + ohneAbschluss_;
  // A run whose mails failed is no success to the bookkeeper who reads this.
  const int ohneMail = mail_.nichtGesendet();
  return "Lauf endet: erfolgreich, " + std::to_string(verschobeneBelege_) + " Belege verschoben, " +
         std::to_string(abrechnungsBelege_) + " Abrechnungsbelege" +
         (ohneMail > 0 ? ", nicht gesendete Mails: " + std::to_string(ohneMail) : "");
}

void Lauf::ausfuehren() {
  laufbuch_.schreiben(laufBeginn());
  try {
    stufen();
  } catch (const std::exception& e) {
    laufbuch_.schreiben(std::string("Lauf endet mit Fehler: ") + e.what());
    laufbuch_.schliessen();
    throw;
  } catch (...) {
    laufbuch_.schreiben("Lauf endet mit einem unbekannten Fehler");
    laufbuch_.schliessen();
    throw;
  }
  laufbuch_.schreiben(laufEnde());
  laufbuch_.schliessen();
}

void Lauf::stufen() {
  const Zeitpunkt start = jetzt();
  beginn_ = formatDatum(start.datum) + " " + (start.stunde < 10 ? "0" : "") +
            std::to_string(start.stunde) + ":" + (start.minute < 10 ? "0" : "") +
            std::to_string(start.minute);
  const std::optional<OffenerLauf> offen = journal_.lesen();
  if (offen)
    fortsetzen(*offen);
  else
    AlteVerzeichnisseLoeschen(k_, haken_(Haken::mitDownload), bediener_);
  mail_.Connect(k_.MailAbsender, k_.MailPasswort, k_.MailServer, k_.MailPort);

  erfolgreich_ = offen || !haken_(Haken::mitDownload) || datenHolen();
  if (!erfolgreich_) {
    ohneAbschluss_ = "keine Buchungen vom Server";
    bediener_.meldung("SCH ... keine Buchungen !");
  } else {
    if (!offen) sichern();
    // Only now that the backup holds them may fetched files leave the server.
    if (!offen || !offen->geloescht) {
      download_.GeholteLoeschen();
      journal_.geloescht();
    }
    lieferantenLesen();
    buchungsdateienVerarbeiten();
  }
  if (haken_(Haken::mitRemADV)) {
    // After a failed data check the mapping has not been read; without it every
    // supplier of the remittance advice would be asked for again. Without a
    // file to convert it is not needed, and a missing one is no error.
    remadv_.Verarbeiten(mail_, haken_(Haken::remAdvMailen), [this] { lieferantenLesen(); });
  }
  mail_.DisConnect();
  if (erfolgreich_) abschliessen();
  journal_.entfernen();
}

// From here on the settlement may be nowhere but in the backup: the journal
// lets the next Start finish the run should this one stop.
void Lauf::sichern() {
  const Datum tag = heute();
  backup_ = BackupErstellen(k_, bediener_, tag);
  laufbuch_.schreiben(archivZeile(backup_.archiv));
  windowsNamenMelden(backup_.archiv, backup_.eintraege);
  if (backup_.archiv != backupName(k_, tag))
    protokoll_.AddProtokollEintrag("Backup", backup_.archiv.filename().string(), "",
                                   "weiteres Backup des Tages", "", "");
  journal_.anlegen({beginn_, k_.LfdNummer, backup_.archiv, backup_.eintraege, download_.geholt(),
                    false});
}

// A stopped run is done again from its backup, with the numbers it began
// with: what it wrote to the output folder is written anew, the deletion it
// owes on the server is finished, and what arrived there since waits for the
// next Start, so two settlements never mix. Clearing the working folder
// alone would leave this settlement in the backup only.
void Lauf::fortsetzen(const OffenerLauf& offen) {
  laufbuch_.schreiben("Nicht beendeter Lauf vom " + offen.beginn + " wird aus dem Backup " +
                      offen.backup.string() + " abgeschlossen");
  bediener_.meldung("Der Lauf vom " + offen.beginn +
                    " wurde nicht beendet. Er wird jetzt aus dem Backup \"" +
                    offen.backup.string() +
                    "\" abgeschlossen; neue Daten vom Server holt der nächste Start.");
  AlteVerzeichnisseLoeschen(k_, true, bediener_);
  eintraegeZurueckholen(offen.backup, k_.ArbeitsVerzeichnis, offen.eintraege);
  k_.LfdNummer = offen.lfdNummer;
  backup_ = {offen.backup, offen.eintraege, nullptr};
  download_.geholtUebernehmen(offen.geholt);
}

void Lauf::lieferantenLesen() {
  if (lieferantenGelesen_) return;
  lieferanten_.DateiEinlesen();
  lieferantenGelesen_ = true;
}

bool Lauf::TestDaten(bool FensterZeigen) {
  laufbuch_.schreiben("Test beginnt: Server " + k_.FtpZugang + " als " + k_.FtpUser);
  try {
    const bool vorhanden = datenPruefen(FensterZeigen);
    laufbuch_.schreiben(vorhanden ? "Test endet: alle Daten vorhanden"
                                  : "Test endet: Daten fehlen oder Server nicht erreichbar");
    laufbuch_.schliessen();
    return vorhanden;
  } catch (const std::exception& e) {
    laufbuch_.schreiben(std::string("Test endet mit Fehler: ") + e.what());
    laufbuch_.schliessen();
    throw;
  }
}

bool Lauf::datenPruefen(bool FensterZeigen) {
  return datenTest_.TestDaten(k_.FtpUser, k_.FtpPasswort, k_.FtpZugang, haken_(Haken::mitRemADV),
                              FensterZeigen);
}

// The backup folder is never created; without it the backup would fail after
// the files were fetched, so nothing is fetched at all.
bool Lauf::backupOrdnerVorhanden() {
  std::error_code ec;
  if (fs::is_directory(fs::path(k_.BackupVerzeichnis), ec)) return true;
  bediener_.meldung("Das Backup-Verzeichnis \"" + k_.BackupVerzeichnis +
                    "\" existiert nicht. Es werden keine Daten vom Server geholt.");
  return false;
}

bool Lauf::datenHolen() {
  if (!backupOrdnerVorhanden()) return false;
  if (!datenPruefen(false)) {
    laufbuch_.schreiben("Datenprüfung: Daten fehlen oder Server nicht erreichbar");
    return false;
  }
  laufbuch_.schreiben("Datenprüfung: alle Daten vorhanden");
  download_.ZRDatenHolen();
  if (haken_(Haken::mitRemADV)) download_.RemADVHolen();
  return true;
}

void Lauf::buchungsdateienVerarbeiten() {
  const fs::path arbeit = k_.ArbeitsVerzeichnis;
  std::string letzteDatei;
  while (true) {
    const fs::path zrbeleg = resolveNoCase(arbeit, "ZRBELEG");
    const auto datei = findFirstFile(zrbeleg, kBuchungsMuster);
    if (!datei) break;
    // The loop advances only because each booking file is deleted after
    // reading; the reader raises an error when it cannot delete, and this is
    // the last guard against reading the same file forever.
    if (datei->string() == letzteDatei)
      throw Fehler("Die Buchungsdatei \"" + datei->string() +
                   "\" wurde bereits verarbeitet und konnte nicht entfernt werden.");
    letzteDatei = datei->string();

    ordnerAnlegen(resolveNoCase(arbeit, "Belege"));
    ordnerAnlegen(resolveNoCase(arbeit, "Mail"));
    ordnerAnlegen(k_.AusgabeVerzeichnis);

    laufbuch_.schreiben("Buchungsdatei: " + datei->filename().string());
    abrechnungsDatum_ = datumAusDateiname(datei->filename().string());
    protokoll_.AddProtokollEintrag("Abrechnung vom", abrechnungsDatum_, "Mitgliedsnr.",
                                   k_.Mitgliedsnummer, " ", "");
    buchungen_.DateiEinlesen(arbeit);
    index_.DateiEinlesen(arbeit);

    erfolgreich_ = index_.HoleMitgliedsNummer() == k_.Mitgliedsnummer;
    ohneAbschluss_ = erfolgreich_ ? "" : "Mitgliedsnummer der letzten Buchungsdatei passt nicht";
    if (erfolgreich_)
      buchungsdateiUmsetzen(datei->filename().string());
    else
      bediener_.meldung("Mitgliedsnummer und Daten passen nicht zusammen !!");
    if (haken_(Haken::belegeMailen)) LadenMailSenden(k_, mail_, bediener_);

    aufraeumen_.push_back(VerzeichnisLeeren(resolveNoCase(arbeit, "Belege")));
  }
}

void Lauf::buchungsdateiUmsetzen(const std::string& buchungsDatei) {
  // Before anything of this booking file is written or asked: a wrong sum must
  // not reach the accountant.
  BetraegePruefen(buchungen_.BuchungsGrid, buchungsDatei);
  BuchungenUmsetzen(buchungen_.BuchungsGrid, index_, lieferanten_, k_, bediener_, AusgabeGrid);
  DatevExportSchreiben(AusgabeGrid, k_, protokoll_, bediener_);
  MaxBetragPruefen(buchungen_.BuchungsGrid, lieferanten_, k_, protokoll_, bediener_);
  verschobeneBelege_ += BelegeKopieren(k_, bediener_);
  Archiveintraege eintraege;
  const fs::path archiv = BelegarchivErstellen(k_, bediener_, heute(), backup_, &eintraege);
  laufbuch_.schreiben(archivZeile(archiv));
  windowsNamenMelden(archiv, eintraege);
  // Only a written archive uses up its number.
  ++k_.LfdNummer;
}

// An archive is opened on Windows: a name it cannot take went in under another.
void Lauf::windowsNamenMelden(const fs::path& archiv, const Archiveintraege& eintraege) {
  for (const auto& [name, eintrag] : eintraege)
    if (name != eintrag)
      protokoll_.AddProtokollEintrag("Name für Windows", anzeigeName(name),
                                     archiv.filename().string(), "im Archiv: " + anzeigeName(eintrag),
                                     "", "");
}

void Lauf::abschliessen() {
  bediener_.fortschritt("Ausdrucken");
  abrechnungsBelege_ = AbrechnungsMailSenden(k_, mail_, bediener_);
  // No connection stays open while the protocol window waits for the person.
  mail_.DisConnect();
  lieferanten_.DateiSchreiben();
  konfigurationZurueckschreiben(k_);
  bediener_.fortschritt("Es wurden " + std::to_string(abrechnungsBelege_) + " Belege gedruckt " +
                        std::to_string(verschobeneBelege_) + " Bilder kopiert.");
  if (verschobeneBelege_ < 5)
    protokoll_.AddProtokollEintrag("Stimmt das ?", "Es wurden nur",
                                   std::to_string(verschobeneBelege_), "Belege verarbeitet !", "",
                                   "");
  if (protokoll_.anzahlEintraege() > 0) bediener_.protokollZeigen(protokoll_);
}

}  // namespace belvanto
