// Time and peak memory of the archive stages of a run on a synthetic
// settlement: the backup of the working folder, the move of the invoice PDFs
// into Belege, and the document archive of Belege, each next to Info-ZIP's
// `zip -r -6 -q` on the same files. The document archive takes the PDFs'
// Deflate data from the backup; it is also measured without. Every
// measurement runs in a child process of its own, so its peak resident size
// is its own.
//
//   bench_archive [--pdfs N] [--kb K] [--runden R] [--gross MB] [--ordner DIR] [--behalten]
//
// --gross adds one file of that size (half text, half random) in a folder of
// its own and archives it, to show that a big file is streamed, not loaded.
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "Generator.h"
#include "files/Arbeitsordner.h"
#include "files/ZipArchiv.h"
#include "support/StillerBediener.h"

namespace fs = std::filesystem;
using namespace belvanto;

namespace {

struct Messung {
  double sekunden = 0;
  double cpu = 0;  // user + system
  long maxRssKb = 0;
};

void schreiben(const fs::path& pfad, const std::string& inhalt) {
  fs::create_directories(pfad.parent_path());
  std::ofstream(pfad, std::ios::binary)
      .write(inhalt.data(), static_cast<std::streamsize>(inhalt.size()));
}

std::string csv(int zeilen, const char* kopf, std::uint64_t saat) {
  std::mt19937_64 gen(saat);
  std::string s = std::string(kopf) + "\r\n";
  for (int i = 0; i < zeilen; ++i)
    s += std::to_string(i) + ";RE" + std::to_string(100000 + i) + ";05.07.24;" +
         std::to_string(70000 + gen() % 900) + ";Lieferant " + std::to_string(gen() % 300) + ";" +
         std::to_string(gen() % 10000) + "," + std::to_string(gen() % 90 + 10) + ";19;EUR\r\n";
  return s;
}

void abrechnungErzeugen(const fs::path& w, int pdfs, std::size_t groesse) {
  for (int i = 0; i < pdfs; ++i)
    schreiben(w / "ZRBELEG" / (std::to_string(500000 + i) + "-RE" + std::to_string(i) + ".pdf"),
              bench::realistischesPdf(groesse, static_cast<std::uint64_t>(i) + 1));
  schreiben(w / "ZRBELEG" / "Buchungen_20240705.csv",
            csv(pdfs, "Nr;RechnungsNr;Datum;Lieferant;Name;Betrag;MwSt;Waehrung", 1));
  schreiben(w / "ZRBELEG" / "Index_20240705.csv",
            csv(pdfs, "Nr;RechnungsNr;Datum;Lieferant;Name;Betrag;MwSt;Waehrung", 2));
  schreiben(w / "ZRABR" / "Abrechnung_20240705.pdf", bench::realistischesPdf(400 * 1024, 99));
  schreiben(w / "ZRABR" / "Abrechnung_20240705.csv", csv(2000, "Abrechnung", 3));
  schreiben(w / "REMADV" / "RemADV_20240705.csv", csv(3000, "RemADV", 4));
}

// Runs `arbeit` in a child process; wall time and the child's peak memory.
Messung messen(const std::function<void()>& arbeit) {
  auto start = std::chrono::steady_clock::now();
  pid_t pid = ::fork();
  if (pid == 0) {
    try {
      arbeit();
    } catch (const std::exception& e) {
      std::fprintf(stderr, "Fehler: %s\n", e.what());
      ::_exit(1);
    }
    ::_exit(0);
  }
  int status = 0;
  struct rusage nutzung {};
  ::wait4(pid, &status, 0, &nutzung);
  auto ende = std::chrono::steady_clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "measurement failed\n");
    std::exit(1);
  }
  auto zeit = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  return {std::chrono::duration<double>(ende - start).count(),
          zeit(nutzung.ru_utime) + zeit(nutzung.ru_stime), nutzung.ru_maxrss};
}

void infoZip(const fs::path& ordner, const fs::path& archiv) {
  if (::chdir(ordner.c_str()) != 0) ::_exit(2);
  ::execlp("zip", "zip", "-r", "-6", "-q", archiv.c_str(), ".", static_cast<char*>(nullptr));
  ::_exit(3);
}

