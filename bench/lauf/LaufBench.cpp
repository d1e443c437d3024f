// bench_lauf: the whole run on a synthetic settlement, stage by stage.
//
// Local mode (default): the run on local data ("mit Download" off), each stage
// called on its own in the run's order, against Info-ZIP's `zip -r -6` on the
// same working folder.
//
// Server mode (--server, see run-bench): the settlement lies on an OpenSSH
// server; the real Lauf downloads it, archives, converts, deletes it on the
// server and mails to the loopback SMTP test server. Its stages are told
// apart by the progress texts the run shows. In the same run the anchor:
// OpenSSH's `sftp` fetches the same folders and Info-ZIP zips the working
// folder and the PDFs.
//
// Before each measured part the disk is flushed and left alone for --ruhe
// seconds (default 301), as on a machine that runs this once a day: ext4
// without a journal, as on the benchmark machine, will not reuse an inode
// freed in the last five minutes while its inode table block is dirty, and
// scans past every such inode whenever it creates a file, so the deletions
// of the part before would slow the next one's file creation.
//
// Every measurement runs in a child process of its own; "peak RSS" is the
// high-water mark of that child (for a stage: reached by the end of it).
#include <pwd.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <sstream>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "Generator.h"
#include "app/Lauf.h"
#include "basis/Konfiguration.h"
#include "export/BuchungenUmsetzen.h"
#include "export/DatevExport.h"
#include "export/MaxBetrag.h"
#include "files/Arbeitsordner.h"
#include "input/UBuchungen.h"
#include "input/ULieferanten.h"
#include "input/URechnungsIndex.h"
#include "protocol/UProtokoll.h"
#include "support/MailTestHilfe.h"
#include "support/StillerBediener.h"
#include "util/Datum.h"

namespace fs = std::filesystem;
using namespace belvanto;

namespace {

using Uhr = std::chrono::steady_clock;

double sekunden(const timeval& t) {
  return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6;
}

double sekundenSeit(Uhr::time_point t) {
  return std::chrono::duration<double>(Uhr::now() - t).count();
}

// A point in time of this process: wall clock, CPU time of all its threads,
// and the peak memory so far.
struct Messpunkt {
  Uhr::time_point wand = Uhr::now();
  double cpu = 0;
  long peakKb = 0;

  static Messpunkt jetzt() {
    Messpunkt p;
    rusage r{};
    getrusage(RUSAGE_SELF, &r);
    p.cpu = sekunden(r.ru_utime) + sekunden(r.ru_stime);
    p.peakKb = r.ru_maxrss;
    return p;
  }
};

void kopfZeile(const char* erste) {
  std::printf("| %-40s | %9s | %9s | %10s |\n|---|---|---|---|\n", erste, "wall", "CPU",
              "peak RSS");
}

void zeile(const std::string& name, double wand, double cpu, long peakKb) {
  std::printf("| %-40s | %7.2f s | %7.2f s | %7.1f MB |\n", name.c_str(), wand, cpu,
              peakKb / 1024.0);
  std::fflush(stdout);
}

void zeile(const std::string& name, const Messpunkt& von, const Messpunkt& bis) {
  zeile(name, std::chrono::duration<double>(bis.wand - von.wand).count(), bis.cpu - von.cpu,
        bis.peakKb);
}

struct KindErgebnis {
  double wand = 0, cpu = 0;
  long peakKb = 0;
};

// Runs `arbeit` in a child. Its CPU time and peak memory come from wait4 and
// include the processes it started and waited for (sftp's ssh, zip).
KindErgebnis imKind(const std::function<void()>& arbeit) {
  std::fflush(stdout);
  const auto start = Uhr::now();
  const pid_t pid = fork();
  if (pid == 0) {
    try {
      arbeit();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "error: %s\n", e.what());
      std::fflush(stdout);
      _exit(1);
    }
    std::fflush(stdout);
    _exit(0);
  }
  int status = 0;
  rusage r{};
  wait4(pid, &status, 0, &r);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "measurement failed\n");
    std::exit(1);
  }
  return {sekundenSeit(start), sekunden(r.ru_utime) + sekunden(r.ru_stime), r.ru_maxrss};
}

void befehl(const std::string& b) {
  if (std::system(b.c_str()) != 0) throw std::runtime_error("failed: " + b);
}

std::string inIniZeilen(const std::vector<std::string>& zeilen) {
  std::string s;
  for (const auto& z : zeilen) s += z + "\r\n";
  return s;
}

