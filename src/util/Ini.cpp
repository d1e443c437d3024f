// The configuration file read and written by the rules of the Windows profile
// functions. Writing touches only the one line (or the lines added) and keeps
// every other byte, the file's encoding and its line ends; it goes through a
// temporary file so a failure never leaves a half-written configuration.
#include "util/Ini.h"

#include <optional>
#include <system_error>

#include "util/Dateijobs.h"
#include "util/Encoding.h"
#include "util/Fehler.h"
#include "util/StringLib.h"
#include "util/Utf8.h"

namespace fs = std::filesystem;

namespace belvanto {

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::size_t kMaxZeichen = 2047;

std::string_view ohneRand(std::string_view text, std::string_view rand = " \t") {
  const auto anfang = text.find_first_not_of(rand);
  if (anfang == std::string_view::npos) return {};
  const auto ende = text.find_last_not_of(rand);
  return text.substr(anfang, ende - anfang + 1);
}

std::optional<std::string_view> abschnittsName(std::string_view zeile) {
  const auto text = ohneRand(zeile, " \t\r");
  if (text.empty() || text.front() != '[') return std::nullopt;
  const auto name = text.substr(1);
  return ohneRand(name.substr(0, name.find(']')));
}

bool istSchluessel(std::string_view zeile, std::string_view key) {
  const auto gleich = zeile.find('=');
  return gleich != std::string_view::npos && equalsNoCase(ohneRand(zeile.substr(0, gleich)), key);
}

// What the first matching section holds: the index of its header and of the
// first line of the key, -1 where there is none, and its last non-empty line.
struct Fundstelle {
  long abschnitt = -1;
  long schluessel = -1;
  long letzteZeile = -1;
};

template <typename Text>
Fundstelle suche(std::size_t anzahl, Text text, std::string_view section, std::string_view key) {
  Fundstelle f;
  for (std::size_t i = 0; i < anzahl; ++i) {
    const std::string_view zeile = text(i);
    if (const auto name = abschnittsName(zeile)) {
      if (f.abschnitt >= 0) break;  // the first section of that name is the only one
      if (equalsNoCase(*name, ohneRand(section)))
        f.abschnitt = f.letzteZeile = static_cast<long>(i);
      continue;
    }
    if (f.abschnitt < 0) continue;
    if (!ohneRand(zeile, " \t\r").empty()) f.letzteZeile = static_cast<long>(i);
    if (f.schluessel < 0 && istSchluessel(zeile, ohneRand(key)))
      f.schluessel = static_cast<long>(i);
  }
  return f;
}

[[noreturn]] void nichtSchreibbar(const fs::path& datei) {
  throw Fehler("In " + datei.string() + " kann nicht geschrieben werden");
}

// One raw line of the file: its bytes and its line end (empty for a last line
// without one).
struct RohZeile {
  std::string inhalt;
  std::string ende;
};

std::vector<RohZeile> rohZeilen(std::string_view bytes) {
  std::vector<RohZeile> zeilen;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const auto lf = bytes.find('\n', start);
    if (lf == std::string_view::npos) {
      zeilen.push_back({std::string(bytes.substr(start)), ""});
      break;
    }
    const bool crlf = lf > start && bytes[lf - 1] == '\r';
    const auto ende = crlf ? lf - 1 : lf;
    zeilen.push_back({std::string(bytes.substr(start, ende - start)), crlf ? "\r\n" : "\n"});
    start = lf + 1;
  }
  return zeilen;
}

std::string zeilenEnde(std::string_view bytes) {
  const auto lf = bytes.find('\n');
  if (lf != std::string_view::npos && (lf == 0 || bytes[lf - 1] != '\r')) return "\n";
  return "\r\n";
}

bool hatNichtAscii(std::string_view bytes) {
  for (const char c : bytes) {
    if (static_cast<unsigned char>(c) >= 0x80) return true;
  }
  return false;
}

// A value with a line break would end up as a line of its own.
std::string einzeilig(std::string_view text) {
  std::string ergebnis(text);
  for (char& c : ergebnis) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  return ergebnis;
}

std::string liesVorhandene(const fs::path& datei) {
  std::error_code ec;
  const auto status = fs::status(datei, ec);
  if (!fs::exists(status)) return {};
  if (!fs::is_regular_file(status)) nichtSchreibbar(datei);
  try {
    return readFileBytes(datei);
  } catch (const Fehler&) {
    nichtSchreibbar(datei);
  }
}

}  // namespace

IniDatei::IniDatei(const fs::path& datei) {
  std::string bytes;
  try {
    bytes = readFileBytes(datei);
  } catch (const Fehler&) {
    return;
  }
  std::string_view text = bytes;
  if (startsWith(text, kBom)) text.remove_prefix(kBom.size());
  zeilen_ = splitLines(isValidUtf8(text) ? std::string(text) : cp1252ToUtf8(text));
}

std::string IniDatei::leseText(std::string_view section, std::string_view key,
                               std::string_view vorgabe) const {
  const auto f = suche(
      zeilen_.size(), [this](std::size_t i) -> std::string_view { return zeilen_[i]; }, section,
      key);
  if (f.schluessel < 0) return std::string(vorgabe);
  const std::string_view zeile = zeilen_[static_cast<std::size_t>(f.schluessel)];
  return iniWert(zeile.substr(zeile.find('=') + 1));
}

std::int32_t IniDatei::leseZahl(std::string_view section, std::string_view key,
                                std::int32_t vorgabe) const {
  std::int32_t zahl = 0;
  return iniZahl(leseText(section, key, ""), zahl) ? zahl : vorgabe;
}

