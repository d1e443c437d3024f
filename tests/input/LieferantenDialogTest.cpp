// The supplier dialog on Qt's offscreen platform: layout, key filters, the
// "Übernahme" button and the modal question with its remembered amount.
#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QtTest/QTest>
#include <functional>

#include "input/ULieferantenDialog.h"

namespace belvanto {
namespace {

// Types `text` character by character as key events carrying the character,
// like QTest::keyClicks but for characters beyond ASCII too.
void tippe(QWidget* ziel, const QString& text) {
  for (const QChar c : text) {
    const auto taste = c.unicode() < 128 && c.isLetterOrNumber() ? Qt::Key(c.toUpper().unicode())
                                                                 : Qt::Key_unknown;
    QKeyEvent druck(QEvent::KeyPress, taste, Qt::NoModifier, QString(c));
    QKeyEvent los(QEvent::KeyRelease, taste, Qt::NoModifier, QString(c));
    QApplication::sendEvent(ziel, &druck);
    QApplication::sendEvent(ziel, &los);
  }
}

// The next widget Tab reaches from `w`.
QWidget* naechsterTabHalt(QWidget* w) {
  for (QWidget* n = w->nextInFocusChain(); n != w; n = n->nextInFocusChain()) {
    if (n->focusPolicy() & Qt::TabFocus) return n;
  }
  return w;
}

class LieferantenDialogTest : public testing::Test {
 protected:
  QLineEdit* feld(const char* name) {
    auto* f = dialog.findChild<QLineEdit*>(QString::fromLatin1(name));
    EXPECT_NE(f, nullptr) << name;
    return f;
  }
  QPushButton* knopf() { return dialog.findChild<QPushButton*>(QStringLiteral("BtnUebername")); }

  // Runs erfragen() and, once the modal loop is running, `bedienen`; a dialog
  // still open after five seconds is closed so that a failure cannot hang.
  LieferantEingabe erfragen(const std::string& nummer, std::function<void()> bedienen) {
    QTimer::singleShot(0, &dialog, [this, bedienen] {
      ASSERT_TRUE(dialog.isVisible());
      ASSERT_TRUE(dialog.isModal());
      bedienen();
    });
    QTimer notbremse;
    notbremse.setSingleShot(true);
    QObject::connect(&notbremse, &QTimer::timeout, &dialog, [this] {
      ADD_FAILURE() << "dialog did not close";
      dialog.reject();
    });
    notbremse.start(5000);
    return dialog.erfragen(nummer);
  }

  TLieferanten dialog;
};

TEST_F(LieferantenDialogTest, LayoutAsGiven) {
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Lieferanten"));
  EXPECT_EQ(dialog.size(), QSize(237, 320));
  EXPECT_EQ(dialog.font().pixelSize(), 11);

  auto* erklaerung = dialog.findChild<QLabel*>(QStringLiteral("LbErklaerung"));
  ASSERT_NE(erklaerung, nullptr);
  EXPECT_EQ(erklaerung->text(), QStringLiteral("Lieferant nicht vorhanden  !"));
  EXPECT_TRUE(erklaerung->font().bold());
  EXPECT_EQ(erklaerung->pos(), QPoint(32, 24));

  struct Fall {
    const char* name;
    const char* beschriftung;
    int oben;
  } faelle[] = {{"LEMorvenauNummer", "Morvenau-Nummer", 64},
                {"LEKerbholtNummer", "eigene Nummer", 112},
                {"LEKerbholtName", "eigener Name", 160},
                {"LEKerbholtMaxBetrag", "Maximal-Betrag", 208}};
  for (const auto& f : faelle) {
    SCOPED_TRACE(f.name);
    auto* e = feld(f.name);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->pos(), QPoint(32, f.oben));
    EXPECT_EQ(e->width(), 169);
    auto* label = dialog.findChild<QLabel*>(QString::fromLatin1(f.name) + "Label");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QString::fromUtf8(f.beschriftung));
    EXPECT_EQ(label->x(), 32);
    EXPECT_LE(label->geometry().bottom(), f.oben);
    EXPECT_GT(label->y(), f.oben - 24);
  }
  ASSERT_NE(knopf(), nullptr);
  EXPECT_EQ(knopf()->text(), QStringLiteral("Übernahme"));
  EXPECT_EQ(knopf()->geometry(), QRect(32, 272, 75, 25));

  // Tab order; the number shown is skipped by Tab.
  EXPECT_FALSE(feld("LEMorvenauNummer")->focusPolicy() & Qt::TabFocus);
  EXPECT_EQ(naechsterTabHalt(feld("LEMorvenauNummer")), feld("LEKerbholtNummer"));
  EXPECT_EQ(naechsterTabHalt(feld("LEKerbholtNummer")), feld("LEKerbholtName"));
  EXPECT_EQ(naechsterTabHalt(feld("LEKerbholtName")), feld("LEKerbholtMaxBetrag"));
  EXPECT_EQ(naechsterTabHalt(feld("LEKerbholtMaxBetrag")), knopf());
  EXPECT_EQ(naechsterTabHalt(knopf()), feld("LEKerbholtNummer"));
}