// Median by time over the rounds; `vorher` runs untimed before each round.
Messung median(int runden, const std::function<void()>& vorher,
               const std::function<void()>& arbeit) {
  std::vector<Messung> m;
  for (int i = 0; i < runden; ++i) {
    vorher();
    m.push_back(messen(arbeit));
  }
  std::sort(m.begin(), m.end(),
            [](const Messung& a, const Messung& b) { return a.sekunden < b.sekunden; });
  return m[m.size() / 2];
}

void zeile(const char* was, const Messung& m, const Messung* vergleich) {
  std::printf("%-44s %8.2f s %8.2f s %9.1f MB", was, m.sekunden, m.cpu,
              static_cast<double>(m.maxRssKb) / 1024);
  if (vergleich) std::printf("   %.2f x zip", m.sekunden / vergleich->sekunden);
  std::printf("\n");
}

std::uintmax_t groesse(const fs::path& p) {
  std::error_code ec;
  auto g = fs::file_size(p, ec);
  return ec ? 0 : g;
}

void pdfsZurueck(const fs::path& w) {
  for (const auto& e : fs::directory_iterator(w / "Belege"))
    fs::rename(e.path(), w / "ZRBELEG" / e.path().filename());
}

}  // namespace

int main(int argc, char** argv) {
  int pdfs = 10000;
  std::size_t kb = 50;
  int runden = 3;
  fs::path ordner;
  bool behalten = false;
  std::size_t grossMb = 0;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--pdfs" && i + 1 < argc)
      pdfs = std::atoi(argv[++i]);
    else if (a == "--kb" && i + 1 < argc)
      kb = static_cast<std::size_t>(std::atoi(argv[++i]));
    else if (a == "--runden" && i + 1 < argc)
      runden = std::max(1, std::atoi(argv[++i]));
    else if (a == "--gross" && i + 1 < argc)
      grossMb = static_cast<std::size_t>(std::atoi(argv[++i]));
    else if (a == "--ordner" && i + 1 < argc)
      ordner = argv[++i];
    else if (a == "--behalten")
      behalten = true;
    else {
      std::fprintf(stderr,
                   "bench_archive [--pdfs N] [--kb K] [--runden R] [--gross MB] [--ordner DIR] "
                   "[--behalten]\n");
      return 2;
    }
  }
  if (ordner.empty())
    ordner = fs::temp_directory_path() / ("belvanto-bench-" + std::to_string(::getpid()));
  fs::remove_all(ordner);

  Konfiguration k;
  k.ArbeitsVerzeichnis = (ordner / "Belvanto").string();
  k.BackupVerzeichnis = (ordner / "BackUp").string();
  k.AusgabeVerzeichnis = (ordner / "datev").string();
  k.Mitgliedsnummer = "123";
  const fs::path w = k.ArbeitsVerzeichnis;
  const fs::path vergleich = ordner / "vergleich";
  fs::create_directories(k.BackupVerzeichnis);
  fs::create_directories(k.AusgabeVerzeichnis);
  fs::create_directories(vergleich);

  auto t0 = std::chrono::steady_clock::now();
  abrechnungErzeugen(w, pdfs, kb * 1024);
  ::sync();
  std::printf("Settlement: %d PDFs of %zu KB and 5 further files in %s (%.1f s to generate)\n\n",
              pdfs, kb, w.c_str(),
              std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());

  test::StillerBediener b;
  const Datum tag{2024, 7, 5};
  const fs::path backup = backupName(k, tag);
  const fs::path zipBackup = vergleich / "backup.zip";
  auto weg = [](const fs::path& p) { return [p] { fs::remove(p); }; };

  std::printf("%-44s %10s %10s %12s\n", "Stage", "wall", "CPU", "peak RSS");
  Messung zBackup = median(runden, weg(zipBackup), [&] { infoZip(w, zipBackup); });
  zeile("zip -r -6 -q, working folder", zBackup, nullptr);
  Messung backupM = median(runden, weg(backup), [&] { BackupErstellen(k, b, tag); });
  zeile("BackupErstellen", backupM, &zBackup);
  Messung einThread = median(runden, weg(backup), [&] {
    ordnerArchivieren(w, backup, {6, 16u << 20, 0, 64u << 20, true});
  });
  zeile("  same, deflating on the writing thread only", einThread, &zBackup);
  Messung ohneSync = median(runden, weg(backup), [&] {
    ordnerArchivieren(w, backup, {6, 16u << 20, -1, 64u << 20, false});
  });
  zeile("  same, without fsync", ohneSync, &zBackup);
  ZipBericht gesichert;  // of the backup as it stays for the document archive
  Messung gestreamt = median(runden, weg(backup), [&] {
    gesichert = ordnerArchivieren(w, backup, {6, 0, -1, 64u << 20, true});
  });
  zeile("  same, every file streamed through zlib", gestreamt, &zBackup);
  Messung zweites = median(
      runden, [] {}, [&] { BackupErstellen(k, b, tag); });
  zeile("  second backup of the day, adding to it", zweites, nullptr);

  Messung verschieben = median(
      runden,
      [&] {
        if (fs::exists(w / "Belege")) pdfsZurueck(w);
      },
      [&] { BelegeKopieren(k, b); });
  zeile("BelegeKopieren", verschieben, nullptr);

  const fs::path zipBelege = vergleich / "belege.zip";
  Messung zBelege = median(runden, weg(zipBelege), [&] { infoZip(w / "Belege", zipBelege); });
  zeile("zip -r -6 -q, Belege", zBelege, nullptr);
  fs::path belegarchiv = belegarchivName(k, tag);
  Messung archivM = median(runden, weg(belegarchiv), [&] {
    Konfiguration kopie = k;
    BelegarchivErstellen(kopie, b, tag, {backup, {}, gesichert.nachweis});
  });
  zeile("BelegarchivErstellen", archivM, &zBelege);
  const fs::path ohneBackup = vergleich / "ohne-backup.zip";
  Messung frischM =
      median(runden, weg(ohneBackup), [&] { ordnerArchivieren(w / "Belege", ohneBackup); });
  zeile("  same, without the backup's data", frischM, &zBelege);

  if (grossMb > 0) {
    const fs::path gross = ordner / "gross";
    {
      fs::create_directories(gross);
      std::ofstream aus(gross / "gross.bin", std::ios::binary);
      std::mt19937_64 gen(42);
      std::string block(1 << 20, ' ');
      for (std::size_t mb = 0; mb < grossMb; ++mb) {
        if (mb % 2 == 0) {
          for (std::size_t i = 0; i < block.size(); i += 8) {
            std::uint64_t z = gen();
            std::memcpy(block.data() + i, &z, 8);
          }
        } else {
          block = bench::realistischesPdf(block.size(), mb).substr(0, 300000);
          block.resize(1 << 20, 'x');
        }
        aus.write(block.data(), static_cast<std::streamsize>(block.size()));
      }
    }
    const fs::path zipGross = vergleich / "gross.zip";
    Messung zG = median(runden, weg(zipGross), [&] { infoZip(gross, zipGross); });
    char titel[64];
    std::snprintf(titel, sizeof titel, "zip -r -6 -q, one file of %zu MB", grossMb);
    zeile(titel, zG, nullptr);
    const fs::path unserGross = vergleich / "unser-gross.zip";
    Messung uG = median(runden, weg(unserGross), [&] { ordnerArchivieren(gross, unserGross); });
    zeile("ordnerArchivieren, the same file", uG, &zG);
  }

  std::printf("\nSizes: backup %.1f MB (zip %.1f MB), document archive %.1f MB (zip %.1f MB)\n",
              static_cast<double>(groesse(backup)) / 1e6,
              static_cast<double>(groesse(zipBackup)) / 1e6,
              static_cast<double>(groesse(belegarchiv)) / 1e6,
              static_cast<double>(groesse(zipBelege)) / 1e6);
  if (!behalten) fs::remove_all(ordner);
  return 0;
}
