// File jobs with POSIX calls where the standard library cannot say what is
// needed: no replacing on rename, syncing, keeping permissions and times.
#include "util/Dateijobs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <random>

#include "util/Fehler.h"
#include "util/StringLib.h"
#include "util/Systemfehler.h"

namespace belvanto {

namespace fs = std::filesystem;

namespace {

std::string grund(int fehlerNummer) {
  return fehlerNummer == 0 ? std::string() : " (" + systemFehlerText(fehlerNummer) + ")";
}

fs::path ordnerVon(const fs::path& p) {
  return p.has_parent_path() ? p.parent_path() : fs::path(".");
}

bool alleSchreiben(int fd, const char* daten, std::size_t n) {
  while (n > 0) {
    const ssize_t w = ::write(fd, daten, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    daten += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// A name beside `ziel` that no other writer picks, hidden from listings.
fs::path tempName(const fs::path& ziel) {
  static std::atomic<unsigned> zaehler{0};
  static const unsigned zufall = std::random_device{}();
  return ordnerVon(ziel) / ("." + ziel.filename().string() + ".neu-" + std::to_string(::getpid()) +
                            "-" + std::to_string(zufall) + "-" + std::to_string(zaehler++));
}

}  // namespace

ErsatzDatei::ErsatzDatei(const fs::path& ziel, const struct stat* alt) : ziel_(ziel) {
  for (int versuch = 0; fd_ < 0 && versuch < 100; ++versuch) {
    pfad_ = tempName(ziel);
    fd_ = ::open(pfad_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd_ < 0 && errno != EEXIST) break;
  }
  angelegt_ = fd_ >= 0;
  if (fd_ < 0)
    fehler_ = errno;
  else if (alt && ::fchmod(fd_, alt->st_mode & 07777) != 0)
    fehler_ = errno;
}

ErsatzDatei::~ErsatzDatei() {
  if (fd_ >= 0) ::close(fd_);
  if (angelegt_ && !ersetzt_) ::unlink(pfad_.c_str());
}

int ErsatzDatei::ersetzen() {
  const int r = ::close(fd_);
  fd_ = -1;
  if (r != 0) return errno;
  if (::rename(pfad_.c_str(), ziel_.c_str()) != 0) return errno;
  ersetzt_ = true;
  return 0;
}

namespace {

// Replaces the content of an existing file in place: the only way where the
// folder forbids creating the temporary file.
void direktUeberschreiben(const fs::path& ziel, std::string_view bytes, Sichern sichern) {
  const int fd = ::open(ziel.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) dateiNichtSchreibbar(ziel, errno);
  bool ok = alleSchreiben(fd, bytes.data(), bytes.size()) &&
            (sichern == Sichern::nein || ::fsync(fd) == 0);
  int nummer = ok ? 0 : errno;
  if (::close(fd) != 0 && ok) {
    ok = false;
    nummer = errno;
  }
  if (!ok) dateiNichtSchreibbar(ziel, nummer);
}

// Copies a regular file into a hidden temporary file beside `ziel`, with its
// permissions and times, synced. Returns the temporary path, empty on failure.
std::string kopieren(const fs::path& quelle, const fs::path& ziel) {
  const int ein = ::open(quelle.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (ein < 0) return {};
  struct stat st {};
  std::string temp = (ordnerVon(ziel) / ("." + ziel.filename().string() + ".XXXXXX")).string();
  int aus = -1;
  bool ok = ::fstat(ein, &st) == 0 && S_ISREG(st.st_mode) &&
            (aus = ::mkostemp(temp.data(), O_CLOEXEC)) >= 0;
  std::vector<char> puffer(kDateiPuffer);
  while (ok) {
    const ssize_t n = ::read(ein, puffer.data(), puffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    ok = alleSchreiben(aus, puffer.data(), static_cast<std::size_t>(n));
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

// Puts the temporary copy in place under `ziel`, never over an existing entry.
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
  const std::string temp = kopieren(quelle, ziel);
  if (temp.empty() || !einsetzen(temp, ziel)) return false;
  ordnerSichern(ordnerVon(ziel));
  if (::unlink(quelle.c_str()) != 0) {
    // The file must stay in one place: take the copy back.
    ::unlink(ziel.c_str());
    return false;
  }
  return true;
}

}  // namespace

void dateiNichtLesbar(const fs::path& datei, int fehlerNummer) {
  throw Fehler("Die Datei \"" + datei.string() + "\" kann nicht gelesen werden" +
               grund(fehlerNummer) + ".");
}

void dateiNichtSchreibbar(const fs::path& datei, int fehlerNummer) {
  throw Fehler("Die Datei \"" + datei.string() + "\" kann nicht geschrieben werden" +
               grund(fehlerNummer) + ".");
}

void ordnerNichtLesbar(const fs::path& ordner, int fehlerNummer) {
  throw Fehler("Das Verzeichnis \"" + ordner.string() + "\" kann nicht gelesen werden" +
               grund(fehlerNummer) + ".");
}

void ordnerNichtAnlegbar(const fs::path& ordner, int fehlerNummer) {
  throw Fehler("Das Verzeichnis \"" + ordner.string() + "\" kann nicht angelegt werden" +
               grund(fehlerNummer) + ".");
}

void dateiErsetzen(const fs::path& datei, std::string_view bytes, Sichern sichern) {
  fs::path ziel = datei;
  std::error_code ec;
  if (fs::is_symlink(fs::symlink_status(datei, ec))) {
    auto echt = fs::weakly_canonical(datei, ec);
    if (!ec) ziel = std::move(echt);
  }
  struct stat alt {};
  const bool vorhanden = ::stat(ziel.c_str(), &alt) == 0;
  if (vorhanden && !S_ISREG(alt.st_mode)) dateiNichtSchreibbar(ziel, EISDIR);

  ErsatzDatei temp(ziel, vorhanden ? &alt : nullptr);
  if (temp.fd() < 0) {
    const int nummer = temp.fehler();
    if (vorhanden && (nummer == EACCES || nummer == EPERM) && ::access(ziel.c_str(), W_OK) == 0)
      return direktUeberschreiben(ziel, bytes, sichern);
    dateiNichtSchreibbar(ziel, nummer);
  }
  if (temp.fehler() != 0) dateiNichtSchreibbar(ziel, temp.fehler());
  if (!alleSchreiben(temp.fd(), bytes.data(), bytes.size()) ||
      (sichern == Sichern::ja && ::fsync(temp.fd()) != 0))
    dateiNichtSchreibbar(ziel, errno);
  if (const int nummer = temp.ersetzen()) dateiNichtSchreibbar(ziel, nummer);
  if (sichern == Sichern::ja) ordnerSichern(ordnerVon(ziel));
}

bool verschiebenOhneErsetzen(const fs::path& quelle, const fs::path& ziel) {
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

void ordnerAnlegen(const fs::path& ordner) {
  std::error_code ec;
  // Each missing folder on the way is made for the user alone.
  fs::path bisher;
  for (const auto& teil : ordner) {
    bisher /= teil;
    if (::mkdir(bisher.c_str(), 0700) != 0 && errno != EEXIST) {
      ec.assign(errno, std::generic_category());
      break;
    }
  }
  std::error_code ist;
  if (fs::is_directory(ordner, ist)) return;
  ordnerNichtAnlegbar(ordner, ec ? ec.value() : (ist ? ist.value() : ENOTDIR));
}

int ordnerSichern(const fs::path& ordner) {
  const int fd = ::open(ordner.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return 0;
  const int nummer = ::fsync(fd) == 0 ? 0 : errno;
  ::close(fd);
  return nummer == EINVAL || nummer == EROFS ? 0 : nummer;
}

std::vector<std::string> ordnerNamen(const fs::path& ordner, Eintraege welche,
                                     std::error_code& fehler) {
  std::vector<std::string> namen;
  fehler.clear();
  fs::directory_iterator it(ordner, fehler);
  for (; !fehler && it != fs::directory_iterator(); it.increment(fehler)) {
    std::error_code egal;
    if (welche == Eintraege::nurDateien && !it->is_regular_file(egal)) continue;
    namen.push_back(it->path().filename().string());
  }
  std::sort(namen.begin(), namen.end(),
            [](const std::string& a, const std::string& b) { return lessNoCase(a, b); });
  return namen;
}

std::vector<fs::path> alleSchreibweisen(const fs::path& ordner, std::string_view name) {
  std::vector<fs::path> treffer;
  std::error_code egal;
  for (const auto& n : ordnerNamen(ordner, Eintraege::alle, egal))
    if (equalsNoCase(n, name)) treffer.push_back(ordner / n);
  return treffer;
}

}  // namespace belvanto
