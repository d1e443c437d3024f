// The settings of "Belvanto.ini" beside the executable, one value per key,
// read once when the main window is created.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "util/Dateisuche.h"

namespace belvanto {

inline constexpr const char* kIniName = "Belvanto.ini";
// The supplier mapping beside the INI.
inline constexpr const char* kLieferantenDatei = "LieferantenUmsetzung.csv";

struct Konfiguration {
  // The folder of the executable: the INI and the supplier mapping live here.
  std::filesystem::path programmOrdner;

  // [Verzeichnisse]
  std::string ArbeitsVerzeichnis = "/tmp/Belvanto";
  std::string BackupVerzeichnis = "/tmp/BackUp";
  std::string AusgabeVerzeichnis = "/tmp/datev";
  std::string LastOpened = "/tmp";
  // [MwStSatz]. VolleMwSt, HalbeMwSt and NullMwSt are read and then always
  // replaced by the Firma keys, so only these three rates exist.
  std::string VolleMwStREMADV;
  std::string FirmaVolleMwSt;
  std::string FirmaHalbeMwSt;
  std::string FirmaNullMwSt;
  // [Firma]
  std::string Mitgliedsnummer;
  std::string FtpZugang;
  std::string FtpUser;
  std::string FtpPasswort;
  // Not in the cooperative's INI layout: seconds in which the SFTP server must
  // send at least 1,024 bytes while a transfer waits (at least 1).
  std::int32_t FtpZeitlimit = 60;
  // [Konten]
  std::string VolleMwStKurz;
  std::string HalbeMwStKurz;
  std::string Kostenstelle;
  std::string Gegenkonto;
  // [EMail-Versand]
  std::string MailAbsender;
  std::string MailPasswort;
  std::string MailServer;
  std::int32_t MailPort = 0;
  std::string EmpfaengerRemADV;
  std::string EmpfaengerAbrechnung;
  std::string EmpfaengerRNKopie;
  // [Diverses]
  bool NummernUmsetzung = false;
  std::int32_t LfdNummer = 1;
  bool RNummerKuerzen = false;
  std::int32_t AnzahlRNStellen = 1;
  // [Signatur]
  std::string Signatur1;
  std::string Signatur2;
  std::string Signatur3;

  // Found in any letter case, as on Windows; "Belvanto.ini" when absent.
  std::filesystem::path iniDatei() const { return resolveNoCase(programmOrdner, kIniName); }
};

// Reads `<programmOrdner>/Belvanto.ini`; absent keys take their defaults.
Konfiguration konfigurationLesen(const std::filesystem::path& programmOrdner);

// Writes ArbeitsVerzeichnis, LastOpened and LfdNummer back, keeping the rest of
// the file. Throws Fehler "In <file> kann nicht geschrieben werden".
void konfigurationZurueckschreiben(const Konfiguration& konfiguration);

// The warning for an INI that other users may read (it holds both passwords);
// nothing when only its owner can.
std::optional<std::string> iniLesbarFuerAndere(const Konfiguration& konfiguration);

// When the working folder does not exist: replaces every blank of the value by
// "*" and returns the three-line message that ends the program.
std::optional<std::string> arbeitsVerzeichnisPruefen(Konfiguration& konfiguration);

}  // namespace belvanto
