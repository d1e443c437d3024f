// bench_export: times the DATEV export of synthetic settlements of 1,000,
// 10,000 and 100,000 booking lines (reading, conversion, writing the DATEV
// files, maximum check) and reports each run's peak memory. Every size runs
// in a child process of its own, so the peak is that size's alone.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <string>
#include <vector>

#include "Generator.h"
#include "export/BuchungenUmsetzen.h"
#include "export/DatevExport.h"
#include "export/MaxBetrag.h"
#include "input/UBuchungen.h"
#include "input/ULieferanten.h"
#include "input/URechnungsIndex.h"
#include "protocol/UProtokoll.h"
#include "support/StillerBediener.h"

namespace fs = std::filesystem;
using namespace belvanto;

namespace {

struct Messung {
  double lesen = 0, umsetzen = 0, schreiben = 0, pruefen = 0;
  long peakKb = 0;
  int dateien = 0;
  int protokoll = 0;
  int fehler = 0;
};

double sekunden(std::chrono::steady_clock::time_point von) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - von).count();
}

Messung messen(const fs::path& ordner) {
  test::StillerBediener bediener(&std::cerr);
  Konfiguration k;
  k.programmOrdner = ordner;
  k.ArbeitsVerzeichnis = ordner.string();
  k.FirmaVolleMwSt = "19,00";
  k.FirmaHalbeMwSt = "7,00";
  k.FirmaNullMwSt = "0,00";
  k.Kostenstelle = "100";
  k.NummernUmsetzung = true;
  fs::create_directories(ordner / "Belege");

  Messung m;
  auto t = std::chrono::steady_clock::now();
  Buchungen buchungen;
  buchungen.DateiEinlesen(ordner);
  RechnungsIndex index;
  index.DateiEinlesen(ordner);
  Lieferanten lieferanten(bediener, ordner);
  lieferanten.DateiEinlesen();
  m.lesen = sekunden(t);

  t = std::chrono::steady_clock::now();
  TextGrid ausgabe(kAusgabeSpalten, 1);
  BuchungenUmsetzen(buchungen.BuchungsGrid, index, lieferanten, k, bediener, ausgabe);
  m.umsetzen = sekunden(t);

  t = std::chrono::steady_clock::now();
  Protokoll protokoll;
  DatevExportSchreiben(ausgabe, k, protokoll, bediener);
  m.schreiben = sekunden(t);

  t = std::chrono::steady_clock::now();
  MaxBetragPruefen(buchungen.BuchungsGrid, lieferanten, k, protokoll, bediener);
  m.pruefen = sekunden(t);

  rusage nutzung{};
  getrusage(RUSAGE_SELF, &nutzung);
  m.peakKb = nutzung.ru_maxrss;
  for (const auto& e : fs::directory_iterator(ordner / "Belege")) m.dateien += e.is_regular_file();
  m.protokoll = protokoll.anzahlEintraege();
  return m;
}

// Runs `arbeit` in a child process; returns what it wrote into the pipe.
template <typename F>
Messung imKind(F arbeit) {
  int rohr[2];
  if (pipe(rohr) != 0) std::exit(1);
  const pid_t kind = fork();
  if (kind == 0) {
    close(rohr[0]);
    Messung m;
    try {
      m = arbeit();
    } catch (const std::exception& f) {
      std::cerr << "bench_export: " << f.what() << "\n";
      m.fehler = 1;
    }
    if (write(rohr[1], &m, sizeof m) != static_cast<ssize_t>(sizeof m)) _exit(1);
    _exit(0);
  }
  close(rohr[1]);
  Messung m;
  if (read(rohr[0], &m, sizeof m) != static_cast<ssize_t>(sizeof m)) m.fehler = 1;
  close(rohr[0]);
  int status = 0;
  waitpid(kind, &status, 0);
  return m;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<int> groessen;
  fs::path basis = fs::temp_directory_path();
  std::size_t pdfGroesse = 1024;
  bool pdfs = true;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--folder" && i + 1 < argc) {
      basis = argv[++i];
    } else if (a == "--pdf-size" && i + 1 < argc) {
      pdfGroesse = std::stoul(argv[++i]);
    } else if (a == "--no-pdfs") {
      pdfs = false;
    } else if (a == "--help" || a == "-h") {
      std::cout << "usage: bench_export [--folder DIR] [--pdf-size BYTES] [--no-pdfs] [N ...]\n"
                   "--no-pdfs: the index names PDFs that are not there, so no PDF is renamed\n";
      return 0;
    } else {
      groessen.push_back(std::stoi(a));
    }
  }
  if (groessen.empty()) groessen = {1000, 10000, 100000};

  std::printf("%9s %9s %9s %9s %9s %9s %9s %9s %8s\n", "lines", "read_s", "convert_s", "write_s",
              "check_s", "total_s", "us/line", "peak_MB", "files");
  int rc = 0;
  for (int n : groessen) {
    const fs::path ordner = basis / ("belvanto-bench-export-" + std::to_string(n));
    fs::remove_all(ordner);
    const Messung erzeugt = imKind([&] {
      bench::GeneratorOptionen o;
      o.buchungen = n;
      o.pdfGroesse = pdfGroesse;
      o.rechnungsPdfs = pdfs;
      o.seed = static_cast<std::uint32_t>(n);
      bench::abrechnungErzeugen(ordner, o);
      return Messung{};
    });
    const Messung m = erzeugt.fehler ? erzeugt : imKind([&] { return messen(ordner); });
    fs::remove_all(ordner);
    if (m.fehler) {
      std::printf("%9d failed\n", n);
      rc = 1;
      continue;
    }
    const double gesamt = m.lesen + m.umsetzen + m.schreiben + m.pruefen;
    std::printf("%9d %9.3f %9.3f %9.3f %9.3f %9.3f %9.2f %9.1f %8d\n", n, m.lesen, m.umsetzen,
                m.schreiben, m.pruefen, gesamt, gesamt * 1e6 / n, m.peakKb / 1024.0, m.dateien);
    std::fflush(stdout);
  }
  return rc;
}
