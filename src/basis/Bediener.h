// The one way the logic reaches a person. The real windows implement it in
// the program; tests implement it with scripted answers and record every
// question asked. No logic file shows a window or reads a widget itself.
#pragma once

#include <string>

namespace belvanto {

class Protokoll;

// What the supplier dialog returns: the member's own supplier number, the
// supplier name as written in DATEV, and the maximum invoice amount.
struct LieferantEingabe {
  std::string nummer;
  std::string name;
  std::string maxBetrag;
};

class Bediener {
 public:
  virtual ~Bediener() = default;

  // Plain message box with an OK button; returns when the person closed it.
  virtual void meldung(const std::string& text) = 0;
  // Writes the progress line (LbLFortschritt) and repaints it at once.
  virtual void fortschritt(const std::string& text) = 0;
  // Lets pending window messages through during long stages.
  virtual void nachrichtenVerarbeiten() = 0;
  // The system's default beep.
  virtual void piep() = 0;

  // The modal supplier dialog for a cooperative supplier number the mapping
  // lacks. The dialog keeps the maximum amount typed last time.
  virtual LieferantEingabe lieferantErfragen(const std::string& morvenauNummer) = 0;
  // The modal invoice number dialog; returns whatever is left in its field.
  virtual std::string rechnungsNummerAendern(const std::string& rechnungsNummer,
                                             int anzahlStellen) = 0;
  // Shows the run protocol modally; returns when it is closed.
  virtual void protokollZeigen(Protokoll& protokoll) = 0;
};

}  // namespace belvanto
