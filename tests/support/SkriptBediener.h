// Bediener for tests: answers every question from a script prepared by the
// test and records everything the logic said or asked, in order.
#pragma once

#include <deque>
#include <functional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "basis/Bediener.h"
#include "basis/ProtokollTabelle.h"

namespace belvanto::test {

class SkriptBediener : public Bediener {
 public:
  // What was said or asked, in order: "meldung: …", "lieferant: <nr>",
  // "rechnungsnummer: <nr>/<stellen>", "protokoll", "piep", "frage: …",
  // "testfenster zeigen", "testfenster schliessen".
  std::vector<std::string> ereignisse;
  std::vector<std::string> meldungen;
  std::vector<std::string> fortschritte;
  int nachrichtenRunden = 0;
  int piepse = 0;

  // Answers, taken front first; a question without an answer fails the test.
  std::deque<LieferantEingabe> lieferantAntworten;
  std::deque<std::string> rechnungsNummerAntworten;
  // Called when the protocol is shown (for checks while it is "open").
  std::function<void(ProtokollTabelle&)> beiProtokoll;
  int protokollGezeigt = 0;
  // Answers to Yes/No questions, and the questions asked.
  std::deque<bool> frageAntworten;
  std::vector<std::string> fragen;
  // Called at every progress text (to change the world in the middle of a stage).
  std::function<void(const std::string&)> beiFortschritt;
  // The data check window: its ticks (never taken back), step lines, whether open.
  std::set<DatenKasten> angehakt;
  std::vector<std::string> testSchritte;
  bool testFensterOffen = false;

  using Bediener::meldung;
  // A box with a title of its own is recorded as title, CR, text.
  void meldung(const std::string& text, const std::string& titel) override {
    const std::string eintrag = titel == "Belvanto" ? text : titel + "\r" + text;
    meldungen.push_back(eintrag);
    ereignisse.push_back("meldung: " + eintrag);
  }
  using Bediener::fortschritt;
  void fortschritt(const std::string& text, Fortschritt) override {
    fortschritte.push_back(text);
    if (beiFortschritt) beiFortschritt(text);
  }
  void nachrichtenVerarbeiten() override { ++nachrichtenRunden; }
  void piep() override {
    ++piepse;
    ereignisse.push_back("piep");
  }
  bool frage(const std::string& text) override {
    fragen.push_back(text);
    ereignisse.push_back("frage: " + text);
    if (frageAntworten.empty()) throw std::logic_error("unexpected question");
    const bool antwort = frageAntworten.front();
    frageAntworten.pop_front();
    return antwort;
  }
  void testFensterZeigen() override {
    testFensterOffen = true;
    ereignisse.push_back("testfenster zeigen");
  }
  void testFensterSchritt(const std::string& text) override { testSchritte.push_back(text); }
  void testFensterAnhaken(DatenKasten kasten) override { angehakt.insert(kasten); }
  void testFensterSchliessen() override {
    testFensterOffen = false;
    ereignisse.push_back("testfenster schliessen");
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
  void protokollZeigen(ProtokollTabelle& protokoll) override {
    ++protokollGezeigt;
    ereignisse.push_back("protokoll");
    if (beiProtokoll) beiProtokoll(protokoll);
  }
};

}  // namespace belvanto::test
