// The supplier dialog with its fixed layout and key filters. The key filters
// judge typed characters only; keys that type nothing (arrows, Delete, Home,
// Tab) keep their usual meaning in every field.
#include "input/ULieferantenDialog.h"

#include <QFont>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>

#include "basis/Fensterteile.h"

namespace belvanto {

namespace {

constexpr int kLinks = 32;
constexpr int kFeldBreite = 169;
constexpr int kFeldHoehe = 21;
constexpr int kBeschriftungHoehe = 13;
constexpr int kBeschriftungAbstand = 3;

// Enter and the bell character (Ctrl+G) act as "next field" in the edits.
bool istEnterOderGlocke(const QKeyEvent* taste) {
  if (taste->key() == Qt::Key_Return || taste->key() == Qt::Key_Enter) return true;
  if (taste->key() == Qt::Key_G && (taste->modifiers() & Qt::ControlModifier)) return true;
  return taste->text() == QStringLiteral("\r") || taste->text() == QStringLiteral("\a");
}

// Whether the key types something into a line edit: a printable character
// without a shortcut modifier.
bool tipptZeichen(const QKeyEvent* taste) {
  if (taste->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
  const QString text = taste->text();
  if (text.isEmpty()) return false;
  for (const QChar c : text) {
    if (!c.isPrint()) return false;
  }
  return true;
}

}  // namespace

TLieferanten::TLieferanten(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("TLieferanten"));
  setWindowTitle(QStringLiteral("Lieferanten"));
  const QFont schrift = fensterSchrift();
  setFont(schrift);
  setFixedSize(237, 320);

  LbErklaerung = new QLabel(QStringLiteral("Lieferant nicht vorhanden  !"), this);
  LbErklaerung->setObjectName(QStringLiteral("LbErklaerung"));
  QFont fett = schrift;
  fett.setBold(true);
  LbErklaerung->setFont(fett);
  LbErklaerung->move(kLinks, 24);
  LbErklaerung->adjustSize();

  LEMorvenauNummer = beschriftetesFeld("LEMorvenauNummer", QStringLiteral("Morvenau-Nummer"), 64);
  LEKerbholtNummer = beschriftetesFeld("LEKerbholtNummer", QStringLiteral("eigene Nummer"), 112);
  // The key filter sees typed characters only; a paste must not bring letters
  // into the own supplier number either.
  LEKerbholtNummer->setValidator(new QRegularExpressionValidator(
      QRegularExpression(QStringLiteral("[-0-9]*")), LEKerbholtNummer));
  LEKerbholtName = beschriftetesFeld("LEKerbholtName", QStringLiteral("eigener Name"), 160);
  LEKerbholtMaxBetrag =
      beschriftetesFeld("LEKerbholtMaxBetrag", QStringLiteral("Maximal-Betrag"), 208);
  // Shows the number asked for; reachable by mouse, skipped by Tab.
  LEMorvenauNummer->setFocusPolicy(Qt::ClickFocus);

  BtnUebername = knopf(this, "BtnUebername", QStringLiteral("Übernahme"), kLinks, 272);
  connect(BtnUebername, &QPushButton::clicked, this, [this] { BtnUebernameClick(); });

  setTabOrder(LEMorvenauNummer, LEKerbholtNummer);
  setTabOrder(LEKerbholtNummer, LEKerbholtName);
  setTabOrder(LEKerbholtName, LEKerbholtMaxBetrag);
  setTabOrder(LEKerbholtMaxBetrag, BtnUebername);

  LEKerbholtNummer->installEventFilter(this);
  LEKerbholtName->installEventFilter(this);
  LEKerbholtMaxBetrag->installEventFilter(this);
}

QLineEdit* TLieferanten::beschriftetesFeld(const char* name, const QString& beschriftung,
                                           int oben) {
  auto* feld = new QLineEdit(this);
  feld->setObjectName(QString::fromLatin1(name));
  feld->setGeometry(kLinks, oben, kFeldBreite, kFeldHoehe);
  auto* label = new QLabel(beschriftung, this);
  label->setObjectName(QString::fromLatin1(name) + QStringLiteral("Label"));
  label->setGeometry(kLinks, oben - kBeschriftungHoehe - kBeschriftungAbstand, kFeldBreite,
                     kBeschriftungHoehe);
  label->setBuddy(feld);
  return feld;
}

LieferantEingabe TLieferanten::erfragen(const std::string& morvenauNummer) {
  LEKerbholtNummer->clear();
  LEKerbholtName->clear();
  LEMorvenauNummer->setText(QString::fromStdString(morvenauNummer));
  LEKerbholtNummer->setFocus();
  exec();
  return {LEKerbholtNummer->text().toStdString(), LEKerbholtName->text().toStdString(),
          LEKerbholtMaxBetrag->text().toStdString()};
}

bool TLieferanten::eventFilter(QObject* objekt, QEvent* ereignis) {
  if (ereignis->type() == QEvent::KeyPress) {
    auto* taste = static_cast<QKeyEvent*>(ereignis);
    if (objekt == LEKerbholtNummer) return LEKerbholtNummerKeyPress(taste);
    if (objekt == LEKerbholtName || objekt == LEKerbholtMaxBetrag) {
      return LEKerbholtNameKeyPress(taste);
    }
  }
  return QDialog::eventFilter(objekt, ereignis);
}

bool TLieferanten::LEKerbholtNummerKeyPress(QKeyEvent* taste) {
  if (LEKerbholtNameKeyPress(taste)) return true;
  if (!tipptZeichen(taste)) return false;
  for (const QChar c : taste->text()) {
    if (c != QLatin1Char('-') && (c < QLatin1Char('0') || c > QLatin1Char('9'))) return true;
  }
  return false;
}

bool TLieferanten::LEKerbholtNameKeyPress(QKeyEvent* taste) {
  if (!istEnterOderGlocke(taste)) return false;
  focusNextChild();
  return true;
}

void TLieferanten::BtnUebernameClick() {
  if (!LEKerbholtNummer->text().isEmpty() && !LEKerbholtName->text().isEmpty() &&
      !LEKerbholtMaxBetrag->text().isEmpty()) {
    accept();
  }
}

void TLieferanten::keyPressEvent(QKeyEvent* ereignis) {
  // No default button and no cancel: Enter in the number shown and Escape do
  // nothing. A focused button still takes Enter itself.
  switch (ereignis->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
      ereignis->accept();
      return;
    default:
      QDialog::keyPressEvent(ereignis);
  }
}

}  // namespace belvanto
