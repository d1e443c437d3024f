// The ZIP container after PKWARE's APPNOTE: little-endian records, DOS times
// in local time, bit 11 for UTF-8 names, zip64 extra fields and end records
// for values that do not fit 16 or 32 bits.
#include "files/ZipSchreiber.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "util/Dateijobs.h"
#include "util/Encoding.h"
#include "util/Systemfehler.h"

namespace belvanto {
namespace {

constexpr std::uint64_t kMax32 = 0xFFFFFFFF;
constexpr std::uint64_t kMax16 = 0xFFFF;
constexpr std::size_t kPuffer = kDateiPuffer;
constexpr std::uint16_t kVersion = 20;  // Deflate, folders
constexpr std::uint16_t kVersionZip64 = 45;

void put16(std::string& s, std::uint64_t v) {
  for (int i = 0; i < 2; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put32(std::string& s, std::uint64_t v) {
  for (int i = 0; i < 4; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
void put64(std::string& s, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// DOS time and date; times outside 1980 to 2107 are clamped to those years.
void dosZeit(std::time_t t, std::string& s) {
  struct tm tm {};
  if (!::localtime_r(&t, &tm) || tm.tm_year < 80) tm = {0, 0, 0, 1, 0, 80, 0, 0, 0, 0, nullptr};
  if (tm.tm_year > 207) tm = {58, 59, 23, 31, 11, 207, 0, 0, 0, 0, nullptr};
  put16(s, static_cast<unsigned>(tm.tm_hour << 11 | tm.tm_min << 5 | tm.tm_sec / 2));
  put16(s, static_cast<unsigned>((tm.tm_year - 80) << 9 | (tm.tm_mon + 1) << 5 | tm.tm_mday));
}

std::uint16_t bits(const ZipKopf& k) {
  const bool ascii = std::all_of(k.name.begin(), k.name.end(),
                                 [](char c) { return static_cast<unsigned char>(c) < 0x80; });
  return !ascii && isValidUtf8(k.name) ? 0x0800 : 0;
}

// The fields the local and the central header share, from "version needed" to the CRC.
void gemeinsam(std::string& s, const ZipKopf& k, std::uint16_t version) {
  put16(s, version);
  put16(s, bits(k));
  put16(s, k.methode);
  dosZeit(k.mtime, s);
  put32(s, k.crc);
}

}  // namespace

ZipSchreiber::ZipSchreiber(int fd) : fd_(fd) {
  puffer_.reserve(kPuffer);
}

void ZipSchreiber::leeren() {
  const unsigned char* p = puffer_.data();
  std::size_t n = puffer_.size();
  while (n > 0) {
    const ssize_t w = ::write(fd_, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) throw ZipSchreibfehler("Schreibfehler: " + systemFehlerText(w < 0 ? errno : EIO));
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  puffer_.clear();
}

void ZipSchreiber::schreiben(const void* daten, std::size_t n) {
  const auto* p = static_cast<const unsigned char*>(daten);
  position_ += n;
  while (n > 0) {
    const std::size_t stueck = std::min(n, kPuffer - puffer_.size());
    puffer_.insert(puffer_.end(), p, p + stueck);
    p += stueck;
    n -= stueck;
    if (puffer_.size() == kPuffer) leeren();
  }
}

std::string ZipSchreiber::lokalerKopf(const ZipKopf& k, bool zip64) const {
  std::string s;
  put32(s, 0x04034b50);
  gemeinsam(s, k, zip64 ? kVersionZip64 : kVersion);
  put32(s, zip64 ? kMax32 : k.dichteGroesse);
  put32(s, zip64 ? kMax32 : k.groesse);
  put16(s, k.name.size());
  put16(s, zip64 ? 20 : 0);
  s += k.name;
  if (zip64) {
    put16(s, 1);
    put16(s, 16);
    put64(s, k.groesse);
    put64(s, k.dichteGroesse);
  }
  return s;
}

void ZipSchreiber::anfangen(const ZipKopf& vorlaeufig) {
  if (vorlaeufig.name.size() > kMax16)
    throw ZipSchreibfehler("Der Name \"" + vorlaeufig.name + "\" ist zu lang");
  offenZip64_ = vorlaeufig.groesse >= kMax32 || vorlaeufig.dichteGroesse >= kMax32;
  offenerKopf_ = lokalerKopf(vorlaeufig, offenZip64_);
  kopfAnfang_ = position_;
  schreiben(offenerKopf_.data(), offenerKopf_.size());
  datenAnfang_ = position_;
}

void ZipSchreiber::daten(const unsigned char* daten, std::size_t n) {
  schreiben(daten, n);
}

void ZipSchreiber::verwerfen() {
  leeren();
  const auto anfang = static_cast<off_t>(datenAnfang_);
  if (::ftruncate(fd_, anfang) != 0 || ::lseek(fd_, anfang, SEEK_SET) != anfang)
    throw ZipSchreibfehler("Schreibfehler: " + systemFehlerText(errno));
  position_ = datenAnfang_;
}

bool ZipSchreiber::fertig(const ZipKopf& kopf) {
  if (!offenZip64_ && (kopf.groesse >= kMax32 || kopf.dichteGroesse >= kMax32)) return false;
  const std::string endgueltig = lokalerKopf(kopf, offenZip64_);
  if (endgueltig != offenerKopf_) {
    leeren();
    const ssize_t w =
        ::pwrite(fd_, endgueltig.data(), endgueltig.size(), static_cast<off_t>(kopfAnfang_));
    if (w != static_cast<ssize_t>(endgueltig.size()))
      throw ZipSchreibfehler("Schreibfehler: " + systemFehlerText(w < 0 ? errno : EIO));
  }
  zentralerKopf(kopf);
  return true;
}

void ZipSchreiber::eintrag(const ZipKopf& kopf, const unsigned char* daten, std::size_t n) {
  anfangen(kopf);
  schreiben(daten, n);
  fertig(kopf);
}

// The entry just completed, in the central directory: the fields that do not
// fit 32 bits go into a zip64 extra field, in the order the format gives.
void ZipSchreiber::zentralerKopf(const ZipKopf& k) {
  const bool g = k.groesse >= kMax32, d = k.dichteGroesse >= kMax32, o = kopfAnfang_ >= kMax32;
  const int weite = g + d + o;
  std::string& s = zentral_;
  put32(s, 0x02014b50);
  put16(s, static_cast<unsigned>(k.system) << 8 | kVersionZip64);
  gemeinsam(s, k, weite > 0 || offenZip64_ ? kVersionZip64 : kVersion);
  put32(s, d ? kMax32 : k.dichteGroesse);
  put32(s, g ? kMax32 : k.groesse);
  put16(s, k.name.size());
  put16(s, weite > 0 ? 4 + 8 * weite : 0);
  put16(s, 0);  // comment
  put16(s, 0);  // disk
  put16(s, 0);  // internal attributes
  put32(s, k.attribute);
  put32(s, o ? kMax32 : kopfAnfang_);
  s += k.name;
  if (weite > 0) {
    put16(s, 1);
    put16(s, 8 * weite);
    if (g) put64(s, k.groesse);
    if (d) put64(s, k.dichteGroesse);
    if (o) put64(s, kopfAnfang_);
  }
  ++anzahl_;
}

void ZipSchreiber::abschliessen() {
  const std::uint64_t anfang = position_, laenge = zentral_.size();
  schreiben(zentral_.data(), zentral_.size());
  std::string s;
  if (anzahl_ >= kMax16 || laenge >= kMax32 || anfang >= kMax32) {
    const std::uint64_t ende64 = position_;
    put32(s, 0x06064b50);
    put64(s, 44);
    put16(s, 3 << 8 | kVersionZip64);
    put16(s, kVersionZip64);
    put32(s, 0);
    put32(s, 0);
    put64(s, anzahl_);
    put64(s, anzahl_);
    put64(s, laenge);
    put64(s, anfang);
    put32(s, 0x07064b50);
    put32(s, 0);
    put64(s, ende64);
    put32(s, 1);
  }
  put32(s, 0x06054b50);
  put16(s, 0);
  put16(s, 0);
  put16(s, std::min(anzahl_, kMax16));
  put16(s, std::min(anzahl_, kMax16));
  put32(s, std::min(laenge, kMax32));
  put32(s, std::min(anfang, kMax32));
  put16(s, 0);
  schreiben(s.data(), s.size());
  leeren();
}

}  // namespace belvanto
