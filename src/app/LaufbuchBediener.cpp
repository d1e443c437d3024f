// A box is logged before it is shown, so that the log holds it even when the
// program ends while it is open; a question once it has its answer.
#include "app/LaufbuchBediener.h"

#include "basis/Laufbuch.h"
#include "protocol/UProtokoll.h"

namespace belvanto {

namespace {

std::string inAnfuehrung(const std::string& text) {
  return "\"" + text + "\"";
}

}  // namespace

void LaufbuchBediener::meldung(const std::string& text, const std::string& titel) {
  laufbuch_.schreiben(titel == "Belvanto" ? "Meldung: " + text
                                          : "Meldung " + inAnfuehrung(titel) + ": " + text);
  echt_.meldung(text, titel);
}

bool LaufbuchBediener::frage(const std::string& text) {
  const bool ja = echt_.frage(text);
  laufbuch_.schreiben("Frage: " + text + " Antwort: " + (ja ? "Ja" : "Nein"));
  return ja;
}

LieferantEingabe LaufbuchBediener::lieferantErfragen(const std::string& morvenauNummer) {
  LieferantEingabe antwort = echt_.lieferantErfragen(morvenauNummer);
  laufbuch_.schreiben("Lieferant erfragt: " + morvenauNummer + " Antwort: Nummer " +
                      inAnfuehrung(antwort.nummer) + ", Name " + inAnfuehrung(antwort.name) +
                      ", Höchstbetrag " + inAnfuehrung(antwort.maxBetrag));
  return antwort;
}

std::string LaufbuchBediener::rechnungsNummerAendern(const std::string& rechnungsNummer,
                                                     int anzahlStellen) {
  std::string antwort = echt_.rechnungsNummerAendern(rechnungsNummer, anzahlStellen);
  laufbuch_.schreiben("Rechnungsnummer erfragt: " + inAnfuehrung(rechnungsNummer) + " (höchstens " +
                      std::to_string(anzahlStellen) +
                      " Stellen) Antwort: " + inAnfuehrung(antwort));
  return antwort;
}

void LaufbuchBediener::protokollZeigen(ProtokollTabelle& protokoll) {
  laufbuch_.schreiben("Protokollfenster gezeigt: " + std::to_string(protokoll.anzahlEintraege()) +
                      " Einträge");
  echt_.protokollZeigen(protokoll);
}

}  // namespace belvanto
