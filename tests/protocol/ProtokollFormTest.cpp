// The protocol window on the offscreen platform: layout, showing it modally,
// saving through its button.
#include <gtest/gtest.h>

#include <QApplication>
#include <QHeaderView>
#include <QMessageBox>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <filesystem>

#include "protocol/Druckerwahl.h"
#include "protocol/TProtokollForm.h"
#include "support/TestSupport.h"

namespace belvanto {
namespace {

using test::readBytes;
using test::TempDir;

// Accepts the next modal message box and returns its text once the event
// loop that showed it has given it back.
class MeldungsFaenger {
 public:
  MeldungsFaenger() {
    timer_.setInterval(10);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
      if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
        text_ = box->text();
        format_ = box->textFormat();
        titel_ = box->windowTitle();
        icon_ = box->icon();
        box->accept();
        timer_.stop();
      }
    });
    timer_.start();
  }
  QString text() const { return text_; }
  QString titel() const { return titel_; }
  QMessageBox::Icon icon() const { return icon_; }
  Qt::TextFormat format() const { return format_; }

 private:
  QTimer timer_;
  QString text_;
  QString titel_;
  QMessageBox::Icon icon_ = QMessageBox::NoIcon;
  Qt::TextFormat format_ = Qt::AutoText;
};

Protokoll beispielProtokoll() {
  Protokoll protokoll;
  protokoll.AddProtokollEintrag("Abrechnung vom", "15.03.2024", "Mitgliedsnr.", "4711", " ", "");
  protokoll.AddProtokollEintrag("Rechnungsbetrag zu hoch", "R-7", "01.03.2024", "Bäckerei Größe",
                                "Ist: 1234,5", "Soll: 1000");
  return protokoll;
}

class ProtokollFormTest : public testing::Test {
 protected:
  Druckerwahl druckerwahl{QStringList{}, QString()};
  TProtokollForm form{druckerwahl};
};

TEST_F(ProtokollFormTest, LayoutAsDesigned) {
  EXPECT_EQ(form.windowTitle(), "ProtokollForm");
  EXPECT_EQ(form.size(), QSize(813, 495));
  EXPECT_EQ(form.pos(), QPoint(311, 96));
  EXPECT_EQ(form.font().pixelSize(), 11);

  auto* grid = form.findChild<QTableWidget*>("ProtokollGrid");
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->geometry(), QRect(26, 8, 745, 409));
  EXPECT_EQ(grid->columnCount(), 6);
  EXPECT_EQ(grid->rowCount(), 1);
  EXPECT_EQ(grid->rowHeight(0), 24);
  EXPECT_FALSE(grid->horizontalHeader()->isVisible());
  EXPECT_FALSE(grid->verticalHeader()->isVisible());

  const struct {
    const char* name;
    const char* text;
    QRect geometrie;
  } knoepfe[] = {{"CloseBtn", "Schliessen", {696, 448, 75, 25}},
                 {"SaveBtn", "Sichern", {584, 448, 75, 25}},
                 {"PrintBtn", "Drucken", {472, 448, 75, 25}}};
  QList<QWidget*> erwarteteFolge{grid};
  for (const auto& k : knoepfe) {
    auto* button = form.findChild<QPushButton*>(k.name);
    ASSERT_NE(button, nullptr) << k.name;
    EXPECT_EQ(button->text(), QString::fromUtf8(k.text));
    EXPECT_EQ(button->geometry(), k.geometrie) << k.name;
    erwarteteFolge.push_back(button);
  }

  QList<QWidget*> folge;
  QWidget* w = grid;
  do {
    if (erwarteteFolge.contains(w) && !folge.contains(w)) folge.push_back(w);
    w = w->nextInFocusChain();
  } while (w != grid);
  EXPECT_EQ(folge, erwarteteFolge);
}

