// The mail sender against the loopback SMTP server: one connection for
// several mails, the message as a mail program reads it, the server faults
// and the certificate pin.
#include <gtest/gtest.h>

#include <cstdlib>

#include "support/MailTestHilfe.h"
#include "mail/UMailUnit.h"
#include "support/SkriptBediener.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;
using test::erwarteteMail;
using test::kBenutzer;
using test::readBytes;
using test::SmtpServer;
using test::TempDir;
using Zeilen = std::vector<std::string>;

class MailVersandTest : public testing::Test {
 protected:
  bool sende(const std::string& an, const std::string& betreff, const std::string& anhang = "") {
    return versand.SendeMail(kBenutzer, an, betreff, anhang, {"Text"});
  }

  TempDir programm;
  test::SkriptBediener bediener;
  MailVersand versand{bediener, programm.path()};
};

TEST_F(MailVersandTest, MailsShareOneConnectionAndArriveReadableWithEveryAttachment) {
  TempDir d;
  std::string binaer;
  for (int i = 0; i < 70000; ++i) binaer += static_cast<char>(i * 37 % 256);
  const std::vector<std::pair<std::string, std::string>> dateien = {
      {"Abrechnung 1.pdf", binaer}, {"Übersicht – März.csv", "Müller;12,50\r\n"}, {"L;2.txt", ""}};
  for (const auto& [name, inhalt] : dateien) test::writeBytes(d / name, inhalt);
  const std::string p0 = (d / dateien[0].first).string(), p1 = (d / dateien[1].first).string();
  const std::string betreff = "RemADV-Versand: 4711 / € 1334,56 – Grüße aus Köln für März und Mai";
  // A line of a lone dot must not end the data early.
  const Zeilen body = {"Sehr geehrte Damen,", "", "anbei für € 12,50: Grüße", ".", "Sig", ""};

  struct Fall {
    std::string anhang;           // the list as text, or
    std::vector<fs::path> liste;  // single paths when the text is empty
    std::vector<int> erwartet;    // indexes into `dateien`
  };
  const std::vector<Fall> faelle = {{p0 + ";" + p1 + ";", {}, {0, 1}},
                                    {p0 + ";" + p1, {}, {0, 1}},
                                    {"", {}, {}},
                                    {"", {d / dateien[2].first, p0}, {2, 0}}};
  SmtpServer server;
  server.verbinden(versand);
  for (std::size_t n = 1; n <= faelle.size(); ++n) {
    const auto& fall = faelle[n - 1];
    SCOPED_TRACE(n);
    // A name goes into the header only, the address alone to the envelope.
    const std::string an = "Jörg Weiß <a@x.de>; \"Berg B.\" <b@y.de>,c@z.de";
    ASSERT_TRUE(fall.liste.empty() ? versand.SendeMail(kBenutzer, an, betreff, fall.anhang, body)
                                   : versand.SendeMail(kBenutzer, an, betreff, fall.liste, body));
    Zeilen namen;
    for (int i : fall.erwartet) namen.push_back(dateien[i].first);
    EXPECT_EQ(server.mail(n),
              erwarteteMail("Jörg Weiß <a@x.de>, \"Berg B.\" <b@y.de>, c@z.de", betreff,
                            "Sehr geehrte Damen,||anbei für € 12,50: Grüße|.|Sig|", namen));
    for (int i : fall.erwartet)
      EXPECT_EQ(readBytes(server.anlagen(n) / dateien[i].first), dateien[i].second);
  }
  versand.DisConnect();
  EXPECT_TRUE(sende("d@x.de", "danach"));
  Zeilen verbindungen;  // of the mails, in order
  for (const auto& m : server.ereignisse("message")) verbindungen.push_back(m.substr(0, 1));
  EXPECT_EQ(verbindungen, (Zeilen{"1", "1", "1", "1", "2"}));
  EXPECT_EQ(bediener.ereignisse, Zeilen{});
}

