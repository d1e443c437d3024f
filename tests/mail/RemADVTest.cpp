// The remittance advice stage: the converted file byte for byte against one
// derived by hand, the mails it sends, and the files it must not lose or
// process twice.
#include <gtest/gtest.h>

#include "support/MailTestHilfe.h"
#include "mail/URemADV.h"
#include "support/OhneRoot.h"
#include "support/SkriptBediener.h"
#include "util/Fehler.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::SmtpServer;
using test::TempDir;
using test::testData;
using test::writeBytes;
using Zeilen = std::vector<std::string>;

const std::string kKopf =
    "Nr;Datum;F2;Betrag;F4;F5;MwSt;F7;F8;F9;F10;F11;F12;F13;F14;Lieferant;F16;F17;Lauf\r\n";

class RemADVTest : public testing::Test {
 protected:
  RemADVTest() {
    k.ArbeitsVerzeichnis = arbeit.path().string();
    k.VolleMwStREMADV = "19";
    k.VolleMwStKurz = "9";
    k.HalbeMwStKurz = "8";
    k.Gegenkonto = "1600";
    k.Kostenstelle = "100";
    k.NummernUmsetzung = true;
    k.MailAbsender = test::kBenutzer;
    k.EmpfaengerRemADV = "fibu@firma.de";
    k.Mitgliedsnummer = "4711";
    k.Signatur1 = "Sig 1";
    writeBytes(programm / kLieferantenDatei,
               readBytes(testData("mail/remadv") / kLieferantenDatei));
    lieferanten.DateiEinlesen();
  }
  fs::path eingang(const std::string& name) const { return arbeit / "REMADV" / name; }

  TempDir arbeit;
  TempDir programm;
  Konfiguration k;
  test::SkriptBediener bediener;
  Lieferanten lieferanten{bediener, programm.path()};
  MailVersand versand{bediener, programm.path()};
  RemADV remadv{k, lieferanten, bediener};
};

TEST_F(RemADVTest, ConvertsEveryFileIntoMailSendsAndDeletesIt) {
  const std::string golden = "RemADV_20250118.csv";
  writeBytes(eingang(golden), readBytes(testData("mail/remadv") / golden));
  writeBytes(eingang("RemADV_20250125.csv"),
             kKopf + "R-9;1.1.2025;;10,10;;;19;;;;;;;;;4711;;;ZL 2025/04\r\n"
                     "R-8;1.1.2025;;20,20;;;19;;;;;;;;;4711;;;ZL 2025/04\r\n"
                     "G-7;1.1.2025;;-30,30;;;19;;;;;;;;;4711;;;ZL 2025/04\r\n");
  writeBytes(eingang("remadv_leer.CSV"), kKopf);
  bediener.lieferantAntworten.push_back({"70002", "Bäckerei Korn", "800,00"});
  SmtpServer server;
  server.verbinden(versand);

  remadv.Verarbeiten(versand, true);

  EXPECT_EQ(readBytes(arbeit / "Mail" / golden),
            readBytes(testData("mail/remadv/erwartet") / golden));
  EXPECT_EQ(readBytes(arbeit / "Mail" / "remadv_leer.CSV"),
            "Nr;Datum;F2;Betrag;F4;F5;MwSt;F7;F8;F9;F10;F11;F12;F13;F14;Lieferant;F16;F17;Lauf;"
            "Konto;Kost\r\n");
  EXPECT_EQ(bediener.ereignisse, (Zeilen{"lieferant: 4712", "piep"}));
  EXPECT_FALSE(fs::exists(arbeit / "REMADV" / golden));
  EXPECT_TRUE(fs::is_empty(arbeit / "REMADV"));

  const std::string body =
      "Sehr geehrte Damen und Herren,||anbei erhalten Sie die RemADV dieser Woche für die "
      "Mitgliedsnummer:||4711||Sig 1||";
  const auto mail = [&](const std::string& betreff, const std::string& anlage) {
    return test::erwarteteMail("fibu@firma.de", "RemADV-Versand: " + betreff, body, {anlage});
  };
  const Zeilen erwartet = {mail("ZL 2025/03 / € 1322,06", golden),
                           mail("ZL 2025/04 / € 0", "RemADV_20250125.csv"),
                           mail(" / € 0", "remadv_leer.CSV")};
  const Zeilen namen = {golden, "RemADV_20250125.csv", "remadv_leer.CSV"};
  ASSERT_EQ(server.ereignisse("message").size(), 3u);
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(server.mail(n), erwartet[n - 1]);
    EXPECT_EQ(readBytes(server.anlagen(n) / namen[n - 1]),
              readBytes(arbeit / "Mail" / namen[n - 1]));
  }
  EXPECT_EQ(bediener.meldungen, Zeilen{});
}

// Unmailed, unreadable and undeletable files: nothing is lost, nothing is
// processed twice.
TEST_F(RemADVTest, KeepsWhatItCannotConvertAndStopsOnAFileItCannotDelete) {
  struct Fall {
    std::string zeilen;      // after the header
    bool schreibgeschuetzt;  // the folder REMADV
    Zeilen fehlerTeile;      // empty: no error
    bool eingabeBleibt, ausgabeDa;
  };
  const std::string zeile = "R-2;1.1.2025;;5,00;;;19;;;;;;;;;4711;;;L\r\n";
  const std::string datei = "RemADV_x.csv\"";
  const std::vector<Fall> faelle = {
      {zeile, false, {}, false, true},
      {"R-2;1.1.2025;;;;;19;;;;;;;;;4712;;;L\r\nR-3;31.02.2025;;;;;19;;;;;;;;;4711;;;L\r\n",
       false,
       {datei, "\"31.02.2025\"", "Zeile 3"},
       true,
       false},
      {zeile, true, {datei, "gelöscht"}, true, true},
  };
  // No server at all: a mail would show up as two message boxes.
  versand.Connect(test::kBenutzer, test::kPasswort, "127.0.0.1", 1);
  for (const auto& fall : faelle) {
    SCOPED_TRACE(fall.zeilen);
    bediener = {};
    fs::remove_all(arbeit / "Mail");
    writeBytes(eingang("RemADV_x.csv"), kKopf + fall.zeilen);
    std::string fehler;
    {
      test::OhneRootRechte ohneRoot;
      if (fall.schreibgeschuetzt) {
        if (!ohneRoot.wirksam()) GTEST_SKIP() << "permissions do not bind here";
        fs::permissions(arbeit / "REMADV", fs::perms::owner_write, fs::perm_options::remove);
      }
      try {
        remadv.Verarbeiten(versand, false);
      } catch (const Fehler& f) {
        fehler = f.what();
      }
      fs::permissions(arbeit / "REMADV", fs::perms::owner_write, fs::perm_options::add);
    }
    EXPECT_EQ(fehler.empty(), fall.fehlerTeile.empty()) << fehler;
    for (const auto& teil : fall.fehlerTeile) EXPECT_NE(fehler.find(teil), fehler.npos) << fehler;
    EXPECT_EQ(fs::exists(eingang("RemADV_x.csv")), fall.eingabeBleibt);
    EXPECT_EQ(fs::exists(arbeit / "Mail" / "RemADV_x.csv"), fall.ausgabeDa);
    EXPECT_EQ(bediener.ereignisse, Zeilen{});
    EXPECT_LE(bediener.fortschritte.size(), 3u);  // processed once
    fs::remove(eingang("RemADV_x.csv"));
  }
}

}  // namespace
}  // namespace belvanto