TEST_F(LieferantenDialogTest, OwnNumberTakesDigitsMinusAndBackspaceOnly) {
  auto* nummer = feld("LEKerbholtNummer");
  tippe(nummer, QStringLiteral("7a0;0 1-x2.ä"));
  EXPECT_EQ(nummer->text(), QStringLiteral("7001-2"));
  QTest::keyClick(nummer, Qt::Key_Backspace);
  EXPECT_EQ(nummer->text(), QStringLiteral("7001-"));
  // Keys that type nothing keep working.
  QTest::keyClick(nummer, Qt::Key_Home);
  QTest::keyClick(nummer, Qt::Key_Delete);
  QTest::keyClick(nummer, Qt::Key_Right);
  QTest::keyClicks(nummer, "9");
  EXPECT_EQ(nummer->text(), QStringLiteral("0901-"));

  // Pasting goes round the key filter; letters must not come in that way.
  QApplication::clipboard()->setText(QStringLiteral("ABC xyz"));
  nummer->paste();
  EXPECT_EQ(nummer->text(), QStringLiteral("0901-"));
  QApplication::clipboard()->setText(QStringLiteral("-42"));
  nummer->end(false);
  nummer->paste();
  EXPECT_EQ(nummer->text(), QStringLiteral("0901--42"));
}

TEST_F(LieferantenDialogTest, NameAndAmountTakeEveryCharacter) {
  for (const char* name : {"LEKerbholtName", "LEKerbholtMaxBetrag"}) {
    tippe(feld(name), QStringLiteral("Müller; & Co 1,5"));
    EXPECT_EQ(feld(name)->text(), QStringLiteral("Müller; & Co 1,5")) << name;
  }
}

TEST_F(LieferantenDialogTest, EnterAndBellMoveOnWithoutTypingOrClosing) {
  dialog.show();
  feld("LEKerbholtNummer")->setFocus();
  struct Schritt {
    const char* von;
    Qt::Key taste;
    Qt::KeyboardModifiers mod;
    QWidget* nach;
  } schritte[] = {
      {"LEKerbholtNummer", Qt::Key_Return, Qt::NoModifier, feld("LEKerbholtName")},
      {"LEKerbholtName", Qt::Key_G, Qt::ControlModifier, feld("LEKerbholtMaxBetrag")},
      {"LEKerbholtMaxBetrag", Qt::Key_Enter, Qt::KeypadModifier, knopf()},
  };
  for (const auto& s : schritte) {
    SCOPED_TRACE(s.von);
    QTest::keyClick(feld(s.von), s.taste, s.mod);
    EXPECT_EQ(dialog.focusWidget(), s.nach);
    EXPECT_EQ(feld(s.von)->text(), QString());
  }
  feld("LEKerbholtNummer")->setFocus();
  QTest::keyClick(feld("LEKerbholtNummer"), Qt::Key_G, Qt::ControlModifier);
  EXPECT_EQ(dialog.focusWidget(), feld("LEKerbholtName"));
  // Neither Enter in the number shown nor Escape closes the dialog.
  QTest::keyClick(feld("LEMorvenauNummer"), Qt::Key_Return);
  QTest::keyClick(feld("LEKerbholtName"), Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible());
  dialog.hide();
}

TEST_F(LieferantenDialogTest, UebernahmeClosesOnlyWithAllThreeFields) {
  const auto antwort = erfragen("4711", [this] {
    EXPECT_EQ(feld("LEMorvenauNummer")->text(), QStringLiteral("4711"));
    EXPECT_EQ(dialog.focusWidget(), feld("LEKerbholtNummer"));
    QTest::mouseClick(knopf(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClicks(feld("LEKerbholtNummer"), "70001");
    tippe(feld("LEKerbholtName"), QStringLiteral("Müller & Söhne"));
    QTest::mouseClick(knopf(), Qt::LeftButton);
    EXPECT_TRUE(dialog.isVisible());
    QTest::keyClicks(feld("LEKerbholtMaxBetrag"), "500,00");
    knopf()->setFocus();
    QTest::keyClick(knopf(), Qt::Key_Return);  // a focused button takes Enter
  });
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(antwort.nummer, "70001");
  EXPECT_EQ(antwort.name, "M\xc3\xbcller & S\xc3\xb6hne");
  EXPECT_EQ(antwort.maxBetrag, "500,00");
}

TEST_F(LieferantenDialogTest, CloseButtonTakesTheFieldsAsTheyAre) {
  const auto antwort = erfragen("0815", [this] {
    QTest::keyClicks(feld("LEKerbholtName"), "Nur Name");
    dialog.close();
  });
  EXPECT_EQ(antwort.nummer, "");
  EXPECT_EQ(antwort.name, "Nur Name");
  EXPECT_EQ(antwort.maxBetrag, "");
}

TEST_F(LieferantenDialogTest, SecondQuestionKeepsTheAmountAndClearsTheRest) {
  erfragen("1", [this] {
    QTest::keyClicks(feld("LEKerbholtNummer"), "11");
    QTest::keyClicks(feld("LEKerbholtName"), "Erster");
    QTest::keyClicks(feld("LEKerbholtMaxBetrag"), "750,00");
    QTest::mouseClick(knopf(), Qt::LeftButton);
  });
  const auto zweite = erfragen("2", [this] {
    EXPECT_EQ(feld("LEMorvenauNummer")->text(), QStringLiteral("2"));
    EXPECT_EQ(feld("LEKerbholtNummer")->text(), QString());
    EXPECT_EQ(feld("LEKerbholtName")->text(), QString());
    EXPECT_EQ(feld("LEKerbholtMaxBetrag")->text(), QStringLiteral("750,00"));
    QTest::keyClicks(feld("LEKerbholtNummer"), "22");
    QTest::keyClicks(feld("LEKerbholtName"), "Zweiter");
    QTest::mouseClick(knopf(), Qt::LeftButton);
  });
  EXPECT_EQ(zweite.nummer, "22");
  EXPECT_EQ(zweite.name, "Zweiter");
  EXPECT_EQ(zweite.maxBetrag, "750,00");
}

}  // namespace
}  // namespace belvanto
