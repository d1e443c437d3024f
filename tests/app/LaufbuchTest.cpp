// The run log "Belvanto.log" after whole runs against the real SFTP and SMTP
// servers: a successful run leaves one line of every kind, the fetched files
// with the SHA-256 of the served bytes; a run that ends early keeps its lines
// up to there and says how it ended; a log that cannot be written costs one
// protocol entry and nothing else. No password ever reaches the file.
#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <regex>
#include <sstream>

#include "app/DownloadUmgebung.h"
#include "basis/Laufbuch.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::Umgebung;
using test::writeBytes;

std::string sha256(const std::string& bytes) {
  unsigned char wert[32];
  EVP_Digest(bytes.data(), bytes.size(), wert, nullptr, EVP_sha256(), nullptr);
  char hex[65];
  for (int i = 0; i < 32; ++i) std::snprintf(hex + 2 * i, 3, "%02x", wert[i]);
  return hex;
}

// The events of the log, each line checked for its time stamp, which is cut
// off; no password anywhere.
std::vector<std::string> ereignisse(const fs::path& log) {
  static const std::regex zeile(R"(\d{4}-\d\d-\d\d \d\d:\d\d:\d\d (.+))");
  std::vector<std::string> e;
  const std::string bytes = readBytes(log);
  for (const char* p : {"Geheim-42", test::kPasswort}) EXPECT_EQ(bytes.find(p), std::string::npos);
  std::istringstream text(bytes);
  std::smatch m;
  for (std::string z; std::getline(text, z);) {
    EXPECT_TRUE(std::regex_match(z, m, zeile)) << z;
    e.push_back(m[1]);
  }
  return e;
}

// A whole line, or its beginning and end around one "…".
bool passt(const std::string& zeile, const std::string& muster) {
  const auto p = muster.find("…");
  if (p == std::string::npos) return zeile == muster;
  return zeile.size() + 3 >= muster.size() && zeile.starts_with(muster.substr(0, p)) &&
         zeile.ends_with(muster.substr(p + 3));
}

// Each pattern matches a line further down than the one before; the last
// matches the last line.
void inFolge(const std::vector<std::string>& zeilen, const std::vector<std::string>& muster) {
  auto it = zeilen.begin();
  for (const auto& m : muster) {
    it = std::find_if(it, zeilen.end(), [&](const std::string& z) { return passt(z, m); });
    ASSERT_TRUE(it != zeilen.end()) << "missing in order: " << m << "\n"
                                    << testing::PrintToString(zeilen);
    ++it;
  }
  EXPECT_TRUE(it == zeilen.end()) << "last: " << zeilen.back();
}

// One event is one line that shows what it holds: nothing that could move the
// line, turn its direction or hide a byte, and nothing masked (a password
// never reaches an event, so a name holding its digits stays as it is).
TEST(Laufbuch, EveryEventIsOneLineAndShowsWhatItHolds) {
  const std::pair<std::string, std::string> rows[] = {
      {"Meldung: a\r\nb\nc\rd", "Meldung: a / b / c / d"},
      {"Geholt: ../ZRBELEG/Buchungen_20241130.csv", "Geholt: ../ZRBELEG/Buchungen_20241130.csv"},
      {"Tab\tund \x01 und \x7F", "Tab und \\x01 und \\x7F"},
      {"Müller, M\xFCller", "Müller, M\\xFCller"},
      {"C1 \xC2\x85, \xC2\x9B und fdp.\xE2\x80\xAE\xE2\x81\xA6" "exe",
       "C1 \\xC2\\x85, \\xC2\\x9B und fdp.\\xE2\\x80\\xAE\\xE2\\x81\\xA6exe"},
  };
  test::TempDir ordner;
  {
    Laufbuch laufbuch(ordner.path());
    for (const auto& [ereignis, zeile] : rows) laufbuch.schreiben(ereignis);
  }
  const auto zeilen = ereignisse(ordner / kLaufbuchName);
  ASSERT_EQ(zeilen.size(), std::size(rows));
  for (std::size_t i = 0; i < zeilen.size(); ++i) EXPECT_EQ(zeilen[i], rows[i].second);
}