Konfiguration konfigurationAnlegen(const fs::path& basis, const std::string& weitereIni = "") {
  const fs::path programm = basis / "programm";
  const std::string ini =
      inIniZeilen({"[Verzeichnisse]", "ArbeitsVerzeichnis=" + (basis / "arbeit").string(),
                   "BackupVerzeichnis=" + (basis / "backup").string(),
                   "AusgabeVerzeichnis=" + (basis / "ausgabe").string(), "[MwStSatz]",
                   "FirmaVolleMwSt=19,00", "FirmaHalbeMwSt=7,00", "FirmaNullMwSt=0,00"}) +
      weitereIni +
      inIniZeilen(
          {"[Konten]", "Kostenstelle=100", "[Diverses]", "NummernUmsetzung=1", "LfdNummer=1"});
  fs::create_directories(programm);
  fs::create_directories(basis / "arbeit");
  fs::create_directories(basis / "backup");
  std::FILE* f = std::fopen((programm / kIniName).c_str(), "wb");
  std::fwrite(ini.data(), 1, ini.size(), f);
  std::fclose(f);
  return konfigurationLesen(programm);
}

bench::GeneratorOptionen generatorOptionen(int zeilen, std::size_t pdfKb,
                                           const fs::path& lieferantenOrdner) {
  bench::GeneratorOptionen o;
  o.buchungen = zeilen;
  o.pdfGroesse = pdfKb * 1024;
  o.realistischePdfs = true;
  o.remadvZeilen = 200;
  o.lieferantenOrdner = lieferantenOrdner;
  return o;
}

std::size_t pdfsIn(const fs::path& ordner) {
  std::size_t n = 0;
  for (const auto& e : fs::directory_iterator(ordner)) n += e.path().extension() == ".pdf";
  return n;
}

// ---------------------------------------------------------------------------
// Local mode: the stages called one by one.

void stufe(const char* name, const std::function<void()>& arbeit) {
  const Messpunkt vorher = Messpunkt::jetzt();
  arbeit();
  zeile(name, vorher, Messpunkt::jetzt());
}

void stufenweise(const fs::path& basis) {
  Konfiguration k = konfigurationAnlegen(basis, "[Firma]\r\nMitgliedsnummer=4711\r\n");
  const fs::path arbeit = k.ArbeitsVerzeichnis;
  test::StillerBediener bediener(&std::cerr);
  Buchungen buchungen;
  RechnungsIndex index;
  Lieferanten lieferanten(bediener, k.programmOrdner);
  Protokoll protokoll;
  TextGrid ausgabe(31, 1);
  int verschoben = 0;

  kopfZeile("Stage");
  stufe("clearing old folders", [&] { AlteVerzeichnisseLoeschen(k, false, bediener); });
  Backup backup;
  stufe("backup", [&] { backup = BackupErstellen(k, bediener, heute()); });
  stufe("reading mapping, bookings, index", [&] {
    lieferanten.DateiEinlesen();
    fs::create_directories(arbeit / "Belege");
    fs::create_directories(k.AusgabeVerzeichnis);
    buchungen.DateiEinlesen(arbeit);
    index.DateiEinlesen(arbeit);
  });
  stufe("conversion", [&] {
    BuchungenUmsetzen(buchungen.BuchungsGrid, index, lieferanten, k, bediener, ausgabe);
  });
  stufe("DATEV files", [&] { DatevExportSchreiben(ausgabe, k, protokoll, bediener); });
  stufe("maximum check",
        [&] { MaxBetragPruefen(buchungen.BuchungsGrid, lieferanten, k, protokoll, bediener); });
  stufe("moving the PDFs", [&] { verschoben = BelegeKopieren(k, bediener); });
  stufe("document archive", [&] { BelegarchivErstellen(k, bediener, heute(), backup); });
  stufe("emptying Belege, write-back", [&] {
    VerzeichnisLoeschen(arbeit / "Belege");
    lieferanten.DateiSchreiben();
    konfigurationZurueckschreiben(k);
  });
  std::printf("\n%d PDFs moved, %d protocol entries\n", verschoben, protokoll.anzahlEintraege());
}

void ganzerLokalerLauf(const fs::path& basis) {
  Konfiguration k = konfigurationAnlegen(basis, "[Firma]\r\nMitgliedsnummer=4711\r\n");
  test::StillerBediener bediener(&std::cerr);
  Lauf lauf(k, bediener, [](Haken) { return false; });
  stufe("whole run (Lauf)", [&] { lauf.ausfuehren(); });
}

