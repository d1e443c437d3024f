// Whole runs with "mit Download" against the real SFTP server: the golden
// settlement travels from the server into the same archives as in a run on
// local data, and the server is emptied. Then the faults, one row each; in
// every row each delivered file is afterwards still on the server, in the
// working folder or in an archive.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <deque>
#include <functional>
#include <regex>
#include <set>

#include "app/DownloadUmgebung.h"
#include "support/MailTestHilfe.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::writeBytes;

using test::inhalte;
using test::kMitDownload;
using test::Tmpfs;
using test::Umgebung;

TEST(DownloadLauf, SettlementFromTheServerGivesTheArchivesOfTheOfflineRun) {
  Umgebung lokal, netz;
  for (const char* ordner : {"ZRBELEG", "ZRABR", "REMADV"})
    fs::rename(lokal.root / ordner, lokal.tmp / "arbeit" / ordner);
  lokal.starten();
  lokal.laufen({Haken::mitRemADV});
  netz.starten();
  netz.laufen(kMitDownload);
  ASSERT_EQ(lokal.fehler + netz.fehler, "");
  EXPECT_EQ(netz.bediener.meldungen, test::infoMailOhneServer());
  EXPECT_EQ(netz.protokoll, lokal.protokoll);

  static const std::regex datum(R"(<date>[-0-9T:]+</date>)");
  const std::string tag = formatArchivDatum(heute());
  for (const std::string& name :
       {"backup/4711-" + tag + ".zip", "ausgabe/Belege-4711-" + tag + "-7.zip"}) {
    SCOPED_TRACE(name);
    auto a = test::mitLibzipLesen(lokal.tmp / name), b = test::mitLibzipLesen(netz.tmp / name);
    // The download makes the mail folder before the backup, as it always did.
    EXPECT_EQ(b.erase("Mail/"), name.starts_with("backup") ? 1u : 0u);
    ASSERT_EQ(a.size(), b.size());
    for (auto ia = a.begin(), ib = b.begin(); ia != a.end(); ++ia, ++ib) {
      EXPECT_EQ(ia->first, ib->first);
      EXPECT_EQ(std::regex_replace(ia->second.inhalt, datum, ""),
                std::regex_replace(ib->second.inhalt, datum, ""));
    }
    EXPECT_EQ(b.count("REMADV/RemADV_1.csv"), name.starts_with("backup") ? 1u : 0u);
  }
  EXPECT_EQ(readBytes(netz.tmp / "arbeit/ZRABR/Abrechnung.pdf"), "%PDF Abrechnung");
  for (const char* ordner : {"ZRBELEG", "ZRABR", "REMADV"})
    EXPECT_TRUE(fs::is_empty(netz.root / ordner)) << ordner;

  // Every copy before the backup, every deletion after it.
  const auto& f = netz.bediener.fortschritte;
  const auto backup = std::find(f.begin(), f.end(), "Backup erstellen");
  EXPECT_NE(std::find(f.begin(), backup, "Kopieren (FTP): ABCD1001.pdf"), backup);
  EXPECT_NE(std::find(backup, f.end(), "Löschen (SFTP): ABCD1001.pdf"), f.end());
  for (auto it = f.begin(); it != backup; ++it) EXPECT_EQ(it->find("Löschen"), std::string::npos);
}

