// The main window as the bookkeeper meets it: initial states, the unticking
// rules, the help text, the Start button's life cycle and the end of the
// program on a missing working folder.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <set>

#include "app/QtBediener.h"
#include "app/TForm1.h"
#include "app/THilfe.h"
#include "export/URechnungsNummer.h"
#include "input/ULieferantenDialog.h"
#include "protocol/TProtokollForm.h"
#include "protocol/Druckerwahl.h"
#include "support/SkriptBediener.h"
#include "support/TestSupport.h"

namespace belvanto {
namespace {

using test::SkriptBediener;
using test::TempDir;
using test::writeBytes;

class Hauptfenster : public ::testing::Test {
 protected:
  void SetUp() override {
    std::filesystem::create_directories(dir / "arbeit");
    std::filesystem::create_directories(dir / "backup");
  }

  void ini(const std::string& zusatz) {
    test::testIniSchreiben(dir.path(), dir.path(), "[Firma]\r\nMitgliedsnummer=4711\r\n" + zusatz);
    writeBytes(dir / "LieferantenUmsetzung.csv", "");
  }

  std::unique_ptr<TForm1> fenster() {
    auto f = std::make_unique<TForm1>(dir.path(), druckerwahl, bediener, hilfe);
    return f;
  }

  template <class W>
  static W* teil(QWidget& fenster, const char* name) {
    auto* w = fenster.findChild<W*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }

  TempDir dir;
  Druckerwahl druckerwahl;
  SkriptBediener bediener;
  THilfe hilfe;
};

TEST_F(Hauptfenster, ShowsTheConfigurationAndInitialStates) {
  ini("[EMail-Versand]\r\nEmpfaengerRemADV=r@b\r\nEmpfaengerRNKopie=k@b\r\n");
  auto f = fenster();
  ASSERT_TRUE(f->FormCreate());
  EXPECT_EQ(f->windowTitle(), "Belvanto 8.1 SFtp");
  EXPECT_EQ(teil<QLineEdit>(*f, "LblMitgliedsNr")->text(), "4711");
  EXPECT_EQ(teil<QLineEdit>(*f, "VerzeichnisLbL")->text(),
            QString::fromStdString((dir / "arbeit").string()) + "/");
  EXPECT_TRUE(teil<QLineEdit>(*f, "VerzeichnisLbL")->isReadOnly());
  EXPECT_EQ(teil<QLineEdit>(*f, "LbLFortschritt")->text(), "");
  for (const char* name : {"DownloadCB", "LadenMailCB", "RemADVCB", "RemAdvMailCB"})
    EXPECT_TRUE(teil<QCheckBox>(*f, name)->isChecked()) << name;
  EXPECT_EQ(teil<QCheckBox>(*f, "DownloadCB")->text(), "mit Download");
  EXPECT_EQ(teil<QCheckBox>(*f, "RemAdvMailCB")->text(), "RemADV mailen");
  EXPECT_EQ(teil<QPushButton>(*f, "BtnStart")->text(), "Start");

  auto* combo = teil<QComboBox>(*f, "CBDruckerauswahl");
  ASSERT_EQ(combo->count(), druckerwahl.namen().size());
  EXPECT_EQ(combo->currentIndex(), druckerwahl.aktuellerIndex());

  // Tab order over the controls that take the focus by tab.
  QStringList kette;
  QWidget* w = combo;
  for (int i = 0; i < 8; ++i, w = w->nextInFocusChain()) {
    while (!(w->focusPolicy() & Qt::TabFocus)) w = w->nextInFocusChain();
    kette << w->objectName();
  }
  EXPECT_EQ(kette, QStringList({"CBDruckerauswahl", "DownloadCB", "LadenMailCB", "RemADVCB",
                                "RemAdvMailCB", "BtnStart", "BtnTest", "BtnHilfe"}));
  for (const char* name : {"LblMitgliedsNr", "LbLFortschritt", "VerzeichnisLbL"})
    EXPECT_FALSE(teil<QWidget>(*f, name)->focusPolicy() & Qt::TabFocus) << name;
}

TEST_F(Hauptfenster, EmptyRecipientListsUntickTheirMailBoxes) {
  ini("[EMail-Versand]\r\nEmpfaengerRemADV=\r\n");
  auto f = fenster();
  ASSERT_TRUE(f->FormCreate());
  EXPECT_FALSE(teil<QCheckBox>(*f, "RemAdvMailCB")->isChecked());
  EXPECT_FALSE(teil<QCheckBox>(*f, "LadenMailCB")->isChecked());
  EXPECT_TRUE(teil<QCheckBox>(*f, "RemADVCB")->isChecked());
  // The bookkeeper may tick them again by hand.
  teil<QCheckBox>(*f, "LadenMailCB")->click();
  EXPECT_TRUE(f->angehakt(Haken::belegeMailen));
}

TEST_F(Hauptfenster, UntickingRemAdvUnticksItsMailBoxButTickingLeavesIt) {
  ini("[EMail-Versand]\r\nEmpfaengerRemADV=r@b\r\nEmpfaengerRNKopie=k@b\r\n");
  auto f = fenster();
  ASSERT_TRUE(f->FormCreate());
  auto* remadv = teil<QCheckBox>(*f, "RemADVCB");
  auto* mail = teil<QCheckBox>(*f, "RemAdvMailCB");
  remadv->click();
  EXPECT_FALSE(remadv->isChecked());
  EXPECT_FALSE(mail->isChecked());
  remadv->click();
  EXPECT_TRUE(remadv->isChecked());
  EXPECT_FALSE(mail->isChecked());
}

TEST_F(Hauptfenster, MissingWorkingFolderEndsTheProgramWithItsMessage) {
  writeBytes(dir / "Belvanto.ini", "[Verzeichnisse]\nArbeitsVerzeichnis=/gibt es/nicht\n");
  auto f = fenster();
  EXPECT_FALSE(f->FormCreate());
  ASSERT_EQ(bediener.meldungen.size(), 1u);
  EXPECT_EQ(bediener.meldungen[0],
            "Falsches Verzeichnis im INI-String !\rProgramm wird beendet\r"
            "Verzeichnis: /gibt*es/nicht");
}

TEST_F(Hauptfenster, SecondPressOfStartEndsTheProgram) {
  ini("");
  auto f = fenster();
  ASSERT_TRUE(f->FormCreate());
  teil<QCheckBox>(*f, "DownloadCB")->setChecked(false);
  auto* start = teil<QPushButton>(*f, "BtnStart");

  start->click();  // a run without any booking file
  EXPECT_TRUE(f->laufGestartet());
  EXPECT_EQ(start->text(), "Ende");
  EXPECT_EQ(bediener.protokollGezeigt, 1);

  // The second press asks the application to end: the event loop returns.
  QTimer::singleShot(0, start, &QPushButton::click);
  QTimer::singleShot(5000, [] { QCoreApplication::exit(99); });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_EQ(bediener.protokollGezeigt, 1) << "nothing else happens";
}

TEST_F(Hauptfenster, AnErrorInTheRunShowsTheErrorBoxAndLeavesStart) {
  ini("");
  std::filesystem::remove_all(dir / "backup");  // the backup cannot be written
  auto f = fenster();
  ASSERT_TRUE(f->FormCreate());
  teil<QCheckBox>(*f, "DownloadCB")->setChecked(false);
  auto* start = teil<QPushButton>(*f, "BtnStart");
  QString gesehen;
  QTimer::singleShot(0, [&] {
    if (auto* box = QApplication::activeModalWidget()) {
      gesehen = box->windowTitle();
      box->close();
    }
  });
  start->click();
  EXPECT_EQ(gesehen, "Belvanto");
  EXPECT_EQ(start->text(), "Start");
  EXPECT_TRUE(f->laufGestartet()) << "a second press still ends the program";
}

// Texts of boxes hold what strangers wrote (server names and texts, file
// cells): every box shows a tag in them as it stands, never as markup.
TEST_F(Hauptfenster, BoxesShowTagsAsTheyStand) {
  const QString tag = QStringLiteral("<img src=\"/dev/zero\"><b>4711</b>");
  struct Gesehen {
    QString text;
    Qt::TextFormat format = Qt::AutoText;
  };
  auto naechsteBox = [](Gesehen& g) {
    QTimer::singleShot(0, [&g] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        g = {box->text(), box->textFormat()};
        box->close();
      }
    });
  };
  TLieferanten lieferanten;
  TRechnungsnummer rechnungsnummer;
  TProtokollForm protokoll(druckerwahl);
  QtBediener echt(lieferanten, rechnungsnummer, protokoll);
  // A member number that cannot be part of a file name ends the run in the error box.
  test::testIniSchreiben(dir.path(), dir.path(), "[Firma]\r\nMitgliedsnummer=" + tag.toStdString());
  writeBytes(dir / "LieferantenUmsetzung.csv", "");
  auto f = fenster();
  ASSERT_TRUE(f->FormCreate());
  teil<QCheckBox>(*f, "DownloadCB")->setChecked(false);
  const std::function<void()> quellen[] = {
      [&] { teil<QPushButton>(*f, "BtnStart")->click(); },  // the run's error box
      [&] { echt.meldung(tag.toStdString()); },
      [&] { echt.frage(tag.toStdString()); },
  };
  for (const auto& zeigen : quellen) {
    Gesehen g;
    naechsteBox(g);
    zeigen();
    EXPECT_EQ(g.format, Qt::PlainText);
    EXPECT_TRUE(g.text.contains(tag)) << g.text.toStdString();
  }
}

