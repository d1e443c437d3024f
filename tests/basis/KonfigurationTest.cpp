// The settings file as the bookkeeper edits it: defaults, the VAT key
// replacement, numbers, the working folder check and the write-back.
#include <gtest/gtest.h>

#include "basis/Konfiguration.h"
#include "support/TestSupport.h"
#include "util/Fehler.h"

namespace belvanto {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;

Konfiguration lies(const TempDir& dir, const std::string& ini) {
  writeBytes(dir / kIniName, ini);
  return konfigurationLesen(dir.path());
}

TEST(Konfiguration, AbsentFileGivesEveryDefault) {
  TempDir dir;
  const auto k = konfigurationLesen(dir.path());
  EXPECT_EQ(k.ArbeitsVerzeichnis, "/tmp/Belvanto");
  EXPECT_EQ(k.BackupVerzeichnis, "/tmp/BackUp");
  EXPECT_EQ(k.AusgabeVerzeichnis, "/tmp/datev");
  EXPECT_EQ(k.LastOpened, "/tmp");
  EXPECT_EQ(k.MailPort, 0);
  EXPECT_EQ(k.LfdNummer, 1);
  EXPECT_EQ(k.AnzahlRNStellen, 1);
  EXPECT_FALSE(k.NummernUmsetzung);
  EXPECT_FALSE(k.RNummerKuerzen);
  EXPECT_EQ(k.FirmaVolleMwSt, "");
  EXPECT_EQ(k.Mitgliedsnummer, "");
  EXPECT_EQ(k.iniDatei(), dir / "Belvanto.ini");
}

TEST(Konfiguration, FirmaRatesAlwaysReplaceThePlainRates) {
  TempDir dir;
  auto k = lies(dir,
                "[MwStSatz]\r\nVolleMwSt=19\r\nHalbeMwSt=7\r\nNullMwSt=0\r\n"
                "FirmaHalbeMwSt=7,00\r\n");
  EXPECT_EQ(k.FirmaVolleMwSt, "") << "an absent Firma key leaves the rate empty";
  EXPECT_EQ(k.FirmaHalbeMwSt, "7,00");
  EXPECT_EQ(k.FirmaNullMwSt, "");
}

TEST(Konfiguration, ReadsEveryKeyOfEverySection) {
  TempDir dir;
  auto k =
      lies(dir,
           "[verzeichnisse]\r\narbeitsverzeichnis = \"/daten/belvanto\" \r\n"
           "BackupVerzeichnis=/daten/backup\r\nAusgabeVerzeichnis=/daten/datev\r\n"
           "LastOpened=/daten\r\n"
           "[MwStSatz]\r\nVolleMwStREMADV=19\r\nFirmaVolleMwSt=19,00\r\n"
           "FirmaNullMwSt=0,00\r\n"
           "[Firma]\r\nMitgliedsnummer=4711\r\nFtpZugang=sftp.example\r\nFtpUser=u\r\n"
           "FtpPasswort=p w\r\n"
           "[Konten]\r\nVolleMwStKurz=V\r\nHalbeMwStKurz=H\r\nKostenstelle=100\r\n"
           "Gegenkonto=1200\r\n"
           "[EMail-Versand]\r\nMailAbsender=a@b\r\nMailPasswort=x\r\nMailServer=smtp\r\n"
           "MailPort=0x24B\r\nEmpfaengerRemADV=r@b\r\nEmpfaengerAbrechnung=s@b\r\n"
           "EmpfaengerRNKopie=k@b\r\n"
           "[Diverses]\r\nNummernUmsetzung=1\r\nLfdNummer=$10\r\nRNummerKuerzen=7\r\n"
           "AnzahlRNStellen=8\r\n"
           "[Signatur]\r\nSignatur1=Mit freundlichen Grüßen\r\nSignatur2=B\r\nSignatur3=C\r\n");
  EXPECT_EQ(k.ArbeitsVerzeichnis, "/daten/belvanto");
  EXPECT_EQ(k.BackupVerzeichnis, "/daten/backup");
  EXPECT_EQ(k.AusgabeVerzeichnis, "/daten/datev");
  EXPECT_EQ(k.LastOpened, "/daten");
  EXPECT_EQ(k.VolleMwStREMADV, "19");
  EXPECT_EQ(k.FirmaVolleMwSt, "19,00");
  EXPECT_EQ(k.FirmaNullMwSt, "0,00");
  EXPECT_EQ(k.Mitgliedsnummer, "4711");
  EXPECT_EQ(k.FtpZugang, "sftp.example");
  EXPECT_EQ(k.FtpPasswort, "p w");
  EXPECT_EQ(k.Gegenkonto, "1200");
  EXPECT_EQ(k.MailPort, 587);
  EXPECT_EQ(k.EmpfaengerRNKopie, "k@b");
  EXPECT_TRUE(k.NummernUmsetzung);
  EXPECT_EQ(k.LfdNummer, 16);
  EXPECT_TRUE(k.RNummerKuerzen) << "any non-zero number is true";
  EXPECT_EQ(k.AnzahlRNStellen, 8);
  EXPECT_EQ(k.Signatur1, "Mit freundlichen Grüßen");
}

TEST(Konfiguration, NumbersThatAreNoNumbersGiveTheDefault) {
  TempDir dir;
  auto k = lies(dir,
                "[EMail-Versand]\nMailPort=fünfundzwanzig\n[Diverses]\nLfdNummer=12a\n"
                "NummernUmsetzung=ja\nAnzahlRNStellen=\n");
  EXPECT_EQ(k.MailPort, 0);
  EXPECT_EQ(k.LfdNummer, 1);
  EXPECT_FALSE(k.NummernUmsetzung);
  EXPECT_EQ(k.AnzahlRNStellen, 1);
}

TEST(Konfiguration, WorkingFolderCheck) {
  TempDir dir;
  std::filesystem::create_directory(dir / "mit Leer zeichen");
  std::filesystem::create_directory_symlink(dir / "mit Leer zeichen", dir / "verweis");

  Konfiguration k;
  k.ArbeitsVerzeichnis = (dir / "mit Leer zeichen").string();
  EXPECT_FALSE(arbeitsVerzeichnisPruefen(k));
  k.ArbeitsVerzeichnis = (dir / "verweis").string();
  EXPECT_FALSE(arbeitsVerzeichnisPruefen(k)) << "a link to a folder counts as the folder";

  k.ArbeitsVerzeichnis = (dir / "gibt es  nicht").string();
  auto meldung = arbeitsVerzeichnisPruefen(k);
  ASSERT_TRUE(meldung);
  const std::string sichtbar = dir.path().string() + "/gibt*es**nicht";
  EXPECT_EQ(*meldung,
            "Falsches Verzeichnis im INI-String !\rProgramm wird beendet\r"
            "Verzeichnis: " +
                sichtbar);
  EXPECT_EQ(k.ArbeitsVerzeichnis, sichtbar);

  writeBytes(dir / "eine Datei", "x");
  k.ArbeitsVerzeichnis = (dir / "eine Datei").string();
  EXPECT_TRUE(arbeitsVerzeichnisPruefen(k)) << "a file is no working folder";
}

TEST(Konfiguration, WriteBackKeepsTheRestOfTheFile) {
  TempDir dir;
  const std::string vorher =
      "; Einstellungen\r\n[Verzeichnisse]\r\nArbeitsVerzeichnis=/a\r\n\r\n"
      "[Diverses]\r\nLfdNummer=7\r\nRNummerKuerzen=0\r\n[Signatur]\r\nSignatur1=Grüße\r\n";
  auto k = lies(dir, vorher);
  k.LfdNummer = 9;
  konfigurationZurueckschreiben(k);
  // LastOpened was absent and is created with its default; the rest stays.
  EXPECT_EQ(readBytes(dir / kIniName),
            "; Einstellungen\r\n[Verzeichnisse]\r\nArbeitsVerzeichnis=/a\r\nLastOpened=/tmp\r\n"
            "\r\n[Diverses]\r\nLfdNummer=9\r\nRNummerKuerzen=0\r\n[Signatur]\r\n"
            "Signatur1=Grüße\r\n");
  EXPECT_EQ(konfigurationLesen(dir.path()).LfdNummer, 9);
}

TEST(Konfiguration, WriteBackIntoAnAbsentFileCreatesIt) {
  TempDir dir;
  auto k = konfigurationLesen(dir.path());
  k.LfdNummer = 3;
  konfigurationZurueckschreiben(k);
  const auto wieder = konfigurationLesen(dir.path());
  EXPECT_EQ(wieder.LfdNummer, 3);
  EXPECT_EQ(wieder.ArbeitsVerzeichnis, "/tmp/Belvanto");
  EXPECT_EQ(wieder.LastOpened, "/tmp");
}

TEST(Konfiguration, FileNameInAnyLetterCaseIsTheSameFile) {
  TempDir dir;
  writeBytes(dir / "BELVANTO.INI", "[Diverses]\r\nLfdNummer=5\r\n");
  auto k = konfigurationLesen(dir.path());
  EXPECT_EQ(k.LfdNummer, 5);
  k.LfdNummer = 6;
  konfigurationZurueckschreiben(k);
  EXPECT_FALSE(std::filesystem::exists(dir / kIniName)) << "no second file";
  EXPECT_EQ(konfigurationLesen(dir.path()).LfdNummer, 6);
}

TEST(Konfiguration, UnwritableFileRaisesTheGermanMessage) {
  TempDir dir;
  std::filesystem::create_directory(dir / kIniName);  // a folder where the file should be
  Konfiguration k;
  k.programmOrdner = dir.path();
  try {
    konfigurationZurueckschreiben(k);
    FAIL() << "expected an error";
  } catch (const Fehler& f) {
    EXPECT_EQ(std::string(f.what()),
              "In " + (dir / kIniName).string() + " kann nicht geschrieben werden");
  }
}

}  // namespace
}  // namespace belvanto
