// The program's current printer: chosen in the main window's printer list and
// used by protocol printing. main owns the one instance and hands it to the
// windows by reference. Tests may send the printout into a PDF file instead.
#pragma once

#include <QString>
#include <QStringList>

class QPrinter;
class QTemporaryFile;

namespace belvanto {

class Druckerwahl {
 public:
  // The installed printers, the system's default printer current.
  Druckerwahl();
  // A fixed list of printer names with `aktuell` current (empty: the first);
  // lets tests stand in for a machine with other printers or none at all.
  Druckerwahl(QStringList namen, const QString& aktuell);

  QStringList namen() const { return namen_; }
  // Position of the current printer in namen(), -1 when there is none or the
  // printout goes into a PDF file.
  int aktuellerIndex() const;
  QString aktuellerName() const { return pdfDatei_.isEmpty() ? aktuell_ : QString(); }
  // A position outside the list changes nothing.
  void waehle(int index);

  // Printing writes this PDF file from now on (until waehle() is called).
  void pdfAusgabe(const QString& datei);
  QString pdfDatei() const { return pdfDatei_; }

  // Points `printer` at the current choice. A job for a real printer is
  // spooled into `spool` (opened here) and handed over by abschicken(): Qt
  // hands it over itself but drops the print system's answer, and a refused
  // job would vanish without a word. Throws Fehler when there is no printer
  // to print on, so that nothing is written to a file nobody chose.
  void einrichten(QPrinter& printer, QTemporaryFile& spool) const;
  // After the painter has ended: sends the spooled job to the printer as
  // `titel`. Throws Fehler when the print system refuses it.
  void abschicken(const QPrinter& printer, QTemporaryFile& spool, const QString& titel) const;

 private:
  QStringList namen_;
  QString aktuell_;
  QString pdfDatei_;
};

// Hands the PDF file `datei` to the CUPS printer `drucker` as job `titel` on
// paper `papier` (a page size key such as "A4"). Throws Fehler in German,
// with the print system's reason, when the job is refused or CUPS cannot be
// reached.
void cupsDrucken(const QString& drucker, const QString& datei, const QString& titel,
                 const QString& papier);

}  // namespace belvanto
