// File jobs every part of the program needs, written once: replacing a file
// whole, moving without replacing, creating a folder, listing a folder with
// names in case-insensitive order. Each failure has one German wording.
#pragma once

#include <sys/stat.h>

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace belvanto {

// The standard texts, each naming the file or folder and, where known, the
// operating system's reason: "Die Datei "x" kann nicht geschrieben werden (…)."
[[noreturn]] void dateiNichtLesbar(const std::filesystem::path& datei, int fehlerNummer = 0);
[[noreturn]] void dateiNichtSchreibbar(const std::filesystem::path& datei, int fehlerNummer = 0);
[[noreturn]] void ordnerNichtLesbar(const std::filesystem::path& ordner, int fehlerNummer = 0);
[[noreturn]] void ordnerNichtAnlegbar(const std::filesystem::path& ordner, int fehlerNummer = 0);

// Whether a replaced file must be on the disk when the call returns. Files
// that end up in an archive, which is synced itself, need not be.
enum class Sichern { ja, nein };

// The size of the buffers files are read and written in: large enough that
// system calls cost nothing next to the data, small enough for any cache.
inline constexpr std::size_t kDateiPuffer = 256 * 1024;

// A new file beside `ziel` that takes its place once complete: created
// exclusively (never through a planted link) for the user alone, or with the
// mode of the file it replaces; removed unless it took the place.
class ErsatzDatei {
 public:
  // `fehler()` tells whether the file could be created.
  ErsatzDatei(const std::filesystem::path& ziel, const struct ::stat* alt);
  ~ErsatzDatei();
  ErsatzDatei(const ErsatzDatei&) = delete;
  ErsatzDatei& operator=(const ErsatzDatei&) = delete;

  int fd() const { return fd_; }
  const std::filesystem::path& pfad() const { return pfad_; }
  int fehler() const { return fehler_; }  // errno of the creation, 0 when made
  // Closes the file and renames it over the target: 0, or the errno.
  int ersetzen();

 private:
  std::filesystem::path ziel_;
  std::filesystem::path pfad_;
  int fd_ = -1;
  int fehler_ = 0;
  bool angelegt_ = false;
  bool ersetzt_ = false;
};

// Writes `bytes` as the new content of `ziel`: through a temporary file beside
// it that is synced and renamed over it, so a failure leaves the old file
// whole and no temporary file behind. A link is written through to its file;
// an existing file keeps its permissions. In a folder that lets only the file
// itself be written, the content is replaced in place. Throws Fehler
// (dateiNichtSchreibbar).
void dateiErsetzen(const std::filesystem::path& ziel, std::string_view bytes,
                   Sichern sichern = Sichern::ja);

// Moves a file (not a folder) to exactly `ziel`, never replacing an existing
// entry: false then, and on any failure, with the source left in place.
// Across file systems the copy is synced before the source goes.
bool verschiebenOhneErsetzen(const std::filesystem::path& quelle,
                             const std::filesystem::path& ziel);

// Creates `ordner` with every missing parent; an existing folder (or a link to
// one) is fine. Throws Fehler (ordnerNichtAnlegbar) otherwise.
void ordnerAnlegen(const std::filesystem::path& ordner);

// Syncs a folder's entries to the disk: 0, or the errno where that fails.
// A folder that cannot be opened, or a file system that cannot sync a
// folder (EINVAL, EROFS), counts as synced: the files themselves are.
int ordnerSichern(const std::filesystem::path& ordner);

enum class Eintraege { alle, nurDateien };

// Names of the entries directly in `ordner`, in case-insensitive name order
// (total, so the same folder lists the same on every run). `nurDateien` keeps
// regular files and links to them. A folder that cannot be read gives the
// names read so far and sets `fehler`.
std::vector<std::string> ordnerNamen(const std::filesystem::path& ordner, Eintraege welche,
                                     std::error_code& fehler);

// Every entry of `ordner` named `name` in any letter case: on Linux "ZRBELEG"
// and "ZRBeleg" can both exist, and both mean the one folder.
std::vector<std::filesystem::path> alleSchreibweisen(const std::filesystem::path& ordner,
                                                     std::string_view name);

}  // namespace belvanto
