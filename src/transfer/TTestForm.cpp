#include "transfer/TTestForm.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>

#include "basis/Fensterteile.h"

namespace belvanto {

namespace {

// A check box with its caption on the left that only the program ticks.
QCheckBox* anzeigeKasten(QWidget* fenster, const char* name, const QString& text, int oben) {
  auto* box = kastenTextLinks(fenster, name, text);
  box->setGeometry(48, oben, 161, 17);
  box->setAttribute(Qt::WA_TransparentForMouseEvents);
  box->setFocusPolicy(Qt::NoFocus);
  return box;
}

}  // namespace

TTestForm::TTestForm(QWidget* parent) : QWidget(parent) {
  setObjectName("TestForm");
  setWindowTitle(QStringLiteral("TestForm"));
  setFixedSize(245, 258);
  setFont(fensterSchrift());

  TestFuerLbl = new QLabel(this);
  TestFuerLbl->setTextFormat(Qt::PlainText);
  TestFuerLbl->setObjectName("TestFuerLbl");
  TestFuerLbl->setGeometry(16, 16, 213, 16);
  ZRBelegPDFCb = anzeigeKasten(this, "ZRBelegPDFCb", "ZR Beleg PDF", 48);
  ZRBelegCSVIndexCb = anzeigeKasten(this, "ZRBelegCSVIndexCb", "ZR Beleg Index CSV", 72);
  ZRBelegCSVBuchungCb = anzeigeKasten(this, "ZRBelegCSVBuchungCb", "ZR Beleg Buchung CSV", 96);
  ZRAbrechnungCSVCb = anzeigeKasten(this, "ZRAbrechnungCSVCb", "ZR Abrechnung CSV", 120);
  ZRAbrechnungPDFCb = anzeigeKasten(this, "ZRAbrechnungPDFCb", "ZR Abrechnung PDF", 144);
  RemADVCb = anzeigeKasten(this, "RemADVCb", "RemADV CSV", 168);
  OKBtn = new QPushButton(QStringLiteral("OK"), this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setGeometry(85, 212, 75, 25);
  connect(OKBtn, &QPushButton::clicked, this, &TTestForm::OKBtnClick);
}

void TTestForm::zeigen() {
  show();
  raise();
}

void TTestForm::schritt(const std::string& text) {
  TestFuerLbl->setText(QString::fromStdString(text));
  TestFuerLbl->repaint();
}

void TTestForm::anhaken(DatenKasten kasten) {
  QCheckBox* const kaesten[] = {ZRBelegPDFCb,      ZRBelegCSVIndexCb, ZRBelegCSVBuchungCb,
                                ZRAbrechnungCSVCb, ZRAbrechnungPDFCb, RemADVCb};
  QCheckBox* box = kaesten[static_cast<int>(kasten)];
  box->setChecked(true);
  box->repaint();
}

void TTestForm::OKBtnClick() {
  close();
}

}  // namespace belvanto
