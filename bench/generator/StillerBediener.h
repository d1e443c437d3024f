// Bediener of the benchmarks: no person is there. Messages go to stderr,
// progress is dropped, an unknown supplier gets its own number as name.
#pragma once

#include <iostream>
#include <string>

#include "basis/Bediener.h"

namespace belvanto::bench {

class StillerBediener : public Bediener {
 public:
  void meldung(const std::string& text) override { std::cerr << "Meldung: " << text << "\n"; }
  void fortschritt(const std::string&) override {}
  void nachrichtenVerarbeiten() override {}
  void piep() override {}
  LieferantEingabe lieferantErfragen(const std::string& nr) override { return {nr, nr, "1000"}; }
  std::string rechnungsNummerAendern(const std::string& nr, int) override { return nr; }
  void protokollZeigen(Protokoll&) override {}
};

}  // namespace belvanto::bench
