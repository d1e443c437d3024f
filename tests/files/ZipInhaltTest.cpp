// Archive contents as three independent readers see them: libzip, Info-ZIP's
// unzip and Python's zipfile must each find exactly the files of the tree,
// byte for byte, whichever way the writer packed them, and the document
// archive must hold every PDF's current bytes whether its data came from the
// backup or was deflated afresh.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include "ArchivPruefung.h"
#include "files/Arbeitsordner.h"
#include "files/ZipArchiv.h"
#include "files/ZipSchreiber.h"
#include "support/StillerBediener.h"
#include "support/TestSupport.h"

namespace fs = std::filesystem;

namespace belvanto {
namespace {

using namespace test;

// Invoice-like text: words in random order, where Deflate levels differ.
std::string rechnungsText(std::size_t n, unsigned saat) {
  static const char* kWorte[] = {"Rechnung", "Lieferant", "Betrag",  "EUR",   "19,00",
                                 "Datum",    "Artikel",   "Menge",   "Summe", "netto",
                                 "brutto",   "Skonto",    "Zahlbar", "bis",   "Morvenau",
                                 "eG",       "\r\n",      "4711",    "Nr."};
  std::string s;
  for (const char c : zufallsBytes(n, saat)) {
    s += kWorte[static_cast<unsigned char>(c) % std::size(kWorte)];
    s += ' ';
    if (s.size() >= n) break;
  }
  s.resize(n);
  return s;
}

Inhalt libzipInhalt(const fs::path& archiv) {
  Inhalt inhalt;
  for (const auto& [name, e] : mitLibzipLesen(archiv)) inhalt[name] = e.inhalt;
  return inhalt;
}

// Names present on one side only or with other bytes: short to print, unlike
// the contents themselves.
std::vector<std::string> abweichungen(const Inhalt& gelesen, const Inhalt& erwartet) {
  std::vector<std::string> namen;
  for (const auto& [name, bytes] : gelesen) {
    auto it = erwartet.find(name);
    if (it == erwartet.end() || it->second != bytes) namen.push_back(name);
  }
  for (const auto& [name, bytes] : erwartet)
    if (!gelesen.count(name)) namen.push_back(name + " (fehlt)");
  return namen;
}

class ZipInhaltTest : public ::testing::Test {
 protected:
  TempDir tmp;
  fs::path archiv = tmp / "archiv.zip";

