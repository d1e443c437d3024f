// The working folders of a run: clearing, backup, moving the invoice PDFs and
// the document archive. Names below the working folder are looked up without
// regard to letter case, as the cooperative's Windows side writes them in
// more than one form.
#include "files/Arbeitsordner.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <vector>

#include "files/Systemfehler.h"
#include "files/ZipArchiv.h"
#include "util/Dateisuche.h"
#include "util/Fehler.h"
#include "util/StringLib.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;

std::string quote(const fs::path& p) {
  return "\"" + p.string() + "\"";
}

// A configured folder without trailing "/", as the INI gives it.
fs::path ordnerPfad(const std::string& wert) {
  std::string s = wert;
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return fs::path(s);
}

// Every entry of `ordner` named `name` in any letter case: on Linux "ZRBELEG"
// and "ZRBeleg" can both exist, and both mean the one folder.
std::vector<fs::path> alleSchreibweisen(const fs::path& ordner, const std::string& name) {
  std::vector<fs::path> treffer;
  std::error_code ec;
  for (fs::directory_iterator it(ordner, ec), ende; !ec && it != ende; it.increment(ec))
    if (equalsNoCase(it->path().filename().string(), name)) treffer.push_back(it->path());
  return treffer;
}

bool liegtIn(const fs::path& innen, const fs::path& aussen) {
  auto [a, i] = std::mismatch(aussen.begin(), aussen.end(), innen.begin(), innen.end());
  return a == aussen.end();
}

fs::path kanonisch(const fs::path& p) {
  std::error_code ec;
  fs::path k = fs::weakly_canonical(p, ec);
  return ec ? p.lexically_normal() : k;
}

// The output folder is deleted at every run start; a misconfigured one must not
// take the working data, the backups or the program's own files with it.
void ausgabeOrdnerPruefen(const Konfiguration& k) {
  const fs::path o = ordnerPfad(k.AusgabeVerzeichnis);
  const std::string hinweis = " Bitte AusgabeVerzeichnis in Belvanto.ini prüfen.";
  if (o.empty())
    throw Fehler("Es ist kein Ausgabeverzeichnis angegeben; es wird nichts gelöscht." + hinweis);
  const fs::path ok = kanonisch(o);
  if (ok == ok.root_path())
    throw Fehler("Das Ausgabeverzeichnis " + quote(o) +
                 " ist ein Wurzelverzeichnis und wird nicht gelöscht." + hinweis);
  const std::pair<const char*, std::string> geschuetzt[] = {
      {"das Arbeitsverzeichnis", k.ArbeitsVerzeichnis},
      {"das Backup-Verzeichnis", k.BackupVerzeichnis},
      {"den Programmordner", k.programmOrdner.string()}};
  for (const auto& [was, wert] : geschuetzt) {
    if (wert.empty()) continue;
    if (liegtIn(kanonisch(ordnerPfad(wert)), ok))
      throw Fehler("Das Ausgabeverzeichnis " + quote(o) + " enthält " + was + " " + quote(wert) +
                   " und wird deshalb nicht gelöscht." + hinweis);
  }
}

