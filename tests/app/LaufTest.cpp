// Whole runs on local data ("mit Download" off) through the scripted Bediener:
// real folders, real archives read back, the DATEV files inside compared with
// the hand-derived golden files, the INI and the mapping afterwards.
#include <gtest/gtest.h>

#include <regex>
#include <set>

#include "app/Lauf.h"
#include "basis/Konfiguration.h"
#include "support/SkriptBediener.h"
#include "support/TestSupport.h"
#include "support/ZipLesen.h"
#include "util/Datum.h"
#include "util/Fehler.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;
using test::ArchivEintrag;
using test::cp1252Datei;
using test::cp1252Zeilen;
using test::mitLibzipLesen;
using test::readBytes;
using test::SkriptBediener;
using test::TempDir;
using test::testData;
using test::writeBytes;

const char* const kGoldenPdfs[] = {"ABCD1001.pdf", "ABCD0077.pdf", "ABCD0005.pdf", "ABCDRD7.pdf",
                                   "ABCD0012.pdf"};
const char* const kIndexKopf =
    "Datei;F1;F2;F3;F4;Mitglied;RechnungsNr;F7;AbrNr;F9;AbrufNr;F11;F12;Valuta;F14;F15;F16;"
    "F17;F18";
const char* const kBuchungsKopf =
    "\"LiefNr\";\"RechnungsNr\";\"Datum\";\"Text\";\"MwSt\";\"Betrag\";\"Netto\";\"Steuer\";"
    "\"Info\";\"Skonto\"";

std::string pdfInhalt(const std::string& name) {
  return "%PDF-1.4\n% " + name + "\n%%EOF\n";
}

std::string datumMaskieren(const std::string& bytes) {
  static const std::regex datum(R"(<date>\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d</date>)");
  return std::regex_replace(bytes, datum, "<date>JJJJ-MM-TTThh:mm:ss</date>");
}

class LaufAufDaten : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::create_directories(programm);
    fs::create_directories(zrbeleg);
    fs::create_directories(tmp / "backup");
    fs::create_directories(ausgabe);
    writeBytes(ausgabe / "fremd.txt", "placed here by another program");
    test::testIniSchreiben(programm, tmp.path(),
                           "LastOpened=/tmp\r\n[MwStSatz]\r\nFirmaVolleMwSt=19,00\r\n"
                           "FirmaHalbeMwSt=7,00\r\nFirmaNullMwSt=0,00\r\n[Firma]\r\n"
                           "Mitgliedsnummer=4711\r\n[Konten]\r\nKostenstelle=100\r\n"
                           "[Diverses]\r\nNummernUmsetzung=1\r\nLfdNummer=7\r\n");
  }

  void goldenSettlement() {
    const fs::path eingabe = testData("export/golden/eingabe");
    fs::copy_file(eingabe / "ZRBELEG/Buchungen_20241130.csv", zrbeleg / "Buchungen_20241130.csv");
    fs::copy_file(eingabe / "ZRBELEG/Index_20241130.csv", zrbeleg / "Index_20241130.csv");
    fs::copy_file(eingabe / "LieferantenUmsetzung.csv", programm / "LieferantenUmsetzung.csv");
    for (const char* pdf : kGoldenPdfs) writeBytes(zrbeleg / pdf, pdfInhalt(pdf));
  }

  // A second settlement of the same day: one invoice of a mapped supplier.
  void zweiteAbrechnung(const std::string& mitglied) {
    cp1252Datei(zrbeleg / "Buchungen_20241215.csv",
                {kBuchungsKopf,
                 "\"70001\";\"RE-2001\";\"10.12.24\";\"x\";\"19,00\";"
                 "\"238,00\";\"200,00\";\"38,00\";\"y\";\"0,00\""});
    cp1252Datei(zrbeleg / "Index_20241215.csv",
                {kIndexKopf,
                 "EFGH2001.pdf;;;;;" + mitglied + ";RE-2001;;816;;A-2024-12;;;20.12.2024;;;;;"});
    writeBytes(zrbeleg / "EFGH2001.pdf", pdfInhalt("EFGH2001.pdf"));
  }

  void laufen() {
    konfiguration = konfigurationLesen(programm);
    Lauf lauf(konfiguration, bediener, [this](Haken h) { return haken.count(h) > 0; });
    lauf.ausfuehren();
    verschoben = lauf.verschobeneBelege();
    protokoll = lauf.protokoll().grid();
  }

  std::string protokollZeile(int r) const {
    std::string z;
    for (int c = 0; c < 6; ++c) z += (c ? "|" : "") + protokoll.cell(c, r);
    return z;
  }

  fs::path belegarchiv(int nummer) const {
    return ausgabe /
           ("Belege-4711-" + formatArchivDatum(heute()) + "-" + std::to_string(nummer) + ".zip");
  }
  fs::path backup() const {
    return tmp / "backup" / ("4711-" + formatArchivDatum(heute()) + ".zip");
  }
  int lfdNummerImIni() const { return konfigurationLesen(programm).LfdNummer; }

  TempDir tmp;
  fs::path programm = tmp / "programm";
  fs::path arbeit = tmp / "arbeit";
  fs::path zrbeleg = arbeit / "ZRBELEG";
  fs::path ausgabe = tmp / "ausgabe";
  std::set<Haken> haken;  // the ticked boxes
  Konfiguration konfiguration;
  SkriptBediener bediener;
  TextGrid protokoll{6, 1};
  int verschoben = 0;
};

