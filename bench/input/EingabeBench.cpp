// Benchmark of the input files on a synthetic settlement: n bookings, n
// invoices in the index (with their PDFs), n/10 suppliers in the mapping.
// Reports the time of each stage and the peak memory of the process.
// With --speicher: the memory a booking file costs per MB of file, for
// realistic lines and for files a stranger could send (blank lines, lines of
// nothing but separators), each read in a child process of its own.
//
//   bench_input [n]   (default 100000)
//   bench_input --speicher [MB]   (default 32)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <algorithm>

#include "basis/Bediener.h"
#include "input/UBuchungen.h"
#include "input/ULieferanten.h"
#include "input/URechnungsIndex.h"
#include "support/StillerBediener.h"

namespace {

using namespace belvanto;
namespace fs = std::filesystem;
using Uhr = std::chrono::steady_clock;

double sekundenSeit(Uhr::time_point start) {
  return std::chrono::duration<double>(Uhr::now() - start).count();
}

void erzeugen(const fs::path& w, const fs::path& programm, int n) {
  fs::create_directories(w / "ZRBELEG");
  fs::create_directories(programm);
  std::ofstream b(w / "ZRBELEG" / "Buchungen_20250131.csv", std::ios::binary);
  std::ofstream i(w / "ZRBELEG" / "Index_20250131.csv", std::ios::binary);
  std::ofstream l(programm / kLieferantenDatei, std::ios::binary);
  b << "\"LiefNr\";\"RN\";\"Datum\";\"A\";\"MwSt\";\"B\";\"N\";\"S\";\"T\";\"Sk\"\r\n";
  i << "Datei;1;2;3;4;Mitglied;RN;7;Abr;9;Abruf;11;12;Valuta;14;15;16;17;18\r\n";
  for (int k = 0; k < n; ++k) {
    const auto rn = "RE" + std::to_string(k);
    const auto lief = std::to_string(10000 + k % (n / 10 + 1));
    b << "\"" << lief << "\";\"" << rn
      << "\";\"03.01.25\";\"R\";\"19\";\"119,00\";\"100,00\";\"19,00\";\"M\xfcller\";\"3,57\"\r\n";
    i << "ABCD" << k << ".pdf;1;2;3;4;12345;" << rn
      << ";7;815;9;A-1;11;12;15.03.2025;14;15;16;17;18\r\n";
    std::ofstream(w / "ZRBELEG" / ("ABCD" + std::to_string(k) + ".pdf")) << "%PDF";
  }
  for (int k = 0; k <= n / 10; ++k) {
    l << 10000 + k << ";7" << k << ";Lieferant " << k << ";1000,00\r\n";
  }
}

long spitzeKb() {
  rusage nutzung{};
  ::getrusage(RUSAGE_SELF, &nutzung);
  return nutzung.ru_maxrss;
}

// Peak memory the reading of a booking file of `mb` MB of `zeile` adds, per MB
// of file, in a child of its own.
double speicherJeMb(const fs::path& w, const std::string& zeile, int mb) {
  fs::create_directories(w / "ZRBELEG");
  {
    std::ofstream b(w / "ZRBELEG" / "Buchungen_20250131.csv", std::ios::binary);
    b << "\"LiefNr\";\"RN\";\"Datum\"\r\n";
    const std::size_t bytes = static_cast<std::size_t>(mb) << 20;
    for (std::size_t n = 0; n < bytes; n += zeile.size()) b << zeile;
  }
  int rohr[2];
  if (::pipe(rohr) != 0) return -1;
  const pid_t kind = ::fork();
  if (kind == 0) {
    const long vorher = spitzeKb();
    Buchungen buchungen;
    buchungen.DateiEinlesen(w);
    const double jeMb = double(spitzeKb() - vorher) / 1024.0 / mb;
    (void)!::write(rohr[1], &jeMb, sizeof jeMb);
    _exit(0);
  }
  double jeMb = -1;
  (void)!::read(rohr[0], &jeMb, sizeof jeMb);
  ::waitpid(kind, nullptr, 0);
  ::close(rohr[0]);
  ::close(rohr[1]);
  return jeMb;
}

int speicher(int mb) {
  const auto w = fs::temp_directory_path() / ("belvanto-bench-input-" + std::to_string(::getpid()));
  const struct {
    const char* was;
    std::string zeile;
  } faelle[] = {
      {"realistic lines", "\"10001\";\"RE4711\";\"03.01.25\";\"R\";\"19\";\"119,00\";\"100,00\";"
                          "\"19,00\";\"M\xfcller\";\"3,57\"\r\n"},
      {"blank lines", "\r\n"},
      {"separators only", ";;;;;;;;;;;;;\r\n"},
  };
  std::printf("| booking file of %d MB | peak memory per MB of file |\n|---|---|\n", mb);
  for (const auto& f : faelle)
    std::printf("| %s | %.1f MB |\n", f.was, speicherJeMb(w, f.zeile, mb));
  fs::remove_all(w);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1 && std::string(argv[1]) == "--speicher")
    return speicher(argc > 2 ? std::max(1, std::atoi(argv[2])) : 32);
  const int n = argc > 1 ? std::atoi(argv[1]) : 100000;
  const auto ordner =
      fs::temp_directory_path() / ("belvanto-bench-input-" + std::to_string(::getpid()));
  const auto w = ordner / "w";
  const auto programm = ordner / "programm";
  erzeugen(w, programm, n);

  test::StillerBediener bediener(&std::cerr);
  Buchungen buchungen;
  RechnungsIndex index;
  Lieferanten lieferanten(bediener, programm);

  auto start = Uhr::now();
  buchungen.DateiEinlesen(w);
  std::printf("Buchungsdatei lesen (%d Zeilen):   %8.3f s\n", n + 1, sekundenSeit(start));
  start = Uhr::now();
  index.DateiEinlesen(w);
  std::printf("Rechnungs-Index lesen:              %8.3f s\n", sekundenSeit(start));
  start = Uhr::now();
  lieferanten.DateiEinlesen();
  std::printf("Lieferantenzuordnung lesen:         %8.3f s\n", sekundenSeit(start));

  // One round of the lookups the conversion makes per booking; the image name
  // renames every PDF once.
  start = Uhr::now();
  std::size_t summe = 0;
  const auto& g = buchungen.BuchungsGrid;
  for (int r = 1; r < g.rowCount(); ++r) {
    summe += lieferanten.LieferantSuchen(g.cell(0, r), true).name.size();
    summe += index.HoleAbrufNummer().size();
    summe += index.HoleValutaDatum(g.cell(1, r)).size();
    summe += index.HoleBildname(g.cell(1, r), w).size();
  }
  std::printf("Suchen je Buchung (mit Umbenennen): %8.3f s (%zu)\n", sekundenSeit(start), summe);
  start = Uhr::now();
  lieferanten.DateiSchreiben();
  std::printf("Lieferantenzuordnung schreiben:     %8.3f s\n", sekundenSeit(start));

  rusage nutzung{};
  ::getrusage(RUSAGE_SELF, &nutzung);
  std::printf("Spitze Speicher:                    %8.1f MB\n", nutzung.ru_maxrss / 1024.0);
  fs::remove_all(ordner);
  return 0;
}
