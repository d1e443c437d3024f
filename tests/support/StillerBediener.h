// Bediener where no person is there: benchmarks and fuzz targets. Progress is
// dropped and the invoice number stays as it is; an unknown supplier gets
// `antwort`, or else its own number as number and name and 1000 as maximum.
#pragma once

#include <optional>
#include <ostream>
#include <string>

#include "basis/Bediener.h"
#include "basis/ProtokollTabelle.h"

namespace belvanto::test {

class StillerBediener : public Bediener {
 public:
  // Messages go to `meldungen`, one a line; nowhere without it.
  explicit StillerBediener(std::ostream* meldungen = nullptr) : meldungen_(meldungen) {}

  int fragen = 0;  // supplier dialogs asked for
  std::optional<LieferantEingabe> antwort;

  using Bediener::meldung;
  void meldung(const std::string& text, const std::string& titel) override {
    if (meldungen_) *meldungen_ << titel << ": " << text << "\n";
  }
  using Bediener::fortschritt;
  void fortschritt(const std::string&, Fortschritt) override {}
  void nachrichtenVerarbeiten() override {}
  void piep() override {}
  LieferantEingabe lieferantErfragen(const std::string& nummer) override {
    ++fragen;
    return antwort.value_or(LieferantEingabe{nummer, nummer, "1000"});
  }
  std::string rechnungsNummerAendern(const std::string& nummer, int) override { return nummer; }
  void protokollZeigen(ProtokollTabelle&) override {}
  // Nobody to confirm a changed host key: refused.
  bool frage(const std::string&) override { return false; }
  void testFensterZeigen() override {}
  void testFensterSchritt(const std::string&) override {}
  void testFensterAnhaken(DatenKasten) override {}
  void testFensterSchliessen() override {}

 private:
  std::ostream* meldungen_;
};

}  // namespace belvanto::test
