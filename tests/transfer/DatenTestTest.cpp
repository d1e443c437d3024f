// The data check against the real SFTP server, empty remote folders, and how
// listing lines and names are read.
#include <gtest/gtest.h>

#include <cctype>
#include <set>

#include "basis/Konfiguration.h"
#include "protocol/UProtokoll.h"
#include "support/SkriptBediener.h"
#include "support/TestServer.h"
#include "support/TestSupport.h"
#include "transfer/Download.h"
#include "transfer/UTestDaten.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;
using K = DatenKasten;

const std::set<K> kAlle{K::ZRBelegPDF,      K::ZRBelegCSVIndex, K::ZRBelegCSVBuchung,
                        K::ZRAbrechnungCSV, K::ZRAbrechnungPDF, K::RemADV};
const char* const kDateien[] = {"ZRBELEG/R-1001.pdf",      "ZRBELEG/Index_1.csv",
                                "ZRBELEG/Buchungen_1.csv", "ZRABR/Index_Abr.csv",
                                "ZRABR/Abrechnung.pdf",    "REMADV/RemADV_1.csv"};

class DatenTestTest : public ::testing::Test {
 protected:
  DatenTestTest() {
    lieferung();
    server = std::make_unique<test::TestServer>(
        "sftp_server.py", std::vector<std::string>{"--root", root.string(), "--user", "u",
                                                   "--password", "Geheim-42"});
  }
  void lieferung() {
    fs::remove_all(root);
    fs::create_directories(root / "home");
    for (const char* datei : kDateien) test::writeBytes(root / datei, datei);
  }
  bool pruefen(test::SkriptBediener& b, bool mitRemADV, bool fenster,
               const std::string& passwort = "Geheim-42") {
    return DatenTest(b, tmp / "hostkeys")
        .TestDaten("u", passwort, server->address(), mitRemADV, fenster);
  }

  test::TempDir tmp;
  fs::path root = tmp / "root";
  std::unique_ptr<test::TestServer> server;
};

TEST_F(DatenTestTest, EachExpectedKindMissingInTurn) {
  struct Row {
    int fehlt;  // index into kDateien, -1 none
    bool mitRemADV, fenster, grossGeschrieben, ergebnis;
  };
  const Row rows[] = {{-1, true, false, false, true}, {-1, true, true, false, true},
                      {0, true, false, false, false}, {1, true, false, false, false},
                      {2, true, false, false, false}, {3, true, false, false, false},
                      {4, true, false, false, false}, {5, true, false, false, false},
                      {5, false, false, false, true}, {-1, true, false, true, true}};
  for (const auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.fehlt << r.mitRemADV << r.fenster << r.grossGeschrieben);
    lieferung();
    if (r.fehlt >= 0) fs::remove(root / kDateien[r.fehlt]);
    if (r.grossGeschrieben)
      for (const char* d : kDateien) {
        std::string gross = fs::path(d).filename().string();
        for (auto& c : gross) c = static_cast<char>(std::toupper(c));
        fs::rename(root / d, root / fs::path(d).parent_path() / gross);
      }
    test::SkriptBediener b;
    EXPECT_EQ(pruefen(b, r.mitRemADV, r.fenster), r.ergebnis);
    auto haken = kAlle;
    if (r.fehlt >= 0) haken.erase(static_cast<K>(r.fehlt));
    EXPECT_EQ(b.angehakt, haken);
    std::vector<std::string> schritte{"Test auf Daten", "Test auf Daten / ZRBeleg",
                                      "Test auf Daten / ZRAbrechnung"};
    if (r.mitRemADV) schritte.push_back("Test auf Daten / RemADV");
    if (!r.ergebnis) schritte.push_back("Test auf Daten / Keine Daten !");
    EXPECT_EQ(b.testSchritte, schritte);
    EXPECT_EQ(b.testFensterOffen, !r.ergebnis || r.fenster);
    EXPECT_EQ(b.piepse, r.ergebnis ? 0 : 1);
  }
}

