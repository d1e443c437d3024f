// The invoice number dialog on Qt's offscreen platform: its layout, the three
// ways it closes, and the writer asking again through it while the number is
// still too long.
#include <gtest/gtest.h>

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <deque>
#include <functional>

#include "export/DatevExport.h"
#include "export/ExportTestHilfe.h"
#include "export/URechnungsNummer.h"

namespace belvanto::test {
namespace {

const QString kZweiZeilen8 =
    QString::fromUtf8("Die Rechnungsnummer ist zu lang !\nBitte auf max. 8 Zeichen kürzen.");

QLineEdit* feld(TRechnungsnummer& d) {
  return d.findChild<QLineEdit*>("RechnungsNummerLEd");
}
QLabel* hinweis(TRechnungsnummer& d) {
  return d.findChild<QLabel*>("HinweisLbL");
}
QPushButton* knopf(TRechnungsnummer& d) {
  return d.findChild<QPushButton*>("UebernameBtn");
}

// Runs `aktion` while the dialog's exec() runs; a dialog that is still open
// a few seconds later fails the test instead of hanging it.
void waehrendExec(TRechnungsnummer& dialog, std::function<void()> aktion) {
  QTimer::singleShot(0, &dialog, [&dialog, aktion] {
    EXPECT_TRUE(QTest::qWaitFor([&] { return dialog.isVisible(); }, 2000));
    aktion();
  });
  QTimer::singleShot(5000, &dialog, [&dialog] {
    if (dialog.isVisible()) {
      ADD_FAILURE() << "dialog did not close";
      dialog.done(0);
    }
  });
}

TEST(RechnungsNummerDialog, Aufbau) {
  TRechnungsnummer d;
  EXPECT_EQ(d.windowTitle(), "Rechnungsnummer");
  EXPECT_EQ(d.size(), QSize(402, 180));
  ASSERT_NE(hinweis(d), nullptr);
  ASSERT_NE(feld(d), nullptr);
  ASSERT_NE(knopf(d), nullptr);
  EXPECT_EQ(hinweis(d)->text(), "Die Rechnungsnummer ist zu lang !");
  EXPECT_EQ(hinweis(d)->pos(), QPoint(32, 32));
  EXPECT_EQ(feld(d)->pos(), QPoint(137, 75));
  EXPECT_EQ(feld(d)->width(), 193);
  EXPECT_EQ(knopf(d)->geometry(), QRect(32, 128, 75, 25));
  EXPECT_EQ(knopf(d)->text(), QString::fromUtf8("Übername"));
  const auto* beschriftung = d.findChild<QLabel*>("RechnungsNummerLEdLabel");
  ASSERT_NE(beschriftung, nullptr);
  EXPECT_EQ(beschriftung->text(), "Rechnungs-Nummer:");
  EXPECT_EQ(beschriftung->geometry().right() + 1 + 5, 137);
  EXPECT_EQ(TRechnungsnummer::Hinweistext(8),
            "Die Rechnungsnummer ist zu lang !\rBitte auf max. 8 Zeichen kürzen.");
}

TEST(RechnungsNummerDialog, EnterNachLoeschenDerErstenZiffer) {
  TRechnungsnummer d;
  waehrendExec(d, [&] {
    EXPECT_EQ(hinweis(d)->text(), kZweiZeilen8);
    EXPECT_EQ(feld(d)->text(), "123456789");
    EXPECT_TRUE(QTest::qWaitFor([&] { return feld(d)->hasFocus(); }, 2000));
    QTest::keyClick(feld(d), Qt::Key_Home);
    QTest::keyClick(feld(d), Qt::Key_Delete);
    QTest::keyClick(feld(d), Qt::Key_Return);
  });
  EXPECT_EQ(d.RechnungsNummerAendern("123456789", 8), "23456789");
  EXPECT_FALSE(d.isVisible());
}

TEST(RechnungsNummerDialog, KnopfUebernimmtJedeLaenge) {
  TRechnungsnummer d;
  waehrendExec(d, [&] {
    feld(d)->selectAll();
    QTest::keyClicks(feld(d), "X;1234567890");
    QTest::mouseClick(knopf(d), Qt::LeftButton);
  });
  EXPECT_EQ(d.RechnungsNummerAendern("123456789", 8), "X;1234567890");
}

TEST(RechnungsNummerDialog, SchliessenLiefertDieUnveraenderteNummer) {
  TRechnungsnummer d;
  waehrendExec(d, [&] { d.close(); });
  EXPECT_EQ(d.RechnungsNummerAendern("123456789", 8), "123456789");
}

TEST(RechnungsNummerDialog, LeeresFeldUndEnter) {
  TRechnungsnummer d;
  waehrendExec(d, [&] {
    feld(d)->clear();
    QTest::keyClick(feld(d), Qt::Key_Enter);
  });
  EXPECT_EQ(d.RechnungsNummerAendern("123456789", 8), "");
}

TEST(RechnungsNummerDialog, EscapeSchliesstNicht) {
  TRechnungsnummer d;
  waehrendExec(d, [&] {
    QTest::keyClick(feld(d), Qt::Key_Escape);
    QTest::qWait(50);
    EXPECT_TRUE(d.isVisible());
    QTest::keyClick(feld(d), Qt::Key_Return);
  });
  EXPECT_EQ(d.RechnungsNummerAendern("123", 2), "123");
}

TEST(RechnungsNummerDialog, JederAufrufSetztHinweisUndFeldNeu) {
  TRechnungsnummer d;
  waehrendExec(d, [&] { QTest::keyClick(feld(d), Qt::Key_Return); });
  d.RechnungsNummerAendern("123456789", 8);
  waehrendExec(d, [&] {
    EXPECT_EQ(hinweis(d)->text(), QString::fromUtf8("Die Rechnungsnummer ist zu lang !\n"
                                                    "Bitte auf max. 12 Zeichen kürzen."));
    EXPECT_EQ(feld(d)->text(), QString::fromUtf8("Ärger-1234567890"));
    QTest::keyClick(feld(d), Qt::Key_Return);
  });
  EXPECT_EQ(d.RechnungsNummerAendern("Ärger-1234567890", 12), "Ärger-1234567890");
}

// Forwards the invoice number question to the real dialog and plays one
// scripted action per opening.
class DialogBediener : public SkriptBediener {
 public:
  TRechnungsnummer dialog;
  std::deque<std::function<void(TRechnungsnummer&)>> aktionen;

