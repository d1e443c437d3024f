#include "basis/Einstellungsort.h"

#include <cstdlib>
#include <system_error>

#include "basis/Konfiguration.h"
#include "util/Dateijobs.h"
#include "util/Dateisuche.h"
#include "util/Encoding.h"
#include "util/Fehler.h"

namespace belvanto {

namespace fs = std::filesystem;

namespace {

fs::path benutzerOrdner() {
  // A relative XDG_CONFIG_HOME would depend on the folder the program was
  // started from: it is passed over, as other desktop programs do.
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && *xdg && fs::path(xdg).is_absolute()) return fs::path(xdg) / "Belvanto";
  const char* home = std::getenv("HOME");
  if (!home || !*home)
    throw Fehler("Weder XDG_CONFIG_HOME noch HOME ist gesetzt: Belvanto findet keinen Ordner "
                 "für seine Einstellungen.");
  return fs::path(home) / ".config" / "Belvanto";
}

bool iniDa(const fs::path& ordner) {
  std::error_code ec;
  return fs::is_regular_file(resolveNoCase(ordner, kIniName), ec);
}

}  // namespace

Einstellungsort einstellungsortFinden(const fs::path& programmOrdner, const fs::path& beispiel) {
  if (iniDa(programmOrdner)) return {programmOrdner, false};
  const fs::path ordner = benutzerOrdner();
  ordnerAnlegen(ordner);
  if (iniDa(ordner)) return {ordner, false};
  // New files are the user's alone: the INI will hold both passwords.
  dateiErsetzen(ordner / kIniName, readFileBytes(beispiel));
  std::error_code ec;
  if (!fs::exists(resolveNoCase(ordner, kLieferantenDatei), ec))
    dateiErsetzen(ordner / kLieferantenDatei, "");
  return {ordner, true};
}

std::string beispielKopiertText(const fs::path& ini) {
  return "Belvanto hat seine Beispiel-Einstellungen nach \"" + ini.string() +
         "\" kopiert. Bitte tragen Sie dort die Mitgliedsnummer, das Arbeits-, Backup- und "
         "Ausgabeverzeichnis, den SFTP-Zugang (FtpZugang, FtpUser, FtpPasswort) und die "
         "Mail-Einstellungen ein und starten Sie Belvanto dann neu.";
}

}  // namespace belvanto
