// The configuration file: reading by the Windows profile rules from real
// files, and writing one key back without disturbing anything else.
#include <gtest/gtest.h>

#include "support/TestSupport.h"
#include "util/Fehler.h"
#include "util/Ini.h"

namespace fs = std::filesystem;

namespace belvanto {
namespace {

using test::readBytes;
using test::TempDir;
using test::writeBytes;
using namespace std::literals;

IniDatei iniAus(const TempDir& dir, std::string_view bytes) {
  static int n = 0;
  const auto datei = dir / ("t" + std::to_string(n++) + ".ini");
  writeBytes(datei, bytes);
  return IniDatei(datei);
}

TEST(IniLesen, TextValues) {
  const std::string lang(3000, 'x');
  const std::string langUmlaut = std::string(2046, 'a') + "ääää";
  const struct {
    std::string_view datei;
    std::string_view section, key;
    std::string erwartet;
  } faelle[] = {
      {"[Firma]\r\nMitgliedsnummer=4711\r\n", "Firma", "Mitgliedsnummer", "4711"},
      {"[firma]\r\nMITGLIEDSNUMMER=4711\r\n", "FIRMA", "mitgliedsnummer", "4711"},
      {"  [ Firma ]  \r\n  Mitgliedsnummer  =  47 11 \t\r\n", "Firma", "Mitgliedsnummer", "47 11"},
      {"[Firma]\nFtpUser=\"  user  \"\n", "Firma", "FtpUser", "  user  "},
      {"[Firma]\nFtpUser='x'\n", "Firma", "FtpUser", "x"},
      {"[Firma]\nFtpUser=\"x'\n", "Firma", "FtpUser", "\"x'"},
      {"[Firma]\nFtpUser=\"\n", "Firma", "FtpUser", "\""},
      {"[Firma]\nFtpUser=\"\"\n", "Firma", "FtpUser", ""},
      {"[Firma]\nFtpPasswort=a=b;c\n", "Firma", "FtpPasswort", "a=b;c"},
      {"[Firma]\nFtpUser=\n", "Firma", "FtpUser", ""},
      {"[Firma]\nFtpUser=erster\nFtpUser=zweiter\n", "Firma", "FtpUser", "erster"},
      {"[Firma]\nA=1\n[Konten]\nA=2\n[FIRMA]\nA=3\nB=4\n", "firma", "A", "1"},
      {"[Firma]\nA=1\n[Konten]\nA=2\n[FIRMA]\nA=3\nB=4\n", "Firma", "B", "vorgabe"},
      {"[Firma]\nohne Gleichheitszeichen\nA=1\n", "Firma", "ohne Gleichheitszeichen", "vorgabe"},
      {"A=vor jedem Abschnitt\n[Firma]\n", "Firma", "A", "vorgabe"},
      {"[Firma]\n;A=kommentar\n", "Firma", "A", "vorgabe"},
      {"[Firma\nA=ohne Klammer\n", "Firma", "A", "ohne Klammer"},
      {"[Konten]\nA=x\n", "Firma", "A", "vorgabe"},
      {"", "Firma", "A", "vorgabe"},
      {"\xEF\xBB\xBF[Firma]\r\nA=Grüße\r\n", "Firma", "A", "Grüße"},
      {"[Firma]\r\nA=Gr\xFC\xDF"
       "e \x80\r\n",
       "Firma", "A", "Grüße €"},
      {"[Signatur]\r\nSignatur1=Müller & Söhne\r\n", "Signatur", "Signatur1", "Müller & Söhne"},
      {"[Firma]\r\nA=\x01\xFF\xFE\x00z\r\n"sv, "Firma", "A", std::string("\u0001ÿþ\0z", 7)},
      {"[EMail-Versand]\nMailServer=smtp.example.de", "email-versand", "mailserver",
       "smtp.example.de"},
  };
  TempDir dir;
  for (const auto& f : faelle) {
    EXPECT_EQ(iniAus(dir, f.datei).leseText(f.section, f.key, "vorgabe"), f.erwartet) << f.datei;
  }
  const std::string datei =
      "[X]\r\nlang=" + lang + "\r\nquote=\"" + lang + "\"\r\numlaut=" + langUmlaut + "\r\n";
  const auto ini = iniAus(dir, datei);
  EXPECT_EQ(ini.leseText("X", "lang", ""), std::string(2047, 'x'));
  EXPECT_EQ(ini.leseText("X", "quote", ""), std::string(2047, 'x'));
  EXPECT_EQ(ini.leseText("X", "umlaut", ""), std::string(2046, 'a') + "ä");
}

TEST(IniLesen, NumbersAndSwitches) {
  const struct {
    std::string_view wert;
    std::int32_t zahl;
    bool schalter;
  } faelle[] = {
      {"25", 25, true},
      {"0", 0, false},
      {"-7", -7, true},
      {"+7", 7, true},
      {" 587 ", 587, true},
      {"0x24B", 587, true},
      {"0X24b", 587, true},
      {"$24B", 587, true},
      {"$FFFFFFFF", -1, true},
      {"0x80000000", INT32_MIN, true},
      {"2147483647", INT32_MAX, true},
      {"-2147483648", INT32_MIN, true},
      {"2147483648", 99, true},
      {"$100000000", 99, true},
      {"0x", 99, true},
      {"$", 99, true},
      {"12abc", 99, true},
      {"abc", 99, true},
      {"1,5", 99, true},
      {"", 99, true},
      {"\"0\"", 0, false},
      {"true", 99, true},
      {"-", 99, true},
  };
  TempDir dir;
  for (const auto& f : faelle) {
    const auto ini = iniAus(dir, "[Diverses]\r\nWert=" + std::string(f.wert) + "\r\n");
    EXPECT_EQ(ini.leseZahl("Diverses", "Wert", 99), f.zahl) << f.wert;
    EXPECT_EQ(ini.leseSchalter("Diverses", "Wert", true), f.schalter) << f.wert;
  }
  const auto ini = iniAus(dir, "[Diverses]\r\nNein=nein\r\n");
  EXPECT_FALSE(ini.leseSchalter("Diverses", "Nein", false));
  EXPECT_FALSE(ini.leseSchalter("Diverses", "Fehlt", false));
  EXPECT_TRUE(ini.leseSchalter("Diverses", "Fehlt", true));
  EXPECT_EQ(ini.leseZahl("Diverses", "Fehlt", 1), 1);
}

TEST(IniLesen, AbsentFileAndGarbage) {
  TempDir dir;
  EXPECT_EQ(IniDatei(dir / "fehlt.ini").leseText("A", "B", "v"), "v");
  EXPECT_EQ(IniDatei(dir.path()).leseText("A", "B", "v"), "v");
  std::string muell;
  for (int i = 0; i < 100000; ++i) muell += static_cast<char>((i * 7919) % 256);
  EXPECT_EQ(iniAus(dir, muell).leseText("A", "B", "v"), "v");
  const std::string langeZeile = "[A]\nB=" + std::string(5'000'000, 'y') + "\n";
  EXPECT_EQ(iniAus(dir, langeZeile).leseText("A", "B", "v").size(), 2047u);
}

TEST(IniSchreiben, ReplacesOnlyTheValue) {
  TempDir dir;
  const auto datei = dir / "Belvanto.ini";
  const std::string vorher =
      "; Kommentar\r\n[Verzeichnisse]\r\narbeitsverzeichnis = C:\\Alt\r\nLastOpened=C:\\Temp\r\n"
      "\r\n[Diverses]\r\nLfdNummer=7\r\nRNummerKuerzen=1\r\n";
  writeBytes(datei, vorher);
  IniDatei::schreibeText(datei, "VERZEICHNISSE", "ArbeitsVerzeichnis", "/home/buch");
  IniDatei::schreibeText(datei, "Diverses", "LfdNummer", "9");
  EXPECT_EQ(readBytes(datei),
            "; Kommentar\r\n[Verzeichnisse]\r\narbeitsverzeichnis = /home/buch\r\n"
            "LastOpened=C:\\Temp\r\n\r\n[Diverses]\r\nLfdNummer=9\r\nRNummerKuerzen=1\r\n");
  EXPECT_EQ(IniDatei(datei).leseZahl("Diverses", "LfdNummer", 0), 9);
}

TEST(IniSchreiben, CreatesKeySectionAndFile) {
  TempDir dir;
  const struct {
    std::string_view vorher;
    std::string_view section, key, wert;
    std::string_view nachher;
  } faelle[] = {
      {"[Verzeichnisse]\r\nA=1\r\n\r\n[Diverses]\r\nB=2\r\n", "Verzeichnisse", "LastOpened",
       "C:\\Temp", "[Verzeichnisse]\r\nA=1\r\nLastOpened=C:\\Temp\r\n\r\n[Diverses]\r\nB=2\r\n"},
      {"[Diverses]\nB=2", "Diverses", "LfdNummer", "1", "[Diverses]\nB=2\nLfdNummer=1\n"},
      {"[Diverses]\nB=2\n", "Verzeichnisse", "LastOpened", "x",
       "[Diverses]\nB=2\n[Verzeichnisse]\nLastOpened=x\n"},
      {"[Diverses]\r\nB=2", "Neu", "K", "v", "[Diverses]\r\nB=2\r\n[Neu]\r\nK=v\r\n"},
      {"[Leer]\r\n[Danach]\r\n", "leer", "K", "v", "[Leer]\r\nK=v\r\n[Danach]\r\n"},
      {"[A]\r\nK=1\r\n[A]\r\nK=2\r\n", "A", "K", "3", "[A]\r\nK=3\r\n[A]\r\nK=2\r\n"},
      {"[A]\r\nK=\r\n", "A", "K", "v", "[A]\r\nK=v\r\n"},
      {"[A]\r\nK=M\xFCller\r\n", "A", "K", "Söhne", "[A]\r\nK=S\xF6hne\r\n"},
      {"[A]\r\nK=x\r\n", "A", "K", "Söhne", "[A]\r\nK=S\xF6hne\r\n"},
      {"[A]\r\nK=Müller\r\n", "A", "K", "Söhne", "[A]\r\nK=Söhne\r\n"},
      {"\xEF\xBB\xBF[A]\r\nK=x\r\n", "A", "K", "Söhne", "\xEF\xBB\xBF[A]\r\nK=Söhne\r\n"},
      {"\xEF\xBB\xBF[A]\r\nK=M\xFCller\r\n", "A", "K", "Söhne",
       "\xEF\xBB\xBF[A]\r\nK=S\xF6hne\r\n"},
      {"[A]\r\nK=x\r\n", "A", "K", "zwei\r\nZeilen", "[A]\r\nK=zwei  Zeilen\r\n"},
  };
  int n = 0;
  for (const auto& f : faelle) {
    const auto datei = dir / ("w" + std::to_string(n++) + ".ini");
    writeBytes(datei, f.vorher);
    IniDatei::schreibeText(datei, f.section, f.key, f.wert);
    EXPECT_EQ(readBytes(datei), f.nachher) << f.vorher;
  }
  const auto neu = dir / "neu.ini";
  IniDatei::schreibeText(neu, "Diverses", "LfdNummer", "1");
  EXPECT_EQ(readBytes(neu), "[Diverses]\r\nLfdNummer=1\r\n");
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), n + 1)
      << "no temporary file left behind";
}