TEST(Hilfe, ShowsItsTwentySevenLinesExactly) {
  THilfe hilfe;
  EXPECT_EQ(hilfe.windowTitle(), "Hilfe");
  auto* memo = hilfe.findChild<QPlainTextEdit*>("MmoHilfe");
  ASSERT_NE(memo, nullptr);
  const QStringList zeilen = memo->toPlainText().split('\n');
  ASSERT_EQ(zeilen.size(), 27);
  EXPECT_EQ(zeilen[0], "Belvanto");
  EXPECT_EQ(zeilen[5], "Mit Hilfe des \"Test\"-Buttons kann vor der Verarbeitung geprüft werden ");
  EXPECT_EQ(zeilen[12], "eingegeben werden.. Dabei muß darauf geachtet werden, daß der ");
  EXPECT_EQ(zeilen[25], "\"mit Download\" entfernt werden. Ebenso kann der Ausdruck der Belege ");
  EXPECT_EQ(zeilen[26], "unterdrückt werden.");
  const std::set<int> leer = {2, 5, 8, 15, 20, 24};
  const std::set<int> mitBlank = {6, 9, 10, 11, 12, 13, 16, 17, 18, 21, 22, 25, 26};
  for (int i = 1; i <= 27; ++i) {
    const QString& z = zeilen[i - 1];
    EXPECT_EQ(z.isEmpty(), leer.count(i) == 1) << "line " << i;
    EXPECT_EQ(z.endsWith(' '), mitBlank.count(i) == 1) << "line " << i;
  }
  auto* knopf = hilfe.findChild<QPushButton*>("BtnSchliessen");
  ASSERT_NE(knopf, nullptr);
  EXPECT_EQ(knopf->text(), "Schliessen");
  hilfe.show();
  knopf->click();
  EXPECT_FALSE(hilfe.isVisible());
}

}  // namespace
}  // namespace belvanto