std::vector<std::string> namen(const std::map<std::string, ArchivEintrag>& zip) {
  std::vector<std::string> n;
  for (const auto& [name, e] : zip) n.push_back(name);
  return n;
}

TEST_F(LaufAufDaten, OneBookingFileGivesTheGoldenArchiveBackupAndWriteBack) {
  goldenSettlement();
  const std::string mappingVorher = readBytes(programm / "LieferantenUmsetzung.csv");
  laufen();

  // The document archive holds exactly the golden DATEV files and the renamed PDFs.
  const auto archiv = mitLibzipLesen(belegarchiv(7));
  const fs::path erwartet = testData("export/golden/erwartet");
  std::vector<std::string> erwarteteNamen;
  for (const auto& e : fs::directory_iterator(erwartet)) {
    const auto name = e.path().filename().string();
    erwarteteNamen.push_back(name);
    ASSERT_TRUE(archiv.count(name)) << name;
    EXPECT_EQ(datumMaskieren(archiv.at(name).inhalt), datumMaskieren(readBytes(e.path()))) << name;
  }
  for (const char* alt : kGoldenPdfs) {
    const std::string neu = "815-" + std::string(alt).substr(4);
    erwarteteNamen.push_back(neu);
    ASSERT_TRUE(archiv.count(neu)) << neu;
    EXPECT_EQ(archiv.at(neu).inhalt, pdfInhalt(alt));
  }
  std::sort(erwarteteNamen.begin(), erwarteteNamen.end());
  EXPECT_EQ(namen(archiv), erwarteteNamen);

  // The backup holds the settlement as delivered, before anything was converted.
  const auto sicherung = mitLibzipLesen(backup());
  EXPECT_EQ(namen(sicherung),
            (std::vector<std::string>{"ZRBELEG/", "ZRBELEG/ABCD0005.pdf", "ZRBELEG/ABCD0012.pdf",
                                      "ZRBELEG/ABCD0077.pdf", "ZRBELEG/ABCD1001.pdf",
                                      "ZRBELEG/ABCDRD7.pdf", "ZRBELEG/Buchungen_20241130.csv",
                                      "ZRBELEG/Index_20241130.csv"}));
  EXPECT_EQ(sicherung.at("ZRBELEG/Buchungen_20241130.csv").inhalt,
            readBytes(testData("export/golden/eingabe/ZRBELEG/Buchungen_20241130.csv")));

  // Closing stages: numbers, write-back, protocol.
  EXPECT_EQ(verschoben, 5);
  EXPECT_EQ(lfdNummerImIni(), 8);
  EXPECT_EQ(readBytes(programm / "LieferantenUmsetzung.csv"), mappingVorher);
  EXPECT_EQ(bediener.fortschritte.back(), "Es wurden 0 Belege gedruckt 5 Bilder kopiert.");
  ASSERT_EQ(protokoll.rowCount(), 5);
  EXPECT_EQ(protokollZeile(0), "Abrechnung vom|20241130|Mitgliedsnr.|4711| |");
  EXPECT_EQ(protokollZeile(1), "Falscher Betrag|R&D<7>|2024-11-29|Obst + Gemüse <Nord>|0.00|");
  EXPECT_EQ(bediener.protokollGezeigt, 1);
  EXPECT_EQ(bediener.meldungen, test::infoMailOhneServer());

  // The working folder is consumed; the output folder was cleared first.
  EXPECT_FALSE(fs::exists(zrbeleg / "Buchungen_20241130.csv"));
  EXPECT_FALSE(fs::exists(zrbeleg / "Index_20241130.csv"));
  EXPECT_TRUE(fs::is_empty(arbeit / "Belege"));
  EXPECT_FALSE(fs::exists(ausgabe / "fremd.txt"));
}

