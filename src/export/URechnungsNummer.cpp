// Layout and behaviour of the invoice number dialog.
#include "export/URechnungsNummer.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "basis/Fensterteile.h"

namespace belvanto {

namespace {
constexpr const char* kHinweisKopf = "Die Rechnungsnummer ist zu lang !";
}

TRechnungsnummer::TRechnungsnummer(QWidget* parent) : QDialog(parent) {
  setObjectName("TRechnungsnummer");
  setWindowTitle("Rechnungsnummer");
  setFont(QFont("Tahoma"));
  resize(402, 180);

  HinweisLbL = new QLabel(QString::fromUtf8(kHinweisKopf), this);
  HinweisLbL->setTextFormat(Qt::PlainText);
  HinweisLbL->setObjectName("HinweisLbL");
  HinweisLbL->move(32, 32);
  HinweisLbL->adjustSize();

  RechnungsNummerLEd = new QLineEdit(this);
  RechnungsNummerLEd->setObjectName("RechnungsNummerLEd");
  RechnungsNummerLEd->setGeometry(137, 75, 193, RechnungsNummerLEd->sizeHint().height());

  auto* beschriftung = new QLabel(QString::fromUtf8("Rechnungs-Nummer:"), this);
  beschriftung->setObjectName("RechnungsNummerLEdLabel");
  beschriftung->setBuddy(RechnungsNummerLEd);
  beschriftung->adjustSize();
  const QRect feld = RechnungsNummerLEd->geometry();
  beschriftung->move(feld.left() - 5 - beschriftung->width(),
                     feld.top() + (feld.height() - beschriftung->height()) / 2);

  UebernameBtn = knopf(this, "UebernameBtn", QString::fromUtf8("Übername"), 32, 128);
  // Enter in the field closes through returnPressed alone.
  UebernameBtn->setAutoDefault(false);

  connect(RechnungsNummerLEd, &QLineEdit::returnPressed, this, &QDialog::accept);
  connect(UebernameBtn, &QPushButton::clicked, this, &QDialog::accept);
}

std::string TRechnungsnummer::Hinweistext(int AnzahlRNStellen) {
  return std::string(kHinweisKopf) + "\r" + "Bitte auf max. " + std::to_string(AnzahlRNStellen) +
         " Zeichen kürzen.";
}

std::string TRechnungsnummer::RechnungsNummerAendern(const std::string& RechnungsNummer,
                                                     int AnzahlRNStellen) {
  // A Qt label breaks lines at LF only.
  HinweisLbL->setText(QString::fromStdString(Hinweistext(AnzahlRNStellen)).replace('\r', '\n'));
  HinweisLbL->adjustSize();
  RechnungsNummerLEd->setText(QString::fromStdString(RechnungsNummer));
  RechnungsNummerLEd->selectAll();
  RechnungsNummerLEd->setFocus();
  exec();
  // Whether accepted or closed by the window's button, the field counts.
  return RechnungsNummerLEd->text().toStdString();
}

void TRechnungsnummer::keyPressEvent(QKeyEvent* event) {
  // No Cancel here: Escape does not close the dialog.
  if (event->key() == Qt::Key_Escape) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace belvanto
