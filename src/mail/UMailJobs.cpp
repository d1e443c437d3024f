#include "mail/UMailJobs.h"

#include <filesystem>
#include <vector>

#include "util/Dateisuche.h"

namespace belvanto {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> mitSignatur(std::vector<std::string> zeilen, const Konfiguration& k) {
  zeilen.insert(zeilen.end(), {k.Signatur1, k.Signatur2, k.Signatur3});
  return zeilen;
}

// Every PDF of the folder, in name order, each shown in the progress line.
// The paths go to the mail sender one by one, so a ";" in a name is harmless.
std::vector<fs::path> pdfsSammeln(const fs::path& ordner, const std::string& fortschritt,
                                  Bediener& b) {
  std::vector<fs::path> pdfs;
  for (const auto& pdf : findFiles(ordner, "*.pdf")) {
    b.fortschritt(fortschritt + pdf.filename().string(), Fortschritt::reihe);
    b.nachrichtenVerarbeiten();
    pdfs.push_back(pdf);
  }
  return pdfs;
}

}  // namespace

std::string infoMailAdresse(const std::string& MailAbsender) {
  const auto at = MailAbsender.rfind('@');
  return "belvanto@" + (at == std::string::npos ? std::string() : MailAbsender.substr(at + 1));
}

int AbrechnungsMailSenden(const Konfiguration& k, MailVersand& versand, Bediener& b) {
  b.fortschritt("Abrechnungs-Mail");
  const auto pdfs =
      pdfsSammeln(resolveNoCase(k.ArbeitsVerzeichnis, "ZRABR"), "Abrechnungs-Mail: ", b);
  versand.SendeMail(k.MailAbsender, k.EmpfaengerAbrechnung, "Abrechnungs-Versand", pdfs,
                    mitSignatur({"Hallo,", "", "anbei die aktuelle Mitgliedsabrechnung.", ""}, k));
  versand.SendeMail(k.MailAbsender, infoMailAdresse(k.MailAbsender),
                    "Belvanto: " + k.Mitgliedsnummer, std::vector<fs::path>{},
                    mitSignatur({"Info-Mail"}, k));
  return static_cast<int>(pdfs.size());
}

void LadenMailSenden(const Konfiguration& k, MailVersand& versand, Bediener& b) {
  b.fortschritt("Laden-Mail");
  const auto pdfs = pdfsSammeln(resolveNoCase(k.ArbeitsVerzeichnis, "Belege"), "Laden-Mail: ", b);
  versand.SendeMail(k.MailAbsender, k.EmpfaengerRNKopie, "Laden-Versand", pdfs,
                    mitSignatur({"Hallo,", "", "anbei die aktuelle Rechnungsübersicht.", ""}, k));
}

}  // namespace belvanto
