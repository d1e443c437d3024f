// The ZIP writer on libzip.
//
// libzip 1.7 cannot decide per entry between Deflate and Store by itself (its
// default looks at the first 8 KB only and means level 9), and a plain buffer
// source would make it deflate a second time. So each file is handed to libzip
// as a source of its own: files up to the memory limit are read and deflated
// once, by helper threads a few entries ahead of libzip's writer, and passed
// on as finished Deflate data (or as they are, when Deflate did not make them
// smaller); larger files are deflated into a nameless spool file beside the
// archive and copied from there, or read once more when stored. libzip writes the whole archive
// into a temporary file next to the target and renames it only on success, so a failure leaves the
// old archive as it was.
#include "files/ZipArchiv.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "util/Dateijobs.h"
#include "util/Systemfehler.h"
#include "util/Dateisuche.h"
#include "util/Fehler.h"
#include "util/StringLib.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;

constexpr std::size_t kBlock = 256 * 1024;
constexpr std::size_t kStrom = static_cast<std::size_t>(-1);
// Reasons a file could not be read that have no errno.
constexpr int kKeineDatei = -1;
constexpr int kVeraendert = -2;
// deflate() takes at most 4 GB in one call.
constexpr std::uint64_t kGroessteSpeicherGrenze = 1u << 30;
// zlib's default; level 9 made the PDFs of a settlement slightly larger.
constexpr int kSpeicherStufe = 8;

std::string quote(const fs::path& p) {
  return "\"" + p.string() + "\"";
}

std::string lesefehlerText(int nummer) {
  if (nummer == kKeineDatei) return "keine gewöhnliche Datei";
  if (nummer == kVeraendert) return "sie wurde während des Archivierens verändert";
  return systemFehlerText(nummer);
}

std::string zipFehlerText(zip_error_t* fehler) {
  static const struct {
    int code;
    const char* text;
  } kTexte[] = {
      {ZIP_ER_WRITE, "Schreibfehler"},
      {ZIP_ER_READ, "Lesefehler"},
      {ZIP_ER_SEEK, "Positionierfehler"},
      {ZIP_ER_TELL, "Positionierfehler"},
      {ZIP_ER_OPEN, "Die Datei kann nicht geöffnet werden"},
      {ZIP_ER_TMPOPEN, "Die temporäre Datei kann nicht angelegt werden"},
      {ZIP_ER_RENAME, "Die temporäre Datei kann nicht umbenannt werden"},
      {ZIP_ER_CLOSE, "Die Datei kann nicht geschlossen werden"},
      {ZIP_ER_REMOVE, "Die Datei kann nicht gelöscht werden"},
      {ZIP_ER_MEMORY, "Nicht genügend Arbeitsspeicher"},
      {ZIP_ER_NOZIP, "Die vorhandene Datei ist kein ZIP-Archiv"},
      {ZIP_ER_INCONS, "Das vorhandene Archiv ist beschädigt"},
      {ZIP_ER_CRC, "Das vorhandene Archiv ist beschädigt"},
      {ZIP_ER_EOF, "Das vorhandene Archiv ist beschädigt"},
      {ZIP_ER_COMPRESSED_DATA, "Das vorhandene Archiv ist beschädigt"},
      {ZIP_ER_ZLIB, "Fehler bei der Kompression"},
  };
  const int code = zip_error_code_zip(fehler);
  auto it = std::find_if(std::begin(kTexte), std::end(kTexte),
                         [&](const auto& t) { return t.code == code; });
  if (it == std::end(kTexte)) return std::string("ZIP-Fehler: ") + zip_error_strerror(fehler);
  std::string text = it->text;
  if (zip_error_system_type(fehler) == ZIP_ET_SYS && zip_error_code_system(fehler) != 0)
    text += ": " + systemFehlerText(zip_error_code_system(fehler));
  return text;
}

std::string zipFehlerText(int code) {
  zip_error_t fehler;
  zip_error_init_with_code(&fehler, code);
  std::string text = zipFehlerText(&fehler);
  zip_error_fini(&fehler);
  return text;
}

// One file or folder of the tree, in the order it goes into the archive.
struct Eintrag {
  fs::path pfad;
  std::string name;  // "/"-separated, relative to the base; folders end in "/"
  bool ordner = false;
  std::uint64_t groesse = 0;
  time_t mtime = 0;
  mode_t modus = 0;
};

