// The run log. No buffering on purpose: a line that waits in a buffer is a
// line a crash takes with it.
#include "basis/Laufbuch.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <ctime>
#include <fstream>
#include <memory>

#include "util/Dateisuche.h"
#include "util/StringLib.h"
#include "util/Systemfehler.h"

namespace belvanto {

namespace fs = std::filesystem;

namespace {

std::string zeitstempel() {
  const std::time_t jetzt = std::time(nullptr);
  std::tm lokal{};
  localtime_r(&jetzt, &lokal);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &lokal);
  return text;
}

std::string einzeilig(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    const auto ende = std::min(text.find_first_of("\r\n\t", pos), text.size());
    out += sichtbar(text.substr(pos, ende - pos));
    if (ende == text.size()) break;
    if (text[ende] == '\t') {
      out += ' ';
      pos = ende + 1;
    } else {
      out += " / ";
      pos = ende + (text.compare(ende, 2, "\r\n") == 0 ? 2 : 1);
    }
  }
  return out;
}

}  // namespace

Laufbuch::Laufbuch(fs::path ordner) : ordner_(std::move(ordner)) {}

Laufbuch::~Laufbuch() {
  if (fd_ >= 0) ::close(fd_);
}

fs::path Laufbuch::datei() const {
  return resolveNoCase(ordner_, kLaufbuchName);
}

void Laufbuch::beiStoerung(std::function<void(const std::string&)> melden) {
  melden_ = std::move(melden);
}

bool Laufbuch::oeffnen() {
  fd_ = ::open(datei().c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) stoerung(errno);
  return fd_ >= 0;
}

void Laufbuch::schreiben(std::string_view ereignis) {
  if (gestoert_ || (fd_ < 0 && !oeffnen())) return;
  const std::string zeile = zeitstempel() + " " + einzeilig(ereignis) + "\n";
  // O_APPEND puts every write at the end, also one that follows a short write.
  for (std::size_t geschrieben = 0; geschrieben < zeile.size();) {
    const ssize_t n = ::write(fd_, zeile.data() + geschrieben, zeile.size() - geschrieben);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return stoerung(n < 0 ? errno : EIO);
    geschrieben += static_cast<std::size_t>(n);
  }
}

void Laufbuch::schliessen() {
  if (fd_ >= 0) {
    ::fsync(fd_);
    ::close(fd_);
  }
  fd_ = -1;
  gestoert_ = false;
}

void Laufbuch::stoerung(int fehler) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  gestoert_ = true;
  if (gemeldet_ || !melden_) return;
  gemeldet_ = true;
  melden_(systemFehlerText(fehler));
}

std::string sha256Datei(const fs::path& datei) {
  std::ifstream ein(datei, std::ios::binary);
  const std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> ctx(EVP_MD_CTX_new(),
                                                                    &EVP_MD_CTX_free);
  if (!ein || !ctx || EVP_DigestInit_ex(ctx.get(), EVP_sha256(), nullptr) != 1) return {};
  std::vector<char> puffer(1 << 16);
  while (ein) {
    ein.read(puffer.data(), static_cast<std::streamsize>(puffer.size()));
    if (ein.gcount() > 0)
      EVP_DigestUpdate(ctx.get(), puffer.data(), static_cast<std::size_t>(ein.gcount()));
  }
  unsigned char wert[EVP_MAX_MD_SIZE];
  unsigned int laenge = 0;
  if (ein.bad() || EVP_DigestFinal_ex(ctx.get(), wert, &laenge) != 1) return {};
  static constexpr char kHex[] = "0123456789abcdef";
  std::string hex;
  for (unsigned int i = 0; i < laenge; ++i) {
    hex += kHex[wert[i] >> 4];
    hex += kHex[wert[i] & 15];
  }
  return hex;
}

}  // namespace belvanto
