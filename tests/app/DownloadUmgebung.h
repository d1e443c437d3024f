// The scene of a whole run with "mit Download": program, working, backup and
// output folders beside a loopback SFTP server that holds the golden
// settlement. Shared by the download runs and the run log tests.
#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/Lauf.h"
#include "support/MailTestHilfe.h"
#include "support/OhneRoot.h"
#include "support/SkriptBediener.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"
#include "support/ZipLesen.h"

namespace belvanto::test {

namespace fs = std::filesystem;

// Contents of the regular files below `ordner`, links not followed.
inline std::multiset<std::string> inhalte(const fs::path& ordner) {
  std::multiset<std::string> s;
  if (fs::exists(ordner))
    for (const auto& e : fs::recursive_directory_iterator(ordner))
      if (e.is_regular_file() && !e.is_symlink()) s.insert(readBytes(e.path()));
  return s;
}

// Mounts a tmpfs over `ordner` while it lives; `ok` false where that is not allowed.
struct Tmpfs {
  Tmpfs(const fs::path& o, const char* optionen)
      : ordner(o), ok(::mount("tmpfs", o.c_str(), "tmpfs", 0, optionen) == 0) {}
  ~Tmpfs() {
    if (ok) ::umount2(ordner.c_str(), MNT_DETACH);
  }
  fs::path ordner;
  bool ok;
};

// Program, working, backup and output folders, and a server root with the
// golden settlement, a settlement statement and remittance advice.
struct Umgebung {
  Umgebung() {
    const fs::path golden = test::testData("export/golden/eingabe");
    for (const char* csv : {"Buchungen_20241130.csv", "Index_20241130.csv"})
      writeBytes(root / "ZRBELEG" / csv, readBytes(golden / "ZRBELEG" / csv));
    for (const char* pdf :
         {"ABCD1001.pdf", "ABCD0077.pdf", "ABCD0005.pdf", "ABCDRD7.pdf", "ABCD0012.pdf"})
      writeBytes(root / "ZRBELEG" / pdf, "%PDF-1.4\n% " + std::string(pdf) + "\n%%EOF\n");
    writeBytes(root / "ZRABR/Abrechnung.pdf", "%PDF Abrechnung");
    writeBytes(root / "ZRABR/Index_Abr.csv", "Abrechnung;4711\r\n");
    writeBytes(root / "REMADV/RemADV_1.csv", "Kopf\r\n");
    for (const char* ordner : {"root/home", "backup", "arbeit"})
      fs::create_directories(tmp / ordner);
    writeBytes(programm / "LieferantenUmsetzung.csv",
               readBytes(golden / "LieferantenUmsetzung.csv"));
  }

  // `weitereIni` follows the INI's sections, `firmaIni` stands in [Firma].
  void starten(std::vector<std::string> args = {}, const std::string& weitereIni = "",
               const std::string& firmaIni = "") {
    for (const char* a : {"--root", "", "--user", "mitglied", "--password", "Geheim-42"})
      args.push_back(*a ? a : root.string());
    server = std::make_unique<test::TestServer>("sftp_server.py", args);
    test::testIniSchreiben(
        programm, tmp.path(),
        "[MwStSatz]\r\nFirmaVolleMwSt=19,00\r\nFirmaHalbeMwSt=7,00\r\nFirmaNullMwSt=0,00\r\n"
        "[Firma]\r\nMitgliedsnummer=4711\r\nFtpZugang=" +
            server->address() +
            "\r\nFtpUser=mitglied\r\nFtpPasswort=Geheim-42\r\n" + firmaIni +
            "[Konten]\r\nKostenstelle=100\r\n"
            "[Diverses]\r\nNummernUmsetzung=1\r\nLfdNummer=7\r\n" +
            weitereIni);
  }

  // Questions, messages and the text of an error that ends the run go to
  // `gesagt`, the protocol rows to `protokoll`.
  void laufen(std::set<Haken> haken) {
    konfiguration = konfigurationLesen(programm);
    Lauf lauf(konfiguration, bediener, [haken](Haken h) { return haken.count(h) > 0; });
    try {
      lauf.ausfuehren();
    } catch (const std::exception& e) {
      fehler = e.what();
    }
    ohne.reset();
    // The information mail has no server here; its two boxes are not the point.
    for (const auto& e : bediener.ereignisse)
      if ((e.starts_with("frage: ") || e.starts_with("meldung: ")) &&
          !e.starts_with("meldung: Verbindungsfehler Versand !"))
        gesagt.push_back(e);
    if (!fehler.empty()) gesagt.push_back("Fehler: " + fehler);
    const auto& grid = lauf.protokoll().grid();
    for (int r = 0; r + 1 < grid.rowCount(); ++r) {
      std::string z;
      for (int c = 0; c < 6; ++c) z += (c ? "|" : "") + grid.cell(c, r);
      protokoll.push_back(z);
    }
  }

  // Everything that is anywhere now: server, working folder, archives.
  std::multiset<std::string> ueberall() const {
    auto alles = inhalte(root);
    alles.merge(inhalte(tmp / "arbeit"));
    for (const char* ordner : {"backup", "ausgabe"})
      if (fs::exists(tmp / ordner))
        for (const auto& zip : fs::directory_iterator(tmp / ordner))
          for (const auto& [name, e] : test::mitLibzipLesen(zip.path())) alles.insert(e.inhalt);
    return alles;
  }

  test::TempDir tmp;
  std::unique_ptr<Tmpfs> platte;               // over the working folder
  std::unique_ptr<test::OhneRootRechte> ohne;  // during the run
  fs::path programm = tmp / "programm";
  fs::path root = tmp / "root";
  std::unique_ptr<test::TestServer> server;
  Konfiguration konfiguration;
  test::SkriptBediener bediener;
  std::vector<std::string> protokoll, gesagt;
  std::string fehler;
};

inline const std::set<Haken> kMitDownload{Haken::mitDownload, Haken::mitRemADV};

// The [EMail-Versand] section for mails to `smtp` as kBenutzer.
inline std::string mailIni(const SmtpServer& smtp) {
  return "[EMail-Versand]\r\nMailAbsender=" + std::string(kBenutzer) +
         "\r\nMailPasswort=" + kPasswort +
         "\r\nMailServer=127.0.0.1\r\nMailPort=" + std::to_string(smtp.port()) +
         "\r\nEmpfaengerAbrechnung=buero@firma.de\r\nEmpfaengerRNKopie=laden@firma.de"
         "\r\nEmpfaengerRemADV=fibu@firma.de\r\n";
}

}  // namespace belvanto::test