[[noreturn]] void unlesbar(const fs::path& pfad, int nummer) {
  throw Fehler("Die Datei " + quote(pfad) + " kann nicht gelesen werden (" +
               lesefehlerText(nummer) + ").");
}

void sammeln(const fs::path& ordner, const std::string& praefix, std::vector<Eintrag>& aus) {
  std::error_code ec;
  const auto namen = ordnerNamen(ordner, Eintraege::alle, ec);
  if (ec) ordnerNichtLesbar(ordner, ec.value());

  for (const auto& name : namen) {
    fs::path pfad = ordner / name;
    struct stat lst {};
    struct stat st {};
    if (::lstat(pfad.c_str(), &lst) != 0) {
      if (errno == ENOENT) continue;  // gone since the listing
      unlesbar(pfad, errno);
    }
    if (::stat(pfad.c_str(), &st) != 0) {
      if (errno == ENOENT) continue;  // a link pointing nowhere holds nothing to keep
      unlesbar(pfad, errno);
    }
    if (S_ISDIR(st.st_mode)) {
      // Links to folders are not followed: they could lead in a circle.
      if (S_ISLNK(lst.st_mode)) continue;
      aus.push_back({pfad, praefix + name + "/", true, 0, st.st_mtime, st.st_mode});
      sammeln(pfad, praefix + name + "/", aus);
    } else if (S_ISREG(st.st_mode)) {
      if (wildcardMatch("*.zip", name)) continue;
      aus.push_back({pfad, praefix + name, false, static_cast<std::uint64_t>(st.st_size),
                     st.st_mtime, st.st_mode});
    }
    // FIFOs, sockets and devices hold no file content; reading a FIFO would block.
  }
}

