// The ZIP writer: lists the tree, copies the entries of an existing archive
// that stay, and writes the new ones in order into a temporary file beside the
// archive, which replaces the archive only once it is complete.
//
// The container is written here rather than by libzip. libzip 1.7 documents
// taking finished Deflate data from a source whose stat names method, size
// and CRC, but an entry to be stored must be marked so before zip_close,
// which then pulls every entry's data; whether Deflate makes a file smaller
// is known only once it is deflated, so libzip would have to be handed every
// file's data at once. libzip still reads the existing archive and the
// template, through documented calls (zip_fopen_index with ZIP_FL_COMPRESSED
// for an entry's data as it is).
#include "files/ZipArchiv.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <memory>
#include <optional>
#include <random>
#include <set>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "files/ZipPacken.h"
#include "files/ZipSchreiber.h"
#include "util/Dateijobs.h"
#include "util/Dateisuche.h"
#include "util/Fehler.h"
#include "util/StringLib.h"
#include "util/Systemfehler.h"

namespace belvanto {
namespace {

namespace fs = std::filesystem;

constexpr std::size_t kBlock = kDateiPuffer;
// A big file that grew past what its local header can say while it was read.
constexpr int kVeraendert = -2;
// The largest file held whole in memory.
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
      {ZIP_ER_READ, "Lesefehler"},
      {ZIP_ER_SEEK, "Positionierfehler"},
      {ZIP_ER_OPEN, "Die Datei kann nicht geöffnet werden"},
      {ZIP_ER_MEMORY, "Nicht genügend Arbeitsspeicher"},
      {ZIP_ER_NOZIP, "Die vorhandene Datei ist kein ZIP-Archiv"},
      {ZIP_ER_INCONS, "Das vorhandene Archiv ist beschädigt"},
      {ZIP_ER_CRC, "Das vorhandene Archiv ist beschädigt"},
      {ZIP_ER_EOF, "Das vorhandene Archiv ist beschädigt"},
      {ZIP_ER_COMPRESSED_DATA, "Das vorhandene Archiv ist beschädigt"},
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
  std::string name;  // "/"-separated, relative to the base; folders end in "/"
  std::string eintrag;  // the name in the archive, one Windows can take
  bool ordner = false;
  std::uint64_t groesse = 0;
  time_t mtime = 0;
  mode_t modus = 0;
};

ZipKopf kopfVon(const Eintrag& e) {
  ZipKopf k;
  k.name = e.eintrag;
  k.mtime = e.mtime;
  const std::uint32_t art = e.ordner ? S_IFDIR : S_IFREG;
  // The Unix mode above, the DOS folder bit below.
  k.attribute = (art | (e.modus & 07777)) << 16 | (e.ordner ? 0x10 : 0);
  return k;
}

[[noreturn]] void unlesbar(const fs::path& pfad, int nummer) {
  throw Fehler("Die Datei " + quote(pfad) + " kann nicht gelesen werden (" +
               lesefehlerText(nummer) + ").");
}

void sammeln(const fs::path& ordner, const std::string& praefix, std::vector<Eintrag>& aus,
             const char* ohne = nullptr) {
  std::error_code ec;
  const auto namen = ordnerNamen(ordner, Eintraege::alle, ec);
  if (ec) ordnerNichtLesbar(ordner, ec.value());

  for (const auto& name : namen) {
    if (ohne && name.starts_with(ohne)) continue;
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
      aus.push_back({praefix + name + "/", "", true, 0, st.st_mtime, st.st_mode});
      sammeln(pfad, praefix + name + "/", aus);
    } else if (S_ISREG(st.st_mode)) {
      if (wildcardMatch("*.zip", name)) continue;
      aus.push_back({praefix + name, "", false, static_cast<std::uint64_t>(st.st_size), st.st_mtime,
                     st.st_mode});
    }
    // FIFOs, sockets and devices hold no file content; reading a FIFO would block.
  }
}

// zlib's streaming Deflate, for files too big to hold whole.
class Deflater {
 public:
  explicit Deflater(int stufe) {
    if (deflateInit2(&z_, stufe, Z_DEFLATED, -MAX_WBITS, kSpeicherStufe, Z_DEFAULT_STRATEGY) !=
        Z_OK)
      throw std::bad_alloc();
  }
  ~Deflater() { deflateEnd(&z_); }
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  // Deflates the next piece (the last one with `ende`) into `schreiber`.
  void weiter(const unsigned char* roh, std::size_t n, bool ende, ZipSchreiber& schreiber) {
    z_.next_in = const_cast<Bytef*>(roh);
    z_.avail_in = static_cast<uInt>(n);
    int r;
    do {
      z_.next_out = puffer_.data();
      z_.avail_out = static_cast<uInt>(puffer_.size());
      r = deflate(&z_, ende ? Z_FINISH : Z_NO_FLUSH);
      schreiber.daten(puffer_.data(), puffer_.size() - z_.avail_out);
    } while (z_.avail_out == 0 || (ende && r != Z_STREAM_END));
  }

