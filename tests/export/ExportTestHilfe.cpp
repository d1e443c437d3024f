#include "export/ExportTestHilfe.h"

#include <array>
#include <cstdio>

namespace belvanto::test {

ExportUmgebung::ExportUmgebung()
    : arbeit(tmp / "arbeit"), programm(tmp / "programm"), belege(arbeit / "Belege") {
  std::filesystem::create_directories(arbeit / "ZRBELEG");
  std::filesystem::create_directories(programm);
  std::filesystem::create_directories(belege);
  konfiguration.programmOrdner = programm;
  konfiguration.ArbeitsVerzeichnis = arbeit.string();
  konfiguration.FirmaVolleMwSt = "19,00";
  konfiguration.FirmaHalbeMwSt = "7,00";
  konfiguration.FirmaNullMwSt = "0,00";
  konfiguration.Kostenstelle = "100";
  konfiguration.NummernUmsetzung = true;
}

void ExportUmgebung::lieferanten(const std::vector<std::string>& zeilen) const {
  cp1252Datei(programm / "LieferantenUmsetzung.csv", zeilen);
}

void ExportUmgebung::index(const std::vector<std::string>& zeilen) const {
  std::vector<std::string> alle{kIndexKopf};
  alle.insert(alle.end(), zeilen.begin(), zeilen.end());
  cp1252Datei(arbeit / "ZRBELEG" / "Index_20250318.csv", alle);
}

void ExportUmgebung::pdf(const std::string& name) const {
  writeBytes(arbeit / "ZRBELEG" / name, "%PDF-1.4\n%%EOF\n");
}

std::string indexZeile(const std::string& pdf, const std::string& rechnungsNr,
                       const std::string& abrufNr, const std::string& valuta) {
  return pdf + ";;;;;4711;" + rechnungsNr + ";;815;;" + abrufNr + ";;;" + valuta + ";;;;;";
}

std::string xmllintFehler(const std::filesystem::path& datei) {
  std::string quoted;
  for (char c : datei.string()) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  const std::string befehl = "xmllint --noout '" + quoted + "' 2>&1";
  std::FILE* rohr = popen(befehl.c_str(), "r");
  if (rohr == nullptr) return "xmllint could not be started";
  std::string ausgabe;
  std::array<char, 512> puffer{};
  while (std::fgets(puffer.data(), puffer.size(), rohr) != nullptr) ausgabe += puffer.data();
  const int status = pclose(rohr);
  if (status != 0 && ausgabe.empty())
    ausgabe = "xmllint failed with status " + std::to_string(status);
  return status == 0 ? std::string() : ausgabe;
}

std::vector<std::string> protokollZeilen(const Protokoll& protokoll) {
  std::vector<std::string> zeilen;
  for (int r = 0; r < protokoll.anzahlEintraege(); ++r) {
    std::string z;
    for (int c = 0; c < 6; ++c) z += (c ? "|" : "") + protokoll.grid().cell(c, r);
    zeilen.push_back(z);
  }
  return zeilen;
}

}  // namespace belvanto::test