// Best effort: goes on past what cannot be deleted; true when `p` is gone.
bool entfernen(const fs::path& p) {
  struct stat st {};
  if (::lstat(p.c_str(), &st) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return ::unlink(p.c_str()) == 0 || errno == ENOENT;
  std::vector<fs::path> kinder;
  std::error_code ec;
  for (fs::directory_iterator it(p, ec), ende; !ec && it != ende; it.increment(ec))
    kinder.push_back(it->path());
  for (const auto& kind : kinder) entfernen(kind);
  return ::rmdir(p.c_str()) == 0 || errno == ENOENT;
}

std::string mitgliedsnummerFuerName(const Konfiguration& k) {
  if (k.Mitgliedsnummer.find('/') != std::string::npos ||
      k.Mitgliedsnummer.find('\0') != std::string::npos)
    throw Fehler("Die Mitgliedsnummer \"" + k.Mitgliedsnummer +
                 "\" enthält ein unzulässiges Zeichen und kann nicht Teil eines Dateinamens sein.");
  return k.Mitgliedsnummer;
}

bool syncOrdner(const fs::path& ordner) {
  int fd = ::open(ordner.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return false;
  bool ok = ::fsync(fd) == 0 || errno == EINVAL;
  ::close(fd);
  return ok;
}

// Copies a regular file into a hidden temporary file beside `ziel`, with its
// permissions and times, synced. Returns the temporary path, empty on failure.
std::string kopieren(const fs::path& quelle, const fs::path& ziel) {
  int ein = ::open(quelle.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (ein < 0) return {};
  struct stat st {};
  fs::path tempPfad = (ziel.has_parent_path() ? ziel.parent_path() : fs::path(".")) /
                      ("." + ziel.filename().string() + ".XXXXXX");
  std::string temp = tempPfad.string();
  int aus = -1;
  bool ok = ::fstat(ein, &st) == 0 && S_ISREG(st.st_mode) && (aus = ::mkstemp(temp.data())) >= 0;
  std::vector<char> puffer(256 * 1024);
  while (ok) {
    ssize_t n = ::read(ein, puffer.data(), puffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    for (ssize_t geschrieben = 0; ok && geschrieben < n;) {
      ssize_t w =
          ::write(aus, puffer.data() + geschrieben, static_cast<std::size_t>(n - geschrieben));
      if (w < 0 && errno == EINTR) continue;
      ok = w > 0;
      geschrieben += w;
    }
  }
  ::close(ein);
  if (aus >= 0) {
    const struct timespec zeiten[2] = {st.st_atim, st.st_mtim};
    ok = ok && ::fchmod(aus, st.st_mode & 07777) == 0 && ::futimens(aus, zeiten) == 0 &&
         ::fsync(aus) == 0;
    ok = ::close(aus) == 0 && ok;
    if (!ok) ::unlink(temp.c_str());
  }
  return ok ? temp : std::string();
}

// Puts the temporary copy in place under `ziel`, never over an existing file.
bool einsetzen(const std::string& temp, const fs::path& ziel) {
  if (::link(temp.c_str(), ziel.c_str()) == 0) {
    ::unlink(temp.c_str());
    return true;
  }
  // File systems without hard links: check, then rename.
  struct stat st {};
  if (errno != EEXIST && ::lstat(ziel.c_str(), &st) != 0 && errno == ENOENT &&
      ::rename(temp.c_str(), ziel.c_str()) == 0)
    return true;
  ::unlink(temp.c_str());
  return false;
}

bool ueberDateisystemeVerschieben(const fs::path& quelle, const fs::path& ziel) {
  std::string temp = kopieren(quelle, ziel);
  if (temp.empty() || !einsetzen(temp, ziel)) return false;
  syncOrdner(ziel.has_parent_path() ? ziel.parent_path() : fs::path("."));
  if (::unlink(quelle.c_str()) != 0) {
    // The file must stay in one place: take the copy back.
    ::unlink(ziel.c_str());
    return false;
  }
  return true;
}

}  // namespace

bool VerzeichnisLoeschen(const fs::path& pfad) {
  try {
    const fs::path p = ordnerPfad(pfad.string());
    if (p.empty()) return false;
    const fs::path k = kanonisch(p);
    if (k == k.root_path()) return false;
    struct stat st {};
    if (::lstat(p.c_str(), &st) != 0) return false;
    return entfernen(p);
  } catch (...) {
    return false;
  }
}

void AlteVerzeichnisseLoeschen(const Konfiguration& k, bool mitDownload, Bediener& b) {
  b.fortschritt("Lösche alte Verzeichnisse");
  ausgabeOrdnerPruefen(k);
  const fs::path w = ordnerPfad(k.ArbeitsVerzeichnis);
  // With downloading off these hold what the user put there by hand.
  if (mitDownload)
    for (const char* name : {"ZRABR", "ZRBELEG", "REMADV"})
      for (const auto& p : alleSchreibweisen(w, name)) VerzeichnisLoeschen(p);
  for (const char* name : {"Belege", "Mail"})
    for (const auto& p : alleSchreibweisen(w, name)) VerzeichnisLoeschen(p);
  VerzeichnisLoeschen(ordnerPfad(k.AusgabeVerzeichnis));
}

fs::path backupName(const Konfiguration& k, const Datum& heute) {
  return ordnerPfad(k.BackupVerzeichnis) /
         (mitgliedsnummerFuerName(k) + "-" + formatArchivDatum(heute) + ".zip");
}

fs::path belegarchivName(const Konfiguration& k, const Datum& heute) {
  return ordnerPfad(k.AusgabeVerzeichnis) /
         ("Belege-" + mitgliedsnummerFuerName(k) + "-" + formatArchivDatum(heute) + "-" +
          std::to_string(k.LfdNummer) + ".zip");
}

void BackupErstellen(const Konfiguration& k, Bediener& b, const Datum& heute) {
  const fs::path archiv = backupName(k, heute);
  b.fortschritt("Backup erstellen");
  const fs::path backup = ordnerPfad(k.BackupVerzeichnis);
  std::error_code ec;
  if (!fs::is_directory(backup, ec))
    throw Fehler("Das Backup-Verzeichnis " + quote(backup) + " existiert nicht; das Backup " +
                 quote(archiv) + " kann nicht geschrieben werden.");
  ordnerArchivieren(ordnerPfad(k.ArbeitsVerzeichnis), archiv);
}

int BelegeKopieren(const Konfiguration& k, Bediener& b) {
  const fs::path w = ordnerPfad(k.ArbeitsVerzeichnis);
  const fs::path belege = resolveNoCase(w, "Belege");
  std::error_code ec;
  fs::create_directories(belege, ec);
  if (!fs::is_directory(belege))
    throw Fehler("Das Verzeichnis " + quote(belege) + " kann nicht angelegt werden (" +
                 systemFehlerText(ec.value()) + ").");
  int verschoben = 0;
  // The same spelling as the readers, so all stages pick the same folder
  // should two spellings of it exist side by side.
  for (const auto& pdf : findFiles(resolveNoCase(w, "ZRBELEG"), "*.pdf")) {
    const std::string name = pdf.filename().string();
    // Only the PDFs renamed for the current booking file carry a hyphen.
    if (name.find('-') != std::string::npos && DateiVerschieben(pdf, belege / name)) ++verschoben;
    b.fortschritt("Kopieren: " + name);
  }
  return verschoben;
}

bool DateiVerschieben(const fs::path& quelle, const fs::path& ziel) {
  struct stat st {};
  if (::lstat(quelle.c_str(), &st) != 0 || S_ISDIR(st.st_mode)) return false;
  if (::renameat2(AT_FDCWD, quelle.c_str(), AT_FDCWD, ziel.c_str(), RENAME_NOREPLACE) == 0)
    return true;
  if (errno == EINVAL || errno == ENOSYS) {
    // No RENAME_NOREPLACE on this file system: check first, then rename.
    struct stat zs {};
    if (::lstat(ziel.c_str(), &zs) == 0 || errno != ENOENT) return false;
    if (::rename(quelle.c_str(), ziel.c_str()) == 0) return true;
  }
  if (errno == EXDEV && S_ISREG(st.st_mode)) return ueberDateisystemeVerschieben(quelle, ziel);
  return false;
}

fs::path BelegarchivErstellen(Konfiguration& k, Bediener& b, const Datum& heute) {
  b.fortschritt("Belegarchiv erstellen");
  if (k.LfdNummer == INT32_MAX)
    throw Fehler("Die laufende Nummer (LfdNummer " + std::to_string(k.LfdNummer) +
                 ") kann nicht weiter hochgezählt werden. Bitte Belvanto.ini prüfen.");
  const fs::path archiv = belegarchivName(k, heute);
  ordnerArchivieren(resolveNoCase(ordnerPfad(k.ArbeitsVerzeichnis), "Belege"), archiv);
  ++k.LfdNummer;
  return archiv;
}

}  // namespace belvanto
