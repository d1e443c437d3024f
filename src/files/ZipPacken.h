// Packing files for the ZIP writer: each file is read whole, its CRC-32
// computed, and its entry data either taken from a template archive that
// holds the same bytes or deflated with libdeflate (kept as it is where
// Deflate does not make it smaller). A small producer and consumer runs this
// on helper threads a few files ahead of the thread that writes the archive,
// which takes the packed files in their order.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>
#include <zip.h>

#include <condition_variable>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stop_token>
#include <thread>
#include <tuple>
#include <vector>

#include "files/ZipSchreiber.h"

struct libdeflate_compressor;
struct libdeflate_decompressor;

namespace belvanto {

using Bytes = std::vector<unsigned char>;

// Reasons a file could not be read that have no errno.
constexpr int kKeineDatei = -1;

// A file as it stood when opened. A rename keeps it; writing to the file
// changes its modification time, replacing it the inode.
struct DateiKennung {
  dev_t geraet = 0;
  ino_t inode = 0;
  std::uint64_t groesse = 0;
  std::int64_t mtimeNs = 0;
  auto operator<=>(const DateiKennung&) const = default;
};

// A file opened for reading; never blocks on a FIFO that took a file's place.
class Quelldatei {
 public:
  explicit Quelldatei(const std::filesystem::path& pfad);
  ~Quelldatei();
  Quelldatei(const Quelldatei&) = delete;
  Quelldatei& operator=(const Quelldatei&) = delete;

  int fehler() const { return fehler_; }  // errno or kKeineDatei, 0 when open
  const DateiKennung& kennung() const { return kennung_; }
  // Bytes read, 0 at the end, -1 on error (then fehler() tells why).
  ssize_t lesen(void* ziel, std::size_t n);
  bool zumAnfang();

 private:
  int fd_;
  int fehler_ = 0;
  DateiKennung kennung_;
};

struct ZuPacken {
  std::filesystem::path pfad;
  std::uint64_t groesse = 0;  // when listed; the file may have changed since
};

// One file, ready to be written.
struct Paket {
  Bytes daten;  // the entry's data: Deflate data, or the file itself
  std::uint16_t methode = kZipStore;
  std::uint32_t crc = 0;
  std::uint64_t groesse = 0;
  int fehler = 0;  // errno or kKeineDatei: the file could not be read
  DateiKennung kennung;  // of the file read
};

// What this process wrote into an archive: the archive file as it stood
// afterwards, and for each file packed into it (not taken over from the
// archive before) the file as it was read and the entry holding it.
struct ArchivNachweis {
  struct Eintrag {
    std::string name;
    std::uint32_t crc = 0;
    std::uint64_t groesse = 0;
  };
  std::filesystem::path archiv;
  DateiKennung archivStand;
  std::map<DateiKennung, Eintrag> dateien;
};
DateiKennung kennungVon(const struct ::stat& st);

// The entries of a finished archive by size and CRC-32, so that the files
// they hold need not be deflated again (the backup for the document archive,
// which holds the same PDFs under other names). An archive that cannot be
// read offers nothing. Safe to use from several threads.
class Vorlage {
 public:
  struct Eintrag {
    zip_uint64_t index;
    std::uint16_t methode;
    std::uint64_t dichteGroesse;
  };
  // `nachweis`, when it is the record of `archiv` as it still stands, lets
  // files it names be taken over without comparing their bytes.
  Vorlage(const std::filesystem::path& archiv, std::shared_ptr<const ArchivNachweis> nachweis);
  ~Vorlage();
  Vorlage(const Vorlage&) = delete;
  Vorlage& operator=(const Vorlage&) = delete;

  std::vector<Eintrag> suchen(std::uint64_t groesse, std::uint32_t crc) const;
  // The entry this process wrote for the file `kennung` describes, when this
  // archive is still as written then and the entry's size and CRC-32 equal
  // those of the file now.
  std::optional<Eintrag> vonDieserDatei(const DateiKennung& kennung, std::uint64_t groesse,
                                        std::uint32_t crc) const;
  // The entry's data as it is in the archive; false when it cannot be read.
  bool datenLesen(const Eintrag& e, Bytes& aus) const;

 private:
  zip_t* archiv_ = nullptr;
  mutable std::mutex m_;  // libzip's reader is for one thread at a time
  struct Schluessel {
    std::uint64_t groesse;
    std::uint32_t crc;
    Eintrag eintrag;
    bool operator<(const Schluessel& s) const {
      return std::tie(groesse, crc) < std::tie(s.groesse, s.crc);
    }
  };
  std::vector<Schluessel> eintraege_;  // sorted
  std::shared_ptr<const ArchivNachweis> nachweis_;  // null unless it is this archive's
};

// The tools of one packing thread. Never throws: failures end in Paket::fehler.
class Packer {
 public:
  Packer(int stufe, const Vorlage* vorlage);
  ~Packer();
  Packer(const Packer&) = delete;
  Packer& operator=(const Packer&) = delete;

  Paket packen(const ZuPacken& datei) noexcept;

 private:
  bool ausVorlage(Paket& p);
  // Takes the entry's data for the file; with `vergleichen` only when it
  // inflates to the file's bytes.
  bool uebernehmen(Paket& p, const Vorlage::Eintrag& e, bool vergleichen);
  void verdichten(Paket& p);

  const int stufe_;
  const Vorlage* vorlage_;
  // Made when first needed: a document archive may need no compressor at all.
  libdeflate_compressor* kompressor_ = nullptr;
  libdeflate_decompressor* dekompressor_ = nullptr;
  Bytes roh_;    // the file as read
  Bytes probe_;  // a template entry inflated, to compare
};

// Packs `auftraege` on `helfer` threads (none: on the caller's thread when it
// asks), at most a few files and `budget` bytes of them ahead of the caller.
class Fliessband {
 public:
  Fliessband(std::vector<ZuPacken> auftraege, int helfer, int stufe, const Vorlage* vorlage,
             std::uint64_t budget);
  // The packed file `i`; called for i = 0, 1, 2, ... in turn.
  Paket holen(std::size_t i);

 private:
  bool darfNehmen() const;
  void arbeiten(std::stop_token halt) noexcept;

  const std::vector<ZuPacken> auftraege_;
  const int stufe_;
  const Vorlage* const vorlage_;
  const std::uint64_t budget_;
  std::unique_ptr<Packer> eigener_;
  std::mutex m_;
  std::condition_variable_any cv_;
  std::size_t genommen_ = 0;                  // files taken by helpers
  std::size_t abgeholt_ = 0;                  // files handed to the caller
  std::uint64_t imFlug_ = 0;                  // listed bytes of files taken but not yet handed on
  std::vector<std::optional<Paket>> fertig_;  // file i in slot i % window
  std::vector<std::jthread> helfer_;          // last: stopped and joined before the rest goes
};

}  // namespace belvanto