void lokal(const fs::path& basis, int zeilen, std::size_t pdfKb) {
  auto erzeugen = [&] {
    fs::remove_all(basis);
    bench::abrechnungErzeugen(basis / "arbeit",
                              generatorOptionen(zeilen, pdfKb, basis / "programm"));
  };
  erzeugen();
  std::printf("Settlement: %d booking lines, %zu invoice PDFs of %zu KB\n\n", zeilen,
              pdfsIn(basis / "arbeit" / "ZRBELEG"), pdfKb);
  kopfZeile("Info-ZIP");
  const auto zip = imKind([&] {
    befehl("cd '" + (basis / "arbeit").string() + "' && zip -r -6 -q '" +
           (basis / "infozip.zip").string() + "' . -x '*.zip'");
  });
  zeile("zip -r -6, working folder", zip.wand, zip.cpu, zip.peakKb);
  fs::remove(basis / "infozip.zip");
  std::printf("\n");
  imKind([&] { stufenweise(basis); });
  std::printf("\n");
  erzeugen();
  imKind([&] { ganzerLokalerLauf(basis); });
  fs::remove_all(basis);
}

// ---------------------------------------------------------------------------
// Server mode.

struct Server {
  std::string host;  // "127.0.0.1:port"
  std::string user, passwort;
  fs::path wurzel;  // holds the login folder and ZRBELEG, ZRABR, REMADV beside it
  fs::path key, knownHosts;
};

// The run's stages in order, each entered by the first progress text of its
// kind. A text of the current stage's kind, or of no later stage's, belongs to
// the current one (conversion and maximum check both show bare numbers); the
// test window opening is the data check's signal.
struct Stufe {
  const char* name;
  bool (*beginnt)(std::string_view text);
};

bool nurZiffern(std::string_view t) {
  return !t.empty() && t.find_first_not_of("0123456789") == std::string_view::npos;
}

constexpr std::string_view kTestfenster = "(test window)";

const Stufe kStufen[] = {
    {"clearing old folders, SMTP login",
     [](std::string_view t) { return t.starts_with("Lösche"); }},
    {"data check (SFTP)", [](std::string_view t) { return t == kTestfenster; }},
    {"download (SFTP)", [](std::string_view t) { return t.starts_with("Kopieren (FTP): "); }},
    {"backup", [](std::string_view t) { return t == "Backup erstellen"; }},
    {"deletion on the server (SFTP)",
     [](std::string_view t) { return t.starts_with("Löschen (SFTP): "); }},
    {"conversion",
     [](std::string_view t) { return nurZiffern(t) || t.starts_with("Verarbeiten: "); }},
    {"DATEV files", [](std::string_view t) { return t.starts_with("Schreiben: "); }},
    {"maximum check", nurZiffern},
    {"moving the PDFs into Belege", [](std::string_view t) { return t.starts_with("Kopieren: "); }},
    {"document archive", [](std::string_view t) { return t == "Belegarchiv erstellen"; }},
    {"remittance advice and its mail", [](std::string_view t) { return t.starts_with("RemADV"); }},
    {"settlement mail", [](std::string_view t) { return t == "Ausdrucken"; }},
    {"write-back", [](std::string_view t) { return t.starts_with("Es wurden "); }},
};
constexpr int kLoeschen = 4;  // its tail until the conversion is the reading of the files
constexpr int kStufenZahl = static_cast<int>(std::size(kStufen));

class StufenBediener : public test::StillerBediener {
 public:
  StufenBediener() : StillerBediener(&std::cerr) {}

  using Bediener::fortschritt;
  void fortschritt(const std::string& text, Fortschritt) override { signal(text); }
  void testFensterZeigen() override { signal(kTestfenster); }

  // Prints one row per stage reached, then the whole run.
  void bericht(const Messpunkt& start, const Messpunkt& ende) const {
    for (int i = 0; i < kStufenZahl; ++i) {
      if (!erreicht_[i]) continue;
      int n = i + 1;
      while (n < kStufenZahl && !erreicht_[n]) ++n;
      const Messpunkt& von = i == 0 ? start : beginn_[i];
      const Messpunkt& bis = n < kStufenZahl ? beginn_[n] : ende;
      if (i == kLoeschen && n < kStufenZahl) {
        zeile(kStufen[i].name, von, letzter_);
        zeile("reading mapping, bookings, index", letzter_, bis);
      } else {
        zeile(kStufen[i].name, von, bis);
      }
    }
    zeile("whole run (Lauf)", start, ende);
  }

