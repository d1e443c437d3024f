// The ZIP writer behind the backup and the document archives: packs a folder
// tree into an archive file, adding to an archive of the same name when one
// exists. Every entry is deflated at the configured level or stored where
// deflating does not make it smaller; an entry of a template archive that
// holds the same bytes is taken over instead of deflating them again. A
// failure never leaves a damaged archive under the final name; it is reported
// as Fehler naming the archive and, where one file was at fault, that file.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <vector>
#include <utility>
#include <string>

namespace belvanto {

struct ArchivNachweis;  // what one call packed itself (files/ZipPacken.h)

struct ZipEinstellungen {
  // Deflate level; 6 is zlib's and Info-ZIP's "normal".
  int stufe = 6;
  // Files up to this size are read and deflated in memory (libdeflate);
  // larger ones are deflated as they are read (zlib), never held whole.
  std::uint64_t speicherGrenze = 16u << 20;
  // Threads packing files ahead of the writer; -1 picks one per processor, 0
  // packs on the writing thread.
  int helfer = -1;
  // Bytes of file data the helpers may hold ahead of the writer (at least one
  // file at a time).
  std::uint64_t vorratBudget = 64u << 20;
  // fsync the finished archive and its folder.
  bool sichern = true;
  // An existing archive with a file entry of a new file's name is left alone:
  // ordnerArchivieren throws EintragVorhanden instead of replacing the entry.
  bool nichtsErsetzen = false;
  // Entries directly in the base whose names begin with this are left out.
  const char* ohneBeginn = nullptr;
};

struct EintragVorhanden {};

struct ZipBericht {
  std::size_t dateien = 0;  // file entries written
  std::size_t ordner = 0;   // folder entries written
  std::size_t ersetzt = 0;  // entries of the existing archive replaced by new ones
  // Every entry written: its name below `basis` and its name in the archive,
  // one Windows can take (windowsName, with "~2", "~3" ... where two would
  // meet); folders end in "/".
  std::vector<std::pair<std::string, std::string>> eintraege;
  // What this call packed itself, for a later call that has this archive as
  // its template; none when the call had a template itself.
  std::shared_ptr<const ArchivNachweis> nachweis;
};

// Archives every file below `basis` (recursing, hidden files included,
// symbolic links to files by their content) except names matching "*.zip",
// with every subfolder as an entry of its own ("sub/"), entry names relative to
// `basis` and "/"-separated, modification times kept. An existing `archiv` is
// opened and added to; its entries whose names equal a new entry's name
// (letter case ignored) are replaced. A missing or empty `basis` adds nothing;
// when no archive exists yet, an empty one is written. A file whose size and
// CRC-32 equal those of an entry of the archive `vorlage`, and whose bytes
// equal that entry's, gets that entry's data as it is; a `vorlage` that is
// missing or cannot be read is passed over. With the `vorlageNachweis` of
// the call that wrote `vorlage`, files it packed are taken over without
// comparing their bytes, as long as neither changed since. Throws Fehler.
ZipBericht ordnerArchivieren(const std::filesystem::path& basis,
                             const std::filesystem::path& archiv,
                             const ZipEinstellungen& einstellungen = {},
                             const std::filesystem::path& vorlage = {},
                             std::shared_ptr<const ArchivNachweis> vorlageNachweis = nullptr);

// Writes the entries (name below `basis`, name in `archiv`) back below
// `basis`, replacing files of the same name; folders (names ending in "/")
// are created. The archive's checksums are checked. Throws Fehler.
void eintraegeZurueckholen(const std::filesystem::path& archiv,
                           const std::filesystem::path& basis,
                           const std::vector<std::pair<std::string, std::string>>& eintraege);

}  // namespace belvanto
