#include "app/Laufjournal.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <string_view>
#include <vector>

#include "util/Dateijobs.h"
#include "util/Encoding.h"
#include "util/Fehler.h"

namespace belvanto {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kKopf = "Belvanto-Lauf 1";

// Names may hold any byte but "/" and NUL: blanks, line breaks and "%" go as
// "%XX", so every line splits at its blanks.
std::string maskiert(std::string_view text) {
  static const char ziffern[] = "0123456789ABCDEF";
  std::string aus;
  for (const unsigned char c : text) {
    if (c <= 0x20 || c == '%' || c == 0x7F) {
      aus += '%';
      aus += ziffern[c >> 4];
      aus += ziffern[c & 0xF];
    } else {
      aus += static_cast<char>(c);
    }
  }
  return aus;
}

int hexWert(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> demaskiert(std::string_view text) {
  std::string aus;
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      aus += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int hoch = hexWert(text[i + 1]), tief = hexWert(text[i + 2]);
    if (hoch < 0 || tief < 0) return std::nullopt;
    aus += static_cast<char>(hoch * 16 + tief);
    i += 2;
  }
  return aus;
}

template <typename T>
bool zahl(std::string_view text, T& wert) {
  const auto [ende, fehler] = std::from_chars(text.data(), text.data() + text.size(), wert);
  return fehler == std::errc() && ende == text.data() + text.size();
}

std::vector<std::string_view> felder(std::string_view zeile) {
  std::vector<std::string_view> aus;
  for (std::size_t start = 0; start <= zeile.size();) {
    const auto ende = std::min(zeile.find(' ', start), zeile.size());
    aus.push_back(zeile.substr(start, ende - start));
    start = ende + 1;
  }
  return aus;
}

void syncen(const fs::path& datei, int fd) {
  if (::fsync(fd) != 0) {
    const int fehler = errno;
    ::close(fd);
    dateiNichtSchreibbar(datei, fehler);
  }
}

}  // namespace

void Laufjournal::anlegen(const OffenerLauf& lauf) {
  std::string text(kKopf);
  text += "\nbeginn " + maskiert(lauf.beginn) + "\nlfdnummer " + std::to_string(lauf.lfdNummer) +
          "\nbackup " + maskiert(lauf.backup.string()) + "\n";
  for (const auto& [name, eintrag] : lauf.eintraege)
    text += "eintrag " + maskiert(name) + " " + maskiert(eintrag) + "\n";
  for (const auto& [ordner, liste] : lauf.geholt)
    for (const auto& [name, g] : liste)
      text += "geholt " + maskiert(ordner) + " " + maskiert(name) + " " +
              std::to_string(g.attrs.flags) + " " + std::to_string(g.attrs.size) + " " +
              std::to_string(g.attrs.mtime) + " " + std::to_string(g.lokaleGroesse) + "\n";
  text += "gesichert\n";
  dateiErsetzen(datei_, text, Sichern::ja);
}

void Laufjournal::geloescht() {
  const int fd = ::open(datei_.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) dateiNichtSchreibbar(datei_, errno);
  constexpr std::string_view zeile = "geloescht\n";
  if (::write(fd, zeile.data(), zeile.size()) != static_cast<ssize_t>(zeile.size())) {
    const int fehler = errno;
    ::close(fd);
    dateiNichtSchreibbar(datei_, fehler);
  }
  syncen(datei_, fd);
  ::close(fd);
}

void Laufjournal::entfernen() {
  if (::unlink(datei_.c_str()) == 0) ordnerSichern(datei_.parent_path());
}

std::optional<OffenerLauf> Laufjournal::lesen() const {
  std::error_code ec;
  if (!fs::exists(fs::symlink_status(datei_, ec))) return std::nullopt;
  const std::string text = readFileBytes(datei_);
  const Fehler beschaedigt("Die Datei \"" + datei_.string() +
                           "\" über einen nicht beendeten Lauf ist beschädigt. Das Backup "
                           "des Laufs liegt im Backup-Verzeichnis.");
  OffenerLauf lauf;
  bool gesichert = false;
  std::size_t start = 0;
  for (int nummer = 0; start < text.size(); ++nummer) {
    const auto ende = text.find('\n', start);
    if (ende == std::string::npos) break;  // a line cut off by a stop
    const std::string_view zeile(text.data() + start, ende - start);
    start = ende + 1;
    if (nummer == 0) {
      if (zeile != kKopf) throw beschaedigt;
      continue;
    }
    const auto f = felder(zeile);
    std::vector<std::string> t;
    for (std::size_t i = 1; i < f.size(); ++i) {
      auto d = demaskiert(f[i]);
      if (!d) throw beschaedigt;
      t.push_back(std::move(*d));
    }
    if (f[0] == "beginn" && t.size() == 1) {
      lauf.beginn = t[0];
    } else if (f[0] == "lfdnummer" && t.size() == 1 && zahl(t[0], lauf.lfdNummer)) {
    } else if (f[0] == "backup" && t.size() == 1) {
      lauf.backup = t[0];
    } else if (f[0] == "eintrag" && t.size() == 2) {
      lauf.eintraege.emplace_back(t[0], t[1]);
    } else if (f[0] == "geholt" && t.size() == 6) {
      Download::Geholt g{};
      if (!zahl(t[2], g.attrs.flags) || !zahl(t[3], g.attrs.size) || !zahl(t[4], g.attrs.mtime) ||
          !zahl(t[5], g.lokaleGroesse))
        throw beschaedigt;
      if (lauf.geholt.empty() || lauf.geholt.back().first != t[0]) lauf.geholt.push_back({t[0], {}});
      lauf.geholt.back().second[t[1]] = g;
    } else if (f[0] == "gesichert" && t.empty()) {
      gesichert = true;
    } else if (f[0] == "geloescht" && t.empty() && gesichert) {
      lauf.geloescht = true;
    } else {
      throw beschaedigt;
    }
  }
  if (!gesichert || lauf.backup.empty()) throw beschaedigt;
  return lauf;
}

}  // namespace belvanto
