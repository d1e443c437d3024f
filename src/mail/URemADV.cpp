#include "mail/URemADV.h"

#include <algorithm>
#include <system_error>
#include <vector>

#include "util/Dateijobs.h"
#include "util/Dateisuche.h"
#include "util/Dezimal.h"
#include "util/Datum.h"
#include "util/Encoding.h"
#include "util/Fehler.h"
#include "util/StringLib.h"
#include "util/Systemfehler.h"
#include "util/Zahlen.h"

namespace belvanto {

namespace fs = std::filesystem;

namespace {

constexpr int kDatum = 1;
constexpr int kBetrag = 3;
constexpr int kMwSt = 6;
constexpr int kLieferant = 15;
constexpr int kBezug = 18;
constexpr int kKonto = 19;
constexpr int kKost = 20;

// Deletion is what moves the stage on to the next file: one that stays would
// be converted and mailed again and again.
void eingabeLoeschen(const fs::path& datei) {
  std::error_code fehler;
  fs::remove(datei, fehler);
  if (!fehler && !fs::exists(fs::symlink_status(datei, fehler))) return;
  throw Fehler("Die RemADV-Datei \"" + datei.string() +
               "\" ist verarbeitet, kann aber nicht gelöscht werden" +
               (fehler ? " (" + systemFehlerText(fehler.value()) + ")" : std::string()) +
               ". Damit sie nicht noch einmal verarbeitet und versandt wird, endet der Lauf "
               "hier; bitte die Datei von Hand entfernen.");
}

}  // namespace

RemADV::RemADV(const Konfiguration& k, Lieferanten& lieferanten, Bediener& b)
    : k_(k), lieferanten_(lieferanten), b_(b), RemADVGrid(kRemADVSpalten, 1) {}

void RemADV::Verarbeiten(MailVersand& versand, bool mailen,
                         const std::function<void()>& vorErsterDatei) {
  b_.fortschritt("RemADV verarbeiten");
  const fs::path arbeit = k_.ArbeitsVerzeichnis;
  bool erste = true;
  while (const auto datei = findFirstFile(resolveNoCase(arbeit, "REMADV"), "RemADV*.csv")) {
    if (erste && vorErsterDatei) vorErsterDatei();
    erste = false;
    const std::string name = datei->filename().string();
    DateiEinlesen(*datei);
    ZeilenUmsetzen();
    std::string betreff;
    const fs::path ausgabe = AusgabeSchreiben(arbeit, name, betreff);
    if (mailen) {
      b_.fortschritt("RemADV-Mail");
      versand.SendeMail(k_.MailAbsender, k_.EmpfaengerRemADV, "RemADV-Versand: " + betreff,
                        std::vector<fs::path>{ausgabe},
                        {"Sehr geehrte Damen und Herren,", "",
                         "anbei erhalten Sie die RemADV dieser Woche für die Mitgliedsnummer:", "",
                         k_.Mitgliedsnummer, "", k_.Signatur1, k_.Signatur2, k_.Signatur3});
    }
    eingabeLoeschen(*datei);
  }
}

void RemADV::DateiEinlesen(const fs::path& TempFilename) {
  datei_ = TempFilename;
  const auto zeilen = readCp1252Lines(TempFilename);
  // An empty file still leaves the header row with its two added titles.
  RemADVGrid.clear(std::max<int>(1, static_cast<int>(zeilen.size())));
  RemADVGrid.setCell(kKonto, 0, "Konto");
  RemADVGrid.setCell(kKost, 0, "Kost");
  for (std::size_t z = 0; z < zeilen.size(); ++z) {
    auto felder = splitFields(zeilen[z], kBezug);
    for (int s = 0; s <= kBezug; ++s)
      RemADVGrid.setCell(s, static_cast<int>(z), std::move(felder[s]));
  }
}

void RemADV::ZeilenUmsetzen() {
  std::vector<Datum> daten;
  for (int z = 1; z < RemADVGrid.rowCount(); ++z) {
    const auto datum = parseDatum(RemADVGrid.cell(kDatum, z));
    if (!datum)
      throw Fehler("In der RemADV-Datei \"" + datei_.string() + "\" ist das Datum \"" +
                   RemADVGrid.cell(kDatum, z) + "\" in Zeile " + std::to_string(z + 1) +
                   " nicht lesbar. Die Datei wird nicht verarbeitet und bleibt erhalten.");
    daten.push_back(*datum);
  }
  for (int z = 1; z < RemADVGrid.rowCount(); ++z) {
    RemADVGrid.setCell(kDatum, z, formatDatum(addTage(daten[z - 1], 10)));
    RemADVGrid.setCell(
        kMwSt, z,
        RemADVGrid.cell(kMwSt, z) == k_.VolleMwStREMADV ? k_.VolleMwStKurz : k_.HalbeMwStKurz);
    RemADVGrid.setCell(
        kLieferant, z,
        lieferanten_.LieferantSuchen(RemADVGrid.cell(kLieferant, z), k_.NummernUmsetzung).nummer);
    RemADVGrid.setCell(kKonto, z, k_.Gegenkonto);
    RemADVGrid.setCell(kKost, z, k_.Kostenstelle);
  }
}

fs::path RemADV::AusgabeSchreiben(const fs::path& TempVerzeichnis, const std::string& Dateiname,
                                  std::string& MailBetreff) {
  // Without a download nothing else has made W/Mail in this run.
  const fs::path mail = resolveNoCase(TempVerzeichnis, "Mail");
  ordnerAnlegen(mail);
  const fs::path ausgabe = mail / Dateiname;

  std::string text;
  Betragssumme summe;
  for (int z = 0; z < RemADVGrid.rowCount(); ++z) {
    for (int s = 0; s < kRemADVSpalten; ++s) {
      if (s > 0) text += ';';
      text += RemADVGrid.cell(s, z);
    }
    text += "\r\n";
    // "1.234,56": thousands dots go; a title or any other text adds nothing.
    // Summed exactly, as the DATEV files are: 10,10 + 20,20 - 30,30 is 0.
    summe.addieren(
        replaceAll(replaceAll(trim(RemADVGrid.cell(kBetrag, z)), ".", ""), ",", "."));
    b_.fortschritt("Schreiben: " + std::to_string(z), Fortschritt::reihe);
  }
  dateiErsetzen(ausgabe, utf8ToCp1252(text));

  MailBetreff =
      RemADVGrid.cell(kBezug, 1) + " / € " + formatGeneral(summe.wert(), ',');
  return ausgabe;
}

}  // namespace belvanto
