#include "basis/Konfiguration.h"

#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "util/Fehler.h"
#include "util/Ini.h"

namespace belvanto {

Konfiguration konfigurationLesen(const std::filesystem::path& programmOrdner) {
  Konfiguration k;
  k.programmOrdner = programmOrdner;
  const IniDatei ini(k.iniDatei());
  auto text = [&](const char* section, const char* key, const std::string& vorgabe) {
    return ini.leseText(section, key, vorgabe);
  };

  // Read section by section as the file is laid out; the three plain VAT keys are read but
  // the Firma keys always take their place.
  k.ArbeitsVerzeichnis = text("Verzeichnisse", "ArbeitsVerzeichnis", k.ArbeitsVerzeichnis);
  k.BackupVerzeichnis = text("Verzeichnisse", "BackupVerzeichnis", k.BackupVerzeichnis);
  k.AusgabeVerzeichnis = text("Verzeichnisse", "AusgabeVerzeichnis", k.AusgabeVerzeichnis);
  k.LastOpened = text("Verzeichnisse", "LastOpened", k.LastOpened);

  k.FirmaVolleMwSt = text("MwStSatz", "VolleMwSt", "");
  k.VolleMwStREMADV = text("MwStSatz", "VolleMwStREMADV", "");
  k.FirmaHalbeMwSt = text("MwStSatz", "HalbeMwSt", "");
  k.FirmaNullMwSt = text("MwStSatz", "NullMwSt", "");
  k.FirmaVolleMwSt = text("MwStSatz", "FirmaVolleMwSt", "");
  k.FirmaHalbeMwSt = text("MwStSatz", "FirmaHalbeMwSt", "");
  k.FirmaNullMwSt = text("MwStSatz", "FirmaNullMwSt", "");

  k.Mitgliedsnummer = text("Firma", "Mitgliedsnummer", "");
  k.FtpZugang = text("Firma", "FtpZugang", "");
  k.FtpUser = text("Firma", "FtpUser", "");
  k.FtpPasswort = text("Firma", "FtpPasswort", "");
  k.FtpZeitlimit = std::clamp(ini.leseZahl("Firma", "FtpZeitlimit", 60), 1, 3600);

  k.VolleMwStKurz = text("Konten", "VolleMwStKurz", "");
  k.HalbeMwStKurz = text("Konten", "HalbeMwStKurz", "");
  k.Kostenstelle = text("Konten", "Kostenstelle", "");
  k.Gegenkonto = text("Konten", "Gegenkonto", "");

  k.MailAbsender = text("EMail-Versand", "MailAbsender", "");
  k.MailPasswort = text("EMail-Versand", "MailPasswort", "");
  k.MailServer = text("EMail-Versand", "MailServer", "");
  k.MailPort = ini.leseZahl("EMail-Versand", "MailPort", 0);
  k.EmpfaengerRemADV = text("EMail-Versand", "EmpfaengerRemADV", "");
  k.EmpfaengerAbrechnung = text("EMail-Versand", "EmpfaengerAbrechnung", "");
  k.EmpfaengerRNKopie = text("EMail-Versand", "EmpfaengerRNKopie", "");

  k.NummernUmsetzung = ini.leseSchalter("Diverses", "NummernUmsetzung", false);
  k.LfdNummer = ini.leseZahl("Diverses", "LfdNummer", 1);
  k.RNummerKuerzen = ini.leseSchalter("Diverses", "RNummerKuerzen", false);
  k.AnzahlRNStellen = ini.leseZahl("Diverses", "AnzahlRNStellen", 1);

  k.Signatur1 = text("Signatur", "Signatur1", "");
  k.Signatur2 = text("Signatur", "Signatur2", "");
  k.Signatur3 = text("Signatur", "Signatur3", "");
  return k;
}

void konfigurationZurueckschreiben(const Konfiguration& k) {
  const auto datei = k.iniDatei();
  IniDatei::schreibeText(datei, "Verzeichnisse", "ArbeitsVerzeichnis", k.ArbeitsVerzeichnis);
  IniDatei::schreibeText(datei, "Verzeichnisse", "LastOpened", k.LastOpened);
  IniDatei::schreibeText(datei, "Diverses", "LfdNummer", std::to_string(k.LfdNummer));
}

std::optional<std::string> iniLesbarFuerAndere(const Konfiguration& k) {
  struct stat st {};
  if (::stat(k.iniDatei().c_str(), &st) != 0 || (st.st_mode & (S_IRGRP | S_IROTH)) == 0)
    return std::nullopt;
  return "Die Datei \"" + k.iniDatei().string() +
         "\" kann von anderen Benutzern gelesen werden. Sie enthält die Passwörter für den "
         "Server und den Mailversand.\rBitte nur für Sie lesbar machen, zum Beispiel mit: "
         "chmod 600 \"" +
         k.iniDatei().string() + "\"";
}

std::optional<std::string> arbeitsVerzeichnisPruefen(Konfiguration& k) {
  std::error_code ec;
  // is_directory follows links, so a link to a folder counts as the folder.
  if (!k.ArbeitsVerzeichnis.empty() && std::filesystem::is_directory(k.ArbeitsVerzeichnis, ec))
    return std::nullopt;
  for (char& c : k.ArbeitsVerzeichnis)
    if (c == ' ') c = '*';
  return "Falsches Verzeichnis im INI-String !\rProgramm wird beendet\rVerzeichnis: " +
         k.ArbeitsVerzeichnis;
}

}  // namespace belvanto