bool IniDatei::leseSchalter(std::string_view section, std::string_view key, bool vorgabe) const {
  return leseZahl(section, key, vorgabe ? 1 : 0) != 0;
}

void IniDatei::schreibeText(const fs::path& datei, std::string_view section, std::string_view key,
                            std::string_view wert) {
  // A link is followed so the file it points to is replaced, not the link.
  std::error_code ec;
  fs::path ziel = datei;
  if (fs::is_symlink(fs::symlink_status(datei, ec))) {
    const auto echt = fs::weakly_canonical(datei, ec);
    if (!ec) ziel = echt;
  }

  const std::string alt = liesVorhandene(ziel);
  std::string_view rumpf = alt;
  const bool bom = startsWith(rumpf, kBom);
  if (bom) rumpf.remove_prefix(kBom.size());
  // Read as the constructor reads; a file without any non-ASCII byte (and
  // without a byte-order mark) counts as the program's own Windows-1252, so an
  // umlaut written into it stays in that encoding.
  const bool utf8 = isValidUtf8(rumpf) && (bom || hatNichtAscii(rumpf));
  const std::string ende = zeilenEnde(rumpf);
  auto kodiert = [utf8](std::string_view text) {
    return utf8 ? einzeilig(text) : utf8ToCp1252(einzeilig(text));
  };

  auto zeilen = rohZeilen(rumpf);
  std::vector<std::string> texte;
  texte.reserve(zeilen.size());
  for (const auto& z : zeilen) texte.push_back(utf8 ? z.inhalt : cp1252ToUtf8(z.inhalt));
  const auto f = suche(
      texte.size(), [&texte](std::size_t i) -> std::string_view { return texte[i]; }, section, key);

  const std::string neueZeile = kodiert(key) + "=" + kodiert(wert);
  if (f.schluessel >= 0) {
    auto& zeile = zeilen[static_cast<std::size_t>(f.schluessel)].inhalt;
    auto wertAnfang = zeile.find('=') + 1;
    while (wertAnfang < zeile.size() && (zeile[wertAnfang] == ' ' || zeile[wertAnfang] == '\t')) {
      ++wertAnfang;
    }
    zeile = zeile.substr(0, wertAnfang) + kodiert(wert);
  } else if (f.abschnitt >= 0) {
    const auto nach = static_cast<std::size_t>(f.letzteZeile);
    if (zeilen[nach].ende.empty()) zeilen[nach].ende = ende;
    zeilen.insert(zeilen.begin() + static_cast<long>(nach) + 1, RohZeile{neueZeile, ende});
  } else {
    if (!zeilen.empty() && zeilen.back().ende.empty()) zeilen.back().ende = ende;
    zeilen.push_back({"[" + kodiert(section) + "]", ende});
    zeilen.push_back({neueZeile, ende});
  }

  std::string neu = bom ? std::string(kBom) : std::string();
  neu.reserve(alt.size() + neueZeile.size() + 64);
  for (const auto& z : zeilen) {
    neu += z.inhalt;
    neu += z.ende;
  }
  try {
    dateiErsetzen(ziel, neu);
  } catch (const Fehler&) {
    // The profile functions' own wording, which the program has always shown.
    nichtSchreibbar(ziel);
  }
}

std::string iniWert(std::string_view roh) {
  std::string_view wert = ohneRand(roh, " \t\r");
  if (wert.size() >= 2 && (wert.front() == '"' || wert.front() == '\'') &&
      wert.back() == wert.front()) {
    wert = wert.substr(1, wert.size() - 2);
  }
  // At most 2047 characters, never cutting into a character.
  std::size_t pos = 0;
  for (std::size_t zeichen = 0; zeichen < kMaxZeichen && pos < wert.size(); ++zeichen) {
    std::size_t laenge = 0;
    utf8::decode(wert, pos, laenge);
    pos += laenge;
  }
  return std::string(wert.substr(0, pos));
}

bool iniZahl(std::string_view text, std::int32_t& zahl) {
  text = ohneRand(text, " \t\r");
  bool negativ = false;
  if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
    negativ = text.front() == '-';
    text.remove_prefix(1);
  }
  bool hex = false;
  if (startsWith(text, "$")) {
    hex = true;
    text.remove_prefix(1);
  } else if (startsWith(text, "0x") || startsWith(text, "0X")) {
    hex = true;
    text.remove_prefix(2);
  }
  if (text.empty()) return false;
  std::uint64_t wert = 0;
  for (const char c : text) {
    int ziffer = -1;
    if (c >= '0' && c <= '9') {
      ziffer = c - '0';
    } else if (hex && c >= 'a' && c <= 'f') {
      ziffer = c - 'a' + 10;
    } else if (hex && c >= 'A' && c <= 'F') {
      ziffer = c - 'A' + 10;
    }
    if (ziffer < 0) return false;
    wert = wert * (hex ? 16 : 10) + static_cast<std::uint64_t>(ziffer);
    if (wert > 0xFFFFFFFFull) return false;
  }
  if (hex) {
    // Hexadecimal fills the 32 bits, so $FFFFFFFF is -1.
    const auto bits = static_cast<std::uint32_t>(wert);
    zahl = static_cast<std::int32_t>(negativ ? 0u - bits : bits);
    return true;
  }
  const auto grenze = negativ ? 0x80000000ull : 0x7FFFFFFFull;
  if (wert > grenze) return false;
  zahl = static_cast<std::int32_t>(negativ ? -static_cast<std::int64_t>(wert)
                                           : static_cast<std::int64_t>(wert));
  return true;
}

}  // namespace belvanto
