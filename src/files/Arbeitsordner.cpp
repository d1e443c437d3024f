// The working folders of a run: clearing, backup, moving the invoice PDFs and
// the document archive. Names below the working folder are looked up without
// regard to letter case, as the cooperative's Windows side writes them in
// more than one form.
#include "files/Arbeitsordner.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <random>
#include <system_error>
#include <thread>
#include <vector>

#include "files/ZipArchiv.h"
#include "util/Dateijobs.h"
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

// The backup takes the working folder whole: it must not hold the program
// folder, whose INI keeps both passwords, nor be a root folder.
void arbeitsOrdnerPruefen(const Konfiguration& k) {
  const fs::path w = ordnerPfad(k.ArbeitsVerzeichnis);
  const std::string hinweis = " Bitte ArbeitsVerzeichnis in Belvanto.ini prüfen.";
  const fs::path wk = kanonisch(w);
  if (wk == wk.root_path())
    throw Fehler("Das Arbeitsverzeichnis " + quote(w) +
                 " ist ein Wurzelverzeichnis; es wird weder geleert noch gesichert." + hinweis);
  if (!k.programmOrdner.empty() && liegtIn(kanonisch(k.programmOrdner), wk))
    throw Fehler("Das Arbeitsverzeichnis " + quote(w) + " enthält den Programmordner " +
                 quote(k.programmOrdner) +
                 " mit Belvanto.ini und ihren Passwörtern, die so in jedes Backup gelangten; "
                 "es wird nichts geleert oder gesichert." +
                 hinweis);
}

// Closes a descriptor when it goes out of scope.
struct Fd {
  int fd;
  ~Fd() {
    if (fd >= 0) ::close(fd);
  }
};

bool entfernenAn(int eltern, const std::string& name);

// Empties the open folder `ordner` through its handle, as rm -rf does: every
// name is taken relative to it and no link is followed, so a folder swapped
// for a link on the way never makes this delete elsewhere.
void leerenAn(int ordner) {
  std::vector<std::string> unterordner, dateien;
  const int kopie = ::dup(ordner);
  DIR* d = kopie >= 0 ? ::fdopendir(kopie) : nullptr;
  if (!d) {
    if (kopie >= 0) ::close(kopie);
    return;
  }
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    (e->d_type == DT_DIR || e->d_type == DT_UNKNOWN ? unterordner : dateien).push_back(name);
  }
  ::closedir(d);
  for (const auto& name : unterordner) entfernenAn(ordner, name);
  // Freeing a file's blocks can wait for the disk (discarding them, say):
  // a folder of tens of thousands of invoices is deleted on several threads.
  constexpr std::size_t kFaeden = 4, kAbFaeden = 256;
  std::atomic<std::size_t> naechste{0};
  auto loeschen = [&] {
    for (std::size_t i; (i = naechste++) < dateien.size();)
      if (::unlinkat(ordner, dateien[i].c_str(), 0) != 0 && errno == EISDIR)
        entfernenAn(ordner, dateien[i]);
  };
  std::vector<std::jthread> helfer;
  if (dateien.size() >= kAbFaeden) {
    try {
      while (helfer.size() + 1 < kFaeden) helfer.emplace_back(loeschen);
    } catch (const std::system_error&) {  // no thread to spare: the rest goes here
    }
  }
  loeschen();
}