class Datei {
 public:
  // O_NONBLOCK: should a FIFO have taken the file's place, opening must not hang.
  explicit Datei(const fs::path& pfad)
      : fd_(::open(pfad.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
    if (fd_ < 0) {
      fehler_ = errno;
      return;
    }
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
      fehler_ = errno;
    else if (!S_ISREG(st.st_mode))
      fehler_ = kKeineDatei;
  }
  ~Datei() { schliessen(); }
  Datei(const Datei&) = delete;
  Datei& operator=(const Datei&) = delete;

  int fehler() const { return fehler_; }
  // Bytes read, 0 at the end, -1 on error (then fehler() tells why).
  ssize_t lesen(void* ziel, std::size_t n) {
    for (;;) {
      ssize_t r = ::read(fd_, ziel, n);
      if (r >= 0) return r;
      if (errno == EINTR) continue;
      fehler_ = errno;
      return -1;
    }
  }
  void schliessen() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
  int fehler_ = 0;
};

// Reads a whole file; 0 or the reason it failed.
int ganzLesen(const fs::path& pfad, std::uint64_t erwartet, Bytes& aus) {
  Datei datei(pfad);
  if (datei.fehler()) return datei.fehler();
  // One byte more than expected, so a file that grew is noticed by the read
  // that fills it rather than by a reallocation.
  aus.resize(static_cast<std::size_t>(erwartet) + 1);
  std::size_t gelesen = 0;
  for (;;) {
    if (gelesen == aus.size()) aus.resize(aus.size() + kBlock);
    ssize_t r = datei.lesen(aus.data() + gelesen, aus.size() - gelesen);
    if (r < 0) return datei.fehler();
    if (r == 0) break;
    gelesen += static_cast<std::size_t>(r);
  }
  aus.resize(gelesen);
  return 0;
}

class Deflater {
 public:
  Deflater(int stufe, int speicherStufe) {
    std::memset(&z_, 0, sizeof z_);
    if (deflateInit2(&z_, stufe, Z_DEFLATED, -MAX_WBITS, speicherStufe, Z_DEFAULT_STRATEGY) != Z_OK)
      throw std::bad_alloc();
  }
  ~Deflater() { deflateEnd(&z_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Raw Deflate of `n` bytes into `aus`; false (and `aus` undefined) when the
  // result would not be smaller than the input, found out without ever
  // holding more output than input.
  bool verdichten(const unsigned char* roh, std::size_t n, Bytes& aus) {
    if (n == 0) return false;
    deflateReset(&z_);
    aus.resize(n - 1);
    z_.next_in = const_cast<Bytef*>(roh);
    z_.avail_in = static_cast<uInt>(n);
    z_.next_out = aus.data();
    z_.avail_out = static_cast<uInt>(aus.size());
    if (deflate(&z_, Z_FINISH) != Z_STREAM_END) return false;
    aus.resize(z_.total_out);
    return true;
  }

  // Streaming: deflates the next piece of a file (the last one with `ende`)
  // and hands what comes out to `senke`; false when the sink failed.
  template <typename Senke>
  bool weiter(const unsigned char* roh, std::size_t n, bool ende, Bytes& puffer, Senke&& senke) {
    z_.next_in = const_cast<Bytef*>(roh);
    z_.avail_in = static_cast<uInt>(n);
    int r;
    do {
      z_.next_out = puffer.data();
      z_.avail_out = static_cast<uInt>(puffer.size());
      r = deflate(&z_, ende ? Z_FINISH : Z_NO_FLUSH);
      const std::size_t fertig = puffer.size() - z_.avail_out;
      if (fertig > 0 && !senke(puffer.data(), fertig)) return false;
    } while (z_.avail_out == 0 || (ende && r != Z_STREAM_END));
    return true;
  }
  std::uint64_t ausgegeben() const { return z_.total_out; }

 private:
  z_stream z_;
};

// One file read and deflated in memory, ready to go into the archive.
struct Paket {
  Bytes daten;  // Deflate data, or the file itself when stored
  bool verdichtet = false;
  std::uint64_t groesse = 0;
  uLong crc = 0;
  int fehler = 0;
};

Paket packen(const Eintrag& e, Deflater& deflater, Bytes& roh) {
  Paket p;
  p.fehler = ganzLesen(e.pfad, e.groesse, roh);
  if (p.fehler) return p;
  p.groesse = roh.size();
  p.crc = crc32_z(crc32(0, Z_NULL, 0), roh.data(), roh.size());
  p.verdichtet = deflater.verdichten(roh.data(), roh.size(), p.daten);
  if (!p.verdichtet) p.daten.swap(roh);
  return p;
}

// Packs the in-memory files in the order libzip will ask for them, on helper
// threads that run ahead of the writer within a budget of bytes.
class Vorrat {
 public:
  Vorrat(std::vector<const Eintrag*> reihe, int stufe, int helfer, std::uint64_t budget)
      : reihe_(std::move(reihe)), plaetze_(reihe_.size()), stufe_(stufe), budget_(budget) {
    for (int i = 0; i < helfer && !reihe_.empty(); ++i) {
      std::lock_guard lock(m_);
      ++aktiveHelfer_;
      try {
        threads_.emplace_back([this] { arbeiten(); });
      } catch (const std::system_error&) {
        // Fewer helpers, or none: the writing thread packs what is left.
        --aktiveHelfer_;
        break;
      }
    }
  }
  ~Vorrat() { beenden(); }
  Vorrat(const Vorrat&) = delete;
  Vorrat& operator=(const Vorrat&) = delete;

  // Entry `nr`, waiting for it when a helper has it in hand; every earlier
  // entry is released, libzip being done with it.
  const Paket& holen(std::size_t nr) {
    std::unique_lock lock(m_);
    while (freiBis_ < nr) freigebenGesperrt(freiBis_++);
    auto& platz = plaetze_[nr];
    cv_.wait(lock, [&] { return platz.fertig || (aktiveHelfer_ == 0 && !platz.beansprucht); });
    if (!platz.fertig) {
      platz.beansprucht = true;
      lock.unlock();
      if (!eigener_) eigener_ = std::make_unique<Deflater>(stufe_, kSpeicherStufe);
      Paket paket = packenSicher(*reihe_[nr], *eigener_, eigenerPuffer_);
      lock.lock();
      platz.paket = std::move(paket);
      platz.fertig = true;
    }
    return platz.paket;
  }

  void freigeben(std::size_t nr) {
    std::lock_guard lock(m_);
    freigebenGesperrt(nr);
    cv_.notify_all();
  }

  void beenden() {
    {
      std::lock_guard lock(m_);
      stop_ = true;
    }
    cv_.notify_all();
    for (auto& t : threads_) t.join();
    threads_.clear();
  }

 private:
  struct Platz {
    Paket paket;
    bool beansprucht = false;
    bool fertig = false;
    bool frei = false;
  };

  static Paket packenSicher(const Eintrag& e, Deflater& d, Bytes& roh) {
    try {
      return packen(e, d, roh);
    } catch (...) {
      roh = Bytes();
      Paket p;
      p.fehler = ENOMEM;
      return p;
    }
  }

  void freigebenGesperrt(std::size_t nr) {
    auto& platz = plaetze_[nr];
    if (platz.frei) return;
    platz.frei = true;
    Bytes().swap(platz.paket.daten);
    if (platz.beansprucht) imFlug_ -= reihe_[nr]->groesse;
  }

  void arbeiten() {
    try {
      Deflater deflater(stufe_, kSpeicherStufe);
      Bytes roh;
      std::unique_lock lock(m_);
      for (;;) {
        cv_.wait(lock, [&] {
          return stop_ || naechster_ >= reihe_.size() || imFlug_ == 0 ||
                 imFlug_ + reihe_[naechster_]->groesse <= budget_;
        });
        if (stop_ || naechster_ >= reihe_.size()) break;
        std::size_t nr = naechster_++;
        if (plaetze_[nr].frei || plaetze_[nr].beansprucht) continue;
        plaetze_[nr].beansprucht = true;
        imFlug_ += reihe_[nr]->groesse;
        lock.unlock();
        Paket paket = packenSicher(*reihe_[nr], deflater, roh);
        lock.lock();
        if (!plaetze_[nr].frei) {
          plaetze_[nr].paket = std::move(paket);
          plaetze_[nr].fertig = true;
        }
        cv_.notify_all();
      }
    } catch (...) {
      // No deflater for this helper; the others, or the writing thread, go on.
    }
    std::lock_guard lock(m_);
    --aktiveHelfer_;
    cv_.notify_all();
  }

  std::vector<const Eintrag*> reihe_;
  std::vector<Platz> plaetze_;
  int stufe_;
  std::uint64_t budget_;
  std::mutex m_;
  std::condition_variable cv_;
  std::size_t naechster_ = 0;
  std::size_t freiBis_ = 0;
  std::uint64_t imFlug_ = 0;
  int aktiveHelfer_ = 0;
  bool stop_ = false;
  std::vector<std::thread> threads_;
  std::unique_ptr<Deflater> eigener_;
  Bytes eigenerPuffer_;
};

// The first file whose reading failed, for the error text.
struct Fehlerstelle {
  fs::path datei;
  int nummer = 0;
  bool gesetzt = false;
  void merken(const fs::path& d, int n) {
    if (gesetzt) return;
    datei = d;
    nummer = n;
    gesetzt = true;
  }
};

struct Kontext {
  int stufe = 6;
  fs::path spoolOrdner;  // where big files are deflated to before they go in
  std::unique_ptr<Vorrat> vorrat;
  bool schreibend = false;
  Fehlerstelle stelle;
};

bool allesSchreiben(int fd, const unsigned char* daten, std::size_t n) {
  while (n > 0) {
    ssize_t w = ::write(fd, daten, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) return false;
    daten += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

// A nameless file in `ordner` that vanishes when closed.
int spoolDatei(const fs::path& ordner) {
  int fd = ::open(ordner.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
  if (fd >= 0 || (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL)) return fd;
  std::string name = (ordner / ".belvanto-XXXXXX").string();
  fd = ::mkostemp(name.data(), O_CLOEXEC);
  if (fd >= 0) ::unlink(name.c_str());
  return fd;
}

// The libzip source of one file. libzip asks for its size, CRC and method
// before it reads the data; the data is prepared then, one file at a time:
// taken from the Vorrat for files held in memory, deflated into a spool file
// for big ones.
struct Quelle {
  Quelle(Kontext& k, const Eintrag& e, std::size_t nr) : k(k), e(e), nr(nr) {
    zip_error_init(&fehler);
  }
  ~Quelle() {
    schliessenDateien();
    zip_error_fini(&fehler);
  }
  Quelle(const Quelle&) = delete;
  Quelle& operator=(const Quelle&) = delete;

  Kontext& k;
  const Eintrag& e;
  std::size_t nr;  // position in the Vorrat, or kStrom
  zip_error_t fehler;

  bool bereit = false;
  bool gelesen = false;
  bool verdichtet = false;
  uLong crc = 0;
  std::uint64_t groesse = 0;
  std::uint64_t datenGroesse = 0;

  // held in memory
  const Paket* paket = nullptr;
  std::uint64_t pos = 0;
  // streamed: the deflated data in a spool file, or the file itself re-read
  // and checked against the first pass
  int spool = -1;
  std::unique_ptr<Datei> roh;
  uLong pruefCrc = 0;
  std::uint64_t pruefGroesse = 0;

  zip_int64_t scheitern(int nummer) {
    k.stelle.merken(e.pfad, nummer);
    zip_error_set(&fehler, ZIP_ER_READ, nummer > 0 ? nummer : 0);
    return -1;
  }

  bool vorbereiten() {
    bereit = nr == kStrom ? spoolen() : laden();
    return bereit;
  }

  bool laden() {
    paket = &k.vorrat->holen(nr);
    if (paket->fehler) {
      int nummer = paket->fehler;
      paket = nullptr;
      scheitern(nummer);
      return false;
    }
    verdichtet = paket->verdichtet;
    crc = paket->crc;
    groesse = paket->groesse;
    datenGroesse = paket->daten.size();
    return true;
  }

  bool spoolen() {
    Datei datei(e.pfad);
    if (datei.fehler()) return scheitern(datei.fehler()), false;
    spool = spoolDatei(k.spoolOrdner);
    if (spool < 0) return zip_error_set(&fehler, ZIP_ER_TMPOPEN, errno), false;
    Deflater deflater(k.stufe, kSpeicherStufe);
    Bytes ein(kBlock), aus(kBlock);
    auto senke = [&](const unsigned char* d, std::size_t n) { return allesSchreiben(spool, d, n); };
    crc = crc32(0, Z_NULL, 0);
    groesse = 0;
    // Once the output has reached the file's size Deflate cannot win any more:
    // the rest is only read for its CRC, and the spool file grows no further.
    bool aufgegeben = false;
    for (;;) {
      ssize_t r = datei.lesen(ein.data(), ein.size());
      if (r < 0) return scheitern(datei.fehler()), false;
      const auto n = static_cast<std::size_t>(r);
      crc = crc32_z(crc, ein.data(), n);
      groesse += n;
      if (!aufgegeben && !deflater.weiter(ein.data(), n, n == 0, aus, senke))
        return zip_error_set(&fehler, ZIP_ER_WRITE, errno), false;
      aufgegeben = aufgegeben || deflater.ausgegeben() >= e.groesse;
      if (n == 0) break;
    }
    verdichtet = !aufgegeben && deflater.ausgegeben() < groesse;
    datenGroesse = verdichtet ? deflater.ausgegeben() : groesse;
    if (!verdichtet) schliessenDateien();
    return true;
  }

  zip_int64_t stat(void* data, zip_uint64_t len) {
    auto* st = ZIP_SOURCE_GET_ARGS(zip_stat_t, data, len, &fehler);
    if (!st) return -1;
    st->mtime = e.mtime;
    st->valid |= ZIP_STAT_MTIME;
    if (!k.schreibend) {
      st->size = e.groesse;
      st->valid |= ZIP_STAT_SIZE;
      return sizeof(*st);
    }
    if (!bereit && !vorbereiten()) return -1;
    st->size = groesse;
    st->crc = crc;
    st->comp_size = datenGroesse;
    // Until libzip has copied the data, it is announced as Deflate data so that
    // libzip takes it as it is; afterwards the true method goes into the entry.
    st->comp_method = gelesen && !verdichtet ? ZIP_CM_STORE : ZIP_CM_DEFLATE;
    st->valid |= ZIP_STAT_SIZE | ZIP_STAT_CRC | ZIP_STAT_COMP_SIZE | ZIP_STAT_COMP_METHOD;
    return sizeof(*st);
  }

  zip_int64_t oeffnen() {
    if (gelesen) {
      zip_error_set(&fehler, ZIP_ER_INTERNAL, 0);
      return -1;
    }
    if (!bereit && !vorbereiten()) return -1;
    pos = 0;
    if (nr != kStrom) return 0;
    if (verdichtet) {
      if (::lseek(spool, 0, SEEK_SET) == 0) return 0;
      zip_error_set(&fehler, ZIP_ER_SEEK, errno);
      return -1;
    }
    roh = std::make_unique<Datei>(e.pfad);
    if (roh->fehler()) return scheitern(roh->fehler());
    pruefCrc = crc32(0, Z_NULL, 0);
    pruefGroesse = 0;
    return 0;
  }

  zip_int64_t lesen(void* ziel, zip_uint64_t n) {
    const auto anzahl = static_cast<std::size_t>(std::min<zip_uint64_t>(n, kBlock));
    if (nr == kStrom && verdichtet) {
      for (;;) {
        ssize_t r = ::read(spool, ziel, anzahl);
        if (r >= 0) return r;
        if (errno != EINTR) break;
      }
      zip_error_set(&fehler, ZIP_ER_READ, errno);
      return -1;
    }
    if (nr == kStrom) return rohLesen(static_cast<unsigned char*>(ziel), anzahl);
    const auto rest = static_cast<std::size_t>(paket->daten.size() - pos);
    const std::size_t stueck = std::min<std::size_t>(static_cast<std::size_t>(n), rest);
    std::memcpy(ziel, paket->daten.data() + pos, stueck);
    pos += stueck;
    return static_cast<zip_int64_t>(stueck);
  }

  // The stored big file, read a second time: it must still be what the
  // first pass saw, or the entry's CRC would be wrong.
  zip_int64_t rohLesen(unsigned char* ziel, std::size_t n) {
    ssize_t r = roh->lesen(ziel, n);
    if (r < 0) return scheitern(roh->fehler());
    pruefCrc = crc32_z(pruefCrc, ziel, static_cast<std::size_t>(r));
    pruefGroesse += static_cast<std::uint64_t>(r);
    if (pruefGroesse > groesse || (r == 0 && (pruefGroesse != groesse || pruefCrc != crc)))
      return scheitern(kVeraendert);
    return r;
  }

  void schliessenDateien() {
    if (spool >= 0) ::close(spool);
    spool = -1;
    roh.reset();
  }

  zip_int64_t schliessen() {
    gelesen = true;
    schliessenDateien();
    if (nr != kStrom) {
      paket = nullptr;
      k.vorrat->freigeben(nr);
    }
    return 0;
  }

  zip_int64_t attribute(void* data, zip_uint64_t len) {
    auto* a = ZIP_SOURCE_GET_ARGS(zip_file_attributes_t, data, len, &fehler);
    if (!a) return -1;
    a->valid |= ZIP_FILE_ATTRIBUTES_HOST_SYSTEM | ZIP_FILE_ATTRIBUTES_EXTERNAL_FILE_ATTRIBUTES;
    a->host_system = ZIP_OPSYS_UNIX;
    a->external_file_attributes = static_cast<zip_uint32_t>(S_IFREG | (e.modus & 07777)) << 16;
    return 0;
  }
};

zip_int64_t quelleRufen(void* ud, void* data, zip_uint64_t len, zip_source_cmd_t cmd) {
  auto* q = static_cast<Quelle*>(ud);
  try {
    switch (cmd) {
      case ZIP_SOURCE_SUPPORTS:
        return ZIP_SOURCE_SUPPORTS_READABLE | ZIP_SOURCE_MAKE_COMMAND_BITMASK(ZIP_SOURCE_SUPPORTS) |
               ZIP_SOURCE_MAKE_COMMAND_BITMASK(ZIP_SOURCE_GET_FILE_ATTRIBUTES);
      case ZIP_SOURCE_STAT:
        return q->stat(data, len);
      case ZIP_SOURCE_OPEN:
        return q->oeffnen();
      case ZIP_SOURCE_READ:
        return q->lesen(data, len);
      case ZIP_SOURCE_CLOSE:
        return q->schliessen();
      case ZIP_SOURCE_GET_FILE_ATTRIBUTES:
        return q->attribute(data, len);
      case ZIP_SOURCE_ERROR:
        return zip_error_to_data(&q->fehler, data, len);
      case ZIP_SOURCE_FREE:
        delete q;
        return 0;
      default:
        zip_error_set(&q->fehler, ZIP_ER_OPNOTSUPP, 0);
        return -1;
    }
  } catch (const std::bad_alloc&) {
    zip_error_set(&q->fehler, ZIP_ER_MEMORY, 0);
  } catch (...) {
    zip_error_set(&q->fehler, ZIP_ER_INTERNAL, 0);
  }
  return -1;
}

// Names libzip gives its temporary file: the archive's name, ".", six characters.
std::set<std::string> tempKandidaten(const fs::path& ordner, const std::string& archivName) {
  std::set<std::string> namen;
  std::error_code ec;
  for (const auto& name : ordnerNamen(ordner, Eintraege::alle, ec)) {
    if (name.size() == archivName.size() + 7 &&
        name.compare(0, archivName.size() + 1, archivName + ".") == 0)
      namen.insert(name);
  }
  return namen;
}

void tempAufraeumen(const fs::path& ordner, const std::string& archivName,
                    const std::set<std::string>& vorher) {
  for (const auto& name : tempKandidaten(ordner, archivName))
    if (!vorher.count(name)) ::unlink((ordner / name).c_str());
}

void syncPfad(const fs::path& pfad, int flags, const fs::path& archiv) {
  int fd = ::open(pfad.c_str(), O_RDONLY | O_CLOEXEC | flags);
  if (fd < 0) return;
  int r = ::fsync(fd);
  int nummer = errno;
  ::close(fd);
  // Some file systems cannot sync a folder; the archive itself is what counts.
  if (r != 0 && !(flags & O_DIRECTORY && (nummer == EINVAL || nummer == EROFS)))
    throw Fehler("Das Archiv " + quote(archiv) + " kann nicht gesichert werden (" +
                 systemFehlerText(nummer) + ").");
}

void sichern(const fs::path& archiv, const fs::path& ordner) {
  syncPfad(archiv, 0, archiv);
  syncPfad(ordner, O_DIRECTORY, archiv);
}

// libzip writes no archive without entries; an empty one is the end record alone.
void leeresArchivSchreiben(const fs::path& archiv) {
  static const char kEnde[22] = {'P', 'K', 5, 6};
  dateiErsetzen(archiv, std::string_view(kEnde, sizeof kEnde));
}

// One run of the writer: one archive opened, added to and closed.
class Archivierer {
 public:
  Archivierer(const fs::path& archiv, const ZipEinstellungen& einstellungen)
      : archiv_(archiv),
        ordner_(archiv.has_parent_path() ? archiv.parent_path() : fs::path(".")),
        kannNicht_("Das Archiv " + quote(archiv) + " kann nicht geschrieben werden"),
        e_(einstellungen),
        stufe_(std::clamp(einstellungen.stufe, 1, 9)),
        grenze_(std::min(einstellungen.speicherGrenze, kGroessteSpeicherGrenze)) {}
  ~Archivierer() {
    if (za_) zip_discard(za_);
  }
  Archivierer(const Archivierer&) = delete;
  Archivierer& operator=(const Archivierer&) = delete;

  ZipBericht archivieren(const fs::path& basis) {
    zielPruefen();
    struct stat st {};
    try {
      if (::stat(basis.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) sammeln(basis, "", eintraege_);
    } catch (const Fehler& f) {
      throw Fehler(kannNicht_ + ": " + f.what());
    }
    oeffnen();
    for (const auto& e : eintraege_) {
      alteErsetzen(e.name);
      if (e.ordner)
        ordnerHinzufuegen(e);
      else
        dateiHinzufuegen(e);
    }
    if (bericht_.dateien + bericht_.ordner == 0)
      nichtsHinzuzufuegen();
    else
      schreiben();
    if (e_.sichern) sichern(archiv_, ordner_);
    return bericht_;
  }

 private:
  [[noreturn]] void zipFehler() {
    throw Fehler(kannNicht_ + " (" + zipFehlerText(zip_get_error(za_)) + ").");
  }

  void zielPruefen() {
    struct stat st {};
    if (::stat(ordner_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      throw Fehler(kannNicht_ + ": Das Verzeichnis " + quote(ordner_) + " existiert nicht.");
    vorhanden_ = ::stat(archiv_.c_str(), &st) == 0;
    if (vorhanden_ && !S_ISREG(st.st_mode))
      throw Fehler(kannNicht_ + ": Unter diesem Namen steht keine Datei.");
  }

  void oeffnen() {
    int code = 0;
    za_ = zip_open(archiv_.c_str(), ZIP_CREATE, &code);
    if (!za_)
      throw Fehler("Das Archiv " + quote(archiv_) + " kann nicht geöffnet werden (" +
                   zipFehlerText(code) + ").");
    const zip_int64_t anzahl = zip_get_num_entries(za_, 0);
    for (zip_int64_t i = 0; i < anzahl; ++i) {
      const char* name = zip_get_name(za_, static_cast<zip_uint64_t>(i), ZIP_FL_ENC_GUESS);
      if (name) alteNamen_.emplace(foldCase(name), static_cast<zip_uint64_t>(i));
    }
  }

  // Entries of the existing archive under the same name in any letter case:
  // on the Windows side they would be the same file.
  void alteErsetzen(const std::string& name) {
    auto [von, bis] = alteNamen_.equal_range(foldCase(name));
    for (auto it = von; it != bis; ++it) {
      if (zip_delete(za_, it->second) != 0) zipFehler();
      ++bericht_.ersetzt;
    }
    alteNamen_.erase(von, bis);
  }

  void ordnerHinzufuegen(const Eintrag& e) {
    zip_int64_t idx = zip_dir_add(za_, e.name.c_str(), ZIP_FL_ENC_GUESS);
    if (idx < 0 || zip_file_set_mtime(za_, static_cast<zip_uint64_t>(idx), e.mtime, 0) != 0)
      zipFehler();
    ++bericht_.ordner;
  }

  void dateiHinzufuegen(const Eintrag& e) {
    const bool gestreamt = e.groesse > grenze_;
    auto* quelle = new Quelle(kontext_, e, gestreamt ? kStrom : imSpeicher_.size());
    zip_source_t* src = zip_source_function(za_, quelleRufen, quelle);
    if (!src) {
      delete quelle;
      zipFehler();
    }
    if (zip_file_add(za_, e.name.c_str(), src, ZIP_FL_ENC_GUESS | ZIP_FL_OVERWRITE) < 0) {
      zip_source_free(src);
      zipFehler();
    }
    if (!gestreamt) imSpeicher_.push_back(&e);
    ++bericht_.dateien;
  }

  void nichtsHinzuzufuegen() {
    // An existing archive stays as it is.
    zip_discard(za_);
    za_ = nullptr;
    if (!vorhanden_) leeresArchivSchreiben(archiv_);
  }

  void schreiben() {
    int helfer = e_.helfer;
    if (helfer < 0) helfer = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    kontext_.vorrat = std::make_unique<Vorrat>(std::move(imSpeicher_), stufe_, helfer,
                                               std::max<std::uint64_t>(e_.vorratBudget, 1));
    const std::string name = archiv_.filename().string();
    const auto tempVorher = tempKandidaten(ordner_, name);

    kontext_.stufe = stufe_;
    kontext_.spoolOrdner = ordner_;
    kontext_.schreibend = true;
    const int ergebnis = zip_close(za_);
    kontext_.vorrat->beenden();
    if (ergebnis == 0) {
      za_ = nullptr;  // zip_close has freed it
      return;
    }
    std::string grund = zipFehlerText(zip_get_error(za_));
    zip_discard(za_);
    za_ = nullptr;
    tempAufraeumen(ordner_, name, tempVorher);
    const auto& stelle = kontext_.stelle;
    if (stelle.gesetzt)
      throw Fehler(kannNicht_ + ": Die Datei " + quote(stelle.datei) +
                   " kann nicht gelesen werden (" + lesefehlerText(stelle.nummer) + ").");
    throw Fehler(kannNicht_ + " (" + grund + ").");
  }

  const fs::path archiv_;
  const fs::path ordner_;
  const std::string kannNicht_;
  const ZipEinstellungen e_;
  const int stufe_;
  const std::uint64_t grenze_;
  bool vorhanden_ = false;
  // Declared before the archive: its sources refer to both.
  std::vector<Eintrag> eintraege_;
  Kontext kontext_;
  zip_t* za_ = nullptr;
  std::multimap<std::string, zip_uint64_t> alteNamen_;
  std::vector<const Eintrag*> imSpeicher_;
  ZipBericht bericht_;
};

}  // namespace

ZipBericht ordnerArchivieren(const fs::path& basis, const fs::path& archiv,
                             const ZipEinstellungen& einstellungen) {
  return Archivierer(archiv, einstellungen).archivieren(basis);
}

}  // namespace belvanto