 private:
  void signal(std::string_view text) {
    const bool bleibt = aktuell_ >= 0 && kStufen[aktuell_].beginnt(text);
    for (int i = aktuell_ + 1; !bleibt && i < kStufenZahl; ++i) {
      if (kStufen[i].beginnt(text)) {
        aktuell_ = i;
        erreicht_[i] = true;
        beginn_[i] = Messpunkt::jetzt();
        break;
      }
    }
    if (aktuell_ == kLoeschen) letzter_ = Messpunkt::jetzt();
  }

  int aktuell_ = -1;
  bool erreicht_[kStufenZahl] = {};
  Messpunkt beginn_[kStufenZahl];
  Messpunkt letzter_;
};

void besitzerSetzen(const fs::path& ordner, const std::string& user) {
  const passwd* pw = getpwnam(user.c_str());
  if (!pw) throw std::runtime_error("no such user: " + user);
  auto setzen = [&](const fs::path& p) {
    if (lchown(p.c_str(), pw->pw_uid, pw->pw_gid) != 0)
      throw std::runtime_error("chown failed: " + p.string());
  };
  setzen(ordner);
  for (const auto& e : fs::recursive_directory_iterator(ordner)) setzen(e.path());
}

std::uintmax_t groesse(const fs::path& ordner) {
  std::uintmax_t summe = 0;
  for (const auto& e : fs::recursive_directory_iterator(ordner))
    if (e.is_regular_file()) summe += e.file_size();
  return summe;
}

int ruheSekunden = 301;

void ruhe() {
  ::sync();
  std::this_thread::sleep_for(std::chrono::seconds(ruheSekunden));
}

// The anchor: what OpenSSH's sftp and Info-ZIP take for the same work.
KindErgebnis anker(const Server& s, const fs::path& ordner) {
  fs::remove_all(ordner);
  const fs::path arbeit = ordner / "arbeit";
  fs::create_directories(arbeit);
  {
    std::ofstream batch(ordner / "batch");
    batch << "lcd " << arbeit.string() << "\n";
    for (const char* o : {"ZRABR", "ZRBELEG", "REMADV"}) batch << "get -r ../" << o << "\n";
  }
  const std::string port = s.host.substr(s.host.rfind(':') + 1);
  KindErgebnis summe;
  auto messen = [&](const std::string& name, const std::string& b) {
    const KindErgebnis e = imKind([&] { befehl(b); });
    zeile(name, e.wand, e.cpu, e.peakKb);
    summe.wand += e.wand;
    summe.cpu += e.cpu;
    summe.peakKb = std::max(summe.peakKb, e.peakKb);
  };
  messen("sftp get -r ZRABR, ZRBELEG, REMADV",
         "sftp -q -b '" + (ordner / "batch").string() + "' -i '" + s.key.string() +
             "' -o UserKnownHostsFile='" + s.knownHosts.string() + "' -o BatchMode=yes -P " + port +
             " " + s.user + "@127.0.0.1 >/dev/null");
  messen("zip -r -6, working folder", "cd '" + arbeit.string() + "' && zip -r -6 -q '" +
                                          (ordner / "backup.zip").string() + "' .");
  // The document archive holds the invoice PDFs; the names do not change the work.
  fs::create_directories(arbeit / "Belege");
  for (const auto& e : fs::directory_iterator(arbeit / "ZRBELEG"))
    if (e.path().extension() == ".pdf")
      fs::rename(e.path(), arbeit / "Belege" / e.path().filename());
  messen("zip -r -6, Belege", "cd '" + (arbeit / "Belege").string() + "' && zip -r -6 -q '" +
                                  (ordner / "belege.zip").string() + "' .");
  zeile("anchor in all", summe.wand, summe.cpu, summe.peakKb);
  fs::remove_all(ordner);
  return summe;
}