// Each fault shows the two boxes in German, sends nothing, shows the password nowhere;
// the next mail goes out with nothing of the failed one. Empty recipients
// send nothing and show nothing, whatever else is wrong.
TEST_F(MailVersandTest, FaultsShowTwoBoxesAndTheNextMailWorks) {
  struct Fall {
    Zeilen optionen;
    std::string passwort;
    std::string anhang;
    bool authVersucht;
    const char* art;  // empty: nothing shown
    std::string an = "erst@x.de";
  };
  const std::vector<Fall> faelle = {
      {{"--no-starttls"}, test::kPasswort, "", false, "TLS-Fehler"},
      {{"--tls13-only"}, test::kPasswort, "", false, "TLS-Fehler"},
      {{"--weak-ciphers"}, test::kPasswort, "", false, "TLS-Fehler"},
      {{}, "Falsch!pw", "", true, "Anmeldefehler"},
      {{"--drop-during-data"}, test::kPasswort, "", true, "Übertragungsfehler"},
      {{}, test::kPasswort, "/fehlt/Beleg.pdf;", false, "Dateifehler"},
      {{}, test::kPasswort, "", false, "Einstellungsfehler", "gut@x.de; Name <kein-at>"},
      {{}, test::kPasswort, "", false, "Einstellungsfehler", "a\vb@x.de"},
      {{}, test::kPasswort, "", false, "Einstellungsfehler", "a@x.de\r<b@y.de>"},
      {{}, test::kPasswort, "", false, "Einstellungsfehler", "\x1b[2Ka@x.de"},
      {{"--no-starttls"}, "", "/fehlt.pdf", false, "", ""},
      {{"--no-starttls"}, "", "", false, "", " ; , "},
  };
  SmtpServer gut;
  const std::string titel = std::string(kVersandFehlerTitel) + "\r";
  for (const auto& fall : faelle) {
    SCOPED_TRACE(fall.optionen.empty() ? fall.art : fall.optionen[0] + fall.an);
    bediener.meldungen.clear();
    SmtpServer server(fall.optionen);
    server.verbinden(versand, fall.passwort);
    EXPECT_FALSE(sende(fall.an, "Erster Versuch", fall.anhang));
    if (*fall.art) {
      ASSERT_EQ(bediener.meldungen.size(), 2u);
      EXPECT_EQ(bediener.meldungen[0].rfind(titel, 0), 0u) << bediener.meldungen[0];
      EXPECT_EQ(bediener.meldungen[1].rfind(titel + fall.art, 0), 0u) << bediener.meldungen[1];
      // German to the end: libcurl's English detail goes to the log only.
      EXPECT_EQ(bediener.meldungen[0].back(), '.') << bediener.meldungen[0];
      for (const auto& m : bediener.meldungen) EXPECT_EQ(m.find(fall.passwort), m.npos);
    } else {
      EXPECT_EQ(server.ereignisse("connect"), Zeilen{});
      EXPECT_EQ(bediener.meldungen, Zeilen{});
    }
    EXPECT_EQ(server.ereignisse("message"), Zeilen{});
    EXPECT_EQ(!server.ereignisse("auth").empty(), fall.authVersucht);

    bediener.meldungen.clear();
    gut.verbinden(versand);
    const int n = static_cast<int>(gut.ereignisse("message").size()) + 1;
    ASSERT_TRUE(sende("zweit@x.de", "Zweiter Versuch"));
    EXPECT_EQ(gut.mail(n), erwarteteMail("zweit@x.de", "Zweiter Versuch", "Text"));
    EXPECT_EQ(bediener.meldungen, Zeilen{});
  }
}

TEST_F(MailVersandTest, UntrustedCertificateIsPinnedOnFirstUseAndAChangedKeyRefusedBeforeAuth) {
  enum class Pin { keiner, derselbe, anderer };
  struct Fall {
    bool vonCa;          // issued by a CA the system is told to trust
    const char* inZert;  // the name in the certificate
    Pin vorher;
    bool gesendet;
    bool gespeichert;  // the pin file holds this server's key afterwards
    bool ipv6 = false;  // at ::1, written "[::1]" in the INI
  };
  const std::vector<Fall> faelle = {
      {false, "127.0.0.1", Pin::keiner, true, true},
      {false, "127.0.0.1", Pin::derselbe, true, true},
      {false, "127.0.0.1", Pin::anderer, false, false},
      {true, "127.0.0.1", Pin::keiner, true, false},
      {true, "mail.anderswo.de", Pin::keiner, true, true},
      {false, "::1", Pin::anderer, false, false, true},
  };
  const std::string fremd = "AAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAAA=";
  const fs::path pins = programm / kPinDateiName;
  for (std::size_t i = 0; i < faelle.size(); ++i) {
    const auto& fall = faelle[i];
    SCOPED_TRACE(i);
    TempDir ca;
    Zeilen optionen{"--name", fall.inZert};
    if (fall.vonCa) optionen.insert(optionen.end(), {"--ca-out", (ca / "ca.pem").string()});
    if (fall.ipv6) optionen.insert(optionen.end(), {"--listen", "::1"});
    SmtpServer server(optionen);
    const std::string ziel =
        (fall.ipv6 ? "[::1]:" : "127.0.0.1:") + std::to_string(server.port());
    fs::remove(pins);
    if (fall.vorher != Pin::keiner)
      test::writeBytes(pins, "mail.example:25 x\r\n" + ziel + " " +
                                 (fall.vorher == Pin::derselbe ? server.pin() : fremd) + "\r\n");
    const std::string vorher = fs::exists(pins) ? readBytes(pins) : "";

    if (fall.vonCa) setenv("SSL_CERT_FILE", (ca / "ca.pem").c_str(), 1);
    bediener.meldungen.clear();
    versand.Connect(test::kBenutzer, test::kPasswort, fall.ipv6 ? "[::1]" : "127.0.0.1",
                    server.port());
    EXPECT_EQ(sende("a@x.de", "Pin"), fall.gesendet);
    unsetenv("SSL_CERT_FILE");
    versand.DisConnect();

    const std::string nachher = fs::exists(pins) ? readBytes(pins) : "";
    EXPECT_EQ(nachher.find(ziel + " " + server.pin() + "\r\n") != nachher.npos, fall.gespeichert);
    if (!fall.gesendet) {
      EXPECT_EQ(server.ereignisse("auth"), Zeilen{});
      EXPECT_EQ(nachher, vorher);
      ASSERT_EQ(bediener.meldungen.size(), 2u);
      for (const auto& teil : {ziel, "SHA256:" + fremd, "SHA256:" + server.pin(), pins.string()})
        EXPECT_NE(bediener.meldungen[0].find(teil), std::string::npos) << teil;
    }
  }
}

}  // namespace
}  // namespace belvanto
