#include "app/Lauf.h"

#include <filesystem>

#include "basis/Bediener.h"
#include "export/BuchungenUmsetzen.h"
#include "export/DatevExport.h"
#include "export/MaxBetrag.h"
#include "files/Arbeitsordner.h"
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

}  // namespace

Lauf::Lauf(Konfiguration& konfiguration, Bediener& bediener, HakenLesen haken)
    : k_(konfiguration),
      bediener_(bediener),
      haken_(std::move(haken)),
      lieferanten_(bediener, konfiguration.programmOrdner),
      mail_(bediener, konfiguration.programmOrdner),
      remadv_(konfiguration, lieferanten_, bediener),
      AusgabeGrid(kAusgabeSpalten, 1),
      datenTest_(bediener, konfiguration.programmOrdner / kHostKeyName),
      download_(konfiguration, bediener, protokoll_) {}

void Lauf::ausfuehren() {
  AlteVerzeichnisseLoeschen(k_, haken_(Haken::mitDownload), bediener_);
  mail_.Connect(k_.MailAbsender, k_.MailPasswort, k_.MailServer, k_.MailPort);

  erfolgreich_ = haken_(Haken::mitDownload) ? datenHolen() : true;
  if (!erfolgreich_) {
    bediener_.meldung("SCH ... keine Buchungen !");
  } else {
    BackupErstellen(k_, bediener_, heute());
    // Only now that the backup holds them may fetched files leave the server.
    download_.GeholteLoeschen();
    lieferantenLesen();
    buchungsdateienVerarbeiten();
  }
  if (haken_(Haken::mitRemADV)) {
    // After a failed data check the mapping has not been read; without it every
    // supplier of the remittance advice would be asked for again.
    lieferantenLesen();
    remadv_.Verarbeiten(mail_, haken_(Haken::remAdvMailen));
  }
  mail_.DisConnect();
  if (erfolgreich_) abschliessen();
}

void Lauf::lieferantenLesen() {
  if (lieferantenGelesen_) return;
  lieferanten_.DateiEinlesen();
  lieferantenGelesen_ = true;
}

bool Lauf::TestDaten(bool FensterZeigen) {
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
  if (!backupOrdnerVorhanden() || !TestDaten(false)) return false;
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

    abrechnungsDatum_ = datumAusDateiname(datei->filename().string());
    protokoll_.AddProtokollEintrag("Abrechnung vom", abrechnungsDatum_, "Mitgliedsnr.",
                                   k_.Mitgliedsnummer, " ", "");
    buchungen_.DateiEinlesen(arbeit);
    index_.DateiEinlesen(arbeit);

    erfolgreich_ = index_.HoleMitgliedsNummer() == k_.Mitgliedsnummer;
    if (erfolgreich_)
      buchungsdateiUmsetzen(datei->filename().string());
    else
      bediener_.meldung("Mitgliedsnummer und Daten passen nicht zusammen !!");
    if (haken_(Haken::belegeMailen)) LadenMailSenden(k_, mail_, bediener_);

    const fs::path belege = resolveNoCase(arbeit, "Belege");
    VerzeichnisLoeschen(belege);
    ordnerAnlegen(belege);
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
  BelegarchivErstellen(k_, bediener_, heute());
  // Only a written archive uses up its number.
  ++k_.LfdNummer;
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
