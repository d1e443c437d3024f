#include "app/QtBediener.h"

#include <QApplication>
#include <QLineEdit>
#include <QMessageBox>

#include "export/URechnungsNummer.h"
#include "input/ULieferantenDialog.h"
#include "protocol/TProtokollForm.h"

namespace belvanto {

QtBediener::QtBediener(TLieferanten& lieferanten, TRechnungsnummer& rechnungsnummer,
                       TProtokollForm& protokoll)
    : lieferanten_(lieferanten), rechnungsnummer_(rechnungsnummer), protokoll_(protokoll) {}

void QtBediener::meldung(const std::string& text) {
  // Message texts join their lines with a lone carriage return.
  QString anzeige = QString::fromStdString(text);
  anzeige.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  anzeige.replace(QLatin1Char('\r'), QLatin1Char('\n'));
  QMessageBox box(QMessageBox::NoIcon, QStringLiteral("Belvanto"), anzeige, QMessageBox::Ok);
  box.setObjectName("Meldung");
  box.exec();
}

// A large settlement sends hundreds of thousands of progress texts; painting
// each one would cost more than the work itself. The text is always set, the
// field is painted at most every few hundredths of a second, and whatever was
// not painted then shows at the next pass of the event loop.
constexpr int kMindestAbstandMs = 30;

void QtBediener::fortschritt(const std::string& text) {
  if (!fortschrittsfeld_) return;
  fortschrittsfeld_->setText(QString::fromStdString(text));
  if (!gemalt_.isValid() || gemalt_.elapsed() >= kMindestAbstandMs) {
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

LieferantEingabe QtBediener::lieferantErfragen(const std::string& morvenauNummer) {
  return lieferanten_.erfragen(morvenauNummer);
}

std::string QtBediener::rechnungsNummerAendern(const std::string& rechnungsNummer,
                                               int anzahlStellen) {
  return rechnungsnummer_.RechnungsNummerAendern(rechnungsNummer, anzahlStellen);
}

void QtBediener::protokollZeigen(Protokoll& protokoll) {
  protokoll_.zeigen(protokoll);
}

}  // namespace belvanto