// With mail: the invoice copies of the booking file, the converted remittance
// advice, the settlement statements and the information mail arrive, each with
// the files of its folder, byte for byte.
TEST(DownloadLauf, WithMailEveryMailArrivesWithItsFiles) {
  Umgebung u;
  writeBytes(u.root / "REMADV/RemADV_1.csv",
             test::cp1252Zeilen({"RechnungsNr;Datum;Faellig;Betrag;Skonto;Netto;MwSt;Text;F8;F9;"
                                 "F10;F11;F12;F13;F14;Lieferant;Name;Zahlart;Zahlungslauf",
                                 "R-1;25.12.2024;;119,00;0,00;100,00;19;Ware;;;;;;;;70001;Müller;"
                                 "U;ZL 1"}));
  test::SmtpServer smtp;
  u.starten({}, test::mailIni(smtp));
  // The usual umask would leave everything readable by all; what the run
  // writes stays the user's all the same, and what it rewrites keeps its mode.
  const mode_t umaskVorher = ::umask(022);
  fs::permissions(u.programm / "Belvanto.ini", fs::perms(0640));
  u.laufen({Haken::mitDownload, Haken::belegeMailen, Haken::mitRemADV, Haken::remAdvMailen});
  ::umask(umaskVorher);
  ASSERT_EQ(u.fehler, "");
  EXPECT_EQ(u.bediener.meldungen, std::vector<std::string>{});
  const std::string tag = formatArchivDatum(heute());
  const std::pair<fs::path, unsigned> modi[] = {
      {u.programm / "Belvanto.log", 0600},
      {u.programm / "Belvanto.hostkeys", 0600},
      {u.programm / "Belvanto.mailpins", 0600},
      {u.programm / "Belvanto.ini", 0640},
      {u.tmp / "backup" / ("4711-" + tag + ".zip"), 0600},
      {u.tmp / "ausgabe", 0700},
      {u.tmp / "ausgabe" / ("Belege-4711-" + tag + "-7.zip"), 0600},
      {u.tmp / "arbeit/ZRABR", 0700},
      {u.tmp / "arbeit/ZRABR/Abrechnung.pdf", 0600},
      {u.tmp / "arbeit/Mail", 0700},
  };
  for (const auto& [pfad, modus] : modi)
    EXPECT_EQ(static_cast<unsigned>(fs::status(pfad).permissions()) & 0777, modus) << pfad;

  const auto archiv = test::mitLibzipLesen(u.tmp / "ausgabe" /
                                           ("Belege-4711-" + formatArchivDatum(heute()) + "-7.zip"));
  std::vector<std::string> belege;
  for (const auto& [name, e] : archiv)
    if (name.ends_with(".pdf")) belege.push_back(name);
  const struct {
    std::string betreff;
    std::vector<std::string> anlagen;
  } erwartet[] = {{"Laden-Versand", belege},
                  {"RemADV-Versand: ZL 1 / € 119", {"RemADV_1.csv"}},
                  {"Abrechnungs-Versand", {"Abrechnung.pdf"}},
                  {"Belvanto: 4711", {}}};
  ASSERT_EQ(smtp.ereignisse("message").size(), std::size(erwartet));
  for (int n = 1; n <= static_cast<int>(std::size(erwartet)); ++n) {
    const auto& e = erwartet[n - 1];
    const std::string mail = smtp.mail(n);
    SCOPED_TRACE(mail);
    EXPECT_NE(mail.find("\nSubject: " + e.betreff + "\n"), std::string::npos);
    for (const auto& anlage : e.anlagen) {
      EXPECT_NE(mail.find("\nAnlage: " + anlage + "\n"), std::string::npos);
      const std::string bytes = readBytes(smtp.anlagen(n) / anlage);
      if (archiv.count(anlage)) {
        EXPECT_EQ(bytes, archiv.at(anlage).inhalt);
      } else {
        EXPECT_EQ(bytes, readBytes(u.tmp / "arbeit" / (n == 2 ? "Mail" : "ZRABR") / anlage));
      }
    }
  }
  EXPECT_TRUE(fs::is_empty(u.root / "REMADV"));
}

// One server that behaves unlike ours, or one fault, per row; each row is a
// test of its own, so that a row this machine cannot run is reported as
// skipped. In every row each delivered file is afterwards still on the server,
// in the working folder or in an archive, and every file gone from the server
// has its line in the run log.
struct Stoerung {
  const char* name;
  std::vector<std::string> serverArgs;
  std::function<void(Umgebung&)> vorher;  // server up, before the run
  std::vector<std::string> gesagt;        // parts of the questions, messages and error
  std::vector<std::string> server;        // still on the server afterwards; "-": deleted
  std::vector<std::string> protokoll;     // beginnings of protocol rows
  std::vector<std::string> laufbuch = {};  // parts of lines of Belvanto.log
  bool ganz = false;                       // the whole settlement arrives, in four logins
  std::string firmaIni = {};
};

void PrintTo(const Stoerung& s, std::ostream* os) { *os << s.name; }

const std::string kGross(1 << 20, 'g');
const std::string kSch = "SCH ... keine Buchungen !";
const std::string kGrossFehler = "Fehler: Die Datei \"../ZRBELEG/Gross.pdf\" kann nicht vom Server";
const std::string kLangerName = std::string(246, 'L') + ".pdf";