 private:
  z_stream z_{};
  Bytes puffer_ = Bytes(kBlock);
};

// The new archive, beside the old one until it is complete.
class TempDatei {
 public:
  TempDatei(const fs::path& archiv, const struct stat* altesArchiv) : datei_(archiv, altesArchiv) {
    // A new archive holds a member's business data: the user's alone.
    if (datei_.fehler() != 0)
      throw ZipSchreibfehler("Die temporäre Datei kann nicht angelegt werden: " +
                             systemFehlerText(datei_.fehler()));
  }
  int fd() const { return datei_.fd(); }

  // Closes the file and renames it over the archive.
  void ersetzen() {
    if (const int nummer = datei_.ersetzen())
      throw ZipSchreibfehler("Die temporäre Datei " + quote(datei_.pfad()) +
                             " kann nicht geschlossen oder umbenannt werden: " +
                             systemFehlerText(nummer));
  }

 private:
  ErsatzDatei datei_;
};

// libzip's reader of an archive, closed on every path.
struct ZipLeser {
  zip_t* za = nullptr;
  ~ZipLeser() {
    if (za) zip_discard(za);
  }
};

// An empty archive is the end record alone.
void leeresArchivSchreiben(const fs::path& archiv) {
  static const char kEnde[22] = {'P', 'K', 5, 6};
  dateiErsetzen(archiv, std::string_view(kEnde, sizeof kEnde));
}

// One run of the writer: one archive read, added to and written.
class Archivierer {
 public:
  Archivierer(const fs::path& archiv, const ZipEinstellungen& einstellungen)
      : archiv_(archiv),
        ordner_(archiv.has_parent_path() ? archiv.parent_path() : fs::path(".")),
        kannNicht_("Das Archiv " + quote(archiv) + " kann nicht geschrieben werden"),
        e_(einstellungen),
        stufe_(std::clamp(einstellungen.stufe, 1, 9)),
        grenze_(std::min(einstellungen.speicherGrenze, kGroessteSpeicherGrenze)) {}

  const std::string& kannNicht() const { return kannNicht_; }

