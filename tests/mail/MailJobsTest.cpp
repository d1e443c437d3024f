// The settlement, information and invoice copies mails as they arrive.
#include <gtest/gtest.h>

#include "support/MailTestHilfe.h"
#include "mail/UMailJobs.h"
#include "support/SkriptBediener.h"

namespace belvanto {
namespace {

using test::erwarteteMail;
using Zeilen = std::vector<std::string>;

TEST(MailJobsTest, EachJobSendsItsMailsWithThePdfsOfItsFolder) {
  struct Fall {
    Zeilen dateien;  // below the working folder
    std::string empfaengerAbrechnung;
    bool abrechnung;  // settlement job, else invoice copies job
    int zaehler;
    Zeilen mails;  // "to=<envelope recipients>\n" and the message
  };
  const std::string sig = "||Sig 1||Sig 3";
  const std::string info =
      "to=belvanto@firma.de\n" +
      erwarteteMail("belvanto@firma.de", "Belvanto: 4711", "Info-Mail" + sig.substr(1));
  const auto abrechnung = [&](const Zeilen& anlagen) {
    return "to=buero@firma.de\n" +
           erwarteteMail("buero@firma.de", "Abrechnungs-Versand",
                         "Hallo,||anbei die aktuelle Mitgliedsabrechnung." + sig, anlagen);
  };
  const std::vector<Fall> faelle = {
      {{"ZRABR/b.PDF", "ZRABR/a.pdf", "ZRABR/C.pdf", "ZRABR/n.txt", "Belege/x.pdf"},
       "buero@firma.de",
       true,
       3,
       {abrechnung({"a.pdf", "b.PDF", "C.pdf"}), info}},
      {{}, "buero@firma.de", true, 0, {abrechnung({}), info}},
      {{"ZRABR/a.pdf"}, "", true, 1, {info}},
      {{"ZRABR/a.pdf"},
       "",
       false,
       0,
       {"to=l1@firma.de,l2@firma.de\n" +
        erwarteteMail("l1@firma.de, l2@firma.de", "Laden-Versand",
                      "Hallo,||anbei die aktuelle Rechnungsübersicht." + sig)}},
  };
  for (std::size_t f = 0; f < faelle.size(); ++f) {
    const auto& fall = faelle[f];
    SCOPED_TRACE(f);
    test::TempDir arbeit;
    for (const auto& datei : fall.dateien) test::writeBytes(arbeit / datei, "%PDF");
    Konfiguration k;
    k.ArbeitsVerzeichnis = arbeit.path().string();
    k.MailAbsender = test::kBenutzer;
    k.EmpfaengerAbrechnung = fall.empfaengerAbrechnung;
    k.EmpfaengerRNKopie = "l1@firma.de;l2@firma.de";
    k.Mitgliedsnummer = "4711";
    k.Signatur1 = "Sig 1";
    k.Signatur3 = "Sig 3";
    test::SkriptBediener bediener;
    MailVersand versand(bediener, arbeit.path());
    test::SmtpServer server;
    server.verbinden(versand);

    if (fall.abrechnung) {
      EXPECT_EQ(AbrechnungsMailSenden(k, versand, bediener), fall.zaehler);
    } else {
      LadenMailSenden(k, versand, bediener);
    }
    const auto umschlaege = server.ereignisse("message");
    ASSERT_EQ(umschlaege.size(), fall.mails.size());
    for (std::size_t i = 0; i < umschlaege.size(); ++i) {
      const std::string an = umschlaege[i].substr(umschlaege[i].find(" to=") + 1);
      EXPECT_EQ(an + "\n" + server.mail(static_cast<int>(i) + 1), fall.mails[i]);
    }
    EXPECT_EQ(bediener.meldungen, Zeilen{});
  }
}

}  // namespace
}  // namespace belvanto
