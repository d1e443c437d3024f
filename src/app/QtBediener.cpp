#include "app/QtBediener.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

#include "export/URechnungsNummer.h"
#include "input/ULieferantenDialog.h"
#include "protocol/TProtokollForm.h"
#include "transfer/TTestForm.h"

namespace belvanto {

QtBediener::QtBediener(TLieferanten& lieferanten, TRechnungsnummer& rechnungsnummer,
                       TProtokollForm& protokoll)
    : lieferanten_(lieferanten), rechnungsnummer_(rechnungsnummer), protokoll_(protokoll) {}

namespace {

// Message texts join their lines with a lone carriage return.
QString anzeigeText(const std::string& text) {
  QString anzeige = QString::fromStdString(text);
  anzeige.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  anzeige.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  return anzeige;
}

}  // namespace

void QtBediener::meldung(const std::string& text, const std::string& titel) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(titel), anzeigeText(text),
                  QMessageBox::Ok);
  // Texts hold names and values from outside: never read as markup.
  box.setTextFormat(Qt::PlainText);
  box.setObjectName("Meldung");
  box.exec();
}

// A large settlement sends hundreds of thousands of progress texts; painting
// each one would cost more than the work itself. So a text of a series is
// painted at most every few hundredths of a second (the next one after that
// shows the latest). A stage may run long without a further call (the
// backup, the archive), and the stages run on this thread with no event loop
// between: its text is painted at once, or it would never be seen.
constexpr int kMindestAbstandMs = 30;

void QtBediener::fortschritt(const std::string& text, Fortschritt art) {
  if (!fortschrittsfeld_) return;
  fortschrittsfeld_->setText(QString::fromStdString(text));
  if (art == Fortschritt::stufe || !gemalt_.isValid() ||
      gemalt_.elapsed() >= kMindestAbstandMs) {
    fortschrittsfeld_->repaint();
    gemalt_.start();
  }
}

void QtBediener::nachrichtenVerarbeiten() {
  if (!nachrichten_.isValid() || nachrichten_.elapsed() >= kMindestAbstandMs) {
    QCoreApplication::processEvents();
    nachrichten_.start();
  }
}

void QtBediener::piep() {
  QApplication::beep();
}

bool QtBediener::frage(const std::string& text) {
  QMessageBox box(QMessageBox::Warning, QStringLiteral("Belvanto"), anzeigeText(text));
  box.setTextFormat(Qt::PlainText);
  box.setObjectName("Frage");
  QPushButton* ja = box.addButton(QStringLiteral("Ja"), QMessageBox::YesRole);
  QPushButton* nein = box.addButton(QStringLiteral("Nein"), QMessageBox::NoRole);
  box.setDefaultButton(nein);
  box.setEscapeButton(nein);
  box.exec();
  return box.clickedButton() == ja;
}

LieferantEingabe QtBediener::lieferantErfragen(const std::string& morvenauNummer) {
  return lieferanten_.erfragen(morvenauNummer);
}

std::string QtBediener::rechnungsNummerAendern(const std::string& rechnungsNummer,
                                               int anzahlStellen) {
  return rechnungsnummer_.RechnungsNummerAendern(rechnungsNummer, anzahlStellen);
}

void QtBediener::protokollZeigen(ProtokollTabelle& protokoll) {
  protokoll_.zeigen(protokoll);
}

// Without the window (some tests) the check runs unseen.
void QtBediener::testFensterZeigen() {
  if (testForm_) testForm_->zeigen();
}

void QtBediener::testFensterSchritt(const std::string& text) {
  if (testForm_) testForm_->schritt(text);
}

void QtBediener::testFensterAnhaken(DatenKasten kasten) {
  if (testForm_) testForm_->anhaken(kasten);
}

void QtBediener::testFensterSchliessen() {
  if (testForm_) testForm_->close();
}

}  // namespace belvanto