void laufMitServer(const Server& s, const fs::path& basis, int smtpPort) {
  Konfiguration k = konfigurationAnlegen(
      basis,
      inIniZeilen({"[Firma]", "Mitgliedsnummer=4711", "FtpZugang=" + s.host, "FtpUser=" + s.user,
                   "FtpPasswort=" + s.passwort, "[EMail-Versand]",
                   "MailAbsender=" + std::string(test::kBenutzer),
                   "MailPasswort=" + std::string(test::kPasswort), "MailServer=127.0.0.1",
                   "MailPort=" + std::to_string(smtpPort), "EmpfaengerAbrechnung=buero@firma.de",
                   "EmpfaengerRNKopie=laden@firma.de", "EmpfaengerRemADV=fibu@firma.de"}));
  StufenBediener bediener;
  Lauf lauf(k, bediener, [](Haken h) { return h != Haken::belegeMailen; });
  const Messpunkt start = Messpunkt::jetzt();
  lauf.ausfuehren();
  const Messpunkt ende = Messpunkt::jetzt();
  kopfZeile("Stage (Lauf)");
  bediener.bericht(start, ende);
  if (!lauf.erfolgreich()) throw std::runtime_error("the run did not succeed");
  std::printf("\n%d PDFs moved, %d settlement documents mailed, %d protocol entries\n",
              lauf.verschobeneBelege(), lauf.abrechnungsBelege(),
              lauf.protokoll().anzahlEintraege());
}

void mitServer(const Server& s, const fs::path& basis, const std::vector<int>& groessen,
               std::size_t pdfKb) {
  const test::SmtpServer smtp;
  for (const int zeilen : groessen) {
    for (const char* o : {"ZRABR", "ZRBELEG", "REMADV"}) fs::remove_all(s.wurzel / o);
    fs::remove_all(basis);
    bench::abrechnungErzeugen(s.wurzel, generatorOptionen(zeilen, pdfKb, basis / "programm"));
    // The data check wants the statement's index beside it, as the cooperative sends it.
    std::ofstream(s.wurzel / "ZRABR" / "Index_Abrechnung.csv", std::ios::binary)
        << "Abrechnung;4711\r\n";
    for (const char* o : {"ZRABR", "ZRBELEG", "REMADV"}) besitzerSetzen(s.wurzel / o, s.user);
    std::uintmax_t bytes = 0;
    for (const char* o : {"ZRABR", "ZRBELEG", "REMADV"}) bytes += groesse(s.wurzel / o);
    std::printf("## %d booking lines, %zu invoice PDFs of %zu KB, %.0f MB on the server\n\n",
                zeilen, pdfsIn(s.wurzel / "ZRBELEG"), pdfKb, bytes / 1e6);

    ruhe();
    kopfZeile("Anchor (OpenSSH sftp, Info-ZIP)");
    const KindErgebnis a = anker(s, basis.parent_path() / (basis.filename().string() + "-anker"));
    std::printf("\n");

    ruhe();
    const std::size_t mailsVorher = smtp.ereignisse("message").size();
    const KindErgebnis l = imKind([&] { laufMitServer(s, basis, smtp.port()); });
    std::size_t uebrig = 0;
    for (const char* o : {"ZRABR", "ZRBELEG", "REMADV"})
      for ([[maybe_unused]] const auto& e : fs::directory_iterator(s.wurzel / o)) ++uebrig;
    std::printf("%zu mails received, %zu files left on the server\n",
                smtp.ereignisse("message").size() - mailsVorher, uebrig);
    std::printf(
        "Whole run: %.2f s wall, %.2f s CPU, %.1f MB peak RSS (wait4); "
        "%.2f x the anchor's wall time\n\n",
        l.wand, l.cpu, l.peakKb / 1024.0, l.wand / a.wand);
    fs::remove_all(basis);
  }
}

std::vector<int> zahlen(const std::string& liste) {
  std::vector<int> v;
  std::istringstream in(liste);
  for (std::string t; std::getline(in, t, ',');) v.push_back(std::atoi(t.c_str()));
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> groessen = {25000};
  std::size_t pdfKb = 50;
  fs::path basis = fs::temp_directory_path() / "belvanto-bench-lauf";
  Server server;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i], w = argv[i + 1];
    if (a == "--buchungen")
      groessen = zahlen(w);
    else if (a == "--pdf-kb")
      pdfKb = static_cast<std::size_t>(std::atoi(w.c_str()));
    else if (a == "--ordner")
      basis = w;
    else if (a == "--server")
      server.host = w;
    else if (a == "--user")
      server.user = w;
    else if (a == "--remote-root")
      server.wurzel = w;
    else if (a == "--key")
      server.key = w;
    else if (a == "--known-hosts")
      server.knownHosts = w;
    else if (a == "--ruhe")
      ruheSekunden = std::atoi(w.c_str());
  }
  if (server.host.empty()) {
    for (const int zeilen : groessen) lokal(basis, zeilen, pdfKb);
    return 0;
  }
  // Not on the command line, where every process could read it.
  if (const char* p = std::getenv("BELVANTO_BENCH_PASSWORT")) server.passwort = p;
  mitServer(server, basis, groessen, pdfKb);
  return 0;
}
