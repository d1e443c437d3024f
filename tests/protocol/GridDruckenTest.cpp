// Grid printing into real PDF files read back with pdftotext, the printer
// choice, printing without any printer or with one that refuses the job, and
// the German dialogs and Windows-width fonts the program starts with.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QFontInfo>
#include <QHeaderView>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <filesystem>

#include "app/DeutscheOberflaeche.h"
#include "protocol/Druckerwahl.h"
#include "protocol/GridDrucken.h"
#include "protocol/TProtokollForm.h"
#include "support/TestSupport.h"
#include "util/Fehler.h"

namespace belvanto {
namespace {

using test::TempDir;

QString pfad(const std::filesystem::path& p) {
  return QString::fromStdString(p.string());
}

QString programm(const QString& name, const QStringList& argumente) {
  QProcess prozess;
  prozess.start(name, argumente);
  EXPECT_TRUE(prozess.waitForFinished(30000)) << name.toStdString();
  EXPECT_EQ(prozess.exitCode(), 0) << prozess.readAllStandardError().toStdString();
  return QString::fromUtf8(prozess.readAllStandardOutput());
}

QString pdfText(const std::filesystem::path& pdf) {
  return programm("pdftotext", {"-layout", pfad(pdf), "-"});
}

// Left and right edge in points of the first word `wort` in the PDF.
std::pair<double, double> wortRaender(const std::filesystem::path& pdf, const QString& wort) {
  const QString html = programm("pdftotext", {"-bbox", pfad(pdf), "-"});
  const QRegularExpression muster(
      "<word xMin=\"([0-9.]+)\" yMin=\"[0-9.]+\" xMax=\"([0-9.]+)\"[^>]*>" +
      QRegularExpression::escape(wort) + "</word>");
  const auto treffer = muster.match(html);
  EXPECT_TRUE(treffer.hasMatch()) << wort.toStdString();
  return {treffer.captured(1).toDouble(), treffer.captured(2).toDouble()};
}

double wortLinks(const std::filesystem::path& pdf, const QString& wort) {
  return wortRaender(pdf, wort).first;
}

// The program's start-up, before any test resolves a font: a font looked up
// once keeps its face.
class DeutscheOberflaecheUmgebung : public testing::Environment {
 public:
  void SetUp() override { geladen = deutscheOberflaeche(*QCoreApplication::instance()); }
  static inline bool geladen = false;
};
[[maybe_unused]] const auto* const umgebung =
    testing::AddGlobalTestEnvironment(new DeutscheOberflaecheUmgebung);

void fuelle(QTableWidget& grid, int zeilen) {
  grid.setColumnCount(6);
  grid.setRowCount(zeilen);
  for (int r = 0; r < zeilen; ++r) {
    for (int c = 0; c < 6; ++c) {
      grid.setItem(r, c, new QTableWidgetItem(QString("Z%1S%2").arg(r, 3, 10, QChar('0')).arg(c)));
    }
  }
  QFont schrift("MS Sans Serif");
  schrift.setPixelSize(11);
  grid.setFont(schrift);
  grid.verticalHeader()->setMinimumSectionSize(1);
  grid.verticalHeader()->setDefaultSectionSize(24);
}

TEST(Druckerwahl, ChoosesByListPositionAndFallsBackSensibly) {
  Druckerwahl wahl({"Laser", "Tinte", "Etiketten"}, "Tinte");
  EXPECT_EQ(wahl.namen(), QStringList({"Laser", "Tinte", "Etiketten"}));
  EXPECT_EQ(wahl.aktuellerIndex(), 1);
  wahl.waehle(2);
  EXPECT_EQ(wahl.aktuellerName(), "Etiketten");
  for (int falsch : {-1, 3}) {
    wahl.waehle(falsch);
    EXPECT_EQ(wahl.aktuellerIndex(), 2);
  }
  wahl.pdfAusgabe("/tmp/x.pdf");
  EXPECT_EQ(wahl.aktuellerIndex(), -1);
  wahl.waehle(0);
  EXPECT_EQ(wahl.aktuellerIndex(), 0);
  EXPECT_TRUE(wahl.pdfDatei().isEmpty());

  EXPECT_EQ(Druckerwahl({"Laser", "Tinte"}, "").aktuellerIndex(), 0);
  EXPECT_EQ(Druckerwahl({}, "").aktuellerIndex(), -1);
  EXPECT_TRUE(Druckerwahl({}, "").namen().isEmpty());
}

TEST(GridDrucken, ProtocolWindowPrintsItsCellsIntoThePdf) {
  TempDir dir;
  Druckerwahl wahl({}, "");
  wahl.pdfAusgabe(pfad(dir / "protokoll.pdf"));
  TProtokollForm form(wahl);
  Protokoll protokoll;
  protokoll.AddProtokollEintrag("Abrechnung vom", "15.03.2024", "Mitgliedsnr.", "4711", " ", "");
  protokoll.AddProtokollEintrag("Rechnungsbetrag zu hoch", "R-7", "01.03.2024", "Bäckerei Größe",
                                "Ist: 1234,5", "Soll: 1000");
  form.fuellen(protokoll);
  form.show();
  form.PrintBtn->click();
  form.close();

  const QString text = pdfText(dir / "protokoll.pdf");
  for (const char* erwartet :
       {"Abrechnung vom", "15.03.2024", "Mitgliedsnr.", "4711", "Rechnungsbetrag zu hoch", "R-7",
        "Bäckerei Größe", "Ist: 1234,5", "Soll: 1000"}) {
    EXPECT_TRUE(text.contains(QString::fromUtf8(erwartet))) << erwartet << "\n"
                                                            << text.toStdString();
  }
  // The second column starts 151 points at scale 0.6 to the right of the first.
  EXPECT_NEAR(wortLinks(dir / "protokoll.pdf", "15.03.2024") -
                  wortLinks(dir / "protokoll.pdf", "Abrechnung"),
              151 * 0.6, 0.2);
  // The longest kind of entry fits its column in a font of Arial's widths
  // (DejaVu Sans would need 89.9 points and be cut): the text is clipped two
  // paddings of 3 points at scale 0.6 before the next column's text starts.
  const double ende = wortRaender(dir / "protokoll.pdf", "hoch").second;
  EXPECT_LT(ende, wortLinks(dir / "protokoll.pdf", "R-7") - 2 * 3 * 0.6);
  EXPECT_TRUE(programm("pdfinfo", {pfad(dir / "protokoll.pdf")}).contains("Grid-Druck"));
}

TEST(GridDrucken, OffsetsAreScaledPoints) {
  TempDir dir;
  QTableWidget grid;
  fuelle(grid, 2);
  Druckerwahl wahl({}, "");
  wahl.pdfAusgabe(pfad(dir / "ohne.pdf"));
  GridDrucken(grid, 0, 0, 0.6, wahl);
  wahl.pdfAusgabe(pfad(dir / "mit.pdf"));
  GridDrucken(grid, 72, 144, 0.6, wahl);
  EXPECT_NEAR(wortLinks(dir / "mit.pdf", "Z000S0") - wortLinks(dir / "ohne.pdf", "Z000S0"),
              72 * 0.6, 0.2);
}

TEST(GridDrucken, ScaleNotAboveZeroPrintsNothing) {
  TempDir dir;
  QTableWidget grid;
  fuelle(grid, 3);
  Druckerwahl wahl({}, "");
  wahl.pdfAusgabe(pfad(dir / "leer.pdf"));
  for (double faktor : {0.0, -0.6}) GridDrucken(grid, 0, 0, faktor, wahl);
  EXPECT_FALSE(std::filesystem::exists(dir / "leer.pdf"));

  Druckerwahl ohneDrucker({}, "");
  EXPECT_NO_THROW(GridDrucken(grid, 0, 0, 0.0, ohneDrucker));
}

TEST(GridDrucken, LongGridPrintsTheRowsThatFitOnOnePage) {
  TempDir dir;
  QTableWidget grid;
  fuelle(grid, 3000);
  Druckerwahl wahl({}, "");
  wahl.pdfAusgabe(pfad(dir / "lang.pdf"));
  GridDrucken(grid, 0, 0, 0.6, wahl);

  // Rows are 15 points apart: about 50 fit on A4 or Letter.
  const QString text = pdfText(dir / "lang.pdf");
  for (const char* da : {"Z000S0", "Z000S5", "Z040S0", "Z040S3"}) {
    EXPECT_TRUE(text.contains(da)) << da;
  }
  for (const char* weg : {"Z060S0", "Z999S0", "Z2999S5"}) EXPECT_FALSE(text.contains(weg)) << weg;
  EXPECT_EQ(
      programm("pdfinfo", {pfad(dir / "lang.pdf")}).contains(QRegularExpression("Pages:\\s+1\\n")),
      true);
}

TEST(GridDrucken, WithoutPrinterRaisesGermanErrorAndWritesNoFile) {
  TempDir dir;
  const QString vorher = QDir::currentPath();
  QDir::setCurrent(pfad(dir.path()));
  QTableWidget grid;
  fuelle(grid, 2);

  const struct {
    Druckerwahl wahl;
    std::string meldung;
  } faelle[] = {{Druckerwahl({}, ""), "Es ist kein Drucker eingerichtet."},
                {Druckerwahl({"Gibt es nicht"}, ""),
                 "Der Drucker \"Gibt es nicht\" ist nicht mehr vorhanden."}};
  for (const auto& fall : faelle) {
    try {
      GridDrucken(grid, 0, 0, 0.6, fall.wahl);
      ADD_FAILURE() << "no error";
    } catch (const Fehler& fehler) {
      EXPECT_EQ(fehler.what(), fall.meldung);
    }
  }
  QDir::setCurrent(vorher);
  EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(GridDrucken, PrintSystemRefusingTheJobRaisesGermanError) {
  TempDir dir;
  const auto datei = dir / "auftrag.pdf";
  test::writeBytes(datei, "%PDF-1.4\n%%EOF\n");
  try {
    cupsDrucken("Gibt es nicht", pfad(datei), "Grid-Druck", "A4");
    FAIL() << "no error";
  } catch (const Fehler& fehler) {
    EXPECT_TRUE(std::string(fehler.what())
                    .starts_with("Der Druckauftrag \"Grid-Druck\" für den Drucker \"Gibt es "
                                 "nicht\" wurde vom Drucksystem abgelehnt"))
        << fehler.what();
  }
}

TEST(DeutscheOberflaeche, QtDialogsSpeakGermanAndWindowsFontsKeepTheirWidths) {
  ASSERT_TRUE(DeutscheOberflaecheUmgebung::geladen);
  QMessageBox box;
  const struct {
    QMessageBox::StandardButton knopf;
    const char* text;
  } knoepfe[] = {{QMessageBox::Ok, "OK"},
                 {QMessageBox::Cancel, "Abbrechen"},
                 {QMessageBox::Yes, "Ja"},
                 {QMessageBox::No, "Nein"}};
  for (const auto& k : knoepfe) {
    EXPECT_EQ(box.addButton(k.knopf)->text().remove('&').toStdString(), k.text);
  }
  for (const char* windows : {"MS Sans Serif", "Tahoma"}) {
    EXPECT_EQ(QFontInfo(QFont(windows)).family().toStdString(), "Liberation Sans") << windows;
  }
}

TEST(GridDrucken, UnwritablePdfRaisesErrorNamingTheFile) {
  TempDir dir;
  QTableWidget grid;
  fuelle(grid, 2);
  Druckerwahl wahl({}, "");
  const auto ziel = dir / "fehlt" / "p.pdf";
  wahl.pdfAusgabe(pfad(ziel));
  try {
    GridDrucken(grid, 0, 0, 0.6, wahl);
    FAIL() << "no error";
  } catch (const Fehler& fehler) {
    EXPECT_NE(std::string(fehler.what()).find(ziel.string()), std::string::npos) << fehler.what();
  }
}

}  // namespace
}  // namespace belvanto
