// Bediener of the real program: message boxes, the main window's progress
// line and the modal dialogs.
#pragma once

#include <QElapsedTimer>
#include <optional>
#include <string>

#include "basis/Bediener.h"
#include "basis/ProtokollTabelle.h"

class QLineEdit;

namespace belvanto {

class TLieferanten;
class TProtokollForm;
class TRechnungsnummer;
class TTestForm;

class QtBediener : public Bediener {
 public:
  QtBediener(TLieferanten& lieferanten, TRechnungsnummer& rechnungsnummer,
             TProtokollForm& protokoll);

  void setFortschrittsfeld(QLineEdit* feld) { fortschrittsfeld_ = feld; }
  void setTestForm(TTestForm* fenster) { testForm_ = fenster; }

  using Bediener::meldung;
  void meldung(const std::string& text, const std::string& titel) override;
  using Bediener::fortschritt;
  void fortschritt(const std::string& text, Fortschritt art) override;
  void nachrichtenVerarbeiten() override;
  void piep() override;
  bool frage(const std::string& text) override;
  LieferantEingabe lieferantErfragen(const std::string& morvenauNummer) override;
  std::string rechnungsNummerAendern(const std::string& rechnungsNummer,
                                     int anzahlStellen) override;
  void protokollZeigen(ProtokollTabelle& protokoll) override;
  void testFensterZeigen() override;
  void testFensterSchritt(const std::string& text) override;
  void testFensterAnhaken(DatenKasten kasten) override;
  void testFensterSchliessen() override;

 private:
  TLieferanten& lieferanten_;
  TRechnungsnummer& rechnungsnummer_;
  TProtokollForm& protokoll_;
  QLineEdit* fortschrittsfeld_ = nullptr;
  TTestForm* testForm_ = nullptr;
  QElapsedTimer gemalt_;
  QElapsedTimer nachrichten_;
};

}  // namespace belvanto
