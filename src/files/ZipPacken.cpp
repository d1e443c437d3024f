// Reading, checking against the template and deflating, on helper threads.
#include "files/ZipPacken.h"

#include <fcntl.h>
#include <libdeflate.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "util/Dateijobs.h"

namespace belvanto {
namespace {

constexpr std::size_t kBlock = kDateiPuffer;
// Files a helper may take ahead of the writer, whatever their size.
constexpr std::size_t kFenster = 16;

// Reads a whole file into `aus`; 0 or the reason it failed.
int ganzLesen(const ZuPacken& datei, Bytes& aus, DateiKennung& kennung) {
  Quelldatei q(datei.pfad);
  if (q.fehler()) return q.fehler();
  kennung = q.kennung();
  // One byte more than listed, so a file that grew is read to its end by the
  // loop rather than cut off.
  aus.resize(static_cast<std::size_t>(datei.groesse) + 1);
  std::size_t gelesen = 0;
  for (;;) {
    if (gelesen == aus.size()) aus.resize(aus.size() + kBlock);
    const ssize_t r = q.lesen(aus.data() + gelesen, aus.size() - gelesen);
    if (r < 0) return q.fehler();
    if (r == 0) break;
    gelesen += static_cast<std::size_t>(r);
  }
  aus.resize(gelesen);
  return 0;
}

}  // namespace

// O_NONBLOCK: should a FIFO have taken the file's place, opening must not hang.
Quelldatei::Quelldatei(const std::filesystem::path& pfad)
    : fd_(::open(pfad.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {
  struct stat st {};
  if (fd_ < 0)
    fehler_ = errno;
  else if (::fstat(fd_, &st) != 0)
    fehler_ = errno;
  else if (!S_ISREG(st.st_mode))
    fehler_ = kKeineDatei;
  else
    kennung_ = kennungVon(st);
}

DateiKennung kennungVon(const struct stat& st) {
  return {st.st_dev, st.st_ino, static_cast<std::uint64_t>(st.st_size),
          static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

Quelldatei::~Quelldatei() {
  if (fd_ >= 0) ::close(fd_);
}

ssize_t Quelldatei::lesen(void* ziel, std::size_t n) {
  for (;;) {
    const ssize_t r = ::read(fd_, ziel, n);
    if (r >= 0) return r;
    if (errno == EINTR) continue;
    fehler_ = errno;
    return -1;
  }
}

bool Quelldatei::zumAnfang() {
  if (::lseek(fd_, 0, SEEK_SET) == 0) return true;
  fehler_ = errno;
  return false;
}

Vorlage::Vorlage(const std::filesystem::path& archiv,
                 std::shared_ptr<const ArchivNachweis> nachweis) {
  int code = 0;
  archiv_ = ::zip_open(archiv.c_str(), ZIP_RDONLY, &code);
  const zip_int64_t anzahl = archiv_ ? zip_get_num_entries(archiv_, 0) : 0;
  for (zip_int64_t i = 0; i < anzahl; ++i) {
    zip_stat_t st;
    const auto index = static_cast<zip_uint64_t>(i);
    if (zip_stat_index(archiv_, index, 0, &st) != 0 || st.encryption_method != ZIP_EM_NONE ||
        (st.comp_method != ZIP_CM_STORE && st.comp_method != ZIP_CM_DEFLATE))
      continue;
    eintraege_.push_back({st.size, st.crc, {index, st.comp_method, st.comp_size}});
  }
  std::sort(eintraege_.begin(), eintraege_.end());
  // Written by this process and not touched since.
  struct stat st {};
  if (archiv_ && nachweis && nachweis->archiv == archiv && ::stat(archiv.c_str(), &st) == 0 &&
      kennungVon(st) == nachweis->archivStand)
    nachweis_ = std::move(nachweis);
}

std::optional<Vorlage::Eintrag> Vorlage::vonDieserDatei(const DateiKennung& kennung,
                                                        std::uint64_t groesse,
                                                        std::uint32_t crc) const {
  if (!nachweis_) return std::nullopt;
  const auto it = nachweis_->dateien.find(kennung);
  if (it == nachweis_->dateien.end() || it->second.crc != crc || it->second.groesse != groesse)
    return std::nullopt;
  const std::lock_guard lock(m_);
  const zip_int64_t index = zip_name_locate(archiv_, it->second.name.c_str(), ZIP_FL_ENC_RAW);
  zip_stat_t st;
  if (index < 0 || zip_stat_index(archiv_, static_cast<zip_uint64_t>(index), 0, &st) != 0 ||
      st.crc != crc || st.size != groesse || st.encryption_method != ZIP_EM_NONE ||
      (st.comp_method != ZIP_CM_STORE && st.comp_method != ZIP_CM_DEFLATE))
    return std::nullopt;
  return Eintrag{static_cast<zip_uint64_t>(index), st.comp_method, st.comp_size};
}

Vorlage::~Vorlage() {
  if (archiv_) zip_discard(archiv_);
}

std::vector<Vorlage::Eintrag> Vorlage::suchen(std::uint64_t groesse, std::uint32_t crc) const {
  std::vector<Eintrag> treffer;
  auto [von, bis] =
      std::equal_range(eintraege_.begin(), eintraege_.end(), Schluessel{groesse, crc, {}});
  for (auto it = von; it != bis; ++it) treffer.push_back(it->eintrag);
  return treffer;
}

bool Vorlage::datenLesen(const Eintrag& e, Bytes& aus) const {
  aus.resize(static_cast<std::size_t>(e.dichteGroesse));
  std::lock_guard lock(m_);
  std::unique_ptr<zip_file_t, decltype(&zip_fclose)> f(
      zip_fopen_index(archiv_, e.index, ZIP_FL_COMPRESSED), zip_fclose);
  if (!f) return false;
  for (std::size_t gelesen = 0; gelesen < aus.size();) {
    const zip_int64_t r = zip_fread(f.get(), aus.data() + gelesen, aus.size() - gelesen);
    if (r <= 0) return false;
    gelesen += static_cast<std::size_t>(r);
  }
  return true;
}

Packer::Packer(int stufe, const Vorlage* vorlage) : stufe_(stufe), vorlage_(vorlage) {}

Packer::~Packer() {
  libdeflate_free_compressor(kompressor_);
  libdeflate_free_decompressor(dekompressor_);
}

Paket Packer::packen(const ZuPacken& datei) noexcept {
  Paket p;
  try {
    p.fehler = ganzLesen(datei, roh_, p.kennung);
    if (p.fehler) return p;
    p.groesse = roh_.size();
    p.crc = libdeflate_crc32(0, roh_.data(), roh_.size());
    if (!ausVorlage(p)) verdichten(p);
  } catch (...) {  // only allocations can fail here
    p = Paket{};
    p.fehler = ENOMEM;
  }
  return p;
}

// A template entry is taken only when its bytes, inflated, equal the file's:
// among tens of thousands of files of one size, CRC-32 alone would let an
// unrelated entry pass now and then.
bool Packer::ausVorlage(Paket& p) {
  if (!vorlage_) return false;
  // The entry was made from this very file, unchanged since by all signs
  // and by size and CRC-32: its data needs no comparison.
  if (const auto e = vorlage_->vonDieserDatei(p.kennung, p.groesse, p.crc);
      e && uebernehmen(p, *e, false))
    return true;
  for (const auto& e : vorlage_->suchen(p.groesse, p.crc))
    if (uebernehmen(p, e, true)) return true;
  return false;
}

bool Packer::uebernehmen(Paket& p, const Vorlage::Eintrag& e, bool vergleichen) {
  if (e.methode == ZIP_CM_STORE) {
    // Deflate did not make these bytes smaller before; they go in as read.
    p.daten.swap(roh_);
    p.methode = kZipStore;
    return true;
  }
  Bytes dicht;
  if (!vorlage_->datenLesen(e, dicht)) return false;
  if (vergleichen) {
    if (!dekompressor_ && !(dekompressor_ = libdeflate_alloc_decompressor()))
      throw std::bad_alloc();
    probe_.resize(roh_.size());
    if (libdeflate_deflate_decompress(dekompressor_, dicht.data(), dicht.size(), probe_.data(),
                                      probe_.size(), nullptr) != LIBDEFLATE_SUCCESS ||
        probe_ != roh_)
      return false;
  }
  p.daten = std::move(dicht);
  p.methode = kZipDeflate;
  return true;
}

void Packer::verdichten(Paket& p) {
  if (!kompressor_ && !(kompressor_ = libdeflate_alloc_compressor(stufe_))) throw std::bad_alloc();
  // Room for one byte less than the file: what does not fit is stored.
  if (roh_.size() > 1) {
    p.daten.resize(roh_.size() - 1);
    const std::size_t n = libdeflate_deflate_compress(kompressor_, roh_.data(), roh_.size(),
                                                      p.daten.data(), p.daten.size());
    if (n > 0) {
      p.daten.resize(n);
      p.methode = kZipDeflate;
      return;
    }
  }
  p.daten.swap(roh_);
  p.methode = kZipStore;
}

Fliessband::Fliessband(std::vector<ZuPacken> auftraege, int helfer, int stufe,
                       const Vorlage* vorlage, std::uint64_t budget)
    : auftraege_(std::move(auftraege)), stufe_(stufe), vorlage_(vorlage), budget_(budget) {
  if (helfer <= 0) {
    eigener_ = std::make_unique<Packer>(stufe_, vorlage_);
    return;
  }
  fertig_.resize(kFenster);
  for (int i = 0; i < helfer; ++i)
    helfer_.emplace_back([this](std::stop_token halt) { arbeiten(halt); });
}

// The next file may be taken when nothing is waiting for the writer, or when
// the files waiting stay within the window and the budget.
bool Fliessband::darfNehmen() const {
  if (genommen_ == auftraege_.size()) return false;
  const std::size_t wartend = genommen_ - abgeholt_;
  return wartend == 0 || (wartend < kFenster && imFlug_ + auftraege_[genommen_].groesse <= budget_);
}

void Fliessband::arbeiten(std::stop_token halt) noexcept {
  Packer packer(stufe_, vorlage_);
  std::unique_lock lock(m_);
  // wait() also returns true when stopped while a file could be taken.
  while (cv_.wait(lock, halt, [this] { return darfNehmen(); }) && !halt.stop_requested()) {
    const std::size_t i = genommen_++;
    imFlug_ += auftraege_[i].groesse;
    lock.unlock();
    Paket p = packer.packen(auftraege_[i]);
    lock.lock();
    // Free: it held file i - kFenster, which the writer has taken.
    fertig_[i % kFenster] = std::move(p);
    cv_.notify_all();
  }
}

Paket Fliessband::holen(std::size_t i) {
  if (eigener_) return eigener_->packen(auftraege_[i]);
  std::unique_lock lock(m_);
  auto& platz = fertig_[i % kFenster];
  cv_.wait(lock, [&] { return platz.has_value(); });
  Paket p = std::move(*platz);
  platz.reset();
  ++abgeholt_;
  imFlug_ -= auftraege_[i].groesse;
  cv_.notify_all();
  return p;
}

}  // namespace belvanto
