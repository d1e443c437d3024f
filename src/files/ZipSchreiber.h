// The ZIP container, written by hand: a local header before each entry's data,
// the central directory and the end records at the end, zip64 records only
// where a size, an offset or the number of entries needs them. No data
// descriptors: a header whose sizes were not known in advance is rewritten in
// place once the data is written. The data itself (Deflate or stored) comes
// finished from the caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <stdexcept>
#include <string>
#include <vector>

namespace belvanto {

constexpr std::uint16_t kZipStore = 0;
constexpr std::uint16_t kZipDeflate = 8;

// What the headers say about one entry.
struct ZipKopf {
  std::string name;  // UTF-8, "/"-separated; folders end in "/"
  std::uint16_t methode = kZipStore;
  std::uint32_t crc = 0;
  std::uint64_t groesse = 0;        // of the file
  std::uint64_t dichteGroesse = 0;  // of the data in the archive
  std::time_t mtime = 0;
  std::uint8_t system = 3;  // "made by": 3 is Unix, the external attributes hold its mode
  std::uint32_t attribute = 0;
};

// A write to the archive failed; what() is the German reason.
class ZipSchreibfehler : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// Writes to a file descriptor opened for writing at offset 0. Throws
// ZipSchreibfehler.
class ZipSchreiber {
 public:
  explicit ZipSchreiber(int fd);

  // One entry whose data is at hand.
  void eintrag(const ZipKopf& kopf, const unsigned char* daten, std::size_t n);

  // One entry whose data comes in pieces. `vorlaeufig` holds upper bounds of
  // the sizes; they decide whether the local header carries zip64 sizes.
  void anfangen(const ZipKopf& vorlaeufig);
  void daten(const unsigned char* daten, std::size_t n);
  std::uint64_t datenBisher() const { return position_ - datenAnfang_; }
  // Forgets the data written since anfangen(), to write it again differently.
  void verwerfen();
  // Completes the entry with its final header; false when the final sizes do
  // not fit the local header already written (then nothing is completed).
  bool fertig(const ZipKopf& kopf);

  // The central directory and the end records. The descriptor is flushed,
  // not synced.
  void abschliessen();

 private:
  void schreiben(const void* daten, std::size_t n);
  void leeren();
  std::string lokalerKopf(const ZipKopf& k, bool zip64) const;
  void zentralerKopf(const ZipKopf& k);

  int fd_;
  std::vector<unsigned char> puffer_;
  std::uint64_t position_ = 0;  // bytes written, buffered ones included
  std::uint64_t kopfAnfang_ = 0;
  std::uint64_t datenAnfang_ = 0;
  std::string offenerKopf_;  // the local header of the entry begun, as written
  bool offenZip64_ = false;
  std::string zentral_;  // the central directory so far
  std::uint64_t anzahl_ = 0;
};

}  // namespace belvanto
