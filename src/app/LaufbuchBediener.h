// The Bediener of a run as the run log sees it: every call goes on to the
// real Bediener, and what the person was told or asked, with the answer,
// becomes a line of the log.
#pragma once

#include <string>

#include "basis/Bediener.h"
#include "basis/ProtokollTabelle.h"

namespace belvanto {

class Laufbuch;

class LaufbuchBediener : public Bediener {
 public:
  LaufbuchBediener(Bediener& echt, Laufbuch& laufbuch) : echt_(echt), laufbuch_(laufbuch) {}

  using Bediener::meldung;
  void meldung(const std::string& text, const std::string& titel) override;
  using Bediener::fortschritt;
  void fortschritt(const std::string& text, Fortschritt art) override {
    echt_.fortschritt(text, art);
  }
  void nachrichtenVerarbeiten() override { echt_.nachrichtenVerarbeiten(); }
  void piep() override { echt_.piep(); }
  bool frage(const std::string& text) override;
  LieferantEingabe lieferantErfragen(const std::string& morvenauNummer) override;
  std::string rechnungsNummerAendern(const std::string& rechnungsNummer,
                                     int anzahlStellen) override;
  void protokollZeigen(ProtokollTabelle& protokoll) override;
  void testFensterZeigen() override { echt_.testFensterZeigen(); }
  void testFensterSchritt(const std::string& text) override { echt_.testFensterSchritt(text); }
  void testFensterAnhaken(DatenKasten kasten) override { echt_.testFensterAnhaken(kasten); }
  void testFensterSchliessen() override { echt_.testFensterSchliessen(); }

 private:
  Bediener& echt_;
  Laufbuch& laufbuch_;
};

}  // namespace belvanto
