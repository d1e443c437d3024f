// Field splitting, replacing, trimming and case-insensitive comparison of
// UTF-8 texts.
#include "util/StringLib.h"

#include <algorithm>

#include "util/Utf8.h"

namespace belvanto {

std::vector<std::string> splitFields(std::string_view line, int leading, char separator) {
  leading = std::max(leading, 0);
  std::vector<std::string> felder;
  felder.reserve(static_cast<std::size_t>(leading) + 1);
  std::string_view rest = line;
  for (int i = 0; i < leading; ++i) {
    const auto pos = rest.find(separator);
    if (pos == std::string_view::npos) {
      felder.emplace_back();
    } else {
      felder.emplace_back(rest.substr(0, pos));
      rest.remove_prefix(pos + 1);
    }
  }
  felder.emplace_back(rest);
  return felder;
}

std::string replaceAll(std::string_view text, std::string_view from, std::string_view to) {
  if (from.empty()) return std::string(text);
  std::string ergebnis;
  ergebnis.reserve(text.size());
  std::size_t start = 0;
  for (;;) {
    const auto pos = text.find(from, start);
    if (pos == std::string_view::npos) break;
    ergebnis.append(text.substr(start, pos - start));
    ergebnis.append(to);
    start = pos + from.size();
  }
  ergebnis.append(text.substr(start));
  return ergebnis;
}

std::string trim(std::string_view text) {
  constexpr std::string_view kRand = " \t\r\n";
  const auto anfang = text.find_first_not_of(kRand);
  if (anfang == std::string_view::npos) return {};
  const auto ende = text.find_last_not_of(kRand);
  return std::string(text.substr(anfang, ende - anfang + 1));
}

bool startsWith(std::string_view text, std::string_view prefix) {
  return text.substr(0, prefix.size()) == prefix;
}

std::string foldCase(std::string_view text) {
  std::string ergebnis;
  ergebnis.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    const auto b = static_cast<unsigned char>(text[pos]);
    if (b < 0x80) {
      ergebnis += static_cast<char>(utf8::foldChar(b));
      ++pos;
      continue;
    }
    std::size_t laenge = 0;
    const char32_t cp = utf8::decode(text, pos, laenge);
    if (cp == utf8::kUngueltig) {
      // Bytes that are no character stay as they are.
      ergebnis.append(text.substr(pos, laenge));
    } else {
      utf8::append(ergebnis, utf8::foldChar(cp));
    }
    pos += laenge;
  }
  return ergebnis;
}

namespace {

bool istAscii(std::string_view s) {
  return std::all_of(s.begin(), s.end(),
                     [](char c) { return static_cast<unsigned char>(c) < 0x80; });
}

// Compares folded texts without building them when both are plain ASCII, the
// common case for file names.
int vergleicheGefaltet(std::string_view a, std::string_view b) {
  if (istAscii(a) && istAscii(b)) {
    const auto n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
      const auto ca = utf8::foldChar(static_cast<unsigned char>(a[i]));
      const auto cb = utf8::foldChar(static_cast<unsigned char>(b[i]));
      if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
  }
  return foldCase(a).compare(foldCase(b));
}

}  // namespace

bool equalsNoCase(std::string_view a, std::string_view b) {
  return vergleicheGefaltet(a, b) == 0;
}

bool lessNoCase(std::string_view a, std::string_view b) {
  const int c = vergleicheGefaltet(a, b);
  if (c != 0) return c < 0;
  return a < b;
}

std::size_t utf8Length(std::string_view text) {
  std::size_t anzahl = 0;
  std::size_t pos = 0;
  while (pos < text.size()) {
    std::size_t laenge = 0;
    utf8::decode(text, pos, laenge);
    pos += laenge;
    ++anzahl;
  }
  return anzahl;
}

namespace {
// Byte offset of character position `zeichen`, or the text's size.
std::size_t byteOffset(std::string_view utf8, std::size_t zeichen) {
  std::size_t i = 0;
  while (i < utf8.size() && zeichen > 0) {
    ++i;
    while (i < utf8.size() && (static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80) ++i;
    --zeichen;
  }
  return i;
}
}  // namespace

std::string zeichenAusschnitt(std::string_view utf8, std::size_t start, std::size_t anzahl) {
  const std::size_t von = byteOffset(utf8, start);
  const std::size_t bis = von + byteOffset(utf8.substr(von), anzahl);
  return std::string(utf8.substr(von, bis - von));
}

namespace {

bool geraeteName(std::string_view stamm) {
  const std::string f = foldCase(stamm);
  for (const char* name : {"con", "prn", "aux", "nul"})
    if (f == foldCase(name)) return true;
  const std::string art = foldCase(stamm.substr(0, 3));
  return stamm.size() == 4 && (art == foldCase("com") || art == foldCase("lpt")) &&
         stamm[3] >= '1' && stamm[3] <= '9';
}

std::string windowsTeil(std::string_view teil) {
  std::string aus(teil);
  for (char& c : aus)
    if (static_cast<unsigned char>(c) < 0x20 || std::string_view("<>:\"\\|?*").find(c) != std::string_view::npos)
      c = '_';
  for (auto i = aus.size(); i > 0 && (aus[i - 1] == '.' || aus[i - 1] == ' '); --i) aus[i - 1] = '_';
  return geraeteName(std::string_view(aus).substr(0, aus.find('.'))) ? "_" + aus : aus;
}

}  // namespace

std::string windowsName(std::string_view name) {
  std::string aus;
  for (std::size_t start = 0;;) {
    const auto ende = name.find('/', start);
    aus += windowsTeil(name.substr(start, ende == std::string_view::npos ? ende : ende - start));
    if (ende == std::string_view::npos) return aus;
    aus += '/';
    start = ende + 1;
  }
}

std::string sichtbar(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(text.size());
  for (std::size_t pos = 0; pos < text.size();) {
    std::size_t laenge = 0;
    const char32_t cp = utf8::decode(text, pos, laenge);
    if (cp == utf8::kUngueltig || cp < 0x20 || (cp >= 0x7F && cp <= 0x9F) ||
        (cp >= 0x202A && cp <= 0x202E) || (cp >= 0x2066 && cp <= 0x2069)) {
      for (std::size_t k = 0; k < laenge; ++k) {
        const auto b = static_cast<unsigned char>(text[pos + k]);
        out += "\\x";
        out += kHex[b >> 4];
        out += kHex[b & 15];
      }
    } else {
      out.append(text.substr(pos, laenge));
    }
    pos += laenge;
  }
  return out;
}

std::string_view ohneKlammern(std::string_view host) {
  if (host.size() >= 2 && host.front() == '[' && host.back() == ']')
    host = host.substr(1, host.size() - 2);
  return host;
}

std::string hostMitPort(std::string_view host, int port) {
  const std::string_view h = ohneKlammern(host);
  const std::string text(h);
  return (h.find(':') != std::string_view::npos ? "[" + text + "]" : text) + ":" +
         std::to_string(port);
}

}  // namespace belvanto