  void dreiLeserSehen(const Inhalt& erwartet) {
    const std::vector<std::string> keine;
    EXPECT_EQ(abweichungen(libzipInhalt(archiv), erwartet), keine) << "libzip";
    EXPECT_EQ(abweichungen(mitUnzipLesen(archiv, tmp / "unzip"), erwartet), keine) << "unzip";
    EXPECT_EQ(abweichungen(mitPythonLesen(archiv), erwartet), keine) << "Python";
  }
};

TEST_F(ZipInhaltTest, ThreeReadersFindTheTreeHoweverItWasPacked) {
  const fs::path basis = tmp / "W";
  writeBytes(basis / "text.csv", textBytes(300 * 1024));
  writeBytes(basis / "zufall.pdf", zufallsBytes(200 * 1024, 1));
  writeBytes(basis / "gemischt.pdf", textBytes(30 * 1024) + zufallsBytes(70 * 1024, 2));
  writeBytes(basis / "leer.txt", "");
  writeBytes(basis / "ein.txt", "x");
  writeBytes(basis / "Sub" / "Übersicht.PDF", textBytes(5000));
  writeBytes(basis / "Sub" / "Tief" / "50-RE1.xml", "<ledger/>");
  writeBytes(basis / "Sub" / "alt.ZIP", "PK");
  fs::create_directories(basis / "Leer");
  const Inhalt baum = ordnerInhalt(basis);
  ASSERT_EQ(baum.size(), 10u);

  const struct {
    const char* wie;
    ZipEinstellungen e;
  } faelle[] = {
      {"im Speicher, zwei Helfer", {6, 16u << 20, 2, 64u << 20, false}},
      {"im Speicher, ohne Helfer, Budget unter einer Datei", {6, 16u << 20, 0, 1000, false}},
      {"gestreamt", {6, 1000, 2, 64u << 20, false}},
      {"Stufe 1", {1, 16u << 20, 1, 64u << 20, false}},
      {"Stufe 9, gestreamt", {9, 0, 1, 64u << 20, true}},
  };
  for (const auto& fall : faelle) {
    SCOPED_TRACE(fall.wie);
    fs::remove(archiv);
    ordnerArchivieren(basis, archiv, fall.e);
    dreiLeserSehen(baum);
  }

  // Added to an existing archive: its other entries are copied as they are,
  // those of the same name in any letter case give way to the new files.
  const fs::path frueher = tmp / "frueher";
  writeBytes(frueher / "bleibt.txt", textBytes(10000));
  writeBytes(frueher / "TEXT.CSV", "alt");
  writeBytes(frueher / "Alt" / "zufall.bin", zufallsBytes(3000, 3));
  fs::remove(archiv);
  ordnerArchivieren(frueher, archiv);
  ordnerArchivieren(basis, archiv);
  Inhalt erwartet = baum;
  erwartet.merge(Inhalt{
      {"bleibt.txt", textBytes(10000)}, {"Alt/", ""}, {"Alt/zufall.bin", zufallsBytes(3000, 3)}});
  dreiLeserSehen(erwartet);
}

// 65,535 entries and more need zip64 end records; adding to such an archive
// copies them all.
TEST_F(ZipInhaltTest, ManyEntriesTakeZip64EndRecords) {
  const int anzahl = 65600;
  Inhalt erwartet;
  {
    const int fd = ::open(archiv.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    ASSERT_GE(fd, 0);
    ZipSchreiber zs(fd);
    for (int i = 0; i < anzahl; ++i) {
      ZipKopf k;
      k.name = "e/" + std::to_string(i);
      const std::string daten = std::to_string(i * 7);
      k.crc = static_cast<std::uint32_t>(
          crc32(0, reinterpret_cast<const Bytef*>(daten.data()), static_cast<uInt>(daten.size())));
      k.groesse = k.dichteGroesse = daten.size();
      k.mtime = 1720180000;
      zs.eintrag(k, reinterpret_cast<const unsigned char*>(daten.data()), daten.size());
      erwartet[k.name] = daten;
    }
    zs.abschliessen();
    ::close(fd);
  }
  writeBytes(tmp / "W" / "neu.txt", "neu");
  ordnerArchivieren(tmp / "W", archiv);
  erwartet["neu.txt"] = "neu";

  EXPECT_TRUE(unzipPrueft(archiv));
  EXPECT_EQ(unzipNamen(archiv).size(), anzahl + 1u);
  EXPECT_TRUE(abweichungen(libzipInhalt(archiv), erwartet).empty());
  EXPECT_TRUE(abweichungen(mitPythonLesen(archiv), erwartet).empty());
}

// The document archive takes the PDFs' Deflate data from the backup wherever
// the bytes are still those of the backup; a PDF changed since, even to the
// same size and CRC-32 or in place with its modification time put back, is
// deflated afresh. Either way it holds what a
// document archive written without any backup holds.
TEST_F(ZipInhaltTest, DocumentArchiveTakesFromTheBackupOnlyWhatIsUnchanged) {
  Konfiguration k;
  k.ArbeitsVerzeichnis = (tmp / "W").string();
  k.BackupVerzeichnis = (tmp / "BackUp").string();
  k.AusgabeVerzeichnis = (tmp / "datev").string();
  k.Mitgliedsnummer = "123";
  k.LfdNummer = 1;
  const Datum heute{2024, 7, 5};
  const fs::path w = k.ArbeitsVerzeichnis;
  for (int i = 1; i <= 6; ++i)
    writeBytes(w / "ZRBELEG" / ("BELG" + std::to_string(i) + ".pdf"),
               rechnungsText(4000 + 500 * i, i) + zufallsBytes(3000, i));
  writeBytes(w / "ZRBELEG" / "BELG7.pdf", zufallsBytes(5000, 7));  // stored
  fs::create_directories(k.BackupVerzeichnis);
  fs::create_directories(k.AusgabeVerzeichnis);
  // A backup deflated at level 1: data taken from it differs from level 6's.
  const auto gesichert =
      ordnerArchivieren(w, backupName(k, heute), {1, 16u << 20, 2, 64u << 20, false});

  // The index reader renames the PDFs, the run moves them into Belege.
  for (int i = 1; i <= 7; ++i)
    fs::rename(w / "ZRBELEG" / ("BELG" + std::to_string(i) + ".pdf"),
               w / "ZRBELEG" / ("50-RE" + std::to_string(i) + ".pdf"));
  test::StillerBediener b;
  ASSERT_EQ(BelegeKopieren(k, b), 7);
  const fs::path belege = w / "Belege";
  writeBytes(belege / "document.xml", "<archive/>");
  writeBytes(belege / "50-RE2.pdf", readBytes(belege / "50-RE2.pdf") + "%%EOF\n");
  std::string gleicheCrc = readBytes(belege / "50-RE3.pdf");
  for (int i = 0; const unsigned char x : {0x41, 0x06, 0x71, 0xDB, 0x01})
    gleicheCrc[100 + i++] ^= static_cast<char>(x);
  writeBytes(belege / "50-RE3.pdf", gleicheCrc);
  std::string einByte = readBytes(belege / "50-RE4.pdf");
  einByte[10] ^= 1;
  writeBytes(belege / "50-RE4.pdf", einByte);
  {
    struct stat st {};
    ASSERT_EQ(::stat((belege / "50-RE5.pdf").c_str(), &st), 0);
    const int fd = ::open((belege / "50-RE5.pdf").c_str(), O_WRONLY);
    ASSERT_EQ(::pwrite(fd, "X", 1, 20), 1);
    const timespec zeiten[2] = {st.st_atim, st.st_mtim};
    ASSERT_EQ(::futimens(fd, zeiten), 0);
    ::close(fd);
  }

  archiv = BelegarchivErstellen(k, b, heute, {backupName(k, heute), {}, gesichert.nachweis});
  const fs::path ohne = tmp / "ohne-backup.zip";
  ordnerArchivieren(belege, ohne);

  const Inhalt erwartet = ordnerInhalt(belege);
  dreiLeserSehen(erwartet);
  EXPECT_TRUE(abweichungen(libzipInhalt(ohne), erwartet).empty());
  auto ausBackup = mitLibzipLesen(backupName(k, heute));
  auto mit = mitLibzipLesen(archiv);
  auto frisch = mitLibzipLesen(ohne);
  for (int i = 1; i <= 7; ++i) {
    SCOPED_TRACE(i);
    const std::string name = "50-RE" + std::to_string(i) + ".pdf";
    const auto& vorher = ausBackup["ZRBELEG/BELG" + std::to_string(i) + ".pdf"];
    const bool veraendert = i >= 2 && i <= 5;
    EXPECT_EQ(mit[name].dichteGroesse,
              veraendert ? frisch[name].dichteGroesse : vorher.dichteGroesse);
    EXPECT_EQ(mit[name].methode, i == 7 ? ZIP_CM_STORE : ZIP_CM_DEFLATE);
    if (i != 7) {
      EXPECT_NE(vorher.dichteGroesse, frisch[name].dichteGroesse);
    }
  }
}

}  // namespace
}  // namespace belvanto
