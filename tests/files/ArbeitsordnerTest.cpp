// The working folders of a run on real folders in a temporary directory:
// clearing at the start, the backup, the move of the invoice PDFs and the
// document archive, with their names, progress texts and failures.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>

#include "ArchivPruefung.h"
#include "files/Arbeitsordner.h"
#include "files/ZipArchiv.h"
#include "support/OhneRoot.h"
#include "support/SkriptBediener.h"
#include "support/TestSupport.h"
#include "util/Dateijobs.h"
#include "util/Fehler.h"

namespace fs = std::filesystem;

namespace belvanto {
namespace {

using namespace test;

const Datum kHeute{2024, 7, 5};

class ArbeitsordnerTest : public ::testing::Test {
 protected:
  TempDir tmp;
  Konfiguration k;
  SkriptBediener b;
  fs::path w = tmp / "Belvanto";
  fs::path o = tmp / "datev";
  fs::path backup = tmp / "BackUp";

  void SetUp() override {
    k.ArbeitsVerzeichnis = w.string();
    k.AusgabeVerzeichnis = o.string();
    k.BackupVerzeichnis = backup.string();
    k.programmOrdner = tmp / "programm";
    k.Mitgliedsnummer = "123";
    k.LfdNummer = 12;
    fs::create_directories(w);
    fs::create_directories(backup);
  }
};

TEST_F(ArbeitsordnerTest, ArchiveNames) {
  const struct {
    std::string backupOrdner, ausgabe, mitglied;
    std::int32_t lfd;
    Datum datum;
    std::string backupName, belegarchiv;
  } faelle[] = {
      {"/b", "/o", "123", 12, {2024, 7, 5}, "/b/123-05-07-24.zip", "/o/Belege-123-05-07-24-12.zip"},
      {"/b/",
       "/o/",
       "4711",
       1,
       {2031, 12, 31},
       "/b/4711-31-12-31.zip",
       "/o/Belege-4711-31-12-31-1.zip"},
      {"/b", "/o", "", -3, {2000, 1, 9}, "/b/-09-01-00.zip", "/o/Belege--09-01-00--3.zip"},
  };
  for (const auto& f : faelle) {
    Konfiguration c;
    c.BackupVerzeichnis = f.backupOrdner;
    c.AusgabeVerzeichnis = f.ausgabe;
    c.Mitgliedsnummer = f.mitglied;
    c.LfdNummer = f.lfd;
    EXPECT_EQ(backupName(c, f.datum), fs::path(f.backupName));
    EXPECT_EQ(belegarchivName(c, f.datum), fs::path(f.belegarchiv));
  }
  // A member number must not lead the archive out of its folder.
  Konfiguration c;
  c.Mitgliedsnummer = "../123";
  EXPECT_NE(fehlerText([&] { backupName(c, kHeute); }).find("../123"), std::string::npos);
  EXPECT_THROW(belegarchivName(c, kHeute), Fehler);
}

// --- clearing ------------------------------------------------------------

TEST_F(ArbeitsordnerTest, OldFoldersAreClearedDependingOnDownload) {
  for (bool mitDownload : {true, false}) {
    SCOPED_TRACE(mitDownload ? "mit Download" : "ohne Download");
    fs::remove_all(w);
    for (const char* rel : {"ZRABR/a.pdf", "ZRBeleg/b.pdf", "RemADV/RemADV_1.csv", "Belege/x.xml",
                            "Mail/m.csv", "Eigenes/bleibt.txt", "bleibt.txt",
                            ".geloescht-Belege-1-2/y.xml"})
      writeBytes(w / rel, "x");
    // Folder names in another letter case are the same folders.
    writeBytes(w / "zrbeleg" / "c.pdf", "x");
    writeBytes(o / "Belege-123-01-01-24-1.zip", "PK");
    writeBytes(o / "fremd" / "von anderem Programm.txt", "x");

    AlteVerzeichnisseLoeschen(k, mitDownload, b);

    std::vector<std::string> erwartet = {"Eigenes", "bleibt.txt"};
    if (!mitDownload) erwartet = {"Eigenes", "RemADV", "ZRABR", "ZRBeleg", "bleibt.txt", "zrbeleg"};
    EXPECT_EQ(namenIn(w), erwartet);
    EXPECT_FALSE(fs::exists(o));
    EXPECT_TRUE(fs::exists(backup));
    EXPECT_EQ(b.fortschritte.back(), "Lösche alte Verzeichnisse");
  }
}

TEST_F(ArbeitsordnerTest, NothingThereToClearIsFine) {
  AlteVerzeichnisseLoeschen(k, true, b);
  EXPECT_TRUE(fs::exists(w));
  EXPECT_FALSE(fs::exists(o));
}

// The output folder is deleted at every start; a setting that would take the
// working data, the backups or the program with it stops the run instead.
TEST_F(ArbeitsordnerTest, DangerousOutputFolderIsRefused) {
  writeBytes(w / "Belege" / "x.xml", "x");
  writeBytes(backup / "123-01-01-24.zip", "PK");
  const struct {
    std::string ausgabe;
    const char* teil;
  } faelle[] = {
      {"", "kein Ausgabeverzeichnis"},
      {"/", "Wurzelverzeichnis"},
      {w.string(), "Arbeitsverzeichnis"},
      {w.string() + "/", "Arbeitsverzeichnis"},
      {tmp.path().string(), "Arbeitsverzeichnis"},
      {(w / "..").string(), "Arbeitsverzeichnis"},
      {backup.string(), "Backup-Verzeichnis"},
      {(tmp / "programm").string(), "Programmordner"},
  };
  fs::create_directories(tmp / "programm");
  for (const auto& f : faelle) {
    SCOPED_TRACE(f.ausgabe);
    k.AusgabeVerzeichnis = f.ausgabe;
    std::string text = fehlerText([&] { AlteVerzeichnisseLoeschen(k, true, b); });
    EXPECT_NE(text.find(f.teil), std::string::npos) << text;
    EXPECT_TRUE(fs::exists(w / "Belege" / "x.xml"));
    EXPECT_TRUE(fs::exists(backup / "123-01-01-24.zip"));
  }
  // The backup takes the working folder whole: a program folder inside it
  // would put the INI's passwords into every backup.
  k.AusgabeVerzeichnis = (tmp / "ausgabe").string();
  k.programmOrdner = w / "programm";
  const std::string text = fehlerText([&] { AlteVerzeichnisseLoeschen(k, true, b); });
  EXPECT_NE(text.find("enthält den Programmordner"), std::string::npos) << text;
  EXPECT_TRUE(fs::exists(w / "Belege" / "x.xml"));
}

TEST_F(ArbeitsordnerTest, VerzeichnisLoeschen) {
  writeBytes(tmp / "datei.txt", "x");
  writeBytes(tmp / "baum" / "a" / "b" / ".c", "x");
  writeBytes(tmp / "behalten" / "wichtig.txt", "x");
  fs::create_directory_symlink(tmp / "behalten", tmp / "link");
  // Enough files to be deleted on several threads, a link among them.
  for (int i = 0; i < 300; ++i) writeBytes(tmp / "baum" / "a" / std::to_string(i), "x");
  fs::create_directory_symlink(tmp / "behalten", tmp / "baum" / "a" / "link");
  fs::create_directories(tmp / "mitstrich");

  EXPECT_TRUE(VerzeichnisLoeschen(tmp / "datei.txt"));
  EXPECT_TRUE(VerzeichnisLoeschen(tmp / "baum"));
  EXPECT_TRUE(VerzeichnisLoeschen(tmp.path().string() + "/mitstrich/"));
  // A link goes, what it points to stays.
  EXPECT_TRUE(VerzeichnisLoeschen(tmp.path().string() + "/link/"));
  EXPECT_TRUE(fs::exists(tmp / "behalten" / "wichtig.txt"));
  EXPECT_FALSE(VerzeichnisLoeschen(tmp / "gibtsnicht"));
  EXPECT_FALSE(VerzeichnisLoeschen(""));
  EXPECT_FALSE(VerzeichnisLoeschen("/"));
  EXPECT_EQ(namenIn(tmp.path()), (std::vector<std::string>{"BackUp", "Belvanto", "behalten"}));
}

// A big folder is emptied in the background; small or big, the folder is
// there and empty at once, and nothing is left beside it once done.
TEST_F(ArbeitsordnerTest, VerzeichnisLeerenSmallAndBig) {
  for (const int anzahl : {3, 1200}) {
    SCOPED_TRACE(anzahl);
    for (int i = 0; i < anzahl; ++i) writeBytes(w / "Belege" / (std::to_string(i) + ".pdf"), "x");
    {
      const std::jthread faden = VerzeichnisLeeren(w / "Belege");
      EXPECT_EQ(faden.joinable(), anzahl > 1000);
      EXPECT_TRUE(namenIn(w / "Belege").empty());
    }
    EXPECT_EQ(namenIn(w), std::vector<std::string>{"Belege"});
  }
}

TEST_F(ArbeitsordnerTest, VerzeichnisLoeschenGoesOnPastWhatItCannotDelete) {
  writeBytes(w / "Belege" / "a.xml", "a");
  writeBytes(w / "Belege" / "fest" / "b.xml", "b");
  writeBytes(w / "Belege" / "z.xml", "z");
  fs::permissions(w / "Belege" / "fest", fs::perms::owner_read | fs::perms::owner_exec);
  OhneRootRechte ohne;
  if (!ohne.wirksam()) GTEST_SKIP() << "permissions do not bind here";
  EXPECT_FALSE(VerzeichnisLoeschen(w / "Belege"));
  EXPECT_EQ(namenIn(w / "Belege"), std::vector<std::string>{"fest"});
}

// --- backup --------------------------------------------------------------

TEST_F(ArbeitsordnerTest, BackupHoldsTheWorkingFolderWithoutZips) {
  writeBytes(w / "ZRBELEG" / "4711.pdf", "pdf");
  writeBytes(w / "ZRBELEG" / "Buchungen_20240705.csv", "b");
  writeBytes(w / "ZRBELEG" / "Index_20240705.csv", "i");
  writeBytes(w / "ZRABR" / "Abrechnung.pdf", "abr");
  writeBytes(w / "REMADV" / "RemADV_1.csv", "r");
  writeBytes(w / "Belege" / "alt.zip", "PK");
  writeBytes(w / "vorher.ZIP", "PK");
  // A folder being deleted in the background.
  writeBytes(w / ".geloescht-Belege-1-2" / "weg.pdf", "weg");

  BackupErstellen(k, b, kHeute);

  const fs::path archiv = backup / "123-05-07-24.zip";
  EXPECT_EQ(b.fortschritte, std::vector<std::string>{"Backup erstellen"});
  auto gelesen = mitLibzipLesen(archiv);
  EXPECT_EQ(
      schluessel(gelesen),
      (std::vector<std::string>{"Belege/", "REMADV/", "REMADV/RemADV_1.csv", "ZRABR/",
                                "ZRABR/Abrechnung.pdf", "ZRBELEG/", "ZRBELEG/4711.pdf",
                                "ZRBELEG/Buchungen_20240705.csv", "ZRBELEG/Index_20240705.csv"}));
  EXPECT_EQ(unzipInhalt(archiv, "ZRABR/Abrechnung.pdf"), "abr");
  // The backup changes nothing in the working folder.
  EXPECT_TRUE(fs::exists(w / "ZRBELEG" / "Buchungen_20240705.csv"));
}

// Runs of one day, one row each: new names join the day's backup; a name an
// earlier run's backup already holds sends the whole run to the next backup
// of the day, so no entry is ever replaced.
TEST_F(ArbeitsordnerTest, BackupsOfOneDayNeverReplaceAnEntry) {
  const struct {
    std::vector<std::pair<std::string, std::string>> dateien;
    std::string archiv;
  } laeufe[] = {
      {{{"ZRBELEG/Buchungen_1.csv", "erster"}, {"ZRABR/a.pdf", "a"}}, "123-05-07-24.zip"},
      {{{"ZRBELEG/Buchungen_3.csv", "dritter"}}, "123-05-07-24.zip"},
      {{{"ZRBELEG/Buchungen_1.csv", "zweiter"}, {"ZRBELEG/Buchungen_2.csv", "neu"}},
       "123-05-07-24-2.zip"},
      {{{"ZRBELEG/buchungen_1.CSV", "vierter"}}, "123-05-07-24-3.zip"},
  };
  for (const auto& lauf : laeufe) {
    fs::remove_all(w);
    for (const auto& [name, inhalt] : lauf.dateien) writeBytes(w / name, inhalt);
    EXPECT_EQ(BackupErstellen(k, b, kHeute).archiv, backup / lauf.archiv);
  }
  auto erstes = mitLibzipLesen(backup / "123-05-07-24.zip");
  EXPECT_EQ(schluessel(erstes),
            (std::vector<std::string>{"ZRABR/", "ZRABR/a.pdf", "ZRBELEG/",
                                      "ZRBELEG/Buchungen_1.csv", "ZRBELEG/Buchungen_3.csv"}));
  EXPECT_EQ(erstes["ZRBELEG/Buchungen_1.csv"].inhalt, "erster");
  EXPECT_EQ(mitLibzipLesen(backup / "123-05-07-24-2.zip")["ZRBELEG/Buchungen_1.csv"].inhalt,
            "zweiter");
  // Another day, another backup.
  EXPECT_EQ(BackupErstellen(k, b, Datum{2024, 7, 6}).archiv, backup / "123-06-07-24.zip");
}

TEST_F(ArbeitsordnerTest, MissingBackupFolderIsAnErrorAndIsNotCreated) {
  writeBytes(w / "a.txt", "a");
  fs::remove_all(backup);
  std::string text = fehlerText([&] { BackupErstellen(k, b, kHeute); });
  EXPECT_NE(text.find(backup.string()), std::string::npos) << text;
  EXPECT_NE(text.find("123-05-07-24.zip"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(backup));
}

// --- moving the PDFs -------------------------------------------------------

TEST_F(ArbeitsordnerTest, BelegeKopierenMovesHyphenatedPdfsAndShowsEveryPdf) {
  writeBytes(w / "ZRBELEG" / "50-RE1.pdf", "1");
  writeBytes(w / "ZRBELEG" / "51-RE2.PDF", "2");
  writeBytes(w / "ZRBELEG" / "4711.pdf", "bleibt");
  writeBytes(w / "ZRBELEG" / "52-notiz.txt", "kein pdf");
  writeBytes(w / "ZRBELEG" / "Buchungen_1.csv", "b");

  EXPECT_EQ(BelegeKopieren(k, b), 2);

  EXPECT_EQ(b.fortschritte, (std::vector<std::string>{"Kopieren: 4711.pdf", "Kopieren: 50-RE1.pdf",
                                                      "Kopieren: 51-RE2.PDF"}));
  EXPECT_EQ(namenIn(w / "Belege"), (std::vector<std::string>{"50-RE1.pdf", "51-RE2.PDF"}));
  EXPECT_EQ(readBytes(w / "Belege" / "51-RE2.PDF"), "2");
  EXPECT_EQ(namenIn(w / "ZRBELEG"),
            (std::vector<std::string>{"4711.pdf", "52-notiz.txt", "Buchungen_1.csv"}));
}

TEST_F(ArbeitsordnerTest, BelegeKopierenFindsFoldersInAnyCaseAndCreatesBelege) {
  writeBytes(w / "ZRBeleg" / "1-a.pdf", "a");
  fs::create_directories(w / "BELEGE");
  EXPECT_EQ(BelegeKopieren(k, b), 1);
  EXPECT_TRUE(fs::exists(w / "BELEGE" / "1-a.pdf"));

  // No ZRBELEG at all: nothing moved, nothing shown, but Belege exists.
  fs::remove_all(w);
  fs::create_directories(w);
  b.fortschritte.clear();
  EXPECT_EQ(BelegeKopieren(k, b), 0);
  EXPECT_TRUE(fs::is_directory(w / "Belege"));
  EXPECT_TRUE(b.fortschritte.empty());
}

TEST_F(ArbeitsordnerTest, BelegeKopierenDoesNotCountWhatCannotBeMoved) {
  writeBytes(w / "ZRBELEG" / "1-a.pdf", "neu");
  writeBytes(w / "ZRBELEG" / "2-b.pdf", "b");
  writeBytes(w / "Belege" / "1-a.pdf", "schon da");
  EXPECT_EQ(BelegeKopieren(k, b), 1);
  EXPECT_EQ(readBytes(w / "Belege" / "1-a.pdf"), "schon da");
  EXPECT_EQ(readBytes(w / "ZRBELEG" / "1-a.pdf"), "neu");
  EXPECT_EQ(b.fortschritte.size(), 2u);
}

class VerschiebenOhneErsetzenTest : public ::testing::Test {
 protected:
  TempDir tmp;
};

TEST_F(VerschiebenOhneErsetzenTest, WithinOneFileSystem) {
  writeBytes(tmp / "q" / "a.pdf", "inhalt");
  fs::create_directories(tmp / "z");
  mtimeSetzen(tmp / "q" / "a.pdf", 1700000000);

  EXPECT_TRUE(verschiebenOhneErsetzen(tmp / "q" / "a.pdf", tmp / "z" / "b.pdf"));
  EXPECT_FALSE(fs::exists(tmp / "q" / "a.pdf"));
  EXPECT_EQ(readBytes(tmp / "z" / "b.pdf"), "inhalt");
  struct stat st {};
  ::stat((tmp / "z" / "b.pdf").c_str(), &st);
  EXPECT_EQ(st.st_mtime, 1700000000);
}

TEST_F(VerschiebenOhneErsetzenTest, RefusesWhatCannotBeDoneAndLeavesEverythingAsItWas) {
  writeBytes(tmp / "q" / "a.pdf", "quelle");
  writeBytes(tmp / "z" / "a.pdf", "ziel");
  fs::create_directories(tmp / "z" / "ordner");
  fs::create_directories(tmp / "q" / "ordner");
  const struct {
    fs::path quelle, ziel;
  } faelle[] = {
      {tmp / "q" / "a.pdf", tmp / "z" / "a.pdf"},        // target exists
      {tmp / "q" / "a.pdf", tmp / "z" / "ordner"},       // target is a folder
      {tmp / "q" / "a.pdf", tmp / "q" / "a.pdf"},        // onto itself
      {tmp / "q" / "fehlt.pdf", tmp / "z" / "neu.pdf"},  // no source
      {tmp / "q" / "a.pdf", tmp / "fehlt" / "a.pdf"},    // no target folder
      {tmp / "q" / "ordner", tmp / "z" / "o2"},          // a folder, not a file
  };
  for (const auto& f : faelle) {
    SCOPED_TRACE(f.quelle.string() + " -> " + f.ziel.string());
    EXPECT_FALSE(verschiebenOhneErsetzen(f.quelle, f.ziel));
    EXPECT_EQ(readBytes(tmp / "q" / "a.pdf"), "quelle");
    EXPECT_EQ(readBytes(tmp / "z" / "a.pdf"), "ziel");
  }
  EXPECT_FALSE(fs::exists(tmp / "z" / "o2"));
}

// Across file systems the file is copied, synced, and only then deleted.
TEST_F(VerschiebenOhneErsetzenTest, AcrossFileSystems) {
  struct stat a {
  }, b{};
  if (::stat("/dev/shm", &a) != 0 || ::stat(tmp.path().c_str(), &b) != 0 || a.st_dev == b.st_dev)
    GTEST_SKIP() << "no second file system at /dev/shm";
  char vorlage[] = "/dev/shm/belvanto-test-XXXXXX";
  ASSERT_NE(::mkdtemp(vorlage), nullptr);
  const fs::path anderes = vorlage;
  const std::string inhalt = zufallsBytes(700 * 1024, 5);
  writeBytes(tmp / "a.pdf", inhalt);
  fs::permissions(tmp / "a.pdf", fs::perms::owner_read | fs::perms::group_read);
  mtimeSetzen(tmp / "a.pdf", 1600000000);
  writeBytes(anderes / "schon.pdf", "schon da");
  writeBytes(tmp / "b.pdf", "b");

  EXPECT_TRUE(verschiebenOhneErsetzen(tmp / "a.pdf", anderes / "a.pdf"));
  EXPECT_FALSE(fs::exists(tmp / "a.pdf"));
  EXPECT_EQ(readBytes(anderes / "a.pdf"), inhalt);
  struct stat st {};
  ::stat((anderes / "a.pdf").c_str(), &st);
  EXPECT_EQ(st.st_mtime, 1600000000);
  EXPECT_EQ(st.st_mode & 0777, 0440u);

  EXPECT_FALSE(verschiebenOhneErsetzen(tmp / "b.pdf", anderes / "schon.pdf"));
  EXPECT_EQ(readBytes(anderes / "schon.pdf"), "schon da");
  EXPECT_EQ(readBytes(tmp / "b.pdf"), "b");
  // No temporary copy stays behind.
  EXPECT_EQ(namenIn(anderes), (std::vector<std::string>{"a.pdf", "schon.pdf"}));
  fs::remove_all(anderes);
}

// --- document archive ------------------------------------------------------

TEST_F(ArbeitsordnerTest, BelegarchivHoldsBelegeAtTopLevelAndCountsUp) {
  writeBytes(w / "Belege" / "document.xml", "<archive/>");
  writeBytes(w / "Belege" / "50-RE1.xml", "<ledger/>");
  writeBytes(w / "Belege" / "50-RE1.pdf", "%PDF");
  writeBytes(w / "Belege" / "liegengeblieben.zip", "PK");
  writeBytes(w / "ZRBELEG" / "nicht.pdf", "nicht im Belegarchiv");
  fs::create_directories(o);

  const fs::path archiv = BelegarchivErstellen(k, b, kHeute);

  EXPECT_EQ(archiv, o / "Belege-123-05-07-24-12.zip");
  EXPECT_EQ(b.fortschritte, std::vector<std::string>{"Belegarchiv erstellen"});
  auto gelesen = mitLibzipLesen(archiv);
  EXPECT_EQ(schluessel(gelesen),
            (std::vector<std::string>{"50-RE1.pdf", "50-RE1.xml", "document.xml"}));
  auto unzip = unzipNamen(archiv);
  std::sort(unzip.begin(), unzip.end());
  EXPECT_EQ(unzip, schluessel(gelesen));
  EXPECT_EQ(unzipInhalt(archiv, "document.xml"), "<archive/>");

  // The next booking file of the day: a second archive with the next number.
  fs::remove_all(w / "Belege");
  writeBytes(w / "Belege" / "document.xml", "<zwei/>");
  ++k.LfdNummer;
  EXPECT_EQ(BelegarchivErstellen(k, b, kHeute), o / "Belege-123-05-07-24-13.zip");
  EXPECT_EQ(mitLibzipLesen(o / "Belege-123-05-07-24-12.zip").size(), 3u);
  EXPECT_EQ(mitLibzipLesen(o / "Belege-123-05-07-24-13.zip")["document.xml"].inhalt, "<zwei/>");
}

TEST_F(ArbeitsordnerTest, FailedBelegarchivNamesTheArchiveAndLeavesNothing) {
  writeBytes(w / "Belege" / "document.xml", "<archive/>");
  // The output folder missing.
  std::string text = fehlerText([&] { BelegarchivErstellen(k, b, kHeute); });
  EXPECT_NE(text.find("Belege-123-05-07-24-12.zip"), std::string::npos) << text;

  // The running number at its end.
  fs::create_directories(o);
  k.LfdNummer = INT32_MAX;
  EXPECT_THROW(BelegarchivErstellen(k, b, kHeute), Fehler);
  EXPECT_TRUE(namenIn(o).empty());

  // The output folder not writable.
  k.LfdNummer = 12;
  fs::permissions(o, fs::perms::owner_read | fs::perms::owner_exec);
  OhneRootRechte ohne;
  if (!ohne.wirksam()) GTEST_SKIP() << "permissions do not bind here";
  text = fehlerText([&] { BelegarchivErstellen(k, b, kHeute); });
  EXPECT_NE(text.find("Belege-123-05-07-24-12.zip"), std::string::npos) << text;
  EXPECT_TRUE(namenIn(o).empty());
}

TEST_F(ArbeitsordnerTest, FailedBelegarchivLeavesAnEarlierArchiveOfTheSameNameAlone) {
  writeBytes(w / "Belege" / "document.xml", "<neu/>");
  writeBytes(w / "Belege" / "50-RE1.pdf", "%PDF");
  fs::create_directories(o);
  writeBytes(tmp / "frueher" / "document.xml", "<frueher/>");
  const fs::path archiv = o / "Belege-123-05-07-24-12.zip";
  ordnerArchivieren(tmp / "frueher", archiv);
  const std::string vorher = readBytes(archiv);

  fs::permissions(w / "Belege" / "50-RE1.pdf", fs::perms::none);
  OhneRootRechte ohne;
  if (!ohne.wirksam()) GTEST_SKIP() << "permissions do not bind here";
  std::string text = fehlerText([&] { BelegarchivErstellen(k, b, kHeute); });
  EXPECT_NE(text.find("50-RE1.pdf"), std::string::npos) << text;
  EXPECT_EQ(readBytes(archiv), vorher);
}

}  // namespace
}  // namespace belvanto