TEST_F(LaufAufDaten, TwoBookingFilesOnOneDayGiveTwoArchivesWithTheirOwnPdfs) {
  goldenSettlement();
  zweiteAbrechnung("4711");
  laufen();

  const auto erstes = mitLibzipLesen(belegarchiv(7));
  const auto zweites = mitLibzipLesen(belegarchiv(8));
  EXPECT_TRUE(erstes.count("815-1001.pdf"));
  EXPECT_FALSE(erstes.count("816-2001.pdf"));
  EXPECT_EQ(namen(zweites),
            (std::vector<std::string>{"816-2001.pdf", "816-2001.xml", "document.xml"}));
  EXPECT_NE(zweites.at("816-2001.xml").inhalt.find("<invoiceId>RE-2001</invoiceId>"),
            std::string::npos);
  EXPECT_EQ(lfdNummerImIni(), 9);
  EXPECT_EQ(verschoben, 6);
  EXPECT_EQ(protokollZeile(0), "Abrechnung vom|20241130|Mitgliedsnr.|4711| |");
  bool zweiteUeberschrift = false;
  for (int r = 1; r < protokoll.rowCount(); ++r)
    zweiteUeberschrift |= protokollZeile(r) == "Abrechnung vom|20241215|Mitgliedsnr.|4711| |";
  EXPECT_TRUE(zweiteUeberschrift);
}

TEST_F(LaufAufDaten, LastFileFailingTheMemberCheckSkipsTheClosingStages) {
  goldenSettlement();
  zweiteAbrechnung("9999");
  // A supplier entered during the run must not reach the mapping file.
  writeBytes(zrbeleg / "Buchungen_20241130.csv",
             readBytes(zrbeleg / "Buchungen_20241130.csv") +
                 cp1252Zeilen({"\"80000\";\"RE-1001\";\"25.11.24\";\"x\";\"19,00\";\"10,00\";\"1\";"
                               "\"1\";\"y\";\"0,00\""}));
  bediener.lieferantAntworten.push_back({"18000", "Neu GmbH", "50"});
  const std::string mappingVorher = readBytes(programm / "LieferantenUmsetzung.csv");
  laufen();

  EXPECT_TRUE(fs::exists(belegarchiv(7)));
  EXPECT_FALSE(fs::exists(belegarchiv(8)));
  EXPECT_EQ(bediener.meldungen,
            std::vector<std::string>{"Mitgliedsnummer und Daten passen nicht zusammen !!"});
  EXPECT_EQ(lfdNummerImIni(), 7);
  EXPECT_EQ(readBytes(programm / "LieferantenUmsetzung.csv"), mappingVorher);
  EXPECT_EQ(bediener.protokollGezeigt, 0);
  for (const auto& f : bediener.fortschritte) EXPECT_EQ(f.find("Es wurden"), std::string::npos);
  EXPECT_TRUE(fs::exists(zrbeleg / "EFGH2001.pdf")) << "the failed settlement's PDF stays";
}

TEST_F(LaufAufDaten, AnAmountThatDoesNotParseStopsTheRunBeforeAnythingIsWritten) {
  goldenSettlement();
  writeBytes(
      zrbeleg / "Buchungen_20241130.csv",
      readBytes(zrbeleg / "Buchungen_20241130.csv") +
          cp1252Zeilen({"\"80000\";\"RE-1001\";\"25.11.24\";\"x\";\"19,00\";\"1.234,56\";\"1\";"
                        "\"1\";\"y\";\"0,00\""}));
  try {
    laufen();
    FAIL() << "no error";
  } catch (const Fehler& e) {
    EXPECT_NE(std::string(e.what()).find("\"1.234,56\""), std::string::npos) << e.what();
    EXPECT_NE(std::string(e.what()).find("Buchungen_20241130.csv"), std::string::npos);
  }
  EXPECT_FALSE(fs::exists(belegarchiv(7)));
  EXPECT_TRUE(fs::is_empty(arbeit / "Belege"));
  EXPECT_TRUE(bediener.ereignisse.empty()) << "no dialog before the check";
  EXPECT_TRUE(fs::exists(backup())) << "the input is kept in the backup";
}

