#include "basis/Fensterteile.h"

#include <QMessageBox>

namespace belvanto {

QFont fensterSchrift(int pixel) {
  QFont schrift(QStringLiteral("MS Sans Serif"));
  schrift.setPixelSize(pixel);
  return schrift;
}

QPushButton* knopf(QWidget* fenster, const char* name, const QString& text, int links, int oben) {
  auto* b = new QPushButton(text, fenster);
  b->setObjectName(QString::fromLatin1(name));
  b->setGeometry(links, oben, 75, 25);
  return b;
}

QCheckBox* kastenTextLinks(QWidget* fenster, const char* name, const QString& text) {
  auto* box = new QCheckBox(text, fenster);
  box->setObjectName(QString::fromLatin1(name));
  box->setLayoutDirection(Qt::RightToLeft);
  return box;
}

void fehlerBox(QWidget* fenster, const char* text) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Belvanto"), QString::fromUtf8(text),
                  QMessageBox::Ok, fenster);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace belvanto