TEST_F(DatenTestTest, WrongPasswordAndTicksFromAnEarlierCheck) {
  test::SkriptBediener b;
  EXPECT_FALSE(pruefen(b, true, true, "Falsch-1"));
  EXPECT_EQ(b.ereignisse,
            (std::vector<std::string>{"piep", "meldung: Verbindung zum Server gestört !", "piep"}));
  EXPECT_EQ(b.testSchritte, std::vector<std::string>{"Test auf Daten / Keine Daten !"});

  EXPECT_TRUE(pruefen(b, true, true));
  for (const char* d : kDateien) fs::remove(root / d);
  EXPECT_FALSE(pruefen(b, true, true));
  EXPECT_EQ(b.angehakt, kAlle);
}

TEST_F(DatenTestTest, EmptyRemoteFoldersCopyAndDeleteNothing) {
  for (const char* d : kDateien) fs::remove(root / d);
  Konfiguration k;
  k.programmOrdner = tmp.path();
  k.ArbeitsVerzeichnis = (tmp / "arbeit").string();
  k.FtpZugang = server->address();
  k.FtpUser = "u";
  k.FtpPasswort = "Geheim-42";
  test::SkriptBediener b;
  Protokoll protokoll;
  Download download(k, b, protokoll);
  download.ZRDatenHolen();
  download.RemADVHolen();
  download.GeholteLoeschen();
  std::vector<std::string> erwartet;
  for (const char* art : {"Kopieren (FTP): ", "Löschen (SFTP): "})
    for (int i = 0; i < 3; ++i)
      for (const char* name : {".", ".."}) erwartet.push_back(art + std::string(name));
  EXPECT_EQ(b.fortschritte, erwartet);
  for (const char* ordner : {"ZRABR", "ZRBELEG", "REMADV", "Mail"})
    EXPECT_TRUE(fs::is_empty(tmp / "arbeit" / ordner)) << ordner;
}

// Keys from the known-hosts file, which anyone with access to the program
// folder can write: only base64 of a key gives a fingerprint.
TEST(HostSchluessel, FingerprintOnlyOfBase64) {
  const std::pair<const char*, const char*> faelle[] = {
      {"AAAAC3NzaC1lZDI1NTE5AAAAIAEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEBAQEB",
       "SHA256:RXm/ruZ0eTzRXKwi1AQEDynB0VgHQ2ac9KPSFdf/YnA"},
      {"AAA=========================================================", ""},
      {"====", ""},
      {"", ""},
      {"kein base64!", ""},
  };
  for (const auto& [schluessel, erwartet] : faelle)
    EXPECT_EQ(fingerabdruck(schluessel), erwartet) << schluessel;
}

TEST(DownloadNamen, ListingLinesAndNamesThatNeverBecomeLocalPaths) {
  const std::pair<const char*, const char*> zeilen[] = {
      {"datei.pdf", "datei.pdf"},
      {"mit Leerzeichen.pdf", "Leerzeichen.pdf"},
      {"a b c d e f g h i j", "i j"},
      {"01-15-24  10:30AM       <DIR>          Ordner", "Ordner"},
      {"01-15-24  10:30AM                12345 Rechnung 1.pdf", "Rechnung 1.pdf"},
      {"-rw-r--r--    1 user     group        1234 Jan 15 10:30 Ordner mit Blank",
       "Ordner mit Blank"},
      // A numeric owner looks like a DOS size field.
      {"-rw-r--r--    1 1000     1000         1234 Jan 15 10:30 x",
       "1000         1234 Jan 15 10:30 x"},
  };
  for (const auto& [zeile, name] : zeilen) EXPECT_EQ(DateinameErmitteln(zeile), name) << zeile;

  const std::tuple<const char*, const char*, const char*> namen[] = {
      {"Grüße mit Blank.pdf", "", "Grüße mit Blank.pdf"},
      {"", "Name ist leer", ""},
      {"a\tb\x7f\xC2\x85", "Name enthält Steuerzeichen", "a\\x09b\\x7F\\xC2\\x85"},
      {"\xFFx\xC3", "Name ist kein gültiges UTF-8", "\\xFFx\\xC3"},
  };
  for (const auto& [name, grund, anzeige] : namen) {
    EXPECT_EQ(nameUngeeignet(name), grund) << name;
    EXPECT_EQ(anzeigeName(name), anzeige) << name;
  }
}

}  // namespace
}  // namespace belvanto