const std::set<Haken> kAlles{Haken::mitDownload, Haken::belegeMailen, Haken::mitRemADV,
                             Haken::remAdvMailen};

TEST(Laufbuch, RunWithDownloadAndMailLeavesALineForEveryEvent) {
  Umgebung u;
  writeBytes(u.root / "ZRABR/Anlage.zip", "PK");
  writeBytes(u.root / "ZRBELEG/Unter/drin.pdf", "drin");
  test::cp1252Datei(u.programm / "LieferantenUmsetzung.csv",
                    {"70001;10001;Müller & Söhne GmbH;1000", "70002;10002;Bäckerei Schäfer;100"});
  u.bediener.lieferantAntworten = {{"10003", "Obst & Gemüse <Nord>", ""}};
  test::SmtpServer smtp;
  u.starten({}, test::mailIni(smtp));
  writeBytes(
      u.programm / "Belvanto.hostkeys",
      "[127.0.0.1]:" + std::to_string(u.server->port()) +
          " ssh-ed25519 AAAAC3NzaC1lZDI1NTE5AAAAIAEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEB\n");
  u.bediener.frageAntworten = {true};

  std::vector<std::string> dateiZeilen;  // each served file fetched with its hash, and deleted
  for (const char* ordner : {"ZRABR", "ZRBELEG", "REMADV"})
    for (const auto& e : fs::directory_iterator(u.root / ordner)) {
      if (!e.is_regular_file()) continue;
      const std::string pfad = std::string("../") + ordner + "/" + e.path().filename().string();
      const std::string bytes = readBytes(e.path());
      dateiZeilen.push_back("Geholt: " + pfad + ", " + std::to_string(bytes.size()) +
                            " Bytes, SHA-256 " + sha256(bytes));
      if (!pfad.ends_with(".zip")) dateiZeilen.push_back("Auf dem Server gelöscht: " + pfad);
    }
  // Written as it happens: with the protocol window open the run is not over.
  std::string waehrend;
  u.bediener.beiProtokoll = [&](ProtokollTabelle&) { waehrend = readBytes(u.programm / kLaufbuchName); };
  u.laufen(kAlles);
  ASSERT_EQ(u.fehler, "");
  EXPECT_NE(waehrend.find(" Mail gesendet: an belvanto@firma.de; "), std::string::npos);
  EXPECT_EQ(waehrend.find("Lauf endet"), std::string::npos);

  const auto zeilen = ereignisse(u.programm / kLaufbuchName);
  const std::set<std::string> alle(zeilen.begin(), zeilen.end());
  for (const auto& z : dateiZeilen) EXPECT_TRUE(alle.count(z)) << z;
  const std::string tag = formatArchivDatum(heute());
  const auto backup = u.tmp / "backup" / ("4711-" + tag + ".zip");
  const auto belege = u.tmp / "ausgabe" / ("Belege-4711-" + tag + "-7.zip");
  auto archiv = [](const fs::path& zip) {
    return "Archiv geschrieben: " + zip.string() + ", " + std::to_string(fs::file_size(zip)) +
           " Bytes, " + std::to_string(test::mitLibzipLesen(zip).size()) + " Einträge";
  };
  std::string pdfs;
  for (const auto& [name, e] : test::mitLibzipLesen(belege))
    if (name.ends_with(".pdf")) pdfs += (pdfs.empty() ? "" : ", ") + name;
  inFolge(
      zeilen,
      {"Lauf beginnt: Mitgliedsnummer 4711, …; mit Download: ja, Belege mailen: ja, "
       "mit RemADV: ja, RemADV mailen: ja",
       "Frage: Achtung: … Antwort: Ja", "Datenprüfung: alle Daten vorhanden",
       "Nicht geholt: ../ZRBELEG/Unter (ist ein Ordner)", archiv(backup),
       "Nicht gelöscht: ../ZRABR/Anlage.zip (nicht im Backup)",
       "Auf dem Server gelöscht: ../REMADV/RemADV_1.csv", "Buchungsdatei: Buchungen_20241130.csv",
       "Protokoll: Abrechnung vom | 20241130 | Mitgliedsnr. | 4711",
       "Lieferant erfragt: 70003 Antwort: Nummer \"10003\", Name \"Obst & Gemüse <Nord>\", "
       "Höchstbetrag \"\"",
       archiv(belege),
       "Mail gesendet: an laden@firma.de; Betreff \"Laden-Versand\"; Anlagen: " + pdfs,
       "Mail gesendet: an fibu@firma.de; Betreff \"RemADV-Versand:  / € 0\"; Anlagen: "
       "RemADV_1.csv",
       "Mail gesendet: an buero@firma.de; Betreff \"Abrechnungs-Versand\"; Anlagen: "
       "Abrechnung.pdf",
       "Mail gesendet: an belvanto@firma.de; Betreff \"Belvanto: 4711\"; Anlagen: keine",
       "Protokollfenster gezeigt: …",
       "Lauf endet: erfolgreich, 5 Belege verschoben, 1 Abrechnungsbelege"});
}

