// Program start: finds the settings, creates the windows once, reads the
// configuration through the main window and runs the message loop. The INI
// file and the supplier mapping live beside the executable in a copy of its
// own, in the user's configuration folder when installed. The program is
// German on any machine. What it
// writes (log, host keys, pins, backups, archives) is the user's alone, also
// where a library creates the file.
#include <sys/stat.h>

#include <QApplication>
#include <QMessageBox>
#include <filesystem>

#include "app/DeutscheOberflaeche.h"
#include "app/QtBediener.h"
#include "app/TForm1.h"
#include "app/THilfe.h"
#include "basis/Einstellungsort.h"
#include "basis/Fensterteile.h"
#include "export/URechnungsNummer.h"
#include "input/ULieferantenDialog.h"
#include "protocol/Druckerwahl.h"
#include "protocol/TProtokollForm.h"
#include "transfer/TTestForm.h"

int main(int argc, char** argv) {
  ::umask(077);
  QApplication app(argc, argv);
  belvanto::deutscheOberflaeche(app);
  const std::filesystem::path programm = QCoreApplication::applicationDirPath().toStdString();
  belvanto::Einstellungsort ort;
  try {
    ort = belvanto::einstellungsortFinden(
        programm, programm.parent_path() / "share/belvanto/Belvanto.ini.example");
  } catch (const std::exception& fehler) {
    belvanto::fehlerBox(nullptr, fehler.what());
    return 1;
  }
  if (ort.beispielKopiert) {
    // Never a run on the example's values: the person fills it in first.
    QMessageBox box(QMessageBox::Information, QStringLiteral("Belvanto"),
                    QString::fromStdString(belvanto::beispielKopiertText(
                        ort.ordner / "Belvanto.ini")),
                    QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    box.setObjectName("Meldung");
    box.exec();
    return 0;
  }
  const std::filesystem::path& programmOrdner = ort.ordner;

  belvanto::Druckerwahl druckerwahl;
  belvanto::THilfe hilfe;
  belvanto::TLieferanten lieferanten;
  belvanto::TTestForm testForm;
  belvanto::TProtokollForm protokoll(druckerwahl);
  belvanto::TRechnungsnummer rechnungsnummer;
  belvanto::QtBediener bediener(lieferanten, rechnungsnummer, protokoll);
  belvanto::TForm1 hauptfenster(programmOrdner, druckerwahl, bediener, hilfe);
  bediener.setFortschrittsfeld(hauptfenster.fortschrittsfeld());
  bediener.setTestForm(&testForm);

  if (!hauptfenster.FormCreate()) return 0;
  hauptfenster.show();
  return app.exec();
}
