// bench_lauf: the whole run on local data ("mit Download" off) on a synthetic
// settlement, stage by stage in the run's own order: clearing, backup, reading,
// conversion, DATEV files, maximum check, moving the PDFs, document archive,
// write-back. Reports wall time, CPU time and the peak memory reached by the
// end of each stage, and Info-ZIP's `zip -r -6` on the same working folder.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <iostream>
#include <string>
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
#include "support/StillerBediener.h"
#include "util/Datum.h"

namespace fs = std::filesystem;
using namespace belvanto;

namespace {

// CPU time of this process, or of its finished children (for Info-ZIP).
bool kinderMessen = false;

struct Zeit {
  std::chrono::steady_clock::time_point wand = std::chrono::steady_clock::now();
  double cpu = cpuJetzt();
  static double cpuJetzt() {
    rusage r{};
    getrusage(kinderMessen ? RUSAGE_CHILDREN : RUSAGE_SELF, &r);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return s(r.ru_utime) + s(r.ru_stime);
  }
};

long peakKb() {
  rusage r{};
  getrusage(kinderMessen ? RUSAGE_CHILDREN : RUSAGE_SELF, &r);
  return r.ru_maxrss;
}

void stufe(const char* name, const std::function<void()>& arbeit) {
  const Zeit vorher;
  arbeit();
  const double wand =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - vorher.wand).count();
  std::printf("| %-34s | %8.2f s | %8.2f s | %8.1f MB |\n", name, wand,
              Zeit::cpuJetzt() - vorher.cpu, peakKb() / 1024.0);
  std::fflush(stdout);
}

Konfiguration konfigurationAnlegen(const fs::path& basis) {
  const fs::path programm = basis / "programm";
  std::string ini = "[Verzeichnisse]\nArbeitsVerzeichnis=" + (basis / "arbeit").string() +
                    "\nBackupVerzeichnis=" + (basis / "backup").string() +
                    "\nAusgabeVerzeichnis=" + (basis / "ausgabe").string() +
                    "\n[MwStSatz]\nFirmaVolleMwSt=19,00\nFirmaHalbeMwSt=7,00\n"
                    "FirmaNullMwSt=0,00\n[Firma]\nMitgliedsnummer=4711\n[Konten]\n"
                    "Kostenstelle=100\n[Diverses]\nNummernUmsetzung=1\nLfdNummer=1\n";
  fs::create_directories(programm);
  fs::create_directories(basis / "backup");
  std::FILE* f = std::fopen((programm / kIniName).c_str(), "wb");
  std::fwrite(ini.data(), 1, ini.size(), f);
  std::fclose(f);
  return konfigurationLesen(programm);
}

// The run's stages in its own order, each timed on its own.
void stufenweise(const fs::path& basis) {
  Konfiguration k = konfigurationAnlegen(basis);
  const fs::path arbeit = k.ArbeitsVerzeichnis;
  test::StillerBediener bediener(&std::cerr);
  Buchungen buchungen;
  RechnungsIndex index;
  Lieferanten lieferanten(bediener, k.programmOrdner);
  Protokoll protokoll;
  TextGrid ausgabe(31, 1);
  int verschoben = 0;

  std::printf("| %-34s | %10s | %10s | %11s |\n|---|---|---|---|\n", "Stage", "wall", "CPU",
              "peak RSS");
  stufe("clearing old folders", [&] { AlteVerzeichnisseLoeschen(k, false, bediener); });
  stufe("backup", [&] { BackupErstellen(k, bediener, heute()); });
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
  stufe("document archive", [&] { BelegarchivErstellen(k, bediener, heute()); });
  stufe("emptying Belege, write-back", [&] {
    VerzeichnisLoeschen(arbeit / "Belege");
    lieferanten.DateiSchreiben();
    konfigurationZurueckschreiben(k);
  });
  std::printf("\n%d PDFs moved, %d protocol entries\n", verschoben, protokoll.anzahlEintraege());
}

// The same run through Lauf in one piece.
void ganzerLauf(const fs::path& basis) {
  Konfiguration k = konfigurationAnlegen(basis);
  test::StillerBediener bediener(&std::cerr);
  Lauf lauf(k, bediener, [](Haken) { return false; });
  stufe("whole run (Lauf)", [&] { lauf.ausfuehren(); });
}

// Runs `arbeit` in a child so every measurement has its own peak memory.
void imKind(const std::function<void()>& arbeit) {
  std::fflush(stdout);
  const pid_t pid = fork();
  if (pid == 0) {
    try {
      arbeit();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "error: %s\n", e.what());
      _exit(1);
    }
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "measurement failed\n");
    std::exit(1);
  }
}

void erzeugen(const fs::path& basis, int zeilen, std::size_t pdfKb) {
  fs::remove_all(basis);
  bench::GeneratorOptionen o;
  o.buchungen = zeilen;
  o.pdfGroesse = pdfKb * 1024;
  o.realistischePdfs = true;
  o.lieferantenOrdner = basis / "programm";
  bench::abrechnungErzeugen(basis / "arbeit", o);
}

}  // namespace

int main(int argc, char** argv) {
  int zeilen = 25000;
  std::size_t pdfKb = 50;
  fs::path basis = fs::temp_directory_path() / "belvanto-bench-lauf";
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string a = argv[i];
    if (a == "--buchungen")
      zeilen = std::atoi(argv[i + 1]);
    else if (a == "--pdf-kb")
      pdfKb = static_cast<std::size_t>(std::atoi(argv[i + 1]));
    else if (a == "--ordner")
      basis = argv[i + 1];
  }

  erzeugen(basis, zeilen, pdfKb);
  std::size_t pdfs = 0;
  for (const auto& e : fs::directory_iterator(basis / "arbeit" / "ZRBELEG"))
    pdfs += e.path().extension() == ".pdf";
  std::printf("Settlement: %d booking lines, %zu invoice PDFs of %zu KB\n\n", zeilen, pdfs, pdfKb);

  std::printf("| %-34s | %10s | %10s | %11s |\n|---|---|---|---|\n", "Info-ZIP", "wall", "CPU",
              "peak RSS");
  imKind([&] {
    kinderMessen = true;
    const std::string befehl = "cd '" + (basis / "arbeit").string() + "' && zip -r -6 -q '" +
                               (basis / "infozip.zip").string() + "' . -x '*.zip'";
    stufe("zip -r -6, working folder", [&] {
      if (std::system(befehl.c_str()) != 0) throw std::runtime_error("zip failed");
    });
  });
  fs::remove(basis / "infozip.zip");
  std::printf("\n");

  imKind([&] { stufenweise(basis); });
  std::printf("\n");
  erzeugen(basis, zeilen, pdfKb);
  imKind([&] { ganzerLauf(basis); });
  fs::remove_all(basis);
  return 0;
}