  ZipBericht archivieren(const fs::path& basis, const fs::path& vorlagePfad,
                         std::shared_ptr<const ArchivNachweis> vorlageNachweis) {
    zielPruefen();
    struct stat st {};
    basis_ = basis;
    try {
      if (::stat(basis.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) sammeln(basis, "", eintraege_, e_.ohneBeginn);
    } catch (const Fehler& f) {
      throw Fehler(kannNicht_ + ": " + f.what());
    }
    windowsNamenGeben();
    if (vorhanden_) vorhandenesOeffnen();
    if (e_.nichtsErsetzen && alt_.za && ersetzteDatei()) throw EintragVorhanden{};
    if (eintraege_.empty()) {
      // An existing archive stays as it is.
      if (!vorhanden_) leeresArchivSchreiben(archiv_);
      return bericht_;
    }
    std::optional<Vorlage> vorlage;
    if (!vorlagePfad.empty()) vorlage.emplace(vorlagePfad, std::move(vorlageNachweis));

    TempDatei temp(archiv_, vorhanden_ ? &alterStand_ : nullptr);
    ZipSchreiber zs(temp.fd());
    if (alt_.za) alteKopieren(zs);
    // An archive made with a template (the document archive) is the end of
    // the line; only one made without (the backup) is worth remembering.
    auto nachweis = vorlage ? nullptr : std::make_shared<ArchivNachweis>();
    neueSchreiben(zs, vorlage ? &*vorlage : nullptr, nachweis.get());
    zs.abschliessen();
    if (e_.sichern && ::fsync(temp.fd()) != 0) nichtGesichert(errno);
    temp.ersetzen();
    if (e_.sichern) ordnerSichernOderMelden();
    if (nachweis && ::stat(archiv_.c_str(), &st) == 0) {
      nachweis->archiv = archiv_;
      nachweis->archivStand = kennungVon(st);
      bericht_.nachweis = std::move(nachweis);
    }
    return bericht_;
  }

 private:
  [[noreturn]] void nichtGesichert(int nummer) {
    throw Fehler("Das Archiv " + quote(archiv_) + " kann nicht gesichert werden (" +
                 systemFehlerText(nummer) + ").");
  }

  void ordnerSichernOderMelden() {
    if (const int nummer = ordnerSichern(ordner_)) nichtGesichert(nummer);
  }

  void zielPruefen() {
    struct stat st {};
    if (::stat(ordner_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode))
      throw Fehler(kannNicht_ + ": Das Verzeichnis " + quote(ordner_) + " existiert nicht.");
    vorhanden_ = ::stat(archiv_.c_str(), &alterStand_) == 0;
    if (vorhanden_ && !S_ISREG(alterStand_.st_mode))
      throw Fehler(kannNicht_ + ": Unter diesem Namen steht keine Datei.");
  }

  void vorhandenesOeffnen() {
    int code = 0;
    alt_.za = zip_open(archiv_.c_str(), ZIP_RDONLY, &code);
    if (!alt_.za)
      throw Fehler("Das Archiv " + quote(archiv_) + " kann nicht geöffnet werden (" +
                   zipFehlerText(code) + ").");
  }

  [[noreturn]] void nichtLesbar(const fs::path& datei, int nummer) {
    throw Fehler(kannNicht_ + ": Die Datei " + quote(datei) + " kann nicht gelesen werden (" +
                 lesefehlerText(nummer) + ").");
  }

  [[noreturn]] void altFehler(zip_error_t* fehler) {
    throw Fehler(kannNicht_ + " (" + zipFehlerText(fehler) + ").");
  }

  // The archives are opened on Windows: each entry gets a name Windows can
  // take, made unique where two become one (letter case ignored). Names that
  // need no change keep theirs.
  void windowsNamenGeben() {
    std::set<std::string> vergeben;
    std::vector<Eintrag*> offen;
    for (auto& e : eintraege_) {
      if (windowsName(e.name) == e.name && vergeben.insert(foldCase(e.name)).second)
        e.eintrag = e.name;
      else
        offen.push_back(&e);
    }
    for (Eintrag* e : offen) {
      std::string basis = windowsName(e->name);
      const std::string schluss = e->ordner ? "/" : "";
      if (e->ordner) basis.pop_back();
      const auto teil = basis.rfind('/');
      const auto punkt = e->ordner ? std::string::npos
                                   : basis.find('.', teil == std::string::npos ? 0 : teil + 1);
      std::string kandidat = basis;
      for (int n = 2; vergeben.count(foldCase(kandidat + schluss)); ++n)
        kandidat = punkt == std::string::npos
                       ? basis + "~" + std::to_string(n)
                       : basis.substr(0, punkt) + "~" + std::to_string(n) + basis.substr(punkt);
      e->eintrag = kandidat + schluss;
      vergeben.insert(foldCase(e->eintrag));
    }
    for (const auto& e : eintraege_) bericht_.eintraege.emplace_back(e.name, e.eintrag);
  }

  // Whether a new file would take the place of a file entry of the existing
  // archive (same name in any letter case).
  bool ersetzteDatei() {
    std::set<std::string> neu;
    for (const auto& e : eintraege_)
      if (!e.ordner) neu.insert(foldCase(e.eintrag));
    const zip_int64_t anzahl = zip_get_num_entries(alt_.za, 0);
    for (zip_int64_t i = 0; i < anzahl; ++i) {
      const char* name = zip_get_name(alt_.za, static_cast<zip_uint64_t>(i), 0);
      if (name && neu.count(foldCase(name))) return true;
    }
    return false;
  }

  // The entries of the existing archive, raw, except those a new entry
  // replaces: same name in any letter case, which on the Windows side would be
  // the same file.
  void alteKopieren(ZipSchreiber& zs) {
    std::set<std::string> neu;
    for (const auto& e : eintraege_) neu.insert(foldCase(e.eintrag));
    Bytes puffer(kBlock);
    const zip_int64_t anzahl = zip_get_num_entries(alt_.za, 0);
    for (zip_uint64_t i = 0; i < static_cast<zip_uint64_t>(anzahl); ++i) {
      zip_stat_t st;
      if (zip_stat_index(alt_.za, i, 0, &st) != 0) altFehler(zip_get_error(alt_.za));
      if (neu.count(foldCase(st.name))) {
        ++bericht_.ersetzt;
        continue;
      }
      if (st.encryption_method != ZIP_EM_NONE)
        throw Fehler(kannNicht_ + " (Das vorhandene Archiv enthält verschlüsselte Einträge).");
      ZipKopf k;
      k.name = st.name;
      k.methode = st.comp_method;
      k.crc = st.crc;
      k.groesse = st.size;
      k.dichteGroesse = st.comp_size;
      k.mtime = st.mtime;
      zip_file_get_external_attributes(alt_.za, i, 0, &k.system, &k.attribute);
      std::unique_ptr<zip_file_t, decltype(&zip_fclose)> f(
          zip_fopen_index(alt_.za, i, ZIP_FL_COMPRESSED), zip_fclose);
      if (!f) altFehler(zip_get_error(alt_.za));
      zs.anfangen(k);
      for (zip_int64_t r; (r = zip_fread(f.get(), puffer.data(), puffer.size())) != 0;) {
        if (r < 0) altFehler(zip_file_get_error(f.get()));
        zs.daten(puffer.data(), static_cast<std::size_t>(r));
      }
      if (zs.datenBisher() != st.comp_size || !zs.fertig(k))
        throw Fehler(kannNicht_ + " (Das vorhandene Archiv ist beschädigt).");
    }
  }

  void neueSchreiben(ZipSchreiber& zs, const Vorlage* vorlage, ArchivNachweis* nachweis) {
    std::vector<ZuPacken> imSpeicher;
    for (const auto& e : eintraege_)
      if (!e.ordner && e.groesse <= grenze_) imSpeicher.push_back({basis_ / e.name, e.groesse});
    const int helfer = e_.helfer >= 0
                           ? e_.helfer
                           : static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    Fliessband band(std::move(imSpeicher), helfer, stufe_, vorlage,
                    std::max<std::uint64_t>(e_.vorratBudget, 1));
    std::size_t naechstes = 0;
    for (const auto& e : eintraege_) {
      ZipKopf k = kopfVon(e);
      if (e.ordner) {
        zs.eintrag(k, nullptr, 0);
        ++bericht_.ordner;
        continue;
      }
      if (e.groesse > grenze_) {
        grossSchreiben(zs, e, k);
      } else {
        const Paket p = band.holen(naechstes++);
        if (p.fehler) nichtLesbar(basis_ / e.name, p.fehler);
        k.methode = p.methode;
        k.crc = p.crc;
        k.groesse = p.groesse;
        k.dichteGroesse = p.daten.size();
        zs.eintrag(k, p.daten.data(), p.daten.size());
        if (nachweis) nachweis->dateien[p.kennung] = {e.eintrag, p.crc, p.groesse};
      }
      ++bericht_.dateien;
    }
  }

  // A big file is deflated as it is read, straight into the archive; once
  // Deflate has reached the file's size it cannot win any more, and the file
  // is read again and stored.
  void grossSchreiben(ZipSchreiber& zs, const Eintrag& e, ZipKopf k) {
    const fs::path pfad = basis_ / e.name;
    Quelldatei datei(pfad);
    if (datei.fehler()) nichtLesbar(pfad, datei.fehler());
    k.methode = kZipDeflate;
    k.groesse = k.dichteGroesse = e.groesse;
    zs.anfangen(k);
    Bytes ein(kBlock);
    k.crc = 0;
    k.groesse = 0;
    {
      Deflater deflater(stufe_);
      for (ssize_t r = 1; r > 0 && zs.datenBisher() < std::max(e.groesse, k.groesse);) {
        if ((r = datei.lesen(ein.data(), ein.size())) < 0) nichtLesbar(pfad, datei.fehler());
        k.crc = libdeflate_crc32(k.crc, ein.data(), static_cast<std::size_t>(r));
        k.groesse += static_cast<std::uint64_t>(r);
        deflater.weiter(ein.data(), static_cast<std::size_t>(r), r == 0, zs);
      }
    }
    if (zs.datenBisher() >= k.groesse) {
      zs.verwerfen();
      if (!datei.zumAnfang()) nichtLesbar(pfad, datei.fehler());
      k.methode = kZipStore;
      k.crc = 0;
      k.groesse = 0;
      for (ssize_t r; (r = datei.lesen(ein.data(), ein.size())) != 0;) {
        if (r < 0) nichtLesbar(pfad, datei.fehler());
        k.crc = libdeflate_crc32(k.crc, ein.data(), static_cast<std::size_t>(r));
        k.groesse += static_cast<std::uint64_t>(r);
        zs.daten(ein.data(), static_cast<std::size_t>(r));
      }
    }
    k.dichteGroesse = zs.datenBisher();
    // A file that grew past 4 GB while read no longer fits the header written.
    if (!zs.fertig(k)) nichtLesbar(pfad, kVeraendert);
  }

  const fs::path archiv_;
  const fs::path ordner_;
  const std::string kannNicht_;
  const ZipEinstellungen e_;
  const int stufe_;
  const std::uint64_t grenze_;
  fs::path basis_;
  bool vorhanden_ = false;
  struct stat alterStand_ {};
  ZipLeser alt_;
  std::vector<Eintrag> eintraege_;
  ZipBericht bericht_;
};

}  // namespace

