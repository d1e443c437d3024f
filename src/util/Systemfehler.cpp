// German wording of operating system error numbers.
#include "util/Systemfehler.h"

#include <cerrno>
#include <cstring>

namespace belvanto {

std::string systemFehlerText(int fehlerNummer) {
  switch (fehlerNummer) {
    case ENOENT:
      return "Datei oder Verzeichnis nicht gefunden";
    case EACCES:
    case EPERM:
      return "Zugriff verweigert";
    case ENOSPC:
      return "Kein Speicherplatz mehr auf dem Datenträger";
    case EDQUOT:
      return "Speicherkontingent überschritten";
    case EFBIG:
      return "Datei zu groß";
    case EROFS:
      return "Schreibgeschütztes Dateisystem";
    case EIO:
      return "Ein-/Ausgabefehler";
    case ENOTDIR:
      return "Kein Verzeichnis";
    case EISDIR:
      return "Ist ein Verzeichnis";
    case EEXIST:
      return "Datei existiert bereits";
    case EBUSY:
    case ETXTBSY:
      return "Datei ist in Benutzung";
    case ENOMEM:
      return "Nicht genügend Arbeitsspeicher";
    case EMFILE:
    case ENFILE:
      return "Zu viele offene Dateien";
    case ENAMETOOLONG:
      return "Dateiname zu lang";
    case ELOOP:
      return "Zu viele Ebenen symbolischer Verknüpfungen";
    default:
      return "Systemfehler " + std::to_string(fehlerNummer) + " (" + std::strerror(fehlerNummer) +
             ")";
  }
}

}  // namespace belvanto