  std::string rechnungsNummerAendern(const std::string& nummer, int stellen) override {
    ereignisse.push_back("rechnungsnummer: " + nummer + "/" + std::to_string(stellen));
    std::function<void(TRechnungsnummer&)> aktion = [](TRechnungsnummer& d) {
      ADD_FAILURE() << "dialog opened once too often";
      d.close();
    };
    if (!aktionen.empty()) {
      aktion = aktionen.front();
      aktionen.pop_front();
    }
    waehrendExec(dialog, [this, aktion] { aktion(dialog); });
    return dialog.RechnungsNummerAendern(nummer, stellen);
  }
};

TEST(RechnungsNummerDialog, KommtWiederBisDieNummerPasst) {
  ExportUmgebung u;
  u.konfiguration.RNummerKuerzen = true;
  u.konfiguration.AnzahlRNStellen = 8;
  DialogBediener bediener;
  bediener.aktionen = {[](TRechnungsnummer& d) { d.close(); },
                       [](TRechnungsnummer& d) {
                         feld(d)->selectAll();
                         QTest::keyClicks(feld(d), "1234567890");
                         QTest::keyClick(feld(d), Qt::Key_Return);
                       },
                       [](TRechnungsnummer& d) {
                         EXPECT_EQ(hinweis(d)->text(), kZweiZeilen8);
                         feld(d)->selectAll();
                         QTest::keyClicks(feld(d), "23456789");
                         QTest::mouseClick(knopf(d), Qt::LeftButton);
                       }};

  TextGrid grid(31, 1);
  std::vector<std::string> zeile(31);
  zeile[0] = "EUR";
  zeile[1] = "10.00";
  zeile[2] = "123456789";
  zeile[3] = "2025-01-18";
  zeile[30] = "815-1";
  grid.appendRow(zeile);
  DatevExportSchreiben(grid, u.konfiguration, u.protokoll, bediener);

  EXPECT_EQ(bediener.ereignisse, (std::vector<std::string>{"rechnungsnummer: 123456789/8",
                                                           "rechnungsnummer: 123456789/8",
                                                           "rechnungsnummer: 1234567890/8"}));
  EXPECT_EQ(grid.cell(2, 0), "23456789");
  const std::string ledger = readBytes(u.belege / "815-1.xml");
  EXPECT_NE(ledger.find("consolidatedInvoiceId=\"23456789\""), std::string::npos);
  EXPECT_NE(ledger.find("<invoiceId>23456789</invoiceId>"), std::string::npos);
  EXPECT_EQ(xmllintFehler(u.belege / "815-1.xml"), "");
}

}  // namespace
}  // namespace belvanto::test