// Ended by an error in the middle, or without the closing stages: the lines
// up to there stay, and the last says how the run ended.
TEST(Laufbuch, ARunThatEndsEarlyKeepsItsLinesAndSaysHow) {
  const struct {
    const char* was;
    std::function<void(Umgebung&)> vorher;
    std::vector<std::string> zeilen;  // in order
  } rows[] = {
      {"Betrag nicht lesbar",
       [](Umgebung& u) {
         const auto datei = u.root / "ZRBELEG/Buchungen_20241130.csv";
         writeBytes(datei, std::regex_replace(readBytes(datei), std::regex("1190,00"), "11g0,00"));
       },
       {"Lauf beginnt: …", "Datenprüfung: alle Daten vorhanden",
        "Geholt: ../ZRBELEG/Buchungen_20241130.csv, …", "Archiv geschrieben: …",
        "Auf dem Server gelöscht: …", "Buchungsdatei: Buchungen_20241130.csv",
        "Protokoll: Abrechnung vom | 20241130 | Mitgliedsnr. | 4711",
        "Lauf endet mit Fehler: Die Buchungsdatei …"}},
      {"ohne Mailserver", [](Umgebung&) {},
       {"Lauf beginnt: …", "Mail nicht gesendet: an belvanto@; …",
        "Lauf endet: erfolgreich, 5 Belege verschoben, 1 Abrechnungsbelege, nicht gesendete "
        "Mails: 1"}},
      {"Backup-Verzeichnis fehlt",
       [](Umgebung& u) { fs::remove(u.tmp / "backup"); },
       {"Lauf beginnt: …", "Meldung: Das Backup-Verzeichnis …",
        "Meldung: SCH ... keine Buchungen !",
        "Lauf endet ohne Abschluss: keine Buchungen vom Server"}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.was);
    Umgebung u;
    u.starten();
    r.vorher(u);
    u.laufen(test::kMitDownload);
    inFolge(ereignisse(u.programm / kLaufbuchName), r.zeilen);
  }
}

TEST(Laufbuch, ALogThatCannotBeWrittenCostsOneProtocolEntry) {
  Umgebung u;
  u.starten();
  fs::create_directory(u.programm / kLaufbuchName);
  u.laufen(test::kMitDownload);
  EXPECT_EQ(u.fehler, "");
  EXPECT_EQ(u.bediener.protokollGezeigt, 1);
  EXPECT_EQ(std::count(u.protokoll.begin(), u.protokoll.end(),
                       "Laufprotokoll|Belvanto.log kann nicht geschrieben werden||Ist ein "
                       "Verzeichnis||"),
            1);
  EXPECT_TRUE(
      fs::exists(u.tmp / "ausgabe" / ("Belege-4711-" + formatArchivDatum(heute()) + "-7.zip")));
}

}  // namespace
}  // namespace belvanto
