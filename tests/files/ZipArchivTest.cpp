// The ZIP writer on real folder trees: every archive is read back with libzip
// and with unzip, and its entries, contents, methods and times are compared
// with what was on disk. The failure cases check that no damaged archive is
// left under the final name and an existing one stays as it was.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>

#include <map>

#include "ArchivPruefung.h"
#include "files/ZipArchiv.h"
#include "support/OhneRoot.h"
#include "support/TestSupport.h"
#include "util/Fehler.h"

namespace fs = std::filesystem;

namespace belvanto {
namespace {

using namespace test;

class ZipArchivTest : public ::testing::Test {
 protected:
  TempDir tmp;
  fs::path basis = tmp / "W";
  fs::path ziel = tmp / "out";
  fs::path archiv = ziel / "archiv.zip";

  void SetUp() override {
    fs::create_directories(basis);
    fs::create_directories(ziel);
  }
  void datei(const std::string& rel, const std::string& inhalt) { writeBytes(basis / rel, inhalt); }
};

TEST_F(ZipArchivTest, TreeBecomesEntriesWithFoldersAndRelativeNamesButNoZips) {
  datei("Buchungen_20240705.csv", "Kopf;Zeile\r\n1;2\r\n");
  datei(".versteckt", "hidden");
  datei("ZRBELEG/123-RE1.pdf", "%PDF-1.4 eins");
  datei("ZRBELEG/Unter/tief.txt", "tief");
  datei("ZRBELEG/Übersicht.PDF", "umlaut");
  datei("ZRBELEG/name.zip.txt", "not a zip");
  datei("alt.zip", "PK old backup");
  datei("ZRBELEG/Unter/NOCHEINS.ZIP", "PK");
  fs::create_directories(basis / "Leer");

  ZipBericht bericht = ordnerArchivieren(basis, archiv);

  const std::vector<std::string> erwartet = {
      ".versteckt",     "Buchungen_20240705.csv", "Leer/",
      "ZRBELEG/",       "ZRBELEG/123-RE1.pdf",    "ZRBELEG/name.zip.txt",
      "ZRBELEG/Unter/", "ZRBELEG/Unter/tief.txt", "ZRBELEG/Übersicht.PDF"};
  auto gelesen = mitLibzipLesen(archiv);
  auto namen = schluessel(gelesen);
  std::sort(namen.begin(), namen.end());
  auto sortiert = erwartet;
  std::sort(sortiert.begin(), sortiert.end());
  EXPECT_EQ(namen, sortiert);
  EXPECT_EQ(bericht.dateien, 6u);
  EXPECT_EQ(bericht.ordner, 3u);
  EXPECT_EQ(gelesen["ZRBELEG/Unter/tief.txt"].inhalt, "tief");
  EXPECT_EQ(gelesen["ZRBELEG/Übersicht.PDF"].inhalt, "umlaut");
  EXPECT_EQ(gelesen["Leer/"].inhalt, "");

  // Info-ZIP sees the same entries and contents.
  auto unzip = unzipNamen(archiv);
  std::sort(unzip.begin(), unzip.end());
  EXPECT_EQ(unzip, sortiert);
  EXPECT_EQ(unzipListe(archiv).size(), erwartet.size());
  EXPECT_TRUE(unzipPrueft(archiv));
  EXPECT_EQ(unzipInhalt(archiv, "Buchungen_20240705.csv"), "Kopf;Zeile\r\n1;2\r\n");
  EXPECT_EQ(unzipInhalt(archiv, "ZRBELEG/123-RE1.pdf"), "%PDF-1.4 eins");
  EXPECT_EQ(unzipInhalt(archiv, ".versteckt"), "hidden");
}

// Names Windows cannot take go in under names it can, never onto another
// entry; a name that needs no change keeps it, and every change is reported.
TEST_F(ZipArchivTest, NamesWindowsCannotTakeGetSafeEntries) {
  const std::pair<std::string, std::string> namen[] = {
      {"a:b?.pdf", "a_b_~2.pdf"},  {"a_b_.pdf", "a_b_.pdf"},   {"CON.pdf", "_CON.pdf"},
      {"lpt1", "_lpt1"},           {"com0.txt", "com0.txt"},   {"punkt. ", "punkt__"},
      {"x|y/\"<*>.csv", "x_y/____.csv"}, {"Zeile\x01.pdf", "Zeile_.pdf"},
  };
  for (const auto& [name, eintrag] : namen) datei(name, name);
  const ZipBericht bericht = ordnerArchivieren(basis, archiv);
  auto gelesen = mitLibzipLesen(archiv);
  std::map<std::string, std::string> eintraege(bericht.eintraege.begin(), bericht.eintraege.end());
  for (const auto& [name, eintrag] : namen) {
    EXPECT_EQ(gelesen[eintrag].inhalt, name) << name;
    EXPECT_EQ(eintraege[name], eintrag) << name;
  }
  EXPECT_EQ(eintraege["x|y/"], "x_y/");
}

// Each entry is deflated when that makes it smaller, stored otherwise; on both
// paths, in memory and streamed from disk, and with any number of helpers.
TEST_F(ZipArchivTest, StoresWhatDeflateDoesNotShrinkAndDeflatesTheRest) {
  const std::string zufall = zufallsBytes(100 * 1024, 7);
  const std::string text = textBytes(100 * 1024);
  datei("zufall.pdf", zufall);
  datei("text.csv", text);
  datei("leer.txt", "");
  datei("ein.txt", "x");

  const struct {
    const char* wie;
    ZipEinstellungen e;
  } faelle[] = {
      {"im Speicher, zwei Helfer", {6, 16u << 20, 2, 64u << 20, true}},
      {"im Speicher, ohne Helfer", {6, 16u << 20, 0, 64u << 20, false}},
      {"im Speicher, knappes Budget", {6, 16u << 20, 2, 1, false}},
      {"gestreamt", {6, 1000, 1, 64u << 20, false}},
  };
  for (const auto& fall : faelle) {
    SCOPED_TRACE(fall.wie);
    fs::remove(archiv);
    ordnerArchivieren(basis, archiv, fall.e);
    auto gelesen = mitLibzipLesen(archiv);
    ASSERT_EQ(gelesen.size(), 4u);
    EXPECT_EQ(gelesen["zufall.pdf"].methode, ZIP_CM_STORE);
    EXPECT_EQ(gelesen["zufall.pdf"].dichteGroesse, zufall.size());
    EXPECT_EQ(gelesen["zufall.pdf"].inhalt, zufall);
    EXPECT_EQ(gelesen["text.csv"].methode, ZIP_CM_DEFLATE);
    EXPECT_LT(gelesen["text.csv"].dichteGroesse, text.size() / 4);
    EXPECT_EQ(gelesen["text.csv"].inhalt, text);
    EXPECT_EQ(gelesen["leer.txt"].methode, ZIP_CM_STORE);
    EXPECT_EQ(gelesen["ein.txt"].methode, ZIP_CM_STORE);
    EXPECT_EQ(gelesen["ein.txt"].inhalt, "x");
    EXPECT_TRUE(unzipPrueft(archiv));
    EXPECT_EQ(unzipInhalt(archiv, "zufall.pdf"), zufall);
    EXPECT_EQ(unzipInhalt(archiv, "text.csv"), text);
    const std::string liste = ausfuehren("unzip -v " + shellWort(archiv.string())).text;
    EXPECT_NE(liste.find("Stored"), std::string::npos);
    EXPECT_NE(liste.find("Defl:N"), std::string::npos);
  }
}

TEST_F(ZipArchivTest, SameArchiveWhateverTheNumberOfHelpers) {
  for (int i = 0; i < 40; ++i)
    datei("ZRBELEG/" + std::to_string(i) + "-RE.pdf",
          textBytes(1000 + i * 50) + zufallsBytes(2000 + i * 10, i));
  std::string vorlage;
  for (int helfer : {0, 1, 2, 3}) {
    fs::remove(archiv);
    ordnerArchivieren(basis, archiv, {6, 16u << 20, helfer, 8000, false});
    std::string bytes = readBytes(archiv);
    if (vorlage.empty())
      vorlage = bytes;
    else
      EXPECT_EQ(bytes, vorlage) << helfer << " helpers";
  }
  EXPECT_EQ(mitLibzipLesen(archiv).size(), 41u);
}

TEST_F(ZipArchivTest, KeepsModificationTimes) {
  datei("a.pdf", "a");
  fs::create_directories(basis / "Sub");
  // DOS times count in steps of two seconds, in local time.
  std::tm tm{};
  tm.tm_year = 2024 - 1900;
  tm.tm_mon = 6;
  tm.tm_mday = 5;
  tm.tm_hour = 14;
  tm.tm_min = 30;
  tm.tm_sec = 24;
  tm.tm_isdst = -1;
  const std::time_t zeit = std::mktime(&tm);
  mtimeSetzen(basis / "a.pdf", zeit);
  mtimeSetzen(basis / "Sub", zeit - 86400);

  ordnerArchivieren(basis, archiv);
  auto gelesen = mitLibzipLesen(archiv);
  EXPECT_EQ(gelesen["a.pdf"].mtime, zeit);
  EXPECT_EQ(gelesen["Sub/"].mtime, zeit - 86400);
  EXPECT_NE(unzipListe(archiv).size(), 0u);
  const std::string liste = ausfuehren("unzip -l " + shellWort(archiv.string())).text;
  EXPECT_NE(liste.find("2024-07-05 14:30"), std::string::npos) << liste;
}

TEST_F(ZipArchivTest, SecondRunAddsToTheArchiveAndReplacesEntriesOfTheSameName) {
  datei("a.txt", "erste Fassung");
  datei("B.TXT", "bleibt");
  datei("Sub/c.txt", "c");
  ordnerArchivieren(basis, archiv);

  fs::remove_all(basis);
  datei("a.txt", "zweite Fassung");
  datei("b.txt", "ersetzt B.TXT, denn Windows kennt nur eine der beiden");
  datei("neu.txt", "neu");
  ZipBericht bericht = ordnerArchivieren(basis, archiv);

  auto gelesen = mitLibzipLesen(archiv);
  EXPECT_EQ(schluessel(gelesen),
            (std::vector<std::string>{"Sub/", "Sub/c.txt", "a.txt", "b.txt", "neu.txt"}));
  EXPECT_EQ(gelesen["a.txt"].inhalt, "zweite Fassung");
  EXPECT_EQ(gelesen["Sub/c.txt"].inhalt, "c");
  EXPECT_EQ(bericht.ersetzt, 2u);
  EXPECT_EQ(bericht.dateien, 3u);
  EXPECT_TRUE(unzipPrueft(archiv));
  EXPECT_EQ(unzipInhalt(archiv, "a.txt"), "zweite Fassung");
}

TEST_F(ZipArchivTest, NothingToArchive) {
  // No archive yet: an empty one is written, so that the archive exists.
  ordnerArchivieren(tmp / "gibtsnicht", archiv);
  EXPECT_EQ(readBytes(archiv).size(), 22u);
  EXPECT_TRUE(mitLibzipLesen(archiv).empty());

  // An existing archive stays byte for byte as it was.
  fs::remove(archiv);
  datei("a.txt", "a");
  ordnerArchivieren(basis, archiv);
  const std::string vorher = readBytes(archiv);
  fs::create_directories(tmp / "leer");
  ordnerArchivieren(tmp / "leer", archiv);
  EXPECT_EQ(readBytes(archiv), vorher);
}

TEST_F(ZipArchivTest, LinksAndSpecialFiles) {
  datei("echt.txt", "echt");
  writeBytes(tmp / "draussen" / "ziel.txt", "gelinkt");
  fs::create_symlink(tmp / "draussen" / "ziel.txt", basis / "link.txt");
  fs::create_symlink(tmp / "draussen", basis / "ordnerlink");
  fs::create_symlink(tmp / "nirgends", basis / "kaputt.txt");
  fs::create_directory_symlink(basis, basis / "kreis");
  ASSERT_EQ(::mkfifo((basis / "fifo").c_str(), 0600), 0);

  ordnerArchivieren(basis, archiv);
  auto gelesen = mitLibzipLesen(archiv);
  EXPECT_EQ(schluessel(gelesen), (std::vector<std::string>{"echt.txt", "link.txt"}));
  EXPECT_EQ(gelesen["link.txt"].inhalt, "gelinkt");
}

// --- failures -------------------------------------------------------------

class ZipFehlerTest : public ZipArchivTest {
 protected:
  std::string altesArchiv;

