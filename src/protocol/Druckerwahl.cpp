// The current printer of the program; see Druckerwahl.h.
#include "protocol/Druckerwahl.h"

#include <QPrinter>
#include <QPrinterInfo>
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

void Druckerwahl::einrichten(QPrinter& printer) const {
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
}

}  // namespace belvanto