TEST_F(LaufAufDaten, NoBookingFileStillClosesWithTheWarning) {
  writeBytes(programm / "LieferantenUmsetzung.csv", "");
  laufen();
  ASSERT_EQ(protokoll.rowCount(), 2);
  EXPECT_EQ(protokollZeile(0), "Stimmt das ?|Es wurden nur|0|Belege verarbeitet !||");
  EXPECT_EQ(bediener.protokollGezeigt, 1);
  EXPECT_EQ(lfdNummerImIni(), 7);
  EXPECT_FALSE(fs::exists(ausgabe)) << "the output folder is created only inside the loop";
}

TEST_F(LaufAufDaten, SecondBackupOfTheDayAddsToTheFirst) {
  goldenSettlement();
  laufen();
  const auto erste = mitLibzipLesen(backup());

  // A second program start on the same day with another settlement.
  bediener = SkriptBediener();
  zweiteAbrechnung("4711");
  laufen();
  const auto zweite = mitLibzipLesen(backup());
  for (const auto& [name, eintrag] : erste) EXPECT_TRUE(zweite.count(name)) << name;
  EXPECT_TRUE(zweite.count("ZRBELEG/Buchungen_20241215.csv"));
  EXPECT_TRUE(zweite.count("ZRBELEG/EFGH2001.pdf"));
  EXPECT_TRUE(fs::exists(belegarchiv(8)));
  EXPECT_EQ(lfdNummerImIni(), 9);
}

TEST_F(LaufAufDaten, PdfsWithoutHyphenStayAndZipFilesAreNeverArchived) {
  goldenSettlement();
  writeBytes(zrbeleg / "ohneIndex.pdf", pdfInhalt("ohneIndex.pdf"));
  writeBytes(zrbeleg / "alt.zip", "PK old archive");
  writeBytes(arbeit / "ZRABR" / "Abrechnung.ZIP", "PK");
  writeBytes(arbeit / "ZRABR" / "Abrechnung.pdf", pdfInhalt("Abrechnung.pdf"));
  laufen();

  EXPECT_TRUE(fs::exists(zrbeleg / "ohneIndex.pdf"));
  EXPECT_EQ(verschoben, 5);
  EXPECT_NE(std::find(bediener.fortschritte.begin(), bediener.fortschritte.end(),
                      "Kopieren: ohneIndex.pdf"),
            bediener.fortschritte.end());
  const auto sicherung = mitLibzipLesen(backup());
  EXPECT_TRUE(sicherung.count("ZRABR/Abrechnung.pdf"));
  EXPECT_TRUE(sicherung.count("ZRBELEG/ohneIndex.pdf"));
  for (const auto& [name, e] : sicherung) {
    EXPECT_EQ(name.find(".zip"), std::string::npos) << name;
    EXPECT_EQ(name.find(".ZIP"), std::string::npos) << name;
  }
  EXPECT_FALSE(mitLibzipLesen(belegarchiv(7)).count("ohneIndex.pdf"));
}

TEST_F(LaufAufDaten, BookingFileThatCannotBeDeletedStopsTheRun) {
  goldenSettlement();
  const fs::path datei = zrbeleg / "Buchungen_20241130.csv";
  if (std::system(("chattr +i '" + datei.string() + "' 2>/dev/null").c_str()) != 0)
    GTEST_SKIP() << "the file system cannot make a file undeletable here";
  struct Freigabe {
    fs::path d;
    ~Freigabe() { (void)std::system(("chattr -i '" + d.string() + "'").c_str()); }
  } freigabe{datei};

  try {
    laufen();
    FAIL() << "the run must stop";
  } catch (const Fehler& f) {
    EXPECT_NE(std::string(f.what()).find(datei.string()), std::string::npos) << f.what();
  }
  EXPECT_EQ(lfdNummerImIni(), 7);
  EXPECT_EQ(bediener.protokollGezeigt, 0);
}

}  // namespace
}  // namespace belvanto