  // An archive from an earlier run that a failed run must leave alone.
  void altesArchivAnlegen() {
    writeBytes(tmp / "alt" / "frueher.txt", "frueher");
    ordnerArchivieren(tmp / "alt", archiv);
    altesArchiv = readBytes(archiv);
  }
  void unveraendert() {
    if (altesArchiv.empty()) {
      EXPECT_FALSE(fs::exists(archiv));
    } else {
      EXPECT_EQ(readBytes(archiv), altesArchiv);
    }
    // No temporary file of the writer stays behind.
    auto namen = namenIn(archiv.parent_path());
    for (const auto& n : namen) EXPECT_EQ(n.find("archiv.zip."), std::string::npos) << n;
  }
};

TEST_F(ZipFehlerTest, TargetFolderMissing) {
  datei("a.txt", "a");
  const fs::path fehlt = tmp / "fehlt" / "archiv.zip";
  std::string text = fehlerText([&] { ordnerArchivieren(basis, fehlt); });
  EXPECT_NE(text.find(fehlt.string()), std::string::npos) << text;
  EXPECT_NE(text.find("existiert nicht"), std::string::npos) << text;
  EXPECT_FALSE(fs::exists(tmp / "fehlt"));
}

TEST_F(ZipFehlerTest, UnreadableFileNamesArchiveAndFile) {
  for (bool vorhanden : {false, true}) {
    SCOPED_TRACE(vorhanden ? "existing archive" : "new archive");
    fs::remove_all(basis);
    fs::remove(archiv);
    altesArchiv.clear();
    if (vorhanden) altesArchivAnlegen();
    datei("a.txt", textBytes(5000));
    datei("gesperrt.pdf", "geheim");
    datei("z.txt", textBytes(5000));
    fs::permissions(basis / "gesperrt.pdf", fs::perms::none);

    OhneRootRechte ohne;
    if (!ohne.wirksam()) GTEST_SKIP() << "permissions do not bind here";
    for (int helfer : {0, 2}) {
      std::string text = fehlerText([&] {
        ordnerArchivieren(basis, archiv, {6, 16u << 20, helfer, 64u << 20, true});
      });
      EXPECT_NE(text.find(archiv.string()), std::string::npos) << text;
      EXPECT_NE(text.find((basis / "gesperrt.pdf").string()), std::string::npos) << text;
      EXPECT_NE(text.find("Zugriff verweigert"), std::string::npos) << text;
      unveraendert();
    }
  }
}

TEST_F(ZipFehlerTest, UnreadableBigFileOnTheStreamedPath) {
  altesArchivAnlegen();
  datei("gross.bin", zufallsBytes(5000, 1));
  fs::permissions(basis / "gross.bin", fs::perms::none);
  OhneRootRechte ohne;
  if (!ohne.wirksam()) GTEST_SKIP() << "permissions do not bind here";
  std::string text = fehlerText([&] {
    ordnerArchivieren(basis, archiv, {6, 1000, 1, 64u << 20, true});
  });
  EXPECT_NE(text.find(archiv.string()), std::string::npos) << text;
  EXPECT_NE(text.find("gross.bin"), std::string::npos) << text;
  unveraendert();
}

TEST_F(ZipFehlerTest, UnreadableSubfolder) {
  altesArchivAnlegen();
  datei("Sub/a.txt", "a");
  fs::permissions(basis / "Sub", fs::perms::none);
  OhneRootRechte ohne;
  if (!ohne.wirksam()) GTEST_SKIP() << "permissions do not bind here";
  std::string text = fehlerText([&] { ordnerArchivieren(basis, archiv); });
  EXPECT_NE(text.find((basis / "Sub").string()), std::string::npos) << text;
  EXPECT_NE(text.find(archiv.string()), std::string::npos) << text;
  unveraendert();
}

TEST_F(ZipFehlerTest, TargetFolderNotWritable) {
  altesArchivAnlegen();
  datei("a.txt", "a");
  fs::permissions(ziel, fs::perms::owner_read | fs::perms::owner_exec);
  OhneRootRechte ohne;
  if (!ohne.wirksam()) GTEST_SKIP() << "permissions do not bind here";
  std::string text = fehlerText([&] { ordnerArchivieren(basis, archiv); });
  EXPECT_NE(text.find(archiv.string()), std::string::npos) << text;
  EXPECT_NE(text.find("temporäre Datei"), std::string::npos) << text;
  unveraendert();
}

// A full disk, imitated by a limit on the size of files this process writes;
// for big files it strikes while they are deflated into the spool file.
TEST_F(ZipFehlerTest, DiskFull) {
  altesArchivAnlegen();
  datei("gross.bin", textBytes(100 * 1024) + zufallsBytes(300 * 1024, 3));
  struct rlimit alt {};
  ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &alt), 0);
  auto altesSignal = ::signal(SIGXFSZ, SIG_IGN);
  for (std::uint64_t grenze : {std::uint64_t{16} << 20, std::uint64_t{1000}}) {
    SCOPED_TRACE(grenze);
    struct rlimit knapp = alt;
    knapp.rlim_cur = 100 * 1024;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &knapp), 0);
    std::string text = fehlerText([&] {
      ordnerArchivieren(basis, archiv, {6, grenze, 1, 64u << 20, true});
    });
    ::setrlimit(RLIMIT_FSIZE, &alt);
    EXPECT_NE(text.find(archiv.string()), std::string::npos) << text;
    EXPECT_NE(text.find("Schreibfehler: Datei zu groß"), std::string::npos) << text;
    unveraendert();
  }
  ::signal(SIGXFSZ, altesSignal);
}

TEST_F(ZipFehlerTest, DamagedExistingArchiveIsLeftAlone) {
  writeBytes(archiv, "PK\x03\x04 this is not a real archive, but it looks like one");
  altesArchiv = readBytes(archiv);
  datei("a.txt", "a");
  std::string text = fehlerText([&] { ordnerArchivieren(basis, archiv); });
  EXPECT_NE(text.find(archiv.string()), std::string::npos) << text;
  EXPECT_NE(text.find("geöffnet"), std::string::npos) << text;
  unveraendert();
}

}  // namespace
}  // namespace belvanto
