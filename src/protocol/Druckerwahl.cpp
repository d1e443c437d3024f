// The current printer of the program; see Druckerwahl.h.
#include "protocol/Druckerwahl.h"

#include <dlfcn.h>

#include <QDir>
#include <QFile>
#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>
#include <QTemporaryFile>
#include <string>
#include <utility>

#include "util/Fehler.h"

namespace belvanto {

Druckerwahl::Druckerwahl()
    : Druckerwahl(QPrinterInfo::availablePrinterNames(), QPrinterInfo::defaultPrinterName()) {}

Druckerwahl::Druckerwahl(QStringList namen, const QString& aktuell) : namen_(std::move(namen)) {
  if (namen_.contains(aktuell)) {
    aktuell_ = aktuell;
  } else if (!namen_.isEmpty()) {
    aktuell_ = namen_.front();
  }
}

int Druckerwahl::aktuellerIndex() const {
  if (!pdfDatei_.isEmpty() || aktuell_.isEmpty()) return -1;
  return static_cast<int>(namen_.indexOf(aktuell_));
}

void Druckerwahl::waehle(int index) {
  if (index < 0 || index >= namen_.size()) return;
  aktuell_ = namen_.at(index);
  pdfDatei_.clear();
}

void Druckerwahl::pdfAusgabe(const QString& datei) {
  pdfDatei_ = datei;
}

void Druckerwahl::einrichten(QPrinter& printer, QTemporaryFile& spool) const {
  if (!pdfDatei_.isEmpty()) {
    printer.setOutputFormat(QPrinter::PdfFormat);
    printer.setOutputFileName(pdfDatei_);
    return;
  }
  const QPrinterInfo info = QPrinterInfo::printerInfo(aktuell_);
  if (aktuell_.isEmpty() || info.isNull()) {
    throw Fehler(aktuell_.isEmpty()
                     ? "Es ist kein Drucker eingerichtet."
                     : "Der Drucker \"" + aktuell_.toStdString() + "\" ist nicht mehr vorhanden.");
  }
  printer.setOutputFileName(QString());
  printer.setPrinterName(aktuell_);
  // Without a print system Qt quietly turns the job into a PDF file.
  if (printer.outputFormat() != QPrinter::NativeFormat) {
    throw Fehler("Es ist kein Drucker eingerichtet.");
  }
  // A file name without ".pdf" keeps the printer's own page and margins; Qt
  // then writes the job there instead of sending it.
  spool.setFileTemplate(QDir::tempPath() + QStringLiteral("/belvanto-druck-XXXXXX.job"));
  if (!spool.open()) {
    throw Fehler("Der Druckauftrag kann nicht vorbereitet werden: in " +
                 QDir::tempPath().toStdString() + " kann nicht geschrieben werden.");
  }
  printer.setOutputFileName(spool.fileName());
}

void Druckerwahl::abschicken(const QPrinter& printer, QTemporaryFile& spool,
                             const QString& titel) const {
  if (!spool.isOpen()) return;  // the printout went into a PDF file
  cupsDrucken(printer.printerName(), spool.fileName(), titel,
              printer.pageLayout().pageSize().key());
}

namespace {

// libcups is loaded at run time: Qt's print support has it already, and the
// build needs no CUPS headers. Its ABI has been stable since CUPS 1.2.
struct CupsOption {
  char* name;
  char* value;
};
using CupsPrintFile = int (*)(const char*, const char*, const char*, int, CupsOption*);
using CupsLastErrorString = const char* (*)();

struct Cups {
  CupsPrintFile printFile = nullptr;
  CupsLastErrorString lastErrorString = nullptr;
};

const Cups& cups() {
  static const Cups geladen = [] {
    Cups c;
    if (void* lib = dlopen("libcups.so.2", RTLD_NOW)) {
      c.printFile = reinterpret_cast<CupsPrintFile>(dlsym(lib, "cupsPrintFile"));
      c.lastErrorString = reinterpret_cast<CupsLastErrorString>(dlsym(lib, "cupsLastErrorString"));
    }
    return c;
  }();
  return geladen;
}

}  // namespace

void cupsDrucken(const QString& drucker, const QString& datei, const QString& titel,
                 const QString& papier) {
  const std::string auftrag =
      "Der Druckauftrag \"" + titel.toStdString() + "\" für den Drucker \"" + drucker.toStdString();
  const Cups& c = cups();
  if (c.printFile == nullptr || c.lastErrorString == nullptr) {
    throw Fehler(auftrag + "\" kann nicht gesendet werden: das Drucksystem CUPS fehlt.");
  }
  // A printer instance ("Laser/duplex") prints on its printer.
  const QByteArray name = drucker.section(QLatin1Char('/'), 0, 0).toLocal8Bit();
  QByteArray media = papier.toLatin1();
  QByteArray mediaName = "media";
  CupsOption option{mediaName.data(), media.data()};
  const int job = c.printFile(name.constData(), QFile::encodeName(datei).constData(),
                              titel.toLocal8Bit().constData(), media.isEmpty() ? 0 : 1, &option);
  if (job > 0) return;
  std::string grund = c.lastErrorString() != nullptr ? c.lastErrorString() : "";
  while (!grund.empty() && (grund.back() == '.' || grund.back() == ' ')) grund.pop_back();
  throw Fehler(auftrag + "\" wurde vom Drucksystem abgelehnt" +
               (grund.empty() ? std::string() : " (" + grund + ")") + ".");
}

}  // namespace belvanto
