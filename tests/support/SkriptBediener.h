// Bediener for tests: answers every question from a script prepared by the
// test and records everything the logic said or asked, in order.
#pragma once

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "basis/Bediener.h"

namespace belvanto::test {

class SkriptBediener : public Bediener {
 public:
  // What was said or asked, in order: "meldung: …", "lieferant: <nr>",
  // "rechnungsnummer: <nr>/<stellen>", "protokoll", "piep".
  std::vector<std::string> ereignisse;
  std::vector<std::string> meldungen;
  std::vector<std::string> fortschritte;
  int nachrichtenRunden = 0;
  int piepse = 0;

  // Answers, taken front first; a question without an answer fails the test.
  std::deque<LieferantEingabe> lieferantAntworten;
  std::deque<std::string> rechnungsNummerAntworten;
  // Called when the protocol is shown (for checks while it is "open").
  std::function<void(Protokoll&)> beiProtokoll;
  int protokollGezeigt = 0;

  void meldung(const std::string& text) override {
    meldungen.push_back(text);
    ereignisse.push_back("meldung: " + text);
  }
  void fortschritt(const std::string& text) override { fortschritte.push_back(text); }
  void nachrichtenVerarbeiten() override { ++nachrichtenRunden; }
  void piep() override {
    ++piepse;
    ereignisse.push_back("piep");
  }

  LieferantEingabe lieferantErfragen(const std::string& morvenauNummer) override {
    ereignisse.push_back("lieferant: " + morvenauNummer);
    if (lieferantAntworten.empty()) throw std::logic_error("unexpected supplier dialog");
    auto antwort = lieferantAntworten.front();
    lieferantAntworten.pop_front();
    return antwort;
  }
  std::string rechnungsNummerAendern(const std::string& nummer, int stellen) override {
    ereignisse.push_back("rechnungsnummer: " + nummer + "/" + std::to_string(stellen));
    if (rechnungsNummerAntworten.empty()) throw std::logic_error("unexpected invoice dialog");
    auto antwort = rechnungsNummerAntworten.front();
    rechnungsNummerAntworten.pop_front();
    return antwort;
  }
  void protokollZeigen(Protokoll& protokoll) override {
    ++protokollGezeigt;
    ereignisse.push_back("protokoll");
    if (beiProtokoll) beiProtokoll(protokoll);
  }
};

}  // namespace belvanto::test