TEST(IniSchreiben, UnwritableFileGivesTheMessage) {
  TempDir dir;
  const auto ordner = dir / "Belvanto.ini";
  fs::create_directory(ordner);
  const auto ohneOrdner = dir / "fehlt" / "Belvanto.ini";
  for (const auto& datei : {ordner, ohneOrdner}) {
    try {
      IniDatei::schreibeText(datei, "Diverses", "LfdNummer", "9");
      FAIL() << datei;
    } catch (const Fehler& e) {
      EXPECT_EQ(std::string(e.what()), "In " + datei.string() + " kann nicht geschrieben werden");
    }
  }
  // The failed replacement leaves nothing behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(IniSchreiben, FollowsLinkAndKeepsPermissions) {
  TempDir dir;
  const auto echt = dir / "echt.ini";
  writeBytes(echt, "[A]\r\nK=1\r\n");
  fs::permissions(echt, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  fs::create_symlink(echt, dir / "link.ini");
  IniDatei::schreibeText(dir / "link.ini", "A", "K", "2");
  EXPECT_TRUE(fs::is_symlink(dir / "link.ini"));
  EXPECT_EQ(readBytes(echt), "[A]\r\nK=2\r\n");
  EXPECT_EQ(fs::status(echt).permissions(),
            fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST(IniWert, Rules) {
  EXPECT_EQ(iniWert("  \"a\"  "), "a");
  EXPECT_EQ(iniWert("\t'a b'\t"), "a b");
  EXPECT_EQ(iniWert("'"), "'");
  EXPECT_EQ(iniWert("\"a'"), "\"a'");
  std::int32_t z = 0;
  EXPECT_TRUE(iniZahl("$7FFFFFFF", z));
  EXPECT_EQ(z, INT32_MAX);
  EXPECT_FALSE(iniZahl("0x1G", z));
}

}  // namespace
}  // namespace belvanto