TEST_F(ProtokollFormTest, ShowingSetsColumnWidthsAndFillsTheGrid) {
  Protokoll protokoll = beispielProtokoll();
  form.fuellen(protokoll);
  protokoll.AddProtokollEintrag("Stimmt das ?", "Es wurden nur", "3", "Belege verarbeitet !", "",
                                "");
  EXPECT_EQ(form.ProtokollGrid->columnWidth(0), 64);

  form.show();
  const int breiten[] = {150, 150, 100, 100, 100, 100};
  for (int c = 0; c < 6; ++c) EXPECT_EQ(form.ProtokollGrid->columnWidth(c), breiten[c]) << c;
  ASSERT_EQ(form.ProtokollGrid->rowCount(), 4);
  for (int r = 0; r < 4; ++r) EXPECT_EQ(form.ProtokollGrid->rowHeight(r), 24);
  EXPECT_EQ(form.ProtokollGrid->item(1, 3)->text(), "Bäckerei Größe");
  EXPECT_EQ(form.ProtokollGrid->item(2, 0)->text(), "Stimmt das ?");
  EXPECT_EQ(form.ProtokollGrid->item(3, 0)->text(), "");
  form.close();
}

TEST_F(ProtokollFormTest, SchliessenEndsTheModalDisplay) {
  Protokoll protokoll = beispielProtokoll();
  bool sichtbar = false;
  int zeilen = 0;
  QTimer::singleShot(0, [&] {
    sichtbar = form.isVisible() && form.isModal();
    zeilen = form.ProtokollGrid->rowCount();
    form.CloseBtn->click();
  });
  form.zeigen(protokoll);
  EXPECT_TRUE(sichtbar);
  EXPECT_EQ(zeilen, 3);
  EXPECT_FALSE(form.isVisible());
}

TEST_F(ProtokollFormTest, SichernWritesTheChosenFile) {
  TempDir dir;
  Protokoll protokoll = beispielProtokoll();
  form.fuellen(protokoll);
  const QString ziel = QString::fromStdString((dir / "Protokoll äö.txt").string());
  form.dateiAbfrage = [&](QWidget* eltern) {
    EXPECT_EQ(eltern, &form);
    return ziel;
  };
  form.SaveBtn->click();
  EXPECT_EQ(readBytes(dir / "Protokoll äö.txt"),
            "Abrechnung vom15.03.2024Mitgliedsnr.4711 \r\n"
            "Rechnungsbetrag zu hochR-701.03.2024B\xE4"
            "ckerei Gr\xF6\xDF"
            "eIst: 1234,5Soll: 1000\r\n\r\n");
}

TEST_F(ProtokollFormTest, CancelledSaveWritesNothing) {
  TempDir dir;
  Protokoll protokoll = beispielProtokoll();
  form.fuellen(protokoll);
  int gefragt = 0;
  form.dateiAbfrage = [&](QWidget*) {
    ++gefragt;
    return QString();
  };
  form.SaveBtn->click();
  EXPECT_EQ(gefragt, 1);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST_F(ProtokollFormTest, UnwritableFileShowsTheErrorBox) {
  TempDir dir;
  Protokoll protokoll = beispielProtokoll();
  form.fuellen(protokoll);
  // A name with a tag in it shows as it stands.
  const auto ziel = dir / "<b>fehlt</b>" / "p.txt";
  form.dateiAbfrage = [&](QWidget*) { return QString::fromStdString(ziel.string()); };
  MeldungsFaenger meldung;
  form.SaveBtn->click();
  EXPECT_EQ(meldung.format(), Qt::PlainText);
  EXPECT_EQ(meldung.icon(), QMessageBox::Critical);
  EXPECT_EQ(meldung.titel(), "Belvanto");
  EXPECT_TRUE(meldung.text().contains(QString::fromStdString(ziel.string())))
      << meldung.text().toStdString();
  EXPECT_TRUE(meldung.text().contains("geschrieben")) << meldung.text().toStdString();
}

TEST_F(ProtokollFormTest, DruckenThatCannotPrintShowsTheErrorBox) {
  TempDir dir;
  Protokoll protokoll = beispielProtokoll();
  form.fuellen(protokoll);
  const QString ungueltig = QString::fromStdString((dir / "fehlt" / "p.pdf").string());
  const struct {
    QString pdf;
    QString text;
  } faelle[] = {{QString(), "Es ist kein Drucker eingerichtet."}, {ungueltig, ungueltig}};
  for (const auto& fall : faelle) {
    druckerwahl.pdfAusgabe(fall.pdf);
    MeldungsFaenger meldung;
    form.PrintBtn->click();
    EXPECT_EQ(meldung.icon(), QMessageBox::Critical);
    EXPECT_EQ(meldung.titel(), "Belvanto");
    EXPECT_TRUE(meldung.text().contains(fall.text)) << meldung.text().toStdString();
  }
}

}  // namespace
}  // namespace belvanto
