// The one way the logic reaches a person. The real windows implement it in
// the program; tests implement it with scripted answers and record every
// question asked. No logic file shows a window or reads a widget itself.
#pragma once

#include <string>

namespace belvanto {

class ProtokollTabelle;

// What the supplier dialog returns: the member's own supplier number, the
// supplier name as written in DATEV, and the maximum invoice amount.
struct LieferantEingabe {
  std::string nummer;
  std::string name;
  std::string maxBetrag;
};

// The check boxes of the data check window, one per kind of file it looks for.
enum class DatenKasten {
  ZRBelegPDF,
  ZRBelegCSVIndex,
  ZRBelegCSVBuchung,
  ZRAbrechnungCSV,
  ZRAbrechnungPDF,
  RemADV
};

// A progress text opens a stage, which may then run long without another
// text, or continues a series of many quick ones (a file, a line), of which
// the window may skip some.
enum class Fortschritt { stufe, reihe };

class Bediener {
 public:
  virtual ~Bediener() = default;

  // Plain message box with an OK button and the given title; returns when the
  // person closed it. Without a title it is the program's name.
  virtual void meldung(const std::string& text, const std::string& titel) = 0;
  void meldung(const std::string& text) { meldung(text, "Belvanto"); }
  // Writes the progress line (LbLFortschritt); a stage's text is repainted
  // at once, a series' text at least every few hundredths of a second.
  virtual void fortschritt(const std::string& text, Fortschritt art) = 0;
  void fortschritt(const std::string& text) { fortschritt(text, Fortschritt::stufe); }
  // Lets pending window messages through during long stages.
  virtual void nachrichtenVerarbeiten() = 0;
  // The system's default beep.
  virtual void piep() = 0;
  // A question with the buttons "Ja" and "Nein", "Nein" the default; true for "Ja".
  virtual bool frage(const std::string& text) = 0;

  // The modal supplier dialog for a cooperative supplier number the mapping
  // lacks. The dialog keeps the maximum amount typed last time.
  virtual LieferantEingabe lieferantErfragen(const std::string& morvenauNummer) = 0;
  // The modal invoice number dialog; returns whatever is left in its field.
  virtual std::string rechnungsNummerAendern(const std::string& rechnungsNummer,
                                             int anzahlStellen) = 0;
  // Shows the run protocol modally; returns when it is closed.
  virtual void protokollZeigen(ProtokollTabelle& protokoll) = 0;

  // The data check window, which lives as long as the program: shown without
  // blocking, its step line (repainted at once), a tick that stays until the
  // program ends, closed.
  virtual void testFensterZeigen() = 0;
  virtual void testFensterSchritt(const std::string& text) = 0;
  virtual void testFensterAnhaken(DatenKasten kasten) = 0;
  virtual void testFensterSchliessen() = 0;
};

}  // namespace belvanto