// Best effort: goes on past what cannot be deleted; true when `name` in the
// open folder `eltern` is gone.
bool entfernenAn(int eltern, const std::string& name) {
  struct stat st {};
  if (::fstatat(eltern, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return ::unlinkat(eltern, name.c_str(), 0) == 0 || errno == ENOENT;
  const Fd ordner{::openat(eltern, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)};
  if (ordner.fd < 0) {
    // Swapped for a link or a file since: that, not what it points to, goes.
    if (errno == ELOOP || errno == ENOTDIR)
      return ::unlinkat(eltern, name.c_str(), 0) == 0 || errno == ENOENT;
    return false;
  }
  leerenAn(ordner.fd);
  return ::unlinkat(eltern, name.c_str(), AT_REMOVEDIR) == 0 || errno == ENOENT;
}

// `p` itself, which may be a link (then only the link goes).
bool entfernen(const fs::path& p) {
  const fs::path eltern = p.has_parent_path() ? p.parent_path() : fs::path(".");
  const Fd fd{::open(eltern.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)};
  return fd.fd >= 0 && entfernenAn(fd.fd, p.filename().string());
}

std::string mitgliedsnummerFuerName(const Konfiguration& k) {
  if (k.Mitgliedsnummer.find('/') != std::string::npos ||
      k.Mitgliedsnummer.find('\0') != std::string::npos)
    throw Fehler("Die Mitgliedsnummer \"" + k.Mitgliedsnummer +
                 "\" enthält ein unzulässiges Zeichen und kann nicht Teil eines Dateinamens sein.");
  return k.Mitgliedsnummer;
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

namespace {
constexpr const char* kBeiseite = ".geloescht-";
}  // namespace

std::jthread VerzeichnisLeeren(const fs::path& ordner) {
  constexpr std::size_t kAbHintergrund = 1000;
  std::size_t anzahl = 0;
  std::error_code ec;
  for (fs::directory_iterator it(ordner, ec), ende; !ec && it != ende && anzahl < kAbHintergrund;
       it.increment(ec))
    ++anzahl;
  std::jthread faden;
  if (anzahl >= kAbHintergrund) {
    const fs::path beiseite =
        ordner.parent_path() / (kBeiseite + ordner.filename().string() + "-" +
                                std::to_string(::getpid()) + "-" +
                                std::to_string(std::random_device{}()));
    if (::rename(ordner.c_str(), beiseite.c_str()) == 0)
      faden = std::jthread([beiseite] { VerzeichnisLoeschen(beiseite); });
  }
  if (!faden.joinable()) VerzeichnisLoeschen(ordner);
  ordnerAnlegen(ordner);
  return faden;
}

void AlteVerzeichnisseLoeschen(const Konfiguration& k, bool mitDownload, Bediener& b) {
  b.fortschritt("Lösche alte Verzeichnisse");
  arbeitsOrdnerPruefen(k);
  ausgabeOrdnerPruefen(k);
  const fs::path w = ordnerPfad(k.ArbeitsVerzeichnis);
  // With downloading off these hold what the user put there by hand.
  if (mitDownload)
    for (const char* name : {"ZRABR", "ZRBELEG", "REMADV"})
      for (const auto& p : alleSchreibweisen(w, name)) VerzeichnisLoeschen(p);
  for (const char* name : {"Belege", "Mail"})
    for (const auto& p : alleSchreibweisen(w, name)) VerzeichnisLoeschen(p);
  // Moved aside by a run that ended before it had deleted them.
  std::error_code ec;
  for (const auto& name : ordnerNamen(w, Eintraege::alle, ec))
    if (name.rfind(kBeiseite, 0) == 0) VerzeichnisLoeschen(w / name);
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

Backup BackupErstellen(const Konfiguration& k, Bediener& b, const Datum& heute) {
  const fs::path erstes = backupName(k, heute);
  b.fortschritt("Backup erstellen");
  const fs::path backup = ordnerPfad(k.BackupVerzeichnis);
  std::error_code ec;
  if (!fs::is_directory(backup, ec))
    throw Fehler("Das Backup-Verzeichnis " + quote(backup) + " existiert nicht; das Backup " +
                 quote(erstes) + " kann nicht geschrieben werden.");
  ZipEinstellungen einstellungen;
  einstellungen.nichtsErsetzen = true;
  // A folder moved aside is being deleted in the background: never backed up.
  einstellungen.ohneBeginn = kBeiseite;
  constexpr int kHoechstens = 99;
  for (int n = 1; n <= kHoechstens; ++n) {
    const fs::path archiv =
        n == 1 ? erstes : erstes.parent_path() / (erstes.stem().string() + "-" + std::to_string(n) + ".zip");
    try {
      auto bericht = ordnerArchivieren(ordnerPfad(k.ArbeitsVerzeichnis), archiv, einstellungen);
      return {archiv, std::move(bericht.eintraege), std::move(bericht.nachweis)};
    } catch (const EintragVorhanden&) {
      // That backup holds a file of this name from an earlier run today.
    }
  }
  throw Fehler("Es gibt heute schon " + std::to_string(kHoechstens) + " Backups " + quote(erstes) +
               " usw.; ein weiteres wird nicht geschrieben.");
}

int BelegeKopieren(const Konfiguration& k, Bediener& b) {
  const fs::path w = ordnerPfad(k.ArbeitsVerzeichnis);
  const fs::path belege = resolveNoCase(w, "Belege");
  ordnerAnlegen(belege);
  int verschoben = 0;
  // The same spelling as the readers, so all stages pick the same folder
  // should two spellings of it exist side by side.
  for (const auto& pdf : findFiles(resolveNoCase(w, "ZRBELEG"), "*.pdf")) {
    const std::string name = pdf.filename().string();
    // Only the PDFs renamed for the current booking file carry a hyphen.
    if (name.find('-') != std::string::npos && verschiebenOhneErsetzen(pdf, belege / name))
      ++verschoben;
    b.fortschritt("Kopieren: " + name, Fortschritt::reihe);
  }
  return verschoben;
}

fs::path BelegarchivErstellen(const Konfiguration& k, Bediener& b, const Datum& heute,
                              const Backup& backup, Archiveintraege* eintraege) {
  b.fortschritt("Belegarchiv erstellen");
  if (k.LfdNummer == INT32_MAX)
    throw Fehler("Die laufende Nummer (LfdNummer " + std::to_string(k.LfdNummer) +
                 ") kann nicht weiter hochgezählt werden. Bitte Belvanto.ini prüfen.");
  const fs::path archiv = belegarchivName(k, heute);
  // The backup holds the same PDFs under their delivered names: their Deflate
  // data is taken from there wherever the bytes still match.
  auto bericht = ordnerArchivieren(resolveNoCase(ordnerPfad(k.ArbeitsVerzeichnis), "Belege"),
                                   archiv, {},
                                   backup.archiv.empty() ? backupName(k, heute) : backup.archiv,
                                   backup.nachweis);
  if (eintraege) *eintraege = std::move(bericht.eintraege);
  return archiv;
}

}  // namespace belvanto
