// The folder tree below the working folder and the file operations of a run
// on it: clearing the folders at the start, the backup archive of the
// delivered data, moving the invoice PDFs into the document folder, and the
// document archive that goes to the output folder for the upload to DATEV.
#pragma once

#include <filesystem>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "basis/Konfiguration.h"
#include "basis/Bediener.h"
#include "files/ZipArchiv.h"
#include "util/Datum.h"

namespace belvanto {

// Deletes the file or folder tree at `pfad` permanently, best effort; true
// when something was there and is gone. Never throws. A symbolic link is
// removed itself, never what it points to; an empty path and a file system
// root are refused.
bool VerzeichnisLoeschen(const std::filesystem::path& pfad);

// Deletes `ordner` with all its content and creates it again, empty. A folder
// of thousands of files takes seconds to delete: it is moved aside under a
// hidden name and deleted on the thread returned, which its destructor waits
// for; a smaller one, or one that cannot be moved, is deleted at once.
// Throws Fehler when the folder cannot be created again.
[[nodiscard]] std::jthread VerzeichnisLeeren(const std::filesystem::path& ordner);

// Deletes W/ZRABR, W/ZRBELEG and W/REMADV (only `mitDownload`), W/Belege,
// W/Mail, what an earlier run left moved aside and the output folder, each in
// whatever letter case it exists.
// Throws Fehler, deleting nothing, when the output folder is empty, a file
// system root, or holds the working folder, the backup folder or the program
// folder.
void AlteVerzeichnisseLoeschen(const Konfiguration& k, bool mitDownload, Bediener& b);

// "<BackupVerzeichnis>/<Mitgliedsnummer>-<dd-mm-yy>.zip"
std::filesystem::path backupName(const Konfiguration& k, const Datum& heute);
// "<AusgabeVerzeichnis>/Belege-<Mitgliedsnummer>-<dd-mm-yy>-<LfdNummer>.zip"
std::filesystem::path belegarchivName(const Konfiguration& k, const Datum& heute);

// Each entry an archive call wrote: its name below the folder archived and
// its name in the archive (see ZipBericht).
using Archiveintraege = std::vector<std::pair<std::string, std::string>>;

// The backup of one run, handed on to its document archives.
struct Backup {
  std::filesystem::path archiv;
  Archiveintraege eintraege;
  // What it packed, so the document archives take those entries over
  // without comparing bytes; none for a backup of an earlier process.
  std::shared_ptr<const ArchivNachweis> nachweis;
};

// Archives the working folder (without any *.zip) into the day's backup,
// adding to it when it exists. An entry of an earlier backup is never
// replaced: where a file of the same name is already in it, the backup goes
// to "<Mitgliedsnummer>-<dd-mm-yy>-2.zip" (or -3, ...). The backup folder is
// never created: a missing one is a Fehler.
Backup BackupErstellen(const Konfiguration& k, Bediener& b, const Datum& heute);

// Moves every PDF of W/ZRBELEG whose name contains "-" into W/Belege (created
// when missing), showing "Kopieren: <name>" for every PDF. Returns how many
// were moved.
int BelegeKopieren(const Konfiguration& k, Bediener& b);

// Archives W/Belege into the output folder under the current running number
// and returns the archive's path, taking the PDFs' data from `backup` (the
// day's first backup when it names none) where the bytes match. The caller counts
// LfdNummer up after it returned; a number that cannot be counted up any more
// is refused first.
std::filesystem::path BelegarchivErstellen(const Konfiguration& k, Bediener& b,
                                           const Datum& heute,
                                           const Backup& backup = {},
                                           Archiveintraege* eintraege = nullptr);

}  // namespace belvanto