ZipBericht ordnerArchivieren(const fs::path& basis, const fs::path& archiv,
                             const ZipEinstellungen& einstellungen, const fs::path& vorlage,
                             std::shared_ptr<const ArchivNachweis> vorlageNachweis) {
  Archivierer a(archiv, einstellungen);
  try {
    return a.archivieren(basis, vorlage, std::move(vorlageNachweis));
  } catch (const Fehler&) {
    throw;
  } catch (const ZipSchreibfehler& f) {
    throw Fehler(a.kannNicht() + " (" + f.what() + ").");
  } catch (const std::bad_alloc&) {
    throw Fehler(a.kannNicht() + " (Nicht genügend Arbeitsspeicher).");
  } catch (const std::system_error& f) {
    throw Fehler(a.kannNicht() + " (" + systemFehlerText(f.code().value()) + ").");
  } catch (const std::exception& f) {
    throw Fehler(a.kannNicht() + " (" + f.what() + ").");
  }
}

namespace {

// A name below the base that cannot lead out of it.
bool imOrdner(std::string_view name) {
  if (name.empty() || name.front() == '/') return false;
  for (std::size_t start = 0; start <= name.size();) {
    const auto ende = std::min(name.find('/', start), name.size());
    if (name.substr(start, ende - start) == "..") return false;
    start = ende + 1;
  }
  return true;
}

std::string eintragLesen(zip_t* za, const fs::path& archiv, const std::string& eintrag) {
  const std::string fehlt =
      "Das Backup \"" + archiv.string() + "\" enthält \"" + eintrag + "\" nicht lesbar";
  zip_stat_t st;
  zip_stat_init(&st);
  const zip_int64_t i = zip_name_locate(za, eintrag.c_str(), ZIP_FL_ENC_RAW);
  if (i < 0 || zip_stat_index(za, static_cast<zip_uint64_t>(i), 0, &st) != 0 ||
      !(st.valid & ZIP_STAT_SIZE))
    throw Fehler(fehlt + ".");
  std::unique_ptr<zip_file_t, decltype(&zip_fclose)> f(
      zip_fopen_index(za, static_cast<zip_uint64_t>(i), 0), &zip_fclose);
  std::string inhalt(st.size, '\0');
  // Reading once past the end lets libzip check the CRC.
  char rest;
  if (!f || zip_fread(f.get(), inhalt.data(), st.size) != static_cast<zip_int64_t>(st.size) ||
      zip_fread(f.get(), &rest, 1) != 0)
    throw Fehler(fehlt + " (" + (f ? zip_error_strerror(zip_file_get_error(f.get())) : "") + ").");
  return inhalt;
}

}  // namespace

void eintraegeZurueckholen(const fs::path& archiv, const fs::path& basis,
                           const std::vector<std::pair<std::string, std::string>>& eintraege) {
  int fehler = 0;
  std::unique_ptr<zip_t, decltype(&zip_discard)> za(zip_open(archiv.c_str(), ZIP_RDONLY, &fehler),
                                                     &zip_discard);
  if (!za)
    throw Fehler("Das Backup \"" + archiv.string() + "\" kann nicht gelesen werden (" +
                 zipFehlerText(fehler) + ").");
  for (const auto& [name, eintrag] : eintraege) {
    if (!imOrdner(name))
      throw Fehler("Der Name \"" + name + "\" führt aus dem Arbeitsverzeichnis hinaus.");
    if (name.back() == '/') {
      ordnerAnlegen(basis / name);
      continue;
    }
    ordnerAnlegen((basis / name).parent_path());
    dateiErsetzen(basis / name, eintragLesen(za.get(), archiv, eintrag), Sichern::nein);
  }
}

}  // namespace belvanto
