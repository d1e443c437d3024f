#include "app/THilfe.h"

#include <QFont>
#include <QPlainTextEdit>
#include <QPushButton>

#include "basis/Fensterteile.h"

namespace belvanto {

const QStringList& THilfe::hilfeZeilen() {
  // Several lines end in a blank on purpose: the text is shown as written.
  static const QStringList zeilen = {
      QStringLiteral("Belvanto"),
      QString(),
      QStringLiteral("Das Programm konvertiert die Daten der Morvenau-Buchhaltung"),
      QStringLiteral(" in ein in DatevOnline importierbares Format."),
      QString(),
      QStringLiteral("Mit Hilfe des \"Test\"-Buttons kann vor der Verarbeitung geprüft werden "),
      QStringLiteral("ob die Daten bei der Morvenau vorhanden sind."),
      QString(),
      QStringLiteral("Wenn die Dateien vorhanden sind kann das Programm über den "),
      QStringLiteral("Button \"Start\" gestartet werden. Wenn ein Lieferant noch keine "),
      QStringLiteral("Lieferanten-Nummer hat und mit eigenen Nummern gearbeitet wird, "),
      QStringLiteral("muss diese sowie der Lieferanten-Name in einem zusätzlichen Fenster "),
      QStringLiteral("eingegeben werden.. Dabei muß darauf geachtet werden, daß der "),
      QStringLiteral("Lieferanten-Name genauso geschrieben wird wie in Datev-Online."),
      QString(),
      QStringLiteral("Wenn das Programm komplett durchgelaufen ist kann man die Daten in "),
      QStringLiteral("die Datev hochladen. Dazu muss das Programm BelegVersand der Datev "),
      QStringLiteral("gestartet werden, das dann automatisch alle Rechnungen als Buchungssatz "),
      QStringLiteral("und als PDF hochlädt."),
      QString(),
      QStringLiteral("Nach dem abgeschlossenen Import wird in Datev-Online ein Importprotokoll "),
      QStringLiteral("angezeigt. An dieser Stelle kann man den Import noch löschen, wenn Fehler "),
      QStringLiteral("in der Konvertierung aufgetreten sind."),
      QString(),
      QStringLiteral("Wenn die Daten manuell herunter geladen werden muss der Haken bei "),
      QStringLiteral("\"mit Download\" entfernt werden. Ebenso kann der Ausdruck der Belege "),
      QStringLiteral("unterdrückt werden."),
  };
  return zeilen;
}

THilfe::THilfe(QWidget* parent) : QWidget(parent, Qt::Window) {
  setObjectName("Hilfe");
  setWindowTitle(QStringLiteral("Hilfe"));
  setFixedSize(506, 563);
  move(268, 170);

  MmoHilfe = new QPlainTextEdit(this);
  MmoHilfe->setObjectName("MmoHilfe");
  MmoHilfe->setGeometry(24, 25, 457, 464);
  MmoHilfe->setFont(fensterSchrift(13));
  MmoHilfe->setPlainText(hilfeZeilen().join('\n'));

  BtnSchliessen = knopf(this, "BtnSchliessen", QStringLiteral("Schliessen"), 24, 512);
  connect(BtnSchliessen, &QPushButton::clicked, this, &QWidget::close);
}

}  // namespace belvanto
