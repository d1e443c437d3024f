// A whole run through the real windows, as the bookkeeper does it: press
// Start, answer the supplier dialog, close the protocol window; then look at
// the archive, the INI and the mapping file.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <array>

#include "DownloadUmgebung.h"
#include "app/QtBediener.h"
#include "app/TForm1.h"
#include "app/THilfe.h"
#include "export/URechnungsNummer.h"
#include "input/ULieferantenDialog.h"
#include "protocol/Druckerwahl.h"
#include "protocol/TProtokollForm.h"
#include "support/TestSupport.h"
#include "support/ZipLesen.h"
#include "transfer/TTestForm.h"
#include "util/Datum.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;
using test::readBytes;
using test::TempDir;
using test::testData;
using test::writeBytes;

// Types like a keyboard, umlauts included (QTest's own typing knows ASCII only).
void tippen(QWidget* feld, const QString& text) {
  for (const QChar c : text)
    QTest::sendKeyEvent(QTest::Click, feld, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

// The program's windows as main() makes them, and a person who answers every
// modal window the run opens: the supplier dialog with `antwort`, the protocol
// window by closing it, anything else by closing it and noting its title.
struct Programm {
  explicit Programm(const fs::path& programmOrdner)
      : hauptfenster(programmOrdner, druckerwahl, bediener, hilfe) {
    bediener.setTestForm(&testForm);
    bediener.setFortschrittsfeld(hauptfenster.fortschrittsfeld());
  }

  // Presses Start and returns what the person saw, in order.
  QStringList starten(const std::array<QString, 3>& antwort) {
    QStringList gesehen;
    QTimer person;
    QObject::connect(&person, &QTimer::timeout, [&] {
      QWidget* modal = QApplication::activeModalWidget();
      if (!modal) return;
      if (modal == &lieferantenDialog) {
        gesehen << "Lieferant " + modal->findChild<QLineEdit*>("LEMorvenauNummer")->text();
        tippen(modal->findChild<QLineEdit*>("LEKerbholtNummer"), antwort[0]);
        tippen(modal->findChild<QLineEdit*>("LEKerbholtName"), antwort[1]);
        tippen(modal->findChild<QLineEdit*>("LEKerbholtMaxBetrag"), antwort[2]);
        modal->findChild<QPushButton*>("BtnUebername")->click();
      } else if (modal == &protokollFenster) {
        gesehen << "Protokoll";
        protokollZeilen = modal->findChild<QTableWidget*>()->rowCount();
        modal->findChild<QPushButton*>("CloseBtn")->click();
      } else {
        gesehen << "unerwartet: " + modal->windowTitle();
        modal->close();
      }
    });
    person.start(20);
    start()->click();
    return gesehen;
  }
  QPushButton* start() { return hauptfenster.findChild<QPushButton*>("BtnStart"); }

  Druckerwahl druckerwahl;
  THilfe hilfe;
  TLieferanten lieferantenDialog;
  TProtokollForm protokollFenster{druckerwahl};
  TRechnungsnummer rechnungsnummer;
  TTestForm testForm;
  QtBediener bediener{lieferantenDialog, rechnungsnummer, protokollFenster};
  TForm1 hauptfenster;
  int protokollZeilen = 0;
};

TEST(HauptfensterLauf, StartSupplierDialogProtocolAndTheFilesAfterwards) {
  TempDir tmp;
  const fs::path programm = tmp / "programm";
  const fs::path zrbeleg = tmp / "arbeit" / "ZRBELEG";
  fs::create_directories(programm);
  fs::create_directories(tmp / "backup");
  test::testIniSchreiben(programm, tmp.path(),
                         "[MwStSatz]\r\nFirmaVolleMwSt=19,00\r\nFirmaHalbeMwSt=7,00\r\n"
                         "[Firma]\r\nMitgliedsnummer=4711\r\n[Diverses]\r\nNummernUmsetzung=1\r\n"
                         "LfdNummer=3\r\n");
  // One mapped and one unmapped supplier.
  test::cp1252Datei(programm / "LieferantenUmsetzung.csv",
                    {"70001;10001;Müller & Söhne GmbH;1000"});
  writeBytes(zrbeleg / "Buchungen_20261130.csv",
             "\"LiefNr\";\"RechnungsNr\";\"Datum\";\"T\";\"MwSt\";\"Betrag\";\"N\";\"S\";\"I\";"
             "\"Skonto\"\r\n"
             "\"70001\";\"RE-1\";\"25.11.26\";\"x\";\"19,00\";\"119,00\";\"1\";\"1\";\"y\";"
             "\"0,00\"\r\n"
             "\"70009\";\"RE-2\";\"26.11.26\";\"x\";\"7,00\";\"107,00\";\"1\";\"1\";\"y\";"
             "\"0,00\"\r\n");
  writeBytes(zrbeleg / "Index_20261130.csv",
             "Datei;F1;F2;F3;F4;Mitglied;RechnungsNr;F7;AbrNr;F9;AbrufNr;F11;F12;Valuta\r\n"
             "ABCD0001.pdf;;;;;4711;RE-1;;900;;A-11;;;05.12.2026;;;;;\r\n"
             "ABCD0002.pdf;;;;;4711;RE-2;;900;;A-11;;;05.12.2026;;;;;\r\n");
  writeBytes(zrbeleg / "ABCD0001.pdf", "%PDF-1.4 eins");
  writeBytes(zrbeleg / "ABCD0002.pdf", "%PDF-1.4 zwei");

  Programm p(programm);
  ASSERT_TRUE(p.hauptfenster.FormCreate());
  p.hauptfenster.show();
  p.hauptfenster.findChild<QCheckBox*>("DownloadCB")->setChecked(false);
  const QStringList gesehen = p.starten({"19009", "Gärtnerei Weiß", "500"});
  auto* start = p.start();
  const int protokollZeilen = p.protokollZeilen;
  auto& hauptfenster = p.hauptfenster;

  // The information mail fails without a mail server: two boxes of its own.
  EXPECT_EQ(gesehen, QStringList({"Lieferant 70009", "unerwartet: Verbindungsfehler Versand !",
                                  "unerwartet: Verbindungsfehler Versand !", "Protokoll"}));
  EXPECT_EQ(start->text(), "Ende");
  EXPECT_EQ(protokollZeilen, 3) << "heading, the few-documents warning, the empty last row";
  EXPECT_EQ(hauptfenster.fortschrittsfeld()->text(),
            "Es wurden 0 Belege gedruckt 2 Bilder kopiert.");

  const auto archiv = test::mitLibzipLesen(
      tmp / "ausgabe" / ("Belege-4711-" + formatArchivDatum(heute()) + "-3.zip"));
  std::vector<std::string> namen;
  for (const auto& [name, e] : archiv) namen.push_back(name);
  EXPECT_EQ(namen, (std::vector<std::string>{"900-0001.pdf", "900-0001.xml", "900-0002.pdf",
                                             "900-0002.xml", "document.xml"}));
  EXPECT_NE(archiv.at("900-0002.xml").inhalt.find("<supplierName>Gärtnerei Weiß</supplierName>"),
            std::string::npos);
  EXPECT_NE(archiv.at("900-0002.xml").inhalt.find("<bpAccountNo>19009</bpAccountNo>"),
            std::string::npos);
  EXPECT_EQ(readBytes(programm / "LieferantenUmsetzung.csv"),
            test::cp1252Zeilen(
                {"70001;10001;Müller & Söhne GmbH;1000", "70009;19009;Gärtnerei Weiß;500"}));
  EXPECT_NE(readBytes(programm / "Belvanto.ini").find("LfdNummer=4\r\n"), std::string::npos);
}

// The same with every box at its default: the settlement comes from the SFTP
// test server and the mails go to the SMTP test server; the supplier missing
// from the mapping is typed into the dialog.
TEST(HauptfensterLauf, WithDownloadAndMailThroughTheRealWindows) {
  test::SmtpServer smtp;
  test::Umgebung u;
  u.starten({}, test::mailIni(smtp));
  // Without its first supplier, so the dialog asks for it.
  writeBytes(u.programm / "LieferantenUmsetzung.csv",
             test::cp1252Zeilen(
                 {"70002;10002;Bäckerei Schäfer;100", "70003;10003;Obst & Gemüse <Nord>;"}));

  Programm p(u.programm);
  ASSERT_TRUE(p.hauptfenster.FormCreate());
  p.hauptfenster.show();
  const QStringList gesehen = p.starten({"10001", "Müller & Söhne GmbH", "1000"});
  auto* start = p.start();
  auto& testForm = p.testForm;

  EXPECT_EQ(gesehen, QStringList({"Lieferant 70001", "Protokoll"}));
  EXPECT_EQ(start->text(), "Ende");
  EXPECT_FALSE(testForm.isVisible()) << "the data check window closes by itself";
  for (const char* ordner : {"ZRBELEG", "ZRABR", "REMADV"})
    EXPECT_TRUE(fs::is_empty(u.root / ordner)) << ordner;
  const auto archiv = test::mitLibzipLesen(
      u.tmp / "ausgabe" / ("Belege-4711-" + formatArchivDatum(heute()) + "-7.zip"));
  EXPECT_NE(
      archiv.at("815-1001.xml").inhalt.find("<supplierName>Müller + Söhne GmbH</supplierName>"),
      std::string::npos);
  // Invoice copies, remittance advice, settlement statements, information mail.
  EXPECT_EQ(smtp.ereignisse("message").size(), 4u);
  EXPECT_NE(readBytes(u.programm / "Belvanto.log").find("Lauf endet: erfolgreich"),
            std::string::npos);
}

}  // namespace
}  // namespace belvanto