void beiFortschritt(Umgebung& u, std::string text, std::function<void()> tun) {
  u.bediener.beiFortschritt = [=](const std::string& f) {
    if (f == text) tun();
  };
}

void ohneRoot(Umgebung& u) { u.ohne = std::make_unique<test::OhneRootRechte>(); }

const std::string kFremderSchluessel =
    " ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIAEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEB\n";

// clang-format off
const Stoerung kStoerungen[] = {
    {"ServerStirbtImDownload", {"--kill-after", "200000"},
     [](Umgebung& u) { writeBytes(u.root / "ZRBELEG/Gross.pdf", kGross); },
     {"Fehler: Die Datei \"../ZRBELEG/"}, {"ZRBELEG/Gross.pdf", "ZRABR/Abrechnung.pdf"}, {},
     {"Lauf endet mit Fehler: Die Datei \"../ZRBELEG/"}},
    {"DateiKommtNachDemListing", {},
     [](Umgebung& u) {
       beiFortschritt(u, "Backup erstellen", [&u] { writeBytes(u.root / "ZRABR/Neu.pdf", "neu"); });
     },
     {}, {"ZRABR/Neu.pdf", "-ZRABR/Abrechnung.pdf"}, {},
     {"Nicht gelöscht: ../ZRABR/Neu.pdf (in diesem Lauf nicht geholt)"}},
    {"DateiAendertSichNachDemHolen", {},
     [](Umgebung& u) {
       beiFortschritt(u, "Kopieren (FTP): Abrechnung.pdf",
                      [&u] { writeBytes(u.root / "ZRABR/Abrechnung.pdf", "%PDF, berichtigt"); });
     },
     {}, {"ZRABR/Abrechnung.pdf", "-ZRABR/Index_Abr.csv"},
     {"Nicht gelöscht|Abrechnung.pdf|../ZRABR|auf dem Server verändert"}},
    {"SchraegeUndLangeNamen", {"--fake-name", "../x"},
     [](Umgebung& u) {
       writeBytes(u.root / "ZRBELEG/a\\b", "a-b");
       writeBytes(u.root / "ZRBELEG/Beleg mit Blank.pdf", "blank");
       writeBytes(u.root / "ZRBELEG" / kLangerName, "lang");
       writeBytes(u.root / "x", "ausserhalb");
     },
     {}, {"ZRBELEG/a\\b", "x", "-ZRBELEG/Beleg mit Blank.pdf", "-ZRBELEG/" + kLangerName},
     {"Nicht geholt|../x|../ZRBELEG|Name enthält \"/\"",
      "Nicht geholt|a\\b|../ZRBELEG|Name enthält \"\\\""}},
    {"UnterordnerUndVerknuepfung", {},
     [](Umgebung& u) {
       writeBytes(u.root / "ZRBELEG/Unter/drin.pdf", "drin");
       fs::create_symlink("ABCD1001.pdf", u.root / "ZRBELEG/Verweis.pdf");
     },
     {}, {"ZRBELEG/Unter/drin.pdf", "ZRBELEG/Verweis.pdf", "-ZRBELEG/ABCD1001.pdf"},
     {"Nicht geholt|Unter|../ZRBELEG|ist ein Ordner",
      "Nicht geholt|Verweis.pdf|../ZRBELEG|ist eine Verknüpfung"}},
    {"ZipDateiOhneBackup", {},
     [](Umgebung& u) { writeBytes(u.root / "ZRABR/Anlage.zip", "PK"); },
     {}, {"ZRABR/Anlage.zip"}, {"Nicht gelöscht|Anlage.zip|../ZRABR|nicht im Backup"}},
    {"PlatteVoll", {},
     [](Umgebung& u) {
       writeBytes(u.root / "ZRBELEG/Gross.pdf", kGross);
       u.platte = std::make_unique<Tmpfs>(u.tmp / "arbeit", "size=256k");
     },
     {kGrossFehler}, {"ZRBELEG/Gross.pdf", "ZRABR/Abrechnung.pdf"}, {}},
    {"ArbeitsordnerSchreibgeschuetzt", {},
     [](Umgebung& u) {
       fs::permissions(u.tmp / "arbeit", fs::perms(0555));
       ohneRoot(u);
     },
     {"Fehler: "}, {"ZRABR/Abrechnung.pdf"}, {}},
    {"BackupVerzeichnisFehlt", {}, [](Umgebung& u) { fs::remove(u.tmp / "backup"); },
     {"Das Backup-Verzeichnis \"", kSch}, {"ZRABR/Abrechnung.pdf"}, {}},
    {"DatenFehlenUndKeineZuordnung", {},
     [](Umgebung& u) {
       fs::remove(u.root / "ZRBELEG/Index_20241130.csv");
       fs::remove(u.programm / "LieferantenUmsetzung.csv");
     },
     {kSch}, {"ZRBELEG/Buchungen_20241130.csv", "REMADV/RemADV_1.csv"}, {}},
    {"GeaenderterHostSchluesselAbgelehnt", {},
     [](Umgebung& u) {
       writeBytes(u.programm / "Belvanto.hostkeys",
                  "[127.0.0.1]:" + std::to_string(u.server->port()) + kFremderSchluessel);
       u.bediener.frageAntworten = {false};
     },
     {"SHA256:RXm/ruZ0eTzRXKwi1AQEDynB0VgHQ2ac9KPSFdf/YnA", "Verbindung zum Server gestört !", kSch},
     {"ZRABR/Abrechnung.pdf"}, {}},
    {"HostSchluesselUnlesbar", {},
     [](Umgebung& u) {
       writeBytes(u.programm / "Belvanto.hostkeys",
                  "[127.0.0.1]:" + std::to_string(u.server->port()) + kFremderSchluessel);
       fs::permissions(u.programm / "Belvanto.hostkeys", fs::perms::none);
       ohneRoot(u);
     },
     {"Fehler: Die Datei der bekannten Server-Schlüssel \""},
     {"ZRABR/Abrechnung.pdf"}, {}},
    {"HostSchluesselNichtZuVermerken", {},
     [](Umgebung& u) {
       fs::permissions(u.programm, fs::perms(0555));
       u.bediener.frageAntworten = {false};
       ohneRoot(u);
     },
     {"frage: Der Server 127.0.0.1 (Port ", "Verbindung zum Server gestört !", kSch},
     {"ZRABR/Abrechnung.pdf"}, {}},
    {"EineSitzungJeBenutzer", {"--one-session"}, [](Umgebung&) {},
     {}, {"-ZRBELEG/ABCD1001.pdf", "-ZRABR/Abrechnung.pdf", "-REMADV/RemADV_1.csv"}, {}, {}, true},
    {"OhneRechteBits", {"--no-permissions"},
     [](Umgebung& u) { writeBytes(u.root / "ZRBELEG/Unter/drin.pdf", "drin"); },
     {}, {"ZRBELEG/Unter/drin.pdf", "-ZRBELEG/ABCD1001.pdf"},
     {"Nicht geholt|Unter|../ZRBELEG|Art unbekannt"}, {}, true},
    {"EndloseListe", {"--endless-listing", "ZRBELEG"}, [](Umgebung&) {},
     {"Fehler: Der Ordner \"../ZRBELEG\" auf dem Server kann nicht gelesen werden (er hat mehr als 500.000 Einträge"},
     {"ZRBELEG/ABCD1001.pdf", "ZRABR/Abrechnung.pdf"}, {}},
    {"DateiLaengerAlsGelistet", {"--longer-than-listed", "Gross.pdf"},
     [](Umgebung& u) { writeBytes(u.root / "ZRBELEG/Gross.pdf", "%PDF-"); },
     {kGrossFehler + " geholt werden (der Server liefert mehr Daten, als er angibt)"},
     {"ZRBELEG/Gross.pdf", "ZRABR/Abrechnung.pdf"}, {}},
    {"TroepfelndeDatei", {"--trickle", "Gross.pdf"},
     [](Umgebung& u) { writeBytes(u.root / "ZRBELEG/Gross.pdf", std::string(100, 't')); },
     {kGrossFehler + " geholt werden (der Server hat 3 Sekunden lang weniger als 1.024 Bytes gesendet)"},
     {"ZRBELEG/Gross.pdf", "ZRABR/Abrechnung.pdf"}, {}, {}, false, "FtpZeitlimit=3\r\n"},
    {"LoeschenScheitertInDerMitte", {"--fail-remove", "ABCD0077.pdf"}, [](Umgebung&) {},
     {"Fehler: Die Datei \"../ZRBELEG/ABCD0077.pdf\" kann auf dem Server nicht gelöscht werden ("},
     {"ZRBELEG/ABCD0077.pdf", "-ZRABR/Abrechnung.pdf"}, {}},
};
// clang-format on

class DownloadStoerung : public ::testing::TestWithParam<Stoerung> {};

TEST_P(DownloadStoerung, LosesNothing) {
  const Stoerung& r = GetParam();
  Umgebung u;
  u.starten(r.serverArgs, "", r.firmaIni);
  r.vorher(u);
  if (u.platte && !u.platte->ok) GTEST_SKIP() << "no tmpfs here";
  if (u.ohne && !u.ohne->wirksam()) GTEST_SKIP() << "permissions do not bind here";
  const auto geliefert = inhalte(u.root);
  std::vector<fs::path> dateien;
  for (const char* ordner : {"ZRBELEG", "ZRABR", "REMADV"})
    for (const auto& e : fs::directory_iterator(u.root / ordner))
      if (e.is_regular_file() && !e.is_symlink()) dateien.push_back(fs::path(ordner) / e.path().filename());
  u.laufen(kMitDownload);

  ASSERT_EQ(u.gesagt.size(), r.gesagt.size()) << testing::PrintToString(u.gesagt);
  for (std::size_t i = 0; i < r.gesagt.size(); ++i)
    EXPECT_NE(u.gesagt[i].find(r.gesagt[i]), std::string::npos) << u.gesagt[i];
  EXPECT_EQ(u.fehler.find("Geheim-42"), std::string::npos);
  for (const auto& d : r.server)
    EXPECT_EQ(fs::exists(fs::symlink_status(u.root / d.substr(d[0] == '-'))), d[0] != '-') << d;
  for (const auto& teil : r.protokoll)
    EXPECT_TRUE(std::any_of(u.protokoll.begin(), u.protokoll.end(), [&](const std::string& z) {
      return z.starts_with(teil);
    })) << teil;
  const auto jetzt = u.ueberall();
  for (const auto& inhalt : geliefert)
    EXPECT_TRUE(jetzt.count(inhalt)) << "lost: " << inhalt.substr(0, 40);

  const std::string laufbuch = fs::exists(u.programm / "Belvanto.log")
                                   ? readBytes(u.programm / "Belvanto.log")
                                   : std::string();
  for (const auto& teil : r.laufbuch) EXPECT_NE(laufbuch.find(teil), std::string::npos) << teil;
  // Whatever left the server did so on the record.
  for (const auto& datei : dateien) {
    if (fs::exists(fs::symlink_status(u.root / datei))) continue;
    EXPECT_NE(laufbuch.find("Auf dem Server gelöscht: ../" + datei.string() + "\n"),
              std::string::npos)
        << datei;
  }
  // A file that keeps coming never fills the disk.
  for (const auto& inhalt : inhalte(u.tmp / "arbeit")) EXPECT_LE(inhalt.size(), kGross.size());

  if (r.ganz) {
    EXPECT_EQ(u.fehler, "");
    for (const char* ordner : {"ZRBELEG", "ZRABR", "REMADV"}) {
      for (const auto& e : fs::directory_iterator(u.root / ordner))
        EXPECT_TRUE(e.is_directory()) << e.path();
    }
    std::size_t pdfs = 0;
    for (const auto& [name, e] : test::mitLibzipLesen(
             u.tmp / "ausgabe" / ("Belege-4711-" + formatArchivDatum(heute()) + "-7.zip")))
      pdfs += name.ends_with(".pdf");
    EXPECT_EQ(pdfs, 5u);
    const std::string log = u.server->output();
    int anmeldungen = 0;
    for (auto at = log.find(" ok\n"); at != std::string::npos; at = log.find(" ok\n", at + 1))
      ++anmeldungen;
    // The data check, ZRABR and ZRBELEG, REMADV, the deletion after the backup.
    EXPECT_EQ(anmeldungen, 4);
  }
}

INSTANTIATE_TEST_SUITE_P(Zeilen, DownloadStoerung, ::testing::ValuesIn(kStoerungen),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace belvanto
